// Start and stop of the engine on a board, the sharing of a started context with another thread,
// and the system-sleep rule.
#include <cstring>
#include <utility>

#include "board_access.h"
#include "board_commands.h"
#include "card_operation.h"
#include "context.h"
#include "corvix.h"
#include "driver_version.h"
#include "engine_errors.h"
#include "win32/windows.h"

namespace corvix {
namespace {

constexpr int kReleaseTries = 200;
constexpr DWORD kReleaseWaitMs = 100;

ErrorCode lastPlatformError() { return mapPlatformError(GetLastError()); }

ErrorCode checkPlatform() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return lastPlatformError();
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion <= 4) return kErrPlatformNotSupported;
    return kSuccess;
}

// The mark of this process's driver: a PC104 board that another process also holds open (its
// device admits several handles) is released here all the same.
bool boardReleased(std::uint32_t type, std::uint16_t number) {
    for (const ActiveDeviceInfo& record : activeDevices(false))
        if (record.boardType == type && record.boardNumber == number && record.used == 0) return true;
    return false;
}

// The driver clears the used mark when the board's last handle closes.
void waitForRelease(std::uint32_t type, std::uint16_t number) {
    for (int attempt = 0; attempt < kReleaseTries; ++attempt) {
        if (boardReleased(type, number)) return;
        Sleep(kReleaseWaitMs);
    }
}

// The USB board's firmware version (two bytes): a second byte above 1 is a firmware that this
// engine does not speak to. A board that cannot be opened or read here is let through: the open
// that follows reports it.
bool usbFirmwareCompatible(std::uint16_t number) {
    QueryDevice device(kBoardUsb, number);
    if (!device.get()) return true;
    std::vector<std::uint8_t> version;
    return board::readFirmwareVersion(*device.get(), version) != kSuccess || version.size() < 2 || version[1] <= 1;
}

}  // namespace
}  // namespace corvix

using namespace corvix;

extern "C" {

CORVIX_API std::uint32_t START_FIP_ENGINE(std::uint16_t boardNumber, std::uint32_t boardType) {
    EngineContext* context = currentContext();
    if (!context) return lastPlatformError();
    if (const ErrorCode code = checkPlatform(); code != kSuccess) return code;
    if (boardType == kBoardUsb && !usbFirmwareCompatible(boardNumber)) return kErrUsbFirmware;
    setCardPageLimit(kDefaultCardPageLimit);
    if (boardType != kBoardUsb && !driverVersionSufficient(boardType)) return kErrDriverVersion;
    // The new board is opened before the thread's board is let go, so that a failed start keeps the
    // board it had. The thread's own board opens only once (the PCI handle is exclusive): starting
    // again on the board the thread holds keeps its open device.
    BoardDevicePtr device = openBoard(boardType, boardNumber);
    if (!device) {
        const bool holdsIt = context->device && context->device->isOpen() && context->boardType == boardType &&
                             context->boardNumber == boardNumber;
        if (!holdsIt) return kErrBoardNotOpened;
        device = context->device;
    }
    EngineContext probe;
    probe.device = device;
    probe.boardNumber = boardNumber;
    probe.boardType = static_cast<BoardType>(boardType);
    const std::uint32_t variant = detectVariant(probe, 0);
    // The board it replaces is closed when no other context shares it, after the lock is released.
    BoardDevicePtr replaced;
    {
        const auto lock = lockContexts();
        replaced = std::exchange(context->device, std::move(device));
        context->boardNumber = boardNumber;
        context->boardType = static_cast<BoardType>(boardType);
        context->boardVariant = variant;
    }
    replaced.reset();
    setLastStartedContext(currentContextShared());
    SystemAutomaticSleepManagement(true);
    return kSuccess;
}

CORVIX_API std::uint32_t STOP_FIP_ENGINE() {
    EngineContext* context = currentContext();
    if (!context) return lastPlatformError();
    const std::uint16_t number = context->boardNumber;
    const std::uint32_t type = context->boardType;
    const bool hadBoard = context->device != nullptr;

    ErrorCode result = kSuccess;
    if (hadBoard) {
        result = board::reset(*context->device);
    } else {
        result = ERROR_INVALID_HANDLE;  // nothing to reset: the request has no device
    }
    SetThreadExecutionState(ES_CONTINUOUS);
    if (!CloseDriver() && result == kSuccess) result = kErrBoardNotClosed;
    // Releasing this context's references frees the blocks unless a copy still holds them.
    resetContext(*context);
    // Without a board there is no used mark to wait for.
    if (hadBoard && type != kBoardUsb) waitForRelease(type, number);
    return result;
}

CORVIX_API std::uint32_t INIT_STORAGE() {
    EngineContext* context = currentContext();
    if (!context) return lastPlatformError();
    const EngineContextPtr started = lastStartedContext();
    if (!started) return kErrNoEngineStarted;
    if (started.get() == context) return kSuccess;
    const auto lock = lockContexts();
    // A started context whose board was closed (by a stop on a thread that shares it) is a stopped
    // engine: it is copied as the empty context that a stop on the starting thread leaves.
    static const EngineContext kStopped{};
    const bool stopped = started->device && !started->device->isOpen();
    const EngineContext& from = stopped ? kStopped : *started;
    context->device = from.device;
    context->boardNumber = from.boardNumber;
    context->boardType = from.boardType;
    context->boardVariant = from.boardVariant;
    context->configHeader = from.configHeader;
    context->baFilePath = from.baFilePath;
    context->baMacros1 = from.baMacros1;
    context->baMacros2 = from.baMacros2;
    context->messageTable = from.messageTable;
    context->variableTable = from.variableTable;
    context->baProgram1Page = from.baProgram1Page;
    context->baProgram2Page = from.baProgram2Page;
    context->variableCount = from.variableCount;
    context->messageCount = from.messageCount;
    context->messageKeyOffset = from.messageKeyOffset;
    context->baFromFile = from.baFromFile;
    context->mediumRefA = from.mediumRefA;
    context->mediumRefB = from.mediumRefB;
    return kSuccess;
}

CORVIX_API std::uint32_t GET_BA_PROGRAM_ADDR(std::int16_t* program1Address, std::int16_t* program2Address) {
    const EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (program1Address) *program1Address = static_cast<std::int16_t>(context->baProgram1Page * 64);
    if (program2Address) *program2Address = static_cast<std::int16_t>(context->baProgram2Page * 64);
    return kSuccess;
}

}  // extern "C"

CORVIX_API void SystemAutomaticSleepManagement(bool prevent) {
    if (!prevent) {
        SetThreadExecutionState(ES_CONTINUOUS);
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Corvix", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD size = sizeof value;
        const LSTATUS status =
            RegQueryValueExA(key, "DoNotPreventSystemSleep", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS && size == sizeof value && value != 0) return;
    }
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}
