// Command targets and windows: the run-time message maps, the window state and its handle.
#include <algorithm>
#include <cstring>

#include "ui_internal.h"

namespace qui::detail {
LPCSTR Text(LPCSTR text) { return text ? text : ""; }
namespace {
CWnd* focusWindow = nullptr;
}
void SetFocusWindow(CWnd* window) { focusWindow = window; }
void ForgetFocusWindow(CWnd* window) {
    if (focusWindow == window) focusWindow = nullptr;
}
}  // namespace qui::detail

using namespace qui::detail;

// ---- CCmdUI
void CCmdUI::Enable(BOOL on) {
    enabled = on != FALSE;
    handled = true;
    if (m_pMenu) m_pMenu->EnableMenuItem(m_nIndex, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
}

void CCmdUI::SetCheck(int check) {
    checked = check;
    handled = true;
    if (m_pMenu) m_pMenu->CheckMenuItem(m_nIndex, MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetText(LPCSTR text) {
    handled = true;
    if (m_pMenu) m_pMenu->ModifyMenu(m_nIndex, MF_BYPOSITION | MF_STRING, m_nID, text);
}

// ---- CCmdTarget
CCmdTarget::CCmdTarget() = default;
CCmdTarget::~CCmdTarget() = default;

void CCmdTarget::MapCommand(UINT id, std::function<void()> handler) {
    entries_.push_back(Entry{id, id, [h = std::move(handler)](UINT) { h(); }, {}});
}

void CCmdTarget::MapCommandRange(UINT first, UINT last, std::function<void(UINT)> handler) {
    entries_.push_back(Entry{first, last, std::move(handler), {}});
}

void CCmdTarget::MapUpdateCommand(UINT id, std::function<void(CCmdUI*)> handler) {
    entries_.push_back(Entry{id, id, {}, std::move(handler)});
}

void CCmdTarget::MapUpdateCommandRange(UINT first, UINT last, std::function<void(CCmdUI*)> handler) {
    entries_.push_back(Entry{first, last, {}, std::move(handler)});
}

BOOL CCmdTarget::OnCmdMsg(UINT id, CCmdUI* ui) {
    // The latest registration wins, so a derived class's handler replaces its base's.
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        const Entry& e = *it;
        if (id < e.first || id > e.last) continue;
        if (ui && e.update) {
            e.update(ui);
            return TRUE;
        }
        if (!ui && e.command) {
            e.command(id);
            return TRUE;
        }
    }
    return FALSE;
}

// ---- CWnd
const CWnd CWnd::wndTop;
const CWnd CWnd::wndBottom;

CWnd::CWnd() = default;

CWnd::~CWnd() {
    ForgetFocusWindow(this);
    if (attached_ && parent_ && parent_->findChild(id_) == this) parent_->detachChild(id_);
    for (CWnd* child : children()) DestroyView(*child);
    if (m_hWnd) {
        StopAllTimers(this);
        DestroyView(*this);
        DestroyHandle(m_hWnd);
        m_hWnd = nullptr;
    }
}

CWnd* CWnd::FromHandle(HWND window) { return LookupWindow(window); }

BOOL CWnd::createHandle(CWnd* parent, UINT id, DWORD style) {
    if (m_hWnd) return FALSE;
    parent_ = parent;
    id_ = static_cast<int>(id);
    style_ = style;
    visible_ = (style & WS_VISIBLE) != 0;
    enabled_ = (style & WS_DISABLED) == 0;
    m_hWnd = CreateHandle(this);
    return m_hWnd != nullptr;
}

BOOL CWnd::Create(LPCSTR, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    if (!createHandle(parent, id, style)) return FALSE;
    text_ = Text(windowName);
    rect_ = rect;
    if ((style & WS_POPUP) && qui::HasDisplay() && qui::IsMainThread()) MakeTopLevelView(*this);
    CREATESTRUCT cs{parent ? parent->m_hWnd : nullptr, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, windowName};
    if (OnCreate(&cs) == -1) {
        DestroyWindow();
        return FALSE;
    }
    if (view_ && visible_) syncView();
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int cx, int cy,
                    HWND parent, UINT_PTR idOrMenu) {
    return Create(className, windowName, style, RECT{x, y, x + cx, y + cy}, FromHandle(parent),
                  static_cast<UINT>(idOrMenu));
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    WindowProc(WM_DESTROY, 0, 0);
    for (CWnd* child : children()) {
        if (child->m_hWnd) child->DestroyWindow();
    }
    StopAllTimers(this);
    ForgetFocusWindow(this);
    DestroyView(*this);
    DestroyHandle(m_hWnd);
    m_hWnd = nullptr;
    // The main window's end ends the message loop.
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
    PostNcDestroy();
    return TRUE;
}

void CWnd::MapMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler) {
    messages_[message] = std::move(handler);
}

void CWnd::MapNotify(int controlId, UINT code, std::function<void()> handler) {
    // A notification code travels in the high word of WM_COMMAND's wParam: the common controls'
    // negative codes (NM_DBLCLK, TVN_SELCHANGED) arrive as their low 16 bits, which are distinct.
    notifications_[{controlId, code & 0xFFFFu}] = std::move(handler);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const auto it = messages_.find(message); it != messages_.end()) return it->second(wParam, lParam);
    switch (message) {
        case WM_COMMAND:
            if (OnCommand(wParam, lParam)) return 0;
            break;
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        default:
            break;
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_POWERBROADCAST) return TRUE;
    return 0;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (lParam != 0) {
        if (const auto it = notifications_.find({id, code}); it != notifications_.end()) {
            it->second();
            return TRUE;
        }
        if (code != BN_CLICKED) return FALSE;
    }
    return OnCmdMsg(static_cast<UINT>(id), nullptr);
}

int CWnd::OnCreate(LPCREATESTRUCT) { return 0; }

void CWnd::OnClose() { DestroyWindow(); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCSTR text) {
    text_ = Text(text);
    syncView();
}

std::string CWnd::GetWindowText() const { return text_; }
int CWnd::GetWindowTextLength() const { return static_cast<int>(text_.size()); }

BOOL CWnd::EnableWindow(BOOL enable) {
    const bool wasDisabled = !enabled_;
    enabled_ = enable != FALSE;
    syncView();
    return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const { return enabled_ ? TRUE : FALSE; }

BOOL CWnd::ShowWindow(int command) {
    const bool wasVisible = visible_;
    visible_ = command != SW_HIDE;
    // Showing or hiding keeps the window's state; minimising, maximising and restoring change it.
    if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) iconic_ = true;
    else if (command == SW_RESTORE || command == SW_SHOWNORMAL || command == SW_SHOWMAXIMIZED) iconic_ = false;
    if (!view_ && visible_ && (style_ & WS_POPUP) == 0 && !parent_ && qui::HasDisplay() && qui::IsMainThread() &&
        dynamic_cast<CFrameWnd*>(this))
        MakeTopLevelView(*this);
    syncView();
    ShowViewState(*this, command);
    if (visible_ && (command == SW_SHOW || command == SW_SHOWNORMAL || command == SW_RESTORE ||
                     command == SW_SHOWMAXIMIZED))
        ActivateView(*this);
    return wasVisible ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const { return visible_ ? TRUE : FALSE; }
// A window on the display is minimised as its widget is: the user may have minimised or restored it.
BOOL CWnd::IsIconic() const { return (view_ ? ViewIsMinimized(*this) : iconic_) ? TRUE : FALSE; }

CWnd* CWnd::SetFocus() {
    CWnd* previous = GetFocus();
    if (auto* dialog = dynamic_cast<CDialog*>(controlOwner())) {
        dialog->setFocusId(id_, false);
    } else {
        SetFocusWindow(this);
        FocusView(*this);
    }
    return previous;
}

CWnd* CWnd::GetFocus() { return focusWindow; }

HICON CWnd::SetIcon(HICON icon, BOOL big) {
    HICON previous = icons_[big ? 1 : 0];
    icons_[big ? 1 : 0] = icon;
    syncView();
    return previous;
}

HICON CWnd::GetIcon(BOOL big) const { return icons_[big ? 1 : 0]; }

void CWnd::GetClientRect(LPRECT rect) const {
    if (rect) *rect = RECT{0, 0, rect_.right - rect_.left, rect_.bottom - rect_.top};
}

void CWnd::GetWindowRect(LPRECT rect) const {
    if (!rect) return;
    POINT origin{0, 0};
    PointToScreen(*this, origin, true);
    *rect = RECT{origin.x, origin.y, origin.x + rect_.right - rect_.left, origin.y + rect_.bottom - rect_.top};
}

void CWnd::MoveWindow(int x, int y, int cx, int cy, BOOL) {
    rect_ = RECT{x, y, x + cx, y + cy};
    ApplyGeometry(*this);
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint) {
    if (rect) MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (!m_hWnd) return FALSE;
    if (!(flags & SWP_NOMOVE)) {
        const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
        rect_ = RECT{x, y, x + w, y + h};
    }
    if (!(flags & SWP_NOSIZE)) rect_ = RECT{rect_.left, rect_.top, rect_.left + cx, rect_.top + cy};
    if (!(flags & (SWP_NOMOVE)) || !(flags & SWP_NOSIZE)) ApplyGeometry(*this);
    if (!(flags & SWP_NOZORDER) && insertAfter == &wndBottom) LowerView(*this);
    if (!(flags & SWP_NOZORDER) && insertAfter == &wndTop) RaiseView(*this);
    if (flags & SWP_SHOWWINDOW) ShowWindow(SW_SHOWNOACTIVATE);
    if (flags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
    return TRUE;
}

void CWnd::CenterWindow(CWnd* alternateOwner) { CenterView(*this, alternateOwner ? alternateOwner : parent_); }

void CWnd::ClientToScreen(LPPOINT point) const {
    if (point) PointToScreen(*this, *point, true);
}

void CWnd::ScreenToClient(LPPOINT point) const {
    if (point) PointToScreen(*this, *point, false);
}

void CWnd::Invalidate(BOOL) { InvalidateView(*this); }
void CWnd::UpdateWindow() { InvalidateView(*this); }
void CWnd::RedrawWindow() { InvalidateView(*this); }
void CWnd::SetRedraw(BOOL redraw) { SendMessage(WM_SETREDRAW, static_cast<WPARAM>(redraw), 0); }
void CWnd::DragAcceptFiles(BOOL) {}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT milliseconds, void*) {
    if (!m_hWnd) return 0;
    RunTimer(this, id, milliseconds);
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    if (!m_hWnd) return FALSE;
    StopTimer(this, id);
    return TRUE;
}

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
    return qui::GetUserPrompts().ShowMessageBox(m_hWnd, Text(text), caption ? caption : AfxGetAppName(), type);
}

CWnd* CWnd::GetDlgItem(int id) const { return findChild(id); }

void CWnd::SetDlgItemText(int id, LPCSTR text) {
    if (CWnd* c = findChild(id)) c->SetWindowText(text);
}

std::string CWnd::GetDlgItemText(int id) const {
    CWnd* c = findChild(id);
    return c ? c->GetWindowText() : std::string();
}

int CWnd::GetDlgItemText(int id, char* buffer, int size) const {
    if (!buffer || size <= 0) return 0;
    const std::string text = GetDlgItemText(id);
    const int n = std::min(static_cast<int>(text.size()), size - 1);
    std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
    if (translated) *translated = FALSE;
    CWnd* c = findChild(id);
    if (!c) return 0;
    const std::string text = c->GetWindowText();
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (isSigned && i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return 0;
    unsigned long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size()) return 0;
    if (isSigned && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
    if (translated) *translated = TRUE;
    return negative ? static_cast<UINT>(-static_cast<long long>(value)) : static_cast<UINT>(value);
}

void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned) {
    const std::string text = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    SetDlgItemText(id, text.c_str());
}

void CWnd::CheckDlgButton(int id, UINT check) {
    if (auto* b = dynamic_cast<CButton*>(findChild(id))) b->SetCheck(static_cast<int>(check));
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    const auto* b = dynamic_cast<const CButton*>(findChild(id));
    return b ? static_cast<UINT>(b->GetCheck()) : 0;
}

void CWnd::CheckRadioButton(int first, int last, int check) {
    for (int id = first; id <= last; ++id) CheckDlgButton(id, id == check ? BST_CHECKED : BST_UNCHECKED);
}

int CWnd::GetCheckedRadioButton(int first, int last) const {
    for (int id = first; id <= last; ++id) {
        if (IsDlgButtonChecked(id)) return id;
    }
    return 0;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    if (!parent || m_hWnd) return FALSE;
    CWnd* old = parent->findChild(static_cast<int>(id));
    if (!old) return FALSE;
    text_ = old->text_;
    enabled_ = old->enabled_;
    visible_ = old->visible_;
    style_ = old->style_;
    rect_ = old->rect_;
    if (auto* oldButton = dynamic_cast<CButton*>(old)) {
        if (auto* button = dynamic_cast<CButton*>(this)) {
            button->check_ = oldButton->check_;
            button->kind_ = oldButton->kind_;
            button->isDefault_ = oldButton->isDefault_;
        }
    }
    const bool hadView = old->view_ != nullptr;
    old->DestroyWindow();
    parent_ = parent;
    id_ = static_cast<int>(id);
    m_hWnd = CreateHandle(this);
    parent->attachChild(static_cast<int>(id), this);
    PreSubclassWindow();
    if (hadView && parent->view_) {
        makeWidget(parent->view_->widget());
        ApplyGeometry(*this);
        syncView();
    }
    return TRUE;
}

BOOL CWnd::createControl(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    if (!Create(nullptr, nullptr, style | WS_CHILD, rect, parent, id)) return FALSE;
    if (parent) {
        parent->attachChild(static_cast<int>(id), this);
        if (auto* frame = dynamic_cast<CMDIChildWnd*>(parent)) frame->SetClient(this);
        else if (parent->view()) {
            makeWidget(parent->view()->widget());
            ApplyGeometry(*this);
            syncView();
        }
    }
    return TRUE;
}

QWidget* CWnd::makeWidget(QWidget*) { return nullptr; }

void CWnd::syncView() {
    if (!view_) return;
    // A worker that changes a control's state has the main thread show it.
    if (!qui::IsMainThread()) {
        QueueViewSync(m_hWnd);
        return;
    }
    view_->sync();
}

void CWnd::attachChild(int id, CWnd* child) {
    children_[id] = child;
    child->attached_ = true;
}

void CWnd::detachChild(int id) { children_.erase(id); }

CWnd* CWnd::findChild(int id) const {
    const auto it = children_.find(id);
    return it == children_.end() ? nullptr : it->second;
}

std::vector<CWnd*> CWnd::children() const {
    std::vector<CWnd*> out;
    for (const auto& [id, child] : children_) out.push_back(child);
    return out;
}

void CWnd::adoptChild(std::unique_ptr<CWnd> child) { ownedChildren_.push_back(std::move(child)); }

CWnd* CWnd::controlOwner() const { return parent_; }

void CWnd::notifyParent(UINT code) {
    if (parent_ && parent_->m_hWnd)
        ::SendMessage(parent_->m_hWnd, WM_COMMAND, MAKEWPARAM(id_, code), reinterpret_cast<LPARAM>(m_hWnd));
}

// ---- fonts, regions, geometry by handle
BOOL CFont::CreateFont(int height, int, int, int, int fontWeight, BYTE isItalic, BYTE isUnderline, BYTE, BYTE, BYTE, BYTE, BYTE,
                       BYTE, LPCSTR fontFace) {
    pixelHeight = height < 0 ? -height : height;
    tenthsOfPoint = 0;
    weight = fontWeight == 0 ? FW_NORMAL : fontWeight;
    italic = isItalic != 0;
    underline = isUnderline != 0;
    face = Text(fontFace);
    created = true;
    return TRUE;
}

BOOL CFont::CreatePointFont(int pointSize, LPCSTR fontFace) {
    pixelHeight = 0;
    tenthsOfPoint = pointSize;
    weight = FW_NORMAL;
    face = Text(fontFace);
    created = true;
    return TRUE;
}

BOOL CFont::DeleteObject() {
    const bool was = created;
    created = false;
    return was ? TRUE : FALSE;
}

BOOL CRgn::CreateEllipticRgn(int left, int top, int right, int bottom) {
    shape = Shape::Ellipse;
    bounds = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom) {
    shape = Shape::Rectangle;
    bounds = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL CRgn::DeleteObject() {
    const bool was = shape != Shape::None;
    shape = Shape::None;
    return was ? TRUE : FALSE;
}

void CWnd::SetFont(CFont* font, BOOL) {
    font_ = font;
    syncView();
}

int CWnd::SetWindowRgn(CRgn* region, BOOL) {
    region_ = region ? *region : CRgn();
    syncView();
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL) {
    if (!rect) return FALSE;
    int border = 4, titleBar = 20;  // without a display
    qui::detail::FrameMetrics(border, titleBar);
    if (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) {
        rect->left -= border;
        rect->right += border;
        rect->bottom += border;
        rect->top -= border;
    }
    if ((style & WS_CAPTION) == WS_CAPTION) rect->top -= titleBar;
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    CWnd* w = CWnd::FromHandle(window);
    if (!w || !rect) return FALSE;
    w->GetClientRect(rect);
    return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    CWnd* w = CWnd::FromHandle(window);
    if (!w || !rect) return FALSE;
    w->GetWindowRect(rect);
    return TRUE;
}
