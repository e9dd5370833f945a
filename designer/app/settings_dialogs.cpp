#include "settings_dialogs.h"

#include <cstdint>
#include <optional>

#include "config_gene_dlg.h"
#include "model/plandrel_doc.h"
#include "param_prog_def_dlg.h"
#include "prog_ba_dlg.h"
#include "select_var_id_dlg.h"

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
  // An ID_DAT or ID_MSG identifier is chosen among the configured variables, or typed, in the picker.
  dialog.SetIdentifierPicker([document](CWnd& owner) -> std::optional<std::uint16_t> {
    std::uint16_t identifier = 0;
    CSelectVarIdDlg picker(&owner, document->Records(), identifier);
    if (picker.DoModal() != IDOK) return std::nullopt;
    return identifier;
  });
  dialog.DoModal();
}

}  // namespace plandrel
