// The Qt side of the application: the main thread's wake-up and message dispatch, the service
// window through which other threads reach the main thread, the message hook, idle updates,
// timers, the power broadcast over D-Bus, and the Qt message boxes, file dialogs and popup menus.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <clocale>
#include <map>

#include "qt_support.h"
#include "ui_internal.h"

// Qt's event queue is guarded by Qt's own locks, which the thread sanitizer does not see in an
// uninstrumented Qt: the wake-up event made by a worker is handed to the main thread through an
// explicit release and acquire on one address, so that the hand-over is visible to it.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define QUI_HANDOVER_RELEASE(a) __tsan_release(a)
#define QUI_HANDOVER_ACQUIRE(a) __tsan_acquire(a)
#else
#define QUI_HANDOVER_RELEASE(a) static_cast<void>(a)
#define QUI_HANDOVER_ACQUIRE(a) static_cast<void>(a)
#endif

namespace qui::detail {
namespace {

int handover = 0;

constexpr UINT kCallMessage = WM_APP + 0x3FF0;
constexpr UINT kSyncMessage = WM_APP + 0x3FF1;
constexpr UINT kDeleteViewMessage = WM_APP + 0x3FF2;

// Runs the functions other threads hand to the main thread.
class ServiceWindow final : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kCallMessage) return (*reinterpret_cast<const std::function<LRESULT()>*>(wParam))();
        if (message == kSyncMessage) {
            if (CWnd* window = LookupWindow(reinterpret_cast<HWND>(wParam))) window->syncView();
            return 0;
        }
        if (message == kDeleteViewMessage) {
            delete reinterpret_cast<View*>(wParam);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class Dispatcher final : public QObject {
public:
    static constexpr QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::User + 0x51);
    bool event(QEvent* e) override {
        QUI_HANDOVER_ACQUIRE(&handover);
        if (e->type() != kWake) return QObject::event(e);
        DrainMainQueue(4096);
        int code = 0;
        if (TakeQuit(code)) QCoreApplication::exit(code);
        return true;
    }
};

// Input events become the platform's messages, so that the application's PreTranslateMessage
// sees them first and may take them.
class HookFilter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override {
        QUI_HANDOVER_ACQUIRE(&handover);
        UINT message = 0;
        WPARAM wParam = 0;
        switch (e->type()) {
            case QEvent::KeyPress: {
                auto* k = static_cast<QKeyEvent*>(e);
                message = (k->modifiers() & Qt::AltModifier) ? WM_SYSKEYDOWN : WM_KEYDOWN;
                wParam = static_cast<WPARAM>(k->nativeVirtualKey() ? k->nativeVirtualKey() : static_cast<quint32>(k->key()));
                break;
            }
            case QEvent::MouseButtonPress: {
                auto* m = static_cast<QMouseEvent*>(e);
                message = m->button() == Qt::RightButton ? WM_RBUTTONDOWN
                          : m->button() == Qt::MiddleButton ? WM_MBUTTONDOWN
                                                            : WM_LBUTTONDOWN;
                break;
            }
            case QEvent::NonClientAreaMouseButtonPress: {
                auto* m = static_cast<QMouseEvent*>(e);
                message = m->button() == Qt::RightButton ? WM_NCRBUTTONDOWN
                          : m->button() == Qt::MiddleButton ? WM_NCMBUTTONDOWN
                                                            : WM_NCLBUTTONDOWN;
                break;
            }
            default:
                return false;
        }
        // Each press is seen once, at the widget that receives it first (Qt offers an event the
        // receiver leaves to each parent in turn).
        if (!watched->isWidgetType()) return false;
        if (e->spontaneous() == false) return false;
        // A parent offered the event its child left is no new press.
        auto* widget = static_cast<QWidget*>(watched);
        if (e == lastEvent_ && lastWidget_ && widget != lastWidget_ && widget->isAncestorOf(lastWidget_)) {
            lastWidget_ = widget;
            return false;
        }
        lastEvent_ = e;
        lastWidget_ = widget;
        CWnd* window = WindowOfWidget(static_cast<QWidget*>(watched));
        MSG msg{window ? window->m_hWnd : nullptr, message, wParam, 0, 0, {0, 0}};
        CWinApp* app = AfxGetApp();
        return app && app->PreTranslateMessage(&msg);
    }

private:
    const QEvent* lastEvent_ = nullptr;
    QPointer<QWidget> lastWidget_;
};

std::atomic<QObject*> dispatcherObject{nullptr};
ServiceWindow* service = nullptr;
HookFilter* hookFilter = nullptr;
std::map<std::pair<HWND, UINT_PTR>, QTimer*> timers;
bool inIdle = false;

}  // namespace

void ApplyNumericLocale() {
    // Qt sets the user's locale when the application is made; the system formats numbers the "C"
    // way ("0.5"), in its own printf calls and in Qt's.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
}

void StartMainThread() {
    ApplyNumericLocale();
    auto* dispatcher = new Dispatcher;
    dispatcherObject = dispatcher;
    SetMainThread([] {
        if (QObject* d = dispatcherObject.load()) {
            auto* wake = new QEvent(Dispatcher::kWake);
            QUI_HANDOVER_RELEASE(&handover);
            QCoreApplication::postEvent(d, wake);
        }
    });
    SetPreTranslate([](MSG* msg) {
        CWinApp* app = AfxGetApp();
        return app && app->PreTranslateMessage(msg);
    });
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, dispatcher,
                     [] { SpinBeforeBlocking(); });
    service = new ServiceWindow;
    service->Create(nullptr, "", 0, RECT{0, 0, 0, 0}, nullptr, 0);
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        hookFilter = new HookFilter;
        qApp->installEventFilter(hookFilter);
        QObject::connect(qApp, &QApplication::focusChanged, [](QWidget*, QWidget* now) { WidgetFocused(now); });
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [] {
            if (inIdle) return;
            inIdle = true;
            if (CWinApp* app = AfxGetApp()) app->OnIdle(0);
            inIdle = false;
        });
    }
}

void StopMainThread() {
    StopPowerWatch();
    for (auto& [key, timer] : timers) delete timer;
    timers.clear();
    if (hookFilter) {
        qApp->removeEventFilter(hookFilter);
        delete hookFilter;
        hookFilter = nullptr;
    }
    delete service;
    service = nullptr;
    SetPreTranslate({});
    SetMainThread({});
    delete dispatcherObject.exchange(nullptr);
}

HWND ServiceHandle() { return service ? service->m_hWnd : nullptr; }

bool QueueViewSync(HWND window) {
    return ServiceHandle() && ::PostMessage(ServiceHandle(), kSyncMessage, reinterpret_cast<WPARAM>(window), 0);
}

bool QueueViewDelete(View* view) {
    return ServiceHandle() && ::PostMessage(ServiceHandle(), kDeleteViewMessage, reinterpret_cast<WPARAM>(view), 0);
}

int RunQtLoop() { return QCoreApplication::exec(); }

void RunTimer(CWnd* window, UINT_PTR id, UINT milliseconds) {
    if (!QCoreApplication::instance() || !qui::IsMainThread()) return;
    const auto key = std::make_pair(window->m_hWnd, id);
    QTimer*& timer = timers[key];
    if (!timer) {
        timer = new QTimer;
        const HWND hwnd = window->m_hWnd;
        QObject::connect(timer, &QTimer::timeout, [hwnd, id] {
            MSG msg{hwnd, WM_TIMER, id, 0, 0, {0, 0}};
            if (!RunPreTranslate(&msg)) ::SendMessage(hwnd, WM_TIMER, id, 0);
        });
    }
    timer->start(static_cast<int>(milliseconds));
}

void StopTimer(CWnd* window, UINT_PTR id) {
    const auto it = timers.find({window->m_hWnd, id});
    if (it == timers.end()) return;
    delete it->second;
    timers.erase(it);
}

void StopAllTimers(CWnd* window) {
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->first.first == window->m_hWnd) {
            delete it->second;
            it = timers.erase(it);
        } else {
            ++it;
        }
    }
}

FocusReturn::FocusReturn(QWidget* owner) : focus_(QApplication::focusWidget()) {
    if (!owner && focus_) owner = focus_->window();
    if (!owner) owner = WidgetOfHandle(nullptr);
    owner_ = owner ? owner->window() : nullptr;
}

FocusReturn::~FocusReturn() {
    if (!owner_ || !owner_->isVisible()) return;
    owner_->activateWindow();
    if (focus_ && focus_->window() == owner_ && focus_->isVisible() && focus_->isEnabled()) {
        focus_->setFocus(Qt::ActiveWindowFocusReason);
    }
}

int QtMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    const FocusReturn focusReturn(WidgetOfHandle(owner));
    QMessageBox box(WidgetOfHandle(owner));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
        default: break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int result;
    };
    std::vector<Choice> choices;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
        case MB_YESNO: choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
        case MB_YESNOCANCEL: choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}}; break;
        case MB_RETRYCANCEL: choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
        default: choices = {{QMessageBox::Ok, IDOK}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const auto& c : choices) buttons |= c.button;
    box.setStandardButtons(buttons);
    const std::size_t def = (type & MB_DEFBUTTON2) && choices.size() > 1 ? 1 : 0;
    box.setDefaultButton(choices[def].button);
    // The text as the platform draws it: tabs to every eighth character (not a text document's
    // 80 pixels), and from the left margin when the box has no icon (the toolkit keeps an indent).
    box.setTextInteractionFlags(Qt::NoTextInteraction);
    if (box.icon() == QMessageBox::NoIcon && box.layout()) {
        for (int i = 0; i < box.layout()->count(); ++i)
            if (QSpacerItem* indent = box.layout()->itemAt(i)->spacerItem(); indent && indent->sizeHint().height() <= 1)
                indent->changeSize(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
        box.layout()->invalidate();
    }
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& c : choices) {
        if (c.button == answer) return c.result;
    }
    // Closing the box: Cancel when it has one, else No for a yes/no question, else OK.
    for (const auto& c : choices) {
        if (c.result == IDCANCEL) return IDCANCEL;
    }
    return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

bool QtChooseFile(HWND owner, FileDialogRequest& request) {
    QStringList filters;
    for (const auto& [description, patterns] : ParseFileFilter(request.filter)) {
        QString p = QString::fromStdString(patterns);
        p.replace(';', ' ');
        // Only a pattern list in parentheses goes ("Files(*.cnf)"); "cnf (format 4)" keeps its words,
        // so that filters differing only there stay apart.
        filters << QString::fromStdString(description).remove(QRegularExpression("\\([^()]*[*.][^()]*\\)")).trimmed() + " (" + p + ")";
    }
    const FocusReturn focusReturn(WidgetOfHandle(owner));
    QFileDialog dialog(WidgetOfHandle(owner), QString::fromStdString(request.title), QString::fromStdString(request.initialFolder));
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
            dialog.selectNameFilter(filters[request.filterIndex - 1]);
    }
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    request.fileName = dialog.selectedFiles().front().toStdString();
    if (const auto chosen = filters.indexOf(dialog.selectedNameFilter()); chosen >= 0) request.filterIndex = static_cast<int>(chosen) + 1;
    return true;
}

void QtBeep() { QApplication::beep(); }

UINT ExecPopupMenu(const CMenu& menu, POINT point) {
    QMenu popup;
    UINT chosen = 0;
    FillQMenu(&popup, menu.m_hMenu, [&chosen](UINT id) { chosen = id; });
    popup.exec(QPoint(point.x, point.y));
    return chosen;
}

}  // namespace qui::detail

using namespace qui::detail;

namespace qui {

bool IsMainThread() {
    const DWORD main = MainThreadId();
    return main == 0 || main == GetCurrentThreadId();
}

bool HasDisplay() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr && MainThreadId() != 0; }

void ProcessPendingPaint() {
    if (HasDisplay() && IsMainThread()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

LRESULT RunOnMainThread(const std::function<LRESULT()>& fn) {
    if (IsMainThread() || !ServiceHandle()) return fn();
    return ::SendMessage(ServiceHandle(), kCallMessage, reinterpret_cast<WPARAM>(&fn), 0);
}

void RaisePowerBroadcast(WPARAM event) {
    RunOnMainThread([event] {
        CWnd* main = AfxGetMainWnd();
        return main && main->m_hWnd ? ::SendMessage(main->m_hWnd, WM_POWERBROADCAST, event, 0) : LRESULT{0};
    });
}

}  // namespace qui

// Adopts the running QApplication as the main thread's loop (tests that make their own).
namespace qui::testing {
void AttachMainThread() { StartMainThread(); }
void WatchPowerBroadcast() { StartPowerWatch(); }
void DetachMainThread() { StopMainThread(); }

namespace {
QApplication* offscreen = nullptr;
}

void StartOffscreenApplication(const char* name) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static std::string program;
    static char* argv[] = {nullptr, nullptr};
    static int argc = 1;
    program = name;
    argv[0] = program.data();
    offscreen = new QApplication(argc, argv);
    AttachMainThread();
}

void EndOffscreenApplication() {
    DetachMainThread();
    delete offscreen;
    offscreen = nullptr;
}
}  // namespace qui::testing

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (!app) return 1;
    QApplication qapp(argc, argv);
    app->arguments.clear();
    for (int i = 1; i < argc; ++i) app->arguments.emplace_back(argv[i]);
    const std::string exe = argc > 0 ? argv[0] : "";
    app->m_pszExeName = exe.substr(exe.find_last_of('/') == std::string::npos ? 0 : exe.find_last_of('/') + 1);
    if (app->m_pszAppName.empty()) {
        std::string title;
        app->m_pszAppName = qui::LoadResourceString(AFX_IDS_APP_TITLE, title) ? title : app->m_pszExeName;
    }
    StartMainThread();
    StartPowerWatch();
    if (app->InitInstance()) app->Run();
    const int code = app->ExitInstance();
    StopMainThread();
    return code;
}
