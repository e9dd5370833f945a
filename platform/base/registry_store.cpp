// The registry store: a volatile hive for HKLM\SYSTEM\CurrentControlSet and a persisted hive in
// the machine root's "registry.reg".
//
// The persisted hive is cached in memory together with the identity of the file it was read
// from; every access compares that identity with the file's and reads the file again when another
// process has replaced it. A change runs under the file lock "registry.reg.lock": refresh, apply,
// write "registry.reg.tmp", rename it over "registry.reg".
#include "base/registry_store.h"

#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>

#include "base/debug_output.h"
#include "base/file_lock.h"
#include "base/file_replace.h"
#include "base/machine_root.h"
#include "base/registry_testing.h"
#include "base/registry_text.h"
#include "base/registry_tree.h"

namespace qbase::registry {
namespace {

namespace fs = std::filesystem;
using detail::Hive;
using detail::Key;
using Path = std::vector<std::string>;

// The volatile hive's mount point below HKLM.
const Path kVolatileMount{"SYSTEM", "CurrentControlSet"};

struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity identityOf(const fs::path& file) {
    struct stat st{};
    if (::stat(file.c_str(), &st) != 0) return {};
    return {true,
            st.st_dev,
            st.st_ino,
            st.st_size,
            std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec,
            std::int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec};
}

bool readWhole(const fs::path& file, std::string& text) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return false;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

struct Store {
    std::mutex mutex;
    Hive persisted;
    bool persistedLoaded = false;
    fs::path persistedFile;
    FileIdentity persistedIdentity;
    Key volatileRoot{"CurrentControlSet", {}, {}};
    std::set<std::pair<Root, std::string>> readOnly;  // folded paths
    std::function<void()> beforeRename;
};

Store& store() {
    static Store& instance = *new Store;  // never destroyed: the drivers write it until the process ends
    return instance;
}

bool isVolatile(Root root, const Path& path) {
    if (root != Root::LocalMachine || path.size() < kVolatileMount.size()) return false;
    for (std::size_t i = 0; i < kVolatileMount.size(); ++i) {
        if (detail::foldCase(path[i]) != detail::foldCase(kVolatileMount[i])) return false;
    }
    return true;
}

// HKLM and HKLM\SYSTEM exist because the volatile hive hangs below them.
bool isMountAncestor(Root root, const Path& path) {
    return root == Root::LocalMachine && path.size() < kVolatileMount.size() &&
           (path.empty() || detail::foldCase(path[0]) == detail::foldCase(kVolatileMount[0]));
}

std::string foldedJoin(const Path& path, std::size_t count) {
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        if (i) joined += '\\';
        joined += detail::foldCase(path[i]);
    }
    return joined;
}

bool writableLocked(const Store& s, Root root, const Path& path) {
    for (std::size_t n = 0; n <= path.size(); ++n) {
        if (s.readOnly.count({root, foldedJoin(path, n)})) return false;
    }
    return true;
}

// Brings the cached persisted hive up to date with the file. Store lock held.
void refreshPersisted(Store& s) {
    const fs::path file = machineRoot() / "registry.reg";
    const FileIdentity identity = identityOf(file);
    if (s.persistedLoaded && file == s.persistedFile && identity == s.persistedIdentity) return;
    std::string text;
    if (identity.exists && !readWhole(file, text)) {
        debug::write("registry: cannot read " + file.string());
    }
    s.persisted = detail::parseHive(text);
    s.persisted.localMachine.erase(kVolatileMount);  // a hand-edited file cannot shadow the volatile hive
    s.persistedLoaded = true;
    s.persistedFile = file;
    s.persistedIdentity = identity;
}

bool savePersisted(Store& s) {
    const fs::path file = s.persistedFile;
    const fs::path temporary = fs::path(file).concat(".tmp");
    const std::string text = detail::formatHive(s.persisted);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && s.beforeRename) s.beforeRename();
    ok = ok && ::rename(temporary.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    s.persistedIdentity = identityOf(file);
    return true;
}

// Applies `change` to the freshest persisted hive under the file lock and saves when it reports a
// change. A failed save forgets the cache, so that the hive reads back what the file holds.
bool changePersisted(Store& s, const std::function<bool(Hive&)>& change) {
    const FileLock lock = FileLock::wait(machineRoot() / "registry.reg.lock", FileLock::Kind::exclusive);
    if (!lock.held()) return false;
    s.persistedLoaded = false;  // under the lock, always read the file's current content
    refreshPersisted(s);
    if (!change(s.persisted)) return false;
    if (savePersisted(s)) return true;
    debug::write("registry: cannot save " + s.persistedFile.string());
    s.persistedLoaded = false;
    return false;
}

// One resolved key location: the hive it lives in and its path inside that hive's root.
struct Location {
    bool inVolatile;
    Path path;
};

Location locate(Root root, const Path& path) {
    if (isVolatile(root, path)) return {true, Path(path.begin() + kVolatileMount.size(), path.end())};
    return {false, path};
}

// Runs `action` on the key tree that holds `path` with the store locked (and, for a change of the
// persisted hive, the file lock too). The machine boots first when the volatile hive is involved.
template <class Action>
bool withKeyTree(Root root, const Path& path, bool changes, Action&& action) {
    const Location where = locate(root, path);
    if (where.inVolatile) ensureMachineBooted();
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (where.inVolatile) return action(s, s.volatileRoot, where.path);
    if (!changes) {
        refreshPersisted(s);
        return action(s, s.persisted.root(root), where.path);
    }
    return changePersisted(s, [&](Hive& hive) { return action(s, hive.root(root), where.path); });
}

Value bytesValue(ValueType type, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
}

}  // namespace

// A line break in a name would split its line of the hive file, and the key or value would be lost.
bool isStorableName(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

bool keyExists(Root root, const std::string& path) {
    const Path parts = detail::splitPath(path);
    if (isMountAncestor(root, parts)) return true;
    return withKeyTree(root, parts, false,
                       [](Store&, Key& tree, const Path& p) { return tree.find(p) != nullptr; });
}

bool createKey(Root root, const std::string& path) {
    const Path parts = detail::splitPath(path);
    if (keyExists(root, path)) return true;
    if (!isStorableName(path)) return false;
    return withKeyTree(root, parts, true, [&](Store& s, Key& tree, const Path& p) {
        if (!writableLocked(s, root, parts)) return false;
        bool created = false;
        tree.create(p, created);
        return true;
    });
}

bool deleteKey(Root root, const std::string& path) {
    const Path parts = detail::splitPath(path);
    if (isMountAncestor(root, parts) || (isVolatile(root, parts) && parts.size() == kVolatileMount.size())) return false;
    return withKeyTree(root, parts, true, [&](Store& s, Key& tree, const Path& p) {
        return writableLocked(s, root, parts) && tree.erase(p);
    });
}

std::optional<Value> getValue(Root root, const std::string& path, const std::string& name) {
    std::optional<Value> found;
    withKeyTree(root, detail::splitPath(path), false, [&](Store&, Key& tree, const Path& p) {
        const Key* key = tree.find(p);
        if (!key) return false;
        const auto it = key->values.find(detail::foldCase(name));
        if (it != key->values.end()) found = it->second.value;
        return true;
    });
    return found;
}

bool setValue(Root root, const std::string& path, const std::string& name, const Value& value) {
    if (!isStorableName(name)) return false;
    const Path parts = detail::splitPath(path);
    return withKeyTree(root, parts, true, [&](Store& s, Key& tree, const Path& p) {
        Key* key = tree.find(p);
        if (!key || !writableLocked(s, root, parts)) return false;
        detail::NamedValue& slot = key->values[detail::foldCase(name)];
        if (slot.name.empty()) slot.name = name;
        slot.value = value;
        return true;
    });
}

bool deleteValue(Root root, const std::string& path, const std::string& name) {
    const Path parts = detail::splitPath(path);
    return withKeyTree(root, parts, true, [&](Store& s, Key& tree, const Path& p) {
        Key* key = tree.find(p);
        return key && writableLocked(s, root, parts) && key->values.erase(detail::foldCase(name)) == 1;
    });
}

std::vector<std::string> subkeys(Root root, const std::string& path) {
    const Path parts = detail::splitPath(path);
    std::vector<std::string> names;
    withKeyTree(root, parts, false, [&](Store&, Key& tree, const Path& p) {
        if (const Key* key = tree.find(p)) {
            for (const auto& [folded, sub] : key->subkeys) names.push_back(sub->name);
        }
        return true;
    });
    if (isMountAncestor(root, parts)) {
        const std::string& child = kVolatileMount[parts.size()];
        bool listed = false;
        for (const std::string& n : names) listed = listed || detail::foldCase(n) == detail::foldCase(child);
        if (!listed) names.push_back(child);
    }
    return names;
}

void setReadOnlyForUser(Root root, const std::string& path, bool readOnly) {
    const Path parts = detail::splitPath(path);
    Store& s = store();
    std::lock_guard lock(s.mutex);
    const std::pair<Root, std::string> entry{root, foldedJoin(parts, parts.size())};
    if (readOnly) {
        s.readOnly.insert(entry);
    } else {
        s.readOnly.erase(entry);
    }
}

bool isWritableByUser(Root root, const std::string& path) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return writableLocked(s, root, detail::splitPath(path));
}

void resetVolatileHive() {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.volatileRoot.subkeys.clear();
    s.volatileRoot.values.clear();
}

void reloadPersisted() {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.persistedLoaded = false;
}

Value dwordValue(std::uint32_t v) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return bytesValue(ValueType::Dword, bytes, sizeof bytes);
}

Value stringValue(const std::string& s) { return bytesValue(ValueType::String, s.c_str(), s.size() + 1); }

namespace testing {
void setBeforeRenameHook(std::function<void()> hook) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.beforeRename = std::move(hook);
}
}  // namespace testing

}  // namespace qbase::registry
