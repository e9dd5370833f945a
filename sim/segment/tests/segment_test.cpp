#include "sim/segment/segment.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/segment/tests/card_image.h"

namespace sim {
namespace {

using testing::ImageLayout;
using testing::ImageVariable;

constexpr Nanoseconds kMs = 1000000;
constexpr Nanoseconds kCycle = 10 * kMs;  // WAIT(A0): 160 units of 62.5 us

bool hasEvent(const std::vector<CardEvent>& events, std::uint8_t eventByte, std::uint16_t identifier) {
    return std::any_of(events.begin(), events.end(),
                       [&](const CardEvent& e) { return e.eventByte == eventByte && e.identifier == identifier; });
}

// Board A arbitrates (produces 0x100, consumes 0x200 with promptness and refreshment); board B
// consumes 0x100 and 0x1405; remote station 5 produces 0x200 with a counter and consumes 0x100.
class SegmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ImageLayout a;
        a.variables = {{.identifier = 0x100, .produced = true, .length = 2, .refreshment = true, .refreshmentMs = 50},
                       {.identifier = 0x200, .produced = false, .length = 2, .refreshment = true, .promptness = true, .promptnessMs = 25}};
        a.program = programWords({"ID_DAT(100)", "ID_DAT(200)", "ID_DAT(300)", "ID_DAT(1405)", "SEND_MSG(A0)", "SEND_APER(A0)",
                                  "WAIT(A0)"});
        testing::writeImage(cardA, a);
        ImageLayout b;
        b.variables = {{.identifier = 0x100, .produced = false, .length = 2}, {.identifier = 0x1405, .produced = false, .length = 2}};
        b.baMemory = true;
        b.program = programWords({"ID_DAT(100)", "WAIT(A0)"});
        testing::writeImage(cardB, b);
        testing::startCircuit(cardA);
        testing::startCircuit(cardB);
        boardA = segment.attachBoard(cardA, &mediumA);
        boardB = segment.attachBoard(cardB, &mediumB);
        RemoteStationConfig remote;
        remote.name = "R5";
        remote.address = 5;
        remote.produces = {{.identifier = 0x200, .length = 2, .generator = {.kind = ValueGenerator::Kind::Counter, .start = 7}}};
        remote.consumes = {0x100};
        station = segment.addRemoteStation(remote);
    }

    CardModel cardA, cardB;
    AccessTrace trace;
    Fielddual mediumA{true, trace}, mediumB{true, trace};
    Segment segment;
    std::size_t boardA = 0, boardB = 0, station = 0;
};

TEST_F(SegmentTest, RemoteProducerReachesTheBoardEveryMacrocycle) {
    testing::startBa(cardA);
    segment.run(kCycle);
    auto read = testing::readVar(cardA, 1);
    EXPECT_EQ(read.status, 0x20);
    EXPECT_EQ(read.bytes, (std::vector<std::uint8_t>{0x40, 2, 0, 7, 0x05}));
    segment.run(kCycle);
    read = testing::readVar(cardA, 1);
    EXPECT_EQ(read.bytes, (std::vector<std::uint8_t>{0x40, 2, 0, 8, 0x05}));
    // The first WAIT ended at 10 ms; the second cycle's closing word lies just past 20 ms.
    EXPECT_EQ(segment.counters().macrocycles, 1u);
    EXPECT_EQ(segment.arbitratingBoard(), boardA);
    EXPECT_EQ(cardA.baState(), ba::kWait);
}

TEST_F(SegmentTest, PromptnessRunsOutWhenTheArbitratorStops) {
    testing::startBa(cardA);
    segment.run(kCycle);
    EXPECT_EQ(testing::readVar(cardA, 1).status, 0x20);
    testing::stopBa(cardA);
    segment.run(3 * kCycle);
    const auto read = testing::readVar(cardA, 1);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.bytes[3], 7);  // the last value stays
    EXPECT_FALSE(segment.arbitratingBoard());
}

TEST_F(SegmentTest, ProducedValueReachesRemoteAndBoardConsumersWithRefreshment) {
    testing::startBa(cardA);
    testing::writeVar(cardA, 0, {0xAB, 0xCD});
    segment.run(kCycle);
    auto held = segment.remoteValue(station, 0x100);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->value, (std::vector<std::uint8_t>{0xAB, 0xCD}));
    EXPECT_TRUE(held->refreshed);
    EXPECT_EQ(testing::readVar(cardB, 0).bytes, (std::vector<std::uint8_t>{0x40, 2, 0xAB, 0xCD}));
    // Not written again for longer than its refreshment period of 50 ms.
    segment.run(8 * kCycle);
    held = segment.remoteValue(station, 0x100);
    EXPECT_FALSE(held->refreshed);
    EXPECT_EQ(held->count, 9u);
    testing::writeVar(cardA, 0, {1, 2});
    segment.run(kCycle);
    EXPECT_TRUE(segment.remoteValue(station, 0x100)->refreshed);
}

TEST_F(SegmentTest, AResetBoardsQueuedRequestsAreDropped) {
    testing::startBa(cardA);
    testing::sendMessage(cardA, 3, 0x200, 0x100, {1, 2, 3});
    cardA.command(cmd::kSendAper, 0, false);
    segment.run(1000);  // taken by the segment, not yet served
    cardA.reset();
    testing::startCircuit(cardA);
    testing::startBa(cardA);
    segment.run(kCycle);
    EXPECT_TRUE(segment.remoteMessages(station).empty());
    EXPECT_EQ(segment.counters().aperiodic, 0u);
    EXPECT_TRUE(testing::drainEvents(cardA).empty());
}

TEST_F(SegmentTest, UnansweredIdentifiersCostASilence) {
    testing::startBa(cardA);
    segment.run(kCycle);
    // 0x100 (never written) and 0x300 (nobody) go unanswered; 0x200 and the presence 0x1405 answer.
    const SegmentCounters c = segment.counters();
    EXPECT_EQ(c.identifierFrames, 4u);
    EXPECT_EQ(c.silences, 2u);
    EXPECT_EQ(testing::readVar(cardB, 1).bytes, (std::vector<std::uint8_t>{0x50, 2, 5, 0}));
}

TEST_F(SegmentTest, MessagesReachTheirDestinationAndReportToTheSender) {
    testing::startBa(cardA);
    testing::sendMessage(cardA, 3, 0x100, 0x200, {1, 2, 3}, true);
    testing::sendMessage(cardA, 4, 0x999, 0x200, {9}, true);  // nobody is addressed
    segment.run(kCycle);
    const auto sent = testing::drainEvents(cardA);
    EXPECT_TRUE(hasEvent(sent, 1 | 4, 3));  // acknowledged
    EXPECT_TRUE(hasEvent(sent, 1 | 8, 4));  // no acknowledgement after the retries
    EXPECT_TRUE(hasEvent(testing::drainEvents(cardB), 2, 0));
    const CardAnswer header = cardB.command(cmd::kReceiveMsg, 0, false);
    ASSERT_EQ(header.status, 0);
    EXPECT_EQ(header.readBytes[1], 3);
    EXPECT_EQ(header.readBytes[3], 0x00);
    EXPECT_EQ(header.readBytes[2] << 8 | header.readBytes[3], 0x100);
    EXPECT_EQ(header.readBytes[5] << 8 | header.readBytes[6], 0x200);
    EXPECT_EQ(cardB.command(cmd::kReadMsg, 0, false).readBytes, (std::vector<std::uint8_t>{1, 2, 3}));
    const auto remote = segment.remoteMessages(station);
    ASSERT_EQ(remote.size(), 1u);
    EXPECT_EQ(remote[0].source, 0x200);
    EXPECT_EQ(segment.counters().messages, 2u);
}

// A remote station's own messages go out every `period` macrocycles, to the boards and stations
// their destination addresses, and leave no send report anywhere.
TEST(Segment, ARemoteStationSendsItsOwnMessages) {
    CardModel card;
    ImageLayout layout;
    layout.variables = {{.identifier = 0x100, .produced = true, .length = 2}};
    testing::writeImage(card, layout);
    testing::startCircuit(card);
    Segment segment;
    segment.attachBoard(card);
    RemoteStationConfig r5;
    r5.address = 5;
    r5.arbitratorProgram = {"ID_DAT(100)", "SEND_MSG(60)", "WAIT(A0)"};
    r5.sends = {{.source = 0x200, .destination = 0x100, .length = 2,
                 .generator = {.kind = ValueGenerator::Kind::Counter, .start = 1}, .period = 2},
                {.source = 0x201, .destination = 0x999, .length = 1, .generator = {}, .period = 1}};
    segment.addRemoteStation(r5);
    RemoteStationConfig r6;
    r6.address = 6;
    r6.consumes = {0x100};
    const std::size_t listener = segment.addRemoteStation(r6);

    segment.run(5 * kCycle - kMs);  // four macrocycles: two messages to 0x100, four to nobody
    std::vector<CardEvent> events = testing::drainEvents(card);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const CardEvent& e) { return e.eventByte == 2; }), 2);
    EXPECT_FALSE(std::any_of(events.begin(), events.end(), [](const CardEvent& e) { return (e.eventByte & 1) != 0; }));
    for (std::vector<std::uint8_t> expected : {std::vector<std::uint8_t>{0, 1}, std::vector<std::uint8_t>{0, 2}}) {
        const CardAnswer header = card.command(cmd::kReceiveMsg, 0, false);
        ASSERT_EQ(header.status, 0);
        EXPECT_EQ(header.readBytes[5] << 8 | header.readBytes[6], 0x200);
        EXPECT_EQ(card.command(cmd::kReadMsg, 0, false).readBytes, expected);
    }
    EXPECT_EQ(segment.remoteMessages(listener).size(), 2u);
    EXPECT_EQ(segment.counters().messages, 6u);
}

TEST_F(SegmentTest, AperiodicRequestsAreScannedInTheWindowUrgentFirst) {
    testing::startBa(cardA);
    testing::writeVar(cardA, 0, {5, 6});
    cardA.command(cmd::kSendAper, 0, false);
    cardA.command(cmd::kSendAperUrgent, 1, false);
    segment.run(kCycle);
    const auto events = testing::drainEvents(cardA);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].identifier, 1);  // the urgent one went first
    EXPECT_EQ(events[1].identifier, 0);
    EXPECT_EQ(events[1].eventByte, 0);
    EXPECT_EQ(segment.counters().aperiodic, 2u);
}

TEST_F(SegmentTest, MediumFaults) {
    testing::startBa(cardA);
    testing::writeVar(cardA, 0, {1, 1});
    segment.setMediumFault(boardB, 1, true);
    segment.run(kCycle);
    // One channel left: the board still hears, and its medium reports the faulty channel.
    EXPECT_EQ(testing::readVar(cardB, 0).status, 0x20);
    EXPECT_TRUE(mediumB.status() & medium::kTransmissionError1);
    EXPECT_FALSE(mediumB.status() & medium::kTransmissionError2);
    EXPECT_FALSE(mediumA.status() & (medium::kTransmissionError1 | medium::kTransmissionError2));

    segment.setMediumFault(boardB, 2, true);
    testing::writeVar(cardA, 0, {2, 2});
    segment.run(kCycle);
    EXPECT_EQ(testing::readVar(cardB, 0).bytes[3], 1);  // off the bus: the new value did not arrive
    EXPECT_TRUE(mediumB.status() & medium::kTransmissionError2);
}

TEST_F(SegmentTest, ArbitratorOffTheBusReachesNobody) {
    testing::startBa(cardA);
    segment.setMediumFault(boardA, 1, true);
    segment.setMediumFault(boardA, 2, true);
    segment.run(kCycle);
    EXPECT_EQ(testing::readVar(cardA, 1).status, refusal::kNoValue);
    EXPECT_FALSE(segment.remoteValue(station, 0x100));
}

TEST_F(SegmentTest, ARunningRemoteArbitratorKeepsTheBus) {
    RemoteStationConfig arbitrator;
    arbitrator.address = 9;
    arbitrator.arbitratorProgram = {"ID_DAT(1405)", "WAIT(A0)"};
    segment.addRemoteStation(arbitrator);
    segment.run(kCycle);  // no board's BA: the remote arbitrator runs the bus
    EXPECT_FALSE(segment.arbitratingBoard());
    EXPECT_EQ(testing::readVar(cardB, 1).status, 0x20);

    testing::startBa(cardA);
    segment.run(kCycle);
    EXPECT_FALSE(segment.arbitratingBoard());
    EXPECT_EQ(cardA.baState(), ba::kIdle);
}

TEST_F(SegmentTest, OneArbitratorAtATime) {
    testing::startBa(cardA);
    segment.run(kCycle);
    EXPECT_EQ(segment.arbitratingBoard(), boardA);
    testing::startBa(cardB);
    segment.run(kCycle);
    EXPECT_EQ(segment.arbitratingBoard(), boardA);
    EXPECT_EQ(cardB.baState(), ba::kIdle);
    testing::stopBa(cardA);
    segment.run(kCycle);
    EXPECT_EQ(segment.arbitratingBoard(), boardB);
}

TEST(Segment, SuspendRaisesTheBaEventAndContinueResumes) {
    CardModel card;
    ImageLayout layout;
    layout.variables = {{.identifier = 0x10, .produced = false, .length = 1}};
    layout.program = programWords({"SUSPEND(2A)", "ID_DAT(10)", "WAIT(A0)"});
    testing::writeImage(card, layout);
    testing::startCircuit(card);
    Segment segment;
    segment.attachBoard(card);
    RemoteStationConfig producer;
    producer.produces = {{.identifier = 0x10, .length = 1, .generator = {.start = 0x33}}};
    segment.addRemoteStation(producer);
    testing::startBa(card);
    segment.run(kCycle);
    EXPECT_EQ(card.baState(), ba::kPending);
    EXPECT_TRUE(hasEvent(testing::drainEvents(card), 3, 0x2800));  // the SUSPEND's block
    EXPECT_EQ(testing::readVar(card, 0).status, refusal::kNoValue);
    card.command(cmd::kContinueBa, 0, false);
    segment.run(kCycle);
    EXPECT_EQ(testing::readVar(card, 0).bytes, (std::vector<std::uint8_t>{0x40, 1, 0x33}));
}

TEST(Segment, BoardWithoutImageOrCircuitStaysOffTheBus) {
    CardModel configured, blank;
    ImageLayout layout;
    layout.variables = {{.identifier = 0x10, .produced = false, .length = 1}};
    layout.program = programWords({"ID_DAT(10)", "WAIT(10)"});
    testing::writeImage(configured, layout);
    Segment segment;
    segment.attachBoard(configured);
    segment.attachBoard(blank);
    RemoteStationConfig producer;
    producer.produces = {{.identifier = 0x10, .length = 1, .generator = {}}};
    segment.addRemoteStation(producer);
    testing::startBa(configured);
    segment.run(kCycle);
    EXPECT_FALSE(segment.arbitratingBoard());  // no START_CIRCUIT yet
    testing::startCircuit(configured);
    segment.run(kCycle);
    EXPECT_EQ(segment.arbitratingBoard(), 0u);
    EXPECT_EQ(testing::readVar(configured, 0).status, 0x20);
    EXPECT_EQ(segment.now(), 2 * kCycle);
}

// A board alone on a bus: nothing answers its program, so its arbitrator gives the bus up after
// one macrocycle; started again it keeps it, and a reset forgets the first start.
TEST(Segment, ABoardsArbitratorGivesUpASilentBusUntilStartedAgain) {
    CardModel card;
    ImageLayout layout;
    layout.variables = {{.identifier = 0x9002, .produced = false, .length = 34}};
    layout.program = programWords({"ID_DAT(9002)", "WAIT(A0)"});
    testing::writeImage(card, layout);
    testing::startCircuit(card);
    Segment segment;
    segment.attachBoard(card);
    RemoteStationConfig station;  // answers its presence variable, which nobody scans
    station.address = 3;
    segment.addRemoteStation(station);

    for (int reset = 0; reset < 2; ++reset) {
        testing::startBa(card);
        segment.run(2 * kCycle);
        EXPECT_EQ(card.baState(), ba::kStopped) << reset;
        EXPECT_FALSE(segment.arbitratingBoard());
        testing::startBa(card);
        segment.run(3 * kCycle);
        EXPECT_EQ(segment.arbitratingBoard(), 0u) << reset;
        EXPECT_NE(card.baState(), ba::kStopped);
        card.reset();
        testing::startCircuit(card);
    }
    EXPECT_EQ(segment.counters().responseFrames, 0u);
}

TEST(ValueGenerator, Kinds) {
    const ValueGenerator bytes{.kind = ValueGenerator::Kind::Bytes, .bytes = {0x80, 0x20, 0x62}};
    EXPECT_EQ(generateValue(bytes, 5, 7), (std::vector<std::uint8_t>{0x80, 0x20, 0x62, 0, 0}));
    EXPECT_EQ(generateValue(bytes, 2, 0), (std::vector<std::uint8_t>{0x80, 0x20}));
    const ValueGenerator constant{.kind = ValueGenerator::Kind::Constant, .start = 0x5A};
    EXPECT_EQ(generateValue(constant, 3, 9), (std::vector<std::uint8_t>{0x5A, 0x5A, 0x5A}));
    const ValueGenerator counter{.kind = ValueGenerator::Kind::Counter, .start = 0xFE, .step = 1};
    EXPECT_EQ(generateValue(counter, 1, 3), (std::vector<std::uint8_t>{0x01}));  // wraps at its width
    EXPECT_EQ(generateValue(counter, 2, 3), (std::vector<std::uint8_t>{0x01, 0x01}));
    const ValueGenerator ramp{.kind = ValueGenerator::Kind::Ramp, .start = 10, .step = 5, .limit = 20};
    std::vector<std::uint8_t> values;
    for (std::uint64_t n = 0; n < 5; ++n) values.push_back(generateValue(ramp, 1, n)[0]);
    EXPECT_EQ(values, (std::vector<std::uint8_t>{10, 15, 20, 10, 15}));
}

}  // namespace
}  // namespace sim
