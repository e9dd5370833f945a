// Variants of the main road: the bit rate that paces the arbitrator, a bus run by a remote
// arbitrator, the paced segment of interactive use, a format-3 file and a single-medium board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "board_device.h"
#include "engine_calls.h"
#include "road_network.h"
#include "stack_fixture.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

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

// A bus that a remote station arbitrates: it carries the traffic of a board without an arbitrator
// of its own, and a board's arbitrator that starts stays on standby.
class RemoteArbitrator : public EngineOnMachine {
protected:
    void SetUp() override {
        sim::MachineDescription d = machineWithRemoteStation();
        sim::RemoteStationConfig ba;
        ba.name = "BA";
        ba.address = 9;
        ba.consumes = {kPeerOut};
        ba.arbitratorProgram = {"ID_DAT(200)", "ID_DAT(300)", "SEND_MSG(60)", "WAIT(A0)"};
        d.remoteStations.push_back(ba);
        boot(d);
    }
};

TEST_F(RemoteArbitrator, CarriesTheBoardsTraffic) {
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

TEST_F(RemoteArbitrator, KeepsTheBusWhenABoardsArbitratorStarts) {
    const std::string file = writeNetwork(roadNetwork(), "standby");
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    machine().segment().run(kCycle);
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    machine().segment().run(2 * kCycle);
    std::uint8_t state = 0;
    EXPECT_EQ(BA_REPORT(&state), kSuccess);
    EXPECT_EQ(state, 11) << "idle: another arbitrator runs the bus";
    EXPECT_EQ(machine().segment().arbitratingBoard(), std::nullopt);
    EXPECT_EQ(readVariable(1, 5).code, kSuccess) << "the remote arbitrator scans 0x0200";
    EXPECT_EQ(STOP_BA(), kSuccess);
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

}  // namespace
}  // namespace corvix::testing
