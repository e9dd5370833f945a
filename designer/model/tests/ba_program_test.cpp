// The bus arbitrator's time units, dates, lines and default program, and the editor's changes up
// to its Save.
#include "model/ba_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/ba_program_edit.h"
#include "model/tests/document_fixture.h"
#include "model/timing_table.h"
#include "model/typed_value.h"
#include "records/byte_codec.h"

namespace plandrel {
namespace {

TEST(BaTimeUnit, SlotsOfEveryBitRateAndDamagedValues) {
  struct Case {
    std::uint16_t slot, speed_constant;
    float unit;
  };
  for (const Case& c : {Case{0, 64, 62.5F}, Case{1, 64, 250.0F}, Case{2, 64, 625.0F}, Case{3, 64, 2500.0F},
                        Case{0, 40, 100.0F}, Case{3, 40, 4000.0F}, Case{0, 80, 50.0F}, Case{3, 80, 2000.0F},
                        Case{4, 64, 0.0F}, Case{0xFFFF, 64, 0.0F}, Case{1, 0, 0.0F}})
    EXPECT_EQ(BaTimeUnit(c.slot, c.speed_constant), c.unit) << c.slot << "/" << c.speed_constant;
}

TEST(QuantiseBaTime, HalfGoesDownAboveHalfUpAndTheLatestDateCaps) {
  struct Case {
    float t, unit, expected;
  };
  const float inf = std::numeric_limits<float>::infinity();
  for (const Case& c : {
           Case{0.09375F, 62.5F, 0.0625F},     // 1.5 units: an exact half goes down
           Case{0.0938F, 62.5F, 0.125F},       // just above the half
           Case{12.5F, 250.0F, 12.5F},         // already a date of the unit
           Case{255.9375F, 62.5F, 255.9375F},  // 4095 units
           Case{256.0F, 62.5F, 255.9375F},     // beyond: 4095 units
           Case{1e30F, 62.5F, 255.9375F},      // far beyond the integer range
           Case{inf, 2500.0F, 10237.5F},
           Case{-0.2F, 62.5F, -0.1875F},  // negative times stay negative, for the editor to refuse
           Case{-1e30F, 62.5F, -255.9375F},
           Case{5.0F, 0.0F, 0.0F},  // a unit of 0
       })
    EXPECT_FLOAT_EQ(QuantiseBaTime(c.t, c.unit), c.expected) << c.t << " at " << c.unit;
  EXPECT_EQ(QuantiseBaUnits(std::nanf(""), 62.5F), 0);
}

// The twelve units of the three bit rates: a date shown as "%g" and read back (the "actual" edit,
// Insert) comes back to its own unit count for every count of every unit.
TEST(QuantiseBaTime, EveryDateShownAndReadBackKeepsItsUnitCountAtEverySlotUnit) {
  for (const std::uint16_t speed_constant : {40, 64, 80}) {
    for (std::uint16_t slot = 0; slot < kBaSlotCount; ++slot) {
      const float unit = BaTimeUnit(slot, speed_constant);
      int wrong = 0;
      for (std::int32_t units = 0; units <= kBaMaxUnits; ++units) {
        const auto shown = ReadTypedReal(TimeText(BaUnitsTime(units, unit)));
        ASSERT_TRUE(shown.has_value());
        if (QuantiseBaUnits(static_cast<float>(*shown), unit) != units) ++wrong;
      }
      EXPECT_EQ(wrong, 0) << "unit " << unit;
    }
  }
}

TEST(BaLine, StoredLinesAndTheirDisplay) {
  struct Case {
    std::string_view stored;
    bool date;
    std::string_view display;  // at 62.5 µs
    std::string_view stored_again;
    std::uint32_t cost;
  };
  for (const Case& c : {
           Case{"WAIT(C8)", true, "WAIT(12.5 ms)", "WAIT(C8)", 1},
           Case{"WAIT(c8)", true, "WAIT(12.5 ms)", "WAIT(C8)", 1},
           Case{"SEND_MSG(0000)", true, "SEND_MSG(0 ms)", "SEND_MSG(0)", 1},
           Case{"SEND_APER(FFFF)", true, "SEND_APER(4095.94 ms)", "SEND_APER(FFFF)", 1},  // 15 bytes, no NUL
           Case{"ID_DAT(1A2B)", false, "ID_DAT(1A2B)", "ID_DAT(1A2B)", 5},
           Case{"SUSPEND(1)", false, "SUSPEND(1)", "SUSPEND(1)", 1},
           Case{"NEXT_MACRO_1(3)", false, "NEXT_MACRO_1(3)", "NEXT_MACRO_1(3)", 1},
           // Dates that cannot be read are kept as stored, never turned into another date.
           Case{"WAIT(ZZ)", false, "WAIT(ZZ)", "WAIT(ZZ)", 1},
           Case{"WAIT(", false, "WAIT(", "WAIT(", 1},
           Case{"WAIT()", false, "WAIT()", "WAIT()", 1},
           Case{"WAIT(10000)", false, "WAIT(10000)", "WAIT(10000)", 1},
           Case{"WAIT(C8", false, "WAIT(C8", "WAIT(C8", 1},
           Case{"", false, "", "", 1},
       }) {
    const BaLine line = BaLine::FromStored(c.stored);
    EXPECT_EQ(line.IsDate(), c.date) << c.stored;
    EXPECT_EQ(line.Display(62.5F), c.display) << c.stored;
    EXPECT_EQ(line.Stored(), c.stored_again) << c.stored;
    EXPECT_EQ(line.Cost(), c.cost) << c.stored;
  }
  // In a unit of 0 (a damaged speed constant) no time can be shown: the line shows as stored.
  EXPECT_EQ(BaLine::FromStored("WAIT(C8)").Display(0.0F), "WAIT(C8)");
  // A full 15-byte record without its NUL is read within its 15 bytes.
  records::INSTRUCTION full = records::make_instruction("ID_DAT(1234567)");
  EXPECT_EQ(BaLine::FromInstruction(full).Stored(), "ID_DAT(1234567)");
}

TEST(BaLine, SlotTimeChangeRequantisesTheDate) {
  BaLine line = BaLine::Date(BaMacro::wait, 202);  // 12.625 ms at 62.5 µs
  line.Requantise(62.5F, 250.0F);                  // 50.5 units: the half goes down
  EXPECT_EQ(line.Display(250.0F), "WAIT(12.5 ms)");
  EXPECT_EQ(line.Stored(), "WAIT(32)");
  // A date from a file beyond the latest one is brought to it; a unit of 0 changes nothing.
  BaLine late = BaLine::FromStored("WAIT(FFFF)");
  late.Requantise(0.0F, 250.0F);
  EXPECT_EQ(late.Stored(), "WAIT(FFFF)");
  late.Requantise(62.5F, 250.0F);
  EXPECT_EQ(late.Stored(), "WAIT(FFF)");
}

// ---------------------------------------------------------------------------------------------
// Default program

records::VARIABLE4 Variable(std::uint16_t identifier, std::uint16_t length, bool refreshment = false) {
  records::VARIABLE4 v;
  v.identifier = identifier;
  v.length = length;
  v.refreshment_status = refreshment ? 1 : 0;
  v.channel = -1;
  v.producer = 1;
  return v;
}

records::VARIABLE4 Channel(std::uint16_t identifier, std::int16_t channel, std::int16_t producer = 0) {
  records::VARIABLE4 v = Variable(identifier, 1);
  v.flags = 0x02;
  v.channel = channel;
  v.producer = producer;
  return v;
}

records::MESSAGE4 Message(bool aperiodic) {
  records::MESSAGE4 m;
  m.aperiodic = aperiodic ? 1 : 0;
  return m;
}

class DefaultProgram : public ::testing::Test {
 protected:
  void SetUp() override { timing_.Fill(); }
  TimingTable timing_;
};

TEST_F(DefaultProgram, WorldFipFramesWithoutMessages) {
  records::Configuration c = records::new_configuration();  // 1 Mbit/s, WorldFIP, turnaround 14
  c.variables = {Variable(0x100, 2), Variable(0x2A0, 4, true)};
  const DefaultBaProgram plan = PlanDefaultBaProgram(c, timing_, 0, 62.5F);
  // 8 x ((2 + 8) + (4 + 8 + 1) + 8 x 2) = 312 bits: 0.312 ms, and 2 x 2 frames of 0.01 ms.
  // 0.352 ms are 5.632 units of 62.5 µs: 6 units.
  EXPECT_FLOAT_EQ(plan.minimum_cycle, 0.375F);
  EXPECT_TRUE(plan.channels.empty());
  EXPECT_FALSE(plan.aperiodic_messages);
  EXPECT_EQ(plan.cost, 5u * 2 + 3 + 1);

  const BaSequence program = BuildDefaultBaProgram(plan, QuantiseBaUnits(2.0F, 62.5F), false);
  ASSERT_EQ(StoredBaSequence(program).size(), 3u);
  EXPECT_EQ(program[0].Stored(), "ID_DAT(100)");
  EXPECT_EQ(program[1].Stored(), "ID_DAT(2A0)");
  EXPECT_EQ(program[2].Stored(), "WAIT(20)");  // 2 ms = 32 units
  // The cost agrees with the document's rule for the two sequences.
  EXPECT_EQ(DefaultBaProgramCost(plan, false), records::instruction_cost(StoredBaSequence(program), {}));
}

TEST_F(DefaultProgram, FipFramesWithBothKindsOfMessageAndAChannel) {
  records::Configuration c = records::new_configuration();
  records::set_speed(c.param, 2);  // 2.5 Mbit/s: units of 50, 200, 500 and 2000 µs
  c.param.frame_type = 0;
  c.param.turnaround = 10;  // 10 x 1.6 + 1.25 x 0.4 = 16.5 µs
  c.variables = {Channel(0x10, 1), Variable(0x20, 3), Channel(0x30, 0), Channel(0x40, 2, 3)};
  c.variables[0].length = 10;
  c.variables[0].refreshment_status = 1;
  c.messages = {Message(false), Message(true)};
  const float unit = BaTimeUnit(1, c.param.speed_constant);
  const DefaultBaProgram plan = PlanDefaultBaProgram(c, timing_, 7, unit);
  // Only the local station's periodic channel 0x10 counts (0x30 is the aperiodic channel, 0x40
  // another station's). Bits: (80 + 61 + 8) + (24 + 61) + (8 + 61) + (8 + 61) + 61 x 4 + 2199 = 2815,
  // 1.126 ms at 2.5 Mbit/s; frames (3 + 8) x 0.0165 ms; 1.3075 ms are 6.5375 units of 0.2 ms: 7.
  EXPECT_EQ(plan.channels, std::vector<std::uint16_t>{0x10});
  EXPECT_TRUE(plan.aperiodic_messages);
  EXPECT_NEAR(plan.minimum_cycle, 1.4F, 1e-6F);
  EXPECT_EQ(plan.cost, 5u * 4 + 1 + 3 + 7 + 1);

  std::vector<std::string> lines;
  for (const BaLine& line : BuildDefaultBaProgram(plan, QuantiseBaUnits(5.0F, unit), true)) lines.push_back(line.Stored());
  EXPECT_EQ(lines, (std::vector<std::string>{"ID_DAT(10)", "ID_DAT(20)", "ID_DAT(30)", "ID_DAT(40)", "ID_MSG(10)",
                                             "SEND_MSG(19)", "SEND_APER(19)", "WAIT(19)"}));
  EXPECT_EQ(DefaultBaProgramCost(plan, true), plan.cost);
  EXPECT_EQ(DefaultBaProgramCost(plan, false), plan.cost - 1);
}

TEST_F(DefaultProgram, NoMoreThanEightChannelsAndNoneWithoutPeriodicMessages) {
  records::Configuration c = records::new_configuration();
  for (std::uint16_t i = 1; i <= 12; ++i) c.variables.push_back(Channel(i, static_cast<std::int16_t>(1 + i % 8)));
  EXPECT_TRUE(PlanDefaultBaProgram(c, timing_, 0, 62.5F).channels.empty());  // no message at all
  c.messages = {Message(false)};
  const DefaultBaProgram plan = PlanDefaultBaProgram(c, timing_, 0, 62.5F);
  EXPECT_EQ(plan.channels, (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(plan.cost, 5u * 12 + 8 + 3 + 1);
}

TEST_F(DefaultProgram, DamagedBitRateAndSpeedConstantDoNotDivideByZero) {
  records::Configuration c = records::new_configuration();
  c.param.speed = 7;
  c.param.clock_multiplier = 2;
  c.param.speed_constant = 0;
  c.variables = {Variable(1, 8)};
  const DefaultBaProgram plan = PlanDefaultBaProgram(c, timing_, 0, BaTimeUnit(0, c.param.speed_constant));
  EXPECT_EQ(plan.minimum_cycle, 0.0F);
  EXPECT_EQ(BuildDefaultBaProgram(plan, QuantiseBaUnits(3.0F, 0.0F), false).back().Stored(), "WAIT(0)");
}

// ---------------------------------------------------------------------------------------------
// The editor's changes and Save

class BaProgramEditTest : public testing::DocumentFixture {
 protected:
  void Load(const std::vector<std::string>& one, const std::vector<std::string>& two) {
    testing::SetBaSequences(*document_, one, two);
  }
  static std::vector<std::string> Texts(const std::vector<records::INSTRUCTION>& sequence) {
    return testing::SequenceTexts(sequence);
  }
};

TEST_F(BaProgramEditTest, UntouchedDatesSurviveASaveAtEverySlot) {
  // Every date of the 12-bit range, stored back after an unrelated insertion, at each slot.
  for (std::uint16_t slot = 0; slot < kBaSlotCount; ++slot) {
    std::vector<std::string> dates;
    for (std::int32_t units = 0; units <= kBaMaxUnits; ++units) dates.push_back(BaLine::Date(BaMacro::wait, units).Stored());
    Load(dates, {"SUSPEND(1)"});
    document_->Records().param.slot_time = slot;
    BaProgramEdit edit(*document_);
    ASSERT_EQ(edit.Insert(1, 0, BaLine::Argument(BaMacro::id_msg, 5)), BaProgramEdit::Refusal::none);
    ASSERT_EQ(edit.Save(*document_, ""), BaProgramEdit::SaveResult::saved);
    EXPECT_EQ(Texts(document_->Records().sequence1), dates) << "slot " << slot;
    EXPECT_EQ(Texts(document_->Records().sequence2), (std::vector<std::string>{"ID_MSG(5)", "SUSPEND(1)"}));
  }
}

TEST_F(BaProgramEditTest, MemoryTestBeforeEveryAddedLine) {
  Load({"ID_DAT(1)"}, {});  // cost 6
  document_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 2);
  BaProgramEdit edit(*document_);  // room for 2 more units
  EXPECT_EQ(edit.Insert(0, 0, BaLine::Argument(BaMacro::id_dat, 2)), BaProgramEdit::Refusal::memory_full);
  EXPECT_EQ(edit.Insert(0, 1, BaLine::Date(BaMacro::wait, 1)), BaProgramEdit::Refusal::none);
  EXPECT_EQ(edit.Copy(0), BaProgramEdit::Refusal::memory_full);  // 2 x 6 + 1
  EXPECT_EQ(edit.Insert(0, 9, BaLine::Date(BaMacro::wait, 2)), BaProgramEdit::Refusal::none);  // appended
  EXPECT_EQ(edit.Insert(0, 0, BaLine::Date(BaMacro::wait, 3)), BaProgramEdit::Refusal::memory_full);
  edit.Erase(0, {0, 0, 7});  // the ID_DAT line, once; a position beyond the sequence is skipped
  EXPECT_EQ(edit.BaCost(), 3u);
  EXPECT_EQ(edit.Copy(0), BaProgramEdit::Refusal::none);
  EXPECT_EQ(edit.BaCost(), 5u);
  ASSERT_EQ(edit.Save(*document_, ""), BaProgramEdit::SaveResult::saved);
  EXPECT_EQ(document_->GetInstructionCost(), 5u);
  EXPECT_EQ(document_->GetMemoryEstimate(), CPlandrelDoc::kMemoryLimit - 3);
  EXPECT_EQ(Texts(document_->Records().sequence2), (std::vector<std::string>{"WAIT(1)", "WAIT(2)"}));
}

TEST_F(BaProgramEditTest, FileModeIsCheckedBeforeAnythingIsStored) {
  Load({"WAIT(1)"}, {});
  const records::Configuration before = document_->Records();
  const std::uint32_t estimate = document_->GetMemoryEstimate();
  BaProgramEdit edit(*document_);
  edit.Erase(0, {0});
  edit.SetFileMode(true);
  EXPECT_EQ(edit.Save(*document_, ""), BaProgramEdit::SaveResult::empty_path);
  EXPECT_EQ(edit.Save(*document_, std::string(261, 'p')), BaProgramEdit::SaveResult::path_too_long);
  EXPECT_EQ(document_->Records(), before);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate);
  EXPECT_FALSE(document_->IsModified());

  const std::string path(260, 'p');
  ASSERT_EQ(edit.Save(*document_, path), BaProgramEdit::SaveResult::saved);
  EXPECT_EQ(document_->Records().ba.program_from_file, 1);
  EXPECT_EQ(records::text_of(document_->Records().ba.program_path), path);
  EXPECT_TRUE(document_->Records().sequence1.empty());
}

TEST_F(BaProgramEditTest, NothingChangedLeavesTheDocumentAlone) {
  Load({"WAIT(1)"}, {});
  BaProgramEdit edit(*document_);
  EXPECT_EQ(edit.Save(*document_, "ignored"), BaProgramEdit::SaveResult::unchanged);
  EXPECT_FALSE(document_->IsModified());
}

}  // namespace
}  // namespace plandrel
