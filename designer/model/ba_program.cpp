#include "model/ba_program.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/timing_table.h"
#include "records/byte_codec.h"
#include "records/timing.h"

namespace plandrel {

namespace {

constexpr std::array<float, kBaSlotCount> kSlotBases{4000.0F, 16000.0F, 40000.0F, 160000.0F};

// Bits per millisecond of each bit rate.
constexpr std::array<float, 3> kBitsPerMs{31.25F, 1000.0F, 2500.0F};

// Frame bits of the default program's estimate, per variable and per message channel.
constexpr std::int64_t kWorldFipChannelBits = 2208;
constexpr std::int64_t kFipChannelBits = 2199;
constexpr std::int64_t kFipFrameBits = 61;

constexpr std::uint8_t kMessageRequestsFlag = 0x02;

std::optional<std::int32_t> ReadHexArgument(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::int32_t value = 0;
  for (const char c : digits) {
    int digit = 0;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value * 16 + digit;
    if (value > 0xFFFF) return std::nullopt;
  }
  return value;
}

}  // namespace

float BaTimeUnit(std::uint16_t slot, std::uint16_t speed_constant) {
  if (slot >= kBaSlotCount || speed_constant == 0) return 0.0F;
  return kSlotBases[slot] / static_cast<float>(speed_constant);
}

std::int32_t QuantiseBaUnits(float t, float unit) {
  if (!(unit > 0.0F) || std::isnan(t)) return 0;
  const float u = unit / 1000.0F;
  const float q = t / u;
  // Bounded before the truncation, which a float beyond the int range would make undefined.
  if (q >= static_cast<float>(kBaMaxUnits)) return kBaMaxUnits;
  if (q <= -static_cast<float>(kBaMaxUnits)) return -kBaMaxUnits;
  auto n = static_cast<std::int32_t>(q);
  if (q - static_cast<float>(n) > 0.5F) ++n;
  return std::min(n, kBaMaxUnits);
}

float QuantiseBaTime(float t, float unit) {
  return static_cast<float>(QuantiseBaUnits(t, unit)) * (unit / 1000.0F);
}

float BaUnitsTime(std::int32_t units, float unit) { return static_cast<float>(units) * unit / 1000.0F; }

std::string UpperHex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

std::string TimeText(float ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(ms));
  return text;
}

// ---------------------------------------------------------------------------------------------
// Lines

BaLine BaLine::FromStored(std::string_view text) {
  text = text.substr(0, records::INSTRUCTION::size);
  BaLine line;
  line.text_ = std::string(text);
  for (const BaMacroInfo& info : kBaMacros) {
    if (!info.date || !text.starts_with(info.name) || !text.ends_with(')')) continue;
    const std::string_view digits = text.substr(info.name.size(), text.size() - info.name.size() - 1);
    if (const auto units = ReadHexArgument(digits)) {
      line.text_ = std::string(info.name);
      line.units_ = *units;
    }
    break;
  }
  return line;
}

BaLine BaLine::FromInstruction(const records::INSTRUCTION& instruction) {
  return FromStored(records::text_of(instruction.text));
}

BaLine BaLine::Date(BaMacro macro, std::int32_t units) {
  BaLine line;
  line.text_ = std::string(MacroInfo(macro).name);
  line.units_ = std::clamp(units, 0, 0xFFFF);
  return line;
}

BaLine BaLine::Argument(BaMacro macro, std::uint32_t value) {
  BaLine line;
  line.text_ = std::string(MacroInfo(macro).name) + UpperHex(value) + ")";
  return line;
}

std::string BaLine::Stored() const {
  if (!units_) return text_;
  return text_ + UpperHex(static_cast<std::uint32_t>(*units_)) + ")";
}

std::string BaLine::Display(float unit) const {
  if (!units_ || !(unit > 0.0F)) return Stored();
  return text_ + TimeText(BaUnitsTime(*units_, unit)) + " ms)";
}

std::uint32_t BaLine::Cost() const { return text_.starts_with(MacroInfo(BaMacro::id_dat).name) ? 5 : 1; }

void BaLine::Requantise(float from, float to) {
  if (!units_ || !(from > 0.0F) || !(to > 0.0F)) return;
  units_ = std::max(QuantiseBaUnits(BaUnitsTime(*units_, from), to), 0);
}

BaSequence ReadBaSequence(const std::vector<records::INSTRUCTION>& instructions) {
  BaSequence sequence;
  sequence.reserve(instructions.size());
  for (const records::INSTRUCTION& instruction : instructions) sequence.push_back(BaLine::FromInstruction(instruction));
  return sequence;
}

std::vector<records::INSTRUCTION> StoredBaSequence(const BaSequence& sequence) {
  std::vector<records::INSTRUCTION> instructions;
  instructions.reserve(sequence.size());
  for (const BaLine& line : sequence) instructions.push_back(line.Instruction());
  return instructions;
}

std::uint32_t BaSequenceCost(const BaSequence& sequence) {
  std::uint32_t cost = 0;
  for (const BaLine& line : sequence) cost += line.Cost();
  return cost;
}

// ---------------------------------------------------------------------------------------------
// Default program

DefaultBaProgram PlanDefaultBaProgram(const records::Configuration& configuration, const TimingTable& timing,
                                      std::uint32_t other_cost, float unit) {
  DefaultBaProgram plan;
  bool periodic_messages = false;
  for (const records::MESSAGE4& message : configuration.messages) {
    if (message.aperiodic == 0) periodic_messages = true;
    else plan.aperiodic_messages = true;
  }

  plan.variables.reserve(configuration.variables.size());
  for (const records::VARIABLE4& variable : configuration.variables) {
    plan.variables.push_back(variable.identifier);
    // A periodic message channel of the local station; the checks before connecting refuse a
    // ninth, and the program never holds more than eight.
    if (periodic_messages && plan.channels.size() < kMaxMessageChannels &&
        variable.producer == static_cast<std::int16_t>(configuration.local_station) &&
        (variable.flags & kMessageRequestsFlag) != 0 && variable.channel != 0 && variable.channel != -1)
      plan.channels.push_back(variable.identifier);
  }

  const auto n = static_cast<std::int64_t>(plan.variables.size());
  const auto k = static_cast<std::int64_t>(plan.channels.size());
  plan.cost = static_cast<std::uint32_t>(5 * n + k + 3 + other_cost + 1);

  const bool world_fip = configuration.param.frame_type == 1;
  std::int64_t bits = 0;
  for (const records::VARIABLE4& variable : configuration.variables) {
    const bool refreshment = variable.refreshment_status != 0;
    bits += world_fip ? variable.length + 8 + (refreshment ? 1 : 0)
                      : 8 * std::int64_t{variable.length} + kFipFrameBits + (refreshment ? 8 : 0);
  }
  bits = world_fip ? 8 * (bits + 8 * n) : bits + kFipFrameBits * n;
  bits += k * (world_fip ? kWorldFipChannelBits : kFipChannelBits);

  // A bit rate or clock multiplier that a damaged file names is read as the table's fallback entry.
  const std::size_t index = TimingTable::Index(configuration.param);
  const float transmission = static_cast<float>(bits) / kBitsPerMs[index / 2];
  const float overhead =
      static_cast<float>(records::turnaround_time_us(configuration.param, timing.Entry(index)) / 1000.0);
  plan.minimum_cycle = QuantiseBaTime(transmission + static_cast<float>(3 * k + 2 * n) * overhead, unit);
  return plan;
}

BaSequence BuildDefaultBaProgram(const DefaultBaProgram& plan, std::int32_t cycle_units, bool aperiodic_sending) {
  BaSequence sequence;
  sequence.reserve(plan.variables.size() + plan.channels.size() + 3);
  for (const std::uint16_t identifier : plan.variables) sequence.push_back(BaLine::Argument(BaMacro::id_dat, identifier));
  for (const std::uint16_t identifier : plan.channels) sequence.push_back(BaLine::Argument(BaMacro::id_msg, identifier));
  if (plan.aperiodic_messages) sequence.push_back(BaLine::Date(BaMacro::send_msg, cycle_units));
  if (aperiodic_sending) sequence.push_back(BaLine::Date(BaMacro::send_aper, cycle_units));
  sequence.push_back(BaLine::Date(BaMacro::wait, cycle_units));
  return sequence;
}

std::uint32_t DefaultBaProgramCost(const DefaultBaProgram& plan, bool aperiodic_sending) {
  return plan.cost - (plan.aperiodic_messages ? 0 : 1) - (aperiodic_sending ? 0 : 1);
}

}  // namespace plandrel
