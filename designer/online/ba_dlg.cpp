#include "online/ba_dlg.h"

#include <mutex>

#include "online/ba_control.h"
#include "online/designer_messages.h"
#include "online/online_resources.h"

namespace plandrel {

CFipBaDlg::CFipBaDlg(BaControl& ba, const OnlineLocks& locks, bool own_program)
    : CHostedLinkDlg(IDD_FIP_BA, kFrameBaControl), ba_(ba), locks_(locks), own_program_(own_program) {
  MapNotify(IDC_BA_START, BN_CLICKED, [this] { ba_.Start(); });
  MapNotify(IDC_BA_STOP, BN_CLICKED, [this] { ba_.Stop(); });
  MapNotify(IDC_BA_CONTINUE, BN_CLICKED, [this] { ba_.Continue(sequence_); });
  MapNotify(IDC_BA_TOGGLE, BN_CLICKED, [this] { OnToggle(); });
  // A click on a radio changes nothing: they show the current sequence again.
  MapNotify(IDC_SEQUENCE_1, BN_CLICKED, [this] { ShowSequence(); });
  MapNotify(IDC_SEQUENCE_2, BN_CLICKED, [this] { ShowSequence(); });
  MapMessage(WM_FIP_BA_STATE, [this](WPARAM, LPARAM) -> LRESULT {
    OnState();
    return 0;
  });
  // Sent by the session thread: only a field is read.
  MapMessage(WM_FIP_BA_SEQUENCE, [this](WPARAM, LPARAM) -> LRESULT { return sequence_; });
}

BOOL CFipBaDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  sequence_ = own_program_ ? 1 : 0;
  if (!own_program_) {
    for (int id : {IDC_SEQUENCE_1, IDC_SEQUENCE_2, IDC_NEXT_SEQUENCE, IDC_BA_TOGGLE})
      if (CWnd* control = GetDlgItem(id)) control->EnableWindow(FALSE);
  }
  ShowSequence();
  return TRUE;
}

void CFipBaDlg::ShowSequence() {
  CheckDlgButton(IDC_SEQUENCE_1, sequence_ == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_SEQUENCE_2, sequence_ == 2 ? BST_CHECKED : BST_UNCHECKED);
}

void CFipBaDlg::OnToggle() {
  sequence_ = sequence_ == 1 ? 2 : 1;
  ShowSequence();
  // The last call: its message boxes may outlive the dialog.
  ba_.Change(sequence_);
}

void CFipBaDlg::State(std::string_view text) {
  state_text_ = text;
  ::PostMessage(DialogWindow(), WM_FIP_BA_STATE, 0, 0);
}

void CFipBaDlg::OnState() {
  std::string text;
  {
    std::lock_guard lock(locks_.ba_dialog);
    text = state_text_;
  }
  if (GetDlgItemText(IDC_BA_STATE) != text) SetDlgItemText(IDC_BA_STATE, text.c_str());
}

}  // namespace plandrel
