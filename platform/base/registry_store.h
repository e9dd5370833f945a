// The machine's registry: the store behind both the Win32 registry calls and the kernel's
// absolute registry writes.
//
// Keys are paths below a root ("HKLM" or "HKCU"), components separated by "\", compared without
// regard to ASCII case ("SOFTWARE" and "Software" are one key); a key keeps the spelling with
// which it was first created. Value names are case-insensitive too.
//
// Hives: HKLM\SYSTEM\CurrentControlSet and everything below it is volatile: kept in memory only
// and rebuilt at each boot of the simulated machine. Everything else persists in the machine
// root's file "registry.reg", in the registry editor's text format. Every change to a persisted key
// is written at once: the file is re-read under an exclusive file lock, the change applied, and
// the result written to a temporary file that is renamed over the old one, so that two processes
// writing at once lose neither write and a crash in the middle of a save leaves the old file.
//
// Write permission: a key may be marked read-only for the current user (simulating a user without
// administrator rights); opening it for setting then fails with access denied.
//
// Thread-safe: one lock guards the store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qbase::registry {

enum class Root { LocalMachine, CurrentUser };

enum class ValueType : std::uint32_t { String = 1 /*REG_SZ*/, Binary = 3 /*REG_BINARY*/, Dword = 4 /*REG_DWORD*/ };

struct Value {
    ValueType type = ValueType::Binary;
    std::vector<std::uint8_t> data;  // REG_SZ includes its terminating zero; REG_DWORD is 4 bytes LE
};

bool keyExists(Root root, const std::string& path);
// Key and value names cannot hold line breaks: creating or setting such a name fails.
bool isStorableName(const std::string& name);

// Creates the key and its missing parents; false when a parent is read-only for the user.
bool createKey(Root root, const std::string& path);
bool deleteKey(Root root, const std::string& path);  // with its subkeys
std::optional<Value> getValue(Root root, const std::string& path, const std::string& name);
// False when the key does not exist or is read-only for the user.
bool setValue(Root root, const std::string& path, const std::string& name, const Value& value);
bool deleteValue(Root root, const std::string& path, const std::string& name);
std::vector<std::string> subkeys(Root root, const std::string& path);

// Per-key permission (tests): a read-only key cannot be opened for setting, nor can its values or
// subkeys be changed; reading stays allowed. Applies to the key and everything below it.
void setReadOnlyForUser(Root root, const std::string& path, bool readOnly);
bool isWritableByUser(Root root, const std::string& path);

// Clears the volatile hive (machine boot) and forgets the cached persisted hive so that the next
// access reads the machine root afresh (used when the machine root changes).
void resetVolatileHive();
void reloadPersisted();

// Convenience for DWORD and string values.
Value dwordValue(std::uint32_t v);
Value stringValue(const std::string& s);

}  // namespace qbase::registry
