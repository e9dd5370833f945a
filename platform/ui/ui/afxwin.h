// The class-library layer: application, windows, frames, menus, toolbars, status bars, dialogs and
// their controls, in the shape of the class library the system was written on, over Qt 6 Widgets.
// This header (with afxcmn.h and afxdlgs.h) is all a program includes; no Qt header leaks out.
//
// State apart from widgets. Every window object keeps its own state (text, enabled, check state,
// list items and selection, menu items, pane texts...). A Qt widget is made for it only when a
// display runs (a QApplication exists) and only on the main thread; the widget shows the state and
// reports the user's changes back into it. Without a display the same objects work headless, so a
// dialog's logic runs in tests: SetModalRunner() scripts what the user does, UserPrompts (prompts.h)
// scripts the answers of message boxes and file dialogs (testing.h has both, ready to use).
//
// Threads. Window objects with widgets belong to the main thread (the one that runs AfxWinMain).
// Other threads reach them with PostMessage / SendMessage; a control changed from another thread
// is shown by the main thread later, and a modal dialog or message box asked for by another thread
// is run by the main thread while the asking thread waits. The program's entry is
//   CMyApp theApp;  int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
// with the resources registered (resources.h) before or at the start of InitInstance.
//
// Messages. Message handlers are registered at run time, in the constructor, by identifier:
//   MapMessage(WM_X, handler)             a window message: LRESULT(WPARAM, LPARAM)
//   MapCommand(id, handler)               a menu, toolbar or button command
//   MapCommandRange(first, last, h)       h(UINT id)
//   MapUpdateCommand(id, h)               h(CCmdUI*): Enable / SetCheck, run when a menu opens and
//                                         when idle (toolbar buttons)
//   MapNotify(controlId, code, h)         a control's notification (BN_CLICKED, EN_KILLFOCUS, ...)
// Commands go from the frame to the application object (CWinApp). A later registration for the
// same identifier (a derived class's, made in its constructor) replaces an earlier one.
//
// A dialog:
//   class CMyDlg : public CDialog {
//   public:
//       CMyDlg() : CDialog(IDD_MY) {                      // template registered in resources.h
//           MapNotify(IDC_BOX, BN_CLICKED, [this] { OnBox(); });
//           MapNotify(IDC_VALUE, EN_KILLFOCUS, [this] { Validate(); });
//       }
//       BOOL OnInitDialog() override { CDialog::OnInitDialog(); SetDlgItemText(IDC_VALUE, "1"); return TRUE; }
//       void OnOK() override { GetDlgItem(IDOK)->SetFocus(); /* validation ran */ CDialog::OnOK(); }
//   };
//   CMyDlg dlg; if (dlg.DoModal() == IDOK) ...; controls keep their state after DoModal returns.
//   Controls are reached by identifier: GetDlgItemText, CheckDlgButton, Item<CListBox>(id).AddString.
//
// A frame:
//   class CMainFrame : public CMDIFrameWnd {
//       CMainFrame() { MapCommand(ID_X, [this] { OnX(); }); MapUpdateCommand(ID_X, [this](CCmdUI* ui) { ui->Enable(ok); }); }
//       int OnCreate(LPCREATESTRUCT cs) override { CMDIFrameWnd::OnCreate(cs); m_toolBar.CreateEx(this);
//           m_toolBar.LoadToolBar(128); m_statusBar.Create(this); m_statusBar.SetIndicators(ids, n); return 0; }
//   };
//   frame->LoadFrame(128) takes the menu 128, the title string 128, the icon 128 and the accelerator
//   table 128 (qui::RegisterAccelerators(128, {{FVIRTKEY | FCONTROL, 'S', ID_FILE_SAVE}})): a key
//   of the table runs its command unless the command's update handler disables it.
//
// Modal dialogs and message boxes give the keyboard focus back to their owner when they close.
// A WS_POPUP window made with an owner (a splash) stays above the owner's window.
//
// Ownership: window objects do not delete themselves when their window is destroyed; whoever made
// the object deletes it (a heap window that should go with its window overrides PostNcDestroy with
// `delete this`). Destroying a window destroys its child windows (controls, bars, child frames).
//
// A mailbox window (a worker thread's hidden window):
//   CWnd mailbox; mailbox.Create(nullptr, "", WS_CHILD | WS_DISABLED, CRect(0, 0, 100, 100), frame, 0);
//   // the handle belongs to the creating (worker) thread; no widget is made
//   MSG msg; while (PeekMessage(&msg, mailbox.m_hWnd, 0, 0, PM_REMOVE)) { switch (msg.message) ... }
//   mailbox.DestroyWindow();   // on the worker, before it ends
// Other threads PostMessage(mailbox_handle, ...); a handle of a destroyed mailbox is refused.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "ui/critical_section.h"
#include "ui/prompts.h"
#include "ui/resources.h"
#include "ui/wintypes.h"

class QWidget;
class CWnd;
class CMenu;
class CFrameWnd;
class CDialog;
class CWinApp;

namespace qui::detail {
class View;
struct DialogHost;
struct FrameView;
}  // namespace qui::detail

// ---- window styles (the ones the layer acts on)
#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_MINIMIZE 0x20000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_MAXIMIZE 0x01000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_DLGFRAME 0x00400000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_TABSTOP 0x00010000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_OVERLAPPEDWINDOW \
    (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define FWS_ADDTOTITLE 0x00008000u

// ShowWindow
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

// SetWindowPos
#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOACTIVATE 0x0010u
#define SWP_SHOWWINDOW 0x0040u
#define SWP_HIDEWINDOW 0x0080u

// Icons
#define ICON_SMALL 0
#define ICON_BIG 1

// Menus
#define MF_BYCOMMAND 0x0000u
#define MF_ENABLED 0x0000u
#define MF_STRING 0x0000u
#define MF_UNCHECKED 0x0000u
#define MF_GRAYED 0x0001u
#define MF_DISABLED 0x0002u
#define MF_CHECKED 0x0008u
#define MF_POPUP 0x0010u
#define MF_BYPOSITION 0x0400u
#define MF_SEPARATOR 0x0800u
#define TPM_LEFTALIGN 0x0000u
#define TPM_RIGHTBUTTON 0x0002u
#define TPM_RETURNCMD 0x0100u

// Control bars
#define CBRS_ALIGN_TOP 0x1000u
#define CBRS_ALIGN_BOTTOM 0x4000u
#define CBRS_ALIGN_ANY 0xF000u
#define CBRS_TOP (CBRS_ALIGN_TOP | 0x0200u)
#define CBRS_TOOLTIPS 0x0010u
#define CBRS_FLYBY 0x0020u
#define CBRS_SIZE_DYNAMIC 0x0040u
#define CBRS_GRIPPER 0x00400000u
#define TBSTYLE_FLAT 0x0800u
#define SBPS_NORMAL 0x0000u
#define SBPS_NOBORDERS 0x0100u
#define SBPS_POPOUT 0x0200u
#define SBPS_DISABLED 0x04000000u
#define SBPS_STRETCH 0x08000000u

// Standard command and string identifiers of the class library.
#define ID_SEPARATOR 0
#define ID_FILE_NEW 0xE100
#define ID_FILE_OPEN 0xE101
#define ID_FILE_CLOSE 0xE102
#define ID_FILE_SAVE 0xE103
#define ID_FILE_SAVE_AS 0xE104
#define ID_FILE_MRU_FILE1 0xE110
#define ID_FILE_MRU_FILE4 0xE113
#define ID_FILE_MRU_FILE16 0xE11F
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_HELP 0xE146
#define ID_VIEW_TOOLBAR 0xE800
#define ID_VIEW_STATUS_BAR 0xE801
#define ID_INDICATOR_CAPS 0xE701
#define ID_INDICATOR_NUM 0xE702
#define ID_INDICATOR_SCRL 0xE703
#define AFX_IDS_APP_TITLE 0xE000
#define AFX_IDS_IDLEMESSAGE 0xE001
#define AFX_IDW_TOOLBAR 0xE800
#define AFX_IDW_STATUS_BAR 0xE801
#define AFX_IDW_PANE_FIRST 0xE900

struct CREATESTRUCT {
    HWND hwndParent;
    DWORD style;
    int x, y, cx, cy;
    LPCSTR lpszName;
};
using LPCREATESTRUCT = CREATESTRUCT*;

class CPoint : public POINT {
public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x, int y) : POINT{x, y} {}
};
class CSize : public SIZE {
public:
    CSize() : SIZE{0, 0} {}
    CSize(int cx, int cy) : SIZE{cx, cy} {}
};
class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    BOOL PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    void DeflateRect(int x, int y) { left += x; right -= x; top += y; bottom -= y; }
    void OffsetRect(int x, int y) { left += x; right += x; top += y; bottom += y; }
    BOOL IsRectEmpty() const { return right <= left || bottom <= top; }
};

// ---- fonts and regions (what a window is given; the widget shows them)
#define FW_NORMAL 400
#define FW_BOLD 700
class CFont {
public:
    // height: pixels (negative: character height, as the platform takes it); weight: FW_NORMAL, FW_BOLD.
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                    BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily,
                    LPCSTR face);
    // pointSize in tenths of a point.
    BOOL CreatePointFont(int pointSize, LPCSTR face);
    BOOL DeleteObject();
    bool created = false;
    int pixelHeight = 0;  // 0: the default size
    int tenthsOfPoint = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;
    std::string face;
};

class CRgn {
public:
    BOOL CreateEllipticRgn(int left, int top, int right, int bottom);
    BOOL CreateRectRgn(int left, int top, int right, int bottom);
    BOOL DeleteObject();
    enum class Shape { None, Ellipse, Rectangle };
    Shape shape = Shape::None;
    RECT bounds{0, 0, 0, 0};
};

// ---- command routing
class CCmdUI {
public:
    UINT m_nID = 0;
    UINT m_nIndex = 0;          // position in the menu or toolbar
    CMenu* m_pMenu = nullptr;   // the menu, when the update is for a menu item
    CWnd* m_pOther = nullptr;   // the toolbar or status bar, otherwise
    virtual ~CCmdUI() = default;
    virtual void Enable(BOOL on = TRUE);
    virtual void SetCheck(int check = 1);
    virtual void SetText(LPCSTR text);
    // What the handlers set (read by the layer and by tests).
    bool enabled = true;
    int checked = 0;
    bool handled = false;
};

class CCmdTarget {
public:
    CCmdTarget();
    virtual ~CCmdTarget();
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    void MapCommand(UINT id, std::function<void()> handler);
    void MapCommandRange(UINT first, UINT last, std::function<void(UINT)> handler);
    void MapUpdateCommand(UINT id, std::function<void(CCmdUI*)> handler);
    void MapUpdateCommandRange(UINT first, UINT last, std::function<void(CCmdUI*)> handler);

    // Runs the command handler (ui null) or the update handler (ui given) of id, the latest one
    // mapped when several cover it; FALSE when this target has none. Derived classes route further
    // (frame -> application).
    virtual BOOL OnCmdMsg(UINT id, CCmdUI* ui);

private:
    struct Entry {
        UINT first, last;
        std::function<void(UINT)> command;
        std::function<void(CCmdUI*)> update;
    };
    std::vector<Entry> entries_;
};

// ---- windows
class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return this ? m_hWnd : nullptr; }
    operator HWND() const { return m_hWnd; }
    // The object behind a handle of a live window (null otherwise). Use it on the window's thread.
    static CWnd* FromHandle(HWND window);

    // A plain window: a handle owned by the calling thread, with no widget. With WS_POPUP on the
    // main thread and a display, a borderless (WS_BORDER: thin border) top-level widget is made
    // that paints through OnPaint: a splash window.
    virtual BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int cx, int cy,
                  HWND parent, UINT_PTR idOrMenu);
    virtual BOOL DestroyWindow();
    // Called after the window is destroyed; windows that delete themselves override it.
    virtual void PostNcDestroy() {}

    // Message handlers, run on the window's thread.
    void MapMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler);
    void MapNotify(int controlId, UINT code, std::function<void()> handler);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);
    // WM_COMMAND: a control's notification, else a command routed through OnCmdMsg.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual int OnCreate(LPCREATESTRUCT cs);
    virtual void OnPaint() {}  // paint with CPaintDC dc(this)
    virtual void OnTimer(UINT_PTR id) { (void)id; }
    virtual void OnClose();

    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    // State (kept whether or not a widget shows it).
    void SetWindowText(LPCSTR text);
    std::string GetWindowText() const;
    int GetWindowTextLength() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    int GetDlgCtrlID() const { return id_; }
    CWnd* GetParent() const { return parent_; }
    DWORD GetStyle() const { return style_; }
    CWnd* SetFocus();
    static CWnd* GetFocus();
    HICON SetIcon(HICON icon, BOOL big);
    HICON GetIcon(BOOL big) const;

    // Geometry in pixels.
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    // pInsertAfter: &CWnd::wndBottom lowers the window (an MDI child without activating it),
    // &CWnd::wndTop raises it.
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void ClientToScreen(LPPOINT point) const;
    void ScreenToClient(LPPOINT point) const;
    void Invalidate(BOOL erase = TRUE);
    void UpdateWindow();
    void RedrawWindow();
    // WM_SETREDRAW: FALSE holds the window's drawing back while it changes, TRUE shows the changes
    // made meanwhile at once (the tree control shows them in one batch).
    void SetRedraw(BOOL redraw = TRUE);
    void DragAcceptFiles(BOOL accept = TRUE);

    // Timers: WM_TIMER (and OnTimer) on the window's thread. Main thread only.
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds, void* unused);
    BOOL KillTimer(UINT_PTR id);

    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);

    // Dialog-item helpers (defined results for a missing identifier: 0 or an empty text).
    CWnd* GetDlgItem(int id) const;
    void SetDlgItemText(int id, LPCSTR text);
    std::string GetDlgItemText(int id) const;
    int GetDlgItemText(int id, char* buffer, int size) const;
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int first, int last, int check);
    int GetCheckedRadioButton(int first, int last) const;
    // Binds this control object to the parent dialog's control id (an owner-drawn button of its
    // own class, for example); it takes the control's state over.
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    // Called by SubclassDlgItem once the object holds the control, before its widget is made.
    virtual void PreSubclassWindow() {}

    // The font of the window's text (the object must outlive the window); null: the dialog's.
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const { return font_; }
    // The window's shape: only the region's inside is drawn and receives the mouse. The window
    // keeps its own copy. Null: a rectangle again.
    int SetWindowRgn(CRgn* region, BOOL redraw);
    const CRgn& windowRegion() const { return region_; }

    static const CWnd wndTop;
    static const CWnd wndBottom;

    // ---- layer internals (public for the Qt side of the layer; programs do not call them)
    qui::detail::View* view() const { return view_; }
    // The Qt widget that shows the window, or null (tests drive real widgets through it).
    QWidget* widget() const;
    void setView(qui::detail::View* view) { view_ = view; }
    virtual QWidget* makeWidget(QWidget* parent);
    void syncView();
    void attachChild(int id, CWnd* child);
    void detachChild(int id);
    CWnd* findChild(int id) const;
    std::vector<CWnd*> children() const;
    void setParentWnd(CWnd* parent) { parent_ = parent; }
    void setCtrlId(int id) { id_ = id; }
    void setStyle(DWORD style) { style_ = style; }
    BOOL createHandle(CWnd* parent, UINT id, DWORD style);
    // Creates a control as the child `id` of `parent`: the client of a frame, or a widget in the
    // parent's view when the parent is shown.
    BOOL createControl(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    RECT& geometry() { return rect_; }
    const RECT& geometry() const { return rect_; }
    // The dialog (or frame) this control lives in, for focus moves and notifications.
    CWnd* controlOwner() const;
    void notifyParent(UINT code);

protected:
    std::string text_;
    bool enabled_ = true;
    bool visible_ = false;
    bool iconic_ = false;
    int id_ = 0;
    DWORD style_ = 0;
    RECT rect_{0, 0, 0, 0};
    CWnd* parent_ = nullptr;
    HICON icons_[2] = {nullptr, nullptr};
    bool attached_ = false;
    CFont* font_ = nullptr;
    CRgn region_;

private:
    friend class CDialog;
    qui::detail::View* view_ = nullptr;
    std::map<UINT, std::function<LRESULT(WPARAM, LPARAM)>> messages_;
    std::map<std::pair<int, UINT>, std::function<void()>> notifications_;
    std::map<int, CWnd*> children_;
    std::vector<std::unique_ptr<CWnd>> ownedChildren_;
    friend struct ControlFactory;
public:
    // Children the window made itself (dialog controls from the template).
    void adoptChild(std::unique_ptr<CWnd> child);
};

// ---- drawing (inside OnPaint or DrawItem)
class CDC {
public:
    virtual ~CDC() = default;
    COLORREF SetPixel(int x, int y, COLORREF colour);
    void FillSolidRect(LPCRECT rect, COLORREF colour);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF colour);
    BOOL DrawIcon(int x, int y, HICON icon);
    BOOL TextOut(int x, int y, LPCSTR text);
    COLORREF SetTextColor(COLORREF colour);
    int SetBkMode(int mode);
    // Later drawing stays inside the region (null: the whole window again).
    int SelectClipRgn(const CRgn* region);
    // An 8-bit palette bitmap (the information header, its 256 RGBQUAD colours and the pixels,
    // bottom-up rows padded to 4 bytes) drawn at its own size.
    int SetDIBitsToDevice(int x, int y, int width, int height, const void* bits, const void* info);
    void* painter() const { return painter_; }

protected:
    void* painter_ = nullptr;  // the QPainter of the paint in progress
    COLORREF textColour_ = 0;
};
#define TRANSPARENT 1
#define OPAQUE 2

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* window);
};

struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    CDC* pDC;  // the drawing context (the platform passes a device-context handle)
    RECT rcItem;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;
#define ODS_SELECTED 0x0001u
#define ODS_DISABLED 0x0004u
#define ODS_FOCUS 0x0010u

// ---- controls
// Static text styles (the alignment of a static made at run time; templates use qui::kCenter).
#define SS_LEFT 0x00000000u
#define SS_CENTER 0x00000001u
#define SS_RIGHT 0x00000002u

class CStatic : public CWnd {
public:
    // A static made at run time as the child `id` of parent (a dialog); rect in client pixels.
    BOOL Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF);
    HICON SetIcon(HICON icon);
    HICON GetIcon() const { return icon_; }
    QWidget* makeWidget(QWidget* parent) override;
    HICON icon_ = nullptr;
};

#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BST_INDETERMINATE 2
#define BS_OWNERDRAW 0x0000000Bu
#define BS_FLAT 0x00008000u

class CButton : public CWnd {
public:
    // A push button made at run time as the child `id` of parent (a dialog); rect in client pixels.
    // BS_OWNERDRAW in style: drawn by DrawItem.
    BOOL Create(LPCSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const { return check_; }
    void SetCheck(int check);
    UINT GetButtonStyle() const { return buttonStyle_; }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    // Owner-drawn buttons draw themselves here.
    virtual void DrawItem(LPDRAWITEMSTRUCT item) { (void)item; }
    QWidget* makeWidget(QWidget* parent) override;
    int check_ = 0;
    UINT buttonStyle_ = 0;
    int kind_ = 0;  // qui::ControlKind of the template
    bool isDefault_ = false;
};

// An owner-drawn button that shows bitmap resources: the first for the normal state and, when
// given, the others for the pushed, focused and disabled states. Without a focus bitmap the focus
// shows as a dotted frame over the normal one.
class CBitmapButton : public CButton {
public:
    // FALSE when the normal bitmap is not a registered resource (the button keeps its previous one).
    BOOL LoadBitmaps(UINT normal, UINT selected = 0, UINT focus = 0, UINT disabled = 0);
    void DrawItem(LPDRAWITEMSTRUCT item) override;
    UINT Bitmap() const { return bitmaps_[0]; }

private:
    UINT bitmaps_[4] = {0, 0, 0, 0};
};

class CEdit : public CWnd {
public:
    void SetLimitText(UINT limit);
    void LimitText(int limit) { SetLimitText(static_cast<UINT>(limit)); }
    UINT GetLimitText() const { return limit_; }
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    BOOL IsReadOnly() const { return readOnly_; }
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    void ReplaceSel(LPCSTR text);
    QWidget* makeWidget(QWidget* parent) override;
    UINT limit_ = 0;  // 0: no limit
    bool readOnly_ = false;
    int selStart_ = 0, selEnd_ = 0;
    unsigned style_flags_ = 0;
};

#define LB_ERR (-1)
#define CB_ERR (-1)

class CListBox : public CWnd {
public:
    int AddString(LPCSTR text);
    int InsertString(int index, LPCSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetSel(int index) const;
    int SetSel(int index, BOOL select = TRUE);  // -1: every item
    int GetSelCount() const;
    int GetSelItems(int max, LPINT items) const;
    std::vector<int> GetSelectedIndices() const;
    int GetText(int index, std::string& text) const;
    std::string GetText(int index) const;
    int GetTextLen(int index) const;
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    int FindStringExact(int startAfter, LPCSTR text) const;
    BOOL IsMultipleSelection() const { return multiple_; }
    QWidget* makeWidget(QWidget* parent) override;
    std::vector<std::string> texts_;
    std::vector<DWORD_PTR> data_;
    std::vector<char> selected_;  // 1 for a selected line (bytes: a line leaves in one move)
    int current_ = -1;
    bool multiple_ = false;
    bool sorted_ = false;

    // What changed, for the widget: each change reaches it as one change of one line (Selection with
    // index -1: every line), so that filling or emptying a list costs the widget one step a line.
    enum class Change { Inserted, Deleted, Cleared, Selection };
    void changed(Change what, int index = -1);
    // Set when the widget must be rebuilt from the state (a change made off the main thread).
    bool widgetStale_ = false;
};

class CComboBox : public CWnd {
public:
    int AddString(LPCSTR text);
    int InsertString(int index, LPCSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);  // -1 clears the selection (and the edit text)
    int GetLBText(int index, std::string& text) const;
    std::string GetLBText(int index) const;
    int GetLBTextLen(int index) const;
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    int FindStringExact(int startAfter, LPCSTR text) const;
    int SelectString(int startAfter, LPCSTR text);
    BOOL LimitText(int limit);
    BOOL IsEditable() const { return editable_; }
    QWidget* makeWidget(QWidget* parent) override;
    std::vector<std::string> texts_;
    std::vector<DWORD_PTR> data_;
    int current_ = -1;
    bool editable_ = false;
    bool sorted_ = false;
    UINT limit_ = 0;

    // As CListBox's: Inserted and Deleted name one entry; Current is the selection and edit text.
    enum class Change { Inserted, Deleted, Cleared, Current };
    void changed(Change what, int index = -1);
    bool widgetStale_ = false;
};

// ---- menus
struct HMENU__;
using HMENU = HMENU__*;

class CMenu {
public:
    CMenu() = default;
    ~CMenu();  // destroys a menu it created and that no other menu took in as a popup
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return this ? m_hMenu : nullptr; }
    // A temporary wrapper of a live menu handle (kept until the menu is destroyed).
    static CMenu* FromHandle(HMENU menu);

    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    BOOL LoadMenu(UINT id);
    BOOL DestroyMenu();
    BOOL Attach(HMENU menu);
    HMENU Detach();

    UINT GetMenuItemCount() const;
    UINT GetMenuItemID(int position) const;  // 0xFFFFFFFF for a popup, 0 for a separator
    CMenu* GetSubMenu(int position) const;
    // MF_POPUP: idOrPopup is the popup's HMENU, which the menu then owns.
    BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, LPCSTR text = nullptr);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, LPCSTR text = nullptr);
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, LPCSTR text = nullptr);
    // DeleteMenu destroys a popup entry's popup; RemoveMenu leaves it to the caller.
    BOOL DeleteMenu(UINT position, UINT flags);
    BOOL RemoveMenu(UINT position, UINT flags);
    UINT EnableMenuItem(UINT item, UINT flags);  // previous state, 0xFFFFFFFF when no such item
    UINT CheckMenuItem(UINT item, UINT flags);
    UINT GetMenuState(UINT item, UINT flags) const;
    int GetMenuString(UINT item, std::string& text, UINT flags) const;
    // Shows the menu and sends the chosen command to window (WM_COMMAND); with TPM_RETURNCMD it
    // returns the command instead.
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* window, LPCRECT rect = nullptr);

private:
    bool owned_ = false;
};

// ---- control bars
class CControlBar : public CWnd {
public:
    ~CControlBar() override;
    void EnableDocking(DWORD style) { (void)style; }
    void SetBarStyle(DWORD style) { barStyle_ = style; }
    DWORD GetBarStyle() const { return barStyle_; }
    DWORD barStyle_ = 0;
};

class CToolBar : public CControlBar {
public:
    BOOL CreateEx(CWnd* parent, DWORD controlStyle = TBSTYLE_FLAT, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP,
                  RECT borders = RECT{0, 0, 0, 0}, UINT id = AFX_IDW_TOOLBAR);
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT id = AFX_IDW_TOOLBAR);
    BOOL LoadToolBar(UINT id);
    int GetCount() const { return static_cast<int>(commands_.size()); }
    UINT GetItemID(int index) const;
    // The state the update handlers gave each button.
    bool IsButtonEnabled(UINT command) const;
    bool IsButtonChecked(UINT command) const;
    void UpdateButtons(CFrameWnd* target);
    std::vector<UINT> commands_;
    std::map<UINT, std::pair<bool, bool>> states_;  // command -> (enabled, checked)
};

class CStatusBarCtrl {
public:
    BOOL SetIcon(int pane, HICON icon);
    HICON GetIcon(int pane) const;
    void SetMinHeight(int height);
    class CStatusBar* bar = nullptr;
};

class CStatusBar : public CControlBar {
public:
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_BOTTOM, UINT id = AFX_IDW_STATUS_BAR);
    // Pane i shows the string table entry ids[i] (ID_SEPARATOR: the message pane).
    BOOL SetIndicators(const UINT* ids, int count);
    void SetPaneInfo(int index, UINT id, UINT style, int width);
    void GetPaneInfo(int index, UINT& id, UINT& style, int& width) const;
    BOOL SetPaneText(int index, LPCSTR text, BOOL update = TRUE);
    std::string GetPaneText(int index) const;
    int CommandToIndex(UINT id) const;
    int GetCount() const { return static_cast<int>(panes_.size()); }
    CStatusBarCtrl& GetStatusBarCtrl() { return ctrl_; }
    struct Pane {
        UINT id = 0;
        UINT style = 0;
        int width = 0;
        std::string text;
        HICON icon = nullptr;
    };
    std::vector<Pane> panes_;
    int minHeight_ = 0;
    CStatusBarCtrl ctrl_{this};
};

// ---- frames
class CFrameWnd : public CWnd {
public:
    CFrameWnd();
    ~CFrameWnd() override;
    // Creates the frame with the menu, title string and icon of resource id.
    virtual BOOL LoadFrame(UINT id, DWORD style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, CWnd* parent = nullptr);
    int OnCreate(LPCREATESTRUCT cs) override;
    BOOL OnCmdMsg(UINT id, CCmdUI* ui) override;
    void OnClose() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CMenu* GetMenu() const;
    void SetMenu(CMenu* menu);
    void DrawMenuBar();
    void SetTitle(LPCSTR title);
    std::string GetTitle() const { return title_; }
    // The fly-by prompt of a command: the part before "\n" of string id.
    virtual void GetMessageString(UINT id, std::string& message) const;
    void SetMessageText(LPCSTR text);
    void SetMessageText(UINT id);
    void EnableDocking(DWORD style) { (void)style; }
    void DockControlBar(CControlBar* bar) { (void)bar; }
    void ShowControlBar(CControlBar* bar, BOOL show, BOOL delay);
    void RecalcLayout();
    void ActivateFrame(int command = -1);
    // Runs the update handlers of the toolbar's buttons (called when idle) and of a menu.
    void UpdateCommandUI();
    void UpdateMenuUI(CMenu* menu);
    // Runs command id as if chosen from the menu (tests, accelerators).
    BOOL RunCommand(UINT id);
    // Takes the accelerator table of resource id (LoadFrame takes the frame's own).
    BOOL LoadAccelTable(UINT id);
    const std::vector<ACCEL>& accelerators() const { return accelerators_; }
    // A key pressed with modifiers (FSHIFT, FCONTROL, FALT): runs the command of the matching
    // entry of the table when its update handler leaves it enabled. TRUE when an entry matched.
    BOOL TranslateAccelerator(WORD key, BYTE modifiers, bool virtualKey = true);
    HACCEL m_hAccelTable = nullptr;

    CStatusBar* statusBar() const;
    CToolBar* toolBar() const;
    void registerBar(CControlBar* bar);
    void unregisterBar(CControlBar* bar);

protected:
    CMenu menu_;
    std::string title_;
    std::vector<CControlBar*> bars_;
    std::vector<ACCEL> accelerators_;
};

class CMDIChildWnd;

class CMDIFrameWnd : public CFrameWnd {
public:
    ~CMDIFrameWnd() override;
    // Destroys the child frames first, as the platform destroys child windows.
    BOOL DestroyWindow() override;
    // The client area that holds the child frames (GetClientRect(m_hWndMDIClient, ...)).
    HWND m_hWndMDIClient = nullptr;
    CWnd* mdiClient_ = nullptr;
    // Creates the MDI client area. Override to change it (the default makes one without window menu).
    virtual BOOL OnCreateClient(LPCREATESTRUCT cs);
    CMDIChildWnd* MDIGetActive() const;
    void MDIActivate(CWnd* child);
    std::vector<CMDIChildWnd*> MDIChildren() const;
    QWidget* makeWidget(QWidget* parent) override;
    std::vector<CMDIChildWnd*> children_;
    CMDIChildWnd* active_ = nullptr;
};

class CMDIChildWnd : public CFrameWnd {
public:
    ~CMDIChildWnd() override;
    // A child frame of parent's MDI client area; its client is the window created with this frame
    // as parent (SetClient). Child frames float over each other inside the client area.
    virtual BOOL Create(LPCSTR className, LPCSTR title, DWORD style, const RECT& rect, CMDIFrameWnd* parent);
    BOOL DestroyWindow() override;
    void SetClient(CWnd* client);
    CWnd* GetClient() const { return client_; }
    CMDIFrameWnd* GetMDIFrame() const { return mdiFrame_; }
    void MDIActivate();
    void MDIDestroy();
    // WM_MDIACTIVATE reaches the window procedure: wParam 1 when activated, 0 when deactivated.
    virtual void OnMDIActivate(BOOL activate, CWnd* activated, CWnd* deactivated);
    QWidget* makeWidget(QWidget* parent) override;
    CWnd* client_ = nullptr;
    CMDIFrameWnd* mdiFrame_ = nullptr;
};

// ---- dialogs
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog: with a modal runner set (tests), the runner drives it without widgets;
    // otherwise, with a display, as a modal Qt dialog (on the main thread); otherwise returns -1.
    // The result is EndDialog's; the controls keep their state after it returns.
    virtual INT_PTR DoModal();
    // A modeless dialog (or, with a child template, a dialog embedded in parent).
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL DestroyWindow() override;
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Typed access to a control; a missing identifier or another kind of control gives an inert
    // control of that type that keeps nothing shown.
    template <class T>
    T& Item(int id) {
        if (auto* control = dynamic_cast<T*>(GetDlgItem(id))) return *control;
        auto& inert = inert_[std::type_index(typeid(T))];
        if (!inert) inert = std::make_unique<T>();
        return static_cast<T&>(*inert);
    }

    void SetDefID(UINT id);
    DWORD GetDefID() const { return defId_; }
    // Moves the focus to control (the control losing it gets its kill-focus notification first).
    void GotoDlgCtrl(CWnd* control);
    void NextDlgCtrl();
    void PrevDlgCtrl();
    int GetFocusedId() const { return focusId_; }

    // What the user does, for tests and for the widgets alike: each changes the state and sends the
    // control's notification as a user action would.
    void ClickDlgItem(int id);                       // buttons, check boxes, radio buttons
    void TypeDlgItemText(int id, LPCSTR text);       // edits and editable combo boxes (EN_CHANGE)
    void SelectDlgItem(int id, int index, bool select = true);  // list box / combo box (SELCHANGE)
    void PressEnter();   // the default button
    void PressEscape();  // Cancel

    UINT TemplateId() const { return templateId_; }
    const qui::DialogTemplate* Template() const { return template_; }
    bool IsEnded() const { return ended_; }
    int Result() const { return result_; }
    // Pixel geometry of dialog units in this dialog's font.
    static CRect DialogUnitsToPixels(const RECT& dlu);

    // ---- layer internals
    void makeControls();
    void setFocusId(int id, bool fromWidget);
    // The ids of the controls that take the focus now (enabled and shown), in tab order.
    std::vector<int> focusOrder() const;
    qui::detail::DialogHost* host() const { return host_; }
    void setHost(qui::detail::DialogHost* host) { host_ = host; }
    QWidget* makeWidget(QWidget* parent) override;

protected:
    UINT templateId_;
    const qui::DialogTemplate* template_ = nullptr;
    CWnd* parentWnd_;
    int result_ = 0;
    bool ended_ = false;
    bool controlsMade_ = false;
    UINT defId_ = IDOK;
    int focusId_ = 0;
    qui::detail::DialogHost* host_ = nullptr;
    std::map<std::type_index, std::unique_ptr<CWnd>> inert_;
};

// ---- threads
using AFX_THREADPROC = UINT (*)(LPVOID);
class CWinThread {
public:
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
    // Waits for the thread's end; FALSE when it was already joined or auto-deleted.
    BOOL Join();
    struct Impl;
    std::shared_ptr<Impl> impl;
};
// Starts proc(param) on a new thread. With m_bAutoDelete (the default) the object is deleted when the
// thread ends; set it to FALSE at once to Join later.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = 0, UINT stackSize = 0,
                           DWORD createFlags = 0);

// ---- the application
class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FileNothing = -1 };
    virtual ~CCommandLineInfo() = default;
    virtual void ParseParam(const char* param, BOOL flag, BOOL last);
    BOOL m_bShowSplash = TRUE;
    BOOL m_bRunEmbedded = FALSE;
    BOOL m_bRunAutomated = FALSE;
    int m_nShellCommand = FileNew;
    std::string m_strFileName;
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The message loop, until the main window is gone or PostQuitMessage.
    virtual int Run();
    // Sees every message of the main thread (input messages and posted ones) before its window.
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnIdle(LONG count);
    // Opens a file for the recent-file list or the command line; nonzero on success.
    virtual BOOL OpenDocumentFile(LPCSTR path);
    virtual BOOL SaveAllModified();
    BOOL OnCmdMsg(UINT id, CCmdUI* ui) override;

    // Profile: HKEY_CURRENT_USER "Software\<registry key>\<profile name>\<section>".
    void SetRegistryKey(LPCSTR company);
    UINT GetProfileInt(LPCSTR section, LPCSTR entry, int defaultValue);
    BOOL WriteProfileInt(LPCSTR section, LPCSTR entry, int value);
    std::string GetProfileString(LPCSTR section, LPCSTR entry, LPCSTR defaultValue = nullptr);
    BOOL WriteProfileString(LPCSTR section, LPCSTR entry, LPCSTR value);
    // Reads the recent-file list (section "Recent File List", "File1".."FileN").
    void LoadStdProfileSettings(UINT maxRecentFiles = 4);
    void AddToRecentFileList(LPCSTR path);
    const std::vector<std::string>& RecentFiles() const { return recent_; }

    HICON LoadIcon(UINT id) const;
    void ParseCommandLine(CCommandLineInfo& info);
    BOOL ProcessShellCommand(CCommandLineInfo& info);

    CWnd* m_pMainWnd = nullptr;
    std::string m_pszAppName;
    std::string m_pszRegistryKey;
    std::string m_pszProfileName;
    std::string m_pszExeName;
    int m_nCmdShow = SW_SHOWNORMAL;
    std::vector<std::string> arguments;  // the command line, without the program

    // Recent-file menu: ID_FILE_MRU_FILE1's entry stands for the list (the class library's update).
    void UpdateRecentFileMenu(CCmdUI* ui);

private:
    std::string profileKey(LPCSTR section) const;
    void saveRecentFiles();
    std::vector<std::string> recent_;
    UINT maxRecent_ = 0;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
LPCSTR AfxGetAppName();
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));
// "%1" of string id replaced by argument.
void AfxFormatString1(std::string& out, UINT id, LPCSTR argument);
void AfxFormatString2(std::string& out, UINT id, LPCSTR argument1, LPCSTR argument2);
BOOL AfxInitRichEdit2();
void InitCommonControls();

// The program's entry: creates the Qt application (the main thread is the caller), applies the
// "C" numeric locale, runs the application object's InitInstance and, when it returns TRUE, Run;
// the exit code is ExitInstance's.
int AfxWinMain(int argc, char** argv);

namespace qui {

bool IsMainThread();
// Whether windows get Qt widgets: a Qt GUI application exists.
bool HasDisplay();
// Runs fn on the main thread (directly when called there) and returns its result; the caller serves
// the sends addressed to its own windows while it waits.
LRESULT RunOnMainThread(const std::function<LRESULT()>& fn);

// Lets the main thread paint its windows and serve its timers and posted messages, without taking
// the user's input: a long wait on the main thread keeps the windows drawn and cannot start another
// command. Nothing on another thread or without a display.
void ProcessPendingPaint();

// Replaces how DoModal runs a dialog (tests): runner(dialog) drives it after OnInitDialog, by
// ClickDlgItem, TypeDlgItemText... A dialog the runner leaves open is cancelled. Returns the
// previous runner; an empty function restores the normal modal loop.
using ModalRunner = std::function<void(CDialog&)>;
ModalRunner SetModalRunner(ModalRunner runner);

// The system's power broadcast: WM_POWERBROADCAST sent to the application's main window on the main
// thread (the login manager's PrepareForSleep brings it when one runs). Tests raise it here.
void RaisePowerBroadcast(WPARAM event);
// Whether the login manager's signal is being watched (a system bus answered).
bool PowerBroadcastConnected();

}  // namespace qui
