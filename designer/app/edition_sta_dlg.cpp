#include "edition_sta_dlg.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "arbre_ctrl.h"
#include "editor_dialogs.h"
#include "model/config_checks.h"
#include "model/message_channels.h"
#include "model/message_ends.h"
#include "model/plandrel_doc.h"
#include "model/presence_variable.h"
#include "model/record_commands.h"
#include "number_field.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

constexpr std::size_t kMaxName = 32;
constexpr int kNoAddress = -1;

constexpr const char* kEnterName = "Enter a name.";
constexpr const char* kNameInUse = "This name is already in use by a station.";
constexpr const char* kEnterAddress = "Enter a physical address.";
constexpr const char* kAddressInUse = "This physical address is already in use by a station.";
constexpr const char* kAddressTooSmall = "Station physical address too small.\nThe minimum value is 0.";
constexpr const char* kAddressTooHigh = "Station physical address too high.\nThe maximum value is 255.";
constexpr const char* kPresenceReceives =
    "The presence variable receive a message.\nMessage reception must be enable.";
constexpr const char* kPresenceAperiodicService = "The presence variable is used for\naperiodical message service.";
constexpr const char* kPresencePeriodicService = "The presence variable is used for\nperiodical message service.";

bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char ch) { return ch == ' '; });
}

std::string IdentifierTaken(std::string_view name, std::uint16_t identifier) {
  return "Impossible to create the presence variable.\nThe variable " + std::string(name) +
         " already uses the identifier " + HexText(identifier) + ".";
}

enum class PresenceChange { none, create, renumber, remove };

}  // namespace

void RegisterEditionStaDialog() {
  using qui::ControlKind;
  qui::RegisterDialog({IDD_EDITION_STA,
                       200,
                       92,
                       "Station editor",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_STATIC, ControlKind::Static, 7, 9, 60, 8, "Name"},
                           {IDC_STA_NAME, ControlKind::Edit, 72, 7, 121, 12, ""},
                           {IDC_STATIC, ControlKind::Static, 7, 27, 60, 8, "Physical address"},
                           {IDC_STA_ADDRESS, ControlKind::Edit, 72, 25, 30, 12, ""},
                           {IDC_STATIC, ControlKind::Static, 107, 27, 60, 8, "(decimal)"},
                           {IDC_STA_PRESENCE, ControlKind::CheckBox, 7, 46, 186, 10, "Presence variable emission"},
                           {IDOK, ControlKind::PushButton, 23, 70, 50, 14, "Save", qui::kDefault},
                           {IDCANCEL, ControlKind::PushButton, 78, 70, 50, 14, "Cancel"},
                           {IDC_DIALOG_HELP, ControlKind::PushButton, 133, 70, 50, 14, "Help"},
                       }});
}

CEditionStaDlg::CEditionStaDlg(CWnd* parent, const EditorContext& context, std::size_t index)
    : CDialog(IDD_EDITION_STA, parent), context_(context) {
  if (index < context_.document.Records().station_count) {
    index_ = static_cast<std::uint16_t>(index);
    valid_ = true;
  }
  MapNotify(IDC_STA_PRESENCE, BN_CLICKED, [this] {
    if (context_.online)
      CheckDlgButton(IDC_STA_PRESENCE, IsDlgButtonChecked(IDC_STA_PRESENCE) ? BST_UNCHECKED : BST_CHECKED);
  });
  // The title follows the typed name; the entry changes only at Save.
  MapNotify(IDC_STA_NAME, EN_KILLFOCUS, [this] {
    if (context_.online || !valid_) return;
    const std::string text = GetDlgItemText(IDC_STA_NAME);
    if (text != records::text_of(context_.document.Records().stations[index_].name)) SetWindowText(Title(text).c_str());
  });
}

std::string CEditionStaDlg::Title(std::string_view name) { return "Edit station  \"" + std::string(name) + "\""; }

BOOL CEditionStaDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!valid_) {
    EndDialog(IDCANCEL);
    return TRUE;
  }
  const records::Configuration& c = context_.document.Records();
  const records::STATION4& station = c.stations[index_];
  SetWindowText(Title(records::text_of(station.name)).c_str());
  Item<CEdit>(IDC_STA_NAME).SetLimitText(kMaxName);
  Item<CEdit>(IDC_STA_ADDRESS).SetLimitText(3);
  SetDlgItemText(IDC_STA_NAME, std::string(records::text_of(station.name)).c_str());
  if (station.physical_address == kNoAddress) {
    presence_ = -1;
  } else {
    SetDlgItemText(IDC_STA_ADDRESS, std::to_string(station.physical_address).c_str());
    const auto presence = FindPresenceVariable(c, index_, station.physical_address);
    presence_ = presence ? static_cast<std::int16_t>(*presence) : std::int16_t{-1};
  }
  CheckDlgButton(IDC_STA_PRESENCE, presence_ >= 0 ? BST_CHECKED : BST_UNCHECKED);

  if (context_.online) {
    Item<CEdit>(IDC_STA_NAME).SetReadOnly(TRUE);
    Item<CEdit>(IDC_STA_ADDRESS).SetReadOnly(TRUE);
    GetDlgItem(IDOK)->EnableWindow(FALSE);
    SetDefID(IDCANCEL);
  }
  return TRUE;
}

void CEditionStaDlg::Refuse(int focus, const std::string& text, bool select) {
  MessageBox(text.c_str());
  GotoDlgCtrl(GetDlgItem(focus));
  if (select) Item<CEdit>(focus).SetSel(0, -1);
}

void CEditionStaDlg::OnOK() {
  if (!valid_ || context_.online) return;
  // The focus leaves the field being typed in, so that its own handling runs first.
  GetDlgItem(IDOK)->SetFocus();
  CPlandrelDoc& document = context_.document;
  records::Configuration& c = document.Records();
  const records::STATION4 stored = c.stations[index_];
  const bool local = index_ == c.local_station;

  // 1. Name: only a changed one is checked.
  const std::string name = GetDlgItemText(IDC_STA_NAME);
  const bool name_changed = name != records::text_of(stored.name);
  if (name_changed) {
    if (IsBlank(name)) return Refuse(IDC_STA_NAME, kEnterName, true);
    if (CheckStationName(c, index_, name) != kCheckOk) return Refuse(IDC_STA_NAME, kNameInUse, true);
  }

  // 2.-3. Address: an empty field is no address; a number out of 0..255 is corrected, told and kept;
  // a text that is no number ends Save.
  int address = kNoAddress;
  if (!IsBlank(GetDlgItemText(IDC_STA_ADDRESS))) {
    std::int64_t value = 0;
    if (ReadNumberField(*this, IDC_STA_ADDRESS, 10, {0, "0", kAddressTooSmall}, {255, "255", kAddressTooHigh}, value) ==
        NumberRead::not_a_number)
      return GotoDlgCtrl(GetDlgItem(IDC_STA_ADDRESS));
    address = static_cast<int>(value);
  }
  if (address == kNoAddress && local) return Refuse(IDC_STA_ADDRESS, kEnterAddress);
  const bool address_changed = address != stored.physical_address;
  if (address_changed && address != kNoAddress && CheckStationAddress(c, index_, address) != kCheckOk)
    return Refuse(IDC_STA_ADDRESS, kAddressInUse, true);

  // 4.-5. The presence variable: what Save will do with it, every refusal before any change.
  const bool emits = IsDlgButtonChecked(IDC_STA_PRESENCE) != 0;
  const bool has_presence = presence_ >= 0 && static_cast<std::size_t>(presence_) < c.variables.size();
  PresenceChange presence = PresenceChange::none;
  if (emits) {
    if (address == kNoAddress) return Refuse(IDC_STA_ADDRESS, kEnterAddress);
    const std::uint16_t identifier = PresenceIdentifier(address);
    if (!has_presence || address_changed) {
      if (!has_presence) {
        if (const auto refusal = RefuseAdding(document, ListKind::variables, 1))
          return Refuse(IDC_STA_PRESENCE, std::string(*refusal));
      }
      if (const std::uint16_t holder = FindVariableByIdentifier(c, identifier); holder != kNoVariable) {
        CheckDlgButton(IDC_STA_PRESENCE, BST_UNCHECKED);
        return Refuse(IDC_STA_PRESENCE, IdentifierTaken(records::text_of(c.variables[holder].name), identifier));
      }
      presence = has_presence ? PresenceChange::renumber : PresenceChange::create;
    }
  } else if (has_presence) {
    const records::VARIABLE4& v = c.variables[static_cast<std::size_t>(presence_)];
    const auto keep = [&](const std::string& text) {
      CheckDlgButton(IDC_STA_PRESENCE, BST_CHECKED);
      Refuse(IDC_STA_PRESENCE, text);
    };
    const auto any_message = [&](auto predicate) {
      return std::any_of(c.messages.begin(), c.messages.end(), predicate);
    };
    const auto received_into = [&](const records::MESSAGE4& m) {
      return m.transmitted == 0 && m.destination_identifier == v.identifier;
    };
    const auto sent = [](bool aperiodic) {
      return [aperiodic](const records::MESSAGE4& m) { return m.transmitted == 1 && (m.aperiodic == 1) == aperiodic; };
    };
    if ((v.flags & records::VARIABLE4::kMessageReception) && any_message(received_into)) return keep(kPresenceReceives);
    if (local && (v.flags & records::VARIABLE4::kMessageChannel)) {
      if (v.channel == 0 && any_message(sent(true))) return keep(kPresenceAperiodicService);
      if (v.channel > 0 && (CarriesPeriodicMessage(c, v) ||
                            (CountPeriodicMessageChannels(c, &v) == 0 && any_message(sent(false)))))
        return keep(kPresencePeriodicService);
    }
    // The list dialog's rule for removing a variable holds here too.
    if (VariableInUse(c, static_cast<std::size_t>(presence_)))
      return keep(InUseText(ListKind::variables, records::text_of(v.name)));
    presence = PresenceChange::remove;
  }

  // 6. Every check passed: the entry, the election count, the presence variable.
  const bool entry_changed = name_changed || address_changed;
  if (entry_changed) {
    records::set_text(c.stations[index_].name, name, kMaxName);
    c.stations[index_].physical_address = static_cast<std::int16_t>(address);
  }
  const bool election_changed = local && address_changed;
  if (election_changed) document.RefreshElectionCount();

  CArbreCtrl* tree = context_.tree;
  std::vector<std::size_t> messages_changed;
  switch (presence) {
    case PresenceChange::create: {
      c.variables.push_back(MakePresenceVariable(c, index_, PresenceVariableName(document, name), address));
      document.AddToMemoryEstimate(kVariableCost);
      if (tree) tree->InsertVariableItems(c.variables.back());
      break;
    }
    case PresenceChange::renumber: {
      records::VARIABLE4& v = c.variables[static_cast<std::size_t>(presence_)];
      const std::uint16_t identifier = PresenceIdentifier(address);
      messages_changed = CarryIdentifierChange(c, v.identifier, identifier, FarEndRule::acknowledged_destination);
      v.identifier = identifier;
      break;
    }
    case PresenceChange::remove: {
      const RemovedVariable removed = RemoveVariable(document, static_cast<std::size_t>(presence_));
      if (tree) tree->DeleteVariableItems(removed.record);
      messages_changed = removed.messages_changed;
      break;
    }
    case PresenceChange::none: break;
  }
  const bool variables_changed = presence != PresenceChange::none;
  if ((entry_changed || variables_changed) && !document.IsModified()) {
    document.SetModifiedFlag();
    document.UpdateTitle();
  }
  if (tree) {
    if (name_changed) tree->RenameStationItem(index_);
    tree->UpdateMessageItems(messages_changed);
  }

  if (entry_changed) document.WriteWorkingFile(records::Section::stations);
  if (election_changed) document.WriteWorkingFile(records::Section::param);
  if (variables_changed) document.WriteWorkingFile(records::Section::variables);
  if (!messages_changed.empty()) document.WriteWorkingFile(records::Section::messages);
  CDialog::OnOK();
}

}  // namespace plandrel
