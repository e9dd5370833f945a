// The kernel's registry calls over the registry store: "\Registry\Machine\X" is HKLM "X" (and
// "SYSTEM\CurrentControlSet\..." lies in the store's volatile hive).
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <utility>

#include "base/registry_store.h"
#include "kernel_internal.h"
#include "registry_faults.h"

namespace {

namespace reg = qbase::registry;

struct KeyHandle {
    std::string path;  // below HKLM
};

std::mutex handleLock;
std::set<KeyHandle*>& handles() {
    static std::set<KeyHandle*>& open = *new std::set<KeyHandle*>;  // never destroyed, as the kernel's other state
    return open;
}

// The store path below HKLM for a kernel path, or nullopt for a path outside the machine hive.
std::optional<std::string> storePath(ULONG relativeTo, const std::wstring& kernelPath) {
    std::string path = qk::kernel::narrow(kernelPath.data(), kernelPath.size());
    switch (relativeTo & ~RTL_REGISTRY_OPTIONAL) {
    case RTL_REGISTRY_ABSOLUTE: {
        const std::string prefix = "\\REGISTRY\\MACHINE";
        std::string head = path.substr(0, prefix.size());
        for (char& c : head) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        if (head != prefix) return std::nullopt;
        path = path.substr(prefix.size());
        break;
    }
    case RTL_REGISTRY_SERVICES:
        path = "SYSTEM\\CurrentControlSet\\Services\\" + path;
        break;
    default:
        return std::nullopt;
    }
    while (!path.empty() && path.front() == '\\') path.erase(path.begin());
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::optional<std::string> storePath(POBJECT_ATTRIBUTES attributes) {
    if (attributes == nullptr || attributes->ObjectName == nullptr) return std::nullopt;
    const std::wstring name = qk::kernel::wide(attributes->ObjectName);
    if (attributes->RootDirectory != nullptr) {
        std::lock_guard lock(handleLock);
        auto* parent = static_cast<KeyHandle*>(attributes->RootDirectory);
        if (!handles().count(parent)) return std::nullopt;
        return parent->path + "\\" + qk::kernel::narrow(name.data(), name.size());
    }
    return storePath(RTL_REGISTRY_ABSOLUTE, name);
}

std::mutex faultLock;
qk::testing::RegistryWriteFault& writeFault() {
    static qk::testing::RegistryWriteFault fault;
    return fault;
}

NTSTATUS injectedFault(const std::string& key, const std::string& name) {
    qk::testing::RegistryWriteFault fault;
    {
        std::lock_guard lock(faultLock);
        fault = writeFault();
    }
    return fault ? fault(key, name) : STATUS_SUCCESS;
}

NTSTATUS setValue(const std::string& key, const std::wstring& name, ULONG type, const void* data, ULONG length) {
    if (!reg::keyExists(reg::Root::LocalMachine, key)) return STATUS_OBJECT_NAME_NOT_FOUND;
    if (const NTSTATUS refused = injectedFault(key, qk::kernel::narrow(name.data(), name.size())); !NT_SUCCESS(refused))
        return refused;
    reg::Value value;
    value.type = static_cast<reg::ValueType>(type);
    if (type == REG_SZ) {
        // Wide text in, the store's narrow text (with its terminating zero) out.
        std::size_t count = length / sizeof(WCHAR);
        const auto* text = static_cast<const WCHAR*>(data);
        while (count > 0 && text[count - 1] == L'\0') --count;
        value = reg::stringValue(qk::kernel::narrow(text, count));
    } else if (length != 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        value.data.assign(bytes, bytes + length);
    }
    if (!reg::setValue(reg::Root::LocalMachine, key, qk::kernel::narrow(name.data(), name.size()), value))
        return STATUS_ACCESS_DENIED;
    return STATUS_SUCCESS;
}

NTSTATUS openOrCreate(PHANDLE keyHandle, POBJECT_ATTRIBUTES attributes, bool create, PULONG disposition) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, create ? "ZwCreateKey" : "ZwOpenKey");
    *keyHandle = nullptr;
    const auto path = storePath(attributes);
    if (!path || path->empty()) return STATUS_OBJECT_NAME_NOT_FOUND;
    const bool existed = reg::keyExists(reg::Root::LocalMachine, *path);
    if (!existed) {
        if (!create) return STATUS_OBJECT_NAME_NOT_FOUND;
        if (!reg::createKey(reg::Root::LocalMachine, *path)) return STATUS_ACCESS_DENIED;
    }
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    auto* handle = new KeyHandle{*path};
    std::lock_guard lock(handleLock);
    handles().insert(handle);
    *keyHandle = handle;
    return STATUS_SUCCESS;
}

}  // namespace

void qk::testing::setRegistryWriteFault(RegistryWriteFault fault) {
    std::lock_guard lock(faultLock);
    writeFault() = std::move(fault);
}

NTSTATUS RtlWriteRegistryValue(ULONG relativeTo, PCWSTR path, PCWSTR valueName, ULONG valueType, PVOID valueData,
                               ULONG valueLength) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    if (path == nullptr) return STATUS_INVALID_PARAMETER;
    const auto key = storePath(relativeTo, path);
    if (!key) return STATUS_OBJECT_NAME_NOT_FOUND;
    return setValue(*key, valueName ? std::wstring(valueName) : std::wstring(), valueType, valueData, valueLength);
}

NTSTATUS RtlCheckRegistryKey(ULONG relativeTo, PWSTR path) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    if (path == nullptr) return STATUS_INVALID_PARAMETER;
    const auto key = storePath(relativeTo, path);
    return key && reg::keyExists(reg::Root::LocalMachine, *key) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

NTSTATUS RtlCreateRegistryKey(ULONG relativeTo, PWSTR path) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    if (path == nullptr) return STATUS_INVALID_PARAMETER;
    const auto key = storePath(relativeTo, path);
    if (!key || key->empty()) return STATUS_OBJECT_NAME_NOT_FOUND;
    if (reg::keyExists(reg::Root::LocalMachine, *key)) return STATUS_SUCCESS;
    const auto slash = key->rfind('\\');
    if (slash != std::string::npos && !reg::keyExists(reg::Root::LocalMachine, key->substr(0, slash)))
        return STATUS_OBJECT_NAME_NOT_FOUND;
    return reg::createKey(reg::Root::LocalMachine, *key) ? STATUS_SUCCESS : STATUS_ACCESS_DENIED;
}

NTSTATUS ZwCreateKey(PHANDLE keyHandle, ACCESS_MASK, POBJECT_ATTRIBUTES objectAttributes, ULONG, PUNICODE_STRING,
                     ULONG, PULONG disposition) {
    return openOrCreate(keyHandle, objectAttributes, true, disposition);
}

NTSTATUS ZwOpenKey(PHANDLE keyHandle, ACCESS_MASK, POBJECT_ATTRIBUTES objectAttributes) {
    return openOrCreate(keyHandle, objectAttributes, false, nullptr);
}

NTSTATUS ZwSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG, ULONG type, PVOID data, ULONG dataSize) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    std::string path;
    {
        std::lock_guard lock(handleLock);
        auto* handle = static_cast<KeyHandle*>(keyHandle);
        if (!handles().count(handle)) return STATUS_INVALID_HANDLE;
        path = handle->path;
    }
    return setValue(path, qk::kernel::wide(valueName), type, data, dataSize);
}

NTSTATUS ZwClose(HANDLE handle) {
    std::lock_guard lock(handleLock);
    auto* key = static_cast<KeyHandle*>(handle);
    if (handles().erase(key) == 0) return STATUS_INVALID_HANDLE;
    delete key;
    return STATUS_SUCCESS;
}
