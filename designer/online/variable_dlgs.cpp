#include "online/variable_dlgs.h"

#include <mutex>

#include "model/check_codes.h"
#include "model/display_format.h"
#include "online/designer_messages.h"
#include "online/online_resources.h"
#include "online/online_variable.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

// A radio pair showing a status: True or False when the status is valid, neither otherwise.
void ShowPair(CDialog& dialog, int true_id, int false_id, bool valid, bool value) {
  dialog.CheckDlgButton(true_id, valid && value ? BST_CHECKED : BST_UNCHECKED);
  dialog.CheckDlgButton(false_id, valid && !value ? BST_CHECKED : BST_UNCHECKED);
}

void ShowFormat(CDialog& dialog, const OnlineVariable& variable) {
  dialog.Item<CEdit>(IDC_FORMAT).SetLimitText(static_cast<UINT>(kDisplayFormatCapacity));
  dialog.SetDlgItemText(IDC_FORMAT, variable.GetFormat().c_str());
}

}  // namespace

std::string_view VariableSendStatus(std::uint32_t code) {
  if (code == kCheckOk) return "Variable sent";
  if (code == kCheckInvalidFormat) return "Invalid format";
  return "Transmission error";
}

// ---- produced

CFipVarProdDlg::CFipVarProdDlg(OnlineVariable& variable)
    : CHostedLinkDlg(IDD_FIP_VAR_PROD, kFrameVarProduced), variable_(variable) {
  const auto clear_status = [this] { SetDlgItemText(IDC_STATUS, ""); };
  MapNotify(IDC_FORMAT, EN_CHANGE, clear_status);
  MapNotify(IDC_BUFFER, EN_CHANGE, clear_status);
  MapNotify(IDC_SEND, BN_CLICKED, [this] { OnSend(); });
}

BOOL CFipVarProdDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ShowFormat(*this, variable_);
  return TRUE;
}

void CFipVarProdDlg::OnSend() {
  const CONFIG_CHECK_CODE code = variable_.Write(GetDlgItemText(IDC_FORMAT), GetDlgItemText(IDC_BUFFER));
  SetDlgItemText(IDC_STATUS, std::string(VariableSendStatus(code)).c_str());
}

// ---- consumed

CFipVarConsDlg::CFipVarConsDlg(OnlineVariable& variable, const OnlineLocks& locks)
    : CHostedLinkDlg(IDD_FIP_VAR_CONS, kFrameVarConsumed), variable_(variable), locks_(locks) {
  MapNotify(IDC_FORMAT, EN_CHANGE, [this] { OnFormatChanged(); });
  for (int id : {IDC_REFRESHMENT_TRUE, IDC_REFRESHMENT_FALSE, IDC_PROMPTNESS_TRUE, IDC_PROMPTNESS_FALSE})
    MapNotify(id, BN_CLICKED, [this] { ShowStatuses(); });
  MapMessage(WM_FIP_VAR_UPDATE, [this](WPARAM, LPARAM) -> LRESULT {
    OnUpdate();
    return 0;
  });
}

BOOL CFipVarConsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ShowFormat(*this, variable_);
  ShowStatuses();
  return TRUE;
}

void CFipVarConsDlg::Update(const VariableSnapshot& snapshot) {
  pending_ = snapshot;
  ::PostMessage(DialogWindow(), WM_FIP_VAR_UPDATE, 0, 0);
}

void CFipVarConsDlg::OnUpdate() {
  {
    // The session thread rewrites the state under this lock: it is copied, then shown.
    std::lock_guard lock(locks_.variable_dialog);
    shown_ = pending_;
  }
  ShowStatuses();
  // The edit keeps the line it shows at the top when its text changes.
  if (GetDlgItemText(IDC_BUFFER) != shown_.value_text) SetDlgItemText(IDC_BUFFER, shown_.value_text.c_str());
}

void CFipVarConsDlg::OnFormatChanged() {
  variable_.SetFormat(GetDlgItemText(IDC_FORMAT));
  variable_.Reformat();
}

void CFipVarConsDlg::ShowStatuses() {
  const records::VARIABLE4& record = variable_.Record();
  ShowPair(*this, IDC_REFRESHMENT_TRUE, IDC_REFRESHMENT_FALSE, shown_.read_ok && record.refreshment_status != 0,
           shown_.refreshment_true);
  ShowPair(*this, IDC_PROMPTNESS_TRUE, IDC_PROMPTNESS_FALSE, shown_.read_ok && record.promptness_status != 0,
           shown_.promptness_true);
}

}  // namespace plandrel
