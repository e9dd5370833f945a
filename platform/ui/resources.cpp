// The resource tables of the program. Registered once at start on the main thread, read afterwards
// from any thread under one lock.
#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>

#include "ui/resources.h"

namespace qui {
namespace {

struct Tables {
    std::mutex mutex;
    std::map<UINT, std::string> strings;
    std::map<UINT, DialogTemplate> dialogs;
    std::map<UINT, std::vector<MenuTemplate>> menus;
    std::map<UINT, std::vector<UINT>> toolbars;
    std::map<UINT, std::vector<ACCEL>> accelerators;
    std::map<UINT, std::vector<std::string>> icons;
    std::map<UINT, std::vector<std::string>> bitmaps;
};

Tables& tables() {
    static Tables t;
    return t;
}

template <class Map>
const typename Map::mapped_type* find(Map& map, UINT id) {
    std::lock_guard lock(tables().mutex);
    const auto it = map.find(id);
    return it == map.end() ? nullptr : &it->second;
}

}  // namespace

void RegisterStrings(std::initializer_list<std::pair<UINT, const char*>> strings) {
    std::lock_guard lock(tables().mutex);
    for (const auto& [id, text] : strings) tables().strings[id] = text ? text : "";
}

bool LoadResourceString(UINT id, std::string& text) {
    std::lock_guard lock(tables().mutex);
    const auto it = tables().strings.find(id);
    if (it == tables().strings.end()) {
        text.clear();
        return false;
    }
    text = it->second;
    return true;
}

std::string LoadResourceString(UINT id) {
    std::string text;
    LoadResourceString(id, text);
    return text;
}

std::string FormatResourceString(const std::string& pattern, std::initializer_list<std::string> arguments) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < arguments.size()) out += *(arguments.begin() + n);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string FormatString(const char* format, ...) {
    if (!format) return {};
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(length));
    }
    va_end(args);
    return out;
}

void RegisterDialog(DialogTemplate dialog) {
    std::lock_guard lock(tables().mutex);
    const UINT id = dialog.id;
    tables().dialogs[id] = std::move(dialog);
}

const DialogTemplate* FindDialog(UINT id) { return find(tables().dialogs, id); }

void RegisterMenu(UINT id, std::vector<MenuTemplate> bar) {
    std::lock_guard lock(tables().mutex);
    tables().menus[id] = std::move(bar);
}

const std::vector<MenuTemplate>* FindMenu(UINT id) { return find(tables().menus, id); }

void RegisterAccelerators(UINT id, std::vector<ACCEL> table) {
    std::lock_guard lock(tables().mutex);
    tables().accelerators[id] = std::move(table);
}

const std::vector<ACCEL>* FindAccelerators(UINT id) { return find(tables().accelerators, id); }

void RegisterToolBar(UINT id, std::vector<UINT> commands) {
    std::lock_guard lock(tables().mutex);
    tables().toolbars[id] = std::move(commands);
}

const std::vector<UINT>* FindToolBar(UINT id) { return find(tables().toolbars, id); }

void RegisterIcon(UINT id, std::vector<std::string> xpm) {
    std::lock_guard lock(tables().mutex);
    tables().icons[id] = std::move(xpm);
}

void RegisterBitmap(UINT id, std::vector<std::string> xpm) {
    std::lock_guard lock(tables().mutex);
    tables().bitmaps[id] = std::move(xpm);
}

const std::vector<std::string>* FindIcon(UINT id) { return find(tables().icons, id); }
const std::vector<std::string>* FindBitmap(UINT id) { return find(tables().bitmaps, id); }

void ClearResources() {
    std::lock_guard lock(tables().mutex);
    tables().strings.clear();
    tables().dialogs.clear();
    tables().menus.clear();
    tables().toolbars.clear();
    tables().accelerators.clear();
    tables().icons.clear();
    tables().bitmaps.clear();
}

}  // namespace qui
