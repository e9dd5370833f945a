#include "edition_var_dlg.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "arbre_ctrl.h"
#include "dialog_items.h"
#include "editor_dialogs.h"
#include "model/config_checks.h"
#include "model/consumer_set.h"
#include "model/message_channels.h"
#include "model/message_ends.h"
#include "model/plandrel_doc.h"
#include "model/record_commands.h"
#include "model/temporal_periods.h"
#include "number_field.h"
#include "records/byte_codec.h"
#include "station_dlgs.h"

namespace plandrel {

namespace {

constexpr std::size_t kMaxText = 32;
constexpr int kMaxLengthRefreshed = 125;  // a refreshed variable keeps a byte for its status
constexpr int kMaxLength = 126;

constexpr const char* kEnterName = "Enter a name.";
constexpr const char* kNameInUse = "This name is already in use by a variable.";
constexpr const char* kIdentifierInUse = "This identifier is already in use by a variable.";
constexpr const char* kInvalidFormat = "Invalid format.";
constexpr const char* kFormatTooLong = "Warning :\nNot enough data to match the format.";
constexpr const char* kLocalNotInvolved = "The local station must produce or consume this variable.";
constexpr const char* kLocalBoth = "A variable cannot be both produced\nand consumed by the local station.";
constexpr const char* kSameStationBoth = "A variable cannot be both produced\nand consumed by the same station.";
constexpr const char* kReceptionNeeded = "This variable receive a message.\nMessage reception must be enabled.";
constexpr const char* kEightChannels =
    "There is already 8 variable(s) which enable the periodical\nmessage requests emission.";

using records::VARIABLE4;

}  // namespace

void RegisterEditionVarDialog() {
  using qui::ControlKind;
  qui::RegisterDialog(
      {IDD_EDITION_VAR,
       318,
       216,
       "Edit variable",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_STATIC, ControlKind::Static, 7, 9, 50, 8, "Name"},
           {IDC_VAR_NAME, ControlKind::Edit, 62, 7, 120, 12, ""},
           {IDC_STATIC, ControlKind::Static, 7, 25, 50, 8, "Identifier"},
           {IDC_VAR_IDENTIFIER, ControlKind::Edit, 62, 23, 32, 12, ""},
           {IDC_STATIC, ControlKind::Static, 98, 25, 60, 8, "(hexadecimal)"},
           {IDC_STATIC, ControlKind::Static, 7, 41, 50, 8, "Length"},
           {IDC_VAR_LENGTH, ControlKind::Edit, 62, 39, 32, 12, ""},
           {IDC_STATIC, ControlKind::Static, 98, 41, 60, 8, "(decimal)"},
           {IDC_STATIC, ControlKind::Static, 7, 57, 50, 8, "PDU type"},
           {IDC_VAR_PDU, ControlKind::Edit, 62, 55, 32, 12, ""},
           {IDC_STATIC, ControlKind::Static, 98, 57, 60, 8, "(hexadecimal)"},
           {IDC_STATIC, ControlKind::Static, 7, 73, 50, 8, "Format"},
           {IDC_VAR_FORMAT, ControlKind::Edit, 62, 71, 120, 12, ""},
           {IDC_VAR_PRODUCTION, ControlKind::PushButton, 7, 92, 60, 14, "Production..."},
           {IDC_VAR_PRODUCER, ControlKind::Edit, 72, 93, 110, 12, "", qui::kReadOnly},
           {IDC_VAR_CONSUMPTION, ControlKind::PushButton, 7, 111, 60, 14, "Consumption..."},
           {IDC_VAR_CONSUMERS, ControlKind::ComboBox, 72, 112, 110, 80, "", qui::kDropDownList | qui::kVerticalScroll},
           {IDC_STATIC, ControlKind::GroupBox, 192, 5, 119, 84, "Message service"},
           {IDC_STATIC, ControlKind::Static, 199, 18, 40, 8, "Enable : "},
           {IDC_VAR_RECEPTION, ControlKind::CheckBox, 240, 17, 65, 10, "Reception"},
           {IDC_VAR_EMISSION, ControlKind::CheckBox, 240, 30, 65, 10, "Emission"},
           {IDC_VAR_TYPE_GROUP, ControlKind::GroupBox, 199, 44, 106, 40, "Type (emission)"},
           {IDC_VAR_APERIODICAL, ControlKind::RadioButton, 207, 56, 90, 10, "Aperiodical", qui::kGroup},
           {IDC_VAR_PERIODICAL, ControlKind::RadioButton, 207, 69, 90, 10, "Periodical"},
           {IDC_VAR_REQUESTS_TEXT1, ControlKind::Static, 206, 95, 100, 8, "Enable aperiodical"},
           {IDC_VAR_REQUESTS_TEXT2, ControlKind::Static, 206, 104, 100, 8, "requests using"},
           {IDC_VAR_REQUESTS_TEXT3, ControlKind::Static, 206, 113, 100, 8, "this variable"},
           {IDC_VAR_APERIODIC_REQUESTS, ControlKind::CheckBox, 192, 94, 12, 10, "", qui::kGroup},
           {IDC_STATIC, ControlKind::GroupBox, 7, 143, 304, 38, "Temporal statuses : periods in ms"},
           {IDC_VAR_REFRESHMENT, ControlKind::CheckBox, 15, 160, 60, 10, "Refreshment"},
           {IDC_VAR_REFRESHMENT_PERIOD, ControlKind::Edit, 78, 158, 40, 12, ""},
           {IDC_VAR_PROMPTNESS, ControlKind::CheckBox, 165, 160, 60, 10, "Promptness"},
           {IDC_VAR_PROMPTNESS_PERIOD, ControlKind::Edit, 228, 158, 40, 12, ""},
           {IDOK, ControlKind::PushButton, 70, 194, 50, 14, "Save", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 134, 194, 50, 14, "Cancel"},
           {IDC_DIALOG_HELP, ControlKind::PushButton, 198, 194, 50, 14, "Help"},
       }});
}

CEditionVarDlg::CEditionVarDlg(CWnd* parent, const EditorContext& context, int index, int new_record)
    : CDialog(IDD_EDITION_VAR, parent), context_(context), new_record_(new_record) {
  auto& variables = context_.document.Records().variables;
  if (index >= 0 && static_cast<std::size_t>(index) < variables.size()) {
    index_ = static_cast<std::int16_t>(index);
    record_ = &variables[static_cast<std::size_t>(index)];
  }

  for (int box : {IDC_VAR_RECEPTION, IDC_VAR_APERIODIC_REQUESTS})
    MapNotify(box, BN_CLICKED, [this, box] {
      if (context_.online) UndoClick(box);
    });
  MapNotify(IDC_VAR_EMISSION, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_VAR_EMISSION);
    if (IsDlgButtonChecked(IDC_VAR_EMISSION)) {
      EnableDlgItems(*this, {IDC_VAR_TYPE_GROUP, IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL}, true);
      const bool aperiodic = working_.channel == kAperiodicChannel && Produced();
      CheckRadioButton(IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL, aperiodic ? IDC_VAR_APERIODICAL : IDC_VAR_PERIODICAL);
    } else {
      EnableDlgItems(*this, {IDC_VAR_TYPE_GROUP, IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL}, false);
      CheckDlgButton(IDC_VAR_APERIODICAL, BST_UNCHECKED);
      CheckDlgButton(IDC_VAR_PERIODICAL, BST_UNCHECKED);
    }
  });
  for (int radio : {IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL})
    MapNotify(radio, BN_CLICKED, [this] {
      if (!context_.online) return;
      CheckRadioButton(IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL,
                       periodic_at_opening_ ? IDC_VAR_PERIODICAL : IDC_VAR_APERIODICAL);
    });
  MapNotify(IDC_VAR_REFRESHMENT, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_VAR_REFRESHMENT);
    ShowPeriod(IDC_VAR_REFRESHMENT_PERIOD, IsDlgButtonChecked(IDC_VAR_REFRESHMENT) && Produced(),
               working_.refreshment_period);
  });
  MapNotify(IDC_VAR_PROMPTNESS, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_VAR_PROMPTNESS);
    ShowPeriod(IDC_VAR_PROMPTNESS_PERIOD, IsDlgButtonChecked(IDC_VAR_PROMPTNESS) != 0, working_.promptness_period);
  });
  MapNotify(IDC_VAR_NAME, EN_KILLFOCUS, [this] {
    if (context_.online) return;
    const std::string text = GetDlgItemText(IDC_VAR_NAME);
    if (text == records::text_of(working_.name)) return;
    records::set_text(working_.name, text, kMaxText);
    SetWindowText(Title().c_str());
  });
  MapNotify(IDC_VAR_PRODUCTION, BN_CLICKED, [this] { PickStations<CStaProdDlg>(); });
  MapNotify(IDC_VAR_CONSUMPTION, BN_CLICKED, [this] { PickStations<CStaConsDlg>(); });
  // The consumers list only shows them: a selection snaps back to the first line.
  MapNotify(IDC_VAR_CONSUMERS, CBN_SELCHANGE, [this] { Item<CComboBox>(IDC_VAR_CONSUMERS).SetCurSel(0); });
  MapNotify(IDC_VAR_CONSUMERS, CBN_EDITCHANGE, [this] { FillConsumerList(); });
}

std::string CEditionVarDlg::Title() const {
  return "Edit variable  \"" + std::string(records::text_of(working_.name)) + "\", " +
         (working_.direction == 1 ? "consumed." : "produced.");
}

void CEditionVarDlg::UndoClick(int id) {
  CheckDlgButton(id, IsDlgButtonChecked(id) ? BST_UNCHECKED : BST_CHECKED);
}

void CEditionVarDlg::ShowPeriod(int edit, bool enabled, std::uint16_t period) {
  GetDlgItem(edit)->EnableWindow(enabled);
  SetDlgItemText(edit, enabled ? std::to_string(period).c_str() : "");
}

void CEditionVarDlg::FillConsumerList() {
  auto& list = Item<CComboBox>(IDC_VAR_CONSUMERS);
  list.ResetContent();
  const records::Configuration& c = context_.document.Records();
  if (working_.consumer_count == 0) {
    list.AddString(kNoRepresented);
  } else {
    for (std::uint16_t station : ConsumerStations(working_, c.station_count))
      list.AddString(std::string(records::text_of(c.stations[station].name)).c_str());
  }
  list.SetCurSel(0);
}

BOOL CEditionVarDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (record_ == nullptr) {
    EndDialog(IDCANCEL);
    return TRUE;
  }
  const records::Configuration& c = context_.document.Records();
  working_ = *record_;
  SetWindowText(Title().c_str());

  Item<CEdit>(IDC_VAR_NAME).SetLimitText(kMaxText);
  Item<CEdit>(IDC_VAR_IDENTIFIER).SetLimitText(4);
  Item<CEdit>(IDC_VAR_LENGTH).SetLimitText(3);
  Item<CEdit>(IDC_VAR_PDU).SetLimitText(2);
  Item<CEdit>(IDC_VAR_FORMAT).SetLimitText(kMaxText);
  SetDlgItemText(IDC_VAR_NAME, std::string(records::text_of(working_.name)).c_str());
  SetDlgItemText(IDC_VAR_IDENTIFIER, HexText(working_.identifier).c_str());
  SetDlgItemText(IDC_VAR_LENGTH, std::to_string(working_.length).c_str());
  SetDlgItemText(IDC_VAR_PDU, HexText(working_.pdu_type).c_str());
  SetDlgItemText(IDC_VAR_FORMAT, std::string(records::text_of(working_.format)).c_str());
  const bool known_producer = working_.producer >= 0 && working_.producer < c.station_count;
  SetDlgItemText(IDC_VAR_PRODUCER,
                 known_producer ? std::string(records::text_of(c.stations[static_cast<std::size_t>(working_.producer)].name)).c_str()
                                : kNoRepresented);
  FillConsumerList();

  const bool produced = Produced();
  CheckDlgButton(IDC_VAR_RECEPTION, (working_.flags & VARIABLE4::kMessageReception) ? BST_CHECKED : BST_UNCHECKED);
  const bool emission = produced && (working_.flags & VARIABLE4::kMessageChannel) != 0;
  periodic_at_opening_ = working_.channel > 0 ? 1 : 0;
  CheckDlgButton(IDC_VAR_EMISSION, emission ? BST_CHECKED : BST_UNCHECKED);
  GetDlgItem(IDC_VAR_EMISSION)->EnableWindow(produced);
  EnableDlgItems(*this, {IDC_VAR_TYPE_GROUP, IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL}, emission);
  CheckDlgButton(IDC_VAR_APERIODICAL, emission && working_.channel == 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_VAR_PERIODICAL, emission && working_.channel != 0 ? BST_CHECKED : BST_UNCHECKED);

  EnableDlgItems(*this,
              {IDC_VAR_APERIODIC_REQUESTS, IDC_VAR_REQUESTS_TEXT1, IDC_VAR_REQUESTS_TEXT2, IDC_VAR_REQUESTS_TEXT3},
              produced);
  CheckDlgButton(IDC_VAR_APERIODIC_REQUESTS,
                 produced && (working_.flags & VARIABLE4::kAperiodicVariableRequests) ? BST_CHECKED : BST_UNCHECKED);

  CheckDlgButton(IDC_VAR_REFRESHMENT, working_.refreshment_status ? BST_CHECKED : BST_UNCHECKED);
  ShowPeriod(IDC_VAR_REFRESHMENT_PERIOD, working_.refreshment_status && produced, working_.refreshment_period);
  GetDlgItem(IDC_VAR_PROMPTNESS)->EnableWindow(!produced);
  CheckDlgButton(IDC_VAR_PROMPTNESS, !produced && working_.promptness_status ? BST_CHECKED : BST_UNCHECKED);
  ShowPeriod(IDC_VAR_PROMPTNESS_PERIOD, working_.promptness_status && !produced, working_.promptness_period);

  if (context_.online) {
    for (int edit : {IDC_VAR_NAME, IDC_VAR_IDENTIFIER, IDC_VAR_LENGTH, IDC_VAR_PDU, IDC_VAR_FORMAT,
                     IDC_VAR_REFRESHMENT_PERIOD, IDC_VAR_PROMPTNESS_PERIOD})
      Item<CEdit>(edit).SetReadOnly(TRUE);
    EnableDlgItems(*this, {IDC_VAR_PRODUCTION, IDC_VAR_CONSUMPTION, IDOK}, false);
    SetDefID(IDCANCEL);
  }
  return TRUE;
}

template <class Picker>
void CEditionVarDlg::PickStations() {
  if (context_.online) return;
  const std::uint8_t direction = working_.direction;
  Picker picker(this, context_.document.Records(), working_);
  if (picker.DoModal() != IDOK) return;
  const records::Configuration& c = context_.document.Records();
  const bool known = working_.producer >= 0 && working_.producer < c.station_count;
  SetDlgItemText(IDC_VAR_PRODUCER,
                 known ? std::string(records::text_of(c.stations[static_cast<std::size_t>(working_.producer)].name)).c_str()
                       : kNoRepresented);
  FillConsumerList();
  if (working_.direction != direction) RefreshDirectionControls();
}

void CEditionVarDlg::RefreshDirectionControls() {
  SetWindowText(Title().c_str());
  const std::initializer_list<int> requests = {IDC_VAR_APERIODIC_REQUESTS, IDC_VAR_REQUESTS_TEXT1,
                                               IDC_VAR_REQUESTS_TEXT2, IDC_VAR_REQUESTS_TEXT3};
  if (!Produced()) {
    // Emission and aperiodic requests are a producer's: disabled, their check states kept (Save
    // clears them for a consumed variable).
    EnableDlgItems(*this, {IDC_VAR_EMISSION, IDC_VAR_TYPE_GROUP, IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL}, false);
    EnableDlgItems(*this, requests, false);
    ShowPeriod(IDC_VAR_REFRESHMENT_PERIOD, false, 0);
    GetDlgItem(IDC_VAR_PROMPTNESS)->EnableWindow(TRUE);
    CheckDlgButton(IDC_VAR_PROMPTNESS, working_.promptness_status ? BST_CHECKED : BST_UNCHECKED);
    GetDlgItem(IDC_VAR_PROMPTNESS_PERIOD)->EnableWindow(TRUE);
    SetDlgItemText(IDC_VAR_PROMPTNESS_PERIOD,
                   working_.promptness_status ? std::to_string(working_.promptness_period).c_str() : "");
    return;
  }
  GetDlgItem(IDC_VAR_EMISSION)->EnableWindow(TRUE);
  EnableDlgItems(*this, {IDC_VAR_TYPE_GROUP, IDC_VAR_APERIODICAL, IDC_VAR_PERIODICAL},
              IsDlgButtonChecked(IDC_VAR_EMISSION) != 0);
  EnableDlgItems(*this, requests, true);
  if (!IsDlgButtonChecked(IDC_VAR_APERIODIC_REQUESTS))
    CheckDlgButton(IDC_VAR_APERIODIC_REQUESTS,
                   (working_.flags & VARIABLE4::kAperiodicVariableRequests) ? BST_CHECKED : BST_UNCHECKED);
  ShowPeriod(IDC_VAR_REFRESHMENT_PERIOD, IsDlgButtonChecked(IDC_VAR_REFRESHMENT) != 0, working_.refreshment_period);
  GetDlgItem(IDC_VAR_PROMPTNESS)->EnableWindow(FALSE);
  ShowPeriod(IDC_VAR_PROMPTNESS_PERIOD, false, 0);
}

void CEditionVarDlg::Refuse(int focus, const std::string& text) {
  MessageBox(text.c_str());
  GotoDlgCtrl(GetDlgItem(focus));
}

bool CEditionVarDlg::SavePeriod(int box, int edit, std::uint8_t& status, std::uint16_t& period,
                                std::uint16_t record_period, float largest, const char* too_small,
                                const char* too_high) {
  if (!IsDlgButtonChecked(box)) {
    status = 0;
    period = record_period;
  } else {
    status = 1;
    // A status kept for the other direction (refreshment of a consumed variable, promptness of a
    // produced one) has no period field to read: its period stays as it is.
    if (GetDlgItem(edit)->IsWindowEnabled()) {
      const auto maximum = static_cast<std::int64_t>(std::floor(largest));
      std::int64_t value = 0;
      const NumberRead read = ReadNumberField(
          *this, edit, 10, {0, "0", std::string(too_small) + "0 ms."},
          {maximum, std::to_string(maximum), std::string(too_high) + std::to_string(maximum) + " ms."}, value);
      if (read != NumberRead::ok) {
        GotoDlgCtrl(GetDlgItem(edit));
        return false;
      }
      period = static_cast<std::uint16_t>(value);
    }
  }
  return true;
}

void CEditionVarDlg::OnOK() {
  if (record_ == nullptr || context_.online) return;
  // The focus leaves the field being typed in, so that its own check runs first.
  GetDlgItem(IDOK)->SetFocus();
  records::Configuration& c = context_.document.Records();
  const VARIABLE4 record = *record_;
  bool modified = false;

  // 1. Name.
  const std::string name = GetDlgItemText(IDC_VAR_NAME);
  if (name.empty()) return Refuse(IDC_VAR_NAME, kEnterName);
  records::set_text(working_.name, name, kMaxText);
  if (CheckVariableNames(c, &working_) != kCheckOk) return Refuse(IDC_VAR_NAME, kNameInUse);
  // Compared as texts: a record read from a file may hold bytes after the NUL.
  const bool name_changed = records::text_of(working_.name) != records::text_of(record.name);
  modified |= name_changed;

  // 2. Identifier.
  std::int64_t value = 0;
  if (ReadNumberField(*this, IDC_VAR_IDENTIFIER, 16, {0, "0", "An identifier must be positive."},
                      {0xFFFF, "FFFF", "Identifier too high.\nThe maximum value is 0xFFFF."}, value) != NumberRead::ok)
    return GotoDlgCtrl(GetDlgItem(IDC_VAR_IDENTIFIER));
  working_.identifier = static_cast<std::uint16_t>(value);
  if (CheckVariableIdentifiers(c, &working_) != kCheckOk) return Refuse(IDC_VAR_IDENTIFIER, kIdentifierInUse);
  const bool identifier_changed = working_.identifier != record.identifier && new_record_ == 0;
  modified |= working_.identifier != record.identifier;

  // 3. Length: a refreshed variable keeps one byte of the 126 for its status.
  const int max_length = IsDlgButtonChecked(IDC_VAR_REFRESHMENT) ? kMaxLengthRefreshed : kMaxLength;
  if (ReadNumberField(*this, IDC_VAR_LENGTH, 10, {1, "1", "Variable length too small.\nThe minimum value is 1."},
                      {max_length, std::to_string(max_length),
                       "Variable length too high.\nThe maximum value is " + std::to_string(max_length) + "."},
                      value) != NumberRead::ok)
    return GotoDlgCtrl(GetDlgItem(IDC_VAR_LENGTH));
  working_.length = static_cast<std::uint16_t>(value);
  modified |= working_.length != record.length;

  // 4. PDU type.
  if (ReadNumberField(*this, IDC_VAR_PDU, 16, {0, "0", "PDU too small.\nThe minimum value is 0."},
                      {0xFF, "FF", "PDU too high.\nThe maximum value is FF."}, value) != NumberRead::ok)
    return GotoDlgCtrl(GetDlgItem(IDC_VAR_PDU));
  working_.pdu_type = static_cast<std::uint16_t>(value);
  modified |= working_.pdu_type != record.pdu_type;

  // 5. Format.
  records::set_text(working_.format, GetDlgItemText(IDC_VAR_FORMAT), kMaxText);
  const CONFIG_CHECK_CODE format = CheckVariableFormat(working_);
  if (format == kCheckInvalidFormat) return Refuse(IDC_VAR_FORMAT, kInvalidFormat);
  if (format == kCheckFormatTooLong && MessageBox(kFormatTooLong, nullptr, MB_OKCANCEL) != IDOK)
    return GotoDlgCtrl(GetDlgItem(IDC_VAR_FORMAT));
  modified |= records::text_of(working_.format) != records::text_of(record.format);

  // 6. Stations.
  switch (CheckVariableStations(c, working_)) {
    case kCheckLocalStationNotInvolved: return Refuse(IDC_VAR_PRODUCTION, kLocalNotInvolved);
    case kCheckLocalProducesAndConsumes: return Refuse(IDC_VAR_CONSUMPTION, kLocalBoth);
    case kCheckProducerConsumes: return Refuse(IDC_VAR_CONSUMPTION, kSameStationBoth);
    default: break;
  }
  const bool stations_changed = working_.producer != record.producer || working_.consumers != record.consumers;
  modified |= stations_changed;

  // 7. Message reception: a variable that receives a message keeps it.
  if (IsDlgButtonChecked(IDC_VAR_RECEPTION)) {
    working_.flags |= VARIABLE4::kMessageReception;
  } else {
    const bool receives = std::any_of(c.messages.begin(), c.messages.end(), [&](const records::MESSAGE4& m) {
      return m.transmitted == 0 && m.destination_identifier == record.identifier;
    });
    if ((record.flags & VARIABLE4::kMessageReception) && new_record_ == 0 && receives) {
      CheckDlgButton(IDC_VAR_RECEPTION, BST_CHECKED);
      return Refuse(IDC_VAR_RECEPTION, kReceptionNeeded);
    }
    working_.flags &= static_cast<std::uint8_t>(~VARIABLE4::kMessageReception);
  }

  // 8.-9. Message requests emission and aperiodic variable requests belong to a variable the local
  // station produces: a consumed variable gives both up, and its periodic channel with them.
  constexpr auto kProducerFlags = static_cast<std::uint8_t>(VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests);
  if (!Produced()) {
    working_.flags &= static_cast<std::uint8_t>(~kProducerFlags);
    working_.channel = kNoChannel;
  } else {
    if (IsDlgButtonChecked(IDC_VAR_EMISSION)) {
      working_.flags |= VARIABLE4::kMessageChannel;
      if (IsDlgButtonChecked(IDC_VAR_APERIODICAL)) {
        working_.channel = kAperiodicChannel;
      } else {
        const std::optional<std::int16_t> channel = PeriodicChannelAtSave(c, record);
        if (CountPeriodicMessageChannels(c, &working_) > records::kMaxMessageChannel - 1u || !channel)
          return Refuse(IDC_VAR_EMISSION, kEightChannels);
        working_.channel = *channel;
      }
    } else {
      working_.flags &= static_cast<std::uint8_t>(~VARIABLE4::kMessageChannel);
      working_.channel = kNoChannel;
    }
    if (IsDlgButtonChecked(IDC_VAR_APERIODIC_REQUESTS))
      working_.flags |= VARIABLE4::kAperiodicVariableRequests;
    else
      working_.flags &= static_cast<std::uint8_t>(~VARIABLE4::kAperiodicVariableRequests);
  }
  modified |= working_.flags != record.flags || working_.channel != record.channel;
  // A periodic message sent on the channel given up would be left with no carrier.
  const bool gives_up_channel = record.channel > 0 && working_.channel < 1;
  if (gives_up_channel && CarriesPeriodicMessage(c, record))
    return Refuse(Produced() ? IDC_VAR_EMISSION : IDC_VAR_PRODUCTION,
                  InUseText(ListKind::variables, records::text_of(record.name)));

  // 10.-12. The temporal statuses and their periods, at most 16383 time units.
  const float largest = LargestPeriodMs(c.param);
  if (!SavePeriod(IDC_VAR_REFRESHMENT, IDC_VAR_REFRESHMENT_PERIOD, working_.refreshment_status,
                  working_.refreshment_period, record.refreshment_period, largest,
                  "Refreshment period  too small.\nThe minimum value is ",
                  "Refreshment period too high.\nThe maximum value is "))
    return;
  if (!SavePeriod(IDC_VAR_PROMPTNESS, IDC_VAR_PROMPTNESS_PERIOD, working_.promptness_status,
                  working_.promptness_period, record.promptness_period, largest,
                  "Promptness period too small.\nThe minimum value is ",
                  "Promptness period too high.\nThe maximum value is "))
    return;
  modified |= working_.refreshment_status != record.refreshment_status ||
              working_.refreshment_period != record.refreshment_period ||
              working_.promptness_status != record.promptness_status ||
              working_.promptness_period != record.promptness_period;

  // 13. The record and what depends on it.
  std::vector<std::size_t> messages_changed;
  bool channels_moved = false;
  if (modified) {
    if (gives_up_channel) channels_moved = !CloseChannelGap(c, record.channel, working_.key).empty();
    if (identifier_changed) messages_changed = CarryIdentifierChange(c, record.identifier, working_.identifier);
    if (stations_changed)
      for (std::size_t i : DetachRemoteStations(c, working_)) messages_changed.push_back(i);
    *record_ = working_;
    if (!context_.document.IsModified()) {
      context_.document.SetModifiedFlag();
      context_.document.UpdateTitle();
    }
  }

  // 14. The tree, once the record holds its new identifier and stations: its items, then those of
  // the messages whose ends moved with it.
  if (CArbreCtrl* tree = context_.tree) {
    if (name_changed) tree->RenameVariableItems(*record_);
    if (stations_changed) tree->UpdateVariableItems(*record_);
    if (stations_changed || identifier_changed || !messages_changed.empty()) {
      std::vector<bool> moved(c.messages.size(), false);
      for (std::size_t i : messages_changed) moved[i] = true;
      std::vector<std::size_t> update;
      for (std::size_t i = 0; i < c.messages.size(); ++i) {
        const records::MESSAGE4& m = c.messages[i];
        if (moved[i] || m.source_identifier == working_.identifier || m.destination_identifier == working_.identifier)
          update.push_back(i);
      }
      tree->UpdateMessageItems(update);
    }
  }

  // 15. The working files.
  context_.document.WriteWorkingFile(records::Section::variables);
  if (!messages_changed.empty() || channels_moved) context_.document.WriteWorkingFile(records::Section::messages);
  CDialog::OnOK();
}

}  // namespace plandrel
