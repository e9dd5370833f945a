// CRefreshData: the small modal dialog in which the user sets how often the variables display
// refreshes its values. The caller sets period_text to the current period ("%d") before DoModal
// and, on IDOK, takes RefreshPeriodOf(period_text) as the new period for the display and the
// session.
#pragma once

#include <string>
#include <string_view>

#include "ui/afxwin.h"

namespace plandrel {

inline constexpr unsigned IDD_REFRESH_DATA = 103;
inline constexpr int IDC_REFRESH_PERIOD = 1008;

// Bounds of the period in milliseconds: below the session thread's 100 ms pass a refresh shows
// nothing new (and 0 would make the refresh thread spin); above, what the period's int holds.
inline constexpr int kMinRefreshPeriod = 100;
inline constexpr int kMaxRefreshPeriod = 0x7FFFFFFF;
inline constexpr int kInitialRefreshPeriod = 1000;

// Registers template 103 ("Data Refreshment": the label, the digits-only edit 1008, OK, Cancel).
void RegisterRefreshDataTemplate();

// The period of an accepted text: its decimal value held to the bounds (an empty text gives the
// lower bound, digits beyond the upper bound the upper bound; characters other than digits are
// not counted).
int RefreshPeriodOf(std::string_view text);

class CRefreshData : public CDialog {
 public:
  explicit CRefreshData(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;

  std::string period_text;
};

}  // namespace plandrel
