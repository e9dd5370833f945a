#include "frame_commands.h"

#include <gtest/gtest.h>

#include <set>

namespace plandrel {
namespace {

// The commands enabled in a state, among those of the menus and the toolbar.
std::set<std::uint16_t> enabled(const FrameState& state) {
  std::set<std::uint16_t> ids;
  for (const CommandEntry& entry : frame_commands())
    if (entry.id < kCmdStationNew || entry.id > kCmdConfiguration)
      if (command_enabled(entry.id, state)) ids.insert(entry.id);
  return ids;
}

const std::set<std::uint16_t> kAlways = {kCmdViewToolbar, kCmdViewStatusBar, kCmdSmallIcons, kCmdLargeIcons,
                                         kCmdIconSize};

std::set<std::uint16_t> with_always(std::set<std::uint16_t> ids) {
  ids.insert(kAlways.begin(), kAlways.end());
  return ids;
}

TEST(FrameCommands, EnabledAtStartAfterNewAndOnLine) {
  const std::set<std::uint16_t> editing = {kCmdFileSave,      kCmdFileSaveAs,   kCmdGeneralSettings,
                                           kCmdEditStations,  kCmdEditVariables, kCmdEditMessages,
                                           kCmdEditLists,     kCmdExpand};
  struct Case {
    const char* what;
    FrameState state;
    std::set<std::uint16_t> expected;
  };
  std::set<std::uint16_t> after_new = editing;
  after_new.insert({kCmdFileNew, kCmdFileOpen, kCmdOpenCsv, kCmdConnect, kCmdPresenceTest});
  std::set<std::uint16_t> after_new_ba = after_new;
  after_new_ba.insert(kCmdBusArbitrator);
  std::set<std::uint16_t> on_line = editing;
  on_line.insert({kCmdDisconnect, kCmdMedium, kCmdVariablesDisplay});
  std::set<std::uint16_t> on_line_all = on_line;
  on_line_all.insert({kCmdBusArbitrator, kCmdBaControl, kCmdSendList});
  std::set<std::uint16_t> testing_presence = editing;
  testing_presence.insert({kCmdFileNew, kCmdFileOpen, kCmdOpenCsv});

  const Case cases[] = {
      {"start", {.document = true}, with_always({kCmdFileNew, kCmdFileOpen, kCmdOpenCsv})},
      {"start with working files",
       {.document = true, .working_files = true},
       with_always({kCmdFileNew, kCmdFileOpen, kCmdOpenCsv, kCmdCurrentConfiguration})},
      {"after New", {.document = true, .untouched = false, .working_files = true}, with_always(after_new)},
      {"after New with a BA", {.document = true, .untouched = false, .bus_arbitrator = true}, with_always(after_new_ba)},
      {"on line", {.document = true, .untouched = false, .online = true}, with_always(on_line)},
      {"on line, BA and lists",
       {.document = true, .untouched = false, .online = true, .bus_arbitrator = true, .aperiodic_usable = true},
       with_always(on_line_all)},
      {"presence test running", {.document = true, .untouched = false, .presence_test = true},
       with_always(testing_presence)},
      {"no document", {.document = false, .untouched = false}, with_always([&] {
         auto ids = after_new;
         ids.erase(kCmdConnect);
         ids.erase(kCmdPresenceTest);
         return ids;
       }())},
  };
  for (const Case& c : cases) EXPECT_EQ(enabled(c.state), c.expected) << c.what;
}

TEST(FrameCommands, EveryCommandHasOneEntryAndUnknownOnesStayEnabled) {
  std::set<std::uint16_t> ids;
  for (const CommandEntry& entry : frame_commands()) EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
  EXPECT_EQ(ids.size(), 37u);
  EXPECT_TRUE(command_enabled(57664, FrameState{}));
}

TEST(FrameCommands, TreeCommandsNameTheirKindAndOperation) {
  struct Case {
    std::uint16_t id;
    RecordKind kind;
    RecordOperation operation;
  };
  const Case cases[] = {
      {32785, RecordKind::stations, RecordOperation::create},  {32786, RecordKind::stations, RecordOperation::edit},
      {32787, RecordKind::stations, RecordOperation::remove},  {32788, RecordKind::variables, RecordOperation::create},
      {32789, RecordKind::variables, RecordOperation::edit},   {32790, RecordKind::variables, RecordOperation::remove},
      {32791, RecordKind::variables, RecordOperation::copy},   {32792, RecordKind::messages, RecordOperation::create},
      {32793, RecordKind::messages, RecordOperation::edit},    {32794, RecordKind::messages, RecordOperation::remove},
      {32795, RecordKind::messages, RecordOperation::copy},
  };
  for (const Case& c : cases) {
    const auto command = tree_command(c.id);
    ASSERT_TRUE(command) << c.id;
    EXPECT_EQ(command->kind, c.kind) << c.id;
    EXPECT_EQ(command->operation, c.operation) << c.id;
  }
  EXPECT_FALSE(tree_command(32784));
  EXPECT_FALSE(tree_command(32796));
}

TEST(FrameCommands, MediumIconsFollowTheStatusBits) {
  using I = MediumIcon;
  const std::pair<std::uint8_t, MediumIcons> cases[] = {
      {0, {I::off, I::off}}, {1, {I::on, I::off}}, {2, {I::off, I::on}}, {3, {I::on, I::on}},
      {0x0E, {I::off, I::on}},  // the echo bits do not count
  };
  for (const auto& [status, icons] : cases) EXPECT_EQ(medium_icons(status), icons) << int{status};
}

TEST(FrameCommands, OnLinePromptsCoverTheSessionsEntriesOnly) {
  struct Case {
    std::uint16_t id;
    bool online;
    const char* expected;  // nullptr: the string table's prompt
  };
  const Case cases[] = {
      {33000, true, "Open this variable dialog for connected mode."},
      {33002, true, "Open this variable dialog for connected mode."},
      {33003, true, nullptr},
      {40000, true, "Open this message dialog for connected mode."},
      {40001, true, nullptr},
      {33000, false, nullptr},
      {32783, true, nullptr},
  };
  for (const Case& c : cases) {
    const auto prompt = online_prompt(c.id, c.online, 3, 1);
    if (c.expected == nullptr)
      EXPECT_FALSE(prompt) << c.id;
    else
      EXPECT_EQ(prompt.value_or(""), c.expected) << c.id;
  }
}

TEST(FrameCommands, StatusBarPanes) {
  const auto panes = status_pane_ids();
  EXPECT_EQ(std::vector<std::uint16_t>(panes.begin(), panes.end()),
            (std::vector<std::uint16_t>{0, 1000, 1001, 1002, 1001, 1003, 59137, 59138, 59139}));
  EXPECT_EQ(panes[kMedium1Pane], 1001);
  EXPECT_EQ(panes[kMedium2Pane], 1001);
}

}  // namespace
}  // namespace plandrel
