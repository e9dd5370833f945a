// The power broadcast over D-Bus: a private bus stands in for the system bus, a second connection
// owns the login manager's name and emits PrepareForSleep, and the main window gets
// WM_POWERBROADCAST on the main thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTimer>

#include "ui/afxwin.h"
#include "ui/testing.h"

namespace {

class Main : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        if (message == WM_POWERBROADCAST) {
            events.push_back(w);
            onMain.push_back(qui::IsMainThread());
            if (events.size() == 2) QCoreApplication::exit(0);
            return TRUE;
        }
        return CWnd::WindowProc(message, w, l);
    }
    std::vector<WPARAM> events;
    std::vector<bool> onMain;
};

TEST(Power, PrepareForSleepBecomesThePowerBroadcast) {
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1", "--nopidfile"});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) GTEST_SKIP() << "no dbus-daemon to stand in for the system bus";
    const QByteArray address = daemon.readLine().trimmed();
    ASSERT_FALSE(address.isEmpty());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);

    int argc = 1;
    char name[] = "ui_power_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    // The login manager: owns its name on the bus before the program watches it.
    QDBusConnection login = QDBusConnection::connectToBus(QString::fromUtf8(address), "login1");
    ASSERT_TRUE(login.isConnected());
    ASSERT_TRUE(login.registerService("org.freedesktop.login1"));

    CWinApp winApp("Power");
    Main window;
    ASSERT_TRUE(window.Create(nullptr, "", 0, RECT{0, 0, 1, 1}, nullptr, 0));
    winApp.m_pMainWnd = &window;
    qui::testing::AttachMainThread();
    qui::testing::WatchPowerBroadcast();
    ASSERT_TRUE(qui::PowerBroadcastConnected());

    QTimer::singleShot(50, [&] {
        for (bool sleeping : {true, false}) {
            QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                                             "PrepareForSleep");
            signal << sleeping;
            login.send(signal);
        }
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(window.events, (std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC}));
    EXPECT_EQ(window.onMain, (std::vector<bool>{true, true}));

    winApp.m_pMainWnd = nullptr;
    window.DestroyWindow();
    qui::testing::DetachMainThread();
    QDBusConnection::disconnectFromBus("login1");
    daemon.kill();
    daemon.waitForFinished(5000);
}

TEST(Power, WithoutALoginManagerNothingIsWatched) {
    if (qgetenv("DBUS_SYSTEM_BUS_ADDRESS").startsWith("unix:abstract") || qgetenv("DBUS_SYSTEM_BUS_ADDRESS").startsWith("unix:path=/tmp"))
        GTEST_SKIP() << "this process already made a bus";
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorelle-test-bus");
    int argc = 1;
    char name[] = "ui_power_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    qui::testing::AttachMainThread();
    qui::testing::WatchPowerBroadcast();
    EXPECT_FALSE(qui::PowerBroadcastConnected());
    qui::testing::DetachMainThread();
}

}  // namespace
