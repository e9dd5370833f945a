// A network of a hundred and more variables at 2.5 Mbit/s through the engine's download: a table of
// 128 slots of which the first repeat the first variable, descriptors over several pages, and every
// variable reaching its consumers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "board_device.h"
#include "engine_calls.h"
#include "road_network.h"
#include "stack_fixture.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;

constexpr std::uint16_t kConsumed = 100, kProduced = 10;
constexpr std::uint16_t kRemoteBase = 0x1000, kLocalBase = 0x2000;

std::string idDat(std::uint16_t identifier) {
    char line[16];
    std::snprintf(line, sizeof line, "ID_DAT(%X)", identifier);
    return line;
}

class LargeNetwork : public EngineOnMachine {};

TEST_F(LargeNetwork, EveryVariableReachesItsConsumers) {
    sim::MachineDescription d = sim::defaultMachine();
    sim::RemoteStationConfig remote;
    remote.name = "R3";
    remote.address = 3;
    Network n;
    n.speed = 2;
    for (std::uint16_t i = 0; i < kConsumed; ++i) {
        const auto id = static_cast<std::uint16_t>(kRemoteBase + i);
        remote.produces.push_back({.identifier = id, .length = 2, .generator = {.start = i}});
        n.variables.push_back({.identifier = id, .produced = false, .length = 2});
        n.program.push_back(idDat(id));
    }
    for (std::uint16_t i = 0; i < kProduced; ++i) {
        const auto id = static_cast<std::uint16_t>(kLocalBase + i);
        remote.consumes.push_back(id);
        n.variables.push_back({.identifier = id, .produced = true, .length = 2});
        n.program.push_back(idDat(id));
    }
    n.program.push_back("WAIT(190)");  // 400 units of 50 us
    d.remoteStations = {remote};
    boot(d);
    const std::string file = writeNetwork(n, "large");
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    for (std::uint16_t i = 0; i < kProduced; ++i) {
        const std::array<std::uint8_t, 2> value = {0xB0, static_cast<std::uint8_t>(i)};
        ASSERT_EQ(FIP_WRITE_VAR(static_cast<std::uint16_t>(kConsumed + i), value.data()), kSuccess);
    }
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    machine().segment().run(50 * kMs);

    for (std::uint16_t i = 0; i < kConsumed; ++i) {
        const Value v = readVariable(i, 4);
        ASSERT_EQ(v.code, kSuccess) << i;
        EXPECT_THAT(v.bytes, ElementsAre(kPduType, 2, i, i)) << i;
    }
    for (std::uint16_t i = 0; i < kProduced; ++i) {
        const auto held = machine().segment().remoteValue(0, static_cast<std::uint16_t>(kLocalBase + i));
        ASSERT_TRUE(held) << i;
        EXPECT_THAT(held->value, ElementsAre(0xB0, i));
    }
    const sim::SegmentCounters c = machine().segment().counters();
    EXPECT_EQ(c.silences, 0u);
    EXPECT_EQ(c.macrocycles, 2u) << "20 ms each";
}

}  // namespace
}  // namespace corvix::testing
