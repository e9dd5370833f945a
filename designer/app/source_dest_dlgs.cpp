#include "source_dest_dlgs.h"

#include "dialog_items.h"
#include "number_field.h"
#include "records/byte_codec.h"
#include "select_var_id_dlg.h"

namespace plandrel {

namespace {

std::string EndTitle(const records::MESSAGE4& message, bool source) {
  return std::string(source ? "Source of " : "Destination of ") + "\"" + std::string(records::text_of(message.name)) +
         "\"";
}

// Selects the first line whose item data is `data`.
void SelectData(CListBox& list, DWORD_PTR data) {
  for (int i = 0; i < list.GetCount(); ++i) {
    if (list.GetItemData(i) == data) {
      list.SetCurSel(i);
      return;
    }
  }
}

}  // namespace

void RegisterSourceDestDialogs() {
  using qui::ControlKind;
  qui::RegisterDialog({IDD_SOURCE_DEST_LOCALE,
                       200,
                       170,
                       "Source",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_STATIC, ControlKind::Static, 7, 9, 40, 8, "Station"},
                           {IDC_END_STATION, ControlKind::Edit, 52, 7, 141, 12, "", qui::kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 7, 26, 186, 8, "Variables list"},
                           {IDC_END_VARIABLES, ControlKind::ListBox, 7, 36, 186, 108, "", qui::kVerticalScroll},
                           {IDOK, ControlKind::PushButton, 18, 150, 50, 14, "OK", qui::kDefault},
                           {IDCANCEL, ControlKind::PushButton, 75, 150, 50, 14, "Cancel"},
                           {IDC_DIALOG_HELP, ControlKind::PushButton, 132, 150, 50, 14, "Help"},
                       }});
  qui::RegisterDialog(
      {IDD_SOURCE_DEST_AUTRE,
       212,
       198,
       "Destination",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_END_CONFIGURED, ControlKind::CheckBox, 7, 5, 198, 18,
            "Configured variable identifier (for an\nacknowledged or received message)"},
           {IDC_END_CONFIGURED_GROUP, ControlKind::GroupBox, 7, 26, 198, 110, "Configured variables"},
           {IDC_END_STATION_TEXT, ControlKind::Static, 14, 40, 50, 8, "Station"},
           {IDC_END_STATION, ControlKind::ComboBox, 68, 38, 130, 80, "", qui::kDropDownList | qui::kVerticalScroll},
           {IDC_END_VARIABLES_TEXT, ControlKind::Static, 14, 56, 100, 8, "Variables list"},
           {IDC_END_VARIABLES, ControlKind::ListBox, 14, 66, 184, 64, "", qui::kVerticalScroll},
           {IDC_END_OTHER_GROUP, ControlKind::GroupBox, 7, 140, 198, 30, "Other"},
           {IDC_END_IDENTIFIER_TEXT, ControlKind::Static, 14, 154, 50, 8, "Identifier"},
           {IDC_END_IDENTIFIER, ControlKind::Edit, 68, 152, 40, 12, ""},
           {IDC_END_HEXADECIMAL_TEXT, ControlKind::Static, 114, 154, 60, 8, "(hexadecimal)"},
           {IDOK, ControlKind::PushButton, 24, 177, 50, 14, "OK", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 81, 177, 50, 14, "Cancel"},
           {IDC_DIALOG_HELP, ControlKind::PushButton, 138, 177, 50, 14, "Help"},
       }});
}

// ---- CSourceDestLocaleDlg: the local end is a transmitted message's source, a received one's
// destination.

CSourceDestLocaleDlg::CSourceDestLocaleDlg(CWnd* parent, const records::Configuration& configuration,
                                           records::MESSAGE4& message)
    : CDialog(IDD_SOURCE_DEST_LOCALE, parent), configuration_(configuration), message_(message) {
  MapNotify(IDC_END_VARIABLES, LBN_DBLCLK, [this] { OnOK(); });
}

BOOL CSourceDestLocaleDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const bool transmitted = message_.transmitted != 0;
  SetWindowText(EndTitle(message_, transmitted).c_str());
  if (configuration_.local_station < configuration_.station_count) {
    const std::string local(records::text_of(configuration_.stations[configuration_.local_station].name));
    SetDlgItemText(IDC_END_STATION, local.c_str());
  }
  auto& list = Item<CListBox>(IDC_END_VARIABLES);
  for (const records::VARIABLE4& v : configuration_.variables) {
    // A received message arrives only at a variable with message reception.
    if (!transmitted && (v.flags & records::VARIABLE4::kMessageReception) == 0) continue;
    const std::string name(records::text_of(v.name));
    list.SetItemData(list.AddString(name.c_str()), v.identifier);
  }
  SelectData(list, transmitted ? message_.source_identifier : message_.destination_identifier);
  return TRUE;
}

void CSourceDestLocaleDlg::OnOK() {
  auto& list = Item<CListBox>(IDC_END_VARIABLES);
  if (list.GetCurSel() < 0) {
    MessageBox(kSelectVariable);
    return;
  }
  const auto identifier = static_cast<std::uint16_t>(list.GetItemData(list.GetCurSel()));
  (message_.transmitted != 0 ? message_.source_identifier : message_.destination_identifier) = identifier;
  CDialog::OnOK();
}

// ---- CSourceDestAutreDlg: the far end is a transmitted message's destination, a received one's
// source.

CSourceDestAutreDlg::CSourceDestAutreDlg(CWnd* parent, const records::Configuration& configuration,
                                         records::MESSAGE4& message)
    : CDialog(IDD_SOURCE_DEST_AUTRE, parent), configuration_(configuration), message_(message) {
  MapNotify(IDC_END_CONFIGURED, BN_CLICKED, [this] {
    const bool configured = IsDlgButtonChecked(IDC_END_CONFIGURED) != 0;
    if (configured) {
      FillStations();
      FillStationVariables();
      SetDlgItemText(IDC_END_IDENTIFIER, "");
    } else {
      Item<CComboBox>(IDC_END_STATION).ResetContent();
      Item<CListBox>(IDC_END_VARIABLES).ResetContent();
      SetDlgItemText(IDC_END_IDENTIFIER, HexText(EndIdentifier()).c_str());
    }
    ShowChoice(configured);
  });
  MapNotify(IDC_END_STATION, CBN_SELCHANGE, [this] { FillStationVariables(); });
  MapNotify(IDC_END_STATION, CBN_EDITCHANGE, [this] { FillStations(); });
  MapNotify(IDC_END_VARIABLES, LBN_DBLCLK, [this] { OnOK(); });
}

std::uint16_t& CSourceDestAutreDlg::EndIdentifier() {
  return message_.transmitted != 0 ? message_.destination_identifier : message_.source_identifier;
}

void CSourceDestAutreDlg::ShowChoice(bool configured) {
  EnableDlgItems(*this,
                 {IDC_END_CONFIGURED_GROUP, IDC_END_STATION_TEXT, IDC_END_STATION, IDC_END_VARIABLES_TEXT, IDC_END_VARIABLES},
                 configured);
  EnableDlgItems(*this, {IDC_END_OTHER_GROUP, IDC_END_IDENTIFIER_TEXT, IDC_END_IDENTIFIER, IDC_END_HEXADECIMAL_TEXT},
                 !configured);
}

BOOL CSourceDestAutreDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const bool transmitted = message_.transmitted != 0;
  SetWindowText(EndTitle(message_, !transmitted).c_str());
  Item<CEdit>(IDC_END_IDENTIFIER).SetLimitText(4);
  // A transmitted message without acknowledgement, or a network of one station, has no configured
  // far end to choose: only a typed identifier.
  const bool choice = !(transmitted && message_.acknowledged == 0) && configuration_.station_count >= 2;
  const bool configured = choice && message_.remote_station != -1;
  GetDlgItem(IDC_END_CONFIGURED)->EnableWindow(choice);
  CheckDlgButton(IDC_END_CONFIGURED, configured ? BST_CHECKED : BST_UNCHECKED);
  if (configured) {
    FillStations();
    FillStationVariables();
  } else {
    SetDlgItemText(IDC_END_IDENTIFIER, HexText(EndIdentifier()).c_str());
  }
  ShowChoice(configured);
  return TRUE;
}

void CSourceDestAutreDlg::FillStations() {
  auto& stations = Item<CComboBox>(IDC_END_STATION);
  const int remembered = stations.GetCurSel();
  stations.ResetContent();
  int remote = -1;
  const int count = std::min<int>(configuration_.station_count, static_cast<int>(configuration_.stations.size()));
  for (int i = 0; i < count; ++i) {
    if (i == configuration_.local_station) continue;
    const std::string name(records::text_of(configuration_.stations[static_cast<std::size_t>(i)].name));
    const int line = stations.AddString(name.c_str());
    stations.SetItemData(line, static_cast<DWORD_PTR>(i));
    if (i == message_.remote_station) remote = line;
  }
  stations.SetCurSel(remote >= 0 ? remote : std::max(remembered, 0));
}

void CSourceDestAutreDlg::FillStationVariables() {
  auto& list = Item<CListBox>(IDC_END_VARIABLES);
  list.ResetContent();
  auto& stations = Item<CComboBox>(IDC_END_STATION);
  if (stations.GetCurSel() < 0) return;
  const auto station = static_cast<int>(stations.GetItemData(stations.GetCurSel()));
  for (const records::VARIABLE4& v : configuration_.variables) {
    // Its producer, or its only consumer.
    records::VARIABLE4 only{};
    records::set_consumer(only, static_cast<std::size_t>(station), true);
    if (v.producer != station && v.consumers != only.consumers) continue;
    const std::string name(records::text_of(v.name));
    list.SetItemData(list.AddString(name.c_str()), v.identifier);
  }
  if (station == message_.remote_station) SelectData(list, EndIdentifier());
}

void CSourceDestAutreDlg::OnOK() {
  GetDlgItem(IDOK)->SetFocus();
  std::uint16_t identifier = 0;
  int station = -1;
  if (IsDlgButtonChecked(IDC_END_CONFIGURED)) {
    auto& list = Item<CListBox>(IDC_END_VARIABLES);
    if (list.GetCurSel() < 0) {
      MessageBox(kSelectVariable);
      return;
    }
    identifier = static_cast<std::uint16_t>(list.GetItemData(list.GetCurSel()));
    auto& stations = Item<CComboBox>(IDC_END_STATION);
    station = static_cast<int>(stations.GetItemData(stations.GetCurSel()));
  } else {
    const std::optional<std::uint16_t> typed = TypedIdentifier(*this, IDC_END_IDENTIFIER);
    if (!typed) return;
    identifier = *typed;
  }
  EndIdentifier() = identifier;
  message_.remote_station = static_cast<std::int16_t>(station);
  CDialog::OnOK();
}

}  // namespace plandrel
