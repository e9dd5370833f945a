// Bus arbitrator commands, with the state guards of START_BA and STOP_BA.
#include "board_commands.h"
#include "card_operation.h"
#include "corvix.h"

using namespace corvix;

namespace {

// BaState: the low nibble of the BA report byte.
constexpr std::uint8_t kBaStopped = 9;
constexpr std::uint8_t kBaStarting = 10;

ErrorCode readBaState(BoardDevice& device, std::uint8_t& state) {
    std::uint8_t report = 0;
    const ErrorCode code = board::baReport(device, report);
    if (code == kSuccess) state = report & 0x0F;
    return code;
}

}  // namespace

extern "C" {

CORVIX_API std::uint32_t BA_REPORT(std::uint8_t* state) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!state) return kPlatformInvalidParameter;
    return readBaState(*context->device, *state);
}

CORVIX_API std::uint32_t START_BA(std::uint16_t page) {
    EngineContext* context = currentContext();
    if (!context || context->baMemorySize() == 0) return kErrNoBaMemory;
    if (!context->device) return kErrNoBoard;
    std::uint8_t state = 0;
    if (const ErrorCode code = readBaState(*context->device, state); code != kSuccess) return code;
    if (state != kBaStopped) return kErrBaNotStopped;
    return board::startBa(*context->device, page);
}

CORVIX_API std::uint32_t STOP_BA() {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    std::uint8_t state = 0;
    if (const ErrorCode code = readBaState(*context->device, state); code != kSuccess) return code;
    if (state == kBaStopped || state == kBaStarting) return kErrBaStoppedOrStarting;
    return board::stopBa(*context->device);
}

CORVIX_API std::uint32_t CONTINUE_BA(std::uint8_t flag, std::uint16_t wordAddress) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    return board::continueBa(*context->device, static_cast<std::uint16_t>((wordAddress & 0xFFF0) | (flag ? 1 : 0)));
}

CORVIX_API std::uint32_t CHANGE_BA(std::uint16_t wordAddress) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    return board::changeMacroBa(*context->device, static_cast<std::uint16_t>(wordAddress & 0xFFF0));
}

}  // extern "C"
