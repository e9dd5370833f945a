// Rich text state: the plain text, one bold flag per character, the selection and the default font.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "ui/afxcmn.h"
#include "ui_internal.h"

BOOL CRichEditCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return createControl(style, rect, parent, id);
}

void CRichEditCtrl::SetSel(LONG start, LONG end) {
    const LONG n = GetTextLength();
    if (start == 0 && end == -1) {
        selStart_ = 0;
        selEnd_ = n;
    } else if (start < 0) {
        selStart_ = selEnd_ = n;
    } else {
        selStart_ = std::clamp<LONG>(start, 0, n);
        selEnd_ = end < 0 ? n : std::clamp<LONG>(end, 0, n);
        if (selEnd_ < selStart_) std::swap(selStart_, selEnd_);
    }
    syncView();
}

void CRichEditCtrl::GetSel(LONG& start, LONG& end) const {
    start = selStart_;
    end = selEnd_;
}

void CRichEditCtrl::noteEdit(PendingEdit edit) {
    // Without a widget there is nothing to replay; a long run of changes is cheaper taken whole.
    if (!view() || stale_ || pending_.size() >= kMaxPendingEdits) {
        stale_ = true;
        pending_.clear();
        return;
    }
    pending_.push_back(std::move(edit));
}

void CRichEditCtrl::ReplaceSel(LPCSTR text, BOOL) {
    std::string insert = qui::detail::Text(text);
    const LONG n = GetTextLength();
    selStart_ = std::clamp<LONG>(selStart_, 0, n);
    selEnd_ = std::clamp<LONG>(selEnd_, selStart_, n);
    const auto a = static_cast<std::size_t>(selStart_), b = static_cast<std::size_t>(selEnd_);
    if (limit_ > 0 && n - static_cast<LONG>(b - a) + static_cast<LONG>(insert.size()) > limit_)
        insert.resize(static_cast<std::size_t>(std::max<LONG>(limit_ - (n - static_cast<LONG>(b - a)), 0)));
    const std::uint8_t bold = (defaultFormat_.dwEffects & CFE_BOLD) != 0 ? 1 : 0;
    bold_.resize(text_.size(), 0);
    // A stretch replaced by one of its own length moves nothing after it.
    if (insert.size() == b - a) {
        text_.replace(a, b - a, insert);
        std::fill(bold_.begin() + static_cast<std::ptrdiff_t>(a), bold_.begin() + static_cast<std::ptrdiff_t>(b), bold);
    } else {
        text_.replace(a, b - a, insert);
        bold_.erase(bold_.begin() + static_cast<std::ptrdiff_t>(a), bold_.begin() + static_cast<std::ptrdiff_t>(b));
        bold_.insert(bold_.begin() + static_cast<std::ptrdiff_t>(a), insert.size(), bold);
    }
    noteEdit(PendingEdit{false, selStart_, selEnd_, insert, bold != 0});
    selStart_ = selEnd_ = static_cast<LONG>(a + insert.size());
    syncView();
}

std::string CRichEditCtrl::GetSelText() const {
    return text_.substr(static_cast<std::size_t>(selStart_), static_cast<std::size_t>(selEnd_ - selStart_));
}

LONG CRichEditCtrl::GetTextLength() const { return static_cast<LONG>(text_.size()); }

BOOL CRichEditCtrl::SetReadOnly(BOOL readOnly) {
    readOnly_ = readOnly != FALSE;
    syncView();
    return TRUE;
}

BOOL CRichEditCtrl::SetDefaultCharFormat(const CHARFORMAT& format) {
    defaultFormat_ = format;
    syncView();
    return TRUE;
}

BOOL CRichEditCtrl::SetSelectionCharFormat(const CHARFORMAT& format) {
    if (format.dwMask & CFM_BOLD) {
        const bool bold = (format.dwEffects & CFE_BOLD) != 0;
        bold_.resize(text_.size(), 0);
        std::fill(bold_.begin() + selStart_, bold_.begin() + selEnd_, bold ? 1 : 0);
        if (selStart_ < selEnd_) noteEdit(PendingEdit{true, selStart_, selEnd_, {}, bold});
    }
    syncView();
    return TRUE;
}

DWORD CRichEditCtrl::GetSelectionCharFormat(CHARFORMAT& format) const {
    format = defaultFormat_;
    format.dwMask = CFM_BOLD;
    format.dwEffects = 0;
    if (selStart_ < selEnd_) {
        bool all = true, none = true;
        for (LONG i = selStart_; i < selEnd_; ++i) (IsBold(i) ? none : all) = false;
        if (all) format.dwEffects = CFE_BOLD;
        if (!all && !none) format.dwMask = 0;  // mixed
    }
    return format.dwMask;
}

LONG CRichEditCtrl::FindText(DWORD flags, FINDTEXTEX* find) const {
    if (!find || !find->lpstrText || !*find->lpstrText) return -1;
    const std::string needle = find->lpstrText;
    const LONG n = GetTextLength();
    const LONG from = std::clamp<LONG>(find->chrg.cpMin, 0, n);
    const LONG to = find->chrg.cpMax < 0 ? n : std::clamp<LONG>(find->chrg.cpMax, 0, n);
    const auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    const auto equal = [&](char a, char b) {
        return (flags & FR_MATCHCASE) ? a == b
                                       : std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    const LONG length = static_cast<LONG>(needle.size());
    for (LONG i = from; i + length <= to; ++i) {
        bool hit = true;
        for (LONG k = 0; k < length && hit; ++k) hit = equal(text_[static_cast<std::size_t>(i + k)], needle[static_cast<std::size_t>(k)]);
        if (!hit) continue;
        if (flags & FR_WHOLEWORD) {
            if (i > 0 && isWord(text_[static_cast<std::size_t>(i - 1)])) continue;
            if (i + length < n && isWord(text_[static_cast<std::size_t>(i + length)])) continue;
        }
        find->chrgText = CHARRANGE{i, i + length};
        return i;
    }
    return -1;
}

int CRichEditCtrl::GetLineCount() const {
    return 1 + static_cast<int>(std::count(text_.begin(), text_.end(), '\n'));
}

std::vector<CRichEditCtrl::Run> CRichEditCtrl::boldRuns() const {
    std::vector<Run> runs;
    for (std::size_t i = 0; i < text_.size();) {
        const bool b = i < bold_.size() && bold_[i];
        std::size_t j = i;
        while (j < text_.size() && ((j < bold_.size() && bold_[j]) == b)) ++j;
        runs.push_back(Run{static_cast<LONG>(i), static_cast<LONG>(j), b});
        i = j;
    }
    return runs;
}

bool CRichEditCtrl::IsBold(LONG position) const {
    return position >= 0 && static_cast<std::size_t>(position) < bold_.size() && bold_[static_cast<std::size_t>(position)];
}
