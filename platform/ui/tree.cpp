// The tree control's items. Handles are item numbers that are never reused.
#include <algorithm>

#include "ui/afxcmn.h"
#include "ui_internal.h"

namespace {

std::uintptr_t idOf(HTREEITEM item) { return reinterpret_cast<std::uintptr_t>(item); }
HTREEITEM handleOf(std::uintptr_t id) { return reinterpret_cast<HTREEITEM>(id); }

}  // namespace

namespace qui::detail {
// Shows one change of the tree's items in its widget (qt_views.cpp). Main thread only.
void TreeItemChanged(CTreeCtrl& tree, CTreeCtrl::Change what, std::uintptr_t id);
// Rebuilds the widget from the items now when it is stale. Main thread only.
void TreeWidgetCatchUp(CTreeCtrl& tree);
}  // namespace qui::detail

CTreeCtrl::CTreeCtrl() = default;
CTreeCtrl::~CTreeCtrl() = default;

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return createControl(style, rect, parent, id);
}

void CTreeCtrl::changed(Change what, std::uintptr_t id) {
    if (!view()) return;
    if (!redraw_) {
        widgetStale_ = true;
        return;
    }
    if (!qui::IsMainThread()) {
        // Another thread may not touch the widget: the main thread rebuilds it from the items.
        widgetStale_ = true;
        syncView();
        return;
    }
    qui::detail::TreeItemChanged(*this, what, id);
}

LRESULT CTreeCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SETREDRAW) return CWnd::DefWindowProc(message, wParam, lParam);
    redraw_ = wParam != 0;
    if (redraw_ && widgetStale_ && view()) {
        if (qui::IsMainThread()) qui::detail::TreeWidgetCatchUp(*this);
        else syncView();
    }
    return 0;
}

const CTreeCtrl::Node* CTreeCtrl::node(HTREEITEM item) const {
    const auto it = nodes_.find(idOf(item));
    return it == nodes_.end() ? nullptr : &it->second;
}

std::vector<std::uintptr_t>* CTreeCtrl::siblingsOf(std::uintptr_t parent) {
    if (parent == 0) return &roots_;
    const auto it = nodes_.find(parent);
    return it == nodes_.end() ? nullptr : &it->second.children;
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, int image, int selectedImage, HTREEITEM parent, HTREEITEM insertAfter) {
    const std::uintptr_t parentId = (parent == TVI_ROOT || parent == nullptr) ? 0 : idOf(parent);
    auto* siblings = siblingsOf(parentId);
    if (!siblings) return nullptr;
    auto position = siblings->end();
    if (insertAfter == TVI_FIRST) {
        position = siblings->begin();
    } else if (insertAfter == TVI_SORT) {
        const std::string key = qui::detail::Text(text);
        position = std::find_if(siblings->begin(), siblings->end(), [&](std::uintptr_t s) { return nodes_[s].text > key; });
    } else if (insertAfter != TVI_LAST && insertAfter != nullptr) {
        const auto after = std::find(siblings->begin(), siblings->end(), idOf(insertAfter));
        if (after == siblings->end()) return nullptr;
        position = after + 1;
    }
    const std::uintptr_t id = nextId_++;
    Node n;
    n.text = qui::detail::Text(text);
    n.image = image;
    n.selectedImage = selectedImage;
    n.parent = parentId;
    n.slot = static_cast<std::size_t>(position - siblings->begin());
    siblings->insert(position, id);
    nodes_.emplace(id, std::move(n));
    changed(Change::Inserted, id);
    return handleOf(id);
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, HTREEITEM parent, HTREEITEM insertAfter) {
    return InsertItem(text, 0, 0, parent, insertAfter);
}

void CTreeCtrl::eraseSubtree(std::uintptr_t id) {
    const auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    for (std::uintptr_t child : std::vector<std::uintptr_t>(it->second.children)) eraseSubtree(child);
    if (selected_ == id) selected_ = 0;
    nodes_.erase(id);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item) {
    if (item == TVI_ROOT) return DeleteAllItems();
    const auto it = nodes_.find(idOf(item));
    if (it == nodes_.end()) return FALSE;
    if (auto* siblings = siblingsOf(it->second.parent)) std::erase(*siblings, idOf(item));
    eraseSubtree(idOf(item));
    changed(Change::Deleted, idOf(item));
    return TRUE;
}

BOOL CTreeCtrl::DeleteAllItems() {
    nodes_.clear();
    roots_.clear();
    selected_ = 0;
    changed(Change::Cleared);
    return TRUE;
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCSTR text) {
    const auto it = nodes_.find(idOf(item));
    if (it == nodes_.end()) return FALSE;
    it->second.text = qui::detail::Text(text);
    changed(Change::Text, idOf(item));
    return TRUE;
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const {
    const Node* n = node(item);
    return n ? n->text : std::string();
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    const auto it = nodes_.find(idOf(item));
    if (it == nodes_.end()) return FALSE;
    it->second.data = data;
    return TRUE;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    const Node* n = node(item);
    return n ? n->data : 0;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage) {
    const auto it = nodes_.find(idOf(item));
    if (it == nodes_.end()) return FALSE;
    it->second.image = image;
    it->second.selectedImage = selectedImage;
    changed(Change::Image, idOf(item));
    return TRUE;
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
    const Node* n = node(item);
    if (!n) return FALSE;
    image = n->image;
    selectedImage = n->selectedImage;
    return TRUE;
}

HTREEITEM CTreeCtrl::GetRootItem() const { return roots_.empty() ? nullptr : handleOf(roots_.front()); }

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    if (item == TVI_ROOT || item == nullptr) return GetRootItem();
    const Node* n = node(item);
    return n && !n->children.empty() ? handleOf(n->children.front()) : nullptr;
}

std::size_t CTreeCtrl::slotOf(const Node& n, std::uintptr_t id, const std::vector<std::uintptr_t>& siblings) const {
    if (n.slot < siblings.size() && siblings[n.slot] == id) return n.slot;
    const auto it = std::find(siblings.begin(), siblings.end(), id);
    n.slot = static_cast<std::size_t>(it - siblings.begin());
    return n.slot;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    const Node* n = node(item);
    if (!n) return nullptr;
    const auto& siblings = n->parent == 0 ? roots_ : nodes_.at(n->parent).children;
    const std::size_t at = slotOf(*n, idOf(item), siblings);
    if (at + 1 >= siblings.size()) return nullptr;
    const std::uintptr_t next = siblings[at + 1];
    nodes_.at(next).slot = at + 1;  // the next step of a walk finds it at once
    return handleOf(next);
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
    const Node* n = node(item);
    if (!n) return nullptr;
    const auto& siblings = n->parent == 0 ? roots_ : nodes_.at(n->parent).children;
    const std::size_t at = slotOf(*n, idOf(item), siblings);
    if (at == 0 || at >= siblings.size()) return nullptr;
    nodes_.at(siblings[at - 1]).slot = at - 1;
    return handleOf(siblings[at - 1]);
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
    const Node* n = node(item);
    return n && n->parent ? handleOf(n->parent) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT code) const {
    switch (code) {
        case TVGN_ROOT: return GetRootItem();
        case TVGN_NEXT: return GetNextSiblingItem(item);
        case TVGN_PREVIOUS: return GetPrevSiblingItem(item);
        case TVGN_PARENT: return GetParentItem(item);
        case TVGN_CHILD: return GetChildItem(item);
        case TVGN_CARET: return GetSelectedItem();
        default: return nullptr;
    }
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    const Node* n = node(item);
    return n && !n->children.empty() ? TRUE : FALSE;
}

UINT CTreeCtrl::GetCount() const { return static_cast<UINT>(nodes_.size()); }

HTREEITEM CTreeCtrl::GetSelectedItem() const { return selected_ ? handleOf(selected_) : nullptr; }

BOOL CTreeCtrl::SelectItem(HTREEITEM item) {
    if (item && !node(item)) return FALSE;
    const std::uintptr_t id = item ? idOf(item) : 0;
    if (id == selected_) return TRUE;
    selected_ = id;
    changed(Change::Selected, id);
    notifyParent(TVN_SELCHANGED);
    return TRUE;
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    const auto it = nodes_.find(idOf(item));
    if (it == nodes_.end()) return FALSE;
    bool& expanded = it->second.expanded;
    switch (code & 0x3u) {
        case TVE_COLLAPSE: expanded = false; break;
        case TVE_EXPAND: expanded = true; break;
        case TVE_TOGGLE: expanded = !expanded; break;
        default: return FALSE;
    }
    changed(Change::Expanded, idOf(item));
    return TRUE;
}

BOOL CTreeCtrl::IsExpanded(HTREEITEM item) const {
    const Node* n = node(item);
    return n && n->expanded ? TRUE : FALSE;
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item) {
    const Node* n = node(item);
    if (!n) return FALSE;
    for (std::uintptr_t p = n->parent; p; p = nodes_.at(p).parent) {
        Node& ancestor = nodes_.at(p);
        if (ancestor.expanded) continue;
        ancestor.expanded = true;
        changed(Change::Expanded, p);
    }
    return TRUE;
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int which) {
    if (which != TVSIL_NORMAL) return nullptr;
    CImageList* previous = images_;
    images_ = list;
    changed(Change::Whole);
    return previous;
}

void CTreeCtrl::SetIndent(UINT indent) {
    indent_ = indent;
    changed(Change::Whole);
}

void CTreeCtrl::ClickItem(HTREEITEM item, UINT code) {
    if (!node(item)) return;
    RECT r{};
    GetItemRect(item, &r, TRUE);
    lastClick_ = POINT{r.left + 1, (r.top + r.bottom) / 2};
    SelectItem(item);
    notifyParent(code);
}

// Item geometry. With a widget the widget's layout counts; without one the items are laid out as
// the platform's tree draws them: one row per visible item, an expansion button of one indent,
// then the image, then the label.
namespace qui::detail {
bool TreeItemRects(const CTreeCtrl& tree, HTREEITEM item, RECT& row, RECT& icon, RECT& label, RECT& button);
HTREEITEM TreeItemAt(const CTreeCtrl& tree, POINT point);
}  // namespace qui::detail

namespace {

struct Layout {
    int row = 0;
    int depth = 0;
    bool found = false;
};

bool locate(const CTreeCtrl& tree, const std::vector<std::uintptr_t>& ids, std::uintptr_t target, int depth, Layout& out) {
    for (std::uintptr_t id : ids) {
        if (id == target) {
            out.depth = depth;
            out.found = true;
            return true;
        }
        ++out.row;
        const auto& n = tree.nodes_.at(id);
        if (n.expanded && locate(tree, n.children, target, depth + 1, out)) return true;
    }
    return false;
}

int rowHeight(const CTreeCtrl& tree) {
    const SIZE image = tree.images_ ? tree.images_->imageSize() : SIZE{16, 16};
    return std::max<int>(18, image.cy + 2);
}

bool visible(const CTreeCtrl& tree, std::uintptr_t id) {
    for (std::uintptr_t p = tree.nodes_.at(id).parent; p; p = tree.nodes_.at(p).parent) {
        if (!tree.nodes_.at(p).expanded) return false;
    }
    return true;
}

bool headlessRects(const CTreeCtrl& tree, HTREEITEM item, RECT& row, RECT& icon, RECT& label, RECT& button) {
    const auto id = reinterpret_cast<std::uintptr_t>(item);
    if (!tree.nodes_.count(id) || !visible(tree, id)) return false;
    Layout layout;
    locate(tree, tree.roots_, id, 0, layout);
    if (!layout.found) return false;
    const int h = rowHeight(tree);
    const int indent = static_cast<int>(tree.indent_);
    const SIZE image = tree.images_ ? tree.images_->imageSize() : SIZE{16, 16};
    const int top = layout.row * h;
    const int x = layout.depth * indent;
    button = RECT{x, top, x + indent, top + h};
    icon = RECT{x + indent, top, x + indent + image.cx, top + h};
    const int textWidth = 7 * static_cast<int>(tree.nodes_.at(id).text.size()) + 6;
    label = RECT{icon.right + 2, top, icon.right + 2 + textWidth, top + h};
    row = RECT{0, top, 100000, top + h};
    return true;
}

}  // namespace

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const {
    if (!rect) return FALSE;
    RECT row{}, icon{}, label{}, button{};
    const bool ok = view() ? qui::detail::TreeItemRects(*this, item, row, icon, label, button)
                           : headlessRects(*this, item, row, icon, label, button);
    if (!ok) return FALSE;
    *rect = textOnly ? label : row;
    return TRUE;
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
    if (flags) *flags = TVHT_NOWHERE;
    HTREEITEM item = nullptr;
    if (view()) {
        item = qui::detail::TreeItemAt(*this, point);
    } else {
        for (const auto& [id, n] : nodes_) {
            RECT row{}, icon{}, label{}, button{};
            if (headlessRects(*this, reinterpret_cast<HTREEITEM>(id), row, icon, label, button) && point.y >= row.top &&
                point.y < row.bottom) {
                item = reinterpret_cast<HTREEITEM>(id);
                break;
            }
        }
    }
    if (!item) return nullptr;
    RECT row{}, icon{}, label{}, button{};
    const bool ok = view() ? qui::detail::TreeItemRects(*this, item, row, icon, label, button)
                           : headlessRects(*this, item, row, icon, label, button);
    if (!ok) return nullptr;
    UINT where = TVHT_ONITEMRIGHT;
    if (point.x < button.left) where = TVHT_ONITEMINDENT;
    else if (point.x < button.right) where = ItemHasChildren(item) ? TVHT_ONITEMBUTTON : TVHT_ONITEMINDENT;
    else if (point.x < icon.right) where = TVHT_ONITEMICON;
    else if (point.x < label.right) where = TVHT_ONITEMLABEL;
    if (flags) *flags = where;
    return item;
}
