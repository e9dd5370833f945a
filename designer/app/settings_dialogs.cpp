#include "settings_dialogs.h"

#include "config_gene_dlg.h"
#include "model/plandrel_doc.h"
#include "param_prog_def_dlg.h"
#include "prog_ba_dlg.h"

namespace plandrel {

void RegisterSettingsDialogs() {
  RegisterConfigGeneTemplate();
  RegisterProgBaTemplate();
  RegisterParamProgDefTemplate();
}

void RunGeneralSettings(CWnd* parent, FrameHost& host, CArbreCtrl* tree) {
  CPlandrelDoc* document = host.Document();
  if (document == nullptr || document->IsUntouched()) return;
  CConfigGeneDlg dialog(parent, *document, host.Timing(), host.IsOnline(), tree);
  dialog.DoModal();
}

void RunBaProgramEditor(CWnd* parent, FrameHost& host) {
  CPlandrelDoc* document = host.Document();
  if (document == nullptr || document->IsUntouched() || document->Records().param.ba_size == 0) return;
  CProgBADlg dialog(parent, *document, host.Timing(), host.IsOnline());
  dialog.DoModal();
}

}  // namespace plandrel
