#include "station_dlgs.h"

#include <algorithm>
#include <vector>

#include "model/consumer_set.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

constexpr const char* kSelectStation = "Select a station.";
constexpr const char* kMustBeProduced = "A variable must be produced by a station.";

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

int StationCount(const records::Configuration& c) {
  return static_cast<int>(std::min<std::size_t>(c.station_count, c.stations.size()));
}

void FillStations(CListBox& list, const records::Configuration& c) {
  for (int i = 0; i < StationCount(c); ++i) {
    const std::string name(records::text_of(c.stations[static_cast<std::size_t>(i)].name));
    list.SetItemData(list.AddString(name.c_str()), static_cast<DWORD_PTR>(i));
  }
}

}  // namespace

void RegisterStationDialogs() {
  using qui::ControlKind;
  qui::RegisterDialog({IDD_STA_PROD,
                       160,
                       152,
                       "Producing station",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_STATIC, ControlKind::Static, 7, 7, 146, 8, "Stations list"},
                           {IDC_STATIONS_LIST, ControlKind::ListBox, 7, 17, 146, 106, "", qui::kVerticalScroll},
                           {IDOK, ControlKind::PushButton, 7, 131, 44, 14, "OK", qui::kDefault},
                           {IDCANCEL, ControlKind::PushButton, 58, 131, 44, 14, "Cancel"},
                           {IDC_DIALOG_HELP, ControlKind::PushButton, 109, 131, 44, 14, "Help"},
                       }});
  qui::RegisterDialog(
      {IDD_STA_CONS,
       300,
       176,
       "Consuming stations",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_STATIC, ControlKind::Static, 7, 7, 120, 8, "Stations list"},
           {IDC_ALL_STATIONS, ControlKind::ListBox, 7, 17, 120, 130, "", qui::kMultipleSelection | qui::kVerticalScroll},
           {IDC_ADD_CONSUMERS, ControlKind::PushButton, 134, 70, 32, 14, ">>"},
           {IDC_STATIC, ControlKind::Static, 173, 7, 120, 8, "Consuming stations"},
           {IDC_CONSUMING_STATIONS, ControlKind::ListBox, 173, 17, 120, 112, "",
            qui::kMultipleSelection | qui::kVerticalScroll},
           {IDC_DELETE_CONSUMERS, ControlKind::PushButton, 208, 133, 50, 14, "Delete"},
           {IDOK, ControlKind::PushButton, 68, 155, 50, 14, "OK", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 125, 155, 50, 14, "Cancel"},
           {IDC_DIALOG_HELP, ControlKind::PushButton, 182, 155, 50, 14, "Help"},
       }});
}

// ---- CStaProdDlg

CStaProdDlg::CStaProdDlg(CWnd* parent, const records::Configuration& configuration, records::VARIABLE4& variable)
    : CDialog(IDD_STA_PROD, parent), configuration_(configuration), variable_(variable) {
  MapNotify(IDC_STATIONS_LIST, LBN_DBLCLK, [this] { OnOK(); });
}

BOOL CStaProdDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(("Producing station " + Quoted(records::text_of(variable_.name))).c_str());
  auto& list = Item<CListBox>(IDC_STATIONS_LIST);
  FillStations(list, configuration_);
  const int none = list.AddString(kNoRepresented);
  // A producer outside the table (a damaged file) selects nothing: the user chooses.
  if (variable_.producer == -1) list.SetCurSel(none);
  else if (variable_.producer >= 0 && variable_.producer < StationCount(configuration_)) list.SetCurSel(variable_.producer);
  return TRUE;
}

void CStaProdDlg::OnOK() {
  auto& list = Item<CListBox>(IDC_STATIONS_LIST);
  const int selected = list.GetCurSel();
  if (selected < 0) {
    MessageBox(kMustBeProduced);
    return;
  }
  const int choice = selected == list.GetCount() - 1 ? -1 : selected;
  if (choice != variable_.producer) {
    SetProducer(variable_, choice);
    const int local = configuration_.local_station;
    if (choice == local) {
      variable_.direction = 0;
    } else if (variable_.direction == 0) {
      AddConsumer(variable_, local);
      variable_.direction = 1;
    }
  }
  CDialog::OnOK();
}

// ---- CStaConsDlg

CStaConsDlg::CStaConsDlg(CWnd* parent, const records::Configuration& configuration, records::VARIABLE4& variable)
    : CDialog(IDD_STA_CONS, parent), configuration_(configuration), variable_(variable) {
  MapNotify(IDC_ADD_CONSUMERS, BN_CLICKED, [this] { OnAdd(); });
  MapNotify(IDC_ALL_STATIONS, LBN_DBLCLK, [this] { OnAllStationsDoubleClick(); });
  MapNotify(IDC_DELETE_CONSUMERS, BN_CLICKED, [this] { OnDelete(); });
}

BOOL CStaConsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(("Consuming stations " + Quoted(records::text_of(variable_.name))).c_str());
  FillStations(Item<CListBox>(IDC_ALL_STATIONS), configuration_);
  auto& chosen = Item<CListBox>(IDC_CONSUMING_STATIONS);
  if (variable_.consumer_count != 0) {
    // Bits beyond the station table (a damaged file) are not shown, and go at OK.
    for (std::uint16_t station : ConsumerStations(variable_, configuration_.station_count)) {
      if (station == variable_.producer) continue;
      const std::string name(records::text_of(configuration_.stations[station].name));
      chosen.SetItemData(chosen.AddString(name.c_str()), station);
    }
  }
  if (chosen.GetCount() == 0) chosen.SetItemData(chosen.AddString(kNoRepresented), kPlaceholderData);
  return TRUE;
}

bool CStaConsDlg::IsChosen(int index) {
  auto& chosen = Item<CListBox>(IDC_CONSUMING_STATIONS);
  for (int i = 0; i < chosen.GetCount(); ++i)
    if (chosen.GetItemData(i) == static_cast<DWORD_PTR>(index)) return true;
  return false;
}

void CStaConsDlg::Append(int index) {
  auto& chosen = Item<CListBox>(IDC_CONSUMING_STATIONS);
  if (chosen.GetCount() == 1 && chosen.GetItemData(0) == kPlaceholderData) chosen.DeleteString(0);
  if (IsChosen(index)) return;
  const std::string name = Item<CListBox>(IDC_ALL_STATIONS).GetText(index);
  chosen.SetItemData(chosen.AddString(name.c_str()), static_cast<DWORD_PTR>(index));
}

void CStaConsDlg::OnAdd() {
  const std::vector<int> selected = Item<CListBox>(IDC_ALL_STATIONS).GetSelectedIndices();
  if (selected.empty()) {
    MessageBox(kSelectStation);
    return;
  }
  for (int index : selected) Append(index);
}

void CStaConsDlg::OnAllStationsDoubleClick() {
  auto& all = Item<CListBox>(IDC_ALL_STATIONS);
  const int caret = all.GetCurSel();
  if (caret >= 0 && all.GetSel(caret) > 0) Append(caret);
}

void CStaConsDlg::OnDelete() {
  auto& chosen = Item<CListBox>(IDC_CONSUMING_STATIONS);
  const std::vector<int> selected = chosen.GetSelectedIndices();
  if (selected.empty()) {
    MessageBox(kSelectStation);
    return;
  }
  // From the last line up, so that the lines still to go keep their positions.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) chosen.DeleteString(static_cast<UINT>(*it));
  if (chosen.GetCount() == 0) chosen.SetItemData(chosen.AddString(kNoRepresented), kPlaceholderData);
}

void CStaConsDlg::OnOK() {
  auto& chosen = Item<CListBox>(IDC_CONSUMING_STATIONS);
  // Real stations only: the placeholder is no station, and a set has bits for 0..255 alone.
  std::vector<int> stations;
  for (int i = 0; i < chosen.GetCount(); ++i) {
    const DWORD_PTR data = chosen.GetItemData(i);
    if (data < records::kStationCapacity) stations.push_back(static_cast<int>(data));
  }
  SetConsumerStations(variable_, stations);
  const int local = configuration_.local_station;
  const auto chosen_station = [&](int station) { return std::find(stations.begin(), stations.end(), station) != stations.end(); };
  if (variable_.producer >= 0 && chosen_station(variable_.producer)) {
    if (chosen_station(local)) {
      variable_.producer = -1;
      variable_.direction = 1;
    } else {
      variable_.producer = static_cast<std::int16_t>(local);
      variable_.direction = 0;
    }
  }
  CDialog::OnOK();
}

}  // namespace plandrel
