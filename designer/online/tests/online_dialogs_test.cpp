// The on-line dialogs in their frames, opened from the session on the simulated machine with the
// example network (session_fixture.h): what they show as the session thread feeds them, what
// their commands do on the board, and closing and opening them again while the session runs.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "base/clock.h"
#include "online/aperiodic_dlg.h"
#include "online/ba_dlg.h"
#include "online/error_text.h"
#include "online/frame_dlg.h"
#include "online/medium_dlg.h"
#include "online/message_dlgs.h"
#include "online/online_dialogs.h"
#include "online/online_resources.h"
#include "online/variable_dlgs.h"
#include "records/instruction.h"
#include "session_fixture.h"

namespace plandrel {
namespace {

using namespace testing;

constexpr std::uint16_t kTemperatureId = 0x0A10, kLevelId = 0x0A11, kSetpointId = 0x0A20;

class DialogsTest : public SessionTest {
 protected:
  // The dialog frames open in the main frame, by caption.
  std::vector<std::string> Captions() {
    std::vector<std::string> captions;
    for (CMDIChildWnd* child : frame().MDIChildren())
      if (dynamic_cast<CFrameDlg*>(child)) captions.push_back(child->GetWindowText());
    return captions;
  }
  CFrameDlg* FrameTitled(const std::string& caption) {
    for (CMDIChildWnd* child : frame().MDIChildren())
      if (auto* f = dynamic_cast<CFrameDlg*>(child); f && f->GetWindowText() == caption) return f;
    return nullptr;
  }
  template <class Dialog>
  Dialog* Hosted(const std::string& caption) {
    CFrameDlg* f = FrameTitled(caption);
    return f ? dynamic_cast<Dialog*>(f->Hosted()) : nullptr;
  }
  // The user closes the frame (its close box).
  static void CloseByUser(CFrameDlg& f) { f.SendMessage(WM_CLOSE); }
  // Waits for `passes` more passes of the session thread.
  bool Passes(std::uint64_t passes) {
    const std::uint64_t start = session()->PassTimes().passes;
    return PumpUntil([&] { return session()->PassTimes().passes >= start + passes; });
  }
  bool Shown(const std::string& text) {
    for (const auto& box : prompts_.Boxes())
      if (box.text == text) return true;
    return false;
  }
  static bool Enabled(CDialog& d, int id) { return d.GetDlgItem(id) && d.GetDlgItem(id)->IsWindowEnabled(); }
  static bool Checked(CDialog& d, int id) { return d.IsDlgButtonChecked(id) == BST_CHECKED; }
};

// The acceptance road: a consumed variable's frame shows its value as it moves; closing it and
// opening it again gives a new dialog that moves on; the format typed in it is the variable's.
TEST_F(DialogsTest, AConsumedVariableFollowsItsValueAndOpensAgainAfterAClose) {
  Start(examples::first_network());
  ASSERT_TRUE(Connect());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // From the tree, then from the on-line Variables menu.
    if (round == 0)
      session()->OpenVariableDialog(kTemperature);
    else
      frame().RunCommand(kVariableMenuBase + kTemperature);
    auto* dialog = Hosted<CFipVarConsDlg>("Temperature, consumed.");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetDlgItemText(IDC_FORMAT), "%u");
    std::string first;
    ASSERT_TRUE(PumpUntil([&] {
      first = dialog->GetDlgItemText(IDC_BUFFER);
      return !first.empty() && first != "never seen on the bus";
    }));
    ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_BUFFER) != first; }));
    // The example's variables carry no statuses: no radio shows one, and a click changes nothing.
    dialog->ClickDlgItem(IDC_REFRESHMENT_TRUE);
    for (int id : {IDC_REFRESHMENT_TRUE, IDC_REFRESHMENT_FALSE, IDC_PROMPTNESS_TRUE, IDC_PROMPTNESS_FALSE})
      EXPECT_FALSE(Checked(*dialog, id)) << id;
    // Opening it again raises the same dialog.
    session()->OpenVariableDialog(kTemperature);
    EXPECT_EQ(Captions(), std::vector<std::string>{"Temperature, consumed."});
    CloseByUser(*FrameTitled("Temperature, consumed."));
    EXPECT_TRUE(Captions().empty());
    EXPECT_FALSE(session()->Variable(kTemperature)->HasDialog());
  }
  // The format typed is the variable's, and the value is shown by it at once.
  session()->OpenVariableDialog(kLevel);
  auto* level = Hosted<CFipVarConsDlg>("Level, consumed.");
  ASSERT_NE(level, nullptr);
  level->TypeDlgItemText(IDC_FORMAT, "%2c");
  EXPECT_EQ(session()->Variable(kLevel)->GetFormat(), "%2c");
  ASSERT_TRUE(PumpUntil([&] { return level->GetDlgItemText(IDC_BUFFER).find(' ') != std::string::npos; }))
      << level->GetDlgItemText(IDC_BUFFER);
  // The closed dialogs went with the session thread's requests.
  EXPECT_TRUE(PumpUntil([&] { return session()->ClosedDialogsKept() == 0; }));
  ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
  EXPECT_TRUE(Captions().empty());
}

// A close then an open before the session thread has served the close: the open makes a new
// dialog, and the late close frees only the one that was closed. The session thread here sits in a
// message box (its polling paused) until the test lets it go.
TEST_F(DialogsTest, AReopenBeforeTheSessionThreadServesTheCloseKeepsTheNewDialog) {
  struct BlockingPrompts final : qui::UserPrompts {
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false, released = false;
    int ShowMessageBox(HWND, const std::string&, const std::string&, UINT) override {
      std::unique_lock lock(mutex);
      holding = true;
      changed.notify_all();
      changed.wait(lock, [this] { return released; });
      return IDOK;
    }
    void Beep(UINT) override {}
    bool ChooseFile(HWND, qui::FileDialogRequest&) override { return false; }
    UINT TrackPopupMenu(const CMenu&, POINT, HWND) override { return 0; }
  };
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR5].sends[0].period = 1;  // Alarm at every macrocycle: its stack fills
  Start(examples::first_network(), machine);
  // The 65th Alarm shows the stack-full box on the session thread, which waits there.
  BlockingPrompts blocking;
  qui::UserPrompts* previous = qui::SetUserPrompts(&blocking);
  ASSERT_TRUE(Connect());
  session()->OpenVariableDialog(kTemperature);
  session()->OpenMessageDialog(kCommand);
  ASSERT_NE(FrameTitled("Temperature, consumed."), nullptr);
  struct Restore {
    qui::UserPrompts* previous;
    ~Restore() { qui::SetUserPrompts(previous); }
  } restore{previous};
  ASSERT_TRUE(PumpUntil([&] {
    std::lock_guard lock(blocking.mutex);
    return blocking.holding;
  }, 10000ms)) << session()->Message(kAlarm)->StackSize();
  for (const char* caption : {"Temperature, consumed.", "Command, transmitted."}) CloseByUser(*FrameTitled(caption));
  session()->OpenVariableDialog(kTemperature);
  session()->OpenMessageDialog(kCommand);
  auto* temperature = Hosted<CFipVarConsDlg>("Temperature, consumed.");
  ASSERT_NE(temperature, nullptr);
  ASSERT_NE(Hosted<CFipMesTransDlg>("Command, transmitted."), nullptr);
  EXPECT_EQ(session()->ClosedDialogsKept(), 2u);
  {
    std::lock_guard lock(blocking.mutex);
    blocking.released = true;
  }
  blocking.changed.notify_all();

  // The late closes free the closed dialogs; the new ones stay and go on showing the value.
  ASSERT_TRUE(PumpUntil([&] { return session()->ClosedDialogsKept() == 0; }));
  EXPECT_EQ(Hosted<CFipVarConsDlg>("Temperature, consumed."), temperature);
  EXPECT_TRUE(session()->Variable(kTemperature)->HasDialog());
  EXPECT_TRUE(session()->Message(kCommand)->HasDialog());
  const std::string value = temperature->GetDlgItemText(IDC_BUFFER);
  EXPECT_TRUE(PumpUntil([&] { return temperature->GetDlgItemText(IDC_BUFFER) != value; }));
}

// What the produced variable's and the transmitted message's Send report, and what reaches R6.
TEST_F(DialogsTest, ProducedAndTransmittedSendsReportAndSendOnlyWhatTheFormatReads) {
  Start(examples::first_network());
  ASSERT_TRUE(Connect());
  session()->OpenVariableDialog(kSetpoint);
  auto* setpoint = Hosted<CFipVarProdDlg>("Setpoint, produced.");
  ASSERT_NE(setpoint, nullptr);
  EXPECT_EQ(setpoint->GetDlgItemText(IDC_FORMAT), "%u");

  struct Case {
    const char* format;
    const char* value;
    const char* status;
  };
  // Formats the grammar refuses send nothing, whatever the value.
  for (const Case& c : {Case{"%q", "1", "Invalid format"}, Case{"%0h", "1", "Invalid format"},
                        Case{"h", "1", "Invalid format"}, Case{"%u", "4660", "Variable sent"}}) {
    SCOPED_TRACE(c.format);
    setpoint->TypeDlgItemText(IDC_FORMAT, c.format);
    setpoint->TypeDlgItemText(IDC_BUFFER, c.value);
    EXPECT_EQ(setpoint->GetDlgItemText(IDC_STATUS), "");
    setpoint->ClickDlgItem(IDC_SEND);
    EXPECT_EQ(setpoint->GetDlgItemText(IDC_STATUS), c.status);
  }
  ASSERT_TRUE(PumpUntil([&] {
    const auto held = machine_->segment().remoteValue(kR6, kSetpointId);
    return held && held->value == std::vector<std::uint8_t>{0x12, 0x34};
  }));
  setpoint->TypeDlgItemText(IDC_BUFFER, "1");
  EXPECT_EQ(setpoint->GetDlgItemText(IDC_STATUS), "");  // an edit clears the status

  frame().RunCommand(kMessageMenuBase + kCommand);
  auto* command = Hosted<CFipMesTransDlg>("Command, transmitted.");
  ASSERT_NE(command, nullptr);
  command->TypeDlgItemText(IDC_FORMAT, "%q");
  command->TypeDlgItemText(IDC_MESSAGE, "DE AD");
  command->ClickDlgItem(IDC_SEND);
  EXPECT_EQ(command->GetDlgItemText(IDC_STATUS_LINE_1), "Invalid format");
  command->TypeDlgItemText(IDC_FORMAT, "%2h");
  EXPECT_EQ(command->GetDlgItemText(IDC_STATUS_LINE_1), "");
  command->ClickDlgItem(IDC_SEND);
  EXPECT_EQ(command->GetDlgItemText(IDC_STATUS_LINE_1), "Message in sending queue");
  EXPECT_EQ(command->GetDlgItemText(IDC_STATUS_LINE_2), "");
  // R6 acknowledges: the report comes back through the session thread.
  ASSERT_TRUE(PumpUntil([&] { return command->GetDlgItemText(IDC_STATUS_LINE_1) == "Message sent :"; }));
  EXPECT_EQ(command->GetDlgItemText(IDC_STATUS_LINE_2), "with positive acknowledge, without retry");
  std::vector<std::vector<std::uint8_t>> received;
  for (const auto& m : machine_->segment().remoteMessages(kR6)) received.push_back(m.data);
  EXPECT_EQ(received, (std::vector<std::vector<std::uint8_t>>{{0xDE, 0xAD}}));  // the refused one never went
}

// The reception stack as the received-message dialog browses it: first and last entries, new
// entries arriving, Delete and Clear all.
TEST_F(DialogsTest, TheReceivedMessageDialogBrowsesAndEmptiesTheStack) {
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR5].sends.clear();  // the test stacks the entries itself
  Start(examples::first_network(), machine);
  ASSERT_TRUE(Connect());
  OnlineMessage& alarm = *session()->Message(kAlarm);
  const auto push = [&](std::uint8_t first_byte) {
    MES_PILE entry;
    entry.length = 4;
    entry.data = {first_byte, 0, 0, 1};
    std::snprintf(entry.date.data(), entry.date.size(), "01/02/2024");
    std::snprintf(entry.time.data(), entry.time.size(), "10:11:%02d", first_byte);
    ASSERT_TRUE(alarm.Push(std::move(entry)));
  };
  session()->OpenMessageDialog(kAlarm);
  EXPECT_TRUE(Captions().empty());  // an empty stack has no dialog
  push(0xA1);
  session()->OpenMessageDialog(kAlarm);
  auto* dialog = Hosted<CFipMesRecuDlg>("Alarm, received.");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_RECEIVED) == "A1 0 0 1"; }));
  EXPECT_EQ(dialog->GetDlgItemText(IDC_ENTRY_INDEX), "1");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_LENGTH), "4");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_HOUR), "10:11:161");
  EXPECT_FALSE(Enabled(*dialog, IDC_PREVIOUS_ENTRY));
  EXPECT_FALSE(Enabled(*dialog, IDC_NEXT_ENTRY));

  push(0xA2);
  push(0xA3);
  ASSERT_TRUE(PumpUntil([&] { return Enabled(*dialog, IDC_NEXT_ENTRY); }));
  dialog->ClickDlgItem(IDC_NEXT_ENTRY);
  dialog->ClickDlgItem(IDC_NEXT_ENTRY);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_RECEIVED) == "A3 0 0 1"; }));
  EXPECT_EQ(dialog->GetDlgItemText(IDC_ENTRY_INDEX), "3");
  EXPECT_TRUE(Enabled(*dialog, IDC_PREVIOUS_ENTRY));
  EXPECT_FALSE(Enabled(*dialog, IDC_NEXT_ENTRY));

  // The format typed is the message's, and the entry is shown by it again.
  dialog->TypeDlgItemText(IDC_FORMAT, "%c");
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_RECEIVED) == "163"; }));

  // Deleting the last of three shows the new last; the loss counter starts again.
  alarm.NoteLostReception();
  dialog->ClickDlgItem(IDC_DELETE);
  EXPECT_EQ(dialog->GetDlgItemText(IDC_ENTRY_INDEX), "2");
  EXPECT_EQ(alarm.StackSize(), 2u);
  EXPECT_EQ(alarm.LossCounter(), OnlineMessage::kLossReportPeriod);
  EXPECT_FALSE(Enabled(*dialog, IDC_NEXT_ENTRY));

  // Clear all empties and greys the view; the emptied format is not the message's.
  dialog->ClickDlgItem(IDC_CLEAR_ALL);
  EXPECT_EQ(alarm.StackSize(), 0u);
  EXPECT_EQ(alarm.GetFormat(), "%c");
  for (int id : {IDC_ENTRY_INDEX, IDC_LENGTH, IDC_DATE, IDC_HOUR, IDC_FORMAT, IDC_RECEIVED}) {
    EXPECT_EQ(dialog->GetDlgItemText(id), "") << id;
    EXPECT_FALSE(Enabled(*dialog, id)) << id;
  }
  for (int id : {IDC_PREVIOUS_ENTRY, IDC_NEXT_ENTRY, IDC_DELETE, IDC_CLEAR_ALL, IDC_ENTRY_LABELS})
    EXPECT_FALSE(Enabled(*dialog, id)) << id;
  EXPECT_TRUE(PumpUntil([&] { return MessageText(kAlarm) == "Alarm (no received message)"; }));

  // A first entry on the empty stack brings the view back.
  push(0xA4);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_RECEIVED) == "164"; }));
  EXPECT_TRUE(Enabled(*dialog, IDC_DELETE));
  EXPECT_EQ(dialog->GetDlgItemText(IDC_FORMAT), "%c");
  // Deleting the only entry clears the view again.
  dialog->ClickDlgItem(IDC_DELETE);
  EXPECT_FALSE(Enabled(*dialog, IDC_DELETE));
  EXPECT_EQ(dialog->GetDlgItemText(IDC_ENTRY_INDEX), "");
}

// A message that arrived unconfigured shows its addresses.
TEST_F(DialogsTest, AnUnconfiguredMessageShowsItsAddresses) {
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR6].sends = {{.source = kLevelId, .destination = kSetpointId, .length = 2, .generator = {}, .period = 5}};
  Start(examples::first_network(), machine);
  ASSERT_TRUE(Connect());
  // Its first entry is stacked just after the message is made.
  ASSERT_TRUE(PumpUntil([&] { return session()->MessageCount() == 3 && session()->Message(2)->StackSize() > 0; }));
  session()->OpenMessageDialog(2);
  auto* dialog = Hosted<CFipMesNewDlg>("A11toA20, received.");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetDlgItemText(IDC_SOURCE_IDENTIFIER), "A11");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_DESTINATION_IDENTIFIER), "A20");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_SOURCE_SEGMENT), "0");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_DESTINATION_SEGMENT), "0");
  EXPECT_EQ(dialog->GetDlgItemText(IDC_ENTRY_INDEX), "1");
}

// The local bus arbitrator's dialog: its state as the session reads it, Start and Stop on the
// board, Toggle switching the sequence that WM_FIP_BA_SEQUENCE answers; with a program file the
// sequence controls are greyed.
TEST_F(DialogsTest, TheBusArbitratorDialogDrivesTheBoardsArbitrator) {
  records::Configuration network = examples::first_network();
  for (auto* sequence : {&network.sequence1, &network.sequence2})
    for (const char* line : {"ID_DAT(A10)", "ID_DAT(A11)", "ID_DAT(A20)", "SEND_MSG(C0)", "WAIT(140)"})
      sequence->push_back(records::make_instruction(line));
  records::size_tables(network, records::instruction_cost(network.sequence1, network.sequence2));
  network.param.ba_size = 1;
  network.param.start_delay = 0;
  network.param.election_count = 0;
  records::renumber_keys(network);
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR5].arbitratorProgram.clear();  // the board arbitrates
  Start(network, machine);
  ASSERT_TRUE(Connect());
  frame().RunCommand(kCmdBaControl);
  auto* dialog = Hosted<CFipBaDlg>("Bus arbitrator control");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_BA_STATE) == "STOPPED"; }));
  EXPECT_TRUE(Checked(*dialog, IDC_SEQUENCE_1));

  dialog->ClickDlgItem(IDC_BA_START);
  // Running: it scans, opens its windows and waits in turn.
  const auto running = [&] {
    const std::string state = dialog->GetDlgItemText(IDC_BA_STATE);
    return state == "SENDING" || state == "MSG_WND" || state == "WAIT";
  };
  ASSERT_TRUE(PumpUntil(running)) << dialog->GetDlgItemText(IDC_BA_STATE);
  EXPECT_TRUE(PumpUntil([&] { return VariableText(kTemperature).find("never") == std::string::npos; }));

  dialog->ClickDlgItem(IDC_BA_TOGGLE);
  EXPECT_TRUE(Checked(*dialog, IDC_SEQUENCE_2));
  EXPECT_FALSE(Checked(*dialog, IDC_SEQUENCE_1));
  EXPECT_EQ(::SendMessage(dialog->DialogWindow(), WM_FIP_BA_SEQUENCE, 0, 0), 2);
  dialog->ClickDlgItem(IDC_SEQUENCE_1);  // a radio's click changes nothing
  EXPECT_TRUE(Checked(*dialog, IDC_SEQUENCE_2));
  dialog->ClickDlgItem(IDC_BA_TOGGLE);
  EXPECT_TRUE(Checked(*dialog, IDC_SEQUENCE_1));

  dialog->ClickDlgItem(IDC_BA_STOP);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_BA_STATE) == "STOPPED"; }));
  EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
  ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
  TearDown();
  SetUp();

  // A program file: no sequence to choose.
  const fs::path program = folder_ / "cycle.ba";
  std::ofstream(program) << "macro cycle\nBEGIN\n  ID_DAT(A10)\tWAIT(140)\n  ID_DAT(A10) NEXT_MACRO_1(0)\nEND\n";
  network.ba.program_from_file = 1;
  records::set_text(network.ba.program_path, program.string());
  Start(network, machine);
  ASSERT_TRUE(Connect());
  frame().RunCommand(kCmdBaControl);
  dialog = Hosted<CFipBaDlg>("Bus arbitrator control");
  ASSERT_NE(dialog, nullptr);
  for (int id : {IDC_SEQUENCE_1, IDC_SEQUENCE_2, IDC_NEXT_SEQUENCE, IDC_BA_TOGGLE}) {
    EXPECT_FALSE(Enabled(*dialog, id)) << id;
    EXPECT_FALSE(Checked(*dialog, id)) << id;
  }
  EXPECT_EQ(::SendMessage(dialog->DialogWindow(), WM_FIP_BA_SEQUENCE, 0, 0), 0);
}

// The send-list dialog: a list goes to the board by variable index, the board's "list sent" event
// comes back; a list with an identifier that is no variable sends nothing.
TEST_F(DialogsTest, TheSendListSendsByVariableIndexAndRefusesAnUnknownIdentifier) {
  records::Configuration network = examples::first_network();
  network.variables[kSetpoint].flags |= records::VARIABLE4::kAperiodicVariableRequests;
  records::LISTE_APER good, unknown;
  records::set_text(good.name, "Levels");
  good.identifiers = {kLevelId, kTemperatureId};
  records::set_text(unknown.name, "Stale");
  unknown.urgent = 1;
  unknown.identifiers = {kLevelId, 0x0BAD};
  network.lists = {good, unknown};
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR5].arbitratorProgram = {"ID_DAT(A10)", "ID_DAT(A11)", "ID_DAT(A20)", "SEND_MSG(C0)",
                                                   "SEND_APER(D0)", "WAIT(140)"};
  Start(network, machine);
  ASSERT_TRUE(Connect());
  frame().RunCommand(kCmdSendList);
  auto* dialog = Hosted<CFipAperDlg>("Aperiodical sending");
  ASSERT_NE(dialog, nullptr);
  CComboBox& lists = dialog->Item<CComboBox>(IDC_LISTS);
  ASSERT_EQ(lists.GetCount(), 2);
  EXPECT_EQ(lists.GetCurSel(), 0);

  const std::uint64_t before = machine_->segment().counters().aperiodic;
  dialog->ClickDlgItem(IDC_SEND);
  EXPECT_EQ(dialog->GetDlgItemText(IDC_STATUS), kListInQueue);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_STATUS) == kListSent; }));
  EXPECT_GE(machine_->segment().counters().aperiodic, before + 2);
  // By index: Level and Temperature were scanned, as their identifiers asked.
  EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;

  dialog->SelectDlgItem(IDC_LISTS, 1);
  EXPECT_EQ(dialog->GetDlgItemText(IDC_STATUS), "");
  const std::uint64_t sent = machine_->segment().counters().aperiodic;
  dialog->ClickDlgItem(IDC_SEND);
  ASSERT_EQ(prompts_.Boxes().size(), 1u);
  EXPECT_EQ(prompts_.Boxes()[0].text, UnknownListIdentifierText(0x0BAD));
  EXPECT_EQ(dialog->GetDlgItemText(IDC_STATUS), "");
  ASSERT_TRUE(Passes(5));
  EXPECT_EQ(machine_->segment().counters().aperiodic, sent);

  // Typing in the field leaves no list chosen.
  dialog->TypeDlgItemText(IDC_LISTS, "Lev");
  EXPECT_EQ(lists.GetCount(), 2);
  EXPECT_EQ(dialog->GetDlgItemText(IDC_LISTS), "Lev");
  dialog->ClickDlgItem(IDC_SEND);
  EXPECT_EQ(prompts_.Boxes().back().text, kSelectAList);
  // The lists edited while on line: the dialog shows them again, the first selected.
  app_->Document()->Records().lists.pop_back();
  session()->AperiodicListsChanged(true);
  ASSERT_TRUE(PumpUntil([&] { return lists.GetCount() == 1; }));
  EXPECT_EQ(lists.GetCurSel(), 0);
  EXPECT_EQ(dialog->GetDlgItemText(IDC_LISTS), "Levels");
}

struct NoLock final : SectionLock {
  void lock() override {}
  void unlock() override {}
};

// Engine calls that take every identifier as index identifier + 100 and answer `failure_at_2`
// for the second one.
AperiodicEngine FailingSecond(const std::uint32_t& failure_at_2, std::vector<std::uint16_t>& sent) {
  return {[](std::uint16_t id) { return std::optional<std::uint16_t>(id + 100); },
          [&](std::uint8_t kind, std::uint16_t index) -> std::uint32_t {
            EXPECT_EQ(kind, 0);
            sent.push_back(index);
            return index == 102 ? failure_at_2 : 0;
          }};
}

// The send list's engine failures: a failure with a text stops the list there and shows it; one
// without a text goes on, and the list is not reported as queued.
TEST(SendAperiodicList, StopsAtTheFirstFailureWithAText) {
  NoLock lock;
  records::LISTE_APER list;
  list.identifiers = {1, 2, 3};
  const auto run = [&](std::uint32_t failure_at_2) {
    std::vector<std::uint16_t> sent;
    const AperiodicSendResult result = SendAperiodicList(list, lock, FailingSecond(failure_at_2, sent));
    return std::make_pair(result, sent);
  };
  const auto [with_text, sent_with_text] = run(0x30000027);
  EXPECT_FALSE(with_text.queued);
  EXPECT_FALSE(with_text.message.empty());
  EXPECT_EQ(sent_with_text, (std::vector<std::uint16_t>{101, 102}));
  const auto [without_text, sent_without_text] = run(0xFFFF);  // a platform code with no text
  EXPECT_FALSE(without_text.queued);
  EXPECT_TRUE(without_text.message.empty());
  EXPECT_EQ(sent_without_text, (std::vector<std::uint16_t>{101, 102, 103}));
}

// The dialog's status after a send: in the queue only when every request went; a failure without
// a text reads as a failure, one with a text is shown in a box.
TEST(SendAperiodicList, TheDialogNeverReportsAFailedSendAsQueued) {
  RegisterOnlineDialogs();
  qui::testing::ScriptedPrompts prompts;
  NoLock lock;
  std::vector<records::LISTE_APER> lists(1);
  records::set_text(lists[0].name, "Levels");
  lists[0].identifiers = {1, 2, 3};
  std::uint32_t failure = 0;
  std::vector<std::uint16_t> sent;
  CWnd parent;
  parent.Create(nullptr, "", WS_CHILD, CRect(0, 0, 600, 400), nullptr, 0);
  CFipAperDlg dialog([&] { return &lists; }, lock, FailingSecond(failure, sent));
  ASSERT_TRUE(dialog.Create(IDD_FIP_APER, &parent));
  const auto send = [&](std::uint32_t failure_at_2) {
    failure = failure_at_2;
    dialog.ClickDlgItem(IDC_SEND);
    return dialog.GetDlgItemText(IDC_STATUS);
  };
  EXPECT_EQ(send(0), kListInQueue);
  EXPECT_EQ(send(0xFFFF), "Transmission error");
  EXPECT_TRUE(prompts.Boxes().empty());
  EXPECT_EQ(send(0x30000027), "");
  ASSERT_EQ(prompts.Boxes().size(), 1u);
  EXPECT_EQ(prompts.Boxes()[0].text, ErrorText(0x30000027, ""));
  dialog.DestroyWindow();
  parent.DestroyWindow();
  qui::ClearResources();
}

// The medium dialog: the commands and fields of each board variant, a command that fails shows
// "x" and the next status byte the digits again; "Delete errors" runs where supervision reads the
// error counters, so the errors do not come back.
TEST_F(DialogsTest, TheMediumDialogFollowsTheVariantAndItsFailures) {
  struct Case {
    const char* name;
    sim::MachineDescription machine;
    SelectedDevice device;
    std::vector<std::string> commands;
    std::uint8_t greyed;  // bits whose fields are disabled
  };
  sim::MachineDescription single = sim::standardMachine();
  sim::Pc104BoardConfig board;
  board.configurationWord = sim::kPc104SingleMediumWord;
  board.dualMedium = false;
  single.boards = {board};
  const Case cases[] = {
      {"dual medium", sim::standardMachine(), {1, kBoardTypePci},
       {"Get the status byte", "Delete errors (reception/transmission)", "Reset medium 1", "Reset medium 2",
        "Enable medium 1 (2 disabled)", "Enable medium 2 (1 disabled)", "Enable mediums 1 and 2",
        "Loop transmission on reception"},
       0},
      {"single medium", single, {1, kBoardTypePc104}, {"Get the status byte", "Delete errors (reception/transmission)"},
       0xBA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_ = c.device;
    Start(examples::first_network(), c.machine);
    ASSERT_TRUE(Connect());
    frame().RunCommand(kCmdMedium);
    auto* dialog = Hosted<CMediumDlg>("Medium management");
    ASSERT_NE(dialog, nullptr);
    CListBox& list = dialog->Item<CListBox>(IDC_MEDIUM_COMMANDS);
    std::vector<std::string> commands;
    for (int i = 0; i < list.GetCount(); ++i) commands.push_back(list.GetText(i));
    EXPECT_EQ(commands, c.commands);
    for (int bit = 0; bit < 8; ++bit) {
      const bool greyed = (c.greyed >> bit) & 1;
      EXPECT_EQ(Enabled(*dialog, IDC_MEDIUM_FIELDS[bit]), !greyed) << bit;
      EXPECT_EQ(Enabled(*dialog, IDC_MEDIUM_LABELS[bit]), !greyed) << bit;
    }
    ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[0]) == "1"; }));  // CH1 in service
    dialog->PressEnter();  // Apply with no command chosen
    EXPECT_EQ(prompts_.Boxes().back().text, kSelectACommand);
    ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
    EXPECT_TRUE(Captions().empty());
    prompts_.Clear();
    TearDown();
    SetUp();
  }

  // A board that answers busy: the command fails, every field shows "x" and the last byte stays;
  // the next status byte, once the board answers again, shows the digits.
  device_ = {1, kBoardTypePci};
  Start(examples::first_network());
  ASSERT_TRUE(Connect());
  frame().RunCommand(kCmdMedium);
  auto* dialog = Hosted<CMediumDlg>("Medium management");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[0]) == "1"; }));
  const std::uint8_t last = dialog->LastStatus();
  {
    // A transaction the busy board catches half way waits out the driver's time-out: the machine's
    // clock lets it run out at once.
    qbase::VirtualClock clock;
    sim::FaultKnobs knobs = machine_->pciBoard(0).controller().faults();
    knobs.busyStuck = true;
    machine_->pciBoard(0).controller().setFaults(knobs);
    dialog->SelectDlgItem(IDC_MEDIUM_COMMANDS, 0);
    dialog->PressEnter();
    ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[0]) == "x"; }));
    for (int bit = 0; bit < 8; ++bit) EXPECT_EQ(dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[bit]), "x");
    EXPECT_EQ(dialog->LastStatus(), last);
    knobs.busyStuck = false;
    machine_->pciBoard(0).controller().setFaults(knobs);
    ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[0]) == "1"; }));
  }
  EXPECT_TRUE(app_->IsOnline());

  // Errors counted on channel 1 show ER1 until "Delete errors" takes the counters as they are.
  machine_->segment().setMediumFault(0, 1, true);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[6]) == "1"; }));
  machine_->segment().setMediumFault(0, 1, false);
  dialog->SelectDlgItem(IDC_MEDIUM_COMMANDS, 1);
  dialog->Item<CListBox>(IDC_MEDIUM_COMMANDS).notifyParent(LBN_DBLCLK);
  ASSERT_TRUE(PumpUntil([&] { return dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[6]) == "0"; }));
  ASSERT_TRUE(Passes(5));
  EXPECT_EQ(dialog->GetDlgItemText(IDC_MEDIUM_FIELDS[6]), "0");
}

// A board that stops answering while dialogs are open: the session ends with the engine's text,
// the dialogs go with it, nothing hangs.
TEST_F(DialogsTest, ABoardThatStopsAnsweringClosesTheOpenDialogs) {
  Start(examples::first_network());
  ASSERT_TRUE(Connect());
  session()->OpenVariableDialog(kTemperature);
  session()->OpenVariableDialog(kSetpoint);
  frame().RunCommand(kCmdMedium);
  ASSERT_EQ(Captions().size(), 3u);
  qbase::VirtualClock clock;
  sim::FaultKnobs knobs = machine_->pciBoard(0).controller().faults();
  knobs.noAnswer = true;
  machine_->pciBoard(0).controller().setFaults(knobs);
  ASSERT_TRUE(PumpUntil([this] { return app_->Session() == nullptr && !app_->IsOnline(); }, 30000ms));
  EXPECT_EQ(prompts_.Boxes().front().text, "Time out by the FULLFIP.");
  EXPECT_TRUE(Captions().empty());
}

}  // namespace
}  // namespace plandrel
