#include "edition_mes_dlg.h"

#include <vector>

#include "arbre_ctrl.h"
#include "dialog_items.h"
#include "editor_dialogs.h"
#include "model/config_checks.h"
#include "model/message_channels.h"
#include "model/message_ends.h"
#include "model/plandrel_doc.h"
#include "number_field.h"
#include "records/byte_codec.h"
#include "records/configuration.h"
#include "source_dest_dlgs.h"

namespace plandrel {

namespace {

constexpr std::size_t kMaxText = 32;

constexpr const char* kEnterName = "Enter a name.";
constexpr const char* kNameInUse = "This name is already in use by a message.";
constexpr const char* kSourceNotConfigured = "Message source identifier must be configured.";
constexpr const char* kDestinationNotConfigured = "Message destination identifier must be configured.";
constexpr const char* kInvalidFormat = "Invalid format.";
constexpr const char* kMemoryFull = "The FULLFIP memory space is full.\nRemove instructions from BA sequences.";

using records::MESSAGE4;

}  // namespace

void RegisterEditionMesDialog() {
  using qui::ControlKind;
  qui::RegisterDialog(
      {IDD_EDITION_MES,
       322,
       214,
       "Edit message",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_STATIC, ControlKind::Static, 7, 9, 35, 8, "Name"},
           {IDC_MES_NAME, ControlKind::Edit, 45, 7, 150, 12, ""},
           {IDC_MES_SOURCE_GROUP, ControlKind::GroupBox, 7, 24, 150, 60, "Source"},
           {IDC_MES_SOURCE_SELECT, ControlKind::PushButton, 14, 36, 50, 14, "Select..."},
           {IDC_STATIC, ControlKind::Static, 14, 55, 85, 8, "Identifier (hexadecimal)"},
           {IDC_MES_SOURCE_IDENTIFIER, ControlKind::Edit, 104, 53, 45, 12, "", qui::kReadOnly},
           {IDC_STATIC, ControlKind::Static, 14, 69, 85, 8, "Segment"},
           {IDC_MES_SOURCE_SEGMENT, ControlKind::Edit, 104, 67, 45, 12, ""},
           {IDC_MES_DESTINATION_GROUP, ControlKind::GroupBox, 165, 24, 150, 60, "Destination"},
           {IDC_MES_DESTINATION_SELECT, ControlKind::PushButton, 172, 36, 50, 14, "Select..."},
           {IDC_STATIC, ControlKind::Static, 172, 55, 85, 8, "Identifier (hexadecimal)"},
           {IDC_MES_DESTINATION_IDENTIFIER, ControlKind::Edit, 262, 53, 45, 12, "", qui::kReadOnly},
           {IDC_STATIC, ControlKind::Static, 172, 69, 85, 8, "Segment"},
           {IDC_MES_DESTINATION_SEGMENT, ControlKind::Edit, 262, 67, 45, 12, ""},
           {IDC_STATIC, ControlKind::Static, 7, 92, 35, 8, "Format"},
           {IDC_MES_FORMAT, ControlKind::Edit, 45, 90, 150, 12, ""},
           {IDC_MES_TYPE_GROUP, ControlKind::GroupBox, 7, 108, 98, 42, "Type"},
           {IDC_MES_TRANSMITTED, ControlKind::CheckBox, 14, 120, 85, 10, "Transmitted", qui::kPairedBox | qui::kGroup},
           {IDC_MES_RECEIVED, ControlKind::CheckBox, 14, 134, 85, 10, "Received", qui::kPairedBox},
           {IDC_MES_MODE_GROUP, ControlKind::GroupBox, 112, 108, 98, 42, "Mode"},
           {IDC_MES_PERIODICAL, ControlKind::CheckBox, 119, 120, 85, 10, "Periodical", qui::kPairedBox | qui::kGroup},
           {IDC_MES_APERIODICAL, ControlKind::CheckBox, 119, 134, 85, 10, "Aperiodical", qui::kPairedBox},
           {IDC_MES_ACKNOWLEDGED_GROUP, ControlKind::GroupBox, 217, 108, 98, 42, "Acknowledged message"},
           {IDC_MES_YES, ControlKind::CheckBox, 224, 120, 60, 10, "Yes", qui::kPairedBox | qui::kGroup},
           {IDC_MES_NO, ControlKind::CheckBox, 224, 134, 60, 10, "No", qui::kPairedBox},
           {IDC_MES_CHANNEL_TEXT, ControlKind::Static, 7, 156, 160, 18,
            "Identifier (hexadecimal) of the\nvariable associated with transmission :"},
           {IDC_MES_CHANNEL_LIST, ControlKind::ComboBox, 170, 158, 60, 80, "", qui::kDropDownList | qui::kVerticalScroll},
           {IDC_MES_EVENT_TEXT, ControlKind::Static, 7, 178, 60, 8, "Event number"},
           {IDC_MES_EVENT, ControlKind::Edit, 70, 176, 30, 12, ""},
           {IDOK, ControlKind::PushButton, 80, 194, 50, 14, "Save", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 140, 194, 50, 14, "Cancel"},
           {IDC_DIALOG_HELP, ControlKind::PushButton, 200, 194, 50, 14, "Help"},
       }});
}

CEditionMesDlg::CEditionMesDlg(CWnd* parent, const EditorContext& context, int index)
    : CDialog(IDD_EDITION_MES, parent), context_(context) {
  auto& messages = context_.document.Records().messages;
  if (index >= 0 && static_cast<std::size_t>(index) < messages.size()) {
    index_ = index;
    record_ = &messages[static_cast<std::size_t>(index)];
  }

  MapNotify(IDC_MES_TRANSMITTED, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_MES_TRANSMITTED);
    working_.transmitted = IsDlgButtonChecked(IDC_MES_TRANSMITTED) ? 1 : 0;
    CheckDlgButton(IDC_MES_RECEIVED, working_.transmitted ? BST_UNCHECKED : BST_CHECKED);
    ApplyType();
  });
  MapNotify(IDC_MES_RECEIVED, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_MES_RECEIVED);
    working_.transmitted = IsDlgButtonChecked(IDC_MES_RECEIVED) ? 0 : 1;
    CheckDlgButton(IDC_MES_TRANSMITTED, working_.transmitted ? BST_CHECKED : BST_UNCHECKED);
    ApplyType();
  });
  MapNotify(IDC_MES_PERIODICAL, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_MES_PERIODICAL);
    OnPeriodical();
  });
  MapNotify(IDC_MES_APERIODICAL, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_MES_APERIODICAL);
    CheckDlgButton(IDC_MES_PERIODICAL, IsDlgButtonChecked(IDC_MES_APERIODICAL) ? BST_UNCHECKED : BST_CHECKED);
    OnPeriodical();
  });
  MapNotify(IDC_MES_YES, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_MES_YES);
    OnYes();
  });
  MapNotify(IDC_MES_NO, BN_CLICKED, [this] {
    if (context_.online) return UndoClick(IDC_MES_NO);
    CheckDlgButton(IDC_MES_YES, IsDlgButtonChecked(IDC_MES_NO) ? BST_UNCHECKED : BST_CHECKED);
    OnYes();
  });
  MapNotify(IDC_MES_CHANNEL_LIST, CBN_SELCHANGE, [this] {
    auto& list = Item<CComboBox>(IDC_MES_CHANNEL_LIST);
    working_.channel = static_cast<std::uint16_t>(list.GetItemData(list.GetCurSel()));
  });
  MapNotify(IDC_MES_CHANNEL_LIST, CBN_EDITCHANGE, [this] { FillChannelList(); });
  // The local end is a transmitted message's source and a received one's destination.
  MapNotify(IDC_MES_SOURCE_SELECT, BN_CLICKED, [this] {
    if (working_.transmitted != 0) PickEnd<CSourceDestLocaleDlg>(IDC_MES_SOURCE_IDENTIFIER);
    else PickEnd<CSourceDestAutreDlg>(IDC_MES_SOURCE_IDENTIFIER);
  });
  MapNotify(IDC_MES_DESTINATION_SELECT, BN_CLICKED, [this] {
    if (working_.transmitted != 0) PickEnd<CSourceDestAutreDlg>(IDC_MES_DESTINATION_IDENTIFIER);
    else PickEnd<CSourceDestLocaleDlg>(IDC_MES_DESTINATION_IDENTIFIER);
  });
  MapNotify(IDC_MES_NAME, EN_KILLFOCUS, [this] {
    if (context_.online) return;
    const std::string text = GetDlgItemText(IDC_MES_NAME);
    if (text == records::text_of(working_.name)) return;
    records::set_text(working_.name, text, kMaxText);
    SetWindowText(Title().c_str());
  });
}

std::string CEditionMesDlg::Title() const {
  return "Edit message  \"" + std::string(records::text_of(working_.name)) + "\", " +
         (working_.transmitted != 0 ? "transmitted." : "received.");
}

void CEditionMesDlg::UndoClick(int id) { CheckDlgButton(id, IsDlgButtonChecked(id) ? BST_UNCHECKED : BST_CHECKED); }

void CEditionMesDlg::ShowIdentifiers() {
  SetDlgItemText(IDC_MES_SOURCE_IDENTIFIER, HexText(working_.source_identifier).c_str());
  SetDlgItemText(IDC_MES_DESTINATION_IDENTIFIER, HexText(working_.destination_identifier).c_str());
}

void CEditionMesDlg::FillChannelList() {
  auto& list = Item<CComboBox>(IDC_MES_CHANNEL_LIST);
  const int remembered = std::max(list.GetCurSel(), 0);
  list.ResetContent();
  for (const ChannelVariable& entry : ChannelVariables(context_.document.Records(), working_.aperiodic == 0))
    list.SetItemData(list.AddString(HexText(entry.identifier).c_str()),
                     static_cast<DWORD_PTR>(static_cast<std::uint16_t>(entry.channel)));
  if (list.GetCount() == 0) {
    working_.channel = 0;
    return;
  }
  list.SetCurSel(std::min(remembered, list.GetCount() - 1));
  working_.channel = static_cast<std::uint16_t>(list.GetItemData(list.GetCurSel()));
}

void CEditionMesDlg::SelectChannelEntry(int channel) {
  auto& list = Item<CComboBox>(IDC_MES_CHANNEL_LIST);
  const std::optional<std::uint16_t> variable = FindChannelVariable(context_.document.Records(), channel);
  const int entry = variable ? list.FindStringExact(-1, HexText(*variable).c_str()) : CB_ERR;
  if (entry == CB_ERR) {
    // No variable of that channel: the first entry's (0xFFFF for none, which Save refuses).
    list.SetCurSel(0);
    working_.channel = static_cast<std::uint16_t>(list.GetItemData(0));
    return;
  }
  list.SetCurSel(entry);
  working_.channel = static_cast<std::uint16_t>(channel);
}

BOOL CEditionMesDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (record_ == nullptr) {
    EndDialog(IDCANCEL);
    return TRUE;
  }
  working_ = *record_;
  SetWindowText(Title().c_str());
  Item<CEdit>(IDC_MES_NAME).SetLimitText(kMaxText);
  Item<CEdit>(IDC_MES_FORMAT).SetLimitText(kMaxText);
  Item<CEdit>(IDC_MES_SOURCE_SEGMENT).SetLimitText(3);
  Item<CEdit>(IDC_MES_DESTINATION_SEGMENT).SetLimitText(3);
  Item<CEdit>(IDC_MES_EVENT).SetLimitText(3);
  SetDlgItemText(IDC_MES_NAME, std::string(records::text_of(working_.name)).c_str());
  ShowIdentifiers();
  SetDlgItemText(IDC_MES_SOURCE_SEGMENT, std::to_string(working_.source_segment).c_str());
  SetDlgItemText(IDC_MES_DESTINATION_SEGMENT, std::to_string(working_.destination_segment).c_str());
  SetDlgItemText(IDC_MES_FORMAT, std::string(records::text_of(working_.format)).c_str());

  const bool transmitted = working_.transmitted != 0;
  CheckDlgButton(IDC_MES_TRANSMITTED, transmitted ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_MES_RECEIVED, transmitted ? BST_UNCHECKED : BST_CHECKED);
  if (transmitted) {
    const bool periodic = working_.aperiodic == 0;
    CheckDlgButton(IDC_MES_PERIODICAL, periodic ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_MES_APERIODICAL, periodic ? BST_UNCHECKED : BST_CHECKED);
    EnableDlgItems(*this, {IDC_MES_CHANNEL_TEXT, IDC_MES_CHANNEL_LIST}, periodic);
    if (periodic) {
      // The list is filled, then the record's own channel is looked for in it.
      FillChannelList();
      SelectChannelEntry(record_->channel);
    }
    CheckDlgButton(IDC_MES_YES, working_.acknowledged ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_MES_NO, working_.acknowledged ? BST_UNCHECKED : BST_CHECKED);
    SetDlgItemText(IDC_MES_EVENT, std::to_string(working_.event_number).c_str());
  } else {
    EnableDlgItems(*this,
                {IDC_MES_MODE_GROUP, IDC_MES_PERIODICAL, IDC_MES_APERIODICAL, IDC_MES_CHANNEL_TEXT, IDC_MES_CHANNEL_LIST,
                 IDC_MES_ACKNOWLEDGED_GROUP, IDC_MES_YES, IDC_MES_NO, IDC_MES_EVENT_TEXT, IDC_MES_EVENT},
                false);
    SetDlgItemText(IDC_MES_EVENT, "");
  }

  if (context_.online) {
    for (int edit : {IDC_MES_NAME, IDC_MES_SOURCE_SEGMENT, IDC_MES_DESTINATION_SEGMENT, IDC_MES_FORMAT, IDC_MES_EVENT})
      Item<CEdit>(edit).SetReadOnly(TRUE);
    EnableDlgItems(*this, {IDC_MES_SOURCE_SELECT, IDC_MES_DESTINATION_SELECT, IDC_MES_CHANNEL_LIST, IDOK}, false);
    SetDefID(IDCANCEL);
  }
  return TRUE;
}

void CEditionMesDlg::OnPeriodical() {
  const bool periodic = IsDlgButtonChecked(IDC_MES_PERIODICAL) != 0;
  working_.aperiodic = periodic ? 0 : 1;
  CheckDlgButton(IDC_MES_APERIODICAL, periodic ? BST_UNCHECKED : BST_CHECKED);
  EnableDlgItems(*this, {IDC_MES_CHANNEL_TEXT, IDC_MES_CHANNEL_LIST}, periodic);
  if (!periodic) {
    working_.channel = 0;
    return;
  }
  FillChannelList();
  auto& list = Item<CComboBox>(IDC_MES_CHANNEL_LIST);
  list.SetCurSel(0);
  working_.channel = static_cast<std::uint16_t>(list.GetItemData(0));
}

void CEditionMesDlg::OnYes() {
  const bool yes = IsDlgButtonChecked(IDC_MES_YES) != 0;
  working_.acknowledged = yes ? 1 : 0;
  CheckDlgButton(IDC_MES_NO, yes ? BST_UNCHECKED : BST_CHECKED);
}

void CEditionMesDlg::ApplyType() {
  SetWindowText(Title().c_str());
  const records::Configuration& c = context_.document.Records();
  const bool stored_transmitted = record_->transmitted != 0;
  const std::initializer_list<int> mode = {IDC_MES_MODE_GROUP, IDC_MES_PERIODICAL, IDC_MES_APERIODICAL};
  const std::initializer_list<int> acknowledgement = {IDC_MES_ACKNOWLEDGED_GROUP, IDC_MES_YES, IDC_MES_NO};
  const auto restore_ends = [&] {
    working_.source_identifier = record_->source_identifier;
    working_.destination_identifier = record_->destination_identifier;
    working_.remote_station = record_->remote_station;
  };
  const auto clear_ends = [&] {
    working_.source_identifier = 0;
    working_.destination_identifier = 0;
    working_.remote_station = RemoteStationOf(c, 0);
  };
  if (working_.transmitted != 0) {
    EnableDlgItems(*this, mode, true);
    const bool periodic = working_.aperiodic == 0;
    CheckDlgButton(IDC_MES_PERIODICAL, periodic ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_MES_APERIODICAL, periodic ? BST_UNCHECKED : BST_CHECKED);
    EnableDlgItems(*this, {IDC_MES_CHANNEL_TEXT, IDC_MES_CHANNEL_LIST}, periodic);
    if (periodic) {
      const int channel = working_.channel;
      FillChannelList();
      SelectChannelEntry(channel);
    }
    EnableDlgItems(*this, acknowledgement, true);
    CheckDlgButton(IDC_MES_YES, working_.acknowledged ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_MES_NO, working_.acknowledged ? BST_UNCHECKED : BST_CHECKED);
    EnableDlgItems(*this, {IDC_MES_EVENT_TEXT, IDC_MES_EVENT}, true);
    SetDlgItemText(IDC_MES_EVENT, std::to_string(working_.event_number).c_str());
    if (stored_transmitted) restore_ends();
    else clear_ends();
  } else {
    for (int box : {IDC_MES_PERIODICAL, IDC_MES_APERIODICAL, IDC_MES_YES, IDC_MES_NO}) CheckDlgButton(box, BST_UNCHECKED);
    Item<CComboBox>(IDC_MES_CHANNEL_LIST).ResetContent();
    SetDlgItemText(IDC_MES_EVENT, "");
    EnableDlgItems(*this, mode, false);
    EnableDlgItems(*this, acknowledgement, false);
    EnableDlgItems(*this, {IDC_MES_CHANNEL_TEXT, IDC_MES_CHANNEL_LIST, IDC_MES_EVENT_TEXT, IDC_MES_EVENT}, false);
    if (stored_transmitted) clear_ends();
    else restore_ends();
  }
  ShowIdentifiers();
}

template <class Picker>
void CEditionMesDlg::PickEnd(int field) {
  if (context_.online) return;
  Picker picker(this, context_.document.Records(), working_);
  if (picker.DoModal() != IDOK) return;
  SetDlgItemText(field, HexText(field == IDC_MES_SOURCE_IDENTIFIER ? working_.source_identifier
                                                                   : working_.destination_identifier)
                            .c_str());
}

void CEditionMesDlg::Refuse(int focus, const char* text) {
  MessageBox(text);
  GotoDlgCtrl(GetDlgItem(focus));
}

void CEditionMesDlg::OnOK() {
  if (record_ == nullptr || context_.online) return;
  GetDlgItem(IDOK)->SetFocus();
  CPlandrelDoc& document = context_.document;
  const records::Configuration& c = document.Records();
  const MESSAGE4 record = *record_;
  const bool transmitted = working_.transmitted != 0;
  bool modified = false;
  bool ends_changed = false;
  std::int64_t value = 0;

  // 1. Name.
  const std::string name = GetDlgItemText(IDC_MES_NAME);
  if (name.empty()) return Refuse(IDC_MES_NAME, kEnterName);
  records::set_text(working_.name, name, kMaxText);
  if (CheckMessageNames(c, &working_) != kCheckOk) return Refuse(IDC_MES_NAME, kNameInUse);
  // Compared as texts: a record read from a file may hold bytes after the NUL.
  const bool name_changed = records::text_of(working_.name) != records::text_of(record.name);
  modified |= name_changed;

  // 2.-4. Source.
  if (transmitted && FindVariableByIdentifier(c, working_.source_identifier) == kNoVariable)
    return Refuse(IDC_MES_SOURCE_SELECT, kSourceNotConfigured);
  ends_changed |= working_.source_identifier != record.source_identifier;
  if (ReadNumberField(*this, IDC_MES_SOURCE_SEGMENT, 10, {0, "0", "Source segment must be positive."},
                      {255, "255", "Message source segment too high.\nThe maximum value is 255 ."},
                      value) != NumberRead::ok)
    return GotoDlgCtrl(GetDlgItem(IDC_MES_SOURCE_SEGMENT));
  working_.source_segment = static_cast<std::uint8_t>(value);

  // 5.-7. Destination.
  if (!transmitted && FindVariableByIdentifier(c, working_.destination_identifier) == kNoVariable)
    return Refuse(IDC_MES_DESTINATION_SELECT, kDestinationNotConfigured);
  ends_changed |= working_.destination_identifier != record.destination_identifier;
  if (ReadNumberField(*this, IDC_MES_DESTINATION_SEGMENT, 10, {0, "0", "Destination segment must be positive."},
                      {255, "255", "Message destination segment too high.\nThe maximum value is 255 ."},
                      value) != NumberRead::ok)
    return GotoDlgCtrl(GetDlgItem(IDC_MES_DESTINATION_SEGMENT));
  working_.destination_segment = static_cast<std::uint8_t>(value);

  // 8. Remote station.
  ends_changed |= working_.remote_station != record.remote_station;

  // 9. Format: every Save that gets this far writes the record back.
  const std::string format = GetDlgItemText(IDC_MES_FORMAT);
  if (CheckFormatSyntax(format) != kCheckOk) return Refuse(IDC_MES_FORMAT, kInvalidFormat);
  records::set_text(working_.format, format, kMaxText);
  modified = true;

  // 10. A change of type moves the controller memory estimate; the move is made with the record,
  // so that a Save refused below, retried or cancelled leaves the estimate where it was.
  // Counted by the estimate's own rule: a damaged type byte (neither 0 nor 1) counts as transmitted.
  const std::int64_t estimate_change = std::int64_t{records::message_memory_cost(working_)} -
                                       std::int64_t{records::message_memory_cost(record)};
  if (working_.transmitted != record.transmitted) ends_changed = true;
  if (estimate_change > 0 && !document.MemoryFits(static_cast<std::uint32_t>(estimate_change))) MessageBox(kMemoryFull);

  // 11.-13. The channel variable of a transmitted message.
  if (transmitted && working_.aperiodic != 0 && CountAperiodicMessageChannels(c, nullptr) == 0)
    return Refuse(IDC_MES_APERIODICAL, kNoAperiodicChannel.data());
  if (transmitted && working_.aperiodic == 0 && CountPeriodicMessageChannels(c, nullptr) == 0)
    return Refuse(IDC_MES_PERIODICAL, kNoPeriodicChannel.data());

  // 14. Event number.
  if (transmitted) {
    if (ReadNumberField(*this, IDC_MES_EVENT, 10, {1, "1", "Message event number too small.\nThe minimum value is 1 ."},
                        {251, "251", "Message event number too high.\nThe maximum value is 251 ."},
                        value) != NumberRead::ok)
      return GotoDlgCtrl(GetDlgItem(IDC_MES_EVENT));
    working_.event_number = static_cast<std::uint16_t>(value);
  }

  // 15. The record, the estimate and the working file.
  if (modified) {
    *record_ = working_;
    document.AddToMemoryEstimate(estimate_change);
    if (!document.IsModified()) {
      document.SetModifiedFlag();
      document.UpdateTitle();
    }
    document.WriteWorkingFile(records::Section::messages);
  }

  // 16. The tree.
  if (CArbreCtrl* tree = context_.tree) {
    if (name_changed) tree->RenameMessageItems(*record_);
    if (ends_changed) tree->UpdateMessageItems(*record_);
  }
  CDialog::OnOK();
}

}  // namespace plandrel
