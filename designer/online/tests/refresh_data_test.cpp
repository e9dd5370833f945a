// The refresh period dialog without a display: what it opens with, what OK and Cancel leave, the
// digits-only edit, and the period that a text stands for.
#include <gtest/gtest.h>

#include "online/refresh_data.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

class RefreshDataTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterRefreshDataTemplate(); }
  void TearDown() override { qui::ClearResources(); }

  // Opens the dialog on `period`, types `typed` (unless null) and ends it with OK or Cancel.
  INT_PTR Run(CRefreshData& dialog, int period, const char* typed, bool ok) {
    dialog.period_text = std::to_string(period);
    qui::testing::ScriptedDialogs script([&](CDialog& d) {
      shown = d.GetDlgItemText(IDC_REFRESH_PERIOD);
      if (typed) d.TypeDlgItemText(IDC_REFRESH_PERIOD, typed);
      after_typing = d.GetDlgItemText(IDC_REFRESH_PERIOD);
      if (ok) d.PressEnter(); else d.PressEscape();
    });
    return dialog.DoModal();
  }
  std::string shown, after_typing;
};

TEST_F(RefreshDataTest, OpensOnTheCurrentPeriodAndOkTakesTheTypedOne) {
  CRefreshData dialog;
  EXPECT_EQ(Run(dialog, kInitialRefreshPeriod, "250", true), IDOK);
  EXPECT_EQ(shown, "1000");
  EXPECT_EQ(dialog.period_text, "250");
  EXPECT_EQ(RefreshPeriodOf(dialog.period_text), 250);
  EXPECT_EQ(dialog.Template()->caption, "Data Refreshment");
}

TEST_F(RefreshDataTest, CancelKeepsThePeriod) {
  CRefreshData dialog;
  EXPECT_EQ(Run(dialog, 1000, "5", false), IDCANCEL);
  EXPECT_EQ(dialog.period_text, "1000");
}

TEST_F(RefreshDataTest, TheEditTakesDigitsOnly) {
  for (const auto& [typed, kept] : std::vector<std::pair<const char*, const char*>>{
           {"-25", "25"}, {"1a2b3", "123"}, {"+7", "7"}, {"abc", ""}, {"0x10", "010"}, {" 42 ", "42"}}) {
    CRefreshData dialog;
    Run(dialog, 1000, typed, true);
    EXPECT_EQ(after_typing, kept) << typed;
    EXPECT_EQ(dialog.period_text, kept) << typed;
  }
}

TEST(RefreshPeriodOfTest, HoldsThePeriodToItsBounds) {
  EXPECT_EQ(RefreshPeriodOf(""), kMinRefreshPeriod) << "0 would make the refresh thread spin";
  EXPECT_EQ(RefreshPeriodOf("0"), kMinRefreshPeriod);
  EXPECT_EQ(RefreshPeriodOf("99"), kMinRefreshPeriod);
  EXPECT_EQ(RefreshPeriodOf("100"), 100);
  EXPECT_EQ(RefreshPeriodOf("0001500"), 1500);
  EXPECT_EQ(RefreshPeriodOf("2147483647"), kMaxRefreshPeriod);
  EXPECT_EQ(RefreshPeriodOf("2147483648"), kMaxRefreshPeriod);
  EXPECT_EQ(RefreshPeriodOf("99999999999999999999999999"), kMaxRefreshPeriod);
}

}  // namespace
}  // namespace plandrel
