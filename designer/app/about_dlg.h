// CAboutDlg: the about box (dialog 100, "About Plandrel"). Its version line names the installed
// distribution, read from the machine's registry value "Distrib".
#pragma once

#include "ui/afxwin.h"

#include <string>

namespace plandrel {

inline constexpr UINT IDD_ABOUTBOX = 100;
inline constexpr int IDC_ABOUT_VERSION = 1208;

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  BOOL OnInitDialog() override;
};

// "Quorelle version " + the "Distrib" value of HKEY_LOCAL_MACHINE "SOFTWARE\Talvenor\Quorelle 5",
// or "Quorelle" when the key or the value cannot be read.
std::string AboutVersionLine();

// Registers dialog 100 with the class-library layer.
void RegisterAboutDialog();

}  // namespace plandrel
