#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "frame_fixture.h"
#include "sample_network.h"
#include "splash_wnd.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

using testing::FakeSession;
using testing::MainFrameTest;
using testing::pump;

// Keyboard users reach each entry by its underlined letter: within one menu no letter serves twice
// (Qt would only cycle between the entries instead of running one).
void expectDistinctMnemonics(const std::vector<qui::MenuTemplate>& entries, const std::string& where) {
  std::set<char> letters;
  for (const auto& entry : entries) {
    const auto amp = entry.text.find('&');
    if (amp != std::string::npos && amp + 1 < entry.text.size()) {
      const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(entry.text[amp + 1])));
      EXPECT_TRUE(letters.insert(letter).second) << where << ": '" << letter << "' in " << entry.text;
    }
    if (!entry.popup.empty()) expectDistinctMnemonics(entry.popup, where + " > " + entry.text);
  }
}

TEST_F(MainFrameTest, EveryMenuUnderlinesEachLetterOnce) {
  for (const UINT id : {kMainFrameResource, 194u, 195u, 196u, 197u}) {
    const auto* menu = qui::FindMenu(id);
    ASSERT_NE(menu, nullptr) << id;
    expectDistinctMnemonics(*menu, "menu " + std::to_string(id));
  }
}

TEST_F(MainFrameTest, CommandsAtStartAfterNewAndOnLine) {
  struct Expectation {
    UINT id;
    bool at_start;
    bool after_new;
    bool on_line;
  };
  const Expectation table[] = {
      {kCmdFileNew, true, true, false},         {kCmdFileOpen, true, true, false},
      {kCmdCurrentConfiguration, false, false, false},
      {kCmdFileSave, false, true, true},        {kCmdFileSaveAs, false, true, true},
      {kCmdOpenCsv, true, true, false},         {kCmdGeneralSettings, false, true, true},
      {kCmdBusArbitrator, false, true, true}, {kCmdEditStations, false, true, true},
      {kCmdEditLists, false, true, true},       {kCmdExpand, false, true, true},
      {kCmdConnect, false, true, false},        {kCmdPresenceTest, false, true, false},
      {kCmdDisconnect, false, false, true},     {kCmdMedium, false, false, true},
      {kCmdBaControl, false, false, true},     {kCmdSendList, false, false, false},
      {kCmdVariablesDisplay, false, false, true}, {kCmdViewToolbar, true, true, true},
      {kCmdSmallIcons, true, true, true},
  };
  for (const auto& e : table) EXPECT_EQ(enabled(e.id), e.at_start) << "start " << e.id;
  ASSERT_TRUE(document_->New());
  for (const auto& e : table) EXPECT_EQ(enabled(e.id), e.after_new) << "after New " << e.id;
  host_.online = true;
  for (const auto& e : table) EXPECT_EQ(enabled(e.id), e.on_line) << "on line " << e.id;
}

TEST_F(MainFrameTest, CurrentConfigurationNeedsTheWorkingFilesOfAnUntouchedDocument) {
  {
    CPlandrelDoc writer(document_host_, folder_, SelectedDevice{});
    ASSERT_TRUE(writer.New());  // writes the six working files
  }
  EXPECT_TRUE(enabled(kCmdCurrentConfiguration));
  ASSERT_TRUE(frame_->RunCommand(kCmdCurrentConfiguration));
  EXPECT_FALSE(document_->IsUntouched());
  EXPECT_FALSE(enabled(kCmdCurrentConfiguration));
}

TEST_F(MainFrameTest, MediumIconsFollowTheStatusByteAndResetToNeutral) {
  const HICON off = app_.LoadIcon(kIconOff), neutral = app_.LoadIcon(kIconNeutral), on = app_.LoadIcon(kIconOn);
  ASSERT_NE(off, on);
  EXPECT_EQ(frame_->MediumIcon(1), neutral);
  EXPECT_EQ(frame_->MediumIcon(2), neutral);
  const std::pair<HICON, HICON> expected[] = {{off, off}, {on, off}, {off, on}, {on, on}};
  for (WPARAM status = 0; status < 4; ++status) {
    frame_->SendMessage(WM_FIP_MEDIUM_ICONS, status);
    EXPECT_EQ(frame_->MediumIcon(1), expected[status].first) << status;
    EXPECT_EQ(frame_->MediumIcon(2), expected[status].second) << status;
  }
  frame_->SendMessage(WM_FIP_MEDIUM_RESET);
  EXPECT_EQ(frame_->MediumIcon(1), neutral);
  EXPECT_EQ(frame_->MediumIcon(2), neutral);
}

TEST_F(MainFrameTest, ClosingOnLineEndsTheSessionFirstAndClosesOnItsEnd) {
  bool deleted = false;
  FakeSession& session = go_on_line();
  session.deleted = &deleted;
  frame_->SendMessage(WM_CLOSE);
  frame_->SendMessage(WM_CLOSE);  // a second close while the session ends asks nothing more
  EXPECT_EQ(session.EndRequests(), std::vector<WPARAM>{kEndWindowClosed});
  pump();
  EXPECT_TRUE(frame_alive());

  // The session thread ends the session and reports it.
  host_.online = false;
  frame_->PostMessage(WM_FIP_SESSION_ENDED, kEndWindowClosed);
  pump();
  EXPECT_TRUE(deleted);
  EXPECT_FALSE(frame_alive());
}

TEST_F(MainFrameTest, ACloseIsNotLostWhenTheSessionEndsForAnotherReasonOrHasNoWindow) {
  FakeSession& session = go_on_line();
  frame_->SendMessage(WM_CLOSE);
  EXPECT_EQ(session.EndRequests(), std::vector<WPARAM>{kEndWindowClosed});
  // A Disconnect handled first: the session reports reason 0, and the close still happens.
  host_.online = false;
  frame_->SendMessage(WM_FIP_SESSION_ENDED, kEndDisconnect);
  EXPECT_FALSE(frame_alive());
}

TEST_F(MainFrameTest, ClosingOnLineWithoutASessionWindowClosesAtOnce) {
  FakeSession& session = go_on_line();
  session.mailbox.DestroyWindow();  // the session thread is gone
  frame_->SendMessage(WM_CLOSE);
  pump();
  EXPECT_EQ(host_.session, nullptr);
  EXPECT_FALSE(frame_alive());
}

TEST_F(MainFrameTest, ASuspendedSessionsEndIsToldAndTheWindowStays) {
  qui::testing::ScriptedPrompts prompts;
  go_on_line();
  frame_->SendMessage(WM_FIP_SESSION_ENDED, kEndSuspend);
  ASSERT_EQ(prompts.Boxes().size(), 1u);
  EXPECT_EQ(prompts.Boxes()[0].text, "System power down has stopped FIP connection");
  EXPECT_EQ(prompts.Boxes()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(host_.session, nullptr);
  EXPECT_TRUE(frame_alive());
  frame_->SendMessage(WM_FIP_SESSION_ENDED, kEndDisconnect);
  EXPECT_TRUE(frame_alive());
}

TEST_F(MainFrameTest, StoppingAnEngineThatIsNotStartedShowsTheErrorText) {
  qui::testing::ScriptedPrompts prompts;
  EXPECT_EQ(frame_->SendMessage(WM_FIP_STOP_ENGINE), 0);
  ASSERT_EQ(prompts.Boxes().size(), 1u);
  EXPECT_FALSE(prompts.Boxes()[0].text.empty());
  EXPECT_NE(prompts.Boxes()[0].text, "Unknown error.");
}

TEST_F(MainFrameTest, EditListsWithoutAperiodicRequestVariablesSaysSo) {
  qui::testing::ScriptedPrompts prompts;
  ASSERT_TRUE(document_->New());
  frame_->RunCommand(kCmdEditLists);
  ASSERT_EQ(prompts.Boxes().size(), 1u);
  EXPECT_EQ(prompts.Boxes()[0].text, "No variable configured for aperiocal variable requests.");
}

TEST_F(MainFrameTest, ClosingOffLineGoesThroughTheSessionEndedMessageOnce) {
  frame_->SendMessage(WM_CLOSE);
  EXPECT_TRUE(frame_alive());  // not before the posted message is handled
  pump();
  EXPECT_FALSE(frame_alive());
}

TEST_F(MainFrameTest, SuspendEndsASessionOnlyOnLine) {
  EXPECT_EQ(frame_->SendMessage(WM_POWERBROADCAST, PBT_APMSUSPEND), TRUE);
  pump();
  EXPECT_TRUE(frame_alive());
  FakeSession& session = go_on_line();
  EXPECT_EQ(frame_->SendMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC), TRUE);
  EXPECT_EQ(frame_->SendMessage(WM_POWERBROADCAST, PBT_APMSUSPEND), TRUE);
  EXPECT_EQ(session.EndRequests(), std::vector<WPARAM>{kEndSuspend});
}

TEST_F(MainFrameTest, DisconnectAndTheOnLineCommandsReachTheSession) {
  FakeSession& session = go_on_line();
  document_->Records().param.ba_size = 1;
  for (UINT id : std::initializer_list<UINT>{kCmdBaControl, kCmdMedium, kCmdVariablesDisplay, 33002, 33003, 40000, 40001})
    frame_->RunCommand(id);
  EXPECT_EQ(session.opened, (std::vector<std::string>{"ba", "medium", "display", "variable 2", "message 0"}));
  frame_->RunCommand(kCmdDisconnect);
  EXPECT_EQ(session.EndRequests(), std::vector<WPARAM>{kEndDisconnect});

  std::string prompt;
  frame_->GetMessageString(33002, prompt);
  EXPECT_EQ(prompt, "Open this variable dialog for connected mode.");
  frame_->GetMessageString(40000, prompt);
  EXPECT_EQ(prompt, "Open this message dialog for connected mode.");
  frame_->GetMessageString(kCmdConnect, prompt);
  EXPECT_EQ(prompt, "Download the configuration and connect to the FIP network");
}

TEST_F(MainFrameTest, PresenceTestOpensOffLineOnATouchedConfiguration) {
  std::string prompt;
  frame_->GetMessageString(kCmdPresenceTest, prompt);
  EXPECT_EQ(prompt, "Launch a network test");
  EXPECT_EQ(qui::LoadResourceString(kCmdPresenceTest), "Launch a network test\nWhich stations are present ?");
  frame_->RunCommand(kCmdPresenceTest);
  EXPECT_EQ(host_.presence_tests, 0) << "untouched";
  ASSERT_TRUE(document_->New());
  frame_->RunCommand(kCmdPresenceTest);
  EXPECT_EQ(host_.presence_tests, 1);
  host_.online = true;
  frame_->RunCommand(kCmdPresenceTest);
  EXPECT_EQ(host_.presence_tests, 1) << "on line";
}

TEST_F(MainFrameTest, AFailedConnectDeletesTheSession) {
  ASSERT_TRUE(document_->New());
  host_.connect_succeeds = false;
  frame_->RunCommand(kCmdConnect);
  EXPECT_EQ(host_.sessions_made, 1);
  EXPECT_EQ(host_.session, nullptr);
  host_.connect_succeeds = true;
  frame_->RunCommand(kCmdConnect);
  EXPECT_NE(host_.session, nullptr);
  EXPECT_TRUE(host_.online);
}

TEST_F(MainFrameTest, IconSizeCommandsSwapTheTreesImagesAndTheProfile) {
  CArbreCtrl& tree = *frame_->Tree();
  EXPECT_TRUE(tree.UsesSmallIcons());
  EXPECT_EQ(checked(kCmdSmallIcons), 1);
  frame_->RunCommand(kCmdLargeIcons);
  EXPECT_EQ(host_.icon_size, 1);
  EXPECT_FALSE(tree.UsesSmallIcons());
  EXPECT_EQ(checked(kCmdLargeIcons), 1);
  EXPECT_EQ(checked(kCmdIconSize), 1);
  frame_->RunCommand(kCmdLargeIcons);  // already large: nothing changes
  EXPECT_FALSE(tree.UsesSmallIcons());
  frame_->RunCommand(kCmdIconSize);
  EXPECT_EQ(host_.icon_size, 0);
  EXPECT_TRUE(tree.UsesSmallIcons());
  EXPECT_EQ(tree.GetImageList(TVSIL_NORMAL)->cx, 16);
}

}  // namespace
}  // namespace plandrel

namespace plandrel {
namespace {

TEST_F(MainFrameTest, MessageMenuEntriesAreGreyedAndEnabledByPosition) {
  CMenu* fip = frame_->GetMenu()->GetSubMenu(3);
  ASSERT_NE(fip, nullptr);
  // The session's on-line popups, as Connect inserts them at positions 4 and 5.
  CMenu variables, messages;
  ASSERT_TRUE(variables.CreatePopupMenu());
  ASSERT_TRUE(messages.CreatePopupMenu());
  messages.AppendMenu(MF_STRING, 40000, "Setpoint...");
  messages.AppendMenu(MF_STRING | MF_GRAYED, 40001, "Valve alarm...");
  ASSERT_TRUE(fip->InsertMenu(4, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(variables.Detach()), "Variables"));
  ASSERT_TRUE(fip->InsertMenu(5, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(messages.Detach()), "Messages"));
  CMenu* popup = fip->GetSubMenu(5);
  ASSERT_NE(popup, nullptr);
  frame_->EnableMessageMenuItem(1, true);
  EXPECT_EQ(popup->GetMenuState(1, MF_BYPOSITION) & MF_GRAYED, 0u);
  frame_->EnableMessageMenuItem(0, false);
  EXPECT_NE(popup->GetMenuState(0, MF_BYPOSITION) & MF_GRAYED, 0u);
  frame_->EnableMessageMenuItem(7, true);  // no such entry: nothing happens
}

}  // namespace
}  // namespace plandrel
