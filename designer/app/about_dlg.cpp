#include "about_dlg.h"

#include <cstring>

#include "win32/windows.h"

namespace plandrel {

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(IDC_ABOUT_VERSION, AboutVersionLine().c_str());
  return TRUE;
}

std::string AboutVersionLine() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvenor\\Quorelle 5", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return "Quorelle";
  char value[261] = {};  // up to 260 bytes and a terminator of our own
  DWORD size = 260;
  DWORD type = 0;
  const LSTATUS read =
      RegQueryValueExA(key, "Distrib", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return "Quorelle";
  return std::string("Quorelle version ") + std::string(value, ::strnlen(value, size));
}

void RegisterAboutDialog() {
  using qui::ControlKind;
  qui::RegisterDialog(
      {IDD_ABOUTBOX,
       235,
       62,
       "About Plandrel",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_STATIC, ControlKind::Icon, 11, 17, 20, 20, "", 0, 128},
           {IDC_ABOUT_VERSION, ControlKind::Static, 40, 10, 119, 8, "Quorelle"},
           {IDC_STATIC, ControlKind::Static, 40, 25, 119, 8, "Kernala version 5.3"},
           {IDOK, ControlKind::PushButton, 178, 7, 50, 14, "OK", qui::kDefault | qui::kGroup},
       }});
}

}  // namespace plandrel
