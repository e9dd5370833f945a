#include "base/registry_tree.h"

namespace qbase::registry::detail {

std::string foldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

Key* Key::find(const std::vector<std::string>& path) {
    Key* key = this;
    for (const std::string& part : path) {
        auto it = key->subkeys.find(foldCase(part));
        if (it == key->subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

Key& Key::create(const std::vector<std::string>& path, bool& created) {
    created = false;
    Key* key = this;
    for (const std::string& part : path) {
        std::unique_ptr<Key>& slot = key->subkeys[foldCase(part)];
        if (!slot) {
            slot = std::make_unique<Key>(Key{part, {}, {}});
            created = true;
        }
        key = slot.get();
    }
    return *key;
}

bool Key::erase(const std::vector<std::string>& path) {
    if (path.empty()) return false;
    Key* parent = find({path.begin(), path.end() - 1});
    return parent && parent->subkeys.erase(foldCase(path.back())) == 1;
}

}  // namespace qbase::registry::detail
