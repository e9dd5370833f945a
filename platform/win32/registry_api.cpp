// The registry calls over the machine's registry store. An opened key remembers the access it was
// opened with: querying needs KEY_QUERY_VALUE, setting and deleting values KEY_SET_VALUE, and
// opening for setting a key that is read-only for the user fails with access denied.
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/machine_root.h"
#include "base/registry_store.h"
#include "win32/handle_table.h"

namespace qwin32 {
namespace {

namespace reg = qbase::registry;

class RegistryKey final : public KernelObject {
public:
    RegistryKey(reg::Root root, std::string path, DWORD access) : root(root), path(std::move(path)), access(access) {}
    bool closedByCloseHandle() const override { return false; }
    const reg::Root root;
    const std::string path;
    const DWORD access;
};

constexpr DWORD kChangeAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

struct KeyRef {
    reg::Root root;
    std::string path;
    DWORD access;
};

// The key a handle names: one of the predefined roots (all access) or an opened key. Every
// registry call passes here, so the machine has booted (and written its keys) before any is read.
std::optional<KeyRef> resolve(HKEY key) {
    qbase::ensureMachineBooted();
    if (key == HKEY_LOCAL_MACHINE) return KeyRef{reg::Root::LocalMachine, {}, KEY_ALL_ACCESS};
    if (key == HKEY_CURRENT_USER) return KeyRef{reg::Root::CurrentUser, {}, KEY_ALL_ACCESS};
    if (const auto opened = findHandleAs<RegistryKey>(key)) return KeyRef{opened->root, opened->path, opened->access};
    return std::nullopt;
}

std::string childPath(const std::string& base, LPCSTR subKey) {
    if (!subKey || !*subKey) return base;
    return base.empty() ? std::string(subKey) : base + "\\" + subKey;
}

LSTATUS openKey(const KeyRef& parent, LPCSTR subKey, DWORD access, HKEY* result, bool create, LPDWORD disposition) {
    const std::string path = childPath(parent.path, subKey);
    const bool existed = reg::keyExists(parent.root, path);
    if (!existed && !create) return ERROR_FILE_NOT_FOUND;
    if (!existed && !reg::isStorableName(path)) return ERROR_INVALID_PARAMETER;
    if ((access & kChangeAccess) && !reg::isWritableByUser(parent.root, path)) return ERROR_ACCESS_DENIED;
    if (!existed && !reg::createKey(parent.root, path)) {
        return reg::isWritableByUser(parent.root, path) ? ERROR_GEN_FAILURE : ERROR_ACCESS_DENIED;
    }
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = addHandle(std::make_shared<RegistryKey>(parent.root, path, access));
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace qwin32

using namespace qwin32;

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, DWORD samDesired, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const auto parent = resolve(key);
    if (!parent) return ERROR_INVALID_HANDLE;
    return openKey(*parent, subKey, samDesired, result, false, nullptr);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, DWORD samDesired, SECURITY_ATTRIBUTES*,
                        HKEY* result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const auto parent = resolve(key);
    if (!parent) return ERROR_INVALID_HANDLE;
    return openKey(*parent, subKey, samDesired, result, true, disposition);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    const auto ref = resolve(key);
    if (!ref) return ERROR_INVALID_HANDLE;
    if (!(ref->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    const auto value = qbase::registry::getValue(ref->root, ref->path, valueName ? valueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = static_cast<DWORD>(value->type);
    const auto size = static_cast<DWORD>(value->data.size());
    if (!dataSize) return ERROR_SUCCESS;
    const DWORD room = *dataSize;
    *dataSize = size;
    if (!data) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size) std::memcpy(data, value->data.data(), size);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    const auto ref = resolve(key);
    if (!ref) return ERROR_INVALID_HANDLE;
    if (!(ref->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if ((!data && dataSize) || (type == REG_DWORD && dataSize != 4)) return ERROR_INVALID_PARAMETER;
    namespace reg = qbase::registry;
    if (!reg::isStorableName(valueName ? valueName : "")) return ERROR_INVALID_PARAMETER;
    const reg::Value value{static_cast<reg::ValueType>(type), std::vector<std::uint8_t>(data, data + dataSize)};
    if (reg::setValue(ref->root, ref->path, valueName ? valueName : "", value)) return ERROR_SUCCESS;
    if (!reg::isWritableByUser(ref->root, ref->path)) return ERROR_ACCESS_DENIED;
    return reg::keyExists(ref->root, ref->path) ? ERROR_GEN_FAILURE : ERROR_FILE_NOT_FOUND;
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    const auto ref = resolve(key);
    if (!ref) return ERROR_INVALID_HANDLE;
    if (!(ref->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    namespace reg = qbase::registry;
    if (reg::deleteValue(ref->root, ref->path, valueName ? valueName : "")) return ERROR_SUCCESS;
    if (!reg::isWritableByUser(ref->root, ref->path)) return ERROR_ACCESS_DENIED;
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    return removeHandleAs<RegistryKey>(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
