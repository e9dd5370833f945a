// The main road of an application, end to end on the simulated machine: start the engine on a
// board, download a configuration file that the records library wrote, start the bus and the
// bus arbitrator, exchange variables and messages with a remote station and with the machine's
// other board, poll the events, purge and stop; a failing medium. Every board runs on a thread of
// its own, with its own engine context; simulated bus time moves only when the test runs the segment.
// Built twice: over the engine library, and with the USB board reached through the FTDI transport
// (ROAD_OVER_FTDI) instead of the bulk USB one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "board_device.h"
#include "engine_calls.h"
#include "engine_thread.h"
#include "road_network.h"
#include "stack_fixture.h"
#ifdef ROAD_OVER_FTDI
#include "usb/transport_factory.h"
#include "usb/usb_ftd2xx_com.h"
#endif

namespace corvix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::UnorderedElementsAre;

struct RoadCase {
    const char* name;
    std::uint32_t board;  // BoardType of the board on the road
    std::uint32_t peer;   // the machine's other board
    std::size_t segmentBoard;
};

#ifdef ROAD_OVER_FTDI
// Every USB board object of the test takes the FTDI transport.
struct TransportChoice {
    TransportChoice()
        : previous(usb_transport::install(usb_transport::KIND_BULK_USB,
                                          [] { return boost::shared_ptr<CAbstractCom>(new CUsbFtd2xxCom); })) {}
    ~TransportChoice() { usb_transport::install(usb_transport::KIND_BULK_USB, previous); }
    usb_transport::Maker previous;
};
#else
struct TransportChoice {};
#endif

class MainRoad : public EngineOnMachine, public ::testing::WithParamInterface<RoadCase> {
protected:
    void SetUp() override { boot(machineWithRemoteStation()); }
    TransportChoice transport;
    sim::Segment& segment() { return machine().segment(); }

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
    road.run([] { return pollEvents(); });  // none so far; from here on, those of the exchange
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

    // Medium 2 alone in service, and it fails: medium 1, healthy but out of service, carries nothing.
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

#ifdef ROAD_OVER_FTDI
INSTANTIATE_TEST_SUITE_P(Boards, MainRoad, ::testing::Values(RoadCase{"UsbOverFtdi", kBoardUsb, kBoardPci, 2}),
                         [](const auto& info) { return std::string(info.param.name); });
#else
INSTANTIATE_TEST_SUITE_P(Boards, MainRoad,
                         ::testing::Values(RoadCase{"Pci", kBoardPci, kBoardPc104, 0},
                                           RoadCase{"Pc104", kBoardPc104, kBoardPci, 1},
                                           RoadCase{"Usb", kBoardUsb, kBoardPci, 2}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif

}  // namespace
}  // namespace corvix::testing
