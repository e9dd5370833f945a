// OnlineMessage: sends and their reports over the real engine; the reception stack, its
// numbering, its texts and the loss warnings on the message alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/check_codes.h"
#include "online/online_message.h"
#include "online_fixture.h"

namespace plandrel::testing {
namespace {

class TransmittedMessage : public OnlineOnMachine {
 protected:
  void SetUp() override {
    Connect(RoadConfiguration());
    message = std::make_unique<OnlineMessage>(*frame, locks.Get());
    ASSERT_TRUE(message->Init(true, config.messages[0], 0, config.local_station));
  }
  std::unique_ptr<OnlineMessage> message;
};

TEST_F(TransmittedMessage, SendQueuesTheBytesAndTheReportMarksItSent) {
  message->OpenDialog();
  ASSERT_EQ(frame->dialogs.size(), 1u);
  const auto dialog = frame->dialogs[0];
  EXPECT_EQ(dialog->kind, "transmitted");

  EXPECT_EQ(message->Send("%2h%s", "AB CD"), kCheckInvalidFormat);
  ASSERT_EQ(message->Send("%2h%2c", "AB CD 1 2"), kCheckOk);
  EXPECT_EQ(message->Length(), 4);
  EXPECT_EQ(message->Text(), "AB CD 1 2");
  EXPECT_TRUE(message->Sent());
  EXPECT_EQ(frame->Text(message->Item()), "M_OUT (sending queue)");

  StartBus();
  segment().run(3 * kCycle);
  bool reported = false;
  for (const auto& e : PollEvents()) {
    if (e.kind == 1) reported = message->OnSendReport(e.identifier, e.parameter, e.value) || reported;
  }
  EXPECT_TRUE(reported);
  const auto received = segment().remoteMessages(0);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].data, (std::vector<std::uint8_t>{0xAB, 0xCD, 1, 2}));
  EXPECT_EQ(frame->Text(message->Item()), "M_OUT (sent)");
  ASSERT_FALSE(dialog->posted.empty());
  EXPECT_EQ(dialog->posted.back().first, WM_FIP_MES_REPORT);

  // A report of another message, or on another channel.
  EXPECT_FALSE(message->OnSendReport(static_cast<std::uint16_t>(message->AccessKey() + 1), 0, 4));
  EXPECT_TRUE(message->OnSendReport(message->AccessKey(), 3, 4));
  EXPECT_EQ(dialog->posted.back(), (std::pair<std::uint32_t, std::uintptr_t>{WM_FIP_MES_REPORT, 1}));
  EXPECT_TRUE(message->OnSendReport(message->AccessKey(), 0, 8));
  EXPECT_EQ(dialog->posted.back(), (std::pair<std::uint32_t, std::uintptr_t>{WM_FIP_MES_REPORT, 8}));
}

TEST_F(TransmittedMessage, ARefusedFormatSendsNothing) {
  StartBus();
  for (const char* format : {"%2q", "%s", "%0h", "h"}) {
    EXPECT_EQ(message->Send(format, "1 2"), kCheckInvalidFormat) << format;
  }
  segment().run(3 * kCycle);
  for (const auto& e : PollEvents()) EXPECT_NE(e.kind, 1) << "no send report";
  EXPECT_TRUE(segment().remoteMessages(0).empty());
  EXPECT_FALSE(message->Sent());
}

TEST_F(TransmittedMessage, ElementsBeyond250BytesAreNotSent) {
  ASSERT_EQ(message->Send("%300h", "1 2"), kCheckOk);
  EXPECT_EQ(message->Length(), 250);
  EXPECT_EQ(message->Data()[0], 1);
  EXPECT_EQ(message->Data()[249], 0);

  // 251 elements typed: the first 250 bytes reach the far station.
  std::string text = "1";
  for (int i = 1; i < 251; ++i) text += " " + std::to_string(i % 10);
  StartBus();
  ASSERT_EQ(message->Send("%251h", text), kCheckOk);
  EXPECT_EQ(message->Length(), 250);
  segment().run(3 * kCycle);
  // The first message queued goes out too: the second is the last to arrive.
  const auto received = segment().remoteMessages(0);
  ASSERT_EQ(received.size(), 2u);
  ASSERT_EQ(received[1].data.size(), 250u);
  EXPECT_EQ(received[1].data[0], 1);
  EXPECT_EQ(received[1].data[249], 9);
}

TEST_F(TransmittedMessage, TypedTextIsTakenByTheEntryRules) {
  struct Case {
    const char* format;
    const char* text;
    std::vector<std::uint8_t> sent;
  };
  for (const Case& k : {Case{"%2h", "1FF 2", {0xFF, 2}}, Case{"%2c", "300 -1", {44, 0xFF}},
                        Case{"%2c", "12abc 5", {12, 5}}, Case{"%2h", "G", {0, 0}}}) {
    ASSERT_EQ(message->Send(k.format, k.text), kCheckOk) << k.text;
    EXPECT_EQ(std::vector<std::uint8_t>(message->Data().begin(), message->Data().begin() + message->Length()), k.sent)
        << k.text;
  }
}

TEST_F(TransmittedMessage, AFailedSendClearsTheStateText) {
  STOP_FIP_ENGINE();
  EXPECT_EQ(message->Send("%h", "1"), kCheckOnlineWriteFailed);
  EXPECT_EQ(frame->Text(message->Item()), "M_OUT ()");
}

TEST_F(TransmittedMessage, InitWithoutTheEngineKeySaysSo) {
  records::MESSAGE4 unknown = config.messages[0];
  unknown.destination_identifier = 0x0999;
  OnlineMessage m(*frame, locks.Get());
  EXPECT_FALSE(m.Init(true, unknown, 0, config.local_station));
  EXPECT_EQ(frame->messages, std::vector<std::string>{"Message access key error : abort session."});
}

// The reception stack needs no engine: a received message finds only its tree item.
class ReceivedMessage : public ::testing::Test {
 protected:
  ReceivedMessage() : config(MakeConfiguration()), frame(config), message(frame, locks.Get()) {}
  static records::Configuration MakeConfiguration() {
    records::Configuration c = RoadConfiguration();
    c.messages.push_back(MessageRecord("M_IN", 0x0300, kLocalOut, false));
    records::renumber_keys(c);
    return c;
  }
  void SetUp() override { ASSERT_TRUE(message.Init(true, config.messages[1], 1, config.local_station)); }
  static MES_PILE EntryOf(std::vector<std::uint8_t> bytes) {
    MES_PILE e;
    e.length = static_cast<std::uint16_t>(bytes.size());
    e.data = std::move(bytes);
    return e;
  }
  std::vector<std::uint16_t> Numbers() {
    std::vector<std::uint16_t> numbers;
    for (std::uint16_t n = 1; n <= message.StackSize(); ++n) numbers.push_back(message.Entry(n)->number);
    return numbers;
  }

  records::Configuration config;
  TestLocks locks;
  FakeFrame frame;
  OnlineMessage message;
};

TEST_F(ReceivedMessage, TheStackHolds64NumberedEntriesAndItsCountShowsInTheTree) {
  EXPECT_EQ(frame.Text(message.Item()), "M_IN (no received message)");
  message.OpenDialog();
  EXPECT_TRUE(frame.dialogs.empty()) << "no dialog on an empty stack";

  ASSERT_TRUE(message.Push(EntryOf({1})));
  EXPECT_EQ(frame.menu[1], true) << "the first entry enables the menu entry";
  EXPECT_EQ(frame.Text(message.Item()), "M_IN (1received message(s))");
  for (std::uint8_t i = 2; i <= 64; ++i) ASSERT_TRUE(message.Push(EntryOf({i})));
  EXPECT_FALSE(message.Push(EntryOf({65}))) << "the 65th is lost";
  EXPECT_EQ(message.StackSize(), 64u);
  EXPECT_EQ(message.Entry(64)->number, 64);
  EXPECT_EQ(message.Entry(64)->data, std::vector<std::uint8_t>{64});
  EXPECT_EQ(frame.Text(message.Item()), "M_IN (64received message(s))");
}

TEST_F(ReceivedMessage, DeletingRenumbersAndTheLastDeletionGreysTheMenu) {
  for (std::uint8_t i = 1; i <= 3; ++i) message.Push(EntryOf({i}));
  EXPECT_EQ(message.DeleteEntry(2), 2u);
  EXPECT_EQ(Numbers(), (std::vector<std::uint16_t>{1, 2}));
  EXPECT_EQ(message.Entry(2)->data, std::vector<std::uint8_t>{3});
  EXPECT_EQ(message.DeleteEntry(0), 2u);
  EXPECT_EQ(message.DeleteEntry(3), 2u);
  EXPECT_EQ(message.DeleteEntry(2), 1u);
  EXPECT_EQ(frame.menu[1], true);
  EXPECT_EQ(message.DeleteEntry(1), 0u);
  EXPECT_EQ(frame.menu[1], false);
  EXPECT_EQ(frame.Text(message.Item()), "M_IN (no received message)");

  for (std::uint8_t i = 1; i <= 3; ++i) message.Push(EntryOf({i}));
  message.ClearStack();
  EXPECT_EQ(message.StackSize(), 0u);
  EXPECT_EQ(frame.menu[1], false);
  EXPECT_TRUE(message.Push(EntryOf({9})));
  EXPECT_EQ(message.Entry(1)->number, 1);
}

TEST_F(ReceivedMessage, LossesAreReportedAtOnceThenOneInEleven) {
  std::vector<bool> shown;
  for (int i = 0; i < 23; ++i) shown.push_back(message.NoteLostReception());
  std::vector<bool> expected(23, false);
  expected[0] = expected[11] = expected[22] = true;
  EXPECT_EQ(shown, expected);
  ASSERT_EQ(frame.messages.size(), 3u);
  EXPECT_EQ(frame.messages[0], " M_IN message stack full :\nmessage may be lost.");

  message.NoteLostReception();
  message.ResetLossCounter();
  EXPECT_TRUE(message.NoteLostReception()) << "the dialog's delete resets the counter";
}

TEST_F(ReceivedMessage, TheDialogShowsEntriesAndFollowsTheStack) {
  message.Push(EntryOf({0x0A, 0x0B}));
  message.OpenDialog();
  ASSERT_EQ(frame.dialogs.size(), 1u);
  const auto dialog = frame.dialogs[0];
  EXPECT_EQ(dialog->kind, "received");
  EXPECT_EQ(dialog->text, "A");
  EXPECT_EQ(dialog->posted.back().first, WM_FIP_MES_SHOW);

  message.Push(EntryOf({0x0C}));
  EXPECT_EQ(dialog->posted.back().first, WM_FIP_MES_MORE);
  message.SetFormat("%2h");
  message.ShowEntry(1);
  EXPECT_EQ(dialog->text, "A B");
  message.SetFormat("%x");
  message.ShowEntry(2);
  EXPECT_EQ(dialog->text, "Invalid format");
  message.ShowEntry(3);
  EXPECT_EQ(dialog->text, "Invalid format") << "an entry beyond the stack is ignored";

  message.OpenDialog();
  EXPECT_EQ(dialog->activations, 1);
  message.CloseDialog(false);
  EXPECT_TRUE(dialog->destroyed);
  EXPECT_FALSE(dialog->frame_closed) << "the dialog closed itself";
}

TEST_F(ReceivedMessage, A252ByteReceptionIsKeptWholeAndCutOnlyForDisplay) {
  std::vector<std::uint8_t> bytes(252);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  message.Push(EntryOf(bytes));
  message.SetFormat("%252c");
  message.ShowEntry(1);
  EXPECT_EQ(message.Entry(1)->data, bytes);
  EXPECT_EQ(message.Length(), 252);
  EXPECT_EQ(message.Data()[251], 251);
  const std::string text = message.Text();
  EXPECT_EQ(std::count(text.begin(), text.end(), ' '), 249) << "250 elements shown";
  EXPECT_TRUE(text.ends_with(" 248 249"));
}

TEST_F(ReceivedMessage, AnUnconfiguredMessageKeepsItsOwnRecordAndDialogKind) {
  records::MESSAGE4 record = MessageRecord("300to100", 0x0300, kLocalOut, false);
  record.key = 35002;
  frame.Add(frame.ItemWithData(5000), 35002);
  OnlineMessage unconfigured(frame, locks.Get());
  ASSERT_TRUE(unconfigured.Init(false, record, 2, config.local_station));
  record.source_identifier = 0;
  EXPECT_EQ(unconfigured.Record().source_identifier, 0x0300);
  unconfigured.Push(EntryOf({1}));
  unconfigured.OpenDialog();
  EXPECT_EQ(frame.dialogs.back()->kind, "unconfigured");
}

}  // namespace
}  // namespace plandrel::testing
