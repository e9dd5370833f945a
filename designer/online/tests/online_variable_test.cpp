// OnlineVariable over the real engine: look-up, reads with their statuses and texts, the dialog
// updates, and writes with their refusals.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>

#include "model/check_codes.h"
#include "online/online_variable.h"
#include "online_fixture.h"

namespace plandrel::testing {
namespace {

class OnlineVariableTest : public OnlineOnMachine {
 protected:
  void SetUp() override {
    Connect(RoadConfiguration());
    produced = std::make_unique<OnlineVariable>(*frame, locks.Get());
    consumed = std::make_unique<OnlineVariable>(*frame, locks.Get());
    ASSERT_TRUE(produced->Init(config.variables[0], 0, config.local_station));
    ASSERT_TRUE(consumed->Init(config.variables[1], 1, config.local_station));
  }
  // The session thread's pass for a consumed variable.
  void Pass(OnlineVariable& v) {
    {
      std::lock_guard engine(locks.engine);
      v.Read();
      v.PublishToDialog();
    }
    v.UpdateTreeText();
  }
  // The value of V0100 as R5 consumed it from the bus.
  std::vector<std::uint8_t> R5Value() {
    const auto held = segment().remoteValue(0, kLocalOut);
    return held ? held->value : std::vector<std::uint8_t>{};
  }

  std::unique_ptr<OnlineVariable> produced, consumed;
};

TEST_F(OnlineVariableTest, InitFindsTheEngineKeyAndTheTreeItemOrSaysWhyNot) {
  EXPECT_EQ(produced->AccessKey(), 0);
  EXPECT_EQ(consumed->AccessKey(), 1);
  EXPECT_EQ(consumed->Item(), frame->ItemWithData(5001));
  EXPECT_TRUE(frame->messages.empty());

  records::VARIABLE4 unknown = VariableRecord(0x0777, true, 2, false);
  unknown.key = 5002;
  OnlineVariable not_in_engine(*frame, locks.Get());
  EXPECT_FALSE(not_in_engine.Init(unknown, 2, config.local_station));
  OnlineVariable not_in_tree(*frame, locks.Get());
  frame->Remove(frame->ItemWithData(5001));
  EXPECT_FALSE(not_in_tree.Init(config.variables[1], 1, config.local_station));
  EXPECT_EQ(frame->messages, (std::vector<std::string>{"Variable access key error :\n\tAbort session.",
                                                       "Tree management error :\n\tAbort session."}));
}

TEST_F(OnlineVariableTest, ReadsShowTheValueWithItsStatusesInTheTreeAndTheDialog) {
  Pass(*consumed);
  EXPECT_EQ(frame->Text(consumed->Item()), "V0200 (never seen on the bus)");

  consumed->OpenDialog();
  ASSERT_EQ(frame->dialogs.size(), 1u);
  const auto dialog = frame->dialogs[0];
  EXPECT_EQ(dialog->kind, "consumed");
  ASSERT_EQ(dialog->posted.size(), 1u) << "the state at opening";

  StartBus();
  segment().run(kCycle);
  Pass(*consumed);
  ASSERT_TRUE(consumed->ReadOk());
  EXPECT_EQ(consumed->Value(), (std::vector<std::uint8_t>{0, 7}));
  EXPECT_TRUE(consumed->RefreshmentTrue());
  EXPECT_TRUE(consumed->PromptnessTrue());
  EXPECT_EQ(frame->Text(consumed->Item()), "V0200 (0 7) R P");
  EXPECT_EQ(dialog->posted.back().first, WM_FIP_VAR_UPDATE);
  EXPECT_EQ(dialog->snapshot.value_text, "0 7");
  EXPECT_TRUE(dialog->snapshot.read_ok && dialog->snapshot.refreshment_true && dialog->snapshot.promptness_true);

  // The dialog's format edit re-formats the last value; an invalid format shows so.
  consumed->SetFormat("%u");
  consumed->Reformat();
  EXPECT_EQ(dialog->snapshot.value_text, "7");
  consumed->SetFormat("%0u");
  Pass(*consumed);
  EXPECT_EQ(frame->Text(consumed->Item()), "V0200 (Invalid format) R P");

  // Closed by the session: the frame goes, and nothing more reaches the dialog.
  const std::size_t posts = dialog->posted.size();
  consumed->CloseDialog(true);
  EXPECT_TRUE(dialog->frame_closed && dialog->destroyed);
  Pass(*consumed);
  EXPECT_EQ(dialog->posted.size(), posts);

}

TEST_F(OnlineVariableTest, WriteSendsTheParsedValueAndShowsItAsItWentOnTheBus) {
  EXPECT_EQ(produced->Write("%2h", "12 A0"), kCheckOk);
  EXPECT_EQ(produced->Value(), (std::vector<std::uint8_t>{0x12, 0xA0}));
  EXPECT_EQ(produced->ValueText(), "12 A0");
  EXPECT_EQ(produced->GetFormat(), "%2h");
  EXPECT_EQ(frame->Text(produced->Item()), "V0100 (12 A0)");

  // R5 consumes it: the value is on the bus.
  StartBus();
  segment().run(kCycle);
  EXPECT_EQ(R5Value(), (std::vector<std::uint8_t>{0x12, 0xA0}));

  // The tree shows the bytes formatted back, not the typed text: the low bytes kept.
  EXPECT_EQ(produced->Write("%u", "70000"), kCheckOk);
  EXPECT_EQ(frame->Text(produced->Item()), "V0100 (4464)");
  segment().run(kCycle);
  EXPECT_EQ(R5Value(), (std::vector<std::uint8_t>{0x11, 0x70}));
  EXPECT_EQ(produced->Write("%2c", "300" + std::string(40, ' ') + "-1"), kCheckOk);
  EXPECT_EQ(frame->Text(produced->Item()), "V0100 (44 255)");

  // A long value is cut in the tree.
  produced.reset();
  consumed.reset();
  TearDown();
  records::Configuration wide = RoadConfiguration();
  wide.variables[0].length = 12;
  Connect(wide);
  produced = std::make_unique<OnlineVariable>(*frame, locks.Get());
  ASSERT_TRUE(produced->Init(config.variables[0], 0, config.local_station));
  EXPECT_EQ(produced->Write("%12c", "100 101 102 103 104 105 106 107 108 109 110 111"), kCheckOk);
  EXPECT_EQ(frame->Text(produced->Item()), "V0100 (100 101 102 103 104 105 106 107 ...)");
}

struct RefusedWrite {
  const char* format;
  const char* text;
};

void PrintTo(const RefusedWrite& c, std::ostream* os) { *os << '"' << c.format << "\" \"" << c.text << '"'; }

class OnlineVariableRefusal : public OnlineVariableTest, public ::testing::WithParamInterface<RefusedWrite> {};

TEST_P(OnlineVariableRefusal, ChangesNothingOnTheBoard) {
  ASSERT_EQ(produced->Write("%2h", "5 6"), kCheckOk);
  const int texts = frame->text_updates;
  EXPECT_EQ(produced->Write(GetParam().format, GetParam().text), kCheckInvalidFormat);
  EXPECT_EQ(produced->Value(), (std::vector<std::uint8_t>{5, 6}));
  EXPECT_EQ(frame->text_updates, texts);
  StartBus();
  segment().run(kCycle);
  EXPECT_EQ(R5Value(), (std::vector<std::uint8_t>{5, 6}));
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, OnlineVariableRefusal,
    ::testing::Values(RefusedWrite{"%q", "1"}, RefusedWrite{"%0h", "1"}, RefusedWrite{"", "1"},
                      RefusedWrite{"%s", "A"},
                      RefusedWrite{"%h%h%h%h%h%h%h%h%h%h%h%h%h%h%h%h%h", "1"}));  // 34 characters

// Typed values by the entry rules: each element keeps its low bytes and takes the number at the
// front of its text, and the elements stop at the variable's two bytes.
TEST_F(OnlineVariableTest, TypedValuesFollowTheEntryRules) {
  struct Case {
    const char* format;
    const char* text;
    std::vector<std::uint8_t> value;
  };
  StartBus();
  for (const Case& k : {Case{"%2h", "1FF 2", {0xFF, 2}}, Case{"%2c", "08 1", {0, 1}}, Case{"%2c", "300 -1", {44, 0xFF}},
                        Case{"%3c", "1 2 3", {1, 2}}, Case{"%2c", "12abc 5", {12, 5}}, Case{"%i", "-32769", {0x7F, 0xFF}},
                        Case{"%2h", "x y", {0, 0}}}) {
    ASSERT_EQ(produced->Write(k.format, k.text), kCheckOk) << k.text;
    EXPECT_EQ(produced->Value(), k.value) << k.text;
    segment().run(kCycle);
    EXPECT_EQ(R5Value(), k.value) << k.text;
  }
}

TEST_F(OnlineVariableTest, AFailedWriteKeepsTheLastValue) {
  ASSERT_EQ(produced->Write("%2h", "5 6"), kCheckOk);
  STOP_FIP_ENGINE();
  EXPECT_EQ(produced->Write("%2h", "7 8"), kCheckOnlineWriteFailed);
  EXPECT_EQ(produced->Value(), (std::vector<std::uint8_t>{5, 6}));
  EXPECT_EQ(frame->Text(produced->Item()), "V0100 (5 6)");
}

TEST_F(OnlineVariableTest, AValueShorterThanItsFormatShowsWhatFitsAndTakesWhatFits) {
  EXPECT_EQ(produced->Write("%4h", "1 2"), kCheckOk);
  EXPECT_EQ(produced->Value(), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(produced->ValueText(), "1 2");
  produced->Snapshot();
  EXPECT_EQ(produced->SnapshotValue(), produced->Value());
}

TEST_F(OnlineVariableTest, TreeTextsGoOnlyToTheMainWindow) {
  frame->main_window = false;
  EXPECT_EQ(produced->Write("%2h", "1 2"), kCheckOk);
  consumed->UpdateTreeText();
  EXPECT_EQ(frame->text_updates, 0);
}

}  // namespace
}  // namespace plandrel::testing
