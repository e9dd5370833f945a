// CEditionLstApDlg: the aperiodic list editor (dialog 199). It edits one LISTE_APER: its name, its
// sending mode and up to 64 identifiers added through the identifier selection dialog. OK checks the
// typed name as a candidate and writes the record only when it passes; an emptied list is removed
// from the document after a confirmation. Either way the lists working file is rewritten.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ui/afxwin.h"

#include "editor_context.h"

namespace plandrel {

inline constexpr UINT IDD_EDITION_LST_AP = 199;
inline constexpr int IDC_LIST_NAME = 1025;
inline constexpr int IDC_LIST_NORMAL = 1206;
inline constexpr int IDC_LIST_URGENT = 1205;
inline constexpr int IDC_LIST_IDENTIFIERS = 1045;
inline constexpr int IDC_LIST_ADD = 3;
inline constexpr int IDC_LIST_DELETE_IDENTIFIERS = 1060;

void RegisterEditionLstApDialog();

class CEditionLstApDlg : public CDialog {
 public:
  CEditionLstApDlg(CWnd* parent, const EditorContext& context, std::size_t index);

  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  static std::string Title(std::string_view name);
  void OnAdd();
  void OnDeleteIdentifiers();

  EditorContext context_;
  std::size_t index_ = 0;
  bool valid_ = false;  // the index names a list
  int changed_ = 0;     // identifiers were added or deleted
};

}  // namespace plandrel
