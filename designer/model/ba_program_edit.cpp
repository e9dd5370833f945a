#include "model/ba_program_edit.h"

#include <algorithm>
#include <functional>

#include "records/byte_codec.h"
#include "records/sections.h"

namespace plandrel {

BaProgramEdit::BaProgramEdit(const CPlandrelDoc& document)
    : configuration_(document.Records()),
      speed_constant_(document.Records().param.speed_constant),
      sequences_{ReadBaSequence(document.Records().sequence1), ReadBaSequence(document.Records().sequence2)},
      slot_(document.Records().param.slot_time),
      file_mode_(document.Records().ba.program_from_file == 1),
      ba_cost_(document.GetInstructionCost()),
      rest_(std::int64_t{document.GetMemoryEstimate()} - document.GetInstructionCost()) {}

bool BaProgramEdit::Fits(std::uint64_t ba_cost) const {
  return std::max<std::int64_t>(rest_, 0) + static_cast<std::int64_t>(ba_cost) <= std::int64_t{CPlandrelDoc::kMemoryLimit};
}

BaProgramEdit::Refusal BaProgramEdit::Insert(std::size_t index, std::size_t position, const BaLine& line) {
  BaSequence& sequence = sequences_[index];
  if (sequence.size() >= kBaMaxLines || !Fits(std::uint64_t{ba_cost_} + line.Cost())) return Refusal::memory_full;
  sequence.insert(sequence.begin() + static_cast<std::ptrdiff_t>(std::min(position, sequence.size())), line);
  ba_cost_ += line.Cost();
  sequences_changed_ = true;
  return Refusal::none;
}

void BaProgramEdit::Erase(std::size_t index, std::vector<std::size_t> positions) {
  BaSequence& sequence = sequences_[index];
  // From the last position back, so that each erase leaves the earlier positions in place.
  std::sort(positions.begin(), positions.end(), std::greater<>());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  for (const std::size_t position : positions) {
    if (position >= sequence.size()) continue;
    ba_cost_ -= sequence[position].Cost();
    sequence.erase(sequence.begin() + static_cast<std::ptrdiff_t>(position));
  }
  sequences_changed_ = true;
}

BaProgramEdit::Refusal BaProgramEdit::Copy(std::size_t from) {
  const std::uint64_t cost = 2 * std::uint64_t{BaSequenceCost(sequences_[from])} + 1;
  if (!Fits(cost)) return Refusal::memory_full;
  sequences_[1 - from] = sequences_[from];
  ba_cost_ = static_cast<std::uint32_t>(cost);
  sequences_changed_ = true;
  return Refusal::none;
}

bool BaProgramEdit::ChangeSlot(std::uint16_t slot) {
  if (slot == slot_) return false;
  const float from = Unit();
  const float to = UnitOf(slot);
  for (BaSequence& sequence : sequences_)
    for (BaLine& line : sequence) line.Requantise(from, to);
  slot_ = slot;
  slot_changed_ = true;
  sequences_changed_ = true;
  return true;
}

DefaultBaProgram BaProgramEdit::PlanDefault(std::size_t index, const TimingTable& timing) const {
  return PlanDefaultBaProgram(configuration_, timing, BaSequenceCost(sequences_[1 - index]), Unit());
}

void BaProgramEdit::SetDefault(std::size_t index, const DefaultBaProgram& plan, float cycle_ms, bool aperiodic_sending) {
  sequences_[index] = BuildDefaultBaProgram(plan, QuantiseBaUnits(cycle_ms, Unit()), aperiodic_sending);
  ba_cost_ = DefaultBaProgramCost(plan, aperiodic_sending);
  sequences_changed_ = true;
}

void BaProgramEdit::SetFileMode(bool file_mode) {
  file_mode_ = file_mode;
  file_changed_ = true;
}

BaProgramEdit::SaveResult BaProgramEdit::Save(CPlandrelDoc& document, std::string_view path) const {
  if (!sequences_changed_ && !file_changed_ && !slot_changed_) return SaveResult::unchanged;
  if (file_changed_ && file_mode_) {
    if (path.empty()) return SaveResult::empty_path;
    if (path.size() > kMaxPathLength) return SaveResult::path_too_long;
  }

  records::Configuration& records = document.Records();
  if (sequences_changed_) {
    records.sequence1 = StoredBaSequence(sequences_[0]);
    records.sequence2 = StoredBaSequence(sequences_[1]);
    document.AddToMemoryEstimate(std::int64_t{ba_cost_} - document.GetInstructionCost());
    document.SetInstructionCost(ba_cost_);
  }
  if (file_changed_) {
    records.ba.program_from_file = file_mode_ ? 1 : 0;
    if (file_mode_) records::set_text(records.ba.program_path, path, kMaxPathLength);
  }
  if (slot_changed_ && slot_ != records.param.slot_time) {
    records.param.slot_time = slot_;
    document.WriteWorkingFile(records::Section::param);
  }
  if (!document.IsModified()) {
    document.SetModifiedFlag(true);
    document.UpdateTitle();
  }
  document.WriteWorkingFile(records::Section::ba);
  return SaveResult::saved;
}

}  // namespace plandrel
