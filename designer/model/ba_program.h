// The bus arbitrator's two macro sequences as the BA program editor works on them: the time unit
// of a slot, the quantisation of dates to that unit, the lines with their stored and displayed
// forms and their memory cost, and the default program generated from a configuration.
//
// Dates. A date line (SEND_MSG, SEND_APER, WAIT) stores its date as a count of time units, and the
// editor shows it in milliseconds ("%g"). Each line keeps its unit count, so a line that nobody
// edits is stored again exactly as it was read, whatever the "%g" text rounds away; a slot-time
// change re-quantises the line's time with the new unit. All arithmetic is single precision.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/configuration.h"
#include "records/instruction.h"

namespace plandrel {

struct TimingTable;

inline constexpr std::uint16_t kBaSlotCount = 4;
inline constexpr std::int32_t kBaMaxUnits = 4095;
// The ba section counts each sequence in 16 bits.
inline constexpr std::size_t kBaMaxLines = 0xFFFF;

// BaTimeUnit: the time unit of slot index `slot`, in µs: {4000, 16000, 40000, 160000}[slot] /
// speed_constant. A slot outside 0..3 or a speed constant of 0 (a damaged file) gives 0, a unit in
// which no time can be expressed.
float BaTimeUnit(std::uint16_t slot, std::uint16_t speed_constant);

// The unit count of a time `t` (ms) with `unit` (µs): t / unit truncated toward zero, one more when
// the rest is strictly above one half (an exact half goes down), at most 4095. A negative time
// gives a negative count (at least -4095); a unit of 0 gives 0.
std::int32_t QuantiseBaUnits(float t, float unit);
// QuantiseBaTime: that count's time, in ms.
float QuantiseBaTime(float t, float unit);
// The time of `units` in ms: units x unit / 1000.
float BaUnitsTime(std::int32_t units, float unit);
// The latest date of a unit: 4095 x unit / 1000 ms.
inline float BaMaximumTime(float unit) { return BaUnitsTime(kBaMaxUnits, unit); }

// The six macros the editor offers, in the order of its instruction list.
enum class BaMacro : std::uint8_t { id_dat, id_msg, send_aper, send_msg, wait, suspend };
struct BaMacroInfo {
  std::string_view list_text;  // the instruction list's text, "ID_DAT(Identifier)"
  std::string_view name;       // the stored name with its parenthesis, "ID_DAT("
  bool date;                   // the argument is a date in time units
  std::uint32_t cost;          // controller memory units of one line
};
inline constexpr std::array<BaMacroInfo, 6> kBaMacros{{
    {"ID_DAT(Identifier)", "ID_DAT(", false, 5},
    {"ID_MSG(Identifier)", "ID_MSG(", false, 1},
    {"SEND_APER(Date)", "SEND_APER(", true, 1},
    {"SEND_MSG(Date)", "SEND_MSG(", true, 1},
    {"WAIT(Date)", "WAIT(", true, 1},
    {"SUSPEND(Event number)", "SUSPEND(", false, 1},
}};
inline const BaMacroInfo& MacroInfo(BaMacro macro) { return kBaMacros[static_cast<std::size_t>(macro)]; }

// Bounds of an argument the editor takes: identifiers 0..FFFF, event numbers 1..FB.
inline constexpr std::int64_t kBaMaxIdentifier = 0xFFFF;
inline constexpr std::int64_t kBaMinEvent = 1;
inline constexpr std::int64_t kBaMaxEvent = 0xFB;

// "%x" upper-cased.
std::string UpperHex(std::uint32_t value);
// "%g" of a time, as the editor shows every date.
std::string TimeText(float ms);

// One line of a sequence.
class BaLine {
 public:
  // A stored line. A date line (a date macro's name, a hexadecimal argument 0..FFFF and ")") keeps
  // its unit count; every other line, and a date line whose argument cannot be read, is kept as
  // stored and shown as it is.
  static BaLine FromStored(std::string_view text);
  static BaLine FromInstruction(const records::INSTRUCTION& instruction);
  // A new date line of `macro` (a date macro) at `units`.
  static BaLine Date(BaMacro macro, std::int32_t units);
  // A new identifier or event-number line: the name and the value "%X".
  static BaLine Argument(BaMacro macro, std::uint32_t value);

  bool IsDate() const { return units_.has_value(); }
  std::int32_t Units() const { return units_.value_or(0); }
  // NAME(HEX) of a date line, the text as stored otherwise (at most 15 characters).
  std::string Stored() const;
  records::INSTRUCTION Instruction() const { return records::make_instruction(Stored()); }
  // What the sequence list shows: a date line as NAME(ms " ms)"; in a unit of 0, and for every
  // other line, the stored text.
  std::string Display(float unit) const;
  // 5 for an "ID_DAT(" line, 1 for any other.
  std::uint32_t Cost() const;
  // The line's time in `from` re-quantised with `to`; a unit of 0 on either side keeps the count.
  void Requantise(float from, float to);

  friend bool operator==(const BaLine&, const BaLine&) = default;

 private:
  std::string text_;  // a date line's name with its parenthesis, or the whole stored text
  std::optional<std::int32_t> units_;
};

using BaSequence = std::vector<BaLine>;

BaSequence ReadBaSequence(const std::vector<records::INSTRUCTION>& instructions);
std::vector<records::INSTRUCTION> StoredBaSequence(const BaSequence& sequence);
std::uint32_t BaSequenceCost(const BaSequence& sequence);

// The default program of a configuration, before its cycle is chosen.
inline constexpr std::size_t kMaxMessageChannels = 8;
struct DefaultBaProgram {
  std::vector<std::uint16_t> variables;  // every variable's identifier, in list order
  // Identifiers of the periodic message channels produced by the local station, in list order: at
  // most kMaxMessageChannels, the first ones when a configuration holds more.
  std::vector<std::uint16_t> channels;
  bool aperiodic_messages = false;  // some message is aperiodic: the program sends them
  // Memory cost with SEND_MSG, SEND_APER and WAIT and the other sequence: 5 per variable + 1 per
  // channel + 3 + other_cost + 1.
  std::uint32_t cost = 0;
  // The cycle's estimated transmission time and frame overheads, quantised, in ms.
  float minimum_cycle = 0;
};

// Plans the default program of `configuration` with the time unit `unit` (µs); `other_cost` is
// the cost of the sequence not being replaced. The frame overhead comes from `timing`.
DefaultBaProgram PlanDefaultBaProgram(const records::Configuration& configuration, const TimingTable& timing,
                                      std::uint32_t other_cost, float unit);

// The sequence for a cycle of `cycle_units`: ID_DAT of every variable, ID_MSG of every channel,
// SEND_MSG when aperiodic messages exist, SEND_APER when `aperiodic_sending`, then WAIT, every date
// the cycle.
BaSequence BuildDefaultBaProgram(const DefaultBaProgram& plan, std::int32_t cycle_units, bool aperiodic_sending);
// The plan's cost less 1 for each of SEND_MSG and SEND_APER left out.
std::uint32_t DefaultBaProgramCost(const DefaultBaProgram& plan, bool aperiodic_sending);

}  // namespace plandrel
