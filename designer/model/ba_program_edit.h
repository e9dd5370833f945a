// BaProgramEdit: what the BA program editor changes while it is open — the two sequences, the slot
// time, the file mode — with the memory test before every change that adds lines, and the Save that
// carries them into the document. Nothing reaches the document before Save, and Save checks
// everything it can refuse before it changes anything.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "model/ba_program.h"
#include "model/plandrel_doc.h"

namespace plandrel {

class BaProgramEdit {
 public:
  // BA_PARAM's path field holds 260 characters and its NUL.
  static constexpr std::size_t kMaxPathLength = 260;

  enum class Refusal { none, memory_full };
  enum class SaveResult {
    unchanged,      // nothing was changed: the document is untouched
    saved,
    empty_path,     // file mode without a path: "Enter a  file name."
    path_too_long,  // a path that BA_PARAM cannot hold
  };

  // The editor's state on opening, from the document.
  explicit BaProgramEdit(const CPlandrelDoc& document);

  const BaSequence& Sequence(std::size_t index) const { return sequences_[index]; }
  std::uint16_t Slot() const { return slot_; }
  // The time unit of the current slot, in µs.
  float Unit() const { return BaTimeUnit(slot_, speed_constant_); }
  float UnitOf(std::uint16_t slot) const { return BaTimeUnit(slot, speed_constant_); }
  bool FileMode() const { return file_mode_; }
  std::uint32_t BaCost() const { return ba_cost_; }
  bool SequencesChanged() const { return sequences_changed_; }
  bool FileOptionChanged() const { return file_changed_; }
  bool SlotChanged() const { return slot_changed_; }

  // Whether the document's estimate without its instruction part, plus `ba_cost`, stays within
  // the controller memory.
  bool Fits(std::uint64_t ba_cost) const;

  // Inserts `line` before position `position` (0..size) of sequence `index`; refused when the
  // memory or the sequence's 65535 lines are full.
  Refusal Insert(std::size_t index, std::size_t position, const BaLine& line);
  // Removes the lines at `positions` of sequence `index` (positions outside it are skipped).
  void Erase(std::size_t index, std::vector<std::size_t> positions);
  // Copies sequence `from` over the other one.
  Refusal Copy(std::size_t from);
  // A new slot index: every date of both sequences re-quantised with its unit. False when it is
  // the current one (nothing changes).
  bool ChangeSlot(std::uint16_t slot);

  // The default program for sequence `index`, planned against the other sequence's cost. The
  // generator's button marks the sequences changed whatever follows.
  DefaultBaProgram PlanDefault(std::size_t index, const TimingTable& timing) const;
  void MarkSequencesChanged() { sequences_changed_ = true; }
  // Replaces sequence `index` with the default program for a cycle of `cycle_ms`.
  void SetDefault(std::size_t index, const DefaultBaProgram& plan, float cycle_ms, bool aperiodic_sending);

  void SetFileMode(bool file_mode);
  void MarkFileOptionChanged() { file_changed_ = true; }

  // Save with the path edit's text: the sequences, BA_PARAM, the slot time, the estimate, the
  // modified mark and the working files. A refusal leaves the document as it was.
  SaveResult Save(CPlandrelDoc& document, std::string_view path) const;

 private:
  const records::Configuration& configuration_;  // the document's, read by the generator
  std::uint16_t speed_constant_;
  std::array<BaSequence, 2> sequences_;
  std::uint16_t slot_;
  bool file_mode_;
  bool sequences_changed_ = false;
  bool file_changed_ = false;
  bool slot_changed_ = false;
  std::uint32_t ba_cost_;
  std::int64_t rest_;  // the document's estimate without its instruction cost
};

}  // namespace plandrel
