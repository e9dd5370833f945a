// Internals shared by the layer's files: the window table, the thread queues and the Qt side.
#pragma once

#include <functional>

#include "ui/afxwin.h"

namespace qui::detail {

// ---- window table and thread queues (messages.cpp)
// A new handle for window, owned by the calling thread.
HWND CreateHandle(CWnd* window);
// Forgets the handle: its posts are dropped and its pending sends complete with 0.
void DestroyHandle(HWND window);
// The object of a live handle; null for a dead or unknown one.
CWnd* LookupWindow(HWND window, DWORD* ownerThread = nullptr);
// The main thread's queue wakes Qt through waker (called with no lock held, at most once until the
// next DrainMainQueue). Set by the application; empty to stop.
void SetMainThread(std::function<void()> waker);
DWORD MainThreadId();
// Main thread, when its loop is about to block: spins briefly while other threads send to it, so
// that the next send is served without the loop's wake-up.
void SpinBeforeBlocking();
// Serves the main thread's sends and dispatches its posts (through the application's
// PreTranslateMessage), at most maxPosts posts; wakes again when more wait.
void DrainMainQueue(int maxPosts);
// Takes the calling thread's pending quit request.
bool TakeQuit(int& code);
// Called for every post dispatched by the main thread's loop before its window sees it.
using PreTranslate = std::function<bool(MSG*)>;
void SetPreTranslate(PreTranslate hook);
bool RunPreTranslate(MSG* msg);

// ---- Qt side (qt_*.cpp)
class View {
public:
    virtual ~View() = default;
    // Shows the window object's state.
    virtual void sync() = 0;
    virtual QWidget* widget() const = 0;
};
// Widgets are changed and deleted on the main thread only: other threads hand the work over.
bool QueueViewSync(HWND window);
bool QueueViewDelete(View* view);
// Shows one change of a list or combo box's lines in its widget (main thread only).
void ListBoxChanged(CListBox& list, CListBox::Change what, int index);
void ComboBoxChanged(CComboBox& combo, CComboBox::Change what, int index);
void RunTimer(CWnd* window, UINT_PTR id, UINT milliseconds);
void StopTimer(CWnd* window, UINT_PTR id);
void StopAllTimers(CWnd* window);
int ShowModalDialog(CDialog& dialog);
void ShowModelessDialog(CDialog& dialog);
void DestroyView(CWnd& window);
void MakeTopLevelView(CWnd& window);  // popup windows, frames
void ApplyGeometry(CWnd& window);
// A child frame's border and title bar as the display draws them (pixels).
bool FrameMetrics(int& border, int& titleBar);
void FocusView(CWnd& window);
void InvalidateView(CWnd& window);
void LowerView(CWnd& window);
void RaiseView(CWnd& window);
void ActivateView(CWnd& window);
// Minimises, maximises or restores a window's widget as ShowWindow's command says (windows and
// child frames only; showing and hiding are the view's sync).
void ShowViewState(CWnd& window, int command);
void CenterView(CWnd& window, CWnd* owner);
void SyncMenuBar(CFrameWnd& frame);
// Makes the frame's window run its accelerators when their keys are pressed in it.
void SyncAccelerators(CFrameWnd& frame);
// Makes the MDI client window show the frame's MDI area and follow its size.
void BindMdiClient(CMDIFrameWnd& frame);
void SyncBars(CFrameWnd& frame);
bool ViewIsMinimized(const CWnd& window);
void PointToScreen(const CWnd& window, POINT& point, bool toScreen);
UINT ExecPopupMenu(const CMenu& menu, POINT screenPoint);
int QtMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
bool QtChooseFile(HWND owner, FileDialogRequest& request);
void QtBeep();
int RunQtLoop();
void StartPowerWatch();
bool PowerWatchConnected();
void StopPowerWatch();
// The pixel size of one dialog unit (x: 1/4 of the average character width, y: 1/8 of the height).
void DialogBaseUnits(double& x, double& y);

// ---- menus (menu.cpp)
struct MenuItem {
    std::string text;
    UINT id = 0;
    UINT state = 0;  // MF_GRAYED, MF_CHECKED
    HMENU popup = nullptr;
    bool separator = false;
};
// The items of a live menu; null for a dead handle. Main thread only.
std::vector<MenuItem>* MenuItems(HMENU menu);
HMENU BuildMenu(const std::vector<MenuTemplate>& items, bool popup);

// ---- dialogs (dialog.cpp)
// The index in the template of the first control of the group that holds control `id`: the
// nearest control at or before it with kGroup. The template's size when it holds no such control.
std::size_t RadioGroupStart(const qui::DialogTemplate& dialog, int id);

// ---- focus (wnd.cpp): the window that has the keyboard focus, as the layer tracks it
void SetFocusWindow(CWnd* window);
void ForgetFocusWindow(CWnd* window);

// ---- the application (app.cpp)
LPCSTR Text(LPCSTR text);  // null -> ""

}  // namespace qui::detail
