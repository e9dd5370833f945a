// Messages: send, receive and purge the board's message queues.
#include <algorithm>

#include "board_commands.h"
#include "card_operation.h"
#include "corvix.h"

using namespace corvix;

extern "C" {

CORVIX_API std::uint32_t FIP_WRITE_MSG(std::uint16_t channel, std::uint16_t messageKey, std::uint8_t acknowledged,
                                       std::uint8_t channelByte, std::uint16_t length, std::uint16_t destinationId,
                                       std::uint8_t destinationSegment, std::uint16_t sourceId,
                                       std::uint8_t sourceSegment, const std::uint8_t* data) {
    if (length > fdb::kMsgDataBytes) return kErrMessageTooLong;
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!data && length > 0) return kPlatformInvalidParameter;
    BoardDevice& device = *context->device;
    if (const ErrorCode code = board::writeMsg(device, messageKey, std::span(data, length)); code != kSuccess)
        return code;
    return board::sendMsg(device, {.key = messageKey,
                                   .acknowledged = acknowledged,
                                   .channelByte = channelByte,
                                   .channel = channel,
                                   .destinationId = destinationId,
                                   .destinationSegment = destinationSegment,
                                   .sourceId = sourceId,
                                   .sourceSegment = sourceSegment});
}

// The header outputs are written also when the board refuses the receive request. The data holds
// at most what the board returned and what the caller's 252 bytes take; when the board returned
// fewer message bytes than its header announced, *length says how many arrived.
CORVIX_API std::uint32_t FIP_READ_MSG(std::uint16_t receiveKey, void*, std::uint16_t* length,
                                      std::uint16_t* destinationId, std::uint8_t* destinationSegment,
                                      std::uint16_t* sourceId, std::uint8_t* sourceSegment, std::uint8_t* data) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!length || !destinationId || !destinationSegment || !sourceId || !sourceSegment || !data)
        return kPlatformInvalidParameter;
    BoardDevice& device = *context->device;
    board::MessageHeader header;
    const ErrorCode code = board::receiveMsg(device, receiveKey, header);
    if (code != kSuccess && !isCardError(code)) return code;
    *length = header.length;
    *destinationId = header.destinationId;
    *destinationSegment = header.destinationSegment;
    *sourceId = header.sourceId;
    *sourceSegment = header.sourceSegment;
    if (code != kSuccess) return code;

    board::MessageBody body;
    if (const ErrorCode read = board::readMsg(device, receiveKey, body); read != kSuccess) return read;
    const std::size_t copied = std::min<std::size_t>({header.length, body.size, fdb::kMsgDataBytes});
    std::copy_n(body.data.begin(), copied, data);
    *length = static_cast<std::uint16_t>(copied);
    return kSuccess;
}

CORVIX_API std::uint32_t PURGE(std::uint8_t channel) {
    EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    return board::purge(*context->device, board::purgeWord(channel));
}

}  // extern "C"
