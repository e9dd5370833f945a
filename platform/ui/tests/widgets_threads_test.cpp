// Threads meeting real widgets: sends served inside modal loops, a worker's message box shown by the
// main thread, posts dispatched by Qt's loop in order, the power broadcast raised from a worker,
// sends in a row with the loop idle afterwards, device notifications.
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
#include <chrono>
#include <clocale>
#include <ctime>
#include <future>
#include <thread>

#include "widgets_fixture.h"
#include "win32/device_notify.h"

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

// A worker's sends are served by the main loop, which spins for them only while they come: left
// idle, it sleeps.
TEST_F(Widgets, TheMainLoopServesSendsInARowAndSleepsOnceTheyStop) {
    struct Target : Echo {
        LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
            if (message == WM_USER + 1) QCoreApplication::exit(0);
            return Echo::WindowProc(message, w, l);
        }
    } main;
    ASSERT_TRUE(main.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0));
    const HWND target = main.m_hWnd;
    int wrong = 0;
    double idleCpuSeconds = 0;
    std::thread worker([&] {
        for (WPARAM i = 0; i < 2000; ++i)
            if (SendMessage(target, WM_USER, i, 0) != static_cast<LRESULT>(i) + 1) ++wrong;
        const std::clock_t before = std::clock();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        idleCpuSeconds = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        PostMessage(target, WM_USER + 1, 0, 0);
    });
    QCoreApplication::exec();
    worker.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(idleCpuSeconds, 0.1) << "processor time of the process while the loop is idle";
}

// The platform's device notifications reach a window as a send, served on the window's thread.
TEST_F(Widgets, DeviceNotificationsReachTheWindowOnItsThread) {
    struct Listener : CWnd {
        std::vector<std::pair<std::string, bool>> got;
        LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
            if (message != WM_DEVICECHANGE) return CWnd::WindowProc(message, w, l);
            const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(l);
            got.emplace_back(std::string(w == DBT_DEVICEARRIVAL ? "+" : "-") + record->dbcc_name, qui::IsMainThread());
            if (got.size() == 2) QCoreApplication::exit(0);
            return TRUE;
        }
    } listener;
    ASSERT_TRUE(listener.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0));
    const GUID kind = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kind;
    const HDEVNOTIFY registration = RegisterDeviceNotificationA(listener.m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(registration, nullptr);
    std::thread device([&] {
        qwin32::announceDeviceInterface(kind, "board-a", DBT_DEVICEARRIVAL);
        qwin32::announceDeviceInterface(GUID{}, "another class", DBT_DEVICEARRIVAL);
        qwin32::announceDeviceInterface(kind, "board-a", DBT_DEVICEREMOVECOMPLETE);
    });
    QCoreApplication::exec();
    device.join();
    EXPECT_EQ(listener.got, (std::vector<std::pair<std::string, bool>>{{"+board-a", true}, {"-board-a", true}}));
    EXPECT_TRUE(UnregisterDeviceNotification(registration));
    EXPECT_FALSE(UnregisterDeviceNotification(registration)) << "a registration closes once";
}


}  // namespace
