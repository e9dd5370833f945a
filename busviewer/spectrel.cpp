// The bus viewer library's exports: each checks its slot, relays its engine call to the slot's
// worker and adds the result's text. The lookups give 0 where the others give a code.
#include "spectrel.h"

#include <cstring>
#include <new>
#include <vector>

#include "faultra.h"
#include "spectrel_app.h"

using namespace spectrel;

namespace {

constexpr ErrorCode kErrEventKind = 0x30000014;
constexpr ErrorCode kErrMessageTooLong = 0x60000007;
constexpr std::uint16_t kLongestMessage = 252;
constexpr std::uint8_t kEventSent = 1;
constexpr std::uint8_t kEventReceived = 2;
constexpr std::uint8_t kBaReportValid = 0x08;
constexpr DWORD kBaSettleMs = 200;

CSpectrelApp& app() { return CSpectrelApp::instance(); }

// The text is fetched after the relay lock is released: the relays return before this runs.
ErrorCode withText(ErrorCode result, char* text, std::uint32_t size, std::uint32_t* needed) {
    if (text) ERROR_MESSAGE(static_cast<std::int32_t>(result), text, size, needed);
    return result;
}

template <class Call>
ErrorCode relayed(std::int32_t slot, RelayCommand command, Call&& call) {
    if (!app().isReady(slot)) return kErrNotStarted;
    return app().relay(slot, command, call).value_or(kErrNotStarted);
}

template <class Call>
ErrorCode relayedWithText(std::int32_t slot, RelayCommand command, char* text, std::uint32_t size,
                          std::uint32_t* needed, Call&& call) {
    return withText(relayed(slot, command, call), text, size, needed);
}

// The lookups: 0 ("not found") for a slot that is not ready.
template <class Call>
std::uint32_t lookup(std::int32_t slot, RelayCommand command, Call&& call) {
    if (!app().isReady(slot)) return 0;
    return app().relay(slot, command, call).value_or(0);
}

// On the worker while the board's slot is started (it holds the board), else on this thread.
template <class Call>
ErrorCode ledCall(std::uint32_t boardType, std::uint16_t boardNumber, RelayCommand command, Call&& call) {
    const int slot = slotOf(boardNumber, boardType);
    if (slot >= 0 && app().isReady(slot))
        if (const auto result = app().relay(slot, command, call)) return *result;
    return call();
}

// BA_REPORT's byte as a state: 0 no report, else the report's state + 1 (2: stopped).
constexpr int baState(std::uint8_t report) { return (report & kBaReportValid) ? (report & 7) + 1 : 0; }

}  // namespace

extern "C" {

SPECTREL_API std::uint32_t SPX_START_FIP_ENGINE(std::uint16_t boardNumber, std::uint32_t boardType,
                                                std::int32_t* slot, char* text, std::uint32_t size,
                                                std::uint32_t* needed) {
    const int index = slotOf(boardNumber, boardType);
    if (index < 0) return withText(kErrBoardOutOfRange, text, size, needed);
    if (slot) *slot = index;
    // On the worker: the board number and type of the slot.
    const ErrorCode result =
        app().start(index, [index] { return START_FIP_ENGINE(boardNumberOf(index), boardTypeOf(index)); });
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_STOP_FIP_ENGINE(std::int32_t slot, char* text, std::uint32_t size,
                                               std::uint32_t* needed) {
    ErrorCode result = kErrNotStarted;
    if (app().isReady(slot)) result = app().stop(slot, [] { return STOP_FIP_ENGINE(); }).value_or(kErrNotStarted);
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_RESET(std::int32_t slot, char* text, std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::StartCommunication, text, size, needed,
                           [] { return START_COMMUNICATION(); });
}

SPECTREL_API std::uint32_t SPX_DOWNLOAD_CNF(std::int32_t slot, const char* path, char* text, std::uint32_t size,
                                            std::uint32_t* needed) {
    ErrorCode result = relayed(slot, RelayCommand::DownloadCnf, [path] { return DOWNLOAD_CNF(path); });
    if (result == 0) result = relayed(slot, RelayCommand::StartCommunication, [] { return START_COMMUNICATION(); });
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_MEDIUM_CONTROL(std::int32_t slot, std::uint8_t command, std::uint8_t* status,
                                              char* text, std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::MediumControl, text, size, needed,
                           [=] { return MEDIUM_CONTROL(command, status); });
}

SPECTREL_API std::uint32_t SPX_BA_PROG(std::int32_t slot, const char* path, char* text, std::uint32_t size,
                                       std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::BaProg, text, size, needed, [path] { return BA_PROG(path); });
}

// Starts the arbitrator and, when after 200 ms it has no state or is stopped, starts it once more.
SPECTREL_API std::uint32_t SPX_START_BA(std::int32_t slot, std::uint16_t page, char* text, std::uint32_t size,
                                        std::uint32_t* needed) {
    const auto startBa = [page] { return START_BA(page); };
    ErrorCode result = relayed(slot, RelayCommand::StartBa, startBa);
    if (result != 0) return withText(result, text, size, needed);
    Sleep(kBaSettleMs);
    std::uint8_t report = 0;
    result = relayed(slot, RelayCommand::BaReport, [&report] { return BA_REPORT(&report); });
    const int state = baState(report);
    if (result == 0 && (state == 0 || state == 2)) {
        result = relayed(slot, RelayCommand::StartBa, startBa);
        Sleep(kBaSettleMs);
    }
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_STOP_BA(std::int32_t slot, char* text, std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::StopBa, text, size, needed, [] { return STOP_BA(); });
}

SPECTREL_API std::uint32_t SPX_BA_REPORT(std::int32_t slot, std::uint8_t* state, char* text, std::uint32_t size,
                                         std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::BaReport, text, size, needed, [state] { return BA_REPORT(state); });
}

SPECTREL_API std::uint32_t SPX_CHANGE_BA(std::int32_t slot, std::uint16_t address, char* text, std::uint32_t size,
                                         std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::ChangeBa, text, size, needed,
                           [address] { return CHANGE_BA(address); });
}

SPECTREL_API std::uint32_t SPX_CONTINUE_BA(std::int32_t slot, std::uint8_t flag, std::uint16_t address, char* text,
                                           std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::ContinueBa, text, size, needed,
                           [=] { return CONTINUE_BA(flag, address); });
}

SPECTREL_API std::uint32_t SPX_GET_BA_PROGRAM_ADDR(std::int32_t slot, std::int16_t* program1Address,
                                                   std::int16_t* program2Address) {
    return relayed(slot, RelayCommand::GetBaProgramAddr,
                   [=] { return GET_BA_PROGRAM_ADDR(program1Address, program2Address); });
}

SPECTREL_API std::uint32_t SPX_FIP_READ_VAR(std::int32_t slot, std::uint16_t index, std::uint8_t* data,
                                            std::uint8_t* status, char* text, std::uint32_t size,
                                            std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::FipReadVar, text, size, needed,
                           [=] { return FIP_READ_VAR(index, data, status); });
}

SPECTREL_API std::uint32_t SPX_FIP_WRITE_VAR(std::int32_t slot, std::uint16_t index, const std::uint8_t* data,
                                             char* text, std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::FipWriteVar, text, size, needed,
                           [=] { return FIP_WRITE_VAR(index, data); });
}

SPECTREL_API std::uint32_t SPX_FIP_READ_MSG(std::int32_t slot, std::uint16_t receiveKey, void* reserved,
                                            std::uint16_t* length, std::uint16_t* destinationId,
                                            std::uint8_t* destinationSegment, std::uint16_t* sourceId,
                                            std::uint8_t* sourceSegment, std::uint8_t* data, char* text,
                                            std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::FipReadMsg, text, size, needed, [=] {
        return FIP_READ_MSG(receiveKey, reserved, length, destinationId, destinationSegment, sourceId,
                            sourceSegment, data);
    });
}

SPECTREL_API std::uint32_t SPX_FIP_WRITE_MSG(std::int32_t slot, std::uint16_t channel, std::uint16_t messageKey,
                                             std::uint8_t acknowledged, std::uint8_t channelByte,
                                             std::uint16_t length, std::uint16_t destinationId,
                                             std::uint8_t destinationSegment, std::uint16_t sourceId,
                                             std::uint8_t sourceSegment, const std::uint8_t* data, char* text,
                                             std::uint32_t size, std::uint32_t* needed) {
    // The slot is checked first, as by every export.
    ErrorCode result = kErrNotStarted;
    if (app().isReady(slot)) {
        result = length > kLongestMessage ? kErrMessageTooLong : relayed(slot, RelayCommand::FipWriteMsg, [=] {
            return FIP_WRITE_MSG(channel, messageKey, acknowledged, channelByte, length, destinationId,
                                 destinationSegment, sourceId, sourceSegment, data);
        });
    }
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_DEF_VAR_EVENT(std::int32_t slot, std::uint8_t on, std::uint8_t kind,
                                             std::uint8_t parameter, std::uint16_t index, char* text,
                                             std::uint32_t size, std::uint32_t* needed) {
    ErrorCode result = kErrNotStarted;
    if (app().isReady(slot)) {
        result = kind != kEventSent && kind != kEventReceived
                     ? kErrEventKind
                     : relayed(slot, RelayCommand::DefVarEvent, [=] { return DEF_VAR_EVENT(on, kind, parameter, index); });
    }
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_READ_EVENT(std::int32_t slot, std::uint8_t* flag, std::uint8_t* value,
                                          std::uint8_t* kind, std::uint8_t* parameter, std::uint16_t* identifier,
                                          char* text, std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::ReadEvent, text, size, needed,
                           [=] { return READ_EVENT(flag, value, kind, parameter, identifier); });
}

SPECTREL_API std::uint32_t SPX_IS_EVENT(std::int32_t slot, std::uint32_t* pending, char* text, std::uint32_t size,
                                        std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::IsEvent, text, size, needed, [pending] { return IS_EVENT(pending); });
}

SPECTREL_API std::uint32_t SPX_PURGE(std::int32_t slot, std::uint8_t channel, char* text, std::uint32_t size,
                                     std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::Purge, text, size, needed, [channel] { return PURGE(channel); });
}

SPECTREL_API std::uint32_t SPX_SEND_APER(std::int32_t slot, std::uint8_t kind, std::uint16_t index, char* text,
                                         std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::SendAper, text, size, needed,
                           [=] { return SEND_APER(kind, index); });
}

SPECTREL_API std::uint32_t SPX_GET_TRANSMISSION_QUEUE(std::int32_t slot, std::uint32_t mode,
                                                      TransmissionQueueRecord* records, std::uint32_t capacity,
                                                      std::uint32_t* count, char* text, std::uint32_t size,
                                                      std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::GetTransmissionQueue, text, size, needed,
                           [=] { return GET_TRANSMISSION_QUEUE(mode, records, capacity, count); });
}

SPECTREL_API std::uint32_t SPX_GETSLOTCARD(std::int32_t slot, std::uint32_t* slotValue, char* text,
                                           std::uint32_t size, std::uint32_t* needed) {
    return relayedWithText(slot, RelayCommand::FipGetSlot, text, size, needed,
                           [slotValue] { return FIP_GET_SLOT(slotValue); });
}

SPECTREL_API std::uint32_t SPX_FIND_VAR_BY_ID(std::int32_t slot, std::uint16_t identifier, std::int16_t* index,
                                              char* name, std::int16_t* length, std::uint8_t* flags) {
    return lookup(slot, RelayCommand::FindVarById,
                  [=] { return FIND_VAR_BY_ID(identifier, index, name, length, flags); });
}

// The worker fills the library's own outputs, which are then copied to the caller's.
SPECTREL_API std::uint32_t SPX_FIND_VAR_BY_NAME(std::int32_t slot, const char* name, std::int16_t* index,
                                                std::uint16_t* identifier, std::int16_t* length,
                                                std::uint8_t* flags) {
    if (!name) return 0;
    std::int16_t foundIndex = 0, foundLength = 0;
    std::uint16_t foundIdentifier = 0;
    std::uint8_t foundFlags = flags ? *flags : 0;
    const std::uint32_t found = lookup(slot, RelayCommand::FindVarByName, [&] {
        return FIND_VAR_BY_NAME(name, &foundIndex, &foundIdentifier, &foundLength, &foundFlags);
    });
    if (found) {
        if (index) *index = foundIndex;
        if (identifier) *identifier = foundIdentifier;
        if (length) *length = foundLength;
        if (flags) *flags = foundFlags;
    }
    return found;
}

SPECTREL_API std::uint32_t SPX_FIND_MSG_BY_ID(std::int32_t slot, std::uint16_t sourceId, std::uint8_t sourceSegment,
                                              std::uint16_t destinationId, std::uint8_t destinationSegment,
                                              char* name, std::int16_t* messageKey) {
    return lookup(slot, RelayCommand::FindMsgById, [=] {
        return FIND_MSG_BY_ID(sourceId, sourceSegment, destinationId, destinationSegment, name, messageKey);
    });
}

SPECTREL_API std::uint32_t SPX_FIND_MSG_BY_NAME(std::int32_t slot, const char* name, std::int16_t* messageKey,
                                                std::uint16_t* sourceId, std::uint8_t* sourceSegment,
                                                std::uint16_t* destinationId, std::uint8_t* destinationSegment) {
    return lookup(slot, RelayCommand::FindMsgByName, [=] {
        return FIND_MSG_BY_NAME(name, messageKey, sourceId, sourceSegment, destinationId, destinationSegment);
    });
}

SPECTREL_API std::uint32_t SPX_GET_LED_STATE(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led,
                                             std::int32_t* on, char* text, std::uint32_t size,
                                             std::uint32_t* needed) {
    std::uint32_t state = 0;
    const ErrorCode result = ledCall(boardType, boardNumber, RelayCommand::GetLedState, [&] {
        return GetLedState(boardType, boardNumber, led, on ? &state : nullptr);
    });
    if (result == 0 && on) *on = static_cast<std::int32_t>(state);
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_SET_LED_STATE(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led,
                                             std::uint32_t on, char* text, std::uint32_t size,
                                             std::uint32_t* needed) {
    const ErrorCode result = ledCall(boardType, boardNumber, RelayCommand::SetLedState,
                                     [=] { return SetLedState(boardType, boardNumber, led, on); });
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_GET_RGB_LED_STATE(std::uint32_t boardType, std::uint16_t boardNumber,
                                                 std::uint8_t* colour, char* text, std::uint32_t size,
                                                 std::uint32_t* needed) {
    const ErrorCode result = ledCall(boardType, boardNumber, RelayCommand::GetRgbLedState,
                                     [=] { return GetRgbLedState(boardType, boardNumber, colour); });
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_SET_RGB_LED_STATE(std::uint32_t boardType, std::uint16_t boardNumber,
                                                 std::uint8_t colour, char* text, std::uint32_t size,
                                                 std::uint32_t* needed) {
    const ErrorCode result = ledCall(boardType, boardNumber, RelayCommand::SetRgbLedState,
                                     [=] { return SetRgbLedState(boardType, boardNumber, colour); });
    return withText(result, text, size, needed);
}

SPECTREL_API std::uint32_t SPX_GET_ACTIVE_DEVICES_COUNT(std::uint16_t* count, char* text, std::uint32_t size,
                                                        std::uint32_t* needed) {
    return withText(GetActiveDevicesCount(count), text, size, needed);
}

// The engine's 12-byte records, each copied into a packed 10-byte record.
SPECTREL_API std::uint32_t SPX_GET_ACTIVE_DEVICES_INFO(std::uint16_t count, SpxDeviceRecord* records, char* text,
                                                       std::uint32_t size, std::uint32_t* needed) {
    if (count > 0 && !records) return withText(ERROR_INVALID_PARAMETER, text, size, needed);
    ErrorCode result = 0;
    try {
        std::vector<ActiveDeviceInfo> listed(count);
        result = GetActiveDevicesInfo(count, listed.data());
        for (std::size_t i = 0; i < listed.size(); ++i) {
            SpxDeviceRecord record;
            record.boardType = listed[i].boardType;
            record.boardNumber = listed[i].boardNumber;
            record.used = listed[i].used;
            std::memcpy(&records[i], &record, sizeof record);
        }
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    return withText(result, text, size, needed);
}

}  // extern "C"
