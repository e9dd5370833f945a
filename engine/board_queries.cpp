// The board queries: they work on any board, through QueryDevice, and on the thread's own board
// for CloseDriver and FIP_GET_SLOT.
#include "board_access.h"
#include "board_commands.h"
#include "card_operation.h"
#include "context.h"
#include "corvix.h"
#include "engine_errors.h"

namespace corvix {
namespace {

constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
constexpr std::uint32_t kLedCount = 8;  // bits of the LED mask

using U32Query = ErrorCode (*)(BoardDevice&, std::uint32_t&);

std::uint32_t queryWord(std::uint32_t type, std::uint16_t number, U32Query query, std::uint32_t failure) {
    QueryDevice device(type, number);
    std::uint32_t value = 0;
    if (!device.get() || query(*device.get(), value) != kSuccess) return failure;
    return value;
}

}  // namespace
}  // namespace corvix

using namespace corvix;

extern "C" {

CORVIX_API std::uint32_t GetCardrixSerialNumber(std::uint32_t boardType, std::uint16_t boardNumber) {
    return queryWord(boardType, boardNumber, board::getSerialNumber, 0);
}

CORVIX_API std::uint32_t GetCardrixInfo(std::uint32_t boardType, std::uint16_t boardNumber) {
    return queryWord(boardType, boardNumber, board::getCardConf, 0);
}

CORVIX_API std::uint32_t GetPCISlot(std::uint16_t boardNumber) {
    return queryWord(kBoardPci, boardNumber, board::getPciSlot, kNoSlot);
}

CORVIX_API std::uint32_t GetPC104PhysicalAddress(std::uint16_t boardNumber) {
    return queryWord(kBoardPc104, boardNumber, board::getPc104BaseAddress, kNoSlot);
}

// LED numbers beyond the mask's eight bits are refused without touching the board.
CORVIX_API std::uint32_t GetLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led,
                                     std::uint32_t* on) {
    if (!on || led >= kLedCount) return kPlatformInvalidParameter;
    QueryDevice device(boardType, boardNumber);
    if (!device.get()) return kErrBoardNotOpened;
    std::uint8_t mask = 0;
    const ErrorCode code = board::getLedsState(*device.get(), mask);
    if (code != kSuccess) return code;
    *on = (mask >> led) & 1u;
    return kSuccess;
}

CORVIX_API std::uint32_t SetLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led,
                                     std::uint32_t on) {
    if (led >= kLedCount) return kPlatformInvalidParameter;
    QueryDevice device(boardType, boardNumber);
    if (!device.get()) return kErrBoardNotOpened;
    std::uint8_t mask = 0;
    ErrorCode code = board::getLedsState(*device.get(), mask);
    if (code != kSuccess) return code;
    const auto bit = static_cast<std::uint8_t>(1u << led);
    return board::setLedsState(*device.get(), static_cast<std::uint8_t>(on ? mask | bit : mask & ~bit));
}

// The RGB LED is a USB board's; other boards have none and answer success untouched.
CORVIX_API std::uint32_t GetRgbLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint8_t* colour) {
    if (boardType != kBoardUsb) return kSuccess;
    if (!colour) return kPlatformInvalidParameter;
    QueryDevice device(boardType, boardNumber);
    if (!device.get()) return kErrBoardNotOpened;
    return board::getRgbLed(*device.get(), *colour);
}

CORVIX_API std::uint32_t SetRgbLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint8_t colour) {
    if (boardType != kBoardUsb) return kSuccess;
    QueryDevice device(boardType, boardNumber);
    if (!device.get()) return kErrBoardNotOpened;
    return board::setRgbLed(*device.get(), colour);
}

CORVIX_API std::uint32_t FIP_GET_SLOT(std::uint32_t* slot) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!slot) return kPlatformInvalidParameter;
    return board::getPciSlot(*context->device, *slot);
}

}  // extern "C"

CORVIX_API int CloseDriver() {
    EngineContext* context = currentContext();
    if (!context || !context->device) return 0;
    return context->device->close() ? 1 : 0;
}
