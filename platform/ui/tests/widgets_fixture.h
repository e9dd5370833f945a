// The fixture of the tests on real widgets: one QApplication on Qt's offscreen platform, adopted as
// the layer's main thread, and the dialog they share.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

#include "ui/afxcmn.h"
#include "ui/testing.h"

namespace widgets_test {

constexpr UINT kDialog = 600;
constexpr int kValue = 1001, kName = 1002;

class App : public CWinApp {
public:
    App() : CWinApp("Widgets") {}
    BOOL PreTranslateMessage(MSG* msg) override {
        seen.push_back(msg->message);
        return eatKeys && msg->message == WM_KEYDOWN;
    }
    std::vector<UINT> seen;
    bool eatKeys = false;
};

class Widgets : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QLocale::setDefault(QLocale(QLocale::German));
        qui::testing::StartOffscreenApplication("ui_widgets_test");
    }
    static void TearDownTestSuite() { qui::testing::EndOffscreenApplication(); }
    void SetUp() override {
        qui::RegisterDialog({kDialog, 160, 80, "Value", "MS Shell Dlg", 8, qui::kModalFrame | qui::kSystemMenu,
                             {{kValue, qui::ControlKind::Edit, 10, 10, 40, 12, "", 0},
                              {kName, qui::ControlKind::Edit, 60, 10, 60, 12, "", 0},
                              {IDOK, qui::ControlKind::PushButton, 30, 60, 50, 14, "OK", qui::kDefault},
                              {IDCANCEL, qui::ControlKind::PushButton, 90, 60, 50, 14, "Cancel", 0}}});
    }
    void TearDown() override { qui::ClearResources(); }
    App app;
};

class ValueDlg : public CDialog {
public:
    ValueDlg() : CDialog(kDialog) {
        MapNotify(kValue, EN_KILLFOCUS, [this] {
            ++validations;
            if (static_cast<int>(GetDlgItemInt(kValue)) > 10) {
                SetDlgItemInt(kValue, 10);
                AfxMessageBox("The maximum value is 10.");
            }
        });
    }
    void OnOK() override {
        GetDlgItem(IDOK)->SetFocus();
        stored = static_cast<int>(GetDlgItemInt(kValue));
        CDialog::OnOK();
    }
    QWidget* widgetOf(int id) { return GetDlgItem(id)->widget(); }
    int validations = 0, stored = -1;
};

inline void later(std::function<void()> fn) { QTimer::singleShot(0, qApp, std::move(fn)); }

}  // namespace widgets_test
