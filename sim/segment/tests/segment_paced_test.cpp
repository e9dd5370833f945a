#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/segment/segment.h"
#include "sim/segment/tests/card_image.h"

namespace sim {
namespace {

TEST(SegmentPaced, FollowsTheWallClockBesideStepsAndCardCommands) {
    CardModel card;
    testing::ImageLayout layout;
    layout.variables = {{.identifier = 0x10, .produced = false, .length = 1}};
    layout.program = programWords({"ID_DAT(10)", "WAIT(10)"});
    testing::writeImage(card, layout);
    testing::startCircuit(card);
    Segment segment;
    segment.attachBoard(card);
    RemoteStationConfig producer;
    producer.produces = {{.identifier = 0x10, .length = 1, .generator = {.kind = ValueGenerator::Kind::Counter}}};
    segment.addRemoteStation(producer);
    testing::startBa(card);

    segment.startPaced(100.0);
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i) testing::readVar(card, 0);
    });
    segment.run(1000000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (segment.counters().macrocycles < 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    reader.join();
    segment.stopPaced();
    segment.stopPaced();  // a second stop does nothing
    EXPECT_GE(segment.counters().macrocycles, 20u);
    EXPECT_EQ(testing::readVar(card, 0).status, 0x20);
    const Nanoseconds stopped = segment.now();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(segment.now(), stopped);
}

// An elementary cycle that ends in a long WAIT runs past the slice that reached it; the bus still
// keeps to the wall clock over many cycles.
TEST(SegmentPaced, LongWaitsDoNotRunAheadOfTheWallClock) {
    Segment segment;
    RemoteStationConfig arbitrator;
    arbitrator.arbitratorProgram = {"WAIT(140)"};  // 20 ms at 1 Mbit/s
    segment.addRemoteStation(arbitrator);
    const auto start = std::chrono::steady_clock::now();
    segment.startPaced();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    segment.stopPaced();
    const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(segment.now(), static_cast<Nanoseconds>(wall) + 20000000);  // at most the cycle begun
    EXPECT_LE(segment.counters().macrocycles, static_cast<std::uint64_t>(wall / 20000000) + 1);
}

}  // namespace
}  // namespace sim
