// The list dialog and the tree's record commands over the editors' network, without a display: New,
// Edit, Delete and Duplicate with their refusals, the memory estimate after each command and after a
// cancelled editor, the tree kept as a rebuild would make it, the working files after End read back
// with the records library, and what each kind disables on line.
#include <gtest/gtest.h>

#include "edition_lst_ap_dlg.h"
#include "edition_sta_dlg.h"
#include "editors_fixture.h"
#include "liste_dlg.h"
#include "records/atomic_file.h"
#include "records/config_format.h"
#include "records/liste_aper.h"
#include "source_dest_dlgs.h"

namespace plandrel {
namespace {

using records::Section;
using testing::EditorTest;

class ListDialog : public EditorTest {
 protected:
  INT_PTR run_list(ListKind kind, std::map<UINT, Script> scripts) {
    qui::testing::ScriptedDialogs dialogs(runner(std::move(scripts)));
    CListeDlg dialog(frame_, context(), kind, 0, host_.session.get());
    return dialog.DoModal();
  }
  // The list dialog's script: select `lines`, press `button`, then End.
  static Script press(int button, std::vector<int> lines = {}) {
    return [=](CDialog& d) {
      for (int line : lines) d.SelectDlgItem(IDC_LISTE_RECORDS, line);
      d.ClickDlgItem(button);
      d.ClickDlgItem(IDOK);
    };
  }
  static Script save() {
    return [](CDialog& d) { d.ClickDlgItem(IDOK); };
  }
  static Script cancel() {
    return [](CDialog&) {};
  }

  // The tree's items as text: an item a line, indented by depth, with its code and image.
  std::string tree_dump() {
    CArbreCtrl& tree = *frame_->Tree();
    std::string out;
    const std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
      for (; item; item = tree.GetNextSiblingItem(item)) {
        int image = 0, selected = 0;
        tree.GetItemImage(item, image, selected);
        out += std::string(depth * 2, ' ') + tree.GetItemText(item) + " " + std::to_string(tree.GetItemData(item)) + "/" +
               std::to_string(image) + "\n";
        walk(tree.GetChildItem(item), depth + 1);
      }
    };
    walk(tree.GetRootItem(), 0);
    return out;
  }
  // The tree changed item by item shows what a rebuild from the records shows.
  void expect_tree_as_built(const char* what) {
    const std::string incremental = tree_dump();
    ASSERT_EQ(frame_->Tree()->BuildTree(), 0u);
    EXPECT_EQ(incremental, tree_dump()) << what;
  }
  // Every working file holds the document's records.
  void expect_working_files_current(const char* what) {
    const records::Configuration& c = document_->Records();
    EXPECT_TRUE(working(Section::stations).stations == c.stations) << what;
    EXPECT_EQ(working(Section::stations).station_count, c.station_count) << what;
    EXPECT_TRUE(working(Section::variables).variables == c.variables) << what;
    EXPECT_TRUE(working(Section::messages).messages == c.messages) << what;
    EXPECT_TRUE(working(Section::listes).lists == c.lists) << what;
  }
  std::uint32_t estimate() const { return document_->GetMemoryEstimate(); }
  records::Configuration& records() { return document_->Records(); }
  // File > Save (into "saved.cnf" while the document is untitled), read back with the records library.
  records::Configuration save_and_read_back() {
    document_host_.save_as = FileDialogResult{folder_ / "saved.cnf", 1};
    frame_->RunCommand(kCmdFileSave);
    const std::filesystem::path& saved = document_->GetPathName();
    records::Configuration read;
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(records::read_whole_file(saved, records::kLargestConfigurationFile, bytes), records::FileRead::ok);
    records::LoadSummary summary;
    EXPECT_EQ(records::decode_configuration(bytes, read, summary), records::Status::ok);
    return read;
  }
};

TEST_F(ListDialog, ACancelledNewOrDuplicateLeavesRecordsEstimateTreeAndFilesAsTheyWere) {
  records().lists = {DefaultList()};
  records().lists[0].identifiers = {0x100};
  ASSERT_TRUE(document_->WriteAllWorkingFiles());
  const records::Configuration before = records();
  const std::uint32_t estimate_before = estimate();
  const std::string tree_before = tree_dump();
  const std::pair<ListKind, UINT> kinds[] = {{ListKind::stations, IDD_EDITION_STA},
                                             {ListKind::variables, IDD_EDITION_VAR},
                                             {ListKind::messages, IDD_EDITION_MES},
                                             {ListKind::lists, IDD_EDITION_LST_AP}};
  for (const auto& [kind, editor] : kinds) {
    EXPECT_EQ(run_list(kind, {{IDD_LISTE, press(IDC_LISTE_NEW)}, {editor, cancel()}}), IDOK);
    if (kind != ListKind::stations)
      run_list(kind, {{IDD_LISTE, press(IDC_LISTE_DUPLICATE, {0})}, {editor, cancel()}});
    EXPECT_TRUE(records() == before) << static_cast<int>(kind);
    EXPECT_EQ(estimate(), estimate_before) << static_cast<int>(kind);
    EXPECT_EQ(tree_dump(), tree_before) << static_cast<int>(kind);
  }
  expect_working_files_current("cancelled");
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ListDialog, NewAndDuplicateAddEachRecordsCostOnce) {
  const std::uint32_t start = estimate();
  // A new variable: +32.
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_NEW)}, {IDD_EDITION_VAR, [](CDialog& d) {
                                    d.TypeDlgItemText(IDC_VAR_NAME, "Fresh");
                                    d.TypeDlgItemText(IDC_VAR_IDENTIFIER, "300");
                                    d.ClickDlgItem(IDOK);
                                  }}});
  ASSERT_EQ(records().variables.size(), 8u);
  EXPECT_EQ(records::text_of(records().variables[7].name), "Fresh");
  EXPECT_EQ(records().variables[7].key, 5007);
  EXPECT_EQ(estimate(), start + 32);
  expect_tree_as_built("new variable");

  // Duplicating the transmitted Order and making the copy received: the editor takes 16 off, the
  // copy's 16 comes once: no change.
  const auto choose_first = [](CDialog& d) {
    d.SelectDlgItem(IDC_END_VARIABLES, 0);
    d.ClickDlgItem(IDOK);
  };
  run_list(ListKind::messages, {{IDD_LISTE, press(IDC_LISTE_DUPLICATE, {0})},
                                {IDD_EDITION_MES,
                                 [](CDialog& d) {
                                   d.ClickDlgItem(IDC_MES_RECEIVED);
                                   d.ClickDlgItem(IDC_MES_DESTINATION_SELECT);
                                   d.ClickDlgItem(IDOK);
                                 }},
                                {IDD_SOURCE_DEST_LOCALE, choose_first}});
  ASSERT_EQ(records().messages.size(), 5u);
  EXPECT_EQ(records::text_of(records().messages[4].name), "Order(2)");
  EXPECT_EQ(records().messages[4].transmitted, 0);
  EXPECT_EQ(estimate(), start + 32);
  // Duplicating the received Report and making the copy transmitted: +16, once.
  run_list(ListKind::messages, {{IDD_LISTE, press(IDC_LISTE_DUPLICATE, {1})},
                                {IDD_EDITION_MES,
                                 [](CDialog& d) {
                                   d.ClickDlgItem(IDC_MES_TRANSMITTED);
                                   d.ClickDlgItem(IDC_MES_SOURCE_SELECT);
                                   d.ClickDlgItem(IDOK);
                                 }},
                                {IDD_SOURCE_DEST_LOCALE, choose_first}});
  EXPECT_EQ(records().messages.size(), 6u);
  EXPECT_EQ(estimate(), start + 48);
  // Two variables duplicated at once: +64, and each copy named after its source.
  int copies = 0;
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_DUPLICATE, {2, 3})}, {IDD_EDITION_VAR, [&](CDialog& d) {
                                    d.TypeDlgItemText(IDC_VAR_IDENTIFIER, std::to_string(400 + copies++).c_str());
                                    d.ClickDlgItem(IDOK);
                                  }}});
  ASSERT_EQ(records().variables.size(), 10u);
  EXPECT_EQ(records::text_of(records().variables[8].name), "Command(2)");
  EXPECT_EQ(records::text_of(records().variables[9].name), "Alarm(2)");
  EXPECT_EQ(estimate(), start + 112);
  EXPECT_TRUE(document_->IsModified());
  expect_tree_as_built("copies");
  expect_working_files_current("copies");
}

TEST_F(ListDialog, SelectionLimitAndUseRefusalsChangeNothing) {
  records().variables.resize(4094, records().variables[6]);
  for (std::size_t i = 7; i < 4094; ++i) records().variables[i].identifier = static_cast<std::uint16_t>(0x2000 + i);
  records::renumber_keys(records());
  ASSERT_EQ(frame_->Tree()->BuildTree(), 0u);
  const records::Configuration before = records();
  struct Case {
    ListKind kind;
    Script script;
    const char* refusal;
  };
  const Case cases[] = {
      {ListKind::stations, press(IDC_LISTE_EDIT), "Select a station."},
      {ListKind::variables, press(IDC_LISTE_EDIT, {0, 1}), "Select only one variable."},
      {ListKind::messages, press(IDC_LISTE_DELETE), "Select a message."},
      {ListKind::lists, press(IDC_LISTE_DUPLICATE), "Select a list."},
      {ListKind::variables, press(IDC_LISTE_DUPLICATE, {0, 1}), "You cannot configure more than 4095 variables."},
      {ListKind::stations, press(IDC_LISTE_DELETE, {0}), "You cannot delete the local station."},
      {ListKind::stations, press(IDC_LISTE_DELETE, {2}), "The station \"R2\"\nis used."},
      {ListKind::variables, press(IDC_LISTE_DELETE, {0}), "The variable \"Speed\"\nis used."},
  };
  for (const Case& k : cases) {
    prompts_.Clear();
    run_list(k.kind, {{IDD_LISTE, k.script}});
    EXPECT_EQ(boxes(), std::vector<std::string>{k.refusal});
    EXPECT_TRUE(records() == before) << k.refusal;
  }
  // One copy still fits.
  prompts_.Clear();
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_DUPLICATE, {6})}, {IDD_EDITION_VAR, [](CDialog& d) {
                                    d.TypeDlgItemText(IDC_VAR_IDENTIFIER, "300");
                                    d.ClickDlgItem(IDOK);
                                  }}});
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(records().variables.size(), 4095u);
  prompts_.Clear();
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_NEW)}});
  EXPECT_EQ(boxes(), std::vector<std::string>{"You cannot configure more than 4095 variables."});
}

TEST_F(ListDialog, DeletingSelectedLinesKeepsEveryReferenceAndWritesTheFilesAtEnd) {
  // Pressure (consumed, remote end of the received Report) and Setpoint (periodic channel 4) go;
  // Report's remote station goes with Pressure, the channels above 4 would move down.
  const std::uint32_t start = estimate();
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_DELETE, {5, 6})}});
  ASSERT_EQ(records().variables.size(), 5u);
  EXPECT_EQ(records().variables[4].key, 5004);
  EXPECT_EQ(records().messages[1].remote_station, -1);
  EXPECT_EQ(estimate(), start - 64);
  expect_tree_as_built("variables deleted");
  expect_working_files_current("variables deleted");

  // Messages 0 and 2: the transmitted ones take 16 each.
  run_list(ListKind::messages, {{IDD_LISTE, press(IDC_LISTE_DELETE, {0, 2})}});
  ASSERT_EQ(records().messages.size(), 2u);
  EXPECT_EQ(records::text_of(records().messages[1].name), "Update");
  EXPECT_EQ(records().messages[1].key, 35001);
  EXPECT_EQ(estimate(), start - 96);
  expect_tree_as_built("messages deleted");
  expect_working_files_current("messages deleted");
}

TEST_F(ListDialog, ALargeDeletionRebuildsTheTreeWithItsItemsExpandedAsBefore) {
  for (int k = 0; k < 80; ++k) {
    records::VARIABLE4 extra = records().variables[6];
    records::set_text(extra.name, "Extra " + std::to_string(k));
    extra.identifier = static_cast<std::uint16_t>(0x3000 + k);
    records().variables.push_back(extra);
  }
  records::renumber_keys(records());
  CArbreCtrl& tree = *frame_->Tree();
  ASSERT_EQ(tree.BuildTree(), 0u);
  const HTREEITEM root = tree.GetRootItem();
  tree.Expand(root, TVE_EXPAND);
  tree.Expand(tree.GetChildItem(root), TVE_EXPAND);  // the local station
  tree.Expand(tree.FindLocalItem(records::variable_key(4)), TVE_EXPAND);
  tree.Expand(tree.FindLocalItem(records::variable_key(86)), TVE_EXPAND);
  std::vector<int> lines;
  for (int line = 7; line < 86; ++line) lines.push_back(line);
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_DELETE, lines)}});

  ASSERT_EQ(records().variables.size(), 8u);
  EXPECT_EQ(records::text_of(records().variables[7].name), "Extra 79");
  EXPECT_TRUE(tree.IsExpanded(tree.GetChildItem(tree.GetRootItem())));
  EXPECT_TRUE(tree.IsExpanded(tree.FindLocalItem(records::variable_key(4))));
  EXPECT_TRUE(tree.IsExpanded(tree.FindLocalItem(records::variable_key(7))));
  EXPECT_FALSE(tree.IsExpanded(tree.FindLocalItem(records::variable_key(6))));
  expect_tree_as_built("large deletion");
  expect_working_files_current("large deletion");
}

TEST_F(ListDialog, AStationDeletedThenAnotherSavedUnchangedStillReachesEveryFile) {
  // A spare station between the local one and those in use.
  run_list(ListKind::stations, {{IDD_LISTE, press(IDC_LISTE_NEW)}, {IDD_EDITION_STA, save()}});
  ASSERT_EQ(records().station_count, 5);
  // A new station saved on its defaults is written too.
  EXPECT_EQ(working(Section::stations).station_count, 5);
  EXPECT_EQ(records::text_of(working(Section::stations).stations[4].name), "untitled");
  for (records::VARIABLE4& v : records().variables) {
    // Move every reference to stations 1..3 up one, so that the spare one is station 1.
    records::VARIABLE4 moved = v;
    moved.consumers.fill(0);
    for (std::size_t s = 0; s < 4; ++s)
      if (records::is_consumer(v, s)) records::set_consumer(moved, s == 0 ? 0 : s + 1, true);
    if (moved.producer > 0) ++moved.producer;
    v = moved;
  }
  for (records::MESSAGE4& m : records().messages)
    if (m.remote_station > 0) ++m.remote_station;
  std::rotate(records().stations.begin() + 1, records().stations.begin() + 4, records().stations.begin() + 5);
  ASSERT_TRUE(document_->WriteAllWorkingFiles());
  ASSERT_EQ(frame_->Tree()->BuildTree(), 0u);
  const records::Configuration shifted = records();

  run_list(ListKind::stations, {{IDD_LISTE,
                                 [](CDialog& d) {
                                   d.SelectDlgItem(IDC_LISTE_RECORDS, 1);
                                   d.ClickDlgItem(IDC_LISTE_DELETE);
                                   d.SelectDlgItem(IDC_LISTE_RECORDS, 0);
                                   d.ClickDlgItem(IDC_LISTE_EDIT);
                                   d.ClickDlgItem(IDOK);
                                 }},
                                {IDD_EDITION_STA, save()}});
  EXPECT_EQ(records().station_count, 4);
  EXPECT_EQ(records().variables[1].producer, 1);
  EXPECT_EQ(records().messages[0].remote_station, 1);
  EXPECT_NE(records().variables, shifted.variables);
  expect_working_files_current("station deleted");
  expect_tree_as_built("station deleted");
}

TEST_F(ListDialog, AVariableDeletedThenACancelledDuplicateIsNotBackAtSave) {
  run_list(ListKind::variables, {{IDD_LISTE,
                                  [](CDialog& d) {
                                    d.SelectDlgItem(IDC_LISTE_RECORDS, 6);
                                    d.ClickDlgItem(IDC_LISTE_DELETE);
                                    d.SelectDlgItem(IDC_LISTE_RECORDS, 1);
                                    d.ClickDlgItem(IDC_LISTE_DUPLICATE);
                                    d.ClickDlgItem(IDOK);
                                  }},
                                 {IDD_EDITION_VAR, cancel()}});
  const records::Configuration read = save_and_read_back();
  ASSERT_EQ(read.variables.size(), 6u);
  EXPECT_EQ(records::text_of(read.variables.back().name), "Setpoint");
  EXPECT_EQ(read.messages[1].remote_station, -1);  // Report lost its far end with Pressure
}

TEST_F(ListDialog, PeriodicMessagesKeepTheirChannelVariableWhenTheChannelsCloseAGap) {
  // Command (channel 2) goes: Alarm moves to 2, Setpoint to 3, and Update, sent on Alarm's channel,
  // follows it; Order stays on Speed's channel 1.
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_DELETE, {2})}});
  records::Configuration read = save_and_read_back();
  ASSERT_EQ(read.variables.size(), 6u);
  EXPECT_EQ(read.variables[2].channel, 2);  // Alarm
  EXPECT_EQ(read.variables[4].channel, 3);  // Setpoint
  EXPECT_EQ(read.messages[0].channel, 1);
  EXPECT_EQ(read.messages[3].channel, 2);

  // The local station produces Chan1, Chan2 and Chan3 on channels 1, 2 and 3; Upd, from Chan1, is
  // sent on channel 3.
  records::Configuration c = records::new_configuration();
  for (int i = 1; i <= 3; ++i) {
    records::VARIABLE4 v = DefaultVariable(c);
    records::set_text(v.name, "Chan" + std::to_string(i));
    v.identifier = static_cast<std::uint16_t>(0x200 + i);
    v.flags = records::VARIABLE4::kMessageChannel;
    v.channel = static_cast<std::int16_t>(i);
    c.variables.push_back(v);
  }
  records::MESSAGE4 upd = DefaultMessage(c);
  records::set_text(upd.name, "Upd");
  upd.source_identifier = 0x201;
  upd.aperiodic = 0;
  upd.channel = 3;
  c.messages.push_back(upd);
  load(c);
  // Chan3 cannot go without leaving Upd on no channel; Chan2 in the same selection goes.
  prompts_.Clear();
  run_list(ListKind::variables, {{IDD_LISTE, press(IDC_LISTE_DELETE, {1, 2})}});
  EXPECT_EQ(boxes(), std::vector<std::string>{"The variable \"Chan3\"\nis used."});
  read = save_and_read_back();
  ASSERT_EQ(read.variables.size(), 2u);
  EXPECT_EQ(records::text_of(read.variables[1].name), "Chan3");
  EXPECT_EQ(read.variables[1].channel, 2);
  EXPECT_EQ(read.messages[0].channel, 2);
}

TEST_F(ListDialog, EndKeepsTheVariablesDialogOpenWhileTheMessageChannelsCannotServe) {
  // Status, the only aperiodic channel, gives it up while Notice is sent aperiodically; Command goes.
  run_list(ListKind::variables, {{IDD_LISTE,
                                  [](CDialog& d) {
                                    d.SelectDlgItem(IDC_LISTE_RECORDS, 2);
                                    d.ClickDlgItem(IDC_LISTE_DELETE);
                                    d.SelectDlgItem(IDC_LISTE_RECORDS, 3);
                                    d.ClickDlgItem(IDC_LISTE_EDIT);
                                    d.ClickDlgItem(IDOK);
                                    EXPECT_FALSE(d.IsEnded());
                                  }},
                                 {IDD_EDITION_VAR, [](CDialog& d) {
                                    d.ClickDlgItem(IDC_VAR_EMISSION);
                                    d.ClickDlgItem(IDOK);
                                  }}});
  EXPECT_EQ(boxes().back(), "No variable produced by the local station enables\naperiodical message requests emission.");
  // Its working files were still written when the window was closed.
  EXPECT_TRUE(working(Section::variables).variables == records().variables);
}

TEST_F(ListDialog, TreeCommandsWorkOnTheItemWhoseMenuWasOpened) {
  CArbreCtrl& tree = *frame_->Tree();
  tree.ExpandAll();
  const auto command_on = [&](HTREEITEM item, UINT command) {
    prompts_.MenuAnswer(command);
    tree.ClickItem(item, NM_RCLICK);
  };
  // Speed is sent from: refused, over the main frame.
  command_on(tree.FindLocalItem(records::variable_key(0)), kCmdVariableDelete);
  EXPECT_EQ(boxes(), std::vector<std::string>{"The variable \"Speed\"\nis used."});
  prompts_.Clear();
  // Delete Pressure from its item under the local station: the files are written at once.
  command_on(tree.FindLocalItem(records::variable_key(6)), kCmdVariableDelete);
  ASSERT_EQ(records().variables.size(), 6u);
  expect_working_files_current("tree delete");
  // Copy Alarm, edited through the copy's editor.
  {
    qui::testing::ScriptedDialogs dialogs(runner({{IDD_EDITION_VAR, [](CDialog& d) {
                                                     d.TypeDlgItemText(IDC_VAR_IDENTIFIER, "3A0");
                                                     d.ClickDlgItem(IDOK);
                                                   }}}));
    command_on(tree.FindLocalItem(records::variable_key(3)), kCmdVariableCopy);
  }
  ASSERT_EQ(records().variables.size(), 7u);
  EXPECT_EQ(records::text_of(records().variables[6].name), "Alarm(2)");
  expect_tree_as_built("tree copy");
  // A message's code beyond the records (as one the session added on line) does nothing.
  tree.ClickItem(tree.FindLocalItem(records::message_key(3)), NM_RCLICK);
  records().messages.resize(3);
  const records::Configuration before = records();
  for (UINT command : {kCmdMessageEdit, kCmdMessageDelete, kCmdMessageCopy, kCmdConfiguration})
    frame_->RunCommand(command);
  EXPECT_TRUE(records() == before);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ListDialog, OnLineEachKindOnlyShowsItsRecordsButTheLists) {
  go_on_line();
  document_->Records() = testing::editors_network();
  records().lists = {DefaultList()};
  records().lists[0].identifiers = {0x100};
  testing::FakeSession& session = static_cast<testing::FakeSession&>(*host_.session);
  for (ListKind kind : {ListKind::stations, ListKind::variables, ListKind::messages, ListKind::lists}) {
    const bool lists = kind == ListKind::lists;
    run_list(kind, {{IDD_LISTE, [&](CDialog& d) {
                       EXPECT_EQ(d.GetDlgItem(IDC_LISTE_NEW)->IsWindowEnabled() != FALSE, lists);
                       EXPECT_EQ(d.GetDlgItem(IDC_LISTE_DELETE)->IsWindowEnabled() != FALSE, lists);
                       EXPECT_EQ(d.GetDlgItem(IDC_LISTE_DUPLICATE)->IsWindowEnabled() != FALSE, lists);
                       EXPECT_EQ(d.GetDlgItemText(IDC_LISTE_EDIT), lists ? "Edit..." : "Configuration...");
                       d.ClickDlgItem(IDOK);
                     }}});
  }
  EXPECT_EQ(session.opened, std::vector<std::string>{"lists changed"});
  EXPECT_TRUE(session.AperiodicUsable());
  // The tree's commands of the kinds that only show do nothing either.
  const records::Configuration before = records();
  for (UINT command : {kCmdStationNew, kCmdStationDelete, kCmdVariableNew, kCmdVariableCopy, kCmdMessageDelete})
    frame_->RunCommand(command);
  EXPECT_TRUE(records() == before);
}

}  // namespace
}  // namespace plandrel
