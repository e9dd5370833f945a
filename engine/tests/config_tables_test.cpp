// GET_TRANSMISSION_QUEUE and the table look-ups over loaded tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "corvix.h"
#include "engine_errors.h"
#include "engine_fixture.h"

namespace corvix::testing {
namespace {

class Tables : public EngineOnScriptedBoard {
protected:
    struct Queue {
        ErrorCode code;
        std::uint32_t count;
        std::vector<TransmissionQueueRecord> records;
    };
    static Queue queue(std::uint32_t mode, std::uint32_t capacity = 16) {
        std::vector<TransmissionQueueRecord> records(16, TransmissionQueueRecord{0xFFFF, 0xFFFF});
        std::uint32_t count = 99;
        const ErrorCode code = GET_TRANSMISSION_QUEUE(mode, records.data(), capacity, &count);
        return {code, count, records};
    }
};

records::VARIABLE4 carrier(std::uint16_t id, std::int16_t channel, std::uint8_t flags = 0, bool consumed = false) {
    auto v = variable(id, "v", 2, channel);
    v.flags = flags;
    v.direction = consumed ? 1 : 0;
    return v;
}

TEST_F(Tables, PeriodicQueuesOneCarrierPerChannel) {
    load({carrier(0x10, 3), carrier(0x11, 1), carrier(0x12, 5, 0, true), carrier(0x13, 0), carrier(0x14, 8)});
    const Queue q = queue(1);
    ASSERT_EQ(q.code, kSuccess);
    ASSERT_EQ(q.count, 3u);
    EXPECT_EQ(q.records[0].identifier, 0x10);
    EXPECT_EQ(q.records[0].channel, 3);
    EXPECT_EQ(q.records[2].identifier, 0x14);
    const Queue small = queue(1, 1);
    EXPECT_EQ(small.count, 3u);  // counted beyond the capacity
    EXPECT_EQ(small.records[1].identifier, 0xFFFF);
    load({carrier(0x10, 3), carrier(0x11, 1), carrier(0x12, 3)});
    EXPECT_EQ(queue(1).code, kErrDuplicateChannel);
    EXPECT_EQ(queue(1, 0).code, kErrDuplicateChannel);
}

TEST_F(Tables, MessageAndAperiodicQueuesHaveOneCarrierEach) {
    load({carrier(0x10, 1, 0x02), carrier(0x11, 0, 0x02, true), carrier(0x12, 0, 0x02), carrier(0x13, 2, 0x40)});
    Queue q = queue(0);
    ASSERT_EQ(q.code, kSuccess);
    EXPECT_EQ(q.count, 1u);
    EXPECT_EQ(q.records[0].identifier, 0x12);
    EXPECT_EQ(q.records[0].channel, 0);
    q = queue(2);
    ASSERT_EQ(q.code, kSuccess);
    EXPECT_EQ(q.records[0].identifier, 0x13);
    EXPECT_EQ(q.records[0].channel, 9);
    load({carrier(0x12, 0, 0x02), carrier(0x14, 0, 0x02), carrier(0x13, 2, 0x40), carrier(0x15, 4, 0x40)});
    EXPECT_EQ(queue(0).code, kErrDuplicateChannel);
    EXPECT_EQ(queue(2).code, kErrDuplicateChannel);
    q = queue(3);
    EXPECT_EQ(q.code, kSuccess);
    EXPECT_EQ(q.count, 0u);
}

TEST_F(Tables, QueueWithoutATableIsEmpty) {
    const Queue q = queue(1);
    EXPECT_EQ(q.code, kSuccess);
    EXPECT_EQ(q.count, 0u);
}

TEST_F(Tables, FindVariableByIdentifierAndByName) {
    auto second = variable(0x20, "Speed", 4);
    second.refreshment_status = 1;
    second.promptness_status = 1;
    load({variable(0x10, "Temp", 2), second});
    std::int16_t index = -1, length = -1;
    std::uint8_t flags = 0xF0;
    char name[33] = {};
    ASSERT_EQ(FIND_VAR_BY_ID(0x20, &index, name, &length, &flags), 1u);
    EXPECT_EQ(index, 1);
    EXPECT_STREQ(name, "Speed");
    EXPECT_EQ(length, 4);
    EXPECT_EQ(flags, 0xF3);
    std::uint16_t identifier = 0;
    flags = 0x03;
    ASSERT_EQ(FIND_VAR_BY_NAME("Temp", &index, &identifier, &length, &flags), 1u);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(identifier, 0x10);
    EXPECT_EQ(flags, 0x00);
    EXPECT_EQ(FIND_VAR_BY_NAME("temp", &index, &identifier, &length, &flags), 0u);
    EXPECT_EQ(FIND_VAR_BY_ID(0x30, &index, name, &length, &flags), 0u);
}

// The look-up by identifier answers from an index: it must give what a walk of the table in order
// gives, for whichever table the context holds now.
TEST_F(Tables, FindVariableByIdentifierFollowsTheTableInPlace) {
    const auto position = [](std::uint16_t identifier) -> int {
        std::int16_t index = -1;
        char name[33] = {};
        return FIND_VAR_BY_ID(identifier, &index, name, nullptr, nullptr) == 1 ? index : -1;
    };
    // Duplicates: the first in table order, not the first in identifier order.
    load({variable(0x30, "a"), variable(0x10, "b"), variable(0x30, "c"), variable(0xFFFF, "d"), variable(0, "e")});
    EXPECT_EQ(position(0x30), 0);
    EXPECT_EQ(position(0x10), 1);
    EXPECT_EQ(position(0xFFFF), 3);
    EXPECT_EQ(position(0), 4);
    EXPECT_EQ(position(0x20), -1);
    EXPECT_EQ(position(0x31), -1);

    // Another table, as a second download installs it.
    load({variable(0x20, "x"), variable(0x30, "y")});
    EXPECT_EQ(position(0x30), 1);
    EXPECT_EQ(position(0x20), 0);
    EXPECT_EQ(position(0x10), -1);

    // The same table with a smaller count: the records beyond it are not found.
    context().variableCount = 1;
    EXPECT_EQ(position(0x30), -1);
    EXPECT_EQ(position(0x20), 0);
    context().variableCount = 2;
    EXPECT_EQ(position(0x30), 1);
}

TEST_F(Tables, MessageKeysCountTransmittedMessagesFromTheTableSize) {
    load({variable(1, "a"), variable(2, "b")},
         {message("rx", 0x100, 0, 0x200, 0, false), message("tx0", 0x101, 0, 0x201, 0, true),
          message("tx1", 0x102, 1, 0x202, 2, true)},
         10);
    char name[33] = {};
    std::int16_t key = 0;
    ASSERT_EQ(FIND_MSG_BY_ID(0x102, 1, 0x202, 2, name, &key), 1u);
    EXPECT_EQ(key, 11);
    EXPECT_STREQ(name, "tx1");
    ASSERT_EQ(FIND_MSG_BY_ID(0x100, 0, 0x200, 0, name, &key), 1u);
    EXPECT_EQ(key, -1);
    EXPECT_EQ(FIND_MSG_BY_ID(0x102, 0, 0x202, 2, name, &key), 0u);
    context().messageKeyOffset = 1;
    std::uint16_t source = 0, destination = 0;
    std::uint8_t sourceSegment = 9, destinationSegment = 9;
    ASSERT_EQ(FIND_MSG_BY_NAME("tx0", &key, &source, &sourceSegment, &destination, &destinationSegment), 1u);
    EXPECT_EQ(key, 74);
    EXPECT_EQ(source, 0x101);
    EXPECT_EQ(destination, 0x201);
    EXPECT_EQ(sourceSegment, 0);
}

// The look-up by identifiers and segments answers from an index: it must give the message and key
// that a walk of the table in order gives, after the key base or the table changed too.
TEST_F(Tables, FindMessageByIdentifiersFollowsTheTableInPlace) {
    struct Found {
        std::string name;
        int key;
    };
    const auto find = [](std::uint16_t source, std::uint8_t sourceSegment, std::uint16_t destination,
                         std::uint8_t destinationSegment) -> Found {
        char name[33] = {};
        std::int16_t key = 0;
        if (FIND_MSG_BY_ID(source, sourceSegment, destination, destinationSegment, name, &key) != 1u) return {"", 0};
        return {name, key};
    };
    load({variable(1, "a")},
         {message("late", 0x300, 0, 0x400, 0, true), message("rx", 0x100, 1, 0x200, 2, false),
          message("tx", 0x100, 1, 0x200, 3, true), message("twin", 0x100, 1, 0x200, 2, true),
          message("max", 0xFFFF, 0xFF, 0xFFFF, 0xFF, true)},
         20);
    const struct {
        std::uint16_t source;
        std::uint8_t sourceSegment;
        std::uint16_t destination;
        std::uint8_t destinationSegment;
        const char* name;  // empty: not found
        int key;
    } cases[] = {
        {0x100, 1, 0x200, 2, "rx", -1},  // the first of two alike, though received
        {0x100, 1, 0x200, 3, "tx", 21},
        {0x300, 0, 0x400, 0, "late", 20},
        {0xFFFF, 0xFF, 0xFFFF, 0xFF, "max", 23},
        {0x101, 1, 0x200, 2, "", 0},  // each field alone differs
        {0x100, 0, 0x200, 2, "", 0},
        {0x100, 1, 0x201, 2, "", 0},
        {0x100, 1, 0x200, 4, "", 0},
        {0x200, 2, 0x100, 1, "", 0},  // source and destination swapped
    };
    for (const auto& c : cases) {
        const Found found = find(c.source, c.sourceSegment, c.destination, c.destinationSegment);
        EXPECT_EQ(found.name, c.name) << c.name;
        EXPECT_EQ(found.key, c.key) << c.name;
    }

    // The key base moves with the offset flag, the index being built already.
    context().messageKeyOffset = 1;
    EXPECT_EQ(find(0x100, 1, 0x200, 3).key, 85);
    context().messageKeyOffset = 0;

    // Fewer messages in the same table: those beyond are not found.
    context().messageCount = 2;
    EXPECT_EQ(find(0x100, 1, 0x200, 3).name, "");
    EXPECT_EQ(find(0x100, 1, 0x200, 2).name, "rx");

    // Another table, as a second download installs it.
    load({variable(1, "a")}, {message("tx", 0x100, 1, 0x200, 3, true), message("late", 0x300, 0, 0x400, 0, true)}, 20);
    EXPECT_EQ(find(0x300, 0, 0x400, 0).key, 21);
    EXPECT_EQ(find(0x100, 1, 0x200, 2).name, "");
}

TEST_F(Tables, LookupsWithoutTablesFindNothing) {
    std::int16_t index = 0;
    EXPECT_EQ(FIND_VAR_BY_ID(1, &index, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(FIND_MSG_BY_NAME("x", nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
}

TEST_F(Tables, CountsBeyondTheTableReachNoRecord) {
    load({variable(0x10, "only")});
    context().variableCount = 500;
    std::int16_t index = 0;
    EXPECT_EQ(FIND_VAR_BY_ID(0, &index, nullptr, nullptr, nullptr), 0u);
    std::array<std::uint8_t, 128> data{};
    EXPECT_EQ(FIP_WRITE_VAR(3, data.data()), kPlatformInvalidParameter);
}

}  // namespace
}  // namespace corvix::testing
