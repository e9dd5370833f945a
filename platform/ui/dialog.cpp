// Dialogs: controls made from the template, focus moves with their notifications, the user's
// actions as the widgets and the tests perform them, and the modal run.
#include <algorithm>

#include "ui/afxcmn.h"
#include "ui_internal.h"

using namespace qui::detail;

namespace qui::detail {
std::size_t RadioGroupStart(const qui::DialogTemplate& dialog, int id) {
    const auto& cs = dialog.controls;
    const auto self = std::find_if(cs.begin(), cs.end(), [id](const auto& t) { return t.id == id; });
    if (self == cs.end()) return cs.size();
    auto first = self;
    while (first != cs.begin() && !(first->style & qui::kGroup)) --first;
    return static_cast<std::size_t>(first - cs.begin());
}
}  // namespace qui::detail

namespace {

qui::ModalRunner modalRunner;

std::unique_ptr<CWnd> makeControl(const qui::ControlTemplate& t) {
    using K = qui::ControlKind;
    switch (t.kind) {
        case K::PushButton:
        case K::OwnerDrawButton:
        case K::CheckBox:
        case K::RadioButton:
        case K::GroupBox: {
            auto b = std::make_unique<CButton>();
            b->kind_ = static_cast<int>(t.kind);
            b->isDefault_ = (t.style & qui::kDefault) != 0;
            if (t.kind == K::OwnerDrawButton) b->buttonStyle_ = BS_OWNERDRAW;
            return b;
        }
        case K::Static:
        case K::EtchedLine:
        case K::Icon: {
            auto s = std::make_unique<CStatic>();
            if (t.kind == K::Icon && t.iconId) s->icon_ = AfxGetApp() ? AfxGetApp()->LoadIcon(t.iconId) : nullptr;
            return s;
        }
        case K::Edit: {
            auto e = std::make_unique<CEdit>();
            e->readOnly_ = (t.style & qui::kReadOnly) != 0;
            e->style_flags_ = t.style;
            return e;
        }
        case K::ListBox: {
            auto l = std::make_unique<CListBox>();
            l->multiple_ = (t.style & qui::kMultipleSelection) != 0;
            l->sorted_ = (t.style & qui::kSort) != 0;
            return l;
        }
        case K::ComboBox: {
            auto c = std::make_unique<CComboBox>();
            c->editable_ = (t.style & qui::kDropDownList) == 0;
            c->sorted_ = (t.style & qui::kSort) != 0;
            return c;
        }
        case K::Progress: return std::make_unique<CProgressCtrl>();
        case K::Tree: return std::make_unique<CTreeCtrl>();
        case K::RichEdit: return std::make_unique<CRichEditCtrl>();
    }
    return std::make_unique<CWnd>();
}

bool takesFocus(const qui::ControlTemplate& t) {
    using K = qui::ControlKind;
    if (t.style & qui::kNoTabStop) return false;
    return t.kind != K::Static && t.kind != K::EtchedLine && t.kind != K::Icon && t.kind != K::GroupBox &&
           t.kind != K::Progress;
}

bool isKind(const CWnd* c, qui::ControlKind kind) {
    const auto* b = dynamic_cast<const CButton*>(c);
    return b && b->kind_ == static_cast<int>(kind);
}

}  // namespace

namespace qui {
ModalRunner SetModalRunner(ModalRunner runner) {
    auto previous = std::move(modalRunner);
    modalRunner = std::move(runner);
    return previous;
}
}  // namespace qui

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parentWnd_(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) {
        StopAllTimers(this);
        for (CWnd* child : children()) DestroyView(*child);
        DestroyView(*this);
    }
}

CRect CDialog::DialogUnitsToPixels(const RECT& dlu) {
    double bx = 1.5, by = 1.625;  // an 8-point dialog font without a display
    if (qui::HasDisplay()) DialogBaseUnits(bx, by);
    auto x = [bx](LONG v) { return static_cast<int>(v * bx + 0.5); };
    auto y = [by](LONG v) { return static_cast<int>(v * by + 0.5); };
    return CRect(x(dlu.left), y(dlu.top), x(dlu.right), y(dlu.bottom));
}

void CDialog::makeControls() {
    if (controlsMade_) return;
    controlsMade_ = true;
    if (!template_) template_ = qui::FindDialog(templateId_);
    if (!template_) return;
    text_ = template_->caption;
    rect_ = DialogUnitsToPixels(RECT{0, 0, template_->cx, template_->cy});
    for (const auto& t : template_->controls) {
        auto control = makeControl(t);
        control->text_ = t.kind == qui::ControlKind::Icon ? std::string() : t.text;
        control->rect_ = DialogUnitsToPixels(RECT{t.x, t.y, t.x + t.cx, t.y + t.cy});
        control->enabled_ = (t.style & qui::kDisabled) == 0;
        control->visible_ = (t.style & qui::kHidden) == 0;
        control->parent_ = this;
        control->id_ = t.id;
        if (t.style & qui::kDefault) defId_ = static_cast<UINT>(t.id);
        if (t.id != IDC_STATIC) attachChild(t.id, control.get());
        adoptChild(std::move(control));
    }
}

BOOL CDialog::OnInitDialog() {
    // The focus goes to the first control that takes it.
    const std::vector<int> order = focusOrder();
    if (!order.empty()) setFocusId(order.front(), false);
    return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) {
    result_ = result;
    ended_ = true;
    if (host_) ShowModalDialog(*this);  // the Qt side sees ended_ and closes its loop
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (CWnd::OnCommand(wParam, lParam)) return TRUE;
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

INT_PTR CDialog::DoModal() {
    if (!qui::IsMainThread() && qui::HasDisplay()) return qui::RunOnMainThread([this] { return DoModal(); });
    makeControls();
    ended_ = false;
    result_ = -1;
    if (!m_hWnd) {
        m_hWnd = CreateHandle(this);
        parent_ = parentWnd_;
        for (CWnd* c : children()) {
            if (!c->m_hWnd) c->m_hWnd = CreateHandle(c);
        }
    }
    INT_PTR result = -1;
    if (modalRunner) {
        visible_ = true;
        WindowProc(WM_INITDIALOG, 0, 0);
        if (!ended_) modalRunner(*this);
        if (!ended_) OnCancel();
        if (!ended_) EndDialog(IDCANCEL);
        result = result_;
    } else if (qui::HasDisplay()) {
        result = ShowModalDialog(*this);
    }
    visible_ = false;
    DestroyWindow();
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd) return FALSE;
    templateId_ = templateId;
    parentWnd_ = parent;
    template_ = nullptr;
    makeControls();
    m_hWnd = CreateHandle(this);
    parent_ = parent;
    for (CWnd* c : children()) {
        if (!c->m_hWnd) c->m_hWnd = CreateHandle(c);
    }
    visible_ = template_ && (template_->style & (qui::kVisible | qui::kChild));
    if (qui::HasDisplay() && qui::IsMainThread()) ShowModelessDialog(*this);
    WindowProc(WM_INITDIALOG, 0, 0);
    if (template_ && (template_->style & qui::kChild) && parent) {
        if (auto* frame = dynamic_cast<CMDIChildWnd*>(parent)) frame->SetClient(this);
    }
    return TRUE;
}

BOOL CDialog::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    if (CWnd::GetFocus() && CWnd::GetFocus()->GetParent() == this) ForgetFocusWindow(CWnd::GetFocus());
    focusId_ = 0;
    return CWnd::DestroyWindow();
}

void CDialog::SetDefID(UINT id) {
    for (CWnd* c : children()) {
        if (auto* b = dynamic_cast<CButton*>(c); b && b->kind_ == static_cast<int>(qui::ControlKind::PushButton)) {
            const bool isDefault = static_cast<UINT>(b->id_) == id;
            if (b->isDefault_ != isDefault) {
                b->isDefault_ = isDefault;
                b->syncView();
            }
        }
    }
    defId_ = id;
}

void CDialog::setFocusId(int id, bool fromWidget) {
    if (id == focusId_) {
        if (!fromWidget)
            if (CWnd* c = findChild(id)) FocusView(*c);
        return;
    }
    CWnd* previous = findChild(focusId_);
    CWnd* next = findChild(id);
    focusId_ = id;
    SetFocusWindow(next);
    if (previous) {
        if (dynamic_cast<CEdit*>(previous)) previous->notifyParent(EN_KILLFOCUS);
        else if (auto* combo = dynamic_cast<CComboBox*>(previous); combo && combo->editable_) previous->notifyParent(CBN_KILLFOCUS);
    }
    if (focusId_ != id) return;  // the kill-focus handler moved the focus elsewhere
    if (next && dynamic_cast<CEdit*>(next)) next->notifyParent(EN_SETFOCUS);
    if (focusId_ != id) return;
    if (next && !fromWidget) FocusView(*next);
}

std::vector<int> CDialog::focusOrder() const {
    std::vector<int> order;
    if (!template_) return order;
    for (const auto& t : template_->controls) {
        CWnd* c = findChild(t.id);
        if (c && takesFocus(t) && c->enabled_ && c->visible_) order.push_back(t.id);
    }
    return order;
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control && control->parent_ == this) setFocusId(control->id_, false);
}

void CDialog::NextDlgCtrl() {
    const std::vector<int> order = focusOrder();
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), focusId_);
    setFocusId(it == order.end() || it + 1 == order.end() ? order.front() : *(it + 1), false);
}

void CDialog::PrevDlgCtrl() {
    const std::vector<int> order = focusOrder();
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), focusId_);
    setFocusId(it == order.end() || it == order.begin() ? order.back() : *(it - 1), false);
}

void CDialog::ClickDlgItem(int id) {
    CWnd* c = findChild(id);
    auto* b = dynamic_cast<CButton*>(c);
    if (!b || !b->enabled_ || !b->visible_ || !m_hWnd) return;
    setFocusId(id, false);
    if (focusId_ != id) return;  // a validation kept the focus: the click does not happen
    if (isKind(b, qui::ControlKind::CheckBox)) {
        b->SetCheck(b->check_ ? BST_UNCHECKED : BST_CHECKED);
    } else if (isKind(b, qui::ControlKind::RadioButton) && template_) {
        // Unchecks the other radio buttons of its group (the controls between group starts).
        const auto& cs = template_->controls;
        const std::size_t first = RadioGroupStart(*template_, id);
        for (std::size_t i = first; i < cs.size(); ++i) {
            if (i != first && (cs[i].style & qui::kGroup)) break;
            if (cs[i].kind == qui::ControlKind::RadioButton && cs[i].id != id) CheckDlgButton(cs[i].id, BST_UNCHECKED);
        }
        b->SetCheck(BST_CHECKED);
    }
    b->notifyParent(BN_CLICKED);
}

void CDialog::TypeDlgItemText(int id, LPCSTR text) {
    CWnd* c = findChild(id);
    if (!c || !c->enabled_ || !m_hWnd) return;
    std::string value = Text(text);
    if (auto* e = dynamic_cast<CEdit*>(c)) {
        if (e->readOnly_) return;
        setFocusId(id, false);
        if (focusId_ != id) return;
        // A digits-only edit refuses every other character typed or pasted.
        if (e->style_flags_ & qui::kNumber) std::erase_if(value, [](char ch) { return ch < '0' || ch > '9'; });
        if (e->limit_ && value.size() > e->limit_) value.resize(e->limit_);
        e->text_ = value;
        e->selStart_ = e->selEnd_ = static_cast<int>(value.size());
        e->syncView();
        e->notifyParent(EN_CHANGE);
    } else if (auto* combo = dynamic_cast<CComboBox*>(c); combo && combo->editable_) {
        setFocusId(id, false);
        if (focusId_ != id) return;
        if (combo->limit_ && value.size() > combo->limit_) value.resize(combo->limit_);
        combo->text_ = value;
        combo->current_ = -1;
        combo->syncView();
        combo->notifyParent(CBN_EDITCHANGE);
    }
}

void CDialog::SelectDlgItem(int id, int index, bool select) {
    CWnd* c = findChild(id);
    if (!c || !c->enabled_ || !m_hWnd) return;
    if (auto* l = dynamic_cast<CListBox*>(c)) {
        if (index < 0 || index >= l->GetCount()) return;
        setFocusId(id, false);
        l->current_ = index;  // the caret moves to the line clicked, selected or not
        if (l->multiple_) l->SetSel(index, select ? TRUE : FALSE);
        else l->SetCurSel(index);
        l->notifyParent(LBN_SELCHANGE);
    } else if (auto* combo = dynamic_cast<CComboBox*>(c)) {
        if (index < 0 || index >= combo->GetCount()) return;
        setFocusId(id, false);
        combo->SetCurSel(index);
        combo->notifyParent(CBN_SELCHANGE);
    }
}

void CDialog::PressEnter() {
    CWnd* focused = findChild(focusId_);
    if (isKind(focused, qui::ControlKind::PushButton) || isKind(focused, qui::ControlKind::OwnerDrawButton)) {
        ClickDlgItem(focusId_);
        return;
    }
    if (auto* e = dynamic_cast<CEdit*>(focused); e && (e->style_flags_ & qui::kMultiLine)) return;
    CWnd* def = findChild(static_cast<int>(defId_));
    if (def) {
        if (def->enabled_) {
            // The default button is pressed as a click would: it takes the focus first.
            ClickDlgItem(static_cast<int>(defId_));
        }
    } else if (defId_ == IDOK) {
        SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

void CDialog::PressEscape() {
    CWnd* cancel = findChild(IDCANCEL);
    if (cancel && !cancel->enabled_) return;
    SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel ? cancel->m_hWnd : m_hWnd));
}
