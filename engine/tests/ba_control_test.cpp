// The bus arbitrator's two programs, as an application drives them through the engine: program 1
// suspends with an event, CONTINUE_BA goes on after the SUSPEND (at the event's identifier + 16,
// as the designer continues), and CHANGE_BA hands the bus to program 2 at the end of the macrocycle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "board_device.h"
#include "engine_calls.h"
#include "road_network.h"
#include "stack_fixture.h"

namespace corvix::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;

constexpr std::uint16_t kFirst = 0x0200, kSecond = 0x0210;
constexpr std::uint8_t kPending = 15;
constexpr std::uint16_t kProgram1 = 160 * 64;

class BaPrograms : public EngineOnMachine {
protected:
    void SetUp() override {
        sim::MachineDescription d = sim::defaultMachine();
        sim::RemoteStationConfig r;
        r.name = "R7";
        r.address = 7;
        r.produces = {{.identifier = kFirst, .length = 1, .generator = {.kind = sim::ValueGenerator::Kind::Counter}},
                      {.identifier = kSecond, .length = 1, .generator = {.kind = sim::ValueGenerator::Kind::Counter}}};
        d.remoteStations = {r};
        boot(d);
        Network n;
        n.variables = {{.identifier = kFirst, .produced = false, .length = 1},
                       {.identifier = kSecond, .produced = false, .length = 1}};
        n.program = {"ID_DAT(200)", "SUSPEND(2A)", "WAIT(A0)"};
        n.program2 = {"ID_DAT(210)", "WAIT(A0)"};
        const std::string file = writeNetwork(n, "programs");
        ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
        ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
        ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    }
    static std::uint8_t state() {
        std::uint8_t s = 0;
        EXPECT_EQ(BA_REPORT(&s), kSuccess);
        return s;
    }
    static std::uint8_t counter(std::uint16_t index) { return readVariable(index, 3).bytes[2]; }
    sim::Segment& segment() { return machine().segment(); }
};

TEST_F(BaPrograms, SuspendContinueAndChange) {
    std::int16_t program1 = 0, program2 = 0;
    GET_BA_PROGRAM_ADDR(&program1, &program2);
    EXPECT_EQ(program1, kProgram1);
    EXPECT_EQ(program2, kProgram1 + 64) << "the page after program 1";
    ASSERT_EQ(START_BA(static_cast<std::uint16_t>(program1)), kSuccess);

    segment().run(kCycle);
    EXPECT_EQ(state(), kPending);
    // ID_DAT takes words 0-2 of the program, SUSPEND word 3: the event names the block at word 0.
    const std::vector<Event> events = pollEvents();
    ASSERT_THAT(events, ElementsAre(AllOf(Field(&Event::kind, kBaEvent), Field(&Event::parameter, 0x2A),
                                          Field(&Event::identifier, kProgram1))));
    EXPECT_EQ(counter(0), 0);
    segment().run(kCycle);
    EXPECT_EQ(counter(0), 0) << "suspended: nothing scanned";

    ASSERT_EQ(CONTINUE_BA(0, static_cast<std::uint16_t>(events[0].identifier + 16)), kSuccess);
    segment().run(kCycle);
    EXPECT_EQ(counter(0), 1) << "on after the SUSPEND, round to the next one";
    EXPECT_EQ(state(), kPending);
    ASSERT_EQ(pollEvents().size(), 1u);

    ASSERT_EQ(CHANGE_BA(static_cast<std::uint16_t>(program2)), kSuccess);
    ASSERT_EQ(CONTINUE_BA(0, static_cast<std::uint16_t>(kProgram1 + 16)), kSuccess);
    segment().run(3 * kCycle);
    EXPECT_NE(state(), kPending) << "program 2 has no SUSPEND";
    EXPECT_EQ(counter(0), 1);
    EXPECT_GE(counter(1), 2);
    EXPECT_TRUE(pollEvents().empty());
    EXPECT_EQ(STOP_BA(), kSuccess);
}

}  // namespace
}  // namespace corvix::testing
