// Medium control per board variant, the start of communication, and card memory pages.
//
// The medium error counters live in card memory: page 3 words 2 and 3 for both variants, page 129
// words 3 to 5 for the single-medium PC104 board. MEDIUM_CONTROL 1 takes their current values as
// references; every later command reports which counters moved since.
#include <array>

#include "board_commands.h"
#include "card_operation.h"
#include "corvix.h"

using namespace corvix;

namespace {

constexpr std::uint8_t kMediumStatusOnly = 0;
constexpr std::uint8_t kMediumClearErrors = 1;
constexpr std::uint8_t kMediumReset1 = 2;
constexpr std::uint8_t kMediumReset2 = 3;
constexpr std::uint8_t kMediumBoth = 6;
constexpr std::uint8_t kLastMediumCommand = 7;

constexpr std::uint16_t kCounterPage = 3;
constexpr std::uint16_t kSingleMediumCounterPage = 129;

constexpr std::uint8_t kParamDualMedium = 7;    // IOCTL_FDB_DEF_PARAM for variant 1
constexpr std::uint8_t kParamSingleMedium = 5;  // for variant 2

struct CardPage {
    std::array<std::uint8_t, fdb::kPageBytes> bytes{};
    // Words are stored most significant byte first.
    std::uint16_t word(std::size_t i) const { return static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]); }
};

std::uint8_t flagIf(bool condition, int bit) { return condition ? static_cast<std::uint8_t>(1u << bit) : 0; }

// Single-medium PC104 board: the status comes from the counters alone.
ErrorCode singleMediumStatus(EngineContext& context, std::uint8_t command, std::uint8_t& status) {
    if (command != kMediumStatusOnly && command != kMediumClearErrors) return kErrMediumNotAllowed;
    CardPage counters;
    if (const ErrorCode code = board::readPage(*context.device, kCounterPage, counters.bytes); code != kSuccess)
        return code;
    std::uint8_t result = 0x01;
    if (command == kMediumClearErrors) context.mediumRefA = counters.word(2);
    result |= flagIf(counters.word(2) != context.mediumRefA, 6);
    CardPage more;
    if (const ErrorCode code = board::readPage(*context.device, kSingleMediumCounterPage, more.bytes); code != kSuccess)
        return code;
    if (command == kMediumClearErrors) {
        context.mediumRefC = more.word(3);
        context.mediumRefD = more.word(4);
        context.mediumRefE = more.word(5);
    }
    result |= flagIf(more.word(3) != context.mediumRefC || more.word(4) != context.mediumRefD ||
                         more.word(5) != context.mediumRefE,
                     2);
    status = result;
    return kSuccess;
}

// PCI, USB and dual-medium PC104 boards: the medium register, plus the counter-change flags.
ErrorCode dualMediumStatus(EngineContext& context, std::uint8_t command, std::uint8_t& status) {
    std::uint8_t registerByte = 0;
    if (const ErrorCode code = board::mediumAccess(*context.device, command, registerByte); code != kSuccess)
        return code;
    CardPage counters;
    if (const ErrorCode code = board::readPage(*context.device, kCounterPage, counters.bytes); code != kSuccess)
        return code;
    if (command == kMediumClearErrors) {
        context.mediumRefA = counters.word(2);
        context.mediumRefB = counters.word(3);
    }
    status = static_cast<std::uint8_t>((registerByte & 0x3F) | flagIf(counters.word(2) != context.mediumRefA, 6) |
                                       flagIf(counters.word(3) != context.mediumRefB, 7));
    return kSuccess;
}

ErrorCode mediumControl(EngineContext* context, std::uint8_t command, std::uint8_t& status) {
    if (command > kLastMediumCommand) return kErrMediumCommand;
    if (!context || context->boardVariant == 0 || !context->device) return kErrUnknownVariant;
    return context->boardVariant == 2 ? singleMediumStatus(*context, command, status)
                                      : dualMediumStatus(*context, command, status);
}

// FIP_READ_PHY and FIP_WRITE_PHY report through the platform's last error.
std::uint32_t pageResult(ErrorCode code) {
    if (code == kSuccess) return 1;
    SetLastError(code);
    return 0;
}

}  // namespace

extern "C" {

CORVIX_API std::uint32_t MEDIUM_CONTROL(std::uint8_t command, std::uint8_t* status) {
    if (!status) return kPlatformInvalidParameter;
    return mediumControl(currentContext(), command, *status);
}

CORVIX_API std::uint32_t START_COMMUNICATION() {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (const ErrorCode code = board::reset(*context->device); code != kSuccess) return code;
    std::uint8_t ignored = 0;
    switch (context->boardVariant) {
        case 1:
            for (const std::uint8_t command : {kMediumReset1, kMediumReset2, kMediumBoth})
                mediumControl(context, command, ignored);
            break;
        case 2:
            break;
        default:
            return kErrUnknownVariant;
    }
    mediumControl(context, kMediumClearErrors, ignored);  // takes the counter references
    if (const ErrorCode code = board::startCircuit(*context->device); code != kSuccess) return code;
    if (const ErrorCode code = board::endTest(*context->device); code != kSuccess) return code;
    return board::defParam(*context->device, context->boardVariant == 1 ? kParamDualMedium : kParamSingleMedium);
}

CORVIX_API std::uint32_t FIP_READ_PHY(std::uint16_t page, std::uint8_t* buffer) {
    EngineContext* context = boardContext();
    if (!context) return pageResult(kErrNoBoard);
    if (!buffer) return pageResult(kPlatformInvalidParameter);
    std::array<std::uint8_t, fdb::kPageBytes> bytes{};
    const ErrorCode code = board::readPage(*context->device, page, bytes);
    if (code == kSuccess) std::copy(bytes.begin(), bytes.end(), buffer);
    return pageResult(code);
}

CORVIX_API std::uint32_t FIP_WRITE_PHY(std::uint16_t page, const std::uint8_t* buffer) {
    EngineContext* context = boardContext();
    if (!context) return pageResult(kErrNoBoard);
    if (!buffer) return pageResult(kPlatformInvalidParameter);
    return pageResult(board::writePage(*context->device, page, board::ConstPage(buffer, fdb::kPageBytes)));
}

}  // extern "C"
