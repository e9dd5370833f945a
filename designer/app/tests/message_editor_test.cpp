// The message editor: Save's order with each refusal's text and the field it focuses, the
// controller memory estimate of a change of type, the ends and channel it keeps, the view-only
// editor on line; and the end and identifier pickers.
#include <gtest/gtest.h>

#include "edition_mes_dlg.h"
#include "model/config_checks.h"
#include "editors_fixture.h"
#include "select_var_id_dlg.h"
#include "source_dest_dlgs.h"

namespace plandrel {
namespace {

using records::MESSAGE4;
using records::VARIABLE4;
using testing::EditorTest;

constexpr std::uint16_t kOrder = 0, kReport = 1, kNotice = 2, kUpdate = 3;

class MessageEditor : public EditorTest {
 public:
  MESSAGE4& message(std::size_t index) { return document_->Records().messages[index]; }
  VARIABLE4& variable(std::size_t index) { return document_->Records().variables[index]; }
  void no_emission(std::size_t index) {
    variable(index).flags = 0;
    variable(index).channel = -1;
  }
};

TEST_F(MessageEditor, SaveRefusesAtTheFirstFailingFieldAndChangesNothing) {
  const auto type = [](int id, const char* text) { return [=](CDialog& d) { d.TypeDlgItemText(id, text); }; };
  struct Case {
    std::uint16_t index;
    std::function<void(MessageEditor&)> prepare;
    Script change;
    const char* refusal;
    int focus;
    const char* field_after = nullptr;
    int field = 0;
  };
  const auto none = [](MessageEditor&) {};
  const Case cases[] = {
      {kOrder, none, type(IDC_MES_NAME, ""), "Enter a name.", IDC_MES_NAME},
      {kOrder, none, type(IDC_MES_NAME, "Report"), "This name is already in use by a message.", IDC_MES_NAME},
      {kNotice, [](MessageEditor& t) { t.message(kNotice).source_identifier = 0x999; }, type(IDC_MES_NAME, "Notice"),
       "Message source identifier must be configured.", IDC_MES_SOURCE_SELECT},
      {kOrder, none, type(IDC_MES_SOURCE_SEGMENT, "-3"), "Source segment must be positive.", IDC_MES_SOURCE_SEGMENT, "0",
       IDC_MES_SOURCE_SEGMENT},
      {kOrder, none, type(IDC_MES_SOURCE_SEGMENT, "256"), "Message source segment too high.\nThe maximum value is 255 .",
       IDC_MES_SOURCE_SEGMENT, "255", IDC_MES_SOURCE_SEGMENT},
      {kReport, [](MessageEditor& t) { t.message(kReport).destination_identifier = 0x999; }, type(IDC_MES_NAME, "Report"),
       "Message destination identifier must be configured.", IDC_MES_DESTINATION_SELECT},
      {kReport, none, type(IDC_MES_DESTINATION_SEGMENT, "-1"), "Destination segment must be positive.",
       IDC_MES_DESTINATION_SEGMENT, "0", IDC_MES_DESTINATION_SEGMENT},
      {kReport, none, type(IDC_MES_DESTINATION_SEGMENT, "nan"), "Destination segment must be positive.",
       IDC_MES_DESTINATION_SEGMENT},
      {kOrder, none, type(IDC_MES_DESTINATION_SEGMENT, "300"),
       "Message destination segment too high.\nThe maximum value is 255 .", IDC_MES_DESTINATION_SEGMENT},
      {kOrder, none, type(IDC_MES_FORMAT, "%"), "Invalid format.", IDC_MES_FORMAT},
      {kNotice, [](MessageEditor& t) { t.no_emission(4); }, type(IDC_MES_NAME, "Notice"),
       "No variable produced by the local station enables\naperiodical message requests emission.", IDC_MES_APERIODICAL},
      {kOrder, [](MessageEditor& t) { for (std::size_t v : {0, 2, 3, 5}) t.no_emission(v); }, type(IDC_MES_NAME, "Order"),
       "No variable produced by the local station enables\nperiodical message requests emission.", IDC_MES_PERIODICAL},
      {kOrder, none, type(IDC_MES_EVENT, "0"), "Message event number too small.\nThe minimum value is 1 .", IDC_MES_EVENT,
       "1", IDC_MES_EVENT},
      {kOrder, none, type(IDC_MES_EVENT, "252"), "Message event number too high.\nThe maximum value is 251 .",
       IDC_MES_EVENT, "251", IDC_MES_EVENT},
      {kOrder, none, type(IDC_MES_EVENT, "inf"), "Message event number too small.\nThe minimum value is 1 .", IDC_MES_EVENT},
  };
  const records::Configuration original = document_->Records();
  const std::uint32_t estimate = document_->GetMemoryEstimate();
  for (const Case& k : cases) {
    document_->Records() = original;
    k.prepare(*this);
    const records::Configuration before = document_->Records();
    const Attempt seen = save_message(k.index, k.change, k.field);
    expect_refused(seen, k.refusal, k.focus, k.field_after);
    EXPECT_TRUE(document_->Records() == before) << k.refusal;
  }
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate);
  EXPECT_FALSE(document_->IsModified());
}

TEST_F(MessageEditor, EveryNumberFieldRefusesWhatIsNotANumberInItsRange) {
  const records::Configuration before = document_->Records();
  for (int field : {IDC_MES_SOURCE_SEGMENT, IDC_MES_DESTINATION_SEGMENT, IDC_MES_EVENT}) {
    for (const std::string& text : std::vector<std::string>{"", "abc", "-1", "99999999999999999999999", "nan", "inf",
                                                             "1e2", "2.5", "3 4", "0x1", std::string(40, '9')}) {
      const Attempt seen = save_message(kOrder, [&](CDialog& d) { d.SetDlgItemText(field, text.c_str()); });
      EXPECT_EQ(seen.result, IDCANCEL) << field << " \"" << text << "\"";
      EXPECT_FALSE(seen.boxes.empty()) << field << " \"" << text << "\"";
      EXPECT_EQ(seen.focus, field) << field << " \"" << text << "\"";
    }
  }
  EXPECT_TRUE(document_->Records() == before);
}

TEST_F(MessageEditor, ARemoteStationOutsideTheTableOpensAndIsKept) {
  message(kOrder).remote_station = 77;  // a damaged file
  std::string station;
  EXPECT_EQ(edit_message(kOrder, {{IDD_SOURCE_DEST_AUTRE, [&](CDialog& d) {
                                     auto& stations = d.Item<CComboBox>(IDC_END_STATION);
                                     station = stations.GetLBText(stations.GetCurSel());
                                   }},
                                  {IDD_EDITION_MES, [](CDialog& d) {
                                     d.ClickDlgItem(IDC_MES_DESTINATION_SELECT);  // cancelled
                                     d.ClickDlgItem(IDOK);
                                   }}}),
            IDOK);
  EXPECT_EQ(station, "R1");  // the first station offered
  EXPECT_EQ(message(kOrder).remote_station, 77);
}

TEST_F(MessageEditor, AChangeOfTypeMovesTheEstimateOnceWhenSaved) {
  const std::uint32_t estimate = document_->GetMemoryEstimate();
  // A damaged type byte counts as transmitted: made received, then transmitted again, the
  // estimate stays where its computation puts it.
  document_->Records().messages[kOrder].transmitted = 2;
  EXPECT_EQ(edit_message(kOrder, {{IDD_EDITION_MES, [](CDialog& d) {
                                     d.ClickDlgItem(IDC_MES_RECEIVED);
                                     d.ClickDlgItem(IDC_MES_TRANSMITTED);
                                     d.ClickDlgItem(IDOK);
                                   }}}),
            IDOK);
  EXPECT_EQ(message(kOrder).transmitted, 1);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate);
  EXPECT_EQ(records::memory_estimate(document_->Records(), document_->GetInstructionCost()), estimate);
  // Report made transmitted from Speed, aperiodic, while no variable offers aperiodic requests:
  // refused after the type step, then retried, then cancelled.
  no_emission(4);
  const Script transmit = [](CDialog& d) {
    d.ClickDlgItem(IDC_MES_TRANSMITTED);
    d.ClickDlgItem(IDC_MES_SOURCE_SELECT);
    d.ClickDlgItem(IDOK);
    d.ClickDlgItem(IDOK);
  };
  const Script pick_speed = [](CDialog& d) {
    d.SelectDlgItem(IDC_END_VARIABLES, 0);
    d.ClickDlgItem(IDOK);
  };
  EXPECT_EQ(edit_message(kReport, {{IDD_EDITION_MES, transmit}, {IDD_SOURCE_DEST_LOCALE, pick_speed}}), IDCANCEL);
  EXPECT_EQ(boxes(), std::vector<std::string>(2, std::string(kNoAperiodicChannel)));
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate);
  EXPECT_EQ(message(kReport).transmitted, 0);

  // With an aperiodic channel the same Save goes through: 16 more, once.
  document_->Records().variables = testing::editors_network().variables;
  prompts_.Clear();
  EXPECT_EQ(edit_message(kReport, {{IDD_EDITION_MES, transmit}, {IDD_SOURCE_DEST_LOCALE, pick_speed}}), IDOK);
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate + 16);
  EXPECT_EQ(message(kReport).transmitted, 1);
  EXPECT_EQ(message(kReport).source_identifier, 0x100);
  EXPECT_EQ(working(records::Section::messages).messages[kReport], message(kReport));

  // Near the limit the warning is shown and Save goes on; made received again, 16 less.
  document_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 8);
  EXPECT_EQ(edit_message(kOrder, {{IDD_EDITION_MES, [](CDialog& d) {
                                     d.ClickDlgItem(IDC_MES_RECEIVED);
                                     d.ClickDlgItem(IDC_MES_DESTINATION_SELECT);
                                     d.ClickDlgItem(IDOK);
                                   }},
                                  {IDD_SOURCE_DEST_LOCALE, pick_speed}}),  // Level: the one with reception
            IDOK);
  EXPECT_EQ(document_->GetMemoryEstimate(), CPlandrelDoc::kMemoryLimit - 24);
  document_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 8);
  prompts_.Clear();
  EXPECT_EQ(edit_message(kOrder, {{IDD_EDITION_MES, [](CDialog& d) {
                                     d.ClickDlgItem(IDC_MES_TRANSMITTED);
                                     d.ClickDlgItem(IDC_MES_SOURCE_SELECT);
                                     d.ClickDlgItem(IDC_MES_APERIODICAL);
                                     d.ClickDlgItem(IDOK);
                                   }},
                                  {IDD_SOURCE_DEST_LOCALE, pick_speed}}),
            IDOK);
  EXPECT_EQ(boxes(), std::vector<std::string>{"The FULLFIP memory space is full.\nRemove instructions from BA sequences."});
  EXPECT_EQ(document_->GetMemoryEstimate(), CPlandrelDoc::kMemoryLimit + 8);
}

TEST_F(MessageEditor, TheTypeSwitchClearsOrRestoresTheEndsAndAReceivedMessageKeepsItsEvent) {
  // A variable of identifier 0 produced here for station 2 alone: the far end's station.
  VARIABLE4 zero = variable(2);
  records::set_text(zero.name, "Zero");
  zero.identifier = 0;
  document_->Records().variables.push_back(zero);
  records::renumber_keys(document_->Records());
  std::vector<std::string> seen;
  EXPECT_EQ(edit_message(kReport, {{IDD_EDITION_MES, [&](CDialog& d) {
                                      auto& editor = static_cast<CEditionMesDlg&>(d);
                                      d.ClickDlgItem(IDC_MES_TRANSMITTED);
                                      seen.push_back(d.GetWindowText());
                                      seen.push_back(d.GetDlgItemText(IDC_MES_SOURCE_IDENTIFIER) + " " +
                                                     d.GetDlgItemText(IDC_MES_DESTINATION_IDENTIFIER) + " " +
                                                     std::to_string(editor.WorkingCopy().remote_station));
                                      d.ClickDlgItem(IDC_MES_TRANSMITTED);
                                      seen.push_back(d.GetDlgItemText(IDC_MES_SOURCE_IDENTIFIER) + " " +
                                                     d.GetDlgItemText(IDC_MES_DESTINATION_IDENTIFIER) + " " +
                                                     std::to_string(editor.WorkingCopy().remote_station));
                                      seen.push_back(d.IsDlgButtonChecked(IDC_MES_RECEIVED) ? "received" : "transmitted");
                                      d.ClickDlgItem(IDOK);
                                    }}}),
            IDOK);
  EXPECT_EQ(seen, (std::vector<std::string>{"Edit message  \"Report\", transmitted.", "0 0 2", "106 101 2", "received"}));
  EXPECT_EQ(message(kReport).event_number, 9);
}

TEST_F(MessageEditor, APeriodicMessageKeepsItsChannelWhenSavedUnchanged) {
  // Update is carried by Alarm, channel 3: the list shows Alarm's identifier and Save keeps 3.
  std::string shown;
  EXPECT_EQ(edit_message(kUpdate, {{IDD_EDITION_MES, [&](CDialog& d) {
                                      auto& list = d.Item<CComboBox>(IDC_MES_CHANNEL_LIST);
                                      shown = list.GetLBText(list.GetCurSel());
                                      d.ClickDlgItem(IDOK);
                                    }}}),
            IDOK);
  EXPECT_EQ(shown, "103");
  EXPECT_EQ(message(kUpdate).channel, 3);
  // Choosing Command's entry puts the message on channel 2.
  EXPECT_EQ(edit_message(kUpdate, {{IDD_EDITION_MES, [](CDialog& d) {
                                      auto& list = d.Item<CComboBox>(IDC_MES_CHANNEL_LIST);
                                      d.SelectDlgItem(IDC_MES_CHANNEL_LIST, list.FindStringExact(-1, "102"));
                                      d.ClickDlgItem(IDOK);
                                    }}}),
            IDOK);
  EXPECT_EQ(message(kUpdate).channel, 2);
  EXPECT_EQ(working(records::Section::messages).messages[kUpdate].channel, 2);
}

TEST_F(MessageEditor, OnLineTheEditorOnlyShows) {
  host_.online = true;
  const records::Configuration before = document_->Records();
  EXPECT_EQ(edit_message(kOrder, {{IDD_EDITION_MES, [](CDialog& d) {
                                     d.ClickDlgItem(IDC_MES_RECEIVED);
                                     EXPECT_TRUE(d.IsDlgButtonChecked(IDC_MES_TRANSMITTED));
                                     EXPECT_FALSE(d.IsDlgButtonChecked(IDC_MES_RECEIVED));
                                     EXPECT_FALSE(d.GetDlgItem(IDOK)->IsWindowEnabled());
                                     EXPECT_FALSE(d.GetDlgItem(IDC_MES_SOURCE_SELECT)->IsWindowEnabled());
                                     d.PressEnter();
                                   }}}),
            IDCANCEL);
  EXPECT_TRUE(document_->Records() == before);
}

// ---- the end and identifier pickers

TEST_F(MessageEditor, TheFarEndPickerOffersAStationsOwnVariablesOrATypedIdentifier) {
  // Order is acknowledged with station 1 at its far end: Speed, Level and Status are station 1's
  // alone (Setpoint is shared with station 2); Level is the current one.
  MESSAGE4 order = message(kOrder);
  std::vector<std::string> seen;
  qui::testing::ScriptedDialogs choose([&](CDialog& d) {
    auto& list = d.Item<CListBox>(IDC_END_VARIABLES);
    for (int i = 0; i < list.GetCount(); ++i) seen.push_back(list.GetText(i));
    seen.push_back(list.GetText(list.GetCurSel()));
    seen.push_back(d.Item<CComboBox>(IDC_END_STATION).GetLBText(0));
    d.SelectDlgItem(IDC_END_STATION, 1);  // R2: Command and Pressure
    d.SelectDlgItem(IDC_END_VARIABLES, 1);
    d.ClickDlgItem(IDOK);
  });
  EXPECT_EQ(CSourceDestAutreDlg(frame_, document_->Records(), order).DoModal(), IDOK);
  EXPECT_EQ(seen, (std::vector<std::string>{"Speed", "Level", "Status", "Level", "R1"}));
  EXPECT_EQ(order.destination_identifier, 0x106);
  EXPECT_EQ(order.remote_station, 2);

  // Notice is not acknowledged: a typed identifier only. "-5" is told and taken as 0; a text that
  // is no hexadecimal number is told and not taken; an empty one asks for one.
  MESSAGE4 notice = message(kNotice);
  std::vector<bool> open;
  qui::testing::ScriptedDialogs type([&](CDialog& d) {
    open.push_back(d.GetDlgItem(IDC_END_CONFIGURED)->IsWindowEnabled() != 0);
    for (const char* text : {"", "xyz", "-5"}) {
      d.TypeDlgItemText(IDC_END_IDENTIFIER, text);
      d.ClickDlgItem(IDOK);
      open.push_back(!d.IsEnded());
    }
  });
  EXPECT_EQ(CSourceDestAutreDlg(frame_, document_->Records(), notice).DoModal(), IDOK);
  EXPECT_EQ(open, (std::vector<bool>{false, true, true, false}));
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Enter an identifier.", "An identifier must be positive.",
                                               "An identifier must be positive."}));
  EXPECT_EQ(notice.destination_identifier, 0);
  EXPECT_EQ(notice.remote_station, -1);
}

TEST_F(MessageEditor, TheLocalEndPickerOfAReceivedMessageOffersVariablesWithReception) {
  MESSAGE4 report = message(kReport);
  std::vector<std::string> seen;
  qui::testing::ScriptedDialogs look([&](CDialog& d) {
    seen.push_back(d.GetWindowText());
    seen.push_back(d.GetDlgItemText(IDC_END_STATION));
    auto& list = d.Item<CListBox>(IDC_END_VARIABLES);
    for (int i = 0; i < list.GetCount(); ++i) seen.push_back(list.GetText(i));
    d.ClickDlgItem(IDOK);
  });
  EXPECT_EQ(CSourceDestLocaleDlg(frame_, document_->Records(), report).DoModal(), IDOK);
  EXPECT_EQ(seen, (std::vector<std::string>{"Destination of \"Report\"", "Local station", "Level"}));
  EXPECT_EQ(report.destination_identifier, 0x101);
}

TEST_F(MessageEditor, TheIdentifierPickerTakesAVariableOrAHexadecimalNumber) {
  struct Case {
    Script script;
    std::uint16_t identifier;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {[](CDialog& d) { d.ClickDlgItem(IDOK); }, 0x4242, {"Select a variable."}},
      {[](CDialog& d) { d.SelectDlgItem(IDC_VARIABLES_LIST, 3); d.ClickDlgItem(IDOK); }, 0x103, {}},
      {[](CDialog& d) { d.ClickDlgItem(IDC_CONFIGURED_IDENTIFIER); d.TypeDlgItemText(IDC_TYPED_IDENTIFIER, "fFfF"); d.ClickDlgItem(IDOK); },
       0xFFFF, {}},
      {[](CDialog& d) { d.ClickDlgItem(IDC_CONFIGURED_IDENTIFIER); d.TypeDlgItemText(IDC_TYPED_IDENTIFIER, "-5"); d.ClickDlgItem(IDOK); },
       0, {"An identifier must be positive."}},
      {[](CDialog& d) { d.ClickDlgItem(IDC_CONFIGURED_IDENTIFIER); d.ClickDlgItem(IDOK); }, 0x4242, {"Enter an identifier."}},
  };
  for (const Case& k : cases) {
    std::uint16_t identifier = 0x4242;
    qui::testing::ScriptedDialogs run(k.script);
    CSelectVarIdDlg(frame_, document_->Records(), identifier).DoModal();
    EXPECT_EQ(identifier, k.identifier);
    EXPECT_EQ(boxes(), k.boxes);
    prompts_.Clear();
  }
}

}  // namespace
}  // namespace plandrel
