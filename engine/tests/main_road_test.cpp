// The main road of an application, end to end on the simulated machine: start the engine on a
// board, download a configuration file that the records library wrote, start the bus and the
// bus arbitrator, exchange variables and messages with a remote station and with the machine's
// other board, poll the events and stop. Every board runs on a thread of its own, with its own
// engine context; simulated bus time moves only when the test runs the segment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include "board_device.h"
#include "engine_errors.h"
#include "engine_calls.h"
#include "engine_thread.h"
#include "network_file.h"
#include "stack_fixture.h"

namespace corvix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::UnorderedElementsAre;

constexpr sim::Nanoseconds kMs = 1000000;
constexpr sim::Nanoseconds kCycle = 10 * kMs;  // WAIT(A0): 160 BA units of 62.5 us at 1 Mbit/s

constexpr std::uint16_t kLocalOut = 0x0100;   // produced by the board on the road, consumed by R5
constexpr std::uint16_t kRemoteOut = 0x0200;  // produced by R5 (a counter from 7)
constexpr std::uint16_t kPeerOut = 0x0300;    // produced by the machine's other board
constexpr std::size_t kRemote = 0;            // R5, the segment's only remote station

constexpr std::uint8_t kRefreshedByte = 0x05;
constexpr std::uint8_t kPromptStatus = 0xA0;  // promptness status kept, and the value prompt

// The board on the road: produces kLocalOut (it also receives messages there), consumes R5's
// counter with promptness and refreshment, and the other board's kPeerOut; it runs the bus.
Network roadNetwork() {
    Network n;
    n.variables = {{.identifier = kLocalOut, .produced = true, .length = 2, .refreshmentMs = 50, .flags = 0x01},
                   {.identifier = kRemoteOut, .produced = false, .length = 2, .refreshmentMs = 50, .promptnessMs = 25},
                   {.identifier = kPeerOut, .produced = false, .length = 4}};
    n.messages = {{.source = kLocalOut, .destination = kRemoteOut, .transmitted = true, .acknowledged = true},
                  {.source = kPeerOut, .destination = kLocalOut, .transmitted = false}};
    n.program = {"ID_DAT(100)", "ID_DAT(200)", "ID_DAT(300)", "SEND_MSG(60)", "SEND_APER(80)", "WAIT(A0)"};
    return n;
}

// The other board: produces kPeerOut and sends a message to the board on the road; no arbitrator.
Network peerNetwork() {
    Network n;
    n.variables = {{.identifier = kPeerOut, .produced = true, .length = 4}};
    n.messages = {{.source = kPeerOut, .destination = kLocalOut, .transmitted = true}};
    return n;
}

sim::MachineDescription machineWithRemoteStation() {
    sim::MachineDescription d = sim::defaultMachine();
    sim::RemoteStationConfig r5;
    r5.name = "R5";
    r5.address = 5;
    r5.produces = {{.identifier = kRemoteOut,
                    .length = 2,
                    .pduType = kPduType,
                    .generator = {.kind = sim::ValueGenerator::Kind::Counter, .start = 7}}};
    r5.consumes = {kLocalOut};
    d.remoteStations = {r5};
    return d;
}

struct RoadCase {
    const char* name;
    std::uint32_t board;  // BoardType of the board on the road
    std::uint32_t peer;   // the machine's other board
    std::size_t segmentBoard;
};

class MainRoad : public EngineOnMachine, public ::testing::WithParamInterface<RoadCase> {
protected:
    void SetUp() override { boot(machineWithRemoteStation()); }
    sim::Segment& segment() { return machine().segment(); }
    sim::CardModel& roadCard() { return GetParam().board == kBoardPci ? pci().card() : pc104().card(); }

    // Start, download, start communication, first value, start the arbitrator.
    void startRoad(EngineThread& road) {
        const std::string file = writeNetwork(roadNetwork(), "road");
        road.run([&] {
            ASSERT_EQ(START_FIP_ENGINE(1, GetParam().board), kSuccess);
            ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
            EXPECT_EQ(variableIndex(kLocalOut), 0);
            EXPECT_EQ(variableIndex(kRemoteOut), 1);
            EXPECT_EQ(variableIndex(kPeerOut), 2);
            ASSERT_EQ(START_COMMUNICATION(), kSuccess);
            const std::array<std::uint8_t, 2> first = {0x12, 0x34};
            ASSERT_EQ(FIP_WRITE_VAR(0, first.data()), kSuccess);
            std::int16_t program1 = 0, program2 = 0;
            GET_BA_PROGRAM_ADDR(&program1, &program2);
            EXPECT_EQ(program1, 160 * 64);
            EXPECT_EQ(program2, 0);
            ASSERT_EQ(START_BA(static_cast<std::uint16_t>(program1)), kSuccess);
        });
    }
};

TEST_P(MainRoad, AnApplicationRunsTheBusAndExchangesValuesAndMessages) {
    EngineThread road, peer;
    startRoad(road);
    const std::string peerFile = writeNetwork(peerNetwork(), "peer");
    peer.run([&] {
        ASSERT_EQ(START_FIP_ENGINE(1, GetParam().peer), kSuccess);
        ASSERT_EQ(DOWNLOAD_CNF(peerFile.c_str()), kSuccess);
        ASSERT_EQ(START_COMMUNICATION(), kSuccess);
        const std::array<std::uint8_t, 4> value = {1, 2, 3, 4};
        ASSERT_EQ(FIP_WRITE_VAR(0, value.data()), kSuccess);
    });

    // R5's counter reaches the board once per macrocycle, prompt and refreshed.
    for (std::uint8_t n = 7; n < 10; ++n) {
        segment().run(kCycle);
        const Value v = road.run([] { return readVariable(1, 5); });
        EXPECT_EQ(v.code, kSuccess);
        EXPECT_THAT(v.bytes, ElementsAre(kPduType, 2, 0, n, kRefreshedByte)) << int{n};
        EXPECT_EQ(v.status, kPromptStatus);
    }
    std::uint8_t state = 0;
    EXPECT_EQ(road.run([&] { return BA_REPORT(&state); }), kSuccess);
    EXPECT_NE(state, 9) << "the arbitrator runs";
    EXPECT_EQ(segment().arbitratingBoard(), GetParam().segmentBoard);

    // R5 holds what the board produces, refreshed while the board writes it.
    auto held = segment().remoteValue(kRemote, kLocalOut);
    ASSERT_TRUE(held);
    EXPECT_THAT(held->value, ElementsAre(0x12, 0x34));
    const std::array<std::uint8_t, 2> next = {0x56, 0x78};
    EXPECT_EQ(road.run([&] { return FIP_WRITE_VAR(0, next.data()); }), kSuccess);
    segment().run(kCycle);
    held = segment().remoteValue(kRemote, kLocalOut);
    ASSERT_TRUE(held);
    EXPECT_THAT(held->value, ElementsAre(0x56, 0x78));
    EXPECT_TRUE(held->refreshed);
    segment().run(6 * kCycle);
    EXPECT_FALSE(segment().remoteValue(kRemote, kLocalOut)->refreshed) << "not written for 60 ms";

    // The other board's variable, and a message each way; an aperiodic request of kPeerOut.
    const Value fromPeer = road.run([] { return readVariable(2, 6); });
    EXPECT_EQ(fromPeer.code, kSuccess);
    EXPECT_THAT(fromPeer.bytes, ElementsAre(kPduType, 4, 1, 2, 3, 4));
    EXPECT_EQ(fromPeer.status, 0);
    const std::int16_t roadKey = road.run([] { return messageKey(kLocalOut, kRemoteOut); });
    EXPECT_EQ(roadKey, 4 + 64) << "T = 4, and a variable receives messages";
    road.run([] { return pollEvents(); });
    EXPECT_EQ(road.run([&] { return sendMessage(roadKey, kLocalOut, kRemoteOut, {0xCA, 0xFE, 0x01, 0x02}, true); }),
              kSuccess);
    EXPECT_EQ(peer.run([] {
                  return sendMessage(messageKey(kPeerOut, kLocalOut), kPeerOut, kLocalOut, {7, 8, 9}, false);
              }),
              kSuccess);
    EXPECT_EQ(road.run([] { return SEND_APER(0, 2); }), kSuccess);
    segment().run(kCycle);

    EXPECT_THAT(segment().remoteMessages(kRemote),
                Contains(AllOf(Field(&sim::RemoteStation::Message::source, kLocalOut),
                               Field(&sim::RemoteStation::Message::data, ElementsAre(0xCA, 0xFE, 0x01, 0x02)))));
    const std::vector<Event> events = road.run([] { return pollEvents(); });
    EXPECT_THAT(events, UnorderedElementsAre(
                            AllOf(Field(&Event::kind, kMessageSent), Field(&Event::value, kReportAcknowledged),
                                  Field(&Event::identifier, static_cast<std::uint16_t>(roadKey))),
                            AllOf(Field(&Event::kind, kMessageReceived), Field(&Event::identifier, 0)),
                            AllOf(Field(&Event::kind, kAperiodicSent), Field(&Event::identifier, 2))));
    road.run([] {
        std::uint16_t length = 0, destination = 0, source = 0;
        std::uint8_t destinationSegment = 9, sourceSegment = 9;
        std::array<std::uint8_t, 252> data{};
        ASSERT_EQ(FIP_READ_MSG(0, nullptr, &length, &destination, &destinationSegment, &source, &sourceSegment,
                               data.data()),
                  kSuccess);
        EXPECT_EQ(length, 3);
        EXPECT_EQ(destination, kLocalOut);
        EXPECT_EQ(source, kPeerOut);
        EXPECT_EQ(destinationSegment, 0);
        EXPECT_THAT(std::vector(data.begin(), data.begin() + 3), ElementsAre(7, 8, 9));
    });
    EXPECT_THAT(peer.run([] { return pollEvents(); }),
                ElementsAre(AllOf(Field(&Event::kind, kMessageSent), Field(&Event::value, kReportNoAcknowledge))));

    // Stop: the arbitrator, then the engines; the boards are free for the next application.
    road.run([&] {
        EXPECT_EQ(STOP_BA(), kSuccess);
        EXPECT_EQ(BA_REPORT(&state), kSuccess);
        EXPECT_EQ(state, 9);
        EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    });
    EXPECT_EQ(peer.run([] { return STOP_FIP_ENGINE(); }), kSuccess);
    segment().run(kCycle);
    EXPECT_EQ(segment().arbitratingBoard(), std::nullopt);
}

TEST_P(MainRoad, APurgedOrResetQueueNeverLeaves) {
    EngineThread road;
    startRoad(road);
    road.run([] {
        const std::int16_t key = messageKey(kLocalOut, kRemoteOut);
        EXPECT_EQ(sendMessage(key, kLocalOut, kRemoteOut, {1}, false), kSuccess);
        EXPECT_EQ(PURGE(5), kSuccess) << "another channel";
        EXPECT_EQ(PURGE(0), kSuccess);
        EXPECT_EQ(sendMessage(key, kLocalOut, kRemoteOut, {2}, false), kSuccess);
    });
    segment().run(kCycle);
    EXPECT_THAT(segment().remoteMessages(kRemote),
                ElementsAre(Field(&sim::RemoteStation::Message::data, ElementsAre(2))));
    EXPECT_THAT(road.run([] { return pollEvents(); }), ElementsAre(Field(&Event::kind, kMessageSent)));

    // A restart of the bus resets the board, which drops what was waiting to be sent.
    road.run([] {
        EXPECT_EQ(sendMessage(messageKey(kLocalOut, kRemoteOut), kLocalOut, kRemoteOut, {3}, false), kSuccess);
        EXPECT_EQ(SEND_APER(0, 2), kSuccess);
        ASSERT_EQ(START_COMMUNICATION(), kSuccess);
        ASSERT_EQ(START_BA(160 * 64), kSuccess);
    });
    segment().run(kCycle);
    EXPECT_EQ(segment().remoteMessages(kRemote).size(), 1u);
    EXPECT_TRUE(road.run([] { return pollEvents(); }).empty());
}

TEST_P(MainRoad, AFailingMediumIsReportedAndAFailedBoardFallsSilent) {
    EngineThread road;
    startRoad(road);
    const auto medium = [&] {
        return road.run([] {
            std::uint8_t status = 0;
            EXPECT_EQ(MEDIUM_CONTROL(0, &status), kSuccess);
            return status;
        });
    };
    segment().run(kCycle);
    EXPECT_EQ(medium(), 0x03) << "both channels in service, no error";

    segment().setMediumFault(GetParam().segmentBoard, 1, true);
    segment().run(kCycle);
    EXPECT_EQ(medium(), 0x47) << "ET1, and channel 1's counter moved";
    EXPECT_EQ(road.run([] { return readVariable(1, 5); }).status, kPromptStatus) << "channel 2 still carries";

    segment().setMediumFault(GetParam().segmentBoard, 2, true);
    segment().run(kCycle);
    EXPECT_EQ(medium(), 0xCF) << "ET1 and ET2, both counters moved";
    const std::uint64_t heard = segment().remoteValue(kRemote, kLocalOut)->count;
    segment().run(4 * kCycle);
    EXPECT_EQ(segment().remoteValue(kRemote, kLocalOut)->count, heard) << "the board neither sends nor hears";
    EXPECT_EQ(road.run([] { return readVariable(1, 5); }).status, 0x80) << "promptness ran out";

    segment().setMediumFault(GetParam().segmentBoard, 1, false);
    segment().setMediumFault(GetParam().segmentBoard, 2, false);
    std::uint8_t status = 0;
    EXPECT_EQ(road.run([&] { return MEDIUM_CONTROL(1, &status); }), kSuccess);
    segment().run(kCycle);
    EXPECT_EQ(medium(), 0x03) << "errors cleared, new references, the board back on the bus";
    EXPECT_GT(segment().remoteValue(kRemote, kLocalOut)->count, heard);

    // Medium 2 alone in service, and it fails: the healthy medium 1 carries nothing.
    EXPECT_EQ(road.run([&] { return MEDIUM_CONTROL(5, &status); }), kSuccess);
    EXPECT_EQ(status & 0x03, 0x02);
    segment().setMediumFault(GetParam().segmentBoard, 2, true);
    segment().run(kCycle);
    const std::uint64_t alone = segment().remoteValue(kRemote, kLocalOut)->count;
    segment().run(2 * kCycle);
    EXPECT_EQ(segment().remoteValue(kRemote, kLocalOut)->count, alone);
    EXPECT_EQ(medium() & 0x0F, 0x0A) << "CH2 and ET2";
    EXPECT_EQ(road.run([&] { return MEDIUM_CONTROL(6, &status); }), kSuccess);
    segment().run(2 * kCycle);
    EXPECT_GT(segment().remoteValue(kRemote, kLocalOut)->count, alone) << "medium 1 back in service";
}

// The macrocycle follows the configured bit rate: WAIT(A0) is 160 BA units of 4000 / 40, 64 or 80 us.
struct BitRateCase {
    std::uint16_t speed;
    std::uint64_t scansIn80Ms;
};
class BitRates : public EngineOnMachine, public ::testing::WithParamInterface<BitRateCase> {};

TEST_P(BitRates, PaceTheArbitratorsProgram) {
    boot(machineWithRemoteStation());
    Network n;
    n.speed = GetParam().speed;
    n.variables = {{.identifier = kRemoteOut, .produced = false, .length = 2}};
    n.program = {"ID_DAT(200)", "WAIT(A0)"};
    const std::string file = writeNetwork(n, "rate");
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    machine().segment().run(80 * kMs);
    const Value v = readVariable(0, 4);
    EXPECT_EQ(v.code, kSuccess);
    EXPECT_THAT(v.bytes, ElementsAre(kPduType, 2, 0, 7 + GetParam().scansIn80Ms - 1));
    EXPECT_EQ(machine().segment().counters().responseFrames, GetParam().scansIn80Ms);
}

INSTANTIATE_TEST_SUITE_P(Speeds, BitRates,
                         ::testing::Values(BitRateCase{0, 5}, BitRateCase{1, 8}, BitRateCase{2, 10}));

// A board without a bus arbitrator of its own on a bus that a remote station arbitrates.
class RemoteArbitrator : public EngineOnMachine {};

TEST_F(RemoteArbitrator, CarriesTheBoardsTraffic) {
    sim::MachineDescription d = machineWithRemoteStation();
    sim::RemoteStationConfig ba;
    ba.name = "BA";
    ba.address = 9;
    ba.consumes = {kPeerOut};
    ba.arbitratorProgram = {"ID_DAT(200)", "ID_DAT(300)", "SEND_MSG(60)", "WAIT(A0)"};
    d.remoteStations.push_back(ba);
    boot(d);
    Network n = peerNetwork();
    n.variables.push_back({.identifier = kRemoteOut, .produced = false, .length = 2});
    n.messages = {{.source = kPeerOut, .destination = kRemoteOut, .transmitted = true}};
    const std::string file = writeNetwork(n, "no_ba");
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    EXPECT_EQ(START_BA(160 * 64), kErrNoBaMemory);
    ASSERT_EQ(variableIndex(kPeerOut), 1) << "after 0x0200";
    const std::array<std::uint8_t, 4> value = {9, 8, 7, 6};
    ASSERT_EQ(FIP_WRITE_VAR(1, value.data()), kSuccess);
    EXPECT_EQ(sendMessage(messageKey(kPeerOut, kRemoteOut), kPeerOut, kRemoteOut, {0x55}, false), kSuccess);

    machine().segment().run(2 * kCycle);
    EXPECT_EQ(machine().segment().arbitratingBoard(), std::nullopt);
    EXPECT_THAT(readVariable(0, 4).bytes, ElementsAre(kPduType, 2, 0, 8));
    const auto held = machine().segment().remoteValue(1, kPeerOut);
    ASSERT_TRUE(held);
    EXPECT_THAT(held->value, ElementsAre(9, 8, 7, 6));
    EXPECT_THAT(machine().segment().remoteMessages(kRemote),
                ElementsAre(Field(&sim::RemoteStation::Message::data, ElementsAre(0x55))));
    EXPECT_THAT(pollEvents(), ElementsAre(Field(&Event::kind, kMessageSent)));
}

// In interactive use the segment follows the wall clock on a thread of the simulator, while the
// application's calls reach the same card: the values move on their own.
class PacedSegment : public EngineOnMachine {};

TEST_F(PacedSegment, TheBusMovesUnderTheApplication) {
    boot(machineWithRemoteStation());
    const std::string file = writeNetwork(roadNetwork(), "paced");
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    machine().segment().startPaced(100.0);  // a macrocycle of 10 ms in 100 us
    std::uint8_t first = 0, last = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const Value v = readVariable(1, 4);
        if (v.code != kSuccess) continue;
        if (first == 0) first = v.bytes[3];
        last = v.bytes[3];
        if (static_cast<std::uint8_t>(last - first) >= 3) break;
    }
    EXPECT_EQ(STOP_BA(), kSuccess);
    machine().segment().stopPaced();
    EXPECT_GE(static_cast<std::uint8_t>(last - first), 3) << "the counter moved from " << int{first};
    std::uint8_t state = 0;
    EXPECT_EQ(BA_REPORT(&state), kSuccess);
    EXPECT_EQ(state, 9);
}

// The designer's older file format loads into the same tables and drives the same bus.
class Format3File : public EngineOnMachine {};

TEST_F(Format3File, DrivesTheSameBus) {
    boot(machineWithRemoteStation());
    const std::string file = writeNetwork(roadNetwork(), "road3", records::Format::v3);
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    EXPECT_EQ(variableIndex(kRemoteOut), 1);
    EXPECT_EQ(messageKey(kLocalOut, kRemoteOut), 16 + 64) << "format 3 tables of 16";
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    const std::array<std::uint8_t, 2> value = {0x0F, 0x03};
    ASSERT_EQ(FIP_WRITE_VAR(0, value.data()), kSuccess);
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    machine().segment().run(2 * kCycle);
    const Value v = readVariable(1, 5);
    EXPECT_EQ(v.code, kSuccess);
    EXPECT_THAT(v.bytes, ElementsAre(kPduType, 2, 0, 8, kRefreshedByte));
    EXPECT_EQ(v.status, kPromptStatus);
    ASSERT_TRUE(machine().segment().remoteValue(kRemote, kLocalOut));
    EXPECT_THAT(machine().segment().remoteValue(kRemote, kLocalOut)->value, ElementsAre(0x0F, 0x03));
}

// A single-medium PC104 board has no medium register for the engine: its card's error counters
// (card pages 3 and 129) tell MEDIUM_CONTROL that the medium fails.
class SingleMediumBoard : public EngineOnMachine {};

TEST_F(SingleMediumBoard, ReportsAFailingMediumThroughItsCounters) {
    sim::MachineDescription d = machineWithRemoteStation();
    sim::Pc104BoardConfig board;
    board.configurationWord = sim::kPc104SingleMediumWord;
    board.dualMedium = false;
    d.boards = {board};
    boot(d);
    const std::string file = writeNetwork(roadNetwork(), "single");
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    const auto medium = [](std::uint8_t command = 0) {
        std::uint8_t status = 0;
        EXPECT_EQ(MEDIUM_CONTROL(command, &status), kSuccess);
        return status;
    };
    machine().segment().run(kCycle);
    EXPECT_EQ(medium(), 0x01) << "no counter moved";

    machine().segment().setMediumFault(0, 1, true);
    machine().segment().run(kCycle);
    EXPECT_EQ(medium(), 0x45) << "transmission and reception counters moved";
    machine().segment().run(3 * kCycle);
    EXPECT_EQ(readVariable(1, 5).status, 0x80) << "off the bus: promptness ran out";

    machine().segment().setMediumFault(0, 1, false);
    medium(1);
    machine().segment().run(kCycle);
    EXPECT_EQ(medium(), 0x01);
    EXPECT_EQ(readVariable(1, 5).status, kPromptStatus);
}

INSTANTIATE_TEST_SUITE_P(Boards, MainRoad,
                         ::testing::Values(RoadCase{"Pci", kBoardPci, kBoardPc104, 0},
                                           RoadCase{"Pc104", kBoardPc104, kBoardPci, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvix::testing
