// Two boards of the machine on one segment, each driven by an application thread with an engine of
// its own: they exchange a variable, and the bus passes from one arbitrator to the other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "board_device.h"
#include "engine_calls.h"
#include "engine_thread.h"
#include "road_network.h"
#include "stack_fixture.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;

constexpr std::uint16_t kFromPci = 0x0A00, kFromPc104 = 0x0B00;
constexpr std::size_t kPciOnSegment = 0, kPc104OnSegment = 1;
constexpr std::uint8_t kIdle = 11, kStopped = 9;

// Both boards can arbitrate, with the same program; each produces one variable (index 0 or 1 in
// identifier order) and consumes the other's.
Network boardNetwork(std::uint16_t produces, std::uint16_t consumes) {
    Network n;
    n.variables = {{.identifier = produces, .produced = true, .length = 2},
                   {.identifier = consumes, .produced = false, .length = 2}};
    n.program = {"ID_DAT(A00)", "ID_DAT(B00)", "WAIT(A0)"};
    return n;
}

class TwoBoards : public EngineOnMachine {
protected:
    void SetUp() override { boot(); }

    void start(EngineThread& thread, std::uint32_t type, std::uint16_t produces, std::uint16_t consumes) {
        const std::string file = writeNetwork(boardNetwork(produces, consumes), type == kBoardPci ? "pci" : "pc104");
        thread.run([&] {
            ASSERT_EQ(START_FIP_ENGINE(1, type), kSuccess);
            ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
            ASSERT_EQ(START_COMMUNICATION(), kSuccess);
            std::int16_t program1 = 0, program2 = 0;
            GET_BA_PROGRAM_ADDR(&program1, &program2);
            ASSERT_EQ(START_BA(static_cast<std::uint16_t>(program1)), kSuccess);
        });
    }
    static ErrorCode write(EngineThread& thread, std::uint16_t index, std::uint8_t a, std::uint8_t b) {
        return thread.run([&] {
            const std::array<std::uint8_t, 2> value = {a, b};
            return FIP_WRITE_VAR(index, value.data());
        });
    }
    static std::vector<std::uint8_t> read(EngineThread& thread, std::uint16_t index) {
        return thread.run([&] {
            const Value v = readVariable(index, 4);
            EXPECT_EQ(v.code, kSuccess);
            return v.bytes;
        });
    }
    static std::uint8_t baState(EngineThread& thread) {
        return thread.run([] {
            std::uint8_t state = 0;
            EXPECT_EQ(BA_REPORT(&state), kSuccess);
            return state;
        });
    }
    sim::Segment& segment() { return machine().segment(); }
};

TEST_F(TwoBoards, ExchangeAVariableAndHandTheBusOver) {
    EngineThread pciApp, pc104App;
    start(pciApp, kBoardPci, kFromPci, kFromPc104);
    start(pc104App, kBoardPc104, kFromPc104, kFromPci);
    // In identifier order: 0x0A00 is index 0 on both boards, 0x0B00 index 1.
    ASSERT_EQ(write(pciApp, 0, 0xA1, 0x01), kSuccess);
    ASSERT_EQ(write(pc104App, 1, 0xB1, 0x01), kSuccess);

    segment().run(kCycle);
    EXPECT_EQ(segment().arbitratingBoard(), kPciOnSegment);
    EXPECT_EQ(baState(pc104App), kIdle) << "another arbitrator runs the bus";
    EXPECT_THAT(read(pciApp, 1), ElementsAre(kPduType, 2, 0xB1, 0x01));
    EXPECT_THAT(read(pc104App, 0), ElementsAre(kPduType, 2, 0xA1, 0x01));

    ASSERT_EQ(write(pciApp, 0, 0xA1, 0x02), kSuccess);
    ASSERT_EQ(write(pc104App, 1, 0xB1, 0x02), kSuccess);
    segment().run(kCycle);
    EXPECT_THAT(read(pciApp, 1), ElementsAre(kPduType, 2, 0xB1, 0x02));
    EXPECT_THAT(read(pc104App, 0), ElementsAre(kPduType, 2, 0xA1, 0x02));

    // The PCI board's arbitrator stops: the PC104 board's takes the bus over.
    EXPECT_EQ(pciApp.run([] { return STOP_BA(); }), kSuccess);
    segment().run(kCycle);
    EXPECT_EQ(segment().arbitratingBoard(), kPc104OnSegment);
    EXPECT_EQ(baState(pciApp), kStopped);
    EXPECT_NE(baState(pc104App), kIdle);
    ASSERT_EQ(write(pciApp, 0, 0xA1, 0x03), kSuccess);
    ASSERT_EQ(write(pc104App, 1, 0xB1, 0x03), kSuccess);
    segment().run(2 * kCycle);
    EXPECT_THAT(read(pciApp, 1), ElementsAre(kPduType, 2, 0xB1, 0x03));
    EXPECT_THAT(read(pc104App, 0), ElementsAre(kPduType, 2, 0xA1, 0x03));

    // The PCI board's engine stops: the PC104 board goes on alone.
    EXPECT_EQ(pciApp.run([] { return STOP_FIP_ENGINE(); }), kSuccess);
    segment().run(kCycle);
    EXPECT_EQ(segment().arbitratingBoard(), kPc104OnSegment);
    EXPECT_EQ(pc104App.run([] { return STOP_FIP_ENGINE(); }), kSuccess);
    segment().run(kCycle);
    EXPECT_EQ(segment().arbitratingBoard(), std::nullopt);
}

}  // namespace
}  // namespace corvix::testing
