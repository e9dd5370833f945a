#include "online/message_dlgs.h"

#include <algorithm>
#include <mutex>

#include "model/check_codes.h"
#include "model/display_format.h"
#include "online/designer_messages.h"
#include "online/online_message.h"
#include "online/online_resources.h"
#include "records/message4.h"
#include "ui/resources.h"

namespace plandrel {

namespace {

void ShowFormatOf(CDialog& dialog, const OnlineMessage& message) {
  dialog.Item<CEdit>(IDC_FORMAT).SetLimitText(static_cast<UINT>(kDisplayFormatCapacity));
  dialog.SetDlgItemText(IDC_FORMAT, message.GetFormat().c_str());
}

void Enable(CDialog& dialog, int id, bool enable) {
  if (CWnd* control = dialog.GetDlgItem(id)) control->EnableWindow(enable ? TRUE : FALSE);
}

constexpr int kEntryFields[] = {IDC_ENTRY_INDEX, IDC_LENGTH, IDC_DATE, IDC_HOUR, IDC_FORMAT, IDC_RECEIVED};
constexpr int kEntryButtons[] = {IDC_PREVIOUS_ENTRY, IDC_NEXT_ENTRY, IDC_DELETE, IDC_CLEAR_ALL};
constexpr int kAddressFields[] = {IDC_SOURCE_IDENTIFIER, IDC_SOURCE_SEGMENT, IDC_DESTINATION_IDENTIFIER,
                                  IDC_DESTINATION_SEGMENT};

}  // namespace

std::string_view MessageSendStatus(std::uint32_t code) {
  if (code == kCheckOk) return "Message in sending queue";
  if (code == kCheckInvalidFormat) return "Invalid format";
  return "Transmission error";
}

std::string_view SendReportText(std::uintptr_t code) {
  switch (code) {
    case 0: return "without acknowledge";
    case 4: return "with positive acknowledge, without retry";
    case 8: return "without acknowledge after retry(s)";
    case 12: return "with positive acknowledge after retry(s)";
    case 16: return "bad RP_MSG_NOACK frame in transmission";
    case 20: return "with negative acknowledge, without retry";
    case 28: return "with negative acknowledge without retry(s)";
    default: return {};
  }
}

// ---- transmitted

CFipMesTransDlg::CFipMesTransDlg(OnlineMessage& message)
    : CHostedLinkDlg(IDD_FIP_MES_TRANS, kFrameMesTransmitted), message_(message) {
  const auto clear_status = [this] {
    SetDlgItemText(IDC_STATUS_LINE_1, "");
    SetDlgItemText(IDC_STATUS_LINE_2, "");
  };
  MapNotify(IDC_FORMAT, EN_CHANGE, clear_status);
  MapNotify(IDC_MESSAGE, EN_CHANGE, clear_status);
  MapNotify(IDC_SEND, BN_CLICKED, [this] { OnSend(); });
  MapMessage(WM_FIP_MES_REPORT, [this](WPARAM code, LPARAM) -> LRESULT {
    SetDlgItemText(IDC_STATUS_LINE_1, "Message sent :");
    SetDlgItemText(IDC_STATUS_LINE_2, std::string(SendReportText(code)).c_str());
    return 0;
  });
}

BOOL CFipMesTransDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ShowFormatOf(*this, message_);
  return TRUE;
}

void CFipMesTransDlg::Report(std::uint8_t code) { ::PostMessage(DialogWindow(), WM_FIP_MES_REPORT, code, 0); }

void CFipMesTransDlg::OnSend() {
  const CONFIG_CHECK_CODE code = message_.Send(GetDlgItemText(IDC_FORMAT), GetDlgItemText(IDC_MESSAGE));
  SetDlgItemText(IDC_STATUS_LINE_1, std::string(MessageSendStatus(code)).c_str());
  SetDlgItemText(IDC_STATUS_LINE_2, "");
}

// ---- received

CFipMesRecuDlg::CFipMesRecuDlg(OnlineMessage& message, const OnlineLocks& locks)
    : CFipMesRecuDlg(IDD_FIP_MES_RECU, message, locks) {}

CFipMesRecuDlg::CFipMesRecuDlg(UINT template_id, OnlineMessage& message, const OnlineLocks& locks)
    : CHostedLinkDlg(template_id, kFrameMesReceived), message_(message), locks_(locks) {
  MapNotify(IDC_PREVIOUS_ENTRY, BN_CLICKED, [this] {
    if (number_ > 1) ShowEntry(static_cast<std::uint16_t>(number_ - 1));
  });
  MapNotify(IDC_NEXT_ENTRY, BN_CLICKED, [this] { ShowEntry(static_cast<std::uint16_t>(number_ + 1)); });
  MapNotify(IDC_DELETE, BN_CLICKED, [this] { OnDelete(); });
  MapNotify(IDC_CLEAR_ALL, BN_CLICKED, [this] { OnClearAll(); });
  MapNotify(IDC_FORMAT, EN_CHANGE, [this] { OnFormatChanged(); });
  MapMessage(WM_FIP_MES_SHOW, [this](WPARAM, LPARAM) -> LRESULT {
    OnShow();
    return 0;
  });
  MapMessage(WM_FIP_MES_FIRST, [this](WPARAM, LPARAM) -> LRESULT {
    OnFirst();
    return 0;
  });
  MapMessage(WM_FIP_MES_MORE, [this](WPARAM, LPARAM) -> LRESULT {
    Enable(*this, IDC_NEXT_ENTRY, true);
    return 0;
  });
}

std::vector<int> CFipMesRecuDlg::Fields() const { return {std::begin(kEntryFields), std::end(kEntryFields)}; }

std::vector<int> CFipMesRecuDlg::Labels() const {
  std::vector<int> labels{IDC_ENTRY_LABELS, IDC_ENTRY_LABELS + 1, IDC_ENTRY_LABELS + 2, IDC_ENTRY_LABELS + 3,
                          IDC_ENTRY_LABELS + 8, IDC_ENTRY_LABELS + 9};
  return labels;
}

BOOL CFipMesRecuDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ShowFormat();
  ShowAddresses();
  // The first entry's fields; the message then formats it (ShowEntry(1) of its opening).
  const auto [count, first] = message_.EntryWithCount(1);
  if (first)
    ShowFields(*first, count);
  else
    ClearView();
  return TRUE;
}

void CFipMesRecuDlg::ShowFields(const MES_PILE& entry, std::size_t count) {
  number_ = entry.number;
  length_ = entry.length;
  date_ = entry.date;
  hour_ = entry.time;
  data_ = entry.data;
  SetDlgItemText(IDC_ENTRY_INDEX, qui::FormatString("%d", number_).c_str());
  SetDlgItemText(IDC_LENGTH, qui::FormatString("%d", length_).c_str());
  SetDlgItemText(IDC_DATE, date_.data());
  SetDlgItemText(IDC_HOUR, hour_.data());
  Enable(*this, IDC_PREVIOUS_ENTRY, number_ != 1);
  Enable(*this, IDC_NEXT_ENTRY, number_ != count);
}

void CFipMesRecuDlg::ShowFormat() {
  const bool clearing = std::exchange(clearing_, true);
  ShowFormatOf(*this, message_);
  clearing_ = clearing;
}

void CFipMesRecuDlg::ShowEntry(std::uint16_t number) {
  const auto [count, entry] = message_.EntryWithCount(number);
  if (!entry) return;
  ShowFields(*entry, count);
  message_.ShowEntry(number_);
}

void CFipMesRecuDlg::Show(std::string_view text) {
  text_ = text;
  ::PostMessage(DialogWindow(), WM_FIP_MES_SHOW, 0, 0);
}

void CFipMesRecuDlg::EntryAdded(bool first) {
  ::PostMessage(DialogWindow(), first ? WM_FIP_MES_FIRST : WM_FIP_MES_MORE, 0, 0);
}

void CFipMesRecuDlg::OnShow() {
  std::string text;
  {
    std::lock_guard lock(locks_.message_dialog);
    text = text_;
  }
  // A view cleared meanwhile shows nothing.
  if (number_ != 0) SetDlgItemText(IDC_RECEIVED, text.c_str());
}

void CFipMesRecuDlg::OnFirst() {
  EnableView();
  ShowFormat();
  ShowAddresses();
  ShowEntry(1);
}

void CFipMesRecuDlg::OnFormatChanged() {
  if (clearing_) return;
  message_.SetFormat(GetDlgItemText(IDC_FORMAT));
  if (number_ != 0) message_.ShowEntry(number_);
}

void CFipMesRecuDlg::OnDelete() {
  clearing_ = true;
  const std::size_t left = message_.DeleteEntry(number_);
  if (left != 0)
    ShowEntry(static_cast<std::uint16_t>(std::min<std::size_t>(left, number_)));
  else
    ClearView();
  clearing_ = false;
  message_.ResetLossCounter();
}

void CFipMesRecuDlg::OnClearAll() {
  clearing_ = true;
  message_.ClearStack();
  ClearView();
  clearing_ = false;
  message_.ResetLossCounter();
}

void CFipMesRecuDlg::ClearView() {
  number_ = length_ = 0;
  date_.fill('\0');
  hour_.fill('\0');
  data_.clear();
  data_.shrink_to_fit();
  const bool clearing = std::exchange(clearing_, true);
  for (int id : Fields()) {
    SetDlgItemText(id, "");
    Enable(*this, id, false);
  }
  for (int id : Labels()) Enable(*this, id, false);
  for (int id : kEntryButtons) Enable(*this, id, false);
  clearing_ = clearing;
}

void CFipMesRecuDlg::EnableView() {
  for (int id : Fields()) Enable(*this, id, true);
  for (int id : Labels()) Enable(*this, id, true);
  for (int id : kEntryButtons) Enable(*this, id, true);
}

// ---- received, unconfigured

CFipMesNewDlg::CFipMesNewDlg(OnlineMessage& message, const OnlineLocks& locks)
    : CFipMesRecuDlg(IDD_FIP_MES_NEW, message, locks) {}

void CFipMesNewDlg::ShowAddresses() {
  const records::MESSAGE4& record = message_.Record();
  SetDlgItemText(IDC_SOURCE_IDENTIFIER, qui::FormatString("%X", record.source_identifier).c_str());
  SetDlgItemText(IDC_SOURCE_SEGMENT, qui::FormatString("%d", record.source_segment).c_str());
  SetDlgItemText(IDC_DESTINATION_IDENTIFIER, qui::FormatString("%X", record.destination_identifier).c_str());
  SetDlgItemText(IDC_DESTINATION_SEGMENT, qui::FormatString("%d", record.destination_segment).c_str());
}

std::vector<int> CFipMesNewDlg::Fields() const {
  std::vector<int> fields = CFipMesRecuDlg::Fields();
  fields.insert(fields.end(), std::begin(kAddressFields), std::end(kAddressFields));
  return fields;
}

std::vector<int> CFipMesNewDlg::Labels() const {
  std::vector<int> labels = CFipMesRecuDlg::Labels();
  for (int i = 4; i < 8; ++i) labels.push_back(IDC_ENTRY_LABELS + i);
  return labels;
}

}  // namespace plandrel
