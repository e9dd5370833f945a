// The variable editor: Save's order with each refusal's text and the field it focuses, what a Save
// keeps in step (channels, messages, tree, working files), the selection dialogs' results, and the
// view-only editor on line.
#include <gtest/gtest.h>

#include <algorithm>

#include "edition_var_dlg.h"
#include "editors_fixture.h"
#include "model/record_commands.h"
#include "station_dlgs.h"

namespace plandrel {
namespace {

using records::VARIABLE4;
using testing::EditorTest;

class VariableEditor : public EditorTest {
 protected:
  // Saves variable `index` after `change`: the editor's result, the first refusal (empty when Save
  // closed the editor) and the control then focused.
  struct Outcome {
    INT_PTR result;
    std::string refusal;
    int focus;
  };
  Outcome save(std::size_t index, const Script& change) {
    const Attempt seen = save_variable(index, change);
    return {seen.result, seen.boxes.empty() ? std::string() : seen.boxes.front(), seen.focus};
  }
  VARIABLE4& variable(std::size_t index) { return document_->Records().variables[index]; }
};

TEST_F(VariableEditor, SaveRefusesAtTheFirstFailingFieldAndChangesNothing) {
  const auto type = [](int id, const char* text) { return [=](CDialog& d) { d.TypeDlgItemText(id, text); }; };
  const auto put = [](int id, const char* text) { return [=](CDialog& d) { d.SetDlgItemText(id, text); }; };
  struct Case {
    std::size_t index;
    Script change;
    const char* refusal;
    int focus;
    const char* field_after = nullptr;  // what the refused field then shows
    int field = 0;
  };
  const Case cases[] = {
      {0, type(IDC_VAR_NAME, ""), "Enter a name.", IDC_VAR_NAME},
      {0, type(IDC_VAR_NAME, "Level"), "This name is already in use by a variable.", IDC_VAR_NAME},
      {0, type(IDC_VAR_IDENTIFIER, "-1"), "An identifier must be positive.", IDC_VAR_IDENTIFIER, "0", IDC_VAR_IDENTIFIER},
      {0, put(IDC_VAR_IDENTIFIER, "10000"), "Identifier too high.\nThe maximum value is 0xFFFF.", IDC_VAR_IDENTIFIER,
       "FFFF", IDC_VAR_IDENTIFIER},
      {0, type(IDC_VAR_IDENTIFIER, "101"), "This identifier is already in use by a variable.", IDC_VAR_IDENTIFIER},
      {0, type(IDC_VAR_LENGTH, "0"), "Variable length too small.\nThe minimum value is 1.", IDC_VAR_LENGTH, "1",
       IDC_VAR_LENGTH},
      {0, type(IDC_VAR_LENGTH, "127"), "Variable length too high.\nThe maximum value is 126.", IDC_VAR_LENGTH, "126",
       IDC_VAR_LENGTH},
      {0, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_REFRESHMENT); d.TypeDlgItemText(IDC_VAR_LENGTH, "126"); },
       "Variable length too high.\nThe maximum value is 125.", IDC_VAR_LENGTH},
      {0, type(IDC_VAR_PDU, "-1"), "PDU too small.\nThe minimum value is 0.", IDC_VAR_PDU, "0", IDC_VAR_PDU},
      {0, put(IDC_VAR_PDU, "100"), "PDU too high.\nThe maximum value is FF.", IDC_VAR_PDU, "FF", IDC_VAR_PDU},
      {0, type(IDC_VAR_FORMAT, "%q"), "Invalid format.", IDC_VAR_FORMAT},
      {0, type(IDC_VAR_FORMAT, "%4h"), "Warning :\nNot enough data to match the format.", IDC_VAR_FORMAT},
      {1, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_RECEPTION); },
       "This variable receive a message.\nMessage reception must be enabled.", IDC_VAR_RECEPTION},
      {4, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_PERIODICAL); },
       "There is already 8 variable(s) which enable the periodical\nmessage requests emission.", IDC_VAR_EMISSION},
      {0, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_REFRESHMENT); d.TypeDlgItemText(IDC_VAR_REFRESHMENT_PERIOD, "1024"); },
       "Refreshment period too high.\nThe maximum value is 1023 ms.", IDC_VAR_REFRESHMENT_PERIOD, "1023",
       IDC_VAR_REFRESHMENT_PERIOD},
      {0, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_REFRESHMENT); d.TypeDlgItemText(IDC_VAR_REFRESHMENT_PERIOD, "-5"); },
       "Refreshment period  too small.\nThe minimum value is 0 ms.", IDC_VAR_REFRESHMENT_PERIOD, "0",
       IDC_VAR_REFRESHMENT_PERIOD},
      {6, type(IDC_VAR_PROMPTNESS_PERIOD, "99999"), "Promptness period too high.\nThe maximum value is 1023 ms.",
       IDC_VAR_PROMPTNESS_PERIOD},
  };
  // Eight periodic channels, so that a ninth is refused (case 4 turns Status periodic).
  for (std::uint16_t k = 0; k < 4; ++k) {
    VARIABLE4 extra = variable(0);
    records::set_text(extra.name, "Extra" + std::to_string(k));
    extra.identifier = static_cast<std::uint16_t>(0x200 + k);
    extra.channel = static_cast<std::int16_t>(5 + k);
    document_->Records().variables.push_back(extra);
  }
  records::renumber_keys(document_->Records());
  const records::Configuration before = document_->Records();
  for (const Case& k : cases) {
    // The format warning asks OK or Cancel: Cancel keeps the editor open.
    if (std::string(k.refusal).starts_with("Warning")) prompts_.Answer(IDCANCEL);
    const Attempt seen = save_variable(k.index, k.change, k.field);
    expect_refused(seen, k.refusal, k.focus, k.field_after);
    EXPECT_TRUE(document_->Records() == before) << k.refusal;
  }
  EXPECT_FALSE(document_->IsModified());
}

TEST_F(VariableEditor, EveryNumberFieldRefusesWhatIsNotANumberInItsRange) {
  const records::Configuration before = document_->Records();
  const std::string too_long(40, '7');
  const std::vector<std::string> common = {"", "-1", "99999999999999999999999", "nan", "inf", "1.5", "12abc", "3 4",
                                           "--1", too_long};
  for (int field : {IDC_VAR_IDENTIFIER, IDC_VAR_LENGTH, IDC_VAR_PDU, IDC_VAR_PROMPTNESS_PERIOD}) {
    const bool hexadecimal = field == IDC_VAR_IDENTIFIER || field == IDC_VAR_PDU;
    // Letters that are no digits of the field's base ("abc" is a hexadecimal number).
    std::vector<std::string> texts = common;
    if (hexadecimal) texts.insert(texts.end(), {"xyz", "g1"});
    else texts.insert(texts.end(), {"abc", "1e3", "0x10"});
    for (const std::string& text : texts) {
      const Outcome outcome = save(6, [&](CDialog& d) { d.SetDlgItemText(field, text.c_str()); });
      EXPECT_EQ(outcome.result, IDCANCEL) << field << " \"" << text << "\"";
      EXPECT_FALSE(outcome.refusal.empty()) << field << " \"" << text << "\"";
      EXPECT_EQ(outcome.focus, field) << field << " \"" << text << "\"";
    }
  }
  EXPECT_TRUE(document_->Records() == before);
}

TEST_F(VariableEditor, ClearingEmissionKeepsThePeriodicChannelsDenseAndRewritesTheWorkingFile) {
  EXPECT_EQ(save(2, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_EMISSION); }).result, IDOK);
  const std::vector<int> expected = {1, -1, -1, 2, 0, 3, -1};  // Speed, Level, Command, Alarm, Status, Setpoint, Pressure
  const records::Configuration file = working(records::Section::variables);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(variable(i).channel, expected[i]) << i;
    EXPECT_EQ(file.variables[i].channel, expected[i]) << i;
  }
  EXPECT_EQ(variable(2).flags & VARIABLE4::kMessageChannel, 0);
  EXPECT_TRUE(document_->IsModified());
  // Update, sent on Alarm's channel, follows it to 2.
  EXPECT_EQ(working(records::Section::messages).messages[3].channel, 2);
  // Emission again: the first free channel, 4.
  EXPECT_EQ(save(2, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_EMISSION); }).result, IDOK);
  EXPECT_EQ(variable(2).channel, 4);

  // A copy of Alarm holds Alarm's channel until its Save: clearing the copy's emission moves no channel.
  const std::size_t copy = *AppendCopy(*document_, ListKind::variables, 3);
  EXPECT_EQ(edit_variable(copy, {{IDD_EDITION_VAR, [](CDialog& d) {
                                    d.TypeDlgItemText(IDC_VAR_IDENTIFIER, "3A0");
                                    d.ClickDlgItem(IDC_VAR_EMISSION);
                                    d.ClickDlgItem(IDOK);
                                  }}},
                          true),
            IDOK);
  const std::vector<int> after_copy = {1, -1, 4, 2, 0, 3, -1, -1};
  for (std::size_t i = 0; i < after_copy.size(); ++i) EXPECT_EQ(variable(i).channel, after_copy[i]) << i;
  EXPECT_EQ(document_->Records().messages[3].channel, 2);
}

// Command (channel 2) as a file may hold it: consumed, with message requests, aperiodic variable
// requests and channel 2 kept, so that the produced channels are 1, 3 and 4 and Order is sent on
// channel 2, which no produced variable carries.
TEST_F(VariableEditor, AGapInThePeriodicChannelsMovesNoCarrierAwayFromItsMessages) {
  VARIABLE4& command = variable(2);
  command.producer = 2;
  records::set_consumer(command, 2, false);
  records::set_consumer(command, 0, true);
  command.direction = 1;
  command.flags |= VARIABLE4::kAperiodicVariableRequests;
  document_->Records().messages[0].channel = 2;
  const records::Configuration file = document_->Records();
  load(file);

  // Alarm and Setpoint saved unchanged keep channels 3 and 4, and Update stays with Alarm.
  EXPECT_EQ(save(3, [](CDialog&) {}).result, IDOK);
  EXPECT_EQ(save(5, [](CDialog&) {}).result, IDOK);
  EXPECT_EQ(variable(3).channel, 3);
  EXPECT_EQ(variable(5).channel, 4);
  EXPECT_EQ(working(records::Section::variables).variables[3].channel, 3);
  EXPECT_EQ(document_->Records().messages[3].channel, 3);
  // Setpoint made aperiodic, then periodic again: the smallest free channel, 2.
  EXPECT_EQ(save(5, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_APERIODICAL); }).result, IDOK);
  EXPECT_EQ(save(5, [](CDialog& d) { d.ClickDlgItem(IDC_VAR_PERIODICAL); }).result, IDOK);
  EXPECT_EQ(variable(5).channel, 2);

  // Command carries nothing, although Order names its channel: its Save gives up what it kept, and
  // the gap closes with the channels of the messages moving with their carriers.
  load(file);
  const Outcome outcome = save(2, [](CDialog&) {});
  EXPECT_EQ(outcome.result, IDOK) << outcome.refusal;
  EXPECT_EQ(variable(2).flags & (VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests), 0);
  EXPECT_EQ(variable(2).channel, -1);
  EXPECT_EQ(variable(3).channel, 2);
  EXPECT_EQ(variable(5).channel, 3);
  EXPECT_EQ(working(records::Section::messages).messages[3].channel, 2);  // Update, with Alarm
  EXPECT_EQ(document_->Records().messages[0].channel, 2);                 // Order, now on Alarm's
}

TEST_F(VariableEditor, AProducedChannelVariableMadeConsumedGivesUpItsEmissionAndChannel) {
  // Alarm (channel 3, produced) gets station 1 as producer: the local station consumes it.
  const auto make_consumed = [&] {
    return edit_variable(3, {{IDD_STA_PROD, [](CDialog& d) {
                                d.SelectDlgItem(IDC_STATIONS_LIST, 1);
                                d.ClickDlgItem(IDOK);
                              }},
                             {IDD_EDITION_VAR, [](CDialog& d) {
                                d.ClickDlgItem(IDC_VAR_APERIODIC_REQUESTS);
                                d.ClickDlgItem(IDC_VAR_PRODUCTION);
                                EXPECT_EQ(d.GetWindowText(), "Edit variable  \"Alarm\", consumed.");
                                EXPECT_FALSE(d.GetDlgItem(IDC_VAR_EMISSION)->IsWindowEnabled());
                                EXPECT_TRUE(d.IsDlgButtonChecked(IDC_VAR_EMISSION));  // left as it was
                                d.ClickDlgItem(IDOK);
                              }}});
  };
  // Update is sent on Alarm's channel: refused, nothing changes.
  const records::Configuration before = document_->Records();
  EXPECT_EQ(make_consumed(), IDCANCEL);
  EXPECT_EQ(boxes(), std::vector<std::string>{"The variable \"Alarm\"\nis used."});
  EXPECT_TRUE(document_->Records() == before);
  // Sent on Setpoint's channel 4 instead, Update moves down to 3 with Setpoint.
  document_->Records().messages[3].channel = 4;
  EXPECT_EQ(make_consumed(), IDOK);
  const VARIABLE4& alarm = variable(3);
  EXPECT_EQ(alarm.producer, 1);
  EXPECT_EQ(alarm.direction, 1);
  EXPECT_TRUE(records::is_consumer(alarm, 0));
  EXPECT_EQ(alarm.flags & (VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests), 0);
  EXPECT_EQ(alarm.channel, -1);
  EXPECT_EQ(variable(5).channel, 3);  // Setpoint moved down from 4
  EXPECT_EQ(working(records::Section::messages).messages[3].channel, 3);
  // Update names Alarm at its far end with station 3, which still consumes it.
  EXPECT_EQ(document_->Records().messages[3].remote_station, 3);
}

TEST_F(VariableEditor, ANewIdentifierMovesTheMessagesOfAnExistingVariableOnly) {
  EXPECT_EQ(save(0, [](CDialog& d) { d.TypeDlgItemText(IDC_VAR_IDENTIFIER, "1a0"); }).result, IDOK);
  EXPECT_EQ(variable(0).identifier, 0x1A0);
  EXPECT_EQ(document_->Records().messages[0].source_identifier, 0x1A0);
  EXPECT_EQ(working(records::Section::messages).messages[0].source_identifier, 0x1A0);
  // The tree still shows Order under Speed at the local station, and at station 1 under Level.
  EXPECT_NE(frame_->Tree()->FindLocalItem(records::message_key(0)), nullptr);

  // A record the list dialog has just appended: nothing refers to it, nothing follows it.
  VARIABLE4 fresh = variable(6);
  records::set_text(fresh.name, "untitled");
  fresh.identifier = 0x101;  // another variable's
  fresh.key = records::variable_key(7);
  document_->Records().variables.push_back(fresh);
  EXPECT_EQ(edit_variable(7, {{IDD_EDITION_VAR, [](CDialog& d) {
                                 d.TypeDlgItemText(IDC_VAR_IDENTIFIER, "300");
                                 d.ClickDlgItem(IDOK);
                               }}},
                          true),
            IDOK);
  EXPECT_EQ(document_->Records().messages[1].destination_identifier, 0x101);
  EXPECT_EQ(document_->Records().messages[0].destination_identifier, 0x101);
}

TEST_F(VariableEditor, SavingWithoutChangeRewritesTheVariablesFileAndTheTreeFollowsAStationChange) {
  // Bytes after the NUL of the name and the format (a file's record) are no change.
  document_->Records().variables[0].name[30] = 'x';
  document_->Records().variables[0].format[31] = 'y';
  std::filesystem::remove(document_->GetWorkingFiles().path(records::Section::variables));
  EXPECT_EQ(save(0, [](CDialog&) {}).result, IDOK);
  EXPECT_TRUE(working(records::Section::variables) .variables == document_->Records().variables);
  EXPECT_FALSE(document_->IsModified());
  EXPECT_EQ(document_->Records().variables[0].name[30], 'x');

  // Level is produced by station 3 now: Order's far end at station 1 loses its station, and the
  // tree moves Level's item from station 1 to station 3 with the message items.
  EXPECT_EQ(edit_variable(1, {{IDD_STA_PROD, [](CDialog& d) {
                                 d.SelectDlgItem(IDC_STATIONS_LIST, 3);
                                 d.ClickDlgItem(IDOK);
                               }},
                              {IDD_EDITION_VAR, [](CDialog& d) {
                                 d.ClickDlgItem(IDC_VAR_PRODUCTION);
                                 EXPECT_EQ(d.GetDlgItemText(IDC_VAR_PRODUCER), "R3");
                                 d.ClickDlgItem(IDOK);
                               }}}),
            IDOK);
  EXPECT_EQ(document_->Records().messages[0].remote_station, -1);
  EXPECT_EQ(working(records::Section::messages).messages[0].remote_station, -1);
  CArbreCtrl& tree = *frame_->Tree();
  const auto codes_under = [&](std::uint16_t station) {
    std::vector<DWORD_PTR> codes;
    for (HTREEITEM s = tree.GetChildItem(tree.GetRootItem()); s; s = tree.GetNextSiblingItem(s))
      if (tree.GetItemData(s) == station_code(station))
        for (HTREEITEM v = tree.GetChildItem(s); v; v = tree.GetNextSiblingItem(v)) {
          codes.push_back(tree.GetItemData(v));
          for (HTREEITEM m = tree.GetChildItem(v); m; m = tree.GetNextSiblingItem(m)) codes.push_back(tree.GetItemData(m));
        }
    return codes;
  };
  const auto at1 = codes_under(1), at3 = codes_under(3);
  EXPECT_EQ(std::count(at1.begin(), at1.end(), records::variable_key(1)), 0);
  EXPECT_EQ(std::count(at1.begin(), at1.end(), records::message_key(0)), 0);
  EXPECT_EQ(std::count(at3.begin(), at3.end(), records::variable_key(1)), 1);
  EXPECT_NE(tree.FindLocalItem(records::message_key(0)), nullptr);  // its source side stays
}

TEST_F(VariableEditor, PeriodsOfADamagedSpeedConstantAreRefused) {
  document_->Records().param.speed_constant = 0;
  const Outcome outcome = save(0, [](CDialog& d) {
    d.ClickDlgItem(IDC_VAR_REFRESHMENT);
    d.TypeDlgItemText(IDC_VAR_REFRESHMENT_PERIOD, "1");
  });
  EXPECT_EQ(outcome.refusal, "Refreshment period too high.\nThe maximum value is 0 ms.");
  EXPECT_EQ(save(0, [](CDialog& d) {
              d.ClickDlgItem(IDC_VAR_REFRESHMENT);
              d.TypeDlgItemText(IDC_VAR_REFRESHMENT_PERIOD, "0");
            }).result,
            IDOK);
}

TEST_F(VariableEditor, DamagedStationsOpenAndAreToldAtSave) {
  VARIABLE4& v = variable(0);
  records::set_consumer(v, 200, true);  // beyond the four stations
  v.producer = 9;
  const records::Configuration before = document_->Records();
  const Outcome outcome = save(0, [](CDialog& d) { EXPECT_EQ(d.GetDlgItemText(IDC_VAR_PRODUCER), kNoRepresented); });
  EXPECT_EQ(outcome.refusal, "The local station must produce or consume this variable.");
  EXPECT_EQ(outcome.focus, IDC_VAR_PRODUCTION);
  EXPECT_TRUE(document_->Records() == before);
}

TEST_F(VariableEditor, OnLineTheEditorOnlyShows) {
  host_.online = true;
  const records::Configuration before = document_->Records();
  EXPECT_EQ(edit_variable(0, {{IDD_EDITION_VAR, [](CDialog& d) {
                                 d.ClickDlgItem(IDC_VAR_EMISSION);
                                 EXPECT_TRUE(d.IsDlgButtonChecked(IDC_VAR_EMISSION));
                                 d.ClickDlgItem(IDC_VAR_APERIODICAL);
                                 EXPECT_TRUE(d.IsDlgButtonChecked(IDC_VAR_PERIODICAL));
                                 EXPECT_FALSE(d.IsDlgButtonChecked(IDC_VAR_APERIODICAL));
                                 EXPECT_FALSE(d.GetDlgItem(IDOK)->IsWindowEnabled());
                                 EXPECT_FALSE(d.GetDlgItem(IDC_VAR_PRODUCTION)->IsWindowEnabled());
                                 EXPECT_TRUE(d.Item<CEdit>(IDC_VAR_NAME).IsReadOnly());
                                 d.PressEnter();  // Cancel is the default button
                               }}}),
            IDCANCEL);
  EXPECT_TRUE(document_->Records() == before);
}

TEST_F(VariableEditor, TheTreesDoubleClickOpensTheEditorOfALocalVariableOrMessage) {
  CArbreCtrl& tree = *frame_->Tree();
  tree.ExpandAll();  // the user clicks what shows
  std::vector<std::string> opened;
  qui::testing::ScriptedDialogs dialogs([&](CDialog& d) { opened.push_back(d.GetWindowText()); });
  tree.ClickItem(tree.FindLocalItem(records::variable_key(2)), NM_DBLCLK);
  tree.ClickItem(tree.FindLocalItem(records::message_key(1)), NM_DBLCLK);
  EXPECT_EQ(opened, (std::vector<std::string>{"Edit variable  \"Command\", produced.",
                                              "Edit message  \"Report\", received."}));
}

// ---- the station pickers

TEST_F(VariableEditor, TheProducerPickerMovesTheProducerOutOfTheConsumersOrTheLocalStationIntoThem) {
  VARIABLE4 v = variable(5);  // produced locally for stations 1 and 2
  qui::testing::ScriptedDialogs pick([](CDialog& d) {
    d.SelectDlgItem(IDC_STATIONS_LIST, 2);
    d.ClickDlgItem(IDOK);
  });
  CStaProdDlg(frame_, document_->Records(), v).DoModal();
  EXPECT_EQ(v.producer, 2);
  EXPECT_FALSE(records::is_consumer(v, 2));
  EXPECT_TRUE(records::is_consumer(v, 0));  // the local station consumes it now
  EXPECT_EQ(v.consumer_count, 2);
  EXPECT_EQ(v.direction, 1);
}

TEST_F(VariableEditor, TheConsumersPickerCountsRealStationsOnly) {
  VARIABLE4 v = variable(0);
  v.consumers.fill(0);
  v.consumer_count = 0;
  std::vector<std::string> lines;
  // A double click on a station replaces the placeholder; ">>" with nothing selected is refused.
  qui::testing::ScriptedDialogs pick([&](CDialog& d) {
    auto& chosen = d.Item<CListBox>(IDC_CONSUMING_STATIONS);
    lines.push_back(chosen.GetText(0));
    d.ClickDlgItem(IDC_ADD_CONSUMERS);
    d.SelectDlgItem(IDC_ALL_STATIONS, 3);
    d.GetDlgItem(IDC_ALL_STATIONS)->notifyParent(LBN_DBLCLK);
    d.GetDlgItem(IDC_ALL_STATIONS)->notifyParent(LBN_DBLCLK);  // once only
    lines.push_back(std::to_string(chosen.GetCount()));
    d.ClickDlgItem(IDOK);
  });
  CStaConsDlg(frame_, document_->Records(), v).DoModal();
  EXPECT_EQ(lines, (std::vector<std::string>{kNoRepresented, "1"}));
  EXPECT_EQ(boxes(), std::vector<std::string>{"Select a station."});
  EXPECT_EQ(v.consumer_count, 1);
  EXPECT_EQ(v.consumers, (std::array<std::uint32_t, 8>{1u << 3, 0, 0, 0, 0, 0, 0, 0}));

  // OK on the placeholder alone clears the set; the producer chosen with the local station makes
  // the variable consumed with no producer.
  qui::testing::ScriptedDialogs delete_all([](CDialog& d) {
    d.SelectDlgItem(IDC_CONSUMING_STATIONS, 0);
    d.ClickDlgItem(IDC_DELETE_CONSUMERS);
    d.ClickDlgItem(IDOK);
  });
  CStaConsDlg(frame_, document_->Records(), v).DoModal();
  EXPECT_EQ(v.consumer_count, 0);
  EXPECT_EQ(v.consumers, (std::array<std::uint32_t, 8>{}));
  qui::testing::ScriptedDialogs producer_too([](CDialog& d) {
    d.SelectDlgItem(IDC_ALL_STATIONS, 0);
    d.SelectDlgItem(IDC_ALL_STATIONS, 1);
    d.ClickDlgItem(IDC_ADD_CONSUMERS);
    d.ClickDlgItem(IDOK);
  });
  v.producer = 1;
  CStaConsDlg(frame_, document_->Records(), v).DoModal();
  EXPECT_EQ(v.producer, -1);
  EXPECT_EQ(v.direction, 1);
  EXPECT_EQ(v.consumer_count, 2);
}

}  // namespace
}  // namespace plandrel
