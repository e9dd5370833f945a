// The in-memory shape of a registry hive: keys with case-insensitive subkey and value names that
// keep the spelling of their first creation. Internal to the registry store.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/registry_store.h"

namespace qbase::registry::detail {

// ASCII case folding, the rule for key and value names.
std::string foldCase(std::string_view text);
// Splits "A\B\C" into its components; empty components (leading, trailing or doubled "\") are dropped.
std::vector<std::string> splitPath(std::string_view path);

struct NamedValue {
    std::string name;
    Value value;
};

struct Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name, so listed in folded order
    std::map<std::string, NamedValue> values;             // by folded name; "" is the default value

    // The key at `path` below this one, or null.
    Key* find(const std::vector<std::string>& path);
    // The key at `path`, creating what is missing; `created` tells whether anything was.
    Key& create(const std::vector<std::string>& path, bool& created);
    // Removes the key at `path` (non-empty) with everything below it; false when it is missing.
    bool erase(const std::vector<std::string>& path);
};

// Both roots of one hive file.
struct Hive {
    Key localMachine{"HKEY_LOCAL_MACHINE", {}, {}};
    Key currentUser{"HKEY_CURRENT_USER", {}, {}};
    Key& root(Root r) { return r == Root::LocalMachine ? localMachine : currentUser; }
};

}  // namespace qbase::registry::detail
