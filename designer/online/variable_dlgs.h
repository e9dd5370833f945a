// The variable dialogs in their frames: CFipVarProdDlg (template 147) writes a variable that the
// local station produces, CFipVarConsDlg (146) shows one that it consumes, with its refreshment
// and promptness statuses, as the session thread publishes them (WM_FIP_VAR_UPDATE).
#pragma once

#include <string_view>

#include "online/frame_dlg.h"
#include "online/online_host.h"

namespace plandrel {

class OnlineVariable;

// The produced dialog's status after a Send: "Variable sent", "Invalid format" or "Transmission error".
std::string_view VariableSendStatus(std::uint32_t code);

class CFipVarProdDlg final : public CHostedLinkDlg<VariableDialogLink> {
 public:
  explicit CFipVarProdDlg(OnlineVariable& variable);

  BOOL OnInitDialog() override;
  // A produced variable gets no updates.
  void Update(const VariableSnapshot&) override {}

 private:
  void OnSend();

  OnlineVariable& variable_;
};

class CFipVarConsDlg final : public CHostedLinkDlg<VariableDialogLink> {
 public:
  CFipVarConsDlg(OnlineVariable& variable, const OnlineLocks& locks);

  BOOL OnInitDialog() override;
  // Under csVariableDialog (the session thread, or the main thread at opening): the state to
  // show, then WM_FIP_VAR_UPDATE.
  void Update(const VariableSnapshot& snapshot) override;

  // The state last shown.
  const VariableSnapshot& Shown() const { return shown_; }

 private:
  void OnUpdate();
  void OnFormatChanged();
  // The four radios as the state last shown has them.
  void ShowStatuses();

  OnlineVariable& variable_;
  OnlineLocks locks_;
  VariableSnapshot pending_;  // guarded by csVariableDialog
  VariableSnapshot shown_;
};

}  // namespace plandrel
