#include "editor_dialogs.h"

#include "edition_lst_ap_dlg.h"
#include "edition_mes_dlg.h"
#include "edition_sta_dlg.h"
#include "edition_var_dlg.h"
#include "model/plandrel_doc.h"
#include "liste_dlg.h"
#include "select_var_id_dlg.h"
#include "source_dest_dlgs.h"
#include "station_dlgs.h"

namespace plandrel {

void RegisterEditorDialogs() {
  RegisterEditionMesDialog();
  RegisterSelectVarIdDialog();
  RegisterEditionVarDialog();
  RegisterSourceDestDialogs();
  RegisterStationDialogs();
  RegisterEditionStaDialog();
  RegisterEditionLstApDialog();
  RegisterListeDialog();
}

INT_PTR EditVariable(const EditorContext& context, CWnd* parent, std::size_t index, bool new_record) {
  if (index >= context.document.Records().variables.size()) return IDCANCEL;
  CEditionVarDlg dialog(parent, context, static_cast<int>(index), new_record ? 1 : 0);
  return dialog.DoModal() == IDOK ? IDOK : IDCANCEL;
}

INT_PTR EditMessage(const EditorContext& context, CWnd* parent, std::size_t index) {
  if (index >= context.document.Records().messages.size()) return IDCANCEL;
  CEditionMesDlg dialog(parent, context, static_cast<int>(index));
  return dialog.DoModal() == IDOK ? IDOK : IDCANCEL;
}

INT_PTR EditStation(const EditorContext& context, CWnd* parent, std::size_t index) {
  if (index >= context.document.Records().station_count) return IDCANCEL;
  CEditionStaDlg dialog(parent, context, index);
  return dialog.DoModal() == IDOK ? IDOK : IDCANCEL;
}

INT_PTR EditList(const EditorContext& context, CWnd* parent, std::size_t index) {
  if (index >= context.document.Records().lists.size()) return IDCANCEL;
  CEditionLstApDlg dialog(parent, context, index);
  return dialog.DoModal() == IDOK ? IDOK : IDCANCEL;
}

}  // namespace plandrel
