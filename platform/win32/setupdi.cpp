// SetupDi device-interface enumeration over the kernel's interface list. A set is a snapshot of the
// present interfaces of one class, taken when the set is created; member indexes follow the
// kernel's order.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/io_seam.h"
#include "win32/device_provider.h"
#include "win32/handle_table.h"

namespace qwin32 {
namespace {

constexpr DWORD kInterfaceActive = 0x1;

qk::Guid toKernel(const GUID& g) {
    qk::Guid k{g.Data1, g.Data2, g.Data3, {}};
    std::memcpy(k.data4, g.Data4, sizeof k.data4);
    return k;
}

bool sameGuid(const GUID& a, const GUID& b) { return toKernel(a) == toKernel(b); }

class DeviceInfoSet final : public KernelObject {
public:
    DeviceInfoSet(const GUID& interfaceClass, std::vector<std::string> paths)
        : interfaceClass(interfaceClass), paths(std::move(paths)) {}
    bool closedByCloseHandle() const override { return false; }
    const GUID interfaceClass;
    const std::vector<std::string> paths;
};

}  // namespace
}  // namespace qwin32

using namespace qwin32;

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR, HANDLE, DWORD flags) {
    if (!classGuid || !(flags & DIGCF_DEVICEINTERFACE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Only present devices have interfaces in the kernel's list, with or without DIGCF_PRESENT.
    std::vector<std::string> paths = qk::ioSeam().interfaces(toKernel(*classGuid));
    for (DeviceProvider* provider : deviceProviders()) {
        auto served = provider->interfaces(*classGuid);
        paths.insert(paths.end(), served.begin(), served.end());
    }
    auto set = std::make_shared<DeviceInfoSet>(*classGuid, std::move(paths));
    SetLastError(ERROR_SUCCESS);
    return addHandle(std::move(set));
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA*, const GUID* interfaceClass, DWORD memberIndex,
                                 SP_DEVICE_INTERFACE_DATA* data) {
    const auto info = findHandleAs<DeviceInfoSet>(set);
    if (!info) return failWith(ERROR_INVALID_HANDLE);
    if (!interfaceClass || !data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return failWith(ERROR_INVALID_PARAMETER);
    }
    if (!sameGuid(*interfaceClass, info->interfaceClass) || memberIndex >= info->paths.size()) {
        return failWith(ERROR_NO_MORE_ITEMS);
    }
    data->InterfaceClassGuid = info->interfaceClass;
    data->Flags = kInterfaceActive;
    data->Reserved = ULONG_PTR{memberIndex} + 1;  // names the member for the detail query; 0 is no member
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                      LPDWORD requiredSize, SP_DEVINFO_DATA*) {
    const auto info = findHandleAs<DeviceInfoSet>(set);
    if (!info) return failWith(ERROR_INVALID_HANDLE);
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > info->paths.size() || (!detail && detailSize)) {
        return failWith(ERROR_INVALID_PARAMETER);
    }
    const std::string& path = info->paths[data->Reserved - 1];
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (detail && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return failWith(ERROR_INVALID_PARAMETER);
    if (!detail || detailSize < needed) return failWith(ERROR_INSUFFICIENT_BUFFER);
    // The caller's buffer runs past the declared one-character DevicePath.
    std::memcpy(reinterpret_cast<char*>(detail) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath),
                path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    return removeHandleAs<DeviceInfoSet>(set) ? TRUE : failWith(ERROR_INVALID_HANDLE);
}
