// Device notifications: the registrations (each a handle of the handle table) and their delivery
// to windows through the window layer's sender. One lock guards the registration list; it is
// never held while a window handles its message.
#include "win32/device_notify.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "win32/testing.h"

namespace qwin32 {
namespace {

class Registration final : public KernelObject {
public:
    bool closedByCloseHandle() const override { return false; }  // UnregisterDeviceNotification closes it
    HANDLE recipient = nullptr;
    DWORD type = 0;                      // DBT_DEVTYP_DEVICEINTERFACE or DBT_DEVTYP_HANDLE
    GUID interfaceClass{};               // interface registrations
    HANDLE deviceHandle = nullptr;       // handle registrations: the handle given
    std::weak_ptr<KernelObject> device;  // and its object
    HDEVNOTIFY self = nullptr;
};

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<Registration>> registrations;
};

Registry& registry() {
    static Registry& r = *new Registry;  // never destroyed: windows may unregister during exit
    return r;
}

std::atomic<WindowMessageSender> sender{nullptr};
std::atomic<bool> unregisterFails{false};

bool sameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The registrations that `matches` takes, copied so that no lock is held while they are sent to.
template <class Matches>
std::vector<std::shared_ptr<Registration>> registrationsWhere(Matches matches) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::shared_ptr<Registration>> out;
    for (const auto& registration : r.registrations)
        if (matches(*registration)) out.push_back(registration);
    return out;
}

void deliver(HANDLE window, DWORD event, const void* record) {
    if (const WindowMessageSender send = sender.load())
        send(window, WM_DEVICECHANGE, event, reinterpret_cast<std::intptr_t>(record));
}

}  // namespace

WindowMessageSender setWindowMessageSender(WindowMessageSender s) { return sender.exchange(s); }

void announceDeviceInterface(const GUID& interfaceClass, const std::string& path, DWORD event) {
    const auto listeners = registrationsWhere([&](const Registration& r) {
        return r.type == DBT_DEVTYP_DEVICEINTERFACE && sameGuid(r.interfaceClass, interfaceClass);
    });
    if (listeners.empty()) return;
    std::vector<std::uint8_t> storage(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(storage.data());
    record->dbcc_size = static_cast<DWORD>(storage.size());
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_classguid = interfaceClass;
    std::memcpy(record->dbcc_name, path.c_str(), path.size() + 1);
    for (const auto& listener : listeners) deliver(listener->recipient, event, record);
}

void announceDeviceRemoved(const KernelObject& device) {
    const auto listeners = registrationsWhere([&](const Registration& r) {
        return r.type == DBT_DEVTYP_HANDLE && r.device.lock().get() == &device;
    });
    for (const auto& listener : listeners) {
        DEV_BROADCAST_HANDLE record{};
        record.dbch_size = sizeof record;
        record.dbch_devicetype = DBT_DEVTYP_HANDLE;
        record.dbch_handle = listener->deviceHandle;
        record.dbch_hdevnotify = listener->self;
        record.dbch_nameoffset = -1;
        deliver(listener->recipient, DBT_DEVICEREMOVECOMPLETE, &record);
    }
}

namespace testing {
void setUnregisterDeviceNotificationFails(bool fails) { unregisterFails.store(fails); }
}  // namespace testing

}  // namespace qwin32

using namespace qwin32;

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    if (!recipient || !header || flags != DEVICE_NOTIFY_WINDOW_HANDLE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto registration = std::make_shared<Registration>();
    registration->recipient = recipient;
    registration->type = header->dbch_devicetype;
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
        header->dbch_size >= offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name)) {
        registration->interfaceClass = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter)->dbcc_classguid;
    } else if (header->dbch_devicetype == DBT_DEVTYP_HANDLE &&
               header->dbch_size >= offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify)) {
        registration->deviceHandle = static_cast<const DEV_BROADCAST_HANDLE*>(filter)->dbch_handle;
        auto device = findHandle(registration->deviceHandle);
        if (!device) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        registration->device = device;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = addHandle(registration);
    registration->self = handle;
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        r.registrations.push_back(registration);
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY notification) {
    if (unregisterFails.load()) return failWith(ERROR_INVALID_HANDLE);
    const auto registration = removeHandleAs<Registration>(notification);
    if (!registration) return failWith(ERROR_INVALID_HANDLE);
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase(r.registrations, registration);
    return TRUE;
}
