// Menus: item lists addressed by position or command, popups owned by the menu that holds them.
// Handles are numbers never reused; a dead handle gives 0 / FALSE everywhere.
#include <map>
#include <memory>

#include "ui_internal.h"

using namespace qui::detail;

namespace {

struct MenuData {
    std::vector<MenuItem> items;
    bool popup = false;
    std::unique_ptr<CMenu> wrapper;  // FromHandle's temporary object
};

std::map<std::uintptr_t, MenuData>& menus() {
    static std::map<std::uintptr_t, MenuData> m;
    return m;
}
std::uintptr_t nextMenu = 1;

HMENU newMenu(bool popup) {
    const std::uintptr_t id = nextMenu++;
    menus()[id].popup = popup;
    return reinterpret_cast<HMENU>(id);
}

MenuData* dataOf(HMENU menu) {
    const auto it = menus().find(reinterpret_cast<std::uintptr_t>(menu));
    return it == menus().end() ? nullptr : &it->second;
}

void destroyMenu(HMENU menu) {
    MenuData* d = dataOf(menu);
    if (!d) return;
    std::vector<HMENU> popups;
    for (const auto& item : d->items) {
        if (item.popup) popups.push_back(item.popup);
    }
    menus().erase(reinterpret_cast<std::uintptr_t>(menu));
    for (HMENU p : popups) destroyMenu(p);
}

// The index of an item given by position or by command (searched in popups too: the menu and the
// index found are returned).
MenuItem* findItem(HMENU menu, UINT item, UINT flags, HMENU* owner = nullptr, int* index = nullptr) {
    MenuData* d = dataOf(menu);
    if (!d) return nullptr;
    if (flags & MF_BYPOSITION) {
        if (item >= d->items.size()) return nullptr;
        if (owner) *owner = menu;
        if (index) *index = static_cast<int>(item);
        return &d->items[item];
    }
    for (std::size_t i = 0; i < d->items.size(); ++i) {
        MenuItem& it = d->items[i];
        if (!it.popup && !it.separator && it.id == item) {
            if (owner) *owner = menu;
            if (index) *index = static_cast<int>(i);
            return &it;
        }
        if (it.popup) {
            if (MenuItem* found = findItem(it.popup, item, flags, owner, index)) return found;
        }
    }
    return nullptr;
}

MenuItem makeItem(UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
    MenuItem item;
    item.separator = (flags & MF_SEPARATOR) != 0;
    item.text = Text(text);
    item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
    if (flags & MF_POPUP) item.popup = reinterpret_cast<HMENU>(idOrPopup);
    else item.id = static_cast<UINT>(idOrPopup);
    return item;
}

}  // namespace

namespace qui::detail {

std::vector<MenuItem>* MenuItems(HMENU menu) {
    MenuData* d = dataOf(menu);
    return d ? &d->items : nullptr;
}

HMENU BuildMenu(const std::vector<MenuTemplate>& items, bool popup) {
    HMENU menu = newMenu(popup);
    for (const auto& t : items) {
        MenuItem item;
        item.text = t.text;
        item.id = t.id;
        item.separator = t.text.empty() && t.id == 0 && t.popup.empty();
        item.state = (t.grayed ? MF_GRAYED : 0u) | (t.checked ? MF_CHECKED : 0u);
        if (!t.popup.empty()) item.popup = BuildMenu(t.popup, true);
        dataOf(menu)->items.push_back(std::move(item));
    }
    return menu;
}

}  // namespace qui::detail

CMenu::~CMenu() {
    if (owned_ && m_hMenu) destroyMenu(m_hMenu);
}

CMenu* CMenu::FromHandle(HMENU menu) {
    MenuData* d = dataOf(menu);
    if (!d) return nullptr;
    if (!d->wrapper) {
        d->wrapper = std::make_unique<CMenu>();
        d->wrapper->m_hMenu = menu;
    }
    return d->wrapper.get();
}

BOOL CMenu::CreateMenu() {
    if (m_hMenu && dataOf(m_hMenu)) return FALSE;
    m_hMenu = newMenu(false);
    owned_ = true;
    return TRUE;
}

BOOL CMenu::CreatePopupMenu() {
    if (m_hMenu && dataOf(m_hMenu)) return FALSE;
    m_hMenu = newMenu(true);
    owned_ = true;
    return TRUE;
}

BOOL CMenu::LoadMenu(UINT id) {
    const auto* t = qui::FindMenu(id);
    if (!t || (m_hMenu && dataOf(m_hMenu))) return FALSE;
    m_hMenu = BuildMenu(*t, false);
    owned_ = true;
    return TRUE;
}

BOOL CMenu::DestroyMenu() {
    if (!m_hMenu) return FALSE;
    const bool live = dataOf(m_hMenu) != nullptr;
    destroyMenu(m_hMenu);
    m_hMenu = nullptr;
    owned_ = false;
    return live ? TRUE : FALSE;
}

BOOL CMenu::Attach(HMENU menu) {
    if (!dataOf(menu)) return FALSE;
    m_hMenu = menu;
    owned_ = true;
    return TRUE;
}

HMENU CMenu::Detach() {
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    owned_ = false;
    return menu;
}

UINT CMenu::GetMenuItemCount() const {
    MenuData* d = dataOf(m_hMenu);
    return d ? static_cast<UINT>(d->items.size()) : static_cast<UINT>(-1);
}

UINT CMenu::GetMenuItemID(int position) const {
    MenuData* d = dataOf(m_hMenu);
    if (!d || position < 0 || static_cast<std::size_t>(position) >= d->items.size()) return static_cast<UINT>(-1);
    const MenuItem& item = d->items[static_cast<std::size_t>(position)];
    if (item.popup) return static_cast<UINT>(-1);
    return item.separator ? 0 : item.id;
}

CMenu* CMenu::GetSubMenu(int position) const {
    MenuData* d = dataOf(m_hMenu);
    if (!d || position < 0 || static_cast<std::size_t>(position) >= d->items.size()) return nullptr;
    return FromHandle(d->items[static_cast<std::size_t>(position)].popup);
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
    MenuData* d = dataOf(m_hMenu);
    if (!d) return FALSE;
    MenuItem item = makeItem(flags, idOrPopup, text);
    if (item.popup) {
        if (!dataOf(item.popup)) return FALSE;
    }
    d->items.push_back(std::move(item));
    return TRUE;
}

BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
    MenuData* d = dataOf(m_hMenu);
    if (!d) return FALSE;
    MenuItem item = makeItem(flags, idOrPopup, text);
    if (item.popup && !dataOf(item.popup)) return FALSE;
    std::size_t index = d->items.size();
    if (flags & MF_BYPOSITION) {
        if (position != static_cast<UINT>(-1) && position < d->items.size()) index = position;
    } else {
        HMENU owner = nullptr;
        int at = 0;
        if (findItem(m_hMenu, position, MF_BYCOMMAND, &owner, &at)) {
            dataOf(owner)->items.insert(dataOf(owner)->items.begin() + at, std::move(item));
            return TRUE;
        }
    }
    d->items.insert(d->items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
    return TRUE;
}

BOOL CMenu::ModifyMenu(UINT position, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
    MenuItem* item = findItem(m_hMenu, position, flags);
    if (!item) return FALSE;
    MenuItem replacement = makeItem(flags & ~MF_BYPOSITION, idOrPopup, text);
    if (!(flags & MF_POPUP) && item->popup) replacement.popup = nullptr;
    *item = std::move(replacement);
    return TRUE;
}

BOOL CMenu::DeleteMenu(UINT position, UINT flags) {
    HMENU owner = nullptr;
    int index = 0;
    MenuItem* item = findItem(m_hMenu, position, flags, &owner, &index);
    if (!item) return FALSE;
    HMENU popup = item->popup;
    auto& items = dataOf(owner)->items;
    items.erase(items.begin() + index);
    if (popup) destroyMenu(popup);
    return TRUE;
}

BOOL CMenu::RemoveMenu(UINT position, UINT flags) {
    HMENU owner = nullptr;
    int index = 0;
    if (!findItem(m_hMenu, position, flags, &owner, &index)) return FALSE;
    auto& items = dataOf(owner)->items;
    items.erase(items.begin() + index);
    return TRUE;
}

UINT CMenu::EnableMenuItem(UINT item, UINT flags) {
    MenuItem* it = findItem(m_hMenu, item, flags);
    if (!it) return static_cast<UINT>(-1);
    const UINT previous = it->state & (MF_GRAYED | MF_DISABLED);
    it->state = (it->state & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return previous;
}

UINT CMenu::CheckMenuItem(UINT item, UINT flags) {
    MenuItem* it = findItem(m_hMenu, item, flags);
    if (!it) return static_cast<UINT>(-1);
    const UINT previous = it->state & MF_CHECKED;
    it->state = (it->state & ~MF_CHECKED) | (flags & MF_CHECKED);
    return previous;
}

UINT CMenu::GetMenuState(UINT item, UINT flags) const {
    MenuItem* it = findItem(m_hMenu, item, flags);
    if (!it) return static_cast<UINT>(-1);
    return it->state | (it->popup ? MF_POPUP : 0u) | (it->separator ? MF_SEPARATOR : 0u);
}

int CMenu::GetMenuString(UINT item, std::string& text, UINT flags) const {
    MenuItem* it = findItem(m_hMenu, item, flags);
    text = it ? it->text : std::string();
    return static_cast<int>(text.size());
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* window, LPCRECT) {
    if (!dataOf(m_hMenu)) return FALSE;
    // As for a menu of the menu bar, the receiving frame's update handlers set the entries first.
    if (auto* frame = dynamic_cast<CFrameWnd*>(window)) frame->UpdateMenuUI(this);
    const UINT command = qui::GetUserPrompts().TrackPopupMenu(*this, POINT{x, y}, window ? window->m_hWnd : nullptr);
    if (flags & TPM_RETURNCMD) return static_cast<BOOL>(command);
    if (command && window) window->SendMessage(WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return TRUE;
}
