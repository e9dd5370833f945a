// GeneralSettingsEdit: the general settings dialog's private copy of GENERAL_PARAM and the bus
// arbitrator priority, with the rules that turn the counts of hardware units into times and typed
// times back into counts through the timing table. Nothing reaches the document before Apply; the
// controller memory estimate moves for the BA features only there, so a Cancel leaves it as it was.
//
// Times: turnaround (µs) = count x turnaround unit + 1.25 x bit time; silence (µs) = count x silence
// unit + silence offset; the delay unit (µs) = silence count x silence unit, the unit of the start
// delay and of the election count, both shown in ms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/plandrel_doc.h"
#include "model/timing_table.h"
#include "records/general_param.h"
#include "records/timing.h"

namespace plandrel {

inline constexpr std::int32_t kMaxStartDelay = 0xFFFF;
inline constexpr std::int64_t kMaxPaddingIdentifier = 0xFFFF;
// What the BA features add to the controller memory estimate beyond the instruction cost.
inline constexpr std::uint32_t kBaFeaturesMemory = 768;

// time = offset + unit x count
struct TimeScale {
  double offset;
  double unit;
  double TimeOf(std::int64_t count) const { return offset + unit * static_cast<double>(count); }
};

// Which bound a typed value was brought to, when the value is not that bound's own time: the
// "too small" or "too high" message follows.
enum class CountBound { none, low, high };
struct FittedCount {
  std::int32_t count;
  CountBound message;
};

// The count that a typed time `v` (as stored: single precision) stands for: (v - offset) / unit
// truncated (read as 2^27 above it, as -1 below 0), raised to `minimum`, lowered to `maximum`, else
// whichever of it and the next count has the nearer time, the next one on a tie.
FittedCount FitTypedTime(double v, const TimeScale& scale, std::int32_t minimum, std::int32_t maximum);

// Whether the estimate moves when ba_size goes from `before` to `after`: +(instruction cost + 768)
// when BA features are switched on, the opposite when switched off, else 0.
std::int64_t BaFeaturesEstimateChange(std::uint16_t before, std::uint16_t after, std::uint32_t instruction_cost);

class GeneralSettingsEdit {
 public:
  // Copies the document's parameters and priority, and brings them within their bounds: turnaround
  // and silence counts into the table's, the start delay into 0..0xFFFF, the election count from
  // the priority and the local station's address.
  GeneralSettingsEdit(const CPlandrelDoc& document, const TimingTable& timing);

  const records::GENERAL_PARAM& Param() const { return param_; }
  int Priority() const { return priority_; }
  bool Changed() const { return changed_; }

  // Timing-table entry of the bit rate and clock multiplier (a damaged pair reads the fallback).
  std::size_t Index() const { return TimingTable::Index(param_); }
  records::TimingEntry Entry() const { return timing_.Entry(Index()); }

  // The three counts that are edited as times: turnaround and silence in µs, start delay in ms.
  enum class TimeField { turnaround, silence, start_delay };
  // A count's time in the field's unit: the stored count's, or any count's.
  double Time(TimeField field) const;
  double TimeOf(TimeField field, std::int32_t count) const;
  // The counts a field may hold: the table's bounds, the start delay's from the election count.
  std::int32_t Minimum(TimeField field) const;
  std::int32_t Maximum(TimeField field) const;
  // The election time, in ms.
  double ElectionTime() const { return TimeOf(TimeField::start_delay, param_.election_count); }

  // A new bit rate: its speed constant, and the turnaround and silence counts within its bounds.
  // False when it is the current one.
  bool SetSpeed(std::uint16_t speed);
  // "+" and "-": false (a beep) at a bound. A turnaround step counts as a change even there.
  bool StepTurnaround(int step);
  bool StepSilence(int step);
  bool StepStartDelay(int step);

  // A typed time in the field's unit: the fitted count is stored.
  CountBound TypeTime(TimeField field, float v);
  // A typed priority; true when it was outside 0..15 and was brought back (the message follows).
  bool TypePriority(std::int64_t priority);
  // A typed padding identifier; the bound it was brought to, if any.
  CountBound TypePadding(std::int64_t identifier);

  void SetClockMultiplier(bool on);
  void SetFrameType(bool world_fip);
  // True when switching the features on would take the estimate beyond the controller memory.
  bool SetBaFeatures(bool on);

  // Save: the parameters and priority into the document, the estimate moved for the BA features,
  // the modified mark and the param working file. Returns how the tree's "Local bus arbitrator"
  // item must follow; nothing happens when nothing changed.
  enum class BaItem { unchanged, insert, remove };
  BaItem Apply(CPlandrelDoc& document) const;

 private:
  // A field's scale in µs per count, and its count.
  TimeScale Scale(TimeField field) const;
  std::int32_t Count(TimeField field) const;
  void HoldCounts();      // turnaround and silence within the entry's bounds
  void RaiseStartDelay();  // the start delay up to the election count

  const TimingTable& timing_;
  const CPlandrelDoc& document_;
  records::GENERAL_PARAM param_;
  int priority_;
  bool changed_ = false;
};

}  // namespace plandrel
