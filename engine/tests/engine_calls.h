// An application's engine calls as the tests over the segment make them, with their outputs
// gathered: events polled, variables read, table lookups and messages sent.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "corvix.h"
#include "engine_errors.h"

namespace corvix::testing {

// Event kinds of READ_EVENT.
constexpr std::uint8_t kAperiodicSent = 0, kMessageSent = 1, kMessageReceived = 2, kBaEvent = 3;
// Send report codes (the value of a kMessageSent event).
constexpr std::uint8_t kReportNoAcknowledge = 0, kReportAcknowledged = 4, kReportNoAcknowledgeAfterRetries = 8;

struct Event {
    std::uint8_t flag = 0, value = 0, kind = 0, parameter = 0;
    std::uint16_t identifier = 0;
};

// What an application's polling loop does: IS_EVENT, then READ_EVENT while one is pending.
inline std::vector<Event> pollEvents() {
    std::vector<Event> events;
    std::uint32_t pending = 0;
    while (IS_EVENT(&pending) == kSuccess && pending != 0) {
        Event e;
        EXPECT_EQ(READ_EVENT(&e.flag, &e.value, &e.kind, &e.parameter, &e.identifier), kSuccess);
        events.push_back(e);
        if (events.size() > 64) break;
    }
    return events;
}

struct Value {
    ErrorCode code = 1;
    std::vector<std::uint8_t> bytes;  // as many as the variable's consumed buffer gives
    std::uint8_t status = 0;
};

inline Value readVariable(std::uint16_t index, std::size_t bytes) {
    std::array<std::uint8_t, 128> data{};
    Value v;
    v.code = FIP_READ_VAR(index, data.data(), &v.status);
    v.bytes.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(bytes));
    return v;
}

inline std::int16_t variableIndex(std::uint16_t identifier) {
    std::int16_t index = -1, length = 0;
    std::uint8_t flags = 0;
    std::array<char, 33> name{};
    EXPECT_EQ(FIND_VAR_BY_ID(identifier, &index, name.data(), &length, &flags), 1u) << identifier;
    return index;
}

inline std::int16_t messageKey(std::uint16_t source, std::uint16_t destination) {
    std::array<char, 33> name{};
    std::int16_t key = -1;
    EXPECT_EQ(FIND_MSG_BY_ID(source, 0, destination, 0, name.data(), &key), 1u);
    return key;
}

inline ErrorCode sendMessage(std::int16_t key, std::uint16_t source, std::uint16_t destination,
                      const std::vector<std::uint8_t>& data, bool acknowledged) {
    return FIP_WRITE_MSG(0, static_cast<std::uint16_t>(key), acknowledged, 0, static_cast<std::uint16_t>(data.size()),
                         destination, 0, source, 0, data.data());
}

}  // namespace corvix::testing
