// Frame windows, the MDI frame and its child frames, the toolbar and the status bar.
#include <algorithm>

#include "ui_internal.h"

using namespace qui::detail;

namespace {

// The part of a command's string before "\n" (the prompt) or after it (the tool tip).
std::string promptPart(UINT id, bool tip) {
    const std::string text = qui::LoadResourceString(id);
    const auto nl = text.find('\n');
    if (nl == std::string::npos) return tip ? std::string() : text;
    return tip ? text.substr(nl + 1) : text.substr(0, nl);
}

std::string indicatorText(UINT id) {
    std::string text;
    if (qui::LoadResourceString(id, text)) return text;
    switch (id) {
        case ID_INDICATOR_CAPS: return "CAP";
        case ID_INDICATOR_NUM: return "NUM";
        case ID_INDICATOR_SCRL: return "SCRL";
        default: return {};
    }
}

}  // namespace

namespace qui::detail {
std::string CommandTip(UINT id) { return promptPart(id, true); }
}

// ---- CFrameWnd
CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd() {
    for (CControlBar* bar : bars_) bar->setParentWnd(nullptr);
}

CControlBar::~CControlBar() {
    if (auto* frame = dynamic_cast<CFrameWnd*>(GetParent())) frame->unregisterBar(this);
}

void CFrameWnd::unregisterBar(CControlBar* bar) { std::erase(bars_, bar); }

BOOL CFrameWnd::LoadFrame(UINT id, DWORD style, CWnd* parent) {
    if (!createHandle(parent, 0, style & ~WS_VISIBLE)) return FALSE;
    std::string title = qui::LoadResourceString(id);
    if (const auto nl = title.find('\n'); nl != std::string::npos) title.resize(nl);
    title_ = title;
    text_ = title;
    menu_.LoadMenu(id);
    LoadAccelTable(id);
    if (CWinApp* app = AfxGetApp()) icons_[0] = icons_[1] = app->LoadIcon(id);
    rect_ = RECT{0, 0, 800, 600};
    if (qui::HasDisplay() && qui::IsMainThread()) MakeTopLevelView(*this);
    CREATESTRUCT cs{parent ? parent->m_hWnd : nullptr, style, 0, 0, 800, 600, title_.c_str()};
    if (OnCreate(&cs) == -1) {
        DestroyWindow();
        return FALSE;
    }
    if (auto* mdi = dynamic_cast<CMDIFrameWnd*>(this)) mdi->OnCreateClient(&cs);
    SyncMenuBar(*this);
    SyncAccelerators(*this);
    SyncBars(*this);
    return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT) { return 0; }

BOOL CFrameWnd::OnCmdMsg(UINT id, CCmdUI* ui) {
    if (CCmdTarget::OnCmdMsg(id, ui)) return TRUE;
    if (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR) {
        CControlBar* bar = id == ID_VIEW_TOOLBAR ? static_cast<CControlBar*>(toolBar()) : statusBar();
        if (!bar) return FALSE;
        if (ui) ui->SetCheck(bar->IsWindowVisible() ? 1 : 0);
        else ShowControlBar(bar, !bar->IsWindowVisible(), FALSE);
        return TRUE;
    }
    if (CWinApp* app = AfxGetApp(); app && GetParent() == nullptr) return app->OnCmdMsg(id, ui);
    return FALSE;
}

void CFrameWnd::OnClose() {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this && !app->SaveAllModified()) return;
    DestroyWindow();
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CWnd::WindowProc(message, wParam, lParam);
}

CMenu* CFrameWnd::GetMenu() const { return menu_.m_hMenu ? const_cast<CMenu*>(&menu_) : nullptr; }

void CFrameWnd::SetMenu(CMenu* menu) {
    menu_.DestroyMenu();
    if (menu) menu_.Attach(menu->Detach());
    SyncMenuBar(*this);
}

void CFrameWnd::DrawMenuBar() { SyncMenuBar(*this); }

void CFrameWnd::SetTitle(LPCSTR title) {
    title_ = Text(title);
    SetWindowText(title);
}

void CFrameWnd::GetMessageString(UINT id, std::string& message) const { message = promptPart(id, false); }

void CFrameWnd::SetMessageText(LPCSTR text) {
    if (CStatusBar* bar = statusBar(); bar && bar->GetCount() > 0) bar->SetPaneText(0, text);
}

void CFrameWnd::SetMessageText(UINT id) {
    std::string text;
    GetMessageString(id, text);
    SetMessageText(text.c_str());
}

void CFrameWnd::ShowControlBar(CControlBar* bar, BOOL show, BOOL) {
    if (!bar) return;
    bar->ShowWindow(show ? SW_SHOW : SW_HIDE);
    RecalcLayout();
}

void CFrameWnd::RecalcLayout() { SyncBars(*this); }

void CFrameWnd::ActivateFrame(int command) { ShowWindow(command == -1 ? SW_SHOW : command); }

void CFrameWnd::UpdateCommandUI() {
    if (CToolBar* bar = toolBar()) bar->UpdateButtons(this);
}

void CFrameWnd::UpdateMenuUI(CMenu* menu) {
    if (!menu) return;
    for (UINT i = 0; i < menu->GetMenuItemCount(); ++i) {
        const UINT id = menu->GetMenuItemID(static_cast<int>(i));
        if (id == 0 || id == static_cast<UINT>(-1)) continue;
        CCmdUI ui;
        ui.m_nID = id;
        ui.m_nIndex = i;
        ui.m_pMenu = menu;
        const UINT before = menu->GetMenuItemCount();
        OnCmdMsg(id, &ui);
        // An update may add items (the recent-file list): skip over them.
        const UINT after = menu->GetMenuItemCount();
        if (after > before) i += after - before;
    }
}

BOOL CFrameWnd::RunCommand(UINT id) { return OnCmdMsg(id, nullptr); }

BOOL CFrameWnd::LoadAccelTable(UINT id) {
    const auto* table = qui::FindAccelerators(id);
    accelerators_ = table ? *table : std::vector<ACCEL>{};
    m_hAccelTable = table ? reinterpret_cast<HACCEL>(static_cast<std::uintptr_t>(id)) : nullptr;
    qui::detail::SyncAccelerators(*this);
    return table ? TRUE : FALSE;
}

BOOL CFrameWnd::TranslateAccelerator(WORD key, BYTE modifiers, bool virtualKey) {
    constexpr BYTE kModifiers = FSHIFT | FCONTROL | FALT;
    for (const ACCEL& entry : accelerators_) {
        if (entry.key != key || ((entry.fVirt & FVIRTKEY) != 0) != virtualKey) continue;
        if ((entry.fVirt & kModifiers) != (modifiers & kModifiers)) continue;
        // A command its update handler disables is not run, as its menu item could not be chosen.
        CCmdUI ui;
        ui.m_nID = entry.cmd;
        OnCmdMsg(entry.cmd, &ui);
        if (ui.enabled && m_hWnd) SendMessage(WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
        return TRUE;
    }
    return FALSE;
}

CStatusBar* CFrameWnd::statusBar() const {
    for (CControlBar* bar : bars_) {
        if (auto* s = dynamic_cast<CStatusBar*>(bar)) return s;
    }
    return nullptr;
}

CToolBar* CFrameWnd::toolBar() const {
    for (CControlBar* bar : bars_) {
        if (auto* t = dynamic_cast<CToolBar*>(bar)) return t;
    }
    return nullptr;
}

void CFrameWnd::registerBar(CControlBar* bar) {
    if (std::find(bars_.begin(), bars_.end(), bar) == bars_.end()) bars_.push_back(bar);
    attachChild(bar->GetDlgCtrlID(), bar);
    SyncBars(*this);
}

// ---- CMDIFrameWnd
CMDIFrameWnd::~CMDIFrameWnd() {
    for (CMDIChildWnd* child : children_) child->mdiFrame_ = nullptr;
    delete mdiClient_;
    mdiClient_ = nullptr;
}

BOOL CMDIFrameWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    for (CMDIChildWnd* child : std::vector<CMDIChildWnd*>(children_)) child->DestroyWindow();
    if (mdiClient_) mdiClient_->DestroyWindow();
    return CFrameWnd::DestroyWindow();
}

BOOL CMDIFrameWnd::OnCreateClient(LPCREATESTRUCT cs) {
    if (mdiClient_) return TRUE;
    // The client area: without a widget it is the frame's whole client rectangle.
    mdiClient_ = new CWnd;
    mdiClient_->Create(nullptr, "", WS_CHILD | WS_VISIBLE, RECT{0, 0, cs ? cs->cx : 0, cs ? cs->cy : 0}, this, AFX_IDW_PANE_FIRST);
    m_hWndMDIClient = mdiClient_->m_hWnd;
    BindMdiClient(*this);
    return TRUE;
}

CMDIChildWnd* CMDIFrameWnd::MDIGetActive() const { return active_; }

std::vector<CMDIChildWnd*> CMDIFrameWnd::MDIChildren() const { return children_; }

void CMDIFrameWnd::MDIActivate(CWnd* window) {
    auto* child = dynamic_cast<CMDIChildWnd*>(window);
    if (!child || child->mdiFrame_ != this || child == active_) return;
    CMDIChildWnd* previous = active_;
    active_ = child;
    if (previous && previous->m_hWnd) previous->OnMDIActivate(FALSE, child, previous);
    child->OnMDIActivate(TRUE, child, previous);
}

// ---- CMDIChildWnd
CMDIChildWnd::~CMDIChildWnd() {
    if (mdiFrame_) {
        std::erase(mdiFrame_->children_, this);
        if (mdiFrame_->active_ == this) mdiFrame_->active_ = nullptr;
    }
}

BOOL CMDIChildWnd::Create(LPCSTR, LPCSTR title, DWORD style, const RECT& rect, CMDIFrameWnd* parent) {
    if (!parent || !createHandle(parent, 0, style)) return FALSE;
    mdiFrame_ = parent;
    text_ = title_ = Text(title);
    rect_ = rect;
    parent->children_.push_back(this);
    if (parent->view()) makeWidget(parent->view()->widget());
    CREATESTRUCT cs{parent->m_hWnd, style, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, title};
    if (OnCreate(&cs) == -1) {
        DestroyWindow();
        return FALSE;
    }
    syncView();
    if (style & WS_VISIBLE) MDIActivate();
    return TRUE;
}

BOOL CMDIChildWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    client_ = nullptr;
    // A destroyed child frame no longer belongs to its MDI frame (which may go before the object).
    if (mdiFrame_) {
        std::erase(mdiFrame_->children_, this);
        if (mdiFrame_->active_ == this) mdiFrame_->active_ = nullptr;
        mdiFrame_ = nullptr;
    }
    return CFrameWnd::DestroyWindow();  // may delete this (PostNcDestroy)
}

void CMDIChildWnd::SetClient(CWnd* client) {
    client_ = client;
    syncView();
}

void CMDIChildWnd::MDIActivate() {
    if (mdiFrame_) mdiFrame_->MDIActivate(this);
    ActivateView(*this);
}

void CMDIChildWnd::MDIDestroy() { DestroyWindow(); }

void CMDIChildWnd::OnMDIActivate(BOOL, CWnd*, CWnd*) {}

// ---- CToolBar
BOOL CToolBar::CreateEx(CWnd* parent, DWORD, DWORD style, RECT, UINT id) { return Create(parent, style, id); }

BOOL CToolBar::Create(CWnd* parent, DWORD style, UINT id) {
    if (!createHandle(parent, id, style)) return FALSE;
    barStyle_ = style;
    if (auto* frame = dynamic_cast<CFrameWnd*>(parent)) frame->registerBar(this);
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT id) {
    const auto* commands = qui::FindToolBar(id);
    if (!commands) return FALSE;
    commands_ = *commands;
    if (auto* frame = dynamic_cast<CFrameWnd*>(parent_)) SyncBars(*frame);
    return TRUE;
}

UINT CToolBar::GetItemID(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < commands_.size() ? commands_[static_cast<std::size_t>(index)] : 0;
}

bool CToolBar::IsButtonEnabled(UINT command) const {
    const auto it = states_.find(command);
    return it == states_.end() || it->second.first;
}

bool CToolBar::IsButtonChecked(UINT command) const {
    const auto it = states_.find(command);
    return it != states_.end() && it->second.second;
}

void CToolBar::UpdateButtons(CFrameWnd* target) {
    if (!target) return;
    bool changed = false;
    for (UINT i = 0; i < commands_.size(); ++i) {
        const UINT id = commands_[i];
        if (id == ID_SEPARATOR) continue;
        CCmdUI ui;
        ui.m_nID = id;
        ui.m_nIndex = i;
        ui.m_pOther = this;
        target->OnCmdMsg(id, &ui);
        const auto state = std::make_pair(ui.enabled, ui.checked != 0);
        auto& slot = states_[id];
        if (slot != state) {
            slot = state;
            changed = true;
        }
    }
    if (changed) syncView();
}

// ---- CStatusBar
BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id) {
    if (!createHandle(parent, id, style)) return FALSE;
    barStyle_ = style;
    if (auto* frame = dynamic_cast<CFrameWnd*>(parent)) frame->registerBar(this);
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count) {
    panes_.clear();
    for (int i = 0; ids && i < count; ++i) {
        Pane pane;
        pane.id = ids[i];
        if (pane.id == ID_SEPARATOR) {
            pane.style = SBPS_STRETCH | SBPS_NOBORDERS;
            if (i == 0) {
                std::string ready;
                pane.text = qui::LoadResourceString(AFX_IDS_IDLEMESSAGE, ready) ? ready : "Ready";
            }
        } else {
            pane.text = indicatorText(pane.id);
            if (pane.id == ID_INDICATOR_CAPS || pane.id == ID_INDICATOR_NUM || pane.id == ID_INDICATOR_SCRL) pane.style = SBPS_DISABLED;
        }
        pane.width = static_cast<int>(pane.text.size()) * 7 + 8;
        panes_.push_back(std::move(pane));
    }
    syncView();
    return TRUE;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width) {
    if (index < 0 || index >= GetCount()) return;
    Pane& pane = panes_[static_cast<std::size_t>(index)];
    pane.id = id;
    pane.style = style;
    pane.width = width;
    syncView();
}

void CStatusBar::GetPaneInfo(int index, UINT& id, UINT& style, int& width) const {
    if (index < 0 || index >= GetCount()) {
        id = style = 0;
        width = 0;
        return;
    }
    const Pane& pane = panes_[static_cast<std::size_t>(index)];
    id = pane.id;
    style = pane.style;
    width = pane.width;
}

BOOL CStatusBar::SetPaneText(int index, LPCSTR text, BOOL) {
    if (index < 0 || index >= GetCount()) return FALSE;
    panes_[static_cast<std::size_t>(index)].text = Text(text);
    syncView();
    return TRUE;
}

std::string CStatusBar::GetPaneText(int index) const {
    return index >= 0 && index < GetCount() ? panes_[static_cast<std::size_t>(index)].text : std::string();
}

int CStatusBar::CommandToIndex(UINT id) const {
    for (int i = 0; i < GetCount(); ++i) {
        if (panes_[static_cast<std::size_t>(i)].id == id) return i;
    }
    return -1;
}

BOOL CStatusBarCtrl::SetIcon(int pane, HICON icon) {
    if (!bar || pane < 0 || pane >= bar->GetCount()) return FALSE;
    bar->panes_[static_cast<std::size_t>(pane)].icon = icon;
    bar->syncView();
    return TRUE;
}

HICON CStatusBarCtrl::GetIcon(int pane) const {
    if (!bar || pane < 0 || pane >= bar->GetCount()) return nullptr;
    return bar->panes_[static_cast<std::size_t>(pane)].icon;
}

void CStatusBarCtrl::SetMinHeight(int height) {
    if (!bar) return;
    bar->minHeight_ = height;
    bar->syncView();
}
