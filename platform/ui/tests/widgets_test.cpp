// Real widgets on Qt's offscreen platform: validation on focus loss before OK with the keyboard and
// the mouse, sends served inside nested modal loops, a worker's message box shown by the main
// thread, timers, the message hook and the "C" numeric locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <clocale>
#include <future>
#include <thread>

#include "ui/afxcmn.h"
#include "ui/testing.h"

namespace {

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
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "ui_widgets_test";
        static char* argv[] = {name, nullptr};
        QLocale::setDefault(QLocale(QLocale::German));
        qapp = new QApplication(argc, argv);
        qui::testing::AttachMainThread();
    }
    static void TearDownTestSuite() {
        qui::testing::DetachMainThread();
        delete qapp;
        qapp = nullptr;
    }
    void SetUp() override {
        qui::RegisterDialog({kDialog, 160, 80, "Value", "MS Shell Dlg", 8, qui::kModalFrame | qui::kSystemMenu,
                             {{kValue, qui::ControlKind::Edit, 10, 10, 40, 12, "", 0},
                              {kName, qui::ControlKind::Edit, 60, 10, 60, 12, "", 0},
                              {IDOK, qui::ControlKind::PushButton, 30, 60, 50, 14, "OK", qui::kDefault},
                              {IDCANCEL, qui::ControlKind::PushButton, 90, 60, 50, 14, "Cancel", 0}}});
    }
    void TearDown() override { qui::ClearResources(); }
    static QApplication* qapp;
    App app;
};
QApplication* Widgets::qapp = nullptr;

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

void later(std::function<void()> fn) { QTimer::singleShot(0, qApp, std::move(fn)); }

TEST_F(Widgets, EnterValidatesTheTypedValueBeforeOk) {
    qui::testing::ScriptedPrompts prompts;
    ValueDlg dlg;
    later([&] {
        QWidget* edit = dlg.widgetOf(kValue);
        edit->window()->activateWindow();
        edit->setFocus();
        QTest::keyClicks(edit, "50");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.stored, 10);
    EXPECT_EQ(dlg.validations, 1);
    ASSERT_EQ(prompts.Boxes().size(), 1u);
    EXPECT_EQ(prompts.Boxes()[0].text, "The maximum value is 10.");
}

TEST_F(Widgets, TabAndAMouseClickOnOkMoveTheFocusFirst) {
    qui::testing::ScriptedPrompts prompts;
    ValueDlg dlg;
    later([&] {
        QWidget* edit = dlg.widgetOf(kValue);
        QApplication::setActiveWindow(edit->window());
        edit->setFocus();
        QTest::keyClicks(edit, "7");
        QTest::keyClick(edit, Qt::Key_Tab);  // to the name: the value is checked (and kept)
        EXPECT_EQ(dlg.GetFocusedId(), kName);
        EXPECT_EQ(dlg.validations, 1);
        dlg.widgetOf(kValue)->setFocus();
        static_cast<QLineEdit*>(dlg.widgetOf(kValue))->setText("");
        QTest::keyClicks(dlg.widgetOf(kValue), "99");
        QTest::mouseClick(dlg.widgetOf(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.stored, 10);
    EXPECT_EQ(dlg.validations, 2);
    EXPECT_EQ(dlg.GetDlgItemText(kName), "");
}

class Echo : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        if (message == WM_USER) return static_cast<LRESULT>(w) + 1;
        return CWnd::WindowProc(message, w, l);
    }
};

TEST_F(Widgets, SendsAreServedInsideModalLoopsAndWorkerBoxesShowOnTheMainThread) {
    Echo main;
    ASSERT_TRUE(main.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0));
    const HWND target = main.m_hWnd;
    ValueDlg dlg;
    std::promise<LRESULT> fromDialogLoop, fromBoxLoop;
    std::promise<int> boxAnswer;
    std::atomic<bool> boxSendDone{false};
    std::thread worker, helper;
    later([&] {
        const HWND dialog = dlg.m_hWnd;
        worker = std::thread([&, dialog] {
            // Served while the main thread runs the dialog's loop.
            fromDialogLoop.set_value(SendMessage(target, WM_USER, 41, 0));
            // Shown by the main thread; this thread waits for the answer.
            boxAnswer.set_value(AfxMessageBox("From the worker", MB_OKCANCEL));
            PostMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 1);
        });
    });
    // While the box is up: a third thread's send is served, then the box is answered.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (!helper.joinable()) {
            helper = std::thread([&] {
                fromBoxLoop.set_value(SendMessage(target, WM_USER, 1, 0));
                boxSendDone = true;
            });
        }
        if (boxSendDone) box->button(QMessageBox::Cancel)->click();
    });
    poll.start(10);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    poll.stop();
    worker.join();
    helper.join();
    EXPECT_EQ(fromDialogLoop.get_future().get(), 42);
    EXPECT_EQ(fromBoxLoop.get_future().get(), 2);
    EXPECT_EQ(boxAnswer.get_future().get(), IDCANCEL);
}

TEST_F(Widgets, PostsToAMainThreadWindowAreDispatchedByTheLoop) {
    struct Counter : CWnd {
        std::vector<WPARAM> got;
        LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
            if (message == WM_USER) {
                got.push_back(w);
                if (got.size() == 100) QCoreApplication::exit(0);
                return 0;
            }
            return CWnd::WindowProc(message, w, l);
        }
    } counter;
    ASSERT_TRUE(counter.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0));
    std::thread poster([&] {
        for (WPARAM i = 0; i < 100; ++i) PostMessage(counter.m_hWnd, WM_USER, i, 0);
    });
    QCoreApplication::exec();
    poster.join();
    ASSERT_EQ(counter.got.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i) EXPECT_EQ(counter.got[i], i);
    // The application's hook saw them first.
    EXPECT_GE(std::count(app.seen.begin(), app.seen.end(), static_cast<UINT>(WM_USER)), 100);
}

TEST_F(Widgets, TheHookSeesKeysFirstAndMayTakeThem) {
    ValueDlg dlg;
    later([&] {
        QWidget* edit = dlg.widgetOf(kValue);
        app.eatKeys = true;
        QTest::keyClicks(edit, "12");
        app.eatKeys = false;
        QTest::keyClicks(edit, "3");
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.GetDlgItemText(kValue), "3");
    EXPECT_GE(std::count(app.seen.begin(), app.seen.end(), static_cast<UINT>(WM_KEYDOWN)), 3);
}

TEST_F(Widgets, TimersAndPopups) {
    struct Splash : CWnd {
        int ticks = 0;
        void OnTimer(UINT_PTR id) override {
            if (id == 1 && ++ticks == 3) {
                KillTimer(1);
                DestroyWindow();
                QCoreApplication::exit(0);
            }
        }
    } splash;
    ASSERT_TRUE(splash.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 40, 30, nullptr, 0));
    ASSERT_NE(splash.widget(), nullptr);
    EXPECT_TRUE(splash.widget()->isVisible());
    splash.SetTimer(1, 5, nullptr);
    QCoreApplication::exec();
    EXPECT_EQ(splash.ticks, 3);
    EXPECT_EQ(splash.m_hWnd, nullptr);
}

TEST_F(Widgets, ThePowerBroadcastRaisedFromAnyThreadReachesTheMainWindowOnTheMainThread) {
    struct Frame : CWnd {
        std::vector<std::pair<WPARAM, bool>> got;
        LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
            if (message == WM_POWERBROADCAST) {
                got.emplace_back(w, qui::IsMainThread());
                return TRUE;
            }
            return CWnd::WindowProc(message, w, l);
        }
    } frame;
    ASSERT_TRUE(frame.Create(nullptr, "", 0, RECT{0, 0, 1, 1}, nullptr, 0));
    app.m_pMainWnd = &frame;
    qui::RaisePowerBroadcast(PBT_APMSUSPEND);
    std::thread worker([] { qui::RaisePowerBroadcast(PBT_APMRESUMEAUTOMATIC); });  // served while we wait below
    while (frame.got.size() < 2) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    worker.join();
    EXPECT_EQ(frame.got, (std::vector<std::pair<WPARAM, bool>>{{PBT_APMSUSPEND, true}, {PBT_APMRESUMEAUTOMATIC, true}}));
    app.m_pMainWnd = nullptr;
}

TEST_F(Widgets, NumbersUseTheCLocale) {
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(QLocale().toString(0.5), "0.5");
    EXPECT_EQ(qui::FormatString("%g", 0.5), "0.5");
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    EXPECT_STREQ(buffer, "2.5");
}

}  // namespace

namespace {

constexpr UINT kFrame = 128, kSave = 57603, kConnect = 32783;

class Frame : public CMDIFrameWnd {
public:
    Frame() {
        MapUpdateCommand(kSave, [this](CCmdUI* ui) { ui->Enable(modified); });
        MapCommand(kConnect, [this] { ++connects; });
    }
    int OnCreate(LPCREATESTRUCT cs) override {
        CMDIFrameWnd::OnCreate(cs);
        toolBar.CreateEx(this);
        toolBar.LoadToolBar(kFrame);
        status.Create(this);
        const UINT panes[] = {ID_SEPARATOR, 1000, 1001, ID_INDICATOR_CAPS};
        status.SetIndicators(panes, 4);
        return 0;
    }
    CToolBar toolBar;
    CStatusBar status;
    bool modified = false;
    int connects = 0;
};

TEST_F(Widgets, AFrameShowsItsMenusBarsAndATreeInAChildFrame) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"&Save\tCtrl+S", kSave}, {}, {"E&xit", ID_APP_EXIT}}},
                               {"&Tools", 0, {{"&Connect", kConnect}}}});
    qui::RegisterToolBar(kFrame, {kSave, ID_SEPARATOR, kConnect});
    qui::RegisterStrings({{kFrame, "Plandrel"}, {kSave, "Save the configuration\nSave"}, {kConnect, "Connect\nConnect"},
                          {1000, "  CH1"}});
    Frame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    auto* main = qobject_cast<QMainWindow*>(frame.widget());
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->menuBar()->actions().size(), 2);

    // Opening the File menu runs the update handlers.
    QMenu* file = main->menuBar()->actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    QMetaObject::invokeMethod(file, "aboutToShow");
    EXPECT_FALSE(file->actions()[0]->isEnabled());
    frame.modified = true;
    QMetaObject::invokeMethod(file, "aboutToShow");
    EXPECT_TRUE(file->actions()[0]->isEnabled());
    // Choosing an entry posts its command to the frame.
    QMenu* tools = main->menuBar()->actions()[1]->menu();
    tools->actions()[0]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.connects, 1);

    // The idle update reaches the toolbar's buttons.
    frame.modified = false;
    frame.UpdateCommandUI();
    auto* bar = main->findChild<QToolBar*>("toolBar");
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 3);
    EXPECT_FALSE(bar->actions()[0]->isEnabled());
    EXPECT_EQ(bar->actions()[0]->toolTip(), "Save");
    frame.status.SetPaneText(1, "  CH1");
    EXPECT_NE(main->statusBar(), nullptr);

    // A tree in a child frame, lowered without activation below a second child.
    struct TreeFrame : CMDIChildWnd {};
    TreeFrame treeFrame, other;
    ASSERT_TRUE(treeFrame.Create(nullptr, "Tree", WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &frame));
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &treeFrame, 100));
    HTREEITEM root = tree.InsertItem("Network", 0, 0);
    tree.InsertItem("Station 1", 0, 0, root);
    tree.Expand(root, TVE_EXPAND);
    ASSERT_TRUE(other.Create(nullptr, "Variable", WS_CHILD | WS_VISIBLE, CRect(40, 40, 200, 150), &frame));
    treeFrame.SetWindowPos(&CWnd::wndBottom, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    QCoreApplication::processEvents();
    auto* view = qobject_cast<QTreeWidget*>(tree.widget());
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_EQ(view->topLevelItem(0)->child(0)->text(0), "Station 1");
    RECT r{};
    ASSERT_TRUE(tree.GetItemRect(root, &r, TRUE));
    UINT flags = 0;
    EXPECT_EQ(tree.HitTest(POINT{r.left + 2, (r.top + r.bottom) / 2}, &flags), root);
    EXPECT_TRUE(flags & TVHT_ONITEM);
    if (const char* shot = std::getenv("QUORELLE_UI_SHOT")) main->grab().save(shot);
    other.DestroyWindow();
    treeFrame.DestroyWindow();
    frame.DestroyWindow();
}

}  // namespace
