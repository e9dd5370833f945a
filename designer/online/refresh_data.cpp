#include "online/refresh_data.h"

#include <algorithm>
#include <cstdint>

namespace plandrel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void RegisterRefreshDataTemplate() {
  using qui::ControlKind;
  qui::RegisterDialog({IDD_REFRESH_DATA,
                       146,
                       58,
                       "Data Refreshment",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_STATIC, ControlKind::Static, 10, 12, 64, 10, "Refresh Time (ms)", 0},
                           {IDC_REFRESH_PERIOD, ControlKind::Edit, 78, 10, 58, 12, "", qui::kNumber},
                           {IDOK, ControlKind::PushButton, 16, 36, 50, 14, "OK", qui::kDefault},
                           {IDCANCEL, ControlKind::PushButton, 80, 36, 50, 14, "Cancel", 0},
                       }});
}

int RefreshPeriodOf(std::string_view text) {
  std::int64_t period = 0;
  for (const char c : text) {
    if (!IsDigit(c)) continue;
    period = std::min<std::int64_t>(period * 10 + (c - '0'), kMaxRefreshPeriod);
  }
  return static_cast<int>(std::max<std::int64_t>(period, kMinRefreshPeriod));
}

// The edit's digits-only style keeps anything else from being typed or pasted.
CRefreshData::CRefreshData(CWnd* parent) : CDialog(IDD_REFRESH_DATA, parent) {}

BOOL CRefreshData::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(IDC_REFRESH_PERIOD, period_text.c_str());
  return TRUE;
}

void CRefreshData::OnOK() {
  period_text = GetDlgItemText(IDC_REFRESH_PERIOD);
  CDialog::OnOK();
}

}  // namespace plandrel
