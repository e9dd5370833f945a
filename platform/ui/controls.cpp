// The dialog controls' state: what a widget shows and what the dialog logic reads.
#include <algorithm>
#include <strings.h>

#include "ui/afxcmn.h"
#include "ui_internal.h"

using namespace qui::detail;

namespace {

template <class Vector>
bool inRange(const Vector& v, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < v.size();
}

// Index at which a sorted list inserts text (case-insensitive order, as the platform sorts).
int sortedPosition(const std::vector<std::string>& texts, const char* text) {
    const auto it = std::upper_bound(texts.begin(), texts.end(), std::string(text),
                                     [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    return static_cast<int>(it - texts.begin());
}

int findExact(const std::vector<std::string>& texts, int startAfter, const char* text) {
    const int n = static_cast<int>(texts.size());
    if (n == 0 || !text) return -1;
    const int start = (startAfter < -1 || startAfter >= n) ? -1 : startAfter;
    for (int k = 1; k <= n; ++k) {
        const int i = (start + k) % n;
        if (strcasecmp(texts[static_cast<std::size_t>(i)].c_str(), text) == 0) return i;
    }
    return -1;
}

// A change of a list or combo box's lines reaches its widget at once on the main thread. Another
// thread may not touch the widget: the main thread rebuilds it from the state.
template <class Box, class Change>
void showChange(Box& box, Change what, int index, void (*show)(Box&, Change, int)) {
    if (!box.view()) return;
    if (!qui::IsMainThread()) {
        box.widgetStale_ = true;
        box.syncView();
        return;
    }
    show(box, what, index);
}

}  // namespace

// ---- CStatic
BOOL CStatic::Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    if (!createControl(style, rect, parent, id)) return FALSE;
    SetWindowText(text);
    return TRUE;
}

HICON CStatic::SetIcon(HICON icon) {
    HICON previous = icon_;
    icon_ = icon;
    syncView();
    return previous;
}

// ---- CButton
BOOL CButton::Create(LPCSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    kind_ = static_cast<int>(qui::ControlKind::PushButton);
    buttonStyle_ = style & 0xFFFFu;
    if (!createControl(style & ~0xFFFFu, rect, parent, id)) return FALSE;
    SetWindowText(caption);
    return TRUE;
}

BOOL CBitmapButton::LoadBitmaps(UINT normal, UINT selected, UINT focus, UINT disabled) {
    if (!qui::FindBitmap(normal)) return FALSE;
    bitmaps_[0] = normal;
    bitmaps_[1] = selected;
    bitmaps_[2] = focus;
    bitmaps_[3] = disabled;
    syncView();
    return TRUE;
}

void CButton::SetCheck(int check) {
    check_ = check;
    syncView();
}

void CButton::SetButtonStyle(UINT style, BOOL) {
    buttonStyle_ = style;
    syncView();
}

// ---- CEdit
void CEdit::SetLimitText(UINT limit) {
    limit_ = limit;
    syncView();
}

BOOL CEdit::SetReadOnly(BOOL readOnly) {
    readOnly_ = readOnly != FALSE;
    syncView();
    return TRUE;
}

void CEdit::SetSel(int start, int end, BOOL) {
    const int n = static_cast<int>(text_.size());
    if (start == -1) {
        selStart_ = selEnd_ = n;  // no selection, caret at the end
    } else {
        selStart_ = std::clamp(start, 0, n);
        selEnd_ = end < 0 ? n : std::clamp(end, 0, n);
    }
    syncView();
}

void CEdit::GetSel(int& start, int& end) const {
    start = selStart_;
    end = selEnd_;
}

void CEdit::ReplaceSel(LPCSTR text) {
    const int n = static_cast<int>(text_.size());
    const int a = std::clamp(std::min(selStart_, selEnd_), 0, n);
    const int b = std::clamp(std::max(selStart_, selEnd_), 0, n);
    text_.replace(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a), Text(text));
    selStart_ = selEnd_ = a + static_cast<int>(std::string(Text(text)).size());
    syncView();
}

// ---- CListBox
void CListBox::changed(Change what, int index) { showChange(*this, what, index, ListBoxChanged); }

int CListBox::AddString(LPCSTR text) {
    return InsertString(sorted_ ? sortedPosition(texts_, Text(text)) : -1, text);
}

int CListBox::InsertString(int index, LPCSTR text) {
    if (index < -1 || index > static_cast<int>(texts_.size())) return LB_ERR;
    if (index == -1) index = static_cast<int>(texts_.size());
    texts_.insert(texts_.begin() + index, Text(text));
    data_.insert(data_.begin() + index, 0);
    selected_.insert(selected_.begin() + index, false);
    if (current_ >= index) ++current_;
    changed(Change::Inserted, index);
    return index;
}

int CListBox::DeleteString(UINT index) {
    const int i = static_cast<int>(index);
    if (!inRange(texts_, i)) return LB_ERR;
    texts_.erase(texts_.begin() + i);
    data_.erase(data_.begin() + i);
    selected_.erase(selected_.begin() + i);
    if (current_ == i) current_ = -1;
    else if (current_ > i) --current_;
    changed(Change::Deleted, i);
    return static_cast<int>(texts_.size());
}

void CListBox::ResetContent() {
    texts_.clear();
    data_.clear();
    selected_.clear();
    current_ = -1;
    changed(Change::Cleared);
}

int CListBox::GetCount() const { return static_cast<int>(texts_.size()); }

int CListBox::GetCurSel() const {
    if (multiple_) return current_;  // the caret item
    return inRange(texts_, current_) ? current_ : LB_ERR;
}

int CListBox::SetCurSel(int index) {
    if (index != -1 && !inRange(texts_, index)) return LB_ERR;
    current_ = index;
    if (!multiple_) std::fill(selected_.begin(), selected_.end(), false);
    if (index >= 0) selected_[static_cast<std::size_t>(index)] = true;
    // A single-selection list changes as a whole: the old line goes with the new one.
    changed(Change::Selection, multiple_ ? index : -1);
    return index == -1 ? LB_ERR : index;
}

int CListBox::GetSel(int index) const {
    if (!inRange(selected_, index)) return LB_ERR;
    return selected_[static_cast<std::size_t>(index)] ? 1 : 0;
}

int CListBox::SetSel(int index, BOOL select) {
    if (index == -1) {
        std::fill(selected_.begin(), selected_.end(), select != FALSE);
    } else {
        if (!inRange(selected_, index)) return LB_ERR;
        if (!multiple_) std::fill(selected_.begin(), selected_.end(), false);
        selected_[static_cast<std::size_t>(index)] = select != FALSE;
        if (select) current_ = index;
    }
    changed(Change::Selection, multiple_ ? index : -1);
    return 0;
}

int CListBox::GetSelCount() const {
    if (!multiple_) return LB_ERR;
    return static_cast<int>(std::count(selected_.begin(), selected_.end(), true));
}

std::vector<int> CListBox::GetSelectedIndices() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < selected_.size(); ++i) {
        if (selected_[i]) out.push_back(static_cast<int>(i));
    }
    return out;
}

int CListBox::GetSelItems(int max, LPINT items) const {
    if (!multiple_ || !items) return LB_ERR;
    const auto selected = GetSelectedIndices();
    const int n = std::min(max, static_cast<int>(selected.size()));
    for (int i = 0; i < n; ++i) items[i] = selected[static_cast<std::size_t>(i)];
    return n;
}

int CListBox::GetText(int index, std::string& text) const {
    if (!inRange(texts_, index)) {
        text.clear();
        return LB_ERR;
    }
    text = texts_[static_cast<std::size_t>(index)];
    return static_cast<int>(text.size());
}

std::string CListBox::GetText(int index) const {
    std::string text;
    GetText(index, text);
    return text;
}

int CListBox::GetTextLen(int index) const {
    return inRange(texts_, index) ? static_cast<int>(texts_[static_cast<std::size_t>(index)].size()) : LB_ERR;
}

DWORD_PTR CListBox::GetItemData(int index) const {
    return inRange(data_, index) ? data_[static_cast<std::size_t>(index)] : static_cast<DWORD_PTR>(LB_ERR);
}

int CListBox::SetItemData(int index, DWORD_PTR data) {
    if (!inRange(data_, index)) return LB_ERR;
    data_[static_cast<std::size_t>(index)] = data;
    return 0;
}

int CListBox::FindStringExact(int startAfter, LPCSTR text) const { return findExact(texts_, startAfter, text); }

// ---- CComboBox
void CComboBox::changed(Change what, int index) { showChange(*this, what, index, ComboBoxChanged); }

int CComboBox::AddString(LPCSTR text) {
    return InsertString(sorted_ ? sortedPosition(texts_, Text(text)) : -1, text);
}

int CComboBox::InsertString(int index, LPCSTR text) {
    if (index < -1 || index > static_cast<int>(texts_.size())) return CB_ERR;
    if (index == -1) index = static_cast<int>(texts_.size());
    texts_.insert(texts_.begin() + index, Text(text));
    data_.insert(data_.begin() + index, 0);
    if (current_ >= index) ++current_;
    changed(Change::Inserted, index);
    return index;
}

int CComboBox::DeleteString(UINT index) {
    const int i = static_cast<int>(index);
    if (!inRange(texts_, i)) return CB_ERR;
    texts_.erase(texts_.begin() + i);
    data_.erase(data_.begin() + i);
    if (current_ == i) {
        current_ = -1;
        text_.clear();
    } else if (current_ > i) {
        --current_;
    }
    changed(Change::Deleted, i);
    return static_cast<int>(texts_.size());
}

void CComboBox::ResetContent() {
    texts_.clear();
    data_.clear();
    current_ = -1;
    text_.clear();
    changed(Change::Cleared);
}

int CComboBox::GetCount() const { return static_cast<int>(texts_.size()); }
int CComboBox::GetCurSel() const { return inRange(texts_, current_) ? current_ : CB_ERR; }

int CComboBox::SetCurSel(int index) {
    if (index != -1 && !inRange(texts_, index)) {
        current_ = -1;
        text_.clear();
        changed(Change::Current);
        return CB_ERR;
    }
    current_ = index;
    text_ = index == -1 ? std::string() : texts_[static_cast<std::size_t>(index)];
    changed(Change::Current);
    return index == -1 ? CB_ERR : index;
}

int CComboBox::GetLBText(int index, std::string& text) const {
    if (!inRange(texts_, index)) {
        text.clear();
        return CB_ERR;
    }
    text = texts_[static_cast<std::size_t>(index)];
    return static_cast<int>(text.size());
}

std::string CComboBox::GetLBText(int index) const {
    std::string text;
    GetLBText(index, text);
    return text;
}

int CComboBox::GetLBTextLen(int index) const {
    return inRange(texts_, index) ? static_cast<int>(texts_[static_cast<std::size_t>(index)].size()) : CB_ERR;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    return inRange(data_, index) ? data_[static_cast<std::size_t>(index)] : static_cast<DWORD_PTR>(CB_ERR);
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    if (!inRange(data_, index)) return CB_ERR;
    data_[static_cast<std::size_t>(index)] = data;
    return 0;
}

int CComboBox::FindStringExact(int startAfter, LPCSTR text) const { return findExact(texts_, startAfter, text); }

int CComboBox::SelectString(int startAfter, LPCSTR text) {
    // The first entry that begins with text (case ignored).
    const int n = static_cast<int>(texts_.size());
    const std::string prefix = Text(text);
    for (int k = 1; k <= n; ++k) {
        const int i = ((startAfter < -1 || startAfter >= n ? -1 : startAfter) + k) % n;
        if (strncasecmp(texts_[static_cast<std::size_t>(i)].c_str(), prefix.c_str(), prefix.size()) == 0) return SetCurSel(i);
    }
    return CB_ERR;
}

BOOL CComboBox::LimitText(int limit) {
    limit_ = static_cast<UINT>(std::max(limit, 0));
    syncView();
    return TRUE;
}

// ---- CProgressCtrl
BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(nullptr, nullptr, style | WS_CHILD, rect, parent, id);
}

void CProgressCtrl::SetRange32(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    position_ = std::clamp(position_, std::min(lower, upper), std::max(lower, upper));
    syncView();
}

int CProgressCtrl::SetPos(int position) {
    const int previous = position_;
    position_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
    syncView();
    return previous;
}

int CProgressCtrl::SetStep(int step) {
    const int previous = step_;
    step_ = step;
    return previous;
}

int CProgressCtrl::StepIt() {
    const int previous = position_;
    int next = position_ + step_;
    if (next > upper_) next = lower_ + (next - upper_);  // wraps like the platform's bar
    position_ = next;
    syncView();
    return previous;
}

// ---- images
BOOL CBitmap::LoadBitmap(UINT resourceId) {
    if (!qui::FindBitmap(resourceId)) return FALSE;
    id = resourceId;
    loaded = true;
    return TRUE;
}

BOOL CBitmap::DeleteObject() {
    const bool was = loaded;
    loaded = false;
    return was ? TRUE : FALSE;
}

BOOL CImageList::Create(int width, int height, UINT, int, int) {
    if (width <= 0 || height <= 0) return FALSE;
    cx = width;
    cy = height;
    images.clear();
    created = true;
    return TRUE;
}

BOOL CImageList::DeleteImageList() {
    const bool was = created;
    created = false;
    images.clear();
    return was ? TRUE : FALSE;
}

int CImageList::Add(CBitmap* bitmap, CBitmap*) {
    if (!created || !bitmap || !bitmap->loaded) return -1;
    images.push_back(Image{false, bitmap->id});
    return static_cast<int>(images.size()) - 1;
}

int CImageList::Add(CBitmap* bitmap, COLORREF) { return Add(bitmap, static_cast<CBitmap*>(nullptr)); }

int CImageList::Add(HICON icon) {
    if (!created || !icon) return -1;
    images.push_back(Image{true, static_cast<UINT>(reinterpret_cast<std::uintptr_t>(icon) & 0xFFFFu)});
    return static_cast<int>(images.size()) - 1;
}
