// Threads meeting real widgets: sends served inside modal loops, a worker's message box shown by the
// main thread, posts dispatched by Qt's loop in order, the power broadcast raised from a worker.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <atomic>
#include <clocale>
#include <future>
#include <thread>

#include "widgets_fixture.h"

namespace {

using namespace widgets_test;

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


TEST_F(Widgets, ListsChangedByAWorkerAreShownWholeByTheMainThread) {
    constexpr UINT kListsDialog = 720;
    constexpr int kList = 1201, kCombo = 1202;
    qui::RegisterDialog({kListsDialog, 160, 100, "Lists", "MS Shell Dlg", 8, qui::kModalFrame | qui::kSystemMenu,
                         {{kList, qui::ControlKind::ListBox, 7, 7, 70, 80, "", qui::kMultipleSelection},
                          {kCombo, qui::ControlKind::ComboBox, 83, 7, 70, 80, "", qui::kDropDownList}}});
    CDialog dialog(kListsDialog);
    ASSERT_TRUE(dialog.Create(kListsDialog, nullptr));
    dialog.ShowWindow(SW_SHOW);
    auto& list = dialog.Item<CListBox>(kList);
    auto& combo = dialog.Item<CComboBox>(kCombo);
    list.AddString("kept");
    std::thread worker([&] {
        for (const char* t : {"one", "two", "three"}) {
            list.AddString(t);
            combo.AddString(t);
        }
        list.DeleteString(0);
        list.SetSel(1, TRUE);
        combo.SetCurSel(2);
    });
    worker.join();
    QCoreApplication::processEvents();  // the main thread shows what the worker changed
    auto* l = qobject_cast<QListWidget*>(list.widget());
    auto* c = qobject_cast<QComboBox*>(combo.widget());
    ASSERT_EQ(l->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(l->item(i)->text().toStdString(), list.GetText(i));
        EXPECT_EQ(l->item(i)->isSelected(), list.GetSel(i) > 0);
    }
    ASSERT_EQ(c->count(), 3);
    EXPECT_EQ(c->currentIndex(), 2);
    // Changes on the main thread go on one by one from there.
    list.InsertString(0, "first");
    EXPECT_EQ(l->item(0)->text().toStdString(), "first");
    dialog.DestroyWindow();
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


}  // namespace
