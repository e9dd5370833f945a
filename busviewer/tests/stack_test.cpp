// The bus viewer over the real engine, the drivers and the simulated machine: an application's
// road through the exports, many threads over many boards, the LED rule and stops that race
// with calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "faultra.h"
#include "network_file.h"
#include "sim/machine/machine.h"
#include "spectrel.h"
#include "stop_race.h"

namespace {

using ::testing::ElementsAre;
using corvix::testing::Network;
using spectrel_testing::CallOutcome;
using spectrel_testing::StopRace;
using spectrel_testing::raceCallsWithStop;

constexpr std::uint32_t kNotStarted = 0x3000002B;
constexpr std::uint32_t kBoardNotOpened = 0x30000001;
constexpr std::uint16_t kProduced = 0x0100;

class BusViewerOnMachine : public ::testing::Test {
protected:
    void boot(const sim::MachineDescription& description = sim::defaultMachine()) {
        machine_ = &sim::bootMachine(description);
    }
    void SetUp() override { boot(); }
    // Slots live for the process: stop every one before the machine goes.
    void TearDown() override {
        for (std::int32_t slot = 0; slot < 12; ++slot) SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr);
        sim::shutdownMachine();
    }
    sim::Machine& machine() { return *machine_; }

    static std::int32_t start(std::uint16_t number, std::uint32_t type) {
        std::int32_t slot = -1;
        std::array<char, 256> text{};
        std::uint32_t needed = 0;
        EXPECT_EQ(SPX_START_FIP_ENGINE(number, type, &slot, text.data(), text.size(), &needed), 0u) << text.data();
        return slot;
    }

    qbase::VirtualClock clock;

private:
    sim::Machine* machine_ = nullptr;
};

struct Read {
    std::uint32_t code;
    std::vector<std::uint8_t> bytes;
};

Read read(std::int32_t slot, std::uint16_t index, std::size_t bytes) {
    std::array<std::uint8_t, 128> data{};
    std::uint8_t status = 0;
    Read r{SPX_FIP_READ_VAR(slot, index, data.data(), &status, nullptr, 0, nullptr), {}};
    r.bytes.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(bytes));
    return r;
}

Network producerNetwork() {
    Network n;
    n.variables = {{.identifier = kProduced, .produced = true, .length = 2}};
    n.program = {"ID_DAT(100)", "WAIT(A0)"};
    return n;
}

TEST_F(BusViewerOnMachine, AnApplicationDownloadsStartsTheArbitratorAndReadsItsVariableFromAnyThread) {
    const std::string file = corvix::testing::writeNetwork(producerNetwork(), "producer");
    const std::int32_t slot = start(1, 0);
    ASSERT_EQ(slot, 0);
    ASSERT_EQ(SPX_DOWNLOAD_CNF(slot, file.c_str(), nullptr, 0, nullptr), 0u);
    std::int16_t index = -1, length = 0;
    std::uint8_t flags = 0;
    char name[33] = {};
    ASSERT_EQ(SPX_FIND_VAR_BY_ID(slot, kProduced, &index, name, &length, &flags), 1u);
    EXPECT_STREQ(name, "V0100");
    EXPECT_EQ(length, 2);
    std::uint16_t identifier = 0;
    EXPECT_EQ(SPX_FIND_VAR_BY_NAME(slot, "V0100", &index, &identifier, &length, &flags), 1u);
    EXPECT_EQ(identifier, kProduced);

    std::int16_t program1 = 0, program2 = 0;
    EXPECT_EQ(SPX_GET_BA_PROGRAM_ADDR(slot, &program1, &program2), 0u);
    EXPECT_EQ(program1, 160 * 64);
    EXPECT_EQ(SPX_START_BA(slot, static_cast<std::uint16_t>(program1), nullptr, 0, nullptr), 0u);
    std::uint8_t state = 0;
    EXPECT_EQ(SPX_BA_REPORT(slot, &state, nullptr, 0, nullptr), 0u);
    EXPECT_NE(state, 9) << "the arbitrator runs";

    const std::array<std::uint8_t, 2> value = {0x12, 0x34};
    ASSERT_EQ(SPX_FIP_WRITE_VAR(slot, static_cast<std::uint16_t>(index), value.data(), nullptr, 0, nullptr), 0u);
    Read fromOther;
    std::thread([&] { fromOther = read(slot, static_cast<std::uint16_t>(index), 4); }).join();
    EXPECT_EQ(fromOther.code, 0u);
    EXPECT_THAT(fromOther.bytes, ElementsAre(0x12, 0x34, 0, 0)) << "the produced value as written";

    std::uint32_t pciSlot = 0;
    EXPECT_EQ(SPX_GETSLOTCARD(slot, &pciSlot, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(pciSlot, 1u);
    EXPECT_EQ(SPX_STOP_BA(slot, nullptr, 0, nullptr), 0u);

    std::array<char, 256> text{};
    std::uint32_t needed = 0;
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(slot, text.data(), text.size(), &needed), 0u);
    EXPECT_EQ(read(slot, 0, 2).code, kNotStarted);
    EXPECT_EQ(SPX_BA_REPORT(slot, &state, text.data(), text.size(), &needed), kNotStarted);
    EXPECT_STREQ(text.data(), "FIP Network not started.\n");

    // Stopped and started again: the same slot, and the board answers again.
    EXPECT_EQ(start(1, 0), slot);
    EXPECT_EQ(SPX_BA_REPORT(slot, &state, nullptr, 0, nullptr), 0u);
}

// Eight boards on the machine: slots 0..3 and 4..7 start, the USB slots 8..11 find no board.
TEST_F(BusViewerOnMachine, TwoHundredConcurrentCallsOverTwelveSlotsEachGetTheirOwnBoardsValue) {
    boot(sim::parseMachineDescription(R"({"boards": [{"type": "pci"}, {"type": "pci"}, {"type": "pci"},
        {"type": "pci"}, {"type": "pc104"}, {"type": "pc104"}, {"type": "pc104"}, {"type": "pc104"}]})"));
    for (std::int32_t slot = 0; slot < 12; ++slot) {
        std::int32_t out = -1;
        const std::uint32_t result =
            SPX_START_FIP_ENGINE(static_cast<std::uint16_t>(slot % 4 + 1), static_cast<std::uint32_t>(slot / 4), &out,
                                 nullptr, 0, nullptr);
        EXPECT_EQ(out, slot);
        if (slot < 8)
            EXPECT_EQ(result, 0u) << slot;
        else
            EXPECT_NE(result, 0u) << slot;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        machine().pciBoard(i).card().setVariableValue(0, {0x10, static_cast<std::uint8_t>(i)});
        machine().pc104Board(i).card().setVariableValue(0, {0x20, static_cast<std::uint8_t>(i)});
    }

    constexpr int kThreads = 20, kCallsEach = 10;
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t)
        callers.emplace_back([&, t] {
            for (int i = 0; i < kCallsEach; ++i) {
                const std::int32_t slot = (t * kCallsEach + i) % 12;
                const Read r = read(slot, 0, 2);
                const bool right = slot < 8 ? r.code == 0 && r.bytes == std::vector<std::uint8_t>{
                                                                      static_cast<std::uint8_t>(slot < 4 ? 0x10 : 0x20),
                                                                      static_cast<std::uint8_t>(slot % 4)}
                                            : r.code == kNotStarted;
                if (!right) ++wrong;
            }
        });
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(BusViewerOnMachine, LedCallsReachABoardThatAStartedSlotHoldsThroughItsWorker) {
    const std::int32_t pci = start(1, 0);
    start(1, 1);
    std::int32_t on = -1;
    // The PC104 board of a started slot (its worker holds it).
    EXPECT_EQ(SPX_SET_LED_STATE(1, 1, 2, 1, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_GET_LED_STATE(1, 1, 2, &on, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(on, 1);
    // The PCI board admits one handle: the worker's. A call on this thread cannot open it, the
    // worker's call reaches the board, whose driver refuses LED requests.
    constexpr std::uint32_t kRefusedByDriver = 1;  // ERROR_INVALID_FUNCTION
    std::uint32_t direct = 0;
    EXPECT_EQ(GetLedState(0, 1, 2, &direct), kBoardNotOpened);
    EXPECT_EQ(SPX_GET_LED_STATE(0, 1, 2, &on, nullptr, 0, nullptr), kRefusedByDriver);
    EXPECT_EQ(SPX_SET_LED_STATE(0, 1, 2, 1, nullptr, 0, nullptr), kRefusedByDriver);

    // Stopped: the call opens the board on the calling thread.
    ASSERT_EQ(SPX_STOP_FIP_ENGINE(pci, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_GET_LED_STATE(0, 1, 2, &on, nullptr, 0, nullptr), kRefusedByDriver);
    EXPECT_EQ(SPX_GET_LED_STATE(0, 2, 0, &on, nullptr, 0, nullptr), kBoardNotOpened) << "no second PCI board";
    EXPECT_EQ(SPX_GET_LED_STATE(1, 1, 8, &on, nullptr, 0, nullptr), 87u) << "no LED 8";
}

TEST_F(BusViewerOnMachine, CallsRacingWithAStopGetTheBoardsAnswerOrNotStartedAndTheBoardIsReleased) {
    const std::int32_t slot = start(1, 0);
    machine().pciBoard(0).card().setVariableValue(0, {0xAB, 0xCD});
    const StopRace race = raceCallsWithStop(slot, 4, 50, std::chrono::milliseconds(1), [slot] {
        const Read r = read(slot, 0, 2);
        if (r.code == kNotStarted) return CallOutcome::refused;
        return r.code == 0 && r.bytes == std::vector<std::uint8_t>{0xAB, 0xCD} ? CallOutcome::right
                                                                               : CallOutcome::wrong;
    });
    EXPECT_EQ(race.stopResult, 0u);
    EXPECT_EQ(race.undefined, 0);
    EXPECT_GT(race.refused, 0);
    // The worker closed the board: this thread can open it.
    EXPECT_EQ(START_FIP_ENGINE(1, 0), 0u);
    EXPECT_EQ(STOP_FIP_ENGINE(), 0u);
}

TEST_F(BusViewerOnMachine, ConcurrentFirstStartsShareOneWorkerThatHoldsTheBoard) {
    std::vector<std::thread> starters;
    std::atomic<int> succeeded{0};
    for (int t = 0; t < 6; ++t)
        starters.emplace_back([&] {
            std::int32_t slot = -1;
            if (SPX_START_FIP_ENGINE(1, 1, &slot, nullptr, 0, nullptr) == 0) ++succeeded;
            EXPECT_EQ(slot, 4);
        });
    for (std::thread& t : starters) t.join();
    EXPECT_EQ(succeeded.load(), 6) << "a start of the board the worker holds keeps it";
    machine().pc104Board(0).card().setVariableValue(0, {0x42});
    EXPECT_THAT(read(4, 0, 1).bytes, ElementsAre(0x42));
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(4, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(read(4, 0, 1).code, kNotStarted);
}

TEST_F(BusViewerOnMachine, DeviceRecordsListTheMachinesBoardsAndWhichAreHeld) {
    start(1, 1);
    std::uint16_t count = 0;
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_COUNT(&count, nullptr, 0, nullptr), 0u);
    ASSERT_EQ(count, 3);
    std::array<std::uint8_t, 34> bytes;
    bytes.fill(0xEE);
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_INFO(count, reinterpret_cast<SpxDeviceRecord*>(bytes.data()), nullptr, 0, nullptr),
              0u);
    EXPECT_THAT(bytes, ElementsAre(0, 0, 0, 0, 1, 0, 0, 0, 0, 0,  // PCI board 1, free
                                   1, 0, 0, 0, 1, 0, 1, 0, 0, 0,  // PC104 board 1, held by slot 4
                                   2, 0, 0, 0, 1, 0, 0, 0, 0, 0,  // USB board 1, free
                                   0xEE, 0xEE, 0xEE, 0xEE));
}

TEST_F(BusViewerOnMachine, BadArgumentsGetACodeAndTouchNothing) {
    const std::string file = corvix::testing::writeNetwork(producerNetwork(), "producer");
    const std::int32_t slot = start(1, 1);
    ASSERT_EQ(SPX_DOWNLOAD_CNF(slot, file.c_str(), nullptr, 0, nullptr), 0u);
    constexpr std::uint32_t kInvalid = 87;
    std::array<std::uint8_t, 128> data{};
    std::uint8_t byte = 0;
    std::uint16_t word = 0;
    struct Case {
        const char* what;
        std::uint32_t result, expected;
    };
    const Case cases[] = {
        {"read without data", SPX_FIP_READ_VAR(slot, 0, nullptr, &byte, nullptr, 0, nullptr), kInvalid},
        {"read without status", SPX_FIP_READ_VAR(slot, 0, data.data(), nullptr, nullptr, 0, nullptr), kInvalid},
        {"write without data", SPX_FIP_WRITE_VAR(slot, 0, nullptr, nullptr, 0, nullptr), kInvalid},
        {"write of no variable", SPX_FIP_WRITE_VAR(slot, 999, data.data(), nullptr, 0, nullptr), kInvalid},
        {"report without state", SPX_BA_REPORT(slot, nullptr, nullptr, 0, nullptr), kInvalid},
        {"medium without status", SPX_MEDIUM_CONTROL(slot, 0, nullptr, nullptr, 0, nullptr), kInvalid},
        {"events without pending", SPX_IS_EVENT(slot, nullptr, nullptr, 0, nullptr), kInvalid},
        {"event without outputs", SPX_READ_EVENT(slot, nullptr, &byte, &byte, &byte, &word, nullptr, 0, nullptr),
         kInvalid},
        {"message without outputs",
         SPX_FIP_READ_MSG(slot, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr),
         kInvalid},
        {"queue without count", SPX_GET_TRANSMISSION_QUEUE(slot, 0, nullptr, 4, nullptr, nullptr, 0, nullptr),
         kInvalid},
        {"slot card without output", SPX_GETSLOTCARD(slot, nullptr, nullptr, 0, nullptr), kInvalid},
        {"download without path", SPX_DOWNLOAD_CNF(slot, nullptr, nullptr, 0, nullptr), 0x30000002},
        {"lookup without name", SPX_FIND_MSG_BY_NAME(slot, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0},
        {"lookup without outputs", SPX_FIND_VAR_BY_ID(slot, kProduced, nullptr, nullptr, nullptr, nullptr), 1},
        {"count without output", SPX_GET_ACTIVE_DEVICES_COUNT(nullptr, nullptr, 0, nullptr), kInvalid},
        {"stop of a slot out of range", SPX_STOP_FIP_ENGINE(-3, nullptr, 0, nullptr), kNotStarted},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
    // The slot still serves.
    EXPECT_EQ(SPX_FIP_WRITE_VAR(slot, 0, data.data(), nullptr, 0, nullptr), 0u);
    EXPECT_EQ(read(slot, 0, 2).code, 0u);
}

// The configuration file of the example under examples/: the board produces one variable.
TEST(ExampleConfiguration, IsTheFileThatTheRecordsLibraryWritesForTheExamplesNetwork) {
    Network n;
    n.variables = {{.identifier = kProduced, .produced = true, .length = 2}};
    const std::vector<std::uint8_t> expected =
        records::encode_format4(corvix::testing::configurationOf(n));
    std::ifstream in(QUORELLE_EXAMPLES_DIR "/read_variable.cnf", std::ios::binary);
    const std::vector<std::uint8_t> stored{std::istreambuf_iterator<char>(in), {}};
    if (stored != expected) {
        std::ofstream(::testing::TempDir() + "read_variable.cnf", std::ios::binary)
            .write(reinterpret_cast<const char*>(expected.data()), static_cast<std::streamsize>(expected.size()));
        ADD_FAILURE() << "examples/read_variable.cnf differs; the records library's file is "
                      << ::testing::TempDir() << "read_variable.cnf";
    }
}

}  // namespace
