// GET_TRANSMISSION_QUEUE: the variables that carry the board's transmission queues, taken from
// the loaded variable table. Each queue has one carrier; a second claimant is a configuration fault.
#include <array>

#include "card_operation.h"
#include "config_tables.h"
#include "corvix.h"

using namespace corvix;

namespace {

enum QueueMode : std::uint32_t { kMessageQueue = 0, kPeriodicQueues = 1, kAperiodicQueue = 2 };
constexpr std::uint16_t kAperiodicChannel = 9;

struct QueueWriter {
    TransmissionQueueRecord* records;
    std::uint32_t capacity;
    std::uint32_t* count;
    void add(std::uint16_t identifier, std::uint16_t channel) {
        if (*count < capacity) records[*count] = {identifier, channel};
        ++*count;
    }
};

// Modes 0 and 2: the first variable with `flag` (and, for mode 0, channel 0) is the queue.
ErrorCode singleCarrier(const EngineContext& context, std::uint8_t flag, bool channelZero, std::uint16_t channel,
                        QueueWriter& out) {
    for (std::size_t i = 0; i < variableRecordCount(context); ++i) {
        const records::VARIABLE4 v = *variableAt(context, i);
        if (!(v.flags & flag) || v.direction != 0 || (channelZero && v.channel != 0)) continue;
        if (*out.count > 0) return kErrDuplicateChannel;
        out.add(v.identifier, channel);
    }
    return kSuccess;
}

ErrorCode periodicCarriers(const EngineContext& context, QueueWriter& out) {
    std::array<bool, 9> claimed{};
    for (std::size_t i = 0; i < variableRecordCount(context); ++i) {
        const records::VARIABLE4 v = *variableAt(context, i);
        if (v.channel < 1 || v.channel > 8 || v.direction != 0) continue;
        if (claimed[static_cast<std::size_t>(v.channel)]) return kErrDuplicateChannel;
        claimed[static_cast<std::size_t>(v.channel)] = true;
        out.add(v.identifier, static_cast<std::uint16_t>(v.channel));
    }
    return kSuccess;
}

}  // namespace

extern "C" {

CORVIX_API std::uint32_t GET_TRANSMISSION_QUEUE(std::uint32_t mode, TransmissionQueueRecord* records,
                                                std::uint32_t capacity, std::uint32_t* count) {
    const EngineContext* context = boardContext();
    if (!context) return kErrNoBoard;
    if (!count) return kPlatformInvalidParameter;
    *count = 0;
    if (!records) capacity = 0;
    if (!context->variableTable) return kSuccess;
    QueueWriter out{records, capacity, count};
    switch (mode) {
        case kMessageQueue:
            return singleCarrier(*context, records::VARIABLE4::kMessageChannel, true, 0, out);
        case kPeriodicQueues:
            return periodicCarriers(*context, out);
        case kAperiodicQueue:
            return singleCarrier(*context, records::VARIABLE4::kAperiodicVariableRequests, false, kAperiodicChannel,
                                 out);
        default:
            return kSuccess;
    }
}

}  // extern "C"
