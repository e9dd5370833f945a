#include "sim/segment/bus_arbitrator.h"

#include <gtest/gtest.h>

#include <string>

namespace sim {
namespace {

constexpr std::uint16_t kStart = 0x2800;

// Records what the arbitrator asks for; every scan takes 10 us.
class RecordingBus : public ArbitratedBus {
public:
    std::vector<std::string> calls;
    Nanoseconds scanVariable(std::uint16_t id) override { return record("dat " + std::to_string(id)); }
    Nanoseconds scanMessage(std::uint16_t id) override { return record("msg " + std::to_string(id)); }
    Nanoseconds serveMessages(Nanoseconds room) override { return record("msgwnd " + std::to_string(room)); }
    Nanoseconds serveAperiodic(Nanoseconds room) override { return record("aperwnd " + std::to_string(room)); }
    void suspended(std::uint16_t n, std::uint16_t block) override {
        record("suspend " + std::to_string(n) + " at " + std::to_string(block));
    }

private:
    Nanoseconds record(std::string call) {
        calls.push_back(std::move(call));
        return 10000;
    }
};

BusTiming timing() { return busTiming(BusSettings{BitRate::k1M, false, 14, 22, 0, true}); }  // unit 62.5 us

BusArbitrator arbitrator(const std::vector<std::string>& lines) {
    std::vector<std::uint16_t> memory(kStart, 0);
    const auto words = programWords(lines);
    memory.insert(memory.end(), words.begin(), words.end());
    return BusArbitrator(std::move(memory), kStart, timing());
}

TEST(ProgramWords, MacroLinesGiveTheAssemblersWords) {
    EXPECT_EQ(programWords({"ID_DAT(0100)", "SEND_APER(0100)"}),
              (std::vector<std::uint16_t>{0x7030, 0x0100, 0, 0x1005, 0x1002}));
    EXPECT_EQ(programWords({"ID_MSG(a)", "WAIT(C8)", "NEXT_MACRO_2(5)"}),
              (std::vector<std::uint16_t>{0x1050, 0xA, 0, 0xC86, 0xC82, 0xC82}));
    // Unreadable lines are left out; SUSPEND pads its 16-word block.
    const auto words = programWords({"JUMP(1)", "WAIT", "WAIT(10000)", "ID_DAT(1)", "SUSPEND(2)", "ID_DAT(3)"});
    ASSERT_EQ(words.size(), 20u);
    EXPECT_EQ(words[3], 0x27);
    EXPECT_EQ(words[4], 0);
    EXPECT_EQ(words[16], 0x7030);
}

TEST(BusArbitrator, WaitEndsTheElementaryCycleAtItsDate) {
    RecordingBus bus;
    BusArbitrator ba = arbitrator({"ID_DAT(1)", "ID_DAT(2)", "WAIT(10)"});  // WAIT until 16 units = 1 ms
    Nanoseconds now = 0;
    for (int i = 0; i < 4; ++i) now += ba.step(bus, now);
    EXPECT_EQ(now, 1000000u + timing().bit);  // two scans, WAIT, then the closing word's bit time
    EXPECT_EQ(ba.macrocycles(), 1u);
    for (int i = 0; i < 3; ++i) now += ba.step(bus, now);
    EXPECT_EQ(now, 2000000u);  // the next cycle started at the closing word
    EXPECT_EQ(bus.calls, (std::vector<std::string>{"dat 1", "dat 2", "dat 1", "dat 2"}));
}

TEST(BusArbitrator, WindowsGetTheTimeLeftUntilTheirDate) {
    RecordingBus bus;
    BusArbitrator ba = arbitrator({"ID_DAT(1)", "SEND_MSG(10)", "SEND_APER(1)"});
    Nanoseconds now = 0;
    for (int i = 0; i < 3; ++i) now += ba.step(bus, now);
    // The message window ends at 16 x 62.5 us = 1 ms, the aperiodic window one unit
    // (62.5 us) after the cycle started.
    EXPECT_EQ(bus.calls, (std::vector<std::string>{"dat 1", "msgwnd 990000", "aperwnd 42500"}));
}

TEST(BusArbitrator, SuspendStopsUntilContinue) {
    RecordingBus bus;
    BusArbitrator ba = arbitrator({"SUSPEND(7)", "ID_DAT(5)"});
    Nanoseconds now = 0;
    now += ba.step(bus, now);
    EXPECT_TRUE(ba.isSuspended());
    EXPECT_EQ(ba.state(), ba::kPending);
    EXPECT_EQ(ba.step(bus, now), 0u);
    ba.resume(0);
    now += ba.step(bus, now);
    EXPECT_EQ(bus.calls, (std::vector<std::string>{"suspend 7 at 10240", "dat 5"}));
}

TEST(BusArbitrator, NextMacro1AndChangeSwitchPrograms) {
    RecordingBus bus;
    // Program 1 at 0x2800 jumps to the program at 0x2840; that one repeats itself.
    std::vector<std::uint16_t> memory(kStart, 0);
    auto first = programWords({"ID_DAT(1)", "NEXT_MACRO_1(284)"});
    first.resize(64, 0);
    const auto second = programWords({"ID_DAT(2)"});
    memory.insert(memory.end(), first.begin(), first.end());
    memory.insert(memory.end(), second.begin(), second.end());
    BusArbitrator ba(memory, kStart, timing());
    Nanoseconds now = 0;
    for (int i = 0; i < 6; ++i) now += ba.step(bus, now);
    EXPECT_EQ(bus.calls, (std::vector<std::string>{"dat 1", "dat 2", "dat 2"}));
    ba.change(kStart | 0x3);  // the low bits are not part of the address
    for (int i = 0; i < 3; ++i) now += ba.step(bus, now);
    EXPECT_EQ(bus.calls.back(), "dat 1");
}

}  // namespace
}  // namespace sim
