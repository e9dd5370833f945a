// Variables, events and aperiodic requests of the running board.
#include <algorithm>
#include <cstring>

#include "board_commands.h"
#include "card_operation.h"
#include "config_tables.h"
#include "corvix.h"

using namespace corvix;

namespace {
constexpr std::uint8_t kEventSent = 1;
constexpr std::uint8_t kEventReceived = 2;
}  // namespace

extern "C" {

CORVIX_API std::uint32_t FIP_READ_VAR(std::uint16_t index, std::uint8_t* data, std::uint8_t* status) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!data || !status) return kPlatformInvalidParameter;
    board::VarValue value;
    if (const ErrorCode code = board::readVar(*context->device, index, value); code != kSuccess) return code;
    std::copy_n(value.data.begin(), value.size, data);
    // The promptness bit is meaningful only for a variable configured with a promptness status.
    const auto variable = variableAt(*context, index);
    *status = variable && variable->promptness_status == 1 ? static_cast<std::uint8_t>(0x80 | (value.status & 0x20)) : 0;
    return kSuccess;
}

CORVIX_API std::uint32_t FIP_WRITE_VAR(std::uint16_t index, const std::uint8_t* data) {
    const EngineContext* context = currentContext();
    const auto variable = context ? variableAt(*context, index) : std::nullopt;
    if (!variable) return kPlatformInvalidParameter;
    if (!context->device) return kErrNoBoard;
    if (!data) return kPlatformInvalidParameter;
    const std::size_t length = std::min<std::size_t>(variable->length, fdb::kVarDataBytes);
    return board::writeVar(*context->device, index, std::span(data, length));
}

CORVIX_API std::uint32_t DEF_VAR_EVENT(std::uint8_t on, std::uint8_t kind, std::uint8_t parameter,
                                       std::uint16_t index) {
    if (kind != kEventSent && kind != kEventReceived) return kErrEventKind;
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    const auto flags = static_cast<std::uint8_t>((kind & 3) | (on == 1 ? 0x80 : 0));
    return board::defEvt(*context->device, parameter, flags, index);
}

// The outputs are written also when the board refuses, from an answer that starts zeroed.
CORVIX_API std::uint32_t READ_EVENT(std::uint8_t* flag, std::uint8_t* value, std::uint8_t* kind,
                                    std::uint8_t* parameter, std::uint16_t* identifier) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!flag || !value || !kind || !parameter || !identifier) return kPlatformInvalidParameter;
    board::EventRecord record;
    const ErrorCode code = board::readEvt(*context->device, record);
    if (code != kSuccess && !isCardError(code)) return code;
    *flag = record.event >> 7;
    *value = record.event & 0x1C;
    *kind = record.event & 0x03;
    *parameter = record.parameter;
    *identifier = record.identifier;
    return code;
}

CORVIX_API std::uint32_t IS_EVENT(std::uint32_t* pending) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!pending) return kPlatformInvalidParameter;
    std::uint8_t state = 0;
    if (const ErrorCode code = board::isEvt(*context->device, state); code != kSuccess) return code;
    *pending = (state >> 5) & 1u;
    return kSuccess;
}

CORVIX_API std::uint32_t SEND_APER(std::uint8_t kind, std::uint16_t index) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    return board::sendAper(*context->device, index, kind);
}

}  // extern "C"
