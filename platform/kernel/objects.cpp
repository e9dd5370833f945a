// Driver and device objects, the object namespace (device names, symbolic links, device
// interfaces) and device stacks. One lock guards the namespace and the stack links.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "base/machine_root.h"
#include "kernel_internal.h"

namespace qk::kernel {
namespace {

struct InterfaceRecord {
    GUID interfaceClass;
    PDEVICE_OBJECT physicalDevice;  // referenced while registered
    std::wstring reference;
    std::string path;  // "\\?\ROOT#<service>#<nnnn>#{guid}\<reference>"
    bool enabled = false;
};

struct Namespace {
    std::mutex lock;
    std::map<std::wstring, PDEVICE_OBJECT> devices;  // folded name -> device
    std::map<std::wstring, std::wstring> links;      // folded "\??\X" -> device name
    std::vector<InterfaceRecord> interfaces;         // registration order = member index order
    std::vector<std::unique_ptr<DriverRecord>> drivers;
    unsigned nextInstance = 0;
};
Namespace& ns() {
    // Never destroyed: the machine's kernel lives as long as the process, so that handles closed at its
    // end still reach their drivers, and the devices it holds stay reachable (no leak at exit).
    static Namespace& instance = *new Namespace;
    return instance;
}

// "\DosDevices\X" and "\??\X" name one link.
std::wstring linkKey(const std::wstring& name) {
    std::wstring folded = foldCase(name);
    const std::wstring dosDevices = L"\\DOSDEVICES\\";
    if (folded.rfind(dosDevices, 0) == 0) return L"\\??\\" + folded.substr(dosDevices.size());
    return folded;
}

std::string guidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string folded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
    return text;
}

PDEVICE_OBJECT topOf(PDEVICE_OBJECT device) {
    while (device->AttachedDevice != nullptr) device = device->AttachedDevice;
    return device;
}

bool stackIsExclusive(PDEVICE_OBJECT device) {
    for (PDEVICE_OBJECT d = device; d != nullptr; d = d->AttachedDevice)
        if (d->Flags & DO_EXCLUSIVE) return true;
    return false;
}

// The file whose lock holds a named device open for the machine: "holds/<name>" in the machine
// root, the name's separators as dots ("\DEVICE\AMBRIX0" holds in "holds/DEVICE.AMBRIX0").
std::filesystem::path holdFile(const std::wstring& foldedName) {
    std::string file;
    for (const wchar_t c : foldedName) {
        const bool plain = (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' || c == L'-';
        if (plain) file += static_cast<char>(c);
        else if (!file.empty() && file.back() != '.') file += '.';
    }
    return qbase::machineRoot() / "holds" / file;
}

void freeDevice(PDEVICE_OBJECT device) {
    DeviceRecord* rec = &record(device);
    if (rec->onFree) rec->onFree(device);
    delete rec;
    ::operator delete(device, std::align_val_t{16});
}

}  // namespace

DriverRecord& record(PDRIVER_OBJECT driver) { return *static_cast<DriverRecord*>(driver->DriverSection); }
DeviceRecord& record(PDEVICE_OBJECT device) { return *static_cast<DeviceRecord*>(device->DeviceObjectExtension); }

NTSTATUS invalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

PDRIVER_OBJECT createDriverObject(const std::wstring& service) {
    auto rec = std::make_unique<DriverRecord>();
    rec->name = L"\\Driver\\" + service;
    rec->serviceKey = L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\" + service;
    DRIVER_OBJECT& d = rec->object;
    d.Type = IO_TYPE_DRIVER;
    d.Size = sizeof(DRIVER_OBJECT);
    d.DriverSection = rec.get();
    d.DriverExtension = &rec->extension;
    rec->extension.DriverObject = &d;
    RtlInitUnicodeString(&d.DriverName, rec->name.c_str());
    for (auto& dispatch : d.MajorFunction) dispatch = invalidDeviceRequest;
    PDRIVER_OBJECT result = &d;
    std::lock_guard lock(ns().lock);
    ns().drivers.push_back(std::move(rec));
    return result;
}

void referenceDevice(PDEVICE_OBJECT device) { record(device).references.fetch_add(1); }

void dereferenceDevice(PDEVICE_OBJECT device) {
    if (record(device).references.fetch_sub(1) == 1) freeDevice(device);
}

std::optional<OpenTarget> resolveOpenPath(const std::string& path) {
    Namespace& n = ns();
    std::lock_guard lock(n.lock);
    if (path.rfind("\\\\.\\", 0) == 0) {
        const auto link = n.links.find(L"\\??\\" + foldCase(widen(path.substr(4))));
        if (link == n.links.end()) return std::nullopt;
        const auto device = n.devices.find(foldCase(link->second));
        if (device == n.devices.end()) return std::nullopt;
        referenceDevice(device->second);
        return OpenTarget{device->second, {}};
    }
    const std::string key = folded(path);
    for (const InterfaceRecord& i : n.interfaces) {
        if (!i.enabled || folded(i.path) != key) continue;
        referenceDevice(i.physicalDevice);
        return OpenTarget{i.physicalDevice, L"\\" + i.reference};
    }
    return std::nullopt;
}

bool acquireOpen(PDEVICE_OBJECT device, qbase::FileLock& hold) {
    std::lock_guard lock(ns().lock);
    DeviceRecord& rec = record(device);
    const bool exclusive = stackIsExclusive(device);
    if (rec.openFiles > 0 && exclusive) return false;
    if (!rec.name.empty()) {
        // A machine root that cannot take the hold file leaves the open to this process alone.
        bool conflict = false;
        hold = qbase::FileLock::tryTake(holdFile(rec.name),
                                        exclusive ? qbase::FileLock::Kind::exclusive : qbase::FileLock::Kind::shared,
                                        &conflict);
        if (conflict) return false;
    }
    ++rec.openFiles;
    return true;
}

void releaseOpen(PDEVICE_OBJECT device, qbase::FileLock& hold) {
    // The hold goes first: while the count still shows the file, no one here takes the device
    // for another process's.
    hold.release();
    std::lock_guard lock(ns().lock);
    --record(device).openFiles;
}

bool openElsewhere(PDEVICE_OBJECT device) {
    std::lock_guard lock(ns().lock);
    const DeviceRecord& rec = record(device);
    return rec.openFiles == 0 && !rec.name.empty() && qbase::FileLock::isHeld(holdFile(rec.name));
}

std::vector<std::string> enabledInterfaces(const GUID& interfaceClass) {
    std::lock_guard lock(ns().lock);
    std::vector<std::string> paths;
    for (const InterfaceRecord& i : ns().interfaces)
        if (i.enabled && IsEqualGUID(i.interfaceClass, interfaceClass)) paths.push_back(i.path);
    return paths;
}

void dropInterfaces(PDEVICE_OBJECT physicalDevice) {
    std::vector<PDEVICE_OBJECT> released;
    {
        std::lock_guard lock(ns().lock);
        auto& list = ns().interfaces;
        for (auto it = list.begin(); it != list.end();) {
            if (it->physicalDevice == physicalDevice) {
                released.push_back(it->physicalDevice);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (PDEVICE_OBJECT d : released) dereferenceDevice(d);
}

}  // namespace qk::kernel

using namespace qk::kernel;

NTSTATUS IoCreateDevice(PDRIVER_OBJECT driverObject, ULONG deviceExtensionSize, PUNICODE_STRING deviceName,
                        DEVICE_TYPE deviceType, ULONG deviceCharacteristics, BOOLEAN exclusive,
                        PDEVICE_OBJECT* deviceObject) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    *deviceObject = nullptr;
    const std::wstring name = foldCase(wide(deviceName));
    const std::size_t extensionOffset = (sizeof(DEVICE_OBJECT) + 15) & ~std::size_t{15};
    const std::size_t size = extensionOffset + deviceExtensionSize;
    void* memory = ::operator new(size, std::align_val_t{16}, std::nothrow);
    if (memory == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(memory, 0, size);
    auto* device = static_cast<PDEVICE_OBJECT>(memory);
    auto* rec = new DeviceRecord;
    rec->object = device;
    rec->name = name;
    device->Type = IO_TYPE_DEVICE;
    device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + deviceExtensionSize);
    device->ReferenceCount = 0;
    device->DriverObject = driverObject;
    device->Flags = DO_DEVICE_INITIALIZING | (exclusive ? DO_EXCLUSIVE : 0);
    device->Characteristics = deviceCharacteristics;
    device->DeviceExtension = deviceExtensionSize ? static_cast<char*>(memory) + extensionOffset : nullptr;
    device->DeviceType = deviceType;
    device->StackSize = 1;
    device->DeviceObjectExtension = rec;

    Namespace& n = ns();
    std::lock_guard lock(n.lock);
    if (!name.empty()) {
        if (n.devices.count(name)) {
            delete rec;
            ::operator delete(memory, std::align_val_t{16});
            return STATUS_OBJECT_NAME_COLLISION;
        }
        n.devices[name] = device;
    }
    device->NextDevice = driverObject->DeviceObject;
    driverObject->DeviceObject = device;
    *deviceObject = device;
    return STATUS_SUCCESS;
}

void IoDeleteDevice(PDEVICE_OBJECT deviceObject) {
    {
        Namespace& n = ns();
        std::lock_guard lock(n.lock);
        DeviceRecord& rec = record(deviceObject);
        if (rec.deleted) qk::kernelAssertFailed("IoDeleteDevice on a deleted device", __FILE__, __LINE__);
        rec.deleted = true;
        if (!rec.name.empty()) n.devices.erase(rec.name);
        for (PDEVICE_OBJECT* link = &deviceObject->DriverObject->DeviceObject; *link; link = &(*link)->NextDevice) {
            if (*link == deviceObject) {
                *link = deviceObject->NextDevice;
                break;
            }
        }
    }
    dereferenceDevice(deviceObject);
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING symbolicLinkName, PUNICODE_STRING deviceName) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    const std::wstring key = linkKey(wide(symbolicLinkName));
    if (key.empty()) return STATUS_OBJECT_NAME_INVALID;
    std::lock_guard lock(ns().lock);
    if (!ns().links.emplace(key, wide(deviceName)).second) return STATUS_OBJECT_NAME_COLLISION;
    return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING symbolicLinkName) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    std::lock_guard lock(ns().lock);
    return ns().links.erase(linkKey(wide(symbolicLinkName))) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT source, PDEVICE_OBJECT target) {
    std::lock_guard lock(ns().lock);
    if (record(target).deleted) return nullptr;
    PDEVICE_OBJECT top = topOf(target);
    top->AttachedDevice = source;
    source->StackSize = static_cast<CCHAR>(top->StackSize + 1);
    return top;
}

void IoDetachDevice(PDEVICE_OBJECT targetDevice) {
    std::lock_guard lock(ns().lock);
    targetDevice->AttachedDevice = nullptr;
}

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT deviceObject) {
    std::lock_guard lock(ns().lock);
    return topOf(deviceObject);
}

PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT deviceObject) {
    std::lock_guard lock(ns().lock);
    PDEVICE_OBJECT top = topOf(deviceObject);
    referenceDevice(top);
    return top;
}

void ObReferenceObject(PVOID object) {
    auto* device = static_cast<PDEVICE_OBJECT>(object);
    if (device->Type != IO_TYPE_DEVICE) qk::kernelAssertFailed("ObReferenceObject on an unknown object", __FILE__, __LINE__);
    referenceDevice(device);
}

void ObDereferenceObject(PVOID object) {
    auto* device = static_cast<PDEVICE_OBJECT>(object);
    if (device->Type != IO_TYPE_DEVICE) qk::kernelAssertFailed("ObDereferenceObject on an unknown object", __FILE__, __LINE__);
    dereferenceDevice(device);
}

NTSTATUS IoRegisterDeviceInterface(PDEVICE_OBJECT physicalDeviceObject, const GUID* interfaceClassGuid,
                                   PUNICODE_STRING referenceString, PUNICODE_STRING symbolicLinkName) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    if (!record(physicalDeviceObject).board) return STATUS_INVALID_DEVICE_REQUEST;  // not a PnP device
    const std::wstring reference = wide(referenceString);
    Namespace& n = ns();
    std::string path;
    {
        std::lock_guard lock(n.lock);
        auto existing = std::find_if(n.interfaces.begin(), n.interfaces.end(), [&](const InterfaceRecord& i) {
            return i.physicalDevice == physicalDeviceObject && IsEqualGUID(i.interfaceClass, *interfaceClassGuid) &&
                   i.reference == reference;
        });
        if (existing != n.interfaces.end()) {
            path = existing->path;
        } else {
            char instance[8];
            std::snprintf(instance, sizeof instance, "%04u", n.nextInstance++ % 10000);
            const std::string& service = record(physicalDeviceObject).board->service;
            path = "\\\\?\\ROOT#" + folded(service.empty() ? "UNKNOWN" : service) + "#" + instance + "#" +
                   guidText(*interfaceClassGuid);
            if (!reference.empty()) path += "\\" + narrow(reference.data(), reference.size());
            referenceDevice(physicalDeviceObject);
            n.interfaces.push_back({*interfaceClassGuid, physicalDeviceObject, reference, path, false});
        }
    }
    const std::wstring widePath = widen(path);
    const std::size_t bytes = (widePath.size() + 1) * sizeof(WCHAR);
    auto* buffer = static_cast<PWSTR>(ExAllocatePool(PagedPool, bytes));
    if (buffer == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(buffer, widePath.c_str(), bytes);
    symbolicLinkName->Buffer = buffer;
    symbolicLinkName->Length = static_cast<USHORT>(bytes - sizeof(WCHAR));
    symbolicLinkName->MaximumLength = static_cast<USHORT>(bytes);
    return STATUS_SUCCESS;
}

NTSTATUS IoSetDeviceInterfaceState(PUNICODE_STRING symbolicLinkName, BOOLEAN enable) {
    const std::string key = folded(narrow(symbolicLinkName));
    std::lock_guard lock(ns().lock);
    for (InterfaceRecord& i : ns().interfaces) {
        if (folded(i.path) != key) continue;
        i.enabled = enable != FALSE;
        return STATUS_SUCCESS;
    }
    return STATUS_OBJECT_NAME_NOT_FOUND;
}
