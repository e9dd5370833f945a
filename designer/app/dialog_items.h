// Small helpers over a dialog's controls by identifier.
#pragma once

#include <initializer_list>

#include "ui/afxwin.h"

namespace plandrel {

// Enables or disables each control of `ids` that the dialog has.
inline void EnableDlgItems(CWnd& dialog, std::initializer_list<int> ids, bool enable) {
  for (const int id : ids)
    if (CWnd* control = dialog.GetDlgItem(id)) control->EnableWindow(enable ? TRUE : FALSE);
}

}  // namespace plandrel
