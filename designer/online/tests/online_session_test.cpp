// The on-line session end to end without a display (session_fixture.h).
#include "online/online_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "base/clock.h"
#include "records/instruction.h"
#include "session_fixture.h"
#include "testing/application.h"

namespace plandrel {
namespace {

using namespace testing;

// The road of a new user: connect the example, watch the consumed values move in the tree, write
// the produced one and send a message to R6, see R5's message arrive, disconnect.
TEST_F(SessionTest, TheExampleGoesOnLineAndItsValuesMove) {
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR5].sends[0].period = 50;  // Alarm once a second
  Start(examples::first_network(), machine);
  const std::size_t fip_entries = FipPopup()->GetMenuItemCount();
  ASSERT_TRUE(Connect());
  // Connect returns once the mailbox window exists: a request posted now is not lost.
  ASSERT_NE(session()->SessionWindow(), nullptr);
  EXPECT_TRUE(IsWindow(session()->SessionWindow()));

  // The on-line menus: the variables, and the messages with the received one greyed.
  ASSERT_EQ(FipPopup()->GetMenuItemCount(), fip_entries + 2);
  CMenu* variables = FipPopup()->GetSubMenu(4);
  CMenu* messages = FipPopup()->GetSubMenu(5);
  ASSERT_NE(variables, nullptr);
  ASSERT_NE(messages, nullptr);
  EXPECT_EQ(variables->GetMenuItemCount(), 3u);
  EXPECT_EQ(variables->GetMenuItemID(0), 33000u);
  std::string entry;
  messages->GetMenuString(kAlarm, entry, MF_BYPOSITION);
  EXPECT_EQ(entry, "Alarm...");
  EXPECT_TRUE(messages->GetMenuState(kAlarm, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_FALSE(messages->GetMenuState(kCommand, MF_BYPOSITION) & MF_GRAYED);

  // Consumed values reach their tree texts, and move.
  std::string first;
  ASSERT_TRUE(PumpUntil([&] {
    first = VariableText(kTemperature);
    return first.rfind("Temperature (", 0) == 0 && first.find("never seen") == std::string::npos;
  })) << first;
  ASSERT_TRUE(PumpUntil([&] { return VariableText(kTemperature) != first; })) << first;
  EXPECT_TRUE(PumpUntil([&] { return VariableText(kLevel).rfind("Level (", 0) == 0; })) << VariableText(kLevel);

  // A produced value written in the designer reaches R6, and so does a message.
  OnlineVariable* setpoint = session()->Variable(kSetpoint);
  ASSERT_NE(setpoint, nullptr);
  ASSERT_EQ(setpoint->Write("%u", "4660"), kCheckOk);
  EXPECT_EQ(VariableText(kSetpoint), "Setpoint (4660)");
  ASSERT_TRUE(PumpUntil([&] {
    const auto held = machine_->segment().remoteValue(kR6, 0x0A20);
    return held && held->value == std::vector<std::uint8_t>{0x12, 0x34};
  }));
  OnlineMessage* command = session()->Message(kCommand);
  ASSERT_NE(command, nullptr);
  ASSERT_EQ(command->Send("%4h", "DE AD BE EF"), kCheckOk);
  ASSERT_TRUE(R6Receives(0x0A20, {0xDE, 0xAD, 0xBE, 0xEF}));

  // R5's message arrives on its stack; its menu entry is enabled by the first one.
  ASSERT_TRUE(PumpUntil([&] { return session()->Message(kAlarm)->StackSize() > 0; }, 3000ms));
  EXPECT_TRUE(PumpUntil([&] { return !(messages->GetMenuState(kAlarm, MF_BYPOSITION) & MF_GRAYED); }));
  EXPECT_NE(MessageText(kAlarm).find("received message"), std::string::npos) << MessageText(kAlarm);
  EXPECT_EQ(session()->MessageCount(), 2u);  // a configured message, not a new one

  // Disconnect restores the names and the menus, and the main thread stopped the engine.
  ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
  EXPECT_EQ(VariableText(kTemperature), "Temperature");
  EXPECT_EQ(VariableText(kSetpoint), "Setpoint");
  EXPECT_EQ(MessageText(kAlarm), "Alarm");
  EXPECT_EQ(FipPopup()->GetMenuItemCount(), fip_entries);
  EXPECT_FALSE(BoardUsed(1));
  EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
}

// The on-line texts go to the items under the local station, wherever that station stands in the
// table; the same variables shown under the other stations keep their names.
TEST_F(SessionTest, OnlineTextsGoToTheLocalStationsItemsOnly) {
  records::Configuration network = examples::first_network();
  // The designer's station moves to index 1, R5 to index 0.
  std::swap(network.stations[0], network.stations[1]);
  network.local_station = 1;
  const auto swapped = [](std::int16_t station) -> std::int16_t { return station == 0 ? 1 : station == 1 ? 0 : station; };
  for (records::VARIABLE4& v : network.variables) {
    const bool first = records::is_consumer(v, 0), second = records::is_consumer(v, 1);
    records::set_consumer(v, 0, second);
    records::set_consumer(v, 1, first);
    v.producer = swapped(v.producer);
  }
  for (records::MESSAGE4& m : network.messages) m.remote_station = swapped(m.remote_station);
  Start(network);
  ASSERT_TRUE(Connect());

  CArbreCtrl& tree = *frame().Tree();
  const auto item_under = [&](std::uint32_t station, std::uint32_t code) -> HTREEITEM {
    for (HTREEITEM s = tree.GetChildItem(tree.GetRootItem()); s; s = tree.GetNextSiblingItem(s)) {
      if (tree.GetItemData(s) != 100 + station) continue;
      for (HTREEITEM v = tree.GetChildItem(s); v; v = tree.GetNextSiblingItem(v)) {
        if (tree.GetItemData(v) == code) return v;
        for (HTREEITEM m = tree.GetChildItem(v); m; m = tree.GetNextSiblingItem(m))
          if (tree.GetItemData(m) == code) return m;
      }
    }
    return nullptr;
  };
  const HTREEITEM local_temperature = item_under(1, 5000 + kTemperature);
  const HTREEITEM r5_temperature = item_under(0, 5000 + kTemperature);
  const HTREEITEM local_alarm = item_under(1, 35000 + kAlarm);
  const HTREEITEM r5_alarm = item_under(0, 35000 + kAlarm);
  ASSERT_TRUE(local_temperature && r5_temperature && local_alarm && r5_alarm);
  ASSERT_TRUE(PumpUntil([&] { return tree.GetItemText(local_temperature).rfind("Temperature (", 0) == 0; }))
      << tree.GetItemText(local_temperature);
  EXPECT_EQ(tree.GetItemText(local_alarm).rfind("Alarm (", 0), 0u) << tree.GetItemText(local_alarm);
  EXPECT_EQ(tree.GetItemText(r5_temperature), "Temperature");
  EXPECT_EQ(tree.GetItemText(r5_alarm), "Alarm");
  EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
}

// The example with its local station index moved to R5's reached the tree error at Connect: Open
// now refuses it, the example stays open, and Connect goes on line with nothing more said.
TEST_F(SessionTest, AFileWhoseLocalStationContradictsItsVariablesIsRefusedAtOpen) {
  Start(examples::first_network());
  records::Configuration damaged = examples::first_network();
  damaged.local_station = 1;
  const fs::path file = folder_ / "damaged.cnf";
  ASSERT_TRUE(records::write_file_atomically(file, records::encode_format4(damaged)));
  EXPECT_FALSE(app_->OpenDocumentFile(file.c_str()));
  ASSERT_EQ(prompts_.Boxes().size(), 1u);
  EXPECT_EQ(prompts_.Boxes().front().text, "Cannot open file : invalid format.");
  EXPECT_EQ(app_->Document()->Records(), examples::first_network());
  ASSERT_TRUE(Connect());
  EXPECT_EQ(prompts_.Boxes().size(), 1u) << prompts_.Boxes().back().text;
}

// A received message that no configured message describes gets a message of its own, named after
// its source and destination identifiers; the next ones with the same addresses go to it.
TEST_F(SessionTest, AnUnconfiguredMessageAppearsUnderItsGeneratedName) {
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR6].sends = {{.source = 0x0A11, .destination = 0x0A20, .length = 2, .generator = {}, .period = 5}};
  Start(examples::first_network(), machine);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(PumpUntil([&] { return session()->MessageCount() == 3; }));
  OnlineMessage* added = session()->Message(2);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(std::string(records::text_of(added->Record().name)), "A11toA20");
  EXPECT_FALSE(added->Configured());
  ASSERT_TRUE(PumpUntil([&] { return added->StackSize() >= 3; }));
  EXPECT_EQ(session()->MessageCount(), 3u);
  EXPECT_NE(MessageText(2).find("A11toA20 ("), std::string::npos) << MessageText(2);
  std::string entry;
  FipPopup()->GetSubMenu(5)->GetMenuString(2, entry, MF_BYPOSITION);
  EXPECT_EQ(entry, "A11toA20");

  // Off line the unconfigured message leaves the tree.
  ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
  EXPECT_EQ(MessageText(2), "<no item>");
}

// With 4096 messages on line the next unconfigured one is refused with the maximum-number message.
TEST_F(SessionTest, The4097thMessageIsRefused) {
  records::Configuration network = examples::first_network();
  // 4093 received messages more: with the example's two, one unconfigured message fills the list.
  for (std::uint16_t i = 0; network.messages.size() < kMaxOnlineMessages - 1; ++i) {
    records::MESSAGE4 m = network.messages[kAlarm];
    records::set_text(m.name, "rx" + std::to_string(i));
    m.source_identifier = static_cast<std::uint16_t>(0x1000 + i);
    network.messages.push_back(m);
  }
  records::renumber_keys(network);
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR6].sends = {{.source = 0x0A11, .destination = 0x0A20, .length = 2, .generator = {}, .period = 5},
                                       {.source = 0x0A12, .destination = 0x0A20, .length = 2, .generator = {}, .period = 5}};
  Start(network, machine);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(PumpUntil([&] {
    for (const auto& box : prompts_.Boxes())
      if (box.text == kTooManyMessages) return true;
    return false;
  }, 10000ms));
  EXPECT_EQ(session()->MessageCount(), kMaxOnlineMessages);
}

// A medium failure warning answered with Cancel ends the session like the Disconnect command; so
// do the application's exit and a system suspend, each with its reason.
TEST_F(SessionTest, MediumFailureExitAndSuspendEndTheSession) {
  struct Case {
    const char* name;
    std::function<void(SessionTest&)> end;
    std::string box;  // the box the end shows, if any
    bool frame_closes;
  };
  const Case cases[] = {
      {"no echo",
       [](SessionTest& t) {
         t.prompts_.Answer(IDCANCEL);
         t.machine_->segment().setMediumFault(0, 1, true);
         t.machine_->segment().setMediumFault(0, 2, true);
       },
       kNoEcho, false},
      {"suspend", [](SessionTest& t) { t.frame().SendMessage(WM_POWERBROADCAST, kPowerSuspend, 0); },
       "System power down has stopped FIP connection", false},
      {"exit", [](SessionTest& t) { t.frame().RunCommand(ID_APP_EXIT); }, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(examples::first_network());
    ASSERT_TRUE(Connect());
    const HWND main = frame().m_hWnd;
    ASSERT_TRUE(PumpUntil([&] { return VariableText(kLevel).find('(') != std::string::npos; }));
    ASSERT_TRUE(EndBy([&] { c.end(*this); }));
    bool shown = c.box.empty();
    for (const auto& box : prompts_.Boxes()) shown = shown || box.text == c.box;
    EXPECT_TRUE(shown);
    EXPECT_FALSE(BoardUsed(1));
    EXPECT_EQ(IsWindow(main) == FALSE, c.frame_closes);
    if (!c.frame_closes) {
      EXPECT_EQ(VariableText(kLevel), "Level");
    }
    prompts_.Clear();
    TearDown();
    SetUp();
  }
}

// A BA program file that the engine cannot read: the download refuses the configuration.
void DamageBaProgram(records::Configuration& network, const fs::path& folder) {
  const fs::path program = folder / "program.txt";
  std::ofstream(program) << "ID_DAT(A10\nNOT_A_MACRO(12)\n";
  network.param.ba_size = 1;
  network.ba.program_from_file = 1;
  records::set_text(network.ba.program_path, program.string());
}

// A configuration the engine refuses: its text is shown, the designer stays off line with its tree,
// menus and document as they were, and the board is free again.
TEST_F(SessionTest, ARefusedConfigurationLeavesTheDesignerOffLine) {
  struct Case {
    const char* name;
    std::function<void(records::Configuration&, const fs::path&)> damage;
  };
  const Case cases[] = {
      {"damaged BA program",
       DamageBaProgram},
      {"too many variables for the card",
       [](records::Configuration& n, const fs::path&) {
         while (n.variables.size() < records::kMaxVariables) {
           records::VARIABLE4 v = n.variables[kLevel];
           v.identifier = static_cast<std::uint16_t>(0x2000 + n.variables.size());
           records::set_text(v.name, "filler" + std::to_string(n.variables.size()));
           v.length = 128;
           n.variables.push_back(v);
         }
         n.sequence1 = {records::make_instruction("ID_DAT(A10)"), records::make_instruction("WAIT(140)")};
         records::size_tables(n, records::instruction_cost(n.sequence1, n.sequence2));
         n.param.ba_size = 1;
         records::renumber_keys(n);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    records::Configuration network = examples::first_network();
    c.damage(network, folder_);
    Start(network);
    const records::Configuration before = app_->Document()->Records();
    const std::size_t fip_entries = FipPopup()->GetMenuItemCount();
    const std::string level = VariableText(kLevel);
    EXPECT_FALSE(Connect());
    EXPECT_EQ(app_->Session(), nullptr);
    EXPECT_FALSE(app_->IsOnline());
    ASSERT_FALSE(prompts_.Boxes().empty());
    EXPECT_NE(prompts_.Boxes().back().text, "Unknown error.");
    EXPECT_EQ(FipPopup()->GetMenuItemCount(), fip_entries);
    EXPECT_EQ(VariableText(kLevel), level);
    EXPECT_TRUE(app_->Document()->Records() == before);
    EXPECT_FALSE(BoardUsed(1));
    prompts_.Clear();
    TearDown();
    SetUp();
  }
}

// Prompts whose first message box stays open while `while_open` runs.
class BoxKeptOpen final : public qui::UserPrompts {
 public:
  explicit BoxKeptOpen(std::function<void()> while_open)
      : while_open_(std::move(while_open)), previous_(qui::SetUserPrompts(this)) {}
  ~BoxKeptOpen() override { qui::SetUserPrompts(previous_); }
  int ShowMessageBox(HWND, const std::string& text, const std::string&, UINT) override {
    texts.push_back(text);
    if (auto run = std::exchange(while_open_, nullptr)) run();
    return IDOK;
  }
  void Beep(UINT) override {}
  bool ChooseFile(HWND, qui::FileDialogRequest&) override { return false; }
  UINT TrackPopupMenu(const CMenu&, POINT, HWND) override { return 0; }
  std::vector<std::string> texts;

 private:
  std::function<void()> while_open_;
  qui::UserPrompts* previous_;
};

// Another designer of the working folder, in a process of its own, connects while this designer's
// failed download still shows its message: the download image's turn is over, and its Connect goes on.
TEST_F(SessionTest, AnotherDesignerConnectsWhileThisOnesDownloadErrorIsOpen) {
  records::Configuration refused = examples::first_network();
  DamageBaProgram(refused, folder_);
  Start(refused);
  const fs::path theirs = folder_ / "theirs.cnf";
  ASSERT_TRUE(records::write_file_atomically(theirs, records::encode_format4(examples::first_network())));
  std::string told;
  BoxKeptOpen box([&] {
    const qtesting::ChildEnd end =
        qtesting::runProgram(PLANDREL_PEER_DESIGNER, {theirs.string(), "connect"}, {}, folder_ / "peer.txt");
    EXPECT_TRUE(end.clean()) << end.describe();
    std::ostringstream text;
    text << std::ifstream(folder_ / "peer.txt").rdbuf();
    told = text.str();
  });
  EXPECT_FALSE(Connect());
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_NE(box.texts[0], kDownloadError) << "the engine refused the download";
  // The other designer took the next free board, PC104 1, and went on line.
  EXPECT_EQ(told.substr(0, told.find('\n', told.find('\n') + 1) + 1), "selected 1 1\nconnected\n") << told;
}

// A configuration with neither variables nor a bus arbitrator still gets its mailbox window:
// the Messages entry is greyed and Disconnect ends the session.
TEST_F(SessionTest, AnEmptyConfigurationConnectsAndDisconnects) {
  records::Configuration empty = records::new_configuration();
  empty.param.ba_size = 0;
  Start(empty);
  ASSERT_TRUE(Connect());
  ASSERT_NE(session()->SessionWindow(), nullptr);
  EXPECT_TRUE(FipPopup()->GetMenuState(5, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_EQ(FipPopup()->GetSubMenu(4)->GetMenuItemCount(), 0u);
  // Requests that name no dialog of the session, and foreign messages, are dropped.
  const HWND mailbox = session()->SessionWindow();
  for (const auto& [message, wparam] : {std::pair{WM_FIP_VAR_DLG_CLOSED, 5u}, std::pair{WM_FIP_MES_DLG_CLOSED, 4096u},
                                        std::pair{WM_FIP_BA_DLG_CLOSED, 0u}, std::pair{WM_FIP_MEDIUM_DLG_CLOSED, 0u},
                                        std::pair{WM_FIP_APER_DLG_CLOSED, 0u}, std::pair{0x7FFFu, 0u}})
    ASSERT_TRUE(PostMessage(mailbox, message, wparam, 0));
  const std::uint64_t passes = session()->PassTimes().passes;
  ASSERT_TRUE(PumpUntil([&] { return session()->PassTimes().passes > passes + 1; }));
  EXPECT_TRUE(app_->IsOnline());
  ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
  EXPECT_FALSE(BoardUsed(1));
}

// On a single-medium PC104 board the medium is watched through the card's status page: a change of
// its words warns once, and words that stay as they are warn no more.
TEST_F(SessionTest, TheStatusPageOfASingleMediumBoardWarnsOnceOfAChange) {
  sim::MachineDescription machine = sim::standardMachine();
  sim::Pc104BoardConfig board;
  board.configurationWord = sim::kPc104SingleMediumWord;
  board.dualMedium = false;
  machine.boards = {board};
  device_ = SelectedDevice{1, kBoardTypePc104};
  Start(examples::first_network(), machine);
  sim::FaultKnobs knobs = machine_->pc104Board(0).controller().faults();
  knobs.readBackCorruption = sim::FaultKnobs::Corruption{129, 6, 0xFF};
  machine_->pc104Board(0).controller().setFaults(knobs);
  ASSERT_TRUE(Connect());
  EXPECT_EQ(session()->BoardVariant(), 2);
  const auto warnings = [this] {
    std::size_t count = 0;
    for (const auto& box : prompts_.Boxes()) count += box.text == kNoEcho ? 1 : 0;
    return count;
  };
  ASSERT_TRUE(PumpUntil([&] { return warnings() == 1; }));  // the words seen before were zero
  const std::uint64_t passes = session()->PassTimes().passes;
  ASSERT_TRUE(PumpUntil([&] { return session()->PassTimes().passes > passes + 4; }));
  EXPECT_EQ(warnings(), 1u);
  EXPECT_TRUE(app_->IsOnline());
  EXPECT_TRUE(PumpUntil([&] { return VariableText(kLevel).find('(') != std::string::npos; }));
}

// A board that stops answering ends the session with the engine's text; nothing hangs.
TEST_F(SessionTest, ABoardThatStopsAnsweringEndsTheSession) {
  Start(examples::first_network());
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(PumpUntil([&] { return VariableText(kLevel).find('(') != std::string::npos; }));
  // The driver gives up on a command after 50 s of the machine's clock: a virtual clock lets the
  // waits run out at once.
  qbase::VirtualClock clock;
  sim::FaultKnobs knobs = machine_->pciBoard(0).controller().faults();
  knobs.noAnswer = true;
  machine_->pciBoard(0).controller().setFaults(knobs);
  ASSERT_TRUE(PumpUntil([this] { return app_->Session() == nullptr && !app_->IsOnline(); }, 30000ms));
  ASSERT_FALSE(prompts_.Boxes().empty());
  EXPECT_EQ(prompts_.Boxes().front().text, "Time out by the FULLFIP.");
  EXPECT_EQ(VariableText(kLevel), "Level");
}

// With neither variables nor a bus arbitrator a pass only serves the session window: a board with
// both media faulty says nothing, and the session still ends on request.
TEST_F(SessionTest, AnEmptyConfigurationDoesNotWatchTheMedium) {
  records::Configuration empty = records::new_configuration();
  empty.param.ba_size = 0;
  Start(empty);
  ASSERT_TRUE(Connect());
  machine_->segment().setMediumFault(0, 1, true);
  machine_->segment().setMediumFault(0, 2, true);
  const std::uint64_t passes = session()->PassTimes().passes;
  ASSERT_TRUE(PumpUntil([&] { return session()->PassTimes().passes > passes + 5; }));
  EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
  ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
  EXPECT_FALSE(BoardUsed(1));
}

// An unconfigured message whose on-line object cannot be made (here the frame is not the main
// window, so the tree took no item for it, and an item left with its code stands in the tree): the
// item goes, the tree error is told once and the session ends, instead of at every reception.
TEST_F(SessionTest, AnUnconfiguredMessageThatCannotBeMadeEndsTheSession) {
  sim::MachineDescription machine = sim::standardMachine();
  machine.remoteStations[kR6].sends = {{.source = 0x0A11, .destination = 0x0A20, .length = 2, .generator = {}, .period = 25}};
  Start(examples::first_network(), machine);
  ASSERT_TRUE(Connect());
  CArbreCtrl& tree = *frame().Tree();
  const HTREEITEM stray = tree.InsertItem("stray", 0, 0, tree.GetRootItem());
  tree.SetItemData(stray, 35002);
  app_->m_pMainWnd = nullptr;
  ASSERT_TRUE(PumpUntil([this] { return app_->Session() == nullptr && !app_->IsOnline(); }, 10000ms));
  app_->m_pMainWnd = &frame();
  std::size_t told = 0;
  for (const auto& box : prompts_.Boxes()) told += box.text == "Tree management error :\n\tAbort session." ? 1 : 0;
  EXPECT_EQ(told, 1u);
  std::vector<HTREEITEM> pending{tree.GetRootItem()};
  while (!pending.empty()) {
    HTREEITEM item = pending.back();
    pending.pop_back();
    EXPECT_NE(tree.GetItemData(item), 35002u) << tree.GetItemText(item);
    for (HTREEITEM child = tree.GetChildItem(item); child != nullptr; child = tree.GetNextSiblingItem(child))
      pending.push_back(child);
  }
  EXPECT_FALSE(BoardUsed(1));
}

// The variables display on line: Open .csv offered at the first command, a counter's line that
// moves, the command again only bringing the window forward, a close and an immediate reopen, and
// Disconnect closing it with its thread before the variables go.
TEST_F(SessionTest, TheVariablesDisplayFollowsACounterUntilTheSessionEnds) {
  Start(examples::first_network());
  const fs::path csv = folder_ / "temperature.csv";
  std::ofstream(csv, std::ios::binary) << "NB_AFF;\r\ngpe;Tank;\r\nc;A10;Temp;deg;0;16;0;1;MSB;\r\n";
  ASSERT_TRUE(Connect());
  prompts_.ChooseFileAnswer(csv.string());
  frame().RunCommand(kCmdVariablesDisplay);
  EXPECT_EQ(prompts_.FileRequests().size(), 1u);
  CPhysicalValues* display = session()->ValuesDisplay();
  ASSERT_NE(display, nullptr);
  EXPECT_TRUE(display->IsWindowVisible());
  EXPECT_EQ(display->GetWindowText(), "Data Conversion");

  const auto temperature = [&] {
    const std::string text = display->TextControl().GetWindowText();
    const std::size_t at = text.find("\n Temp = ");
    return at == std::string::npos ? std::string() : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
  };
  std::string first;
  ASSERT_TRUE(PumpUntil([&] {
    first = temperature();
    return first.size() > std::string(" Temp =  deg").size();
  })) << display->TextControl().GetWindowText();
  EXPECT_EQ(first.rfind(" Temp = ", 0), 0u);
  EXPECT_EQ(first.substr(first.size() - 4), " deg");
  EXPECT_TRUE(PumpUntil([&] { return temperature() != first; })) << first;

  frame().RunCommand(kCmdVariablesDisplay);
  EXPECT_EQ(session()->ValuesDisplay(), display);

  display->SendMessage(WM_CLOSE);
  EXPECT_EQ(session()->ValuesDisplay(), nullptr);
  frame().RunCommand(kCmdVariablesDisplay);  // the file is known now: no dialog
  EXPECT_EQ(prompts_.FileRequests().size(), 1u);
  ASSERT_NE(session()->ValuesDisplay(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return session()->ValuesDisplay()->Page().ValueLineCount() == 1u; }));

  ASSERT_TRUE(EndBy([&] { frame().RunCommand(kCmdDisconnect); }));
  EXPECT_TRUE(prompts_.Boxes().empty());
}

}  // namespace
}  // namespace plandrel
