#include "sim/segment/remote_station_description.h"

#include <gtest/gtest.h>

#include "sim/machine/machine.h"
#include "sim/segment/tests/card_image.h"

namespace sim {
namespace {

TEST(RemoteStationDescription, FullStation) {
    const auto stations = parseRemoteStations(R"j([
      { "name": "R5", "address": 5, "presence": false,
        "produces": [ { "identifier": "0x200", "length": 4, "pduType": "0x41",
                        "generator": { "kind": "ramp", "start": 1, "step": "2", "limit": 9 } } ],
        "consumes": [ "0x100", 257 ],
        "sends": [ { "source": "0x200", "destination": "0x100", "length": 3, "period": 4,
                     "generator": { "kind": "counter", "start": 9 } } ],
        "arbitrator": { "program": [ "ID_DAT(200)", "WAIT(A0)" ], "bitRate": "2.5M", "turnaround": 10,
                        "silence": 5, "slot": 2 } },
      { } ])j");
    ASSERT_EQ(stations.size(), 2u);
    const RemoteStationConfig& r = stations[0];
    EXPECT_EQ(r.name, "R5");
    EXPECT_EQ(r.address, 5);
    EXPECT_FALSE(r.presence);
    ASSERT_EQ(r.produces.size(), 1u);
    EXPECT_EQ(r.produces[0].identifier, 0x200);
    EXPECT_EQ(r.produces[0].length, 4);
    EXPECT_EQ(r.produces[0].pduType, 0x41);
    EXPECT_EQ(r.produces[0].generator.kind, ValueGenerator::Kind::Ramp);
    EXPECT_EQ(r.produces[0].generator.step, 2u);
    EXPECT_EQ(r.consumes, (std::vector<std::uint16_t>{0x100, 0x101}));
    ASSERT_EQ(r.sends.size(), 1u);
    EXPECT_EQ(r.sends[0].source, 0x200);
    EXPECT_EQ(r.sends[0].destination, 0x100);
    EXPECT_EQ(r.sends[0].length, 3);
    EXPECT_EQ(r.sends[0].period, 4u);
    EXPECT_EQ(r.sends[0].generator.start, 9u);
    EXPECT_EQ(r.arbitratorProgram.size(), 2u);
    EXPECT_EQ(r.bus.bitRate, BitRate::k2M5);
    EXPECT_EQ(r.bus.slotIndex, 2);
    EXPECT_EQ(stations[1].name, "remote 2");
    EXPECT_TRUE(stations[1].arbitratorProgram.empty());
}

class BadStation : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(BadStation, IsRefusedNamingTheField) {
    const auto& [text, field] = GetParam();
    try {
        parseRemoteStations(text);
        FAIL() << "accepted " << text;
    } catch (const DescriptionError& e) {
        EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadStation,
    ::testing::Values(std::pair{"{}", "remoteStations"}, std::pair{R"([{"colour": 1}])", "unknown field \"colour\""},
                      std::pair{R"([{"address": 256}])", "remoteStations[0].address"},
                      std::pair{R"([{"address": 1}, {"address": 1}])", "remoteStations[1].address"},
                      std::pair{R"([{"produces": [{"length": 2}]}])", "produces[0]"},
                      std::pair{R"([{"produces": [{"identifier": 1, "length": 0}]}])", "produces[0].length"},
                      std::pair{R"([{"produces": [{"identifier": 1, "generator": {"kind": "sine"}}]}])", "generator.kind"},
                      std::pair{R"([{"consumes": ["-1"]}])", "consumes[0]"},
                      std::pair{R"([{"arbitrator": {"program": []}}])", "arbitrator.program"},
                      std::pair{R"j([{"arbitrator": {"program": ["WAIT(1)"], "bitRate": "9M"}}])j", "arbitrator.bitRate"},
                      std::pair{R"([{"presence": 1}])", "presence"},
                      std::pair{R"([{"sends": [{"source": 1}]}])", "sends[0]"},
                      std::pair{R"([{"sends": [{"source": 1, "destination": 2, "length": 253}]}])", "sends[0].length"},
                      std::pair{R"([{"sends": [{"source": 1, "destination": 2, "period": 0}]}])", "sends[0].period"},
                      std::pair{R"([{"produces": [{"identifier": 1, "generator": {"kind": "bytes"}}]}])", "needs \"bytes\""},
                      std::pair{R"([{"produces": [{"identifier": 1, "generator": {"bytes": [1]}}]}])", "generator.bytes"},
                      std::pair{R"([{"produces": [{"identifier": 1, "length": 2, "generator": {"kind": "bytes", "bytes": [1, 2, 3]}}]}])",
                                "more bytes than the length 2"},
                      std::pair{R"([{"produces": [{"identifier": 1, "generator": {"kind": "bytes", "bytes": [256]}}]}])",
                                "generator.bytes[0]"}));

// The address plan an arbitrator publishes: fixed bytes, zeros after them up to the length.
TEST(RemoteStationDescription, FixedBytesGenerator) {
    const auto stations = parseRemoteStations(R"j([
      { "produces": [ { "identifier": "0x9002", "length": 34, "pduType": "0x50",
                        "generator": { "kind": "bytes", "bytes": [ "0x80", 32, "0x62" ] } } ] } ])j");
    const ValueGenerator& g = stations.at(0).produces.at(0).generator;
    EXPECT_EQ(g.kind, ValueGenerator::Kind::Bytes);
    EXPECT_EQ(g.bytes, (std::vector<std::uint8_t>{0x80, 0x20, 0x62}));
    RemoteStation station(stations[0]);
    const auto frame = station.produce(0x9002);
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), 36u);
    EXPECT_EQ((std::vector<std::uint8_t>(frame->begin(), frame->begin() + 5)), (std::vector<std::uint8_t>{0x50, 34, 0x80, 0x20, 0x62}));
    EXPECT_EQ(station.produce(0x9002), frame) << "the same value every time";
}

TEST(RemoteStationDescription, MachineBootPutsBoardsAndStationsOnOneSegment) {
    MachineDescription description = parseMachineDescription(R"j({
      "boards": [ { "type": "pci" } ],
      "remoteStations": [ { "address": 3, "produces": [ { "identifier": 16, "length": 1,
                            "generator": { "kind": "constant", "start": 66 } } ] } ] })j");
    EXPECT_THROW(parseMachineDescription(R"({"pacedSegment": "yes"})"), DescriptionError);
    Machine& machine = bootMachine(description);
    CardModel& card = machine.pciBoard(0).card();
    testing::ImageLayout layout;
    layout.variables = {{.identifier = 16, .produced = false, .length = 1}};
    layout.program = programWords({"ID_DAT(10)", "WAIT(10)"});
    testing::writeImage(card, layout);
    testing::startCircuit(card);
    testing::startBa(card);
    machine.segment().run(10000000);
    EXPECT_EQ(testing::readVar(card, 0).bytes, (std::vector<std::uint8_t>{0x40, 1, 66}));
    shutdownMachine();
}

}  // namespace
}  // namespace sim
