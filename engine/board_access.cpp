#include "board_access.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "board_commands.h"
#include "fdb_ioctl.h"
#include "kernel/io_seam.h"
#include "win32/windows.h"

namespace corvix {
namespace {

constexpr std::size_t kBoardsPerType = 9;
constexpr std::int32_t kUsbTransportBulk = 1;
constexpr DWORD kMaxDevicePath = 259;

struct DriverKey {
    BoardType type;
    const char* parameters;  // under HKEY_LOCAL_MACHINE
};
// Listed in this order: PCI first, then PC104.
constexpr DriverKey kDriverKeys[] = {
    {kBoardPci, "SYSTEM\\CurrentControlSet\\Services\\ambrix\\Parameters"},
    {kBoardPc104, "SYSTEM\\CurrentControlSet\\Services\\osprix\\Parameters"},
};

constexpr GUID kPc104Interface{fdb::kPc104InterfaceClass.data1, fdb::kPc104InterfaceClass.data2,
                               fdb::kPc104InterfaceClass.data3,
                               {fdb::kPc104InterfaceClass.data4[0], fdb::kPc104InterfaceClass.data4[1],
                                fdb::kPc104InterfaceClass.data4[2], fdb::kPc104InterfaceClass.data4[3],
                                fdb::kPc104InterfaceClass.data4[4], fdb::kPc104InterfaceClass.data4[5],
                                fdb::kPc104InterfaceClass.data4[6], fdb::kPc104InterfaceClass.data4[7]}};

// What one driver reports under its Parameters key; missing keys and values count as no boards.
struct DriverBoards {
    std::uint16_t activeCount = 0;
    std::array<std::uint8_t, kBoardsPerType> active{};
    std::array<std::uint8_t, kBoardsPerType> used{};
};

void readFlags(HKEY key, const char* name, std::array<std::uint8_t, kBoardsPerType>& flags) {
    DWORD size = kBoardsPerType;
    if (RegQueryValueExA(key, name, nullptr, nullptr, flags.data(), &size) != ERROR_SUCCESS) flags.fill(0);
}

DriverBoards readDriverBoards(const DriverKey& driver) {
    DriverBoards boards;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, driver.parameters, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return boards;
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegQueryValueExA(key, "Active_Cards", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) ==
            ERROR_SUCCESS &&
        size == sizeof count)
        boards.activeCount = static_cast<std::uint16_t>(count);
    readFlags(key, "Active_Index", boards.active);
    readFlags(key, "Used_Index", boards.used);
    RegCloseKey(key);
    return boards;
}

// The device path of PC104 board `number`: its device interface at member index number - 1.
// Empty when there is none or its path is longer than the platform's limit.
std::string pc104Path(std::uint16_t number) {
    const HDEVINFO set = SetupDiGetClassDevsA(&kPc104Interface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return {};
    std::string path;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    DWORD required = 0;
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &kPc104Interface, static_cast<DWORD>(number) - 1, &data)) {
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
        const DWORD pathCapacity = required > sizeof(DWORD) ? required - sizeof(DWORD) : 0;
        if (pathCapacity > 0 && pathCapacity <= kMaxDevicePath + 1) {
            std::vector<std::uint8_t> buffer(required + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr) &&
                strnlen(detail->DevicePath, kMaxDevicePath + 1) <= kMaxDevicePath)
                path = detail->DevicePath;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return path;
}

std::string pciPath(std::uint16_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\AMBRIX%i", static_cast<int>(number));
    return name;
}

HANDLE openPc104(std::uint16_t number) {
    const std::string path = pc104Path(number);
    if (path.empty()) return INVALID_HANDLE_VALUE;
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

HANDLE openPci(std::uint16_t number) {
    return CreateFileA(pciPath(number).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// The drivers run in every process of the machine and each publishes the boards open in its own
// process; a board that another process holds open is used as well.
bool openElsewhere(BoardType type, std::uint16_t number) {
    const std::string path = type == kBoardPc104 ? pc104Path(number) : pciPath(number);
    return !path.empty() && qk::ioSeam().openElsewhere(path);
}

}  // namespace

BoardDevicePtr openBoard(std::uint32_t type, std::uint16_t number) {
    if (type == kBoardUsb) {
        CDavAzuv* usb = create_usb_board(kUsbTransportBulk);
        if (!usb) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (number == 0 || usb_board_open(usb, static_cast<std::uint32_t>(number) - 1) != 0) {
            delete_usb_board(usb);
            SetLastError(ERROR_DEVICE_NOT_CONNECTED);
            return nullptr;
        }
        return std::make_shared<BoardDevice>(usb);
    }
    const HANDLE handle = type == kBoardPc104 ? openPc104(number) : openPci(number);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return nullptr;
    return std::make_shared<BoardDevice>(handle);
}

QueryDevice::QueryDevice(std::uint32_t type, std::uint16_t number) {
    const EngineContext* context = currentContext();
    if (context && context->device && context->boardType == type && context->boardNumber == number) {
        device_ = context->device;
        return;
    }
    device_ = openBoard(type, number);
    temporary_ = device_ != nullptr;
}

QueryDevice::~QueryDevice() {
    if (temporary_) device_->close();
}

std::vector<ActiveDeviceInfo> activeDevices(bool otherProcesses) {
    std::vector<ActiveDeviceInfo> list;
    auto append = [&](BoardType type, const auto& active, const auto& used) {
        for (std::size_t i = 0; i < kBoardsPerType; ++i)
            if (active[i]) list.push_back({type, static_cast<std::uint16_t>(i + 1), 0, used[i] != 0 ? 1u : 0u});
    };
    for (const DriverKey& driver : kDriverKeys) {
        DriverBoards boards = readDriverBoards(driver);
        for (std::size_t i = 0; i < kBoardsPerType; ++i) {
            const auto number = static_cast<std::uint16_t>(i + 1);
            if (otherProcesses && boards.active[i] && !boards.used[i] && openElsewhere(driver.type, number))
                boards.used[i] = 1;
        }
        append(driver.type, boards.active, boards.used);
    }
    const UsbBoardFlags usb = usb_board_flags();
    append(kBoardUsb, usb.active, usb.used);
    return list;
}

std::uint32_t detectVariant(const EngineContext& context, std::uint32_t current) {
    if (!context.device) return 0;
    if (context.boardType == kBoardUsb) return 1;
    std::uint32_t cardType = 0;
    if (board::getCardType(*context.device, cardType) != kSuccess || cardType > 1) cardType = 0;
    if (cardType == 0) return 1;
    std::uint32_t word = 0;
    if (board::getCardConf(*context.device, word) != kSuccess) return current;
    switch (word & 0x30000u) {
        case 0x10000u: return 2;
        case 0x20000u: return 1;
        default: return 0;
    }
}

}  // namespace corvix

extern "C" {

CORVIX_API std::uint32_t GetActiveDevicesCount(std::uint16_t* count) {
    if (!count) return corvix::kPlatformInvalidParameter;
    std::uint16_t total = 0;
    for (const corvix::DriverKey& driver : corvix::kDriverKeys)
        total = static_cast<std::uint16_t>(total + corvix::readDriverBoards(driver).activeCount);
    total = static_cast<std::uint16_t>(total + usb_board_flags().count);
    *count = total;
    return corvix::kSuccess;
}

CORVIX_API std::uint32_t GetActiveDevicesInfo(std::uint16_t count, ActiveDeviceInfo* records) {
    if (count == 0) return corvix::kSuccess;
    if (!records) return corvix::kPlatformInvalidParameter;
    std::memset(records, 0, sizeof(ActiveDeviceInfo) * count);
    const auto list = corvix::activeDevices();
    std::copy_n(list.begin(), std::min<std::size_t>(count, list.size()), records);
    return corvix::kSuccess;
}

}  // extern "C"
