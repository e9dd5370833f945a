// The station editor and the aperiodic list editor over the editors' network, without a display:
// typed names and addresses, the election count, the presence variable created, renumbered and
// removed through the record commands, and a list's name, mode and identifiers.
#include <gtest/gtest.h>

#include "edition_lst_ap_dlg.h"
#include "edition_sta_dlg.h"
#include "editors_fixture.h"
#include "model/presence_variable.h"
#include "model/record_commands.h"
#include "number_field.h"
#include "select_var_id_dlg.h"

namespace plandrel {
namespace {

using records::Section;
using testing::EditorTest;

class StationEditor : public EditorTest {
 protected:
  // Station `index` saved after typing `name` and `address` (null: left as shown), with the
  // presence box clicked when `click_presence`.
  Attempt save_station(std::size_t index, const char* name, const char* address, bool click_presence = false) {
    Attempt seen{};
    qui::testing::ScriptedDialogs dialogs(runner({{IDD_EDITION_STA, [&](CDialog& d) {
                                                    if (name) d.TypeDlgItemText(IDC_STA_NAME, name);
                                                    if (address) d.TypeDlgItemText(IDC_STA_ADDRESS, address);
                                                    if (click_presence) d.ClickDlgItem(IDC_STA_PRESENCE);
                                                    d.ClickDlgItem(IDOK);
                                                    seen.focus = d.GetFocusedId();
                                                    seen.field = d.GetDlgItemText(IDC_STA_ADDRESS);
                                                  }}}));
    seen.result = EditStation(context(), frame_, index);
    seen.boxes = boxes();
    prompts_.Clear();
    return seen;
  }
  records::Configuration& records() { return document_->Records(); }
};

TEST_F(StationEditor, TypedNamesAndAddresses) {
  struct Case {
    std::size_t station;
    const char* name;
    const char* address;
    std::vector<std::string> boxes;
    INT_PTR result;
    int stored;  // the station's address afterwards
  };
  const std::string too_high = "Station physical address too high.\nThe maximum value is 255.";
  const std::string too_small = "Station physical address too small.\nThe minimum value is 0.";
  const std::string in_use = "This physical address is already in use by a station.";
  const Case cases[] = {
      {1, "", nullptr, {"Enter a name."}, IDCANCEL, 1},
      {1, " ", nullptr, {"Enter a name."}, IDCANCEL, 1},
      {1, "R2", nullptr, {"This name is already in use by a station."}, IDCANCEL, 1},
      {0, nullptr, "", {"Enter a physical address."}, IDCANCEL, 0},
      {1, nullptr, "abc", {too_small}, IDCANCEL, 1},
      {1, nullptr, "-1", {too_small, in_use}, IDCANCEL, 1},  // corrected to 0, the local station's
      {1, nullptr, "2", {in_use}, IDCANCEL, 1},
      {1, "R1", "300", {too_high}, IDOK, 255},
      {2, nullptr, "00", {in_use}, IDCANCEL, 2},  // zero, the local station's
      {2, nullptr, "07", {}, IDOK, 7},
      {3, nullptr, "", {}, IDOK, -1},
  };
  for (const Case& k : cases) {
    const Attempt seen = save_station(k.station, k.name, k.address);
    EXPECT_EQ(seen.boxes, k.boxes) << k.station << " " << (k.address ? k.address : k.name);
    EXPECT_EQ(seen.result, k.result) << (k.address ? k.address : k.name);
    EXPECT_EQ(records().stations[k.station].physical_address, k.stored) << (k.address ? k.address : k.name);
  }
  EXPECT_EQ(working(Section::stations).stations[1].physical_address, 255);
  EXPECT_EQ(working(Section::stations).stations[3].physical_address, -1);
}

TEST_F(StationEditor, AnAddressOutOfRangeFromADamagedFileIsCorrectedAtSave) {
  records().stations[2].physical_address = 999;
  qui::testing::ScriptedDialogs dialogs(runner({{IDD_EDITION_STA, [](CDialog& d) {
                                                  EXPECT_EQ(d.GetDlgItemText(IDC_STA_ADDRESS), "999");
                                                  d.ClickDlgItem(IDOK);
                                                }}}));
  EXPECT_EQ(EditStation(context(), frame_, 2), IDOK);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Station physical address too high.\nThe maximum value is 255."});
  EXPECT_EQ(working(Section::stations).stations[2].physical_address, 255);
}

TEST_F(StationEditor, TheLocalStationsAddressSetsTheElectionCountOnlyWhenSaveSucceeds) {
  // 0x1405 belongs to another variable, so that the presence variable at address 5 is refused.
  records().variables[6].identifier = 0x1405;
  const Attempt refused = save_station(0, nullptr, "5", true);
  EXPECT_EQ(refused.boxes, std::vector<std::string>{"Impossible to create the presence variable.\nThe variable "
                                                    "Pressure already uses the identifier 1405."});
  EXPECT_EQ(records().param.election_count, 518);
  EXPECT_EQ(records().stations[0].physical_address, 0);

  EXPECT_EQ(save_station(0, nullptr, "5").result, IDOK);
  EXPECT_EQ(records().param.election_count, 528);
  EXPECT_EQ(working(Section::param).param.election_count, 528);
  EXPECT_TRUE(document_->IsModified());
}

TEST_F(StationEditor, PresenceVariableCreatedRenumberedAndRemovedWithTheStation) {
  const std::uint32_t start = document_->GetMemoryEstimate();
  // A message sent to station 3's presence variable, acknowledged.
  records().messages[3].destination_identifier = 0x1403;
  EXPECT_EQ(save_station(3, nullptr, nullptr, true).result, IDOK);
  ASSERT_EQ(records().variables.size(), 8u);
  const records::VARIABLE4& presence = records().variables[7];
  EXPECT_EQ(records::text_of(presence.name), "Presence_R3");
  EXPECT_EQ(presence.identifier, 0x1403);
  EXPECT_EQ(presence.producer, 3);
  EXPECT_EQ(presence.key, 5007);
  EXPECT_EQ(document_->GetMemoryEstimate(), start + 32);
  EXPECT_TRUE(working(Section::variables).variables == records().variables);
  EXPECT_NE(frame_->Tree()->FindLocalItem(records::variable_key(7)), nullptr);  // consumed by the local station

  // Not acknowledged, Order's destination is an identifier of station 3 that stays as it was.
  records().messages[0].destination_identifier = 0x1403;
  records().messages[0].remote_station = 3;
  records().messages[0].acknowledged = 0;
  EXPECT_EQ(save_station(3, nullptr, "4").result, IDOK);
  EXPECT_EQ(records().variables[7].identifier, 0x1404);
  EXPECT_EQ(records().messages[3].destination_identifier, 0x1404);
  EXPECT_EQ(working(Section::messages).messages[3].destination_identifier, 0x1404);
  EXPECT_EQ(records().messages[0].destination_identifier, 0x1403);

  // Used by the acknowledged message, it stays.
  const Attempt used = save_station(3, nullptr, nullptr, true);
  EXPECT_EQ(used.boxes, std::vector<std::string>{"The variable \"Presence_R3\"\nis used."});
  EXPECT_EQ(records().variables.size(), 8u);
  records().messages[3].acknowledged = 0;
  EXPECT_EQ(save_station(3, nullptr, nullptr, true).result, IDOK);
  EXPECT_EQ(records().variables.size(), 7u);
  EXPECT_EQ(records().messages[3].remote_station, -1);  // its far end went with it
  EXPECT_EQ(document_->GetMemoryEstimate(), start);
  EXPECT_TRUE(working(Section::variables).variables == records().variables);
}

TEST_F(StationEditor, ThePresenceVariableGoesOnlyWithoutAPeriodicMessageOnItsChannel) {
  // The local station's presence variable takes channel 2 (Command moves to 5); Beat is sent on it.
  records::VARIABLE4 presence = MakePresenceVariable(records(), 0, "Presence_Local", 0);
  presence.flags = records::VARIABLE4::kMessageChannel;
  presence.channel = 2;
  records().variables[2].channel = 5;
  records().variables.push_back(presence);
  records::MESSAGE4 beat = records().messages[0];
  records::set_text(beat.name, "Beat");
  beat.channel = 2;
  records().messages.push_back(beat);
  records::renumber_keys(records());
  const records::Configuration before = records();
  EXPECT_EQ(save_station(0, nullptr, nullptr, true).boxes,
            std::vector<std::string>{"The presence variable is used for\nperiodical message service."});
  EXPECT_TRUE(records() == before);
  // Sent on Setpoint's channel 4 instead, Beat moves down with Setpoint, Update with Alarm.
  records().messages.back().channel = 4;
  EXPECT_EQ(save_station(0, nullptr, nullptr, true).result, IDOK);
  ASSERT_EQ(records().variables.size(), 7u);
  const std::vector<int> channels = {1, -1, 4, 2, 0, 3, -1};
  for (std::size_t i = 0; i < channels.size(); ++i) EXPECT_EQ(records().variables[i].channel, channels[i]) << i;
  EXPECT_EQ(records().messages[3].channel, 2);
  EXPECT_EQ(records().messages[4].channel, 3);
  EXPECT_TRUE(working(Section::messages).messages == records().messages);
}

TEST_F(StationEditor, PresenceVariableRefusalsAndItsNameAtThirtyTwoCharacters) {
  // The name "Presence_" + a 23-character station name is taken: another one, at once.
  const std::string long_name(23, 'N');
  records().variables[6] = records().variables[5];
  records::set_text(records().variables[6].name, "Presence_" + long_name);
  records().variables[6].identifier = 0x600;
  records::renumber_keys(records());
  EXPECT_EQ(save_station(2, long_name.c_str(), nullptr, true).result, IDOK);
  EXPECT_EQ(records::text_of(records().variables.back().name), "Presence_" + std::string(20, 'N') + "(2)");

  records().variables.resize(4095, records().variables[6]);
  EXPECT_EQ(save_station(1, nullptr, nullptr, true).boxes,
            std::vector<std::string>{"You cannot configure more than 4095 variables."});
  records().variables.resize(8);
  document_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 10);
  EXPECT_EQ(save_station(1, nullptr, nullptr, true).boxes,
            std::vector<std::string>{std::string(kMemorySpaceFull)});
  EXPECT_EQ(records().variables.size(), 8u);
}

TEST_F(StationEditor, OnLineItOnlyShows) {
  host_.online = true;
  qui::testing::ScriptedDialogs dialogs(runner({{IDD_EDITION_STA, [](CDialog& d) {
                                                  d.ClickDlgItem(IDC_STA_PRESENCE);
                                                  EXPECT_FALSE(d.IsDlgButtonChecked(IDC_STA_PRESENCE));
                                                  EXPECT_FALSE(d.GetDlgItem(IDOK)->IsWindowEnabled());
                                                  d.PressEnter();
                                                }}}));
  EXPECT_EQ(EditStation(context(), frame_, 1), IDCANCEL);
  EXPECT_EQ(EditStation(context(), frame_, 4), IDCANCEL);  // no such station
}

class ListEditor : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    records::LISTE_APER a = DefaultList(), b = DefaultList();
    records::set_text(a.name, "Fast");
    a.identifiers = {0x100, 0x101};
    records::set_text(b.name, "Slow");
    b.identifiers = {0x102};
    document_->Records().lists = {a, b};
  }
  INT_PTR edit(const Script& script, std::map<UINT, Script> more = {}) {
    more[IDD_EDITION_LST_AP] = script;
    qui::testing::ScriptedDialogs dialogs(runner(std::move(more)));
    return EditList(context(), frame_, 0);
  }
  records::LISTE_APER& list() { return document_->Records().lists[0]; }
};

TEST_F(ListEditor, ARefusedNameNeverReachesTheList) {
  EXPECT_EQ(edit([](CDialog& d) {
              d.TypeDlgItemText(IDC_LIST_NAME, "Slow");
              d.ClickDlgItem(IDOK);
            }),
            IDCANCEL);
  EXPECT_EQ(boxes(), std::vector<std::string>{"This name is already in use by a list."});
  EXPECT_EQ(records::text_of(list().name), "Fast");
  prompts_.Clear();
  EXPECT_EQ(edit([](CDialog& d) {
              d.TypeDlgItemText(IDC_LIST_NAME, "");
              d.ClickDlgItem(IDOK);
            }),
            IDCANCEL);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Enter a name."});
}

TEST_F(ListEditor, IdentifiersAndMode) {
  // Only the mode changes: the identifiers stay as they were.
  EXPECT_EQ(edit([](CDialog& d) {
              d.ClickDlgItem(IDC_LIST_URGENT);
              EXPECT_FALSE(d.IsDlgButtonChecked(IDC_LIST_NORMAL));
              d.ClickDlgItem(IDOK);
            }),
            IDOK);
  EXPECT_EQ(list().urgent, 1);
  EXPECT_EQ(list().identifiers, (std::vector<std::uint16_t>{0x100, 0x101}));
  EXPECT_TRUE(working(Section::listes).lists == document_->Records().lists);

  // An identifier already there is not added twice; a new one is.
  std::vector<std::uint16_t> typed = {0x101, 0xABC};
  const auto type_next = [&](CDialog& d) {
    d.ClickDlgItem(IDC_CONFIGURED_IDENTIFIER);
    d.TypeDlgItemText(IDC_TYPED_IDENTIFIER, HexText(typed.front()).c_str());
    typed.erase(typed.begin());
    d.ClickDlgItem(IDOK);
  };
  edit(
      [](CDialog& d) {
        d.ClickDlgItem(IDC_LIST_ADD);
        d.ClickDlgItem(IDC_LIST_ADD);
        d.ClickDlgItem(IDOK);
      },
      {{IDD_SELECT_VAR_ID, type_next}});
  EXPECT_EQ(list().identifiers, (std::vector<std::uint16_t>{0x100, 0x101, 0xABC}));

  // The 65th is refused.
  list().identifiers.resize(64, 0x7);
  edit([](CDialog& d) {
    d.ClickDlgItem(IDC_LIST_ADD);
    d.ClickDlgItem(IDOK);
  });
  EXPECT_EQ(boxes(), std::vector<std::string>{"A list cannot contain more than 64 identifiers."});
  EXPECT_EQ(list().identifiers.size(), 64u);
}

TEST_F(ListEditor, AnEmptiedListGoesAfterTheQuestion) {
  const auto empty_it = [](CDialog& d) {
    d.SelectDlgItem(IDC_LIST_IDENTIFIERS, 0);
    d.SelectDlgItem(IDC_LIST_IDENTIFIERS, 1);
    d.ClickDlgItem(IDC_LIST_DELETE_IDENTIFIERS);
    d.ClickDlgItem(IDOK);
  };
  prompts_.Answer(IDCANCEL);
  EXPECT_EQ(edit(empty_it), IDCANCEL);
  EXPECT_EQ(document_->Records().lists.size(), 2u);
  prompts_.Answer(IDOK);
  EXPECT_EQ(edit(empty_it), IDOK);
  ASSERT_EQ(document_->Records().lists.size(), 1u);
  EXPECT_EQ(records::text_of(list().name), "Slow");
  EXPECT_EQ(working(Section::listes).lists.size(), 1u);
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Empty list :\ncannot save.", "Empty list :\ncannot save."}));
}

}  // namespace
}  // namespace plandrel
