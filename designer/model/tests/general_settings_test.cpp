// Counts and times of the general settings, and what their Save brings into the document.
#include "model/general_settings.h"

#include <gtest/gtest.h>

#include <limits>

#include "model/tests/document_fixture.h"
#include "model/typed_value.h"

namespace plandrel {
namespace {

using Field = GeneralSettingsEdit::TimeField;

TEST(TypedValue, ReadsWholeNumbersOnly) {
  EXPECT_EQ(ReadTypedReal(" 12.5 "), 12.5);
  EXPECT_EQ(ReadTypedReal("+1e3"), 1000.0);
  EXPECT_EQ(ReadTypedReal("-3"), -3.0);
  EXPECT_EQ(ReadTypedReal("1e40"), 1e40);  // finite: the caller bounds it
  for (const char* bad : {"", " ", "abc", "nan", "NAN", "inf", "-inf", "1e400", "12ms", "1,5", "++1", "+-1", "0x10"})
    EXPECT_FALSE(ReadTypedReal(bad).has_value()) << bad;

  EXPECT_EQ(ReadTypedHex("1a2B"), 0x1A2B);
  EXPECT_EQ(ReadTypedHex("0xff"), 0xFF);
  EXPECT_EQ(ReadTypedHex("-5"), -5);
  EXPECT_EQ(ReadTypedHex("10000"), 0x10000);
  EXPECT_EQ(ReadTypedHex("FFFFFFFFFFFFFFFFFFFFFFFF"), std::int64_t{1} << 40);  // saturates, never wraps
  for (const char* bad : {"", "xyz", "1g", "0x", "-", "1 2"}) EXPECT_FALSE(ReadTypedHex(bad).has_value()) << bad;

  EXPECT_EQ(ReadTypedDecimal("15"), 15);
  EXPECT_EQ(ReadTypedDecimal("-99999999999999999999"), -(std::int64_t{1} << 40));
  EXPECT_FALSE(ReadTypedDecimal("1A").has_value());
}

// Turnaround at 1 Mbit/s without clock multiplier: 14..63 counts of 0.625 µs after 1.25 µs.
TEST(FitTypedTime, BoundsMessagesAndTheTieGoingUp) {
  const TimeScale turnaround{1.25, 0.625};
  struct Case {
    double v;
    std::int32_t count;
    CountBound message;
  };
  const double huge = std::numeric_limits<float>::infinity();  // 1e40 stored single precision
  for (const Case& c : {
           Case{5.0, 14, CountBound::low},       // below: the minimum, 10 µs, with its message
           Case{10.0, 14, CountBound::none},     // the minimum's own time: no message
           Case{-3.0, 14, CountBound::low},
           Case{-huge, 14, CountBound::low},
           Case{10.3, 14, CountBound::none},     // nearer to 10
           Case{10.3125, 15, CountBound::none},  // halfway between 10 and 10.625: the higher count
           Case{10.4, 15, CountBound::none},
           Case{40.0, 62, CountBound::none},
           Case{40.625, 63, CountBound::none},   // the maximum's own time
           Case{40.7, 63, CountBound::high},
           Case{1e9, 63, CountBound::high},
           Case{huge, 63, CountBound::high},
       }) {
    const FittedCount fitted = FitTypedTime(c.v, turnaround, 14, 63);
    EXPECT_EQ(fitted.count, c.count) << c.v;
    EXPECT_EQ(fitted.message, c.message) << c.v;
  }
  // 2.5 Mbit/s silence (12.8 µs after 32 µs): a bound typed as shown draws no message.
  EXPECT_EQ(FitTypedTime(96.0, {32.0, double{12.8F}}, 5, 63).message, CountBound::none);
}

using GeneralSettingsTest = testing::DocumentFixture;

TEST_F(GeneralSettingsTest, PriorityGivesTheElectionCountAndRaisesTheStartDelay) {
  document_->Records().stations[0].physical_address = 255;
  document_->Records().param.start_delay = 100;  // below any election count, as a file may hold
  GeneralSettingsEdit edit(*document_, timing_);
  EXPECT_EQ(edit.Param().election_count, (256 + 255) * 2 + 6);
  EXPECT_FALSE(edit.TypePriority(0));  // unchanged: nothing
  EXPECT_FALSE(edit.Changed());
  EXPECT_TRUE(edit.TypePriority(20));  // brought to 15, with the message
  EXPECT_EQ(edit.Priority(), 15);
  EXPECT_EQ(edit.Param().election_count, 8708);
  EXPECT_EQ(edit.Param().start_delay, 8708);
  EXPECT_TRUE(edit.TypePriority(-1));
  EXPECT_EQ(edit.Priority(), 0);
  EXPECT_EQ(edit.Param().start_delay, 8708);  // a longer delay stays
}

TEST_F(GeneralSettingsTest, StartDelayStepsStopAtTheElectionCountAndTheMaximum) {
  document_->Records().param.start_delay = 519;
  GeneralSettingsEdit edit(*document_, timing_);
  EXPECT_TRUE(edit.StepStartDelay(-1));
  EXPECT_EQ(edit.Param().start_delay, 518);
  EXPECT_FALSE(edit.StepStartDelay(-1));  // at the election count: a beep

  document_->Records().param.start_delay = 300;  // already below it (from a file)
  GeneralSettingsEdit below(*document_, timing_);
  EXPECT_FALSE(below.StepStartDelay(-1));
  EXPECT_EQ(below.Param().start_delay, 300);
  EXPECT_FALSE(below.Changed());

  document_->Records().param.start_delay = 0x12345;  // held to 0xFFFF on opening
  GeneralSettingsEdit high(*document_, timing_);
  EXPECT_EQ(high.Param().start_delay, 0xFFFF);
  EXPECT_FALSE(high.StepStartDelay(1));

  // Typed: below the election count, the election count with its message; 0.11 ms per count.
  EXPECT_EQ(high.TypeTime(Field::start_delay, 1.0F), CountBound::low);
  EXPECT_EQ(high.Param().start_delay, 518);
  EXPECT_EQ(high.TypeTime(Field::start_delay, 100.0F), CountBound::none);
  EXPECT_EQ(high.Param().start_delay, 909);  // 909.09 counts
  EXPECT_EQ(high.TypeTime(Field::start_delay, 1e9F), CountBound::high);
  EXPECT_EQ(high.Param().start_delay, 0xFFFF);
}

TEST_F(GeneralSettingsTest, SpeedAndClockMultiplierKeepTheCountsWithinTheirBounds) {
  GeneralSettingsEdit edit(*document_, timing_);
  edit.SetClockMultiplier(true);  // 1 Mbit/s with multiplier: turnaround 3..63, silence 4..63
  EXPECT_EQ(edit.Param().turnaround, 14);
  EXPECT_TRUE(edit.StepTurnaround(-11));
  EXPECT_EQ(edit.Param().turnaround, 3);
  ASSERT_TRUE(edit.SetSpeed(2));  // 2.5 Mbit/s: turnaround from 10; the multiplier is kept
  EXPECT_EQ(edit.Param().speed_constant, 80);
  EXPECT_EQ(edit.Param().turnaround, 10);
  EXPECT_EQ(edit.Param().clock_multiplier, 1);
  EXPECT_FALSE(edit.StepTurnaround(-1));  // put back with a beep
  EXPECT_EQ(edit.Param().turnaround, 10);
  EXPECT_FALSE(edit.SetSpeed(2));
  ASSERT_TRUE(edit.SetSpeed(1));
  EXPECT_EQ(edit.Index(), 3u);  // back with the multiplier on
  EXPECT_FALSE(edit.StepSilence(-19));  // 22 - 19 is below 4: nothing changes
  EXPECT_EQ(edit.Param().silence, 22);
}

TEST_F(GeneralSettingsTest, DamagedBitRateReadsTheFallbackEntry) {
  document_->Records().param.speed = 3;
  document_->Records().param.clock_multiplier = 2;
  document_->Records().param.turnaround = 0;
  GeneralSettingsEdit edit(*document_, timing_);
  EXPECT_EQ(edit.Index(), 2u);
  EXPECT_EQ(edit.Param().turnaround, 14);
  EXPECT_EQ(edit.TypeTime(Field::turnaround, 5.0F), CountBound::low);
}

TEST_F(GeneralSettingsTest, PaddingIdentifierBounds) {
  GeneralSettingsEdit edit(*document_, timing_);
  EXPECT_EQ(edit.TypePadding(0x7530), CountBound::none);
  EXPECT_FALSE(edit.Changed());
  EXPECT_EQ(edit.TypePadding(-5), CountBound::low);
  EXPECT_EQ(edit.Param().padding_identifier, 0);
  EXPECT_EQ(edit.TypePadding(0x10000), CountBound::high);
  EXPECT_EQ(edit.Param().padding_identifier, 0xFFFF);
}

TEST_F(GeneralSettingsTest, BaFeaturesMoveTheEstimateOnlyAtSave) {
  const std::uint32_t cost = document_->GetInstructionCost();
  document_->SetMemoryEstimate(records::memory_estimate(document_->Records(), cost));  // as a load computes it
  const std::uint32_t estimate = document_->GetMemoryEstimate();
  {
    GeneralSettingsEdit edit(*document_, timing_);
    EXPECT_FALSE(edit.SetBaFeatures(false));
    // Not applied (Cancel): the document keeps its estimate and its features.
  }
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate);
  EXPECT_EQ(document_->Records().param.ba_size, 1);

  GeneralSettingsEdit off(*document_, timing_);
  off.SetBaFeatures(false);
  EXPECT_EQ(off.Apply(*document_), GeneralSettingsEdit::BaItem::remove);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate - (cost + 768));
  EXPECT_TRUE(document_->IsModified());
  records::Configuration back;
  ASSERT_EQ(document_->GetWorkingFiles().read(records::Section::param, back), records::Status::ok);
  EXPECT_EQ(back.param.ba_size, 0);

  GeneralSettingsEdit toggled(*document_, timing_);
  toggled.SetBaFeatures(true);
  toggled.SetBaFeatures(false);
  EXPECT_EQ(toggled.Apply(*document_), GeneralSettingsEdit::BaItem::unchanged);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate - (cost + 768));

  // Switching on where the memory is full: the warning, and still on.
  document_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 100);
  GeneralSettingsEdit full(*document_, timing_);
  EXPECT_TRUE(full.SetBaFeatures(true));
  EXPECT_EQ(full.Apply(*document_), GeneralSettingsEdit::BaItem::insert);
  EXPECT_EQ(document_->GetMemoryEstimate(), CPlandrelDoc::kMemoryLimit - 100 + cost + 768);
}

}  // namespace
}  // namespace plandrel
