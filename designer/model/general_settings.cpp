#include "model/general_settings.h"

#include <algorithm>
#include <cmath>

#include "records/configuration.h"

namespace plandrel {

namespace {

constexpr double kMaxQuotient = 134217728.0;  // 2^27

// A typed value that shows as the bound's own time draws no message: the two agree to the six
// significant digits of the "%g" text.
bool SameTime(double v, double t) { return std::fabs(v - t) <= 1e-6 * std::max(1.0, std::fabs(t)); }

}  // namespace

FittedCount FitTypedTime(double v, const TimeScale& scale, std::int32_t minimum, std::int32_t maximum) {
  if (!(scale.unit > 0.0)) return {minimum, CountBound::none};
  double q = (v - scale.offset) / scale.unit;
  // Bounded before the truncation, which a quotient beyond the integer range would make undefined.
  if (std::isnan(q) || q < 0.0) q = -1.0;
  else if (q > kMaxQuotient) q = kMaxQuotient;
  const auto h = static_cast<std::int64_t>(q);
  if (h < minimum) return {minimum, SameTime(v, scale.TimeOf(minimum)) ? CountBound::none : CountBound::low};
  if (h + 1 > maximum) return {maximum, SameTime(v, scale.TimeOf(maximum)) ? CountBound::none : CountBound::high};
  const double below = v - scale.TimeOf(h);
  const double above = scale.TimeOf(h + 1) - v;
  return {static_cast<std::int32_t>(below < above ? h : h + 1), CountBound::none};
}

std::int64_t BaFeaturesEstimateChange(std::uint16_t before, std::uint16_t after, std::uint32_t instruction_cost) {
  const std::int64_t amount = std::int64_t{instruction_cost} + kBaFeaturesMemory;
  if ((before != 0) == (after != 0)) return 0;
  return after != 0 ? amount : -amount;
}

GeneralSettingsEdit::GeneralSettingsEdit(const CPlandrelDoc& document, const TimingTable& timing)
    : timing_(timing), document_(document), param_(document.Records().param), priority_(document.GetPriority()) {
  HoldCounts();
  param_.start_delay = std::clamp(param_.start_delay, 0, kMaxStartDelay);
  param_.election_count = records::election_count(priority_, records::local_address(document.Records()));
}

TimeScale GeneralSettingsEdit::Scale(TimeField field) const {
  const records::TimingEntry e = Entry();
  switch (field) {
    case TimeField::turnaround: return {1.25 * double{e.bit_time_us}, double{e.turnaround_unit_us}};
    case TimeField::silence: return {double{e.silence_offset_us}, double{e.silence_unit_us}};
    case TimeField::start_delay: break;
  }
  return {0.0, param_.silence * double{e.silence_unit_us}};
}

std::int32_t GeneralSettingsEdit::Count(TimeField field) const {
  switch (field) {
    case TimeField::turnaround: return param_.turnaround;
    case TimeField::silence: return param_.silence;
    case TimeField::start_delay: break;
  }
  return param_.start_delay;
}

std::int32_t GeneralSettingsEdit::Minimum(TimeField field) const {
  switch (field) {
    case TimeField::turnaround: return Entry().min_turnaround;
    case TimeField::silence: return Entry().min_silence;
    case TimeField::start_delay: break;
  }
  return std::min(param_.election_count, kMaxStartDelay);
}

std::int32_t GeneralSettingsEdit::Maximum(TimeField field) const {
  switch (field) {
    case TimeField::turnaround: return Entry().max_turnaround;
    case TimeField::silence: return Entry().max_silence;
    case TimeField::start_delay: break;
  }
  return kMaxStartDelay;
}

double GeneralSettingsEdit::TimeOf(TimeField field, std::int32_t count) const {
  const double time = Scale(field).TimeOf(count);
  return field == TimeField::start_delay ? time / 1000.0 : time;
}

double GeneralSettingsEdit::Time(TimeField field) const { return TimeOf(field, Count(field)); }

void GeneralSettingsEdit::HoldCounts() {
  const records::TimingEntry e = Entry();
  param_.turnaround = std::clamp<std::uint16_t>(param_.turnaround, e.min_turnaround, e.max_turnaround);
  param_.silence = std::clamp<std::uint16_t>(param_.silence, e.min_silence, e.max_silence);
}

void GeneralSettingsEdit::RaiseStartDelay() { param_.start_delay = std::max(param_.start_delay, param_.election_count); }

bool GeneralSettingsEdit::SetSpeed(std::uint16_t speed) {
  if (speed == param_.speed) return false;
  records::set_speed(param_, speed);
  HoldCounts();
  changed_ = true;
  return true;
}

bool GeneralSettingsEdit::StepTurnaround(int step) {
  const records::TimingEntry e = Entry();
  const int next = param_.turnaround + step;
  changed_ = true;
  param_.turnaround = static_cast<std::uint16_t>(std::clamp<int>(next, e.min_turnaround, e.max_turnaround));
  return next == param_.turnaround;
}

bool GeneralSettingsEdit::StepSilence(int step) {
  const records::TimingEntry e = Entry();
  const int next = param_.silence + step;
  if (next < e.min_silence || next > e.max_silence) return false;
  param_.silence = static_cast<std::uint16_t>(next);
  changed_ = true;
  return true;
}

bool GeneralSettingsEdit::StepStartDelay(int step) {
  // Down stops at the election count, also for a delay that a file left below it.
  if (step > 0 ? param_.start_delay >= kMaxStartDelay
               : param_.start_delay <= 0 || param_.start_delay <= param_.election_count)
    return false;
  param_.start_delay += step > 0 ? 1 : -1;
  changed_ = true;
  return true;
}

CountBound GeneralSettingsEdit::TypeTime(TimeField field, float v) {
  // The start delay is typed in ms and counted in µs.
  const double typed = field == TimeField::start_delay ? double{v} * 1000.0 : double{v};
  const FittedCount fitted = FitTypedTime(typed, Scale(field), Minimum(field), Maximum(field));
  if (fitted.count != Count(field)) {
    switch (field) {
      case TimeField::turnaround: param_.turnaround = static_cast<std::uint16_t>(fitted.count); break;
      case TimeField::silence: param_.silence = static_cast<std::uint16_t>(fitted.count); break;
      case TimeField::start_delay: param_.start_delay = fitted.count; break;
    }
    changed_ = true;
  }
  return fitted.message;
}

bool GeneralSettingsEdit::TypePriority(std::int64_t priority) {
  if (priority == priority_) return false;
  const bool outside = priority < 0 || priority > records::kMaxPriority;
  priority_ = static_cast<int>(std::clamp<std::int64_t>(priority, 0, records::kMaxPriority));
  changed_ = true;
  param_.election_count = records::election_count(priority_, records::local_address(document_.Records()));
  RaiseStartDelay();
  return outside;
}

CountBound GeneralSettingsEdit::TypePadding(std::int64_t identifier) {
  if (identifier == param_.padding_identifier) return CountBound::none;
  const CountBound bound = identifier < 0                       ? CountBound::low
                           : identifier > kMaxPaddingIdentifier ? CountBound::high
                                                                : CountBound::none;
  param_.padding_identifier = static_cast<std::uint16_t>(std::clamp<std::int64_t>(identifier, 0, kMaxPaddingIdentifier));
  changed_ = true;
  return bound;
}

void GeneralSettingsEdit::SetClockMultiplier(bool on) {
  param_.clock_multiplier = on ? 1 : 0;
  changed_ = true;
  HoldCounts();
  RaiseStartDelay();
}

void GeneralSettingsEdit::SetFrameType(bool world_fip) {
  param_.frame_type = world_fip ? 1 : 0;
  changed_ = true;
}

bool GeneralSettingsEdit::SetBaFeatures(bool on) {
  param_.ba_size = on ? 1 : 0;
  changed_ = true;
  const std::int64_t change =
      BaFeaturesEstimateChange(document_.Records().param.ba_size, param_.ba_size, document_.GetInstructionCost());
  return on && std::int64_t{document_.GetMemoryEstimate()} + change > std::int64_t{CPlandrelDoc::kMemoryLimit};
}

GeneralSettingsEdit::BaItem GeneralSettingsEdit::Apply(CPlandrelDoc& document) const {
  if (!changed_) return BaItem::unchanged;
  const std::uint16_t before = document.Records().param.ba_size;
  document.AddToMemoryEstimate(BaFeaturesEstimateChange(before, param_.ba_size, document.GetInstructionCost()));
  document.Records().param = param_;
  document.SetPriority(priority_);
  if (!document.IsModified()) {
    document.SetModifiedFlag(true);
    document.UpdateTitle();
  }
  document.WriteWorkingFile(records::Section::param);
  if ((before != 0) == (param_.ba_size != 0)) return BaItem::unchanged;
  return param_.ba_size != 0 ? BaItem::insert : BaItem::remove;
}

}  // namespace plandrel
