// The system's power broadcast: the login manager's PrepareForSleep signal on the system bus becomes
// WM_POWERBROADCAST (suspend before sleeping, resume after) sent to the main window. Where no system
// bus or login manager answers, nothing is connected and no broadcast comes.
#include <QDBusConnection>
#include <QObject>

#include "ui_internal.h"

namespace qui::detail {

class PowerWatch : public QObject {
    Q_OBJECT
public slots:
    void prepareForSleep(bool sleeping) { qui::RaisePowerBroadcast(sleeping ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC); }
};

namespace {
PowerWatch* watch = nullptr;
}

void StartPowerWatch() {
    if (watch) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    watch = new PowerWatch;
    if (!bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                     watch, SLOT(prepareForSleep(bool)))) {
        delete watch;
        watch = nullptr;
    }
}

bool PowerWatchConnected() { return watch != nullptr; }

void StopPowerWatch() {
    delete watch;
    watch = nullptr;
}

}  // namespace qui::detail

bool qui::PowerBroadcastConnected() { return qui::detail::PowerWatchConnected(); }

#include "power.moc"
