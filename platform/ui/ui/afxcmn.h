// Common controls: progress bar, image list, tree control and rich text. Like every control of the
// layer they keep their state apart from the widget that shows it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/afxwin.h"

class CProgressCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(short lower, short upper) { SetRange32(lower, upper); }
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const { lower = lower_, upper = upper_; }
    int SetPos(int position);  // returns the previous position
    int GetPos() const { return position_; }
    int SetStep(int step);
    int StepIt();
    QWidget* makeWidget(QWidget* parent) override;
    int lower_ = 0, upper_ = 100, position_ = 0, step_ = 10;
};

// Images of one size, added from bitmap or icon resources.
class CBitmap {
public:
    BOOL LoadBitmap(UINT id);
    BOOL DeleteObject();
    UINT id = 0;
    bool loaded = false;
};

#define ILC_COLOR 0x0000u
#define ILC_COLOR4 0x0004u
#define ILC_COLOR8 0x0008u
#define ILC_COLOR24 0x0018u
#define ILC_MASK 0x0001u

class CImageList {
public:
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    // Appends the bitmap's image; its index, or -1 when the bitmap is not loaded.
    int Add(CBitmap* bitmap, CBitmap* mask);
    int Add(CBitmap* bitmap, COLORREF maskColour);
    int Add(HICON icon);
    int GetImageCount() const { return static_cast<int>(images.size()); }
    SIZE imageSize() const { return SIZE{cx, cy}; }
    int cx = 0, cy = 0;
    bool created = false;
    struct Image {
        bool isIcon;
        UINT id;
    };
    std::vector<Image> images;
};

// ---- tree control
#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000)))
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE)))
#define TVI_SORT (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFD)))

#define TVSIL_NORMAL 0
#define TVE_COLLAPSE 0x0001u
#define TVE_EXPAND 0x0002u
#define TVE_TOGGLE 0x0003u
#define TVGN_ROOT 0x0000u
#define TVGN_NEXT 0x0001u
#define TVGN_PREVIOUS 0x0002u
#define TVGN_PARENT 0x0003u
#define TVGN_CHILD 0x0004u
#define TVGN_CARET 0x0009u

#define TVHT_NOWHERE 0x0001u
#define TVHT_ONITEMICON 0x0002u
#define TVHT_ONITEMLABEL 0x0004u
#define TVHT_ONITEMINDENT 0x0008u
#define TVHT_ONITEMBUTTON 0x0010u
#define TVHT_ONITEMRIGHT 0x0020u
#define TVHT_ONITEM (TVHT_ONITEMICON | TVHT_ONITEMLABEL)

#define TVS_HASBUTTONS 0x0001u
#define TVS_HASLINES 0x0002u
#define TVS_LINESATROOT 0x0004u
#define TVS_SHOWSELALWAYS 0x0020u

// Notifications a tree control sends its parent (through MapNotify with the control's id).
#define NM_CLICK (static_cast<UINT>(-2))
#define NM_DBLCLK (static_cast<UINT>(-3))
#define NM_RCLICK (static_cast<UINT>(-5))
#define TVN_SELCHANGED (static_cast<UINT>(-402))

// Item handles are never reused: a deleted item's handle names nothing, and every call given it
// returns 0 (FALSE, an empty text).
class CTreeCtrl : public CWnd {
public:
    CTreeCtrl();
    ~CTreeCtrl() override;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    HTREEITEM InsertItem(LPCSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM insertAfter = TVI_LAST);
    HTREEITEM InsertItem(LPCSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item);
    BOOL DeleteAllItems();
    BOOL SetItemText(HTREEITEM item, LPCSTR text);
    std::string GetItemText(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;

    HTREEITEM GetRootItem() const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
    BOOL ItemHasChildren(HTREEITEM item) const;
    UINT GetCount() const;

    HTREEITEM GetSelectedItem() const;
    BOOL SelectItem(HTREEITEM item);
    BOOL Expand(HTREEITEM item, UINT code);
    BOOL IsExpanded(HTREEITEM item) const;
    BOOL EnsureVisible(HTREEITEM item);

    CImageList* SetImageList(CImageList* list, int which);
    CImageList* GetImageList(int which) const { return which == TVSIL_NORMAL ? images_ : nullptr; }
    void SetIndent(UINT indent);
    UINT GetIndent() const { return indent_; }

    // The item at a client point and where on it (TVHT_ flags); null with TVHT_NOWHERE.
    HTREEITEM HitTest(POINT point, UINT* flags = nullptr) const;
    BOOL GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const;

    // What the user does (tests and widgets): each selects and notifies as a user action would.
    void ClickItem(HTREEITEM item, UINT code);  // NM_CLICK, NM_DBLCLK or NM_RCLICK at the item's label
    // The client point of the last click (mouse, keyboard or ClickItem), for HitTest in NM_ handlers.
    POINT LastClickPoint() const { return lastClick_; }

    QWidget* makeWidget(QWidget* parent) override;
    // WM_SETREDRAW: while drawing is held back, item changes reach the widget only when it is
    // allowed again, in one rebuild of the widget.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    struct Node {
        std::string text;
        int image = 0;
        int selectedImage = 0;
        DWORD_PTR data = 0;
        bool expanded = false;
        std::uintptr_t parent = 0;  // 0: root level
        std::vector<std::uintptr_t> children;
        // Where the item was last found among its siblings: walking siblings is then linear.
        mutable std::size_t slot = 0;
    };
    const Node* node(HTREEITEM item) const;
    std::vector<std::uintptr_t> roots_;
    std::unordered_map<std::uintptr_t, Node> nodes_;
    std::uintptr_t nextId_ = 1;
    std::uintptr_t selected_ = 0;
    CImageList* images_ = nullptr;
    UINT indent_ = 19;
    POINT lastClick_{0, 0};
    // Set when the widget must be rebuilt from the items (a change made off the main thread, or
    // while drawing was held back).
    bool widgetStale_ = false;
    bool redraw_ = true;

    // What changed, for the widget: each change touches its own item's widget alone.
    enum class Change { Inserted, Deleted, Cleared, Text, Image, Selected, Expanded, Whole };

private:
    std::vector<std::uintptr_t>* siblingsOf(std::uintptr_t parent);
    // The item's index among its siblings; siblings.size() when it is not there.
    std::size_t slotOf(const Node& n, std::uintptr_t id, const std::vector<std::uintptr_t>& siblings) const;
    void eraseSubtree(std::uintptr_t id);
    void changed(Change what, std::uintptr_t id = 0);
};

// ---- rich text
#define CFM_BOLD 0x00000001u
#define CFM_ITALIC 0x00000002u
#define CFM_UNDERLINE 0x00000004u
#define CFM_COLOR 0x40000000u
#define CFM_SIZE 0x80000000u
#define CFM_FACE 0x20000000u
#define CFE_BOLD 0x0001u
#define CFE_ITALIC 0x0002u
#define CFE_UNDERLINE 0x0004u
#define SCF_SELECTION 0x0001u
#define SCF_ALL 0x0004u
#define FR_DOWN 0x00000001u
#define FR_WHOLEWORD 0x00000002u
#define FR_MATCHCASE 0x00000004u

struct CHARFORMAT {
    UINT cbSize = sizeof(CHARFORMAT);
    DWORD dwMask = 0;
    DWORD dwEffects = 0;
    LONG yHeight = 0;  // twips
    COLORREF crTextColor = 0;
    char szFaceName[32] = {};
};
struct CHARRANGE {
    LONG cpMin;
    LONG cpMax;
};
struct FINDTEXTEX {
    CHARRANGE chrg;
    LPCSTR lpstrText;
    CHARRANGE chrgText;
};

// Plain text with character formatting runs. Positions count bytes of the (UTF-8) text. The widget
// takes only the stretches that changed since it last showed the text, so that its scroll position
// and the user's selection stay; anything else (a text set as a whole) makes it take all again.
class CRichEditCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetSel(LONG start, LONG end);  // (0, -1) selects everything
    void GetSel(LONG& start, LONG& end) const;
    void ReplaceSel(LPCSTR text, BOOL canUndo = FALSE);
    std::string GetSelText() const;
    LONG GetTextLength() const;
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    BOOL SetDefaultCharFormat(const CHARFORMAT& format);
    BOOL SetSelectionCharFormat(const CHARFORMAT& format);
    DWORD GetSelectionCharFormat(CHARFORMAT& format) const;
    // Finds text in [chrg.cpMin, chrg.cpMax) (cpMax -1: to the end); its start or -1; with
    // FINDTEXTEX the found range is stored.
    LONG FindText(DWORD flags, FINDTEXTEX* find) const;
    int GetLineCount() const;
    void LimitText(LONG limit) { limit_ = limit; }
    QWidget* makeWidget(QWidget* parent) override;

    // The formatting of each character (bold, face, height) is kept as runs.
    struct Run {
        LONG start, end;
        bool bold;
    };
    std::vector<Run> boldRuns() const;
    bool IsBold(LONG position) const;
    CHARFORMAT defaultFormat_{};
    std::vector<std::uint8_t> bold_;  // 1 for a bold character
    LONG selStart_ = 0, selEnd_ = 0;
    bool readOnly_ = false;
    LONG limit_ = 0;

    // The changes since the widget last took the text, in order: a replacement of [start, end) by
    // text, or (format) the weight of [start, end). shown_ is the text the widget shows; without a
    // widget, or when stale_, the widget takes the whole text at its next refresh.
    struct PendingEdit {
        bool format = false;
        LONG start = 0, end = 0;
        std::string text;
        bool bold = false;
    };
    static constexpr std::size_t kMaxPendingEdits = 4096;
    std::vector<PendingEdit> pending_;
    std::string shown_;
    bool stale_ = true;
    void noteEdit(PendingEdit edit);
};
