// The bus viewer over a recording fake engine: which thread runs each engine call, how many run
// at once, which calls are refused before reaching the engine, and what each caller gets back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "fake_engine.h"
#include "faultra.h"
#include "spectrel.h"
#include "stop_race.h"

namespace {

using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::Field;
using spectrel_testing::CallOutcome;
using spectrel_testing::StopRace;
using spectrel_testing::raceCallsWithStop;

constexpr std::uint32_t kNotStarted = 0x3000002B;
constexpr std::uint32_t kNoSlot = 0x30000029;
constexpr std::uint32_t kTooLong = 0x60000007;
constexpr std::uint32_t kEventKind = 0x30000014;
constexpr std::uint32_t kInvalidParameter = 87;

std::string textOf(std::uint32_t code) {
    std::uint32_t needed = 0;
    ERROR_MESSAGE(static_cast<std::int32_t>(code), nullptr, 0, &needed);
    std::string text(needed, '\0');
    ERROR_MESSAGE(static_cast<std::int32_t>(code), text.data(), needed, &needed);
    return text;
}

class Relay : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
    // Slots live for the process: leave every one stopped.
    void TearDown() override {
        fake::reset();
        for (std::int32_t slot = 0; slot < 12; ++slot) SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr);
    }
    static std::int32_t start(std::uint16_t number, std::uint32_t type) {
        std::int32_t slot = -1;
        EXPECT_EQ(SPX_START_FIP_ENGINE(number, type, &slot, nullptr, 0, nullptr), 0u);
        return slot;
    }

    qbase::VirtualClock clock;  // SPX_START_BA's waits pass at once
};

TEST_F(Relay, BoardsMapToTwelveSlotsAndOthersAreRefusedUntouched) {
    struct Case {
        std::uint16_t number;
        std::uint32_t type;
        std::int32_t slot;
    };
    for (const Case c : {Case{1, 0, 0}, Case{4, 0, 3}, Case{2, 1, 5}, Case{1, 2, 8}, Case{4, 2, 11}}) {
        std::int32_t slot = -1;
        EXPECT_EQ(SPX_START_FIP_ENGINE(c.number, c.type, &slot, nullptr, 0, nullptr), 0u);
        EXPECT_EQ(slot, c.slot) << c.number << "/" << c.type;
    }
    const auto starts = fake::callsNamed("START_FIP_ENGINE");
    ASSERT_EQ(starts.size(), 5u);
    EXPECT_EQ(starts[2].boardNumber, 2);
    EXPECT_EQ(starts[2].boardType, 1u);

    fake::reset();
    for (const Case c : {Case{0, 0, 0}, Case{5, 0, 0}, Case{9, 1, 0}, Case{1, 3, 0}, Case{1, 0xFFFFFFFF, 0}}) {
        std::int32_t slot = -7;
        std::array<char, 256> text{};
        std::uint32_t needed = 0;
        EXPECT_EQ(SPX_START_FIP_ENGINE(c.number, c.type, &slot, text.data(), text.size(), &needed), kNoSlot);
        EXPECT_EQ(slot, -7) << "no slot written";
        EXPECT_EQ(std::string(text.data()), textOf(kNoSlot).c_str());
    }
    EXPECT_TRUE(fake::calls().empty()) << "nothing started";
}

TEST_F(Relay, EachSlotRunsItsCallsOnOneWorkerOfItsOwnAcrossStopAndStart) {
    const std::int32_t pci = start(1, 0), pc104 = start(2, 1);
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([=] {
            std::array<std::uint8_t, 128> data{};
            std::uint8_t status = 0, state = 0;
            for (const std::int32_t slot : {pci, pc104}) {
                EXPECT_EQ(SPX_FIP_READ_VAR(slot, 1, data.data(), &status, nullptr, 0, nullptr), 0u);
                EXPECT_EQ(SPX_BA_REPORT(slot, &state, nullptr, 0, nullptr), 0u);
                EXPECT_EQ(SPX_PURGE(slot, 2, nullptr, 0, nullptr), 0u);
            }
        });
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(pci, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(start(1, 0), pci);
    std::uint8_t state = 0;
    EXPECT_EQ(SPX_BA_REPORT(pci, &state, nullptr, 0, nullptr), 0u);

    // One thread per slot, holding that slot's board for every call after its start.
    std::map<std::thread::id, std::set<std::pair<std::uint16_t, std::uint32_t>>> boardsByThread;
    for (const fake::Call& c : fake::calls()) {
        ASSERT_NE(c.thread, std::this_thread::get_id()) << c.name << " ran on the caller";
        auto& boards = boardsByThread[c.thread];
        if (c.name != "START_FIP_ENGINE") boards.insert({c.boardNumber, c.boardType});
    }
    ASSERT_EQ(boardsByThread.size(), 2u) << "the restarted slot keeps its worker";
    for (const auto& [thread, boards] : boardsByThread) {
        EXPECT_EQ(boards.size(), 1u);
        EXPECT_NE(boards.begin()->first, 0) << "a call on a thread without the board";
    }
}

TEST_F(Relay, TwoHundredConcurrentCallsOverTwelveSlotsRunOneAtATimeAndEachGetsItsOwnAnswer) {
    for (std::uint32_t type = 0; type < 3; ++type)
        for (std::uint16_t number = 1; number <= 4; ++number) start(number, type);
    fake::reset();
    fake::setCallDuration(std::chrono::microseconds(20));
    constexpr int kThreads = 20, kCallsEach = 10;
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t)
        callers.emplace_back([&, t] {
            for (int i = 0; i < kCallsEach; ++i) {
                const auto index = static_cast<std::uint16_t>(t * kCallsEach + i);
                const std::int32_t slot = index % 12;
                std::array<std::uint8_t, 128> data{};
                std::uint8_t status = 0;
                const std::uint32_t result = SPX_FIP_READ_VAR(slot, index, data.data(), &status, nullptr, 0, nullptr);
                const std::array<std::uint8_t, 4> expected = {static_cast<std::uint8_t>(index),
                                                              static_cast<std::uint8_t>(index >> 8),
                                                              static_cast<std::uint8_t>(slot % 4 + 1),
                                                              static_cast<std::uint8_t>(slot / 4)};
                if (result != 0 || std::memcmp(data.data(), expected.data(), expected.size()) != 0 ||
                    status != static_cast<std::uint8_t>(index))
                    ++wrong;
            }
        });
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(fake::callsNamed("FIP_READ_VAR").size(), static_cast<std::size_t>(kThreads * kCallsEach));
    EXPECT_EQ(fake::maxInFlight(), 1) << "one engine call at a time in the process";
}

// Threads that wait long sleep: the caller of a call that lasts half a second and a worker left
// idle for as long spin only briefly before they block.
TEST_F(Relay, WaitingCallersAndIdleWorkersDoNotSpinForEver) {
    const std::int32_t slot = start(1, 0);
    std::array<std::uint8_t, 8> data{};
    std::uint8_t status = 0;
    fake::setCallDuration(std::chrono::milliseconds(500));
    const std::clock_t before = std::clock();
    EXPECT_EQ(SPX_FIP_READ_VAR(slot, 1, data.data(), &status, nullptr, 0, nullptr), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpuSeconds = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuSeconds, 0.1) << "processor time of the process over a second of waiting";
}

TEST_F(Relay, ConcurrentFirstStartsOfOneSlotCreateOneWorker) {
    constexpr int kThreads = 8;
    std::vector<std::thread> starters;
    std::atomic<int> started{0};
    for (int t = 0; t < kThreads; ++t)
        starters.emplace_back([&] {
            std::int32_t slot = -1;
            if (SPX_START_FIP_ENGINE(3, 1, &slot, nullptr, 0, nullptr) == 0 && slot == 6) ++started;
        });
    for (std::thread& t : starters) t.join();
    EXPECT_EQ(started.load(), kThreads);
    const auto starts = fake::callsNamed("START_FIP_ENGINE");
    ASSERT_EQ(starts.size(), static_cast<std::size_t>(kThreads));
    EXPECT_THAT(starts, Each(Field(&fake::Call::thread, starts.front().thread)));
    EXPECT_EQ(fake::maxInFlight(), 1);
}

TEST_F(Relay, NoEngineCallFollowsAStopAndRacingCallsGetADefinedCode) {
    const std::int32_t slot = start(1, 0);
    fake::setCallDuration(std::chrono::microseconds(50));
    const StopRace race = raceCallsWithStop(slot, 6, 40, std::chrono::milliseconds(2), [slot] {
        std::array<std::uint8_t, 128> data{};
        std::uint8_t status = 0;
        const std::uint32_t result = SPX_FIP_READ_VAR(slot, 5, data.data(), &status, nullptr, 0, nullptr);
        if (result == kNotStarted) return CallOutcome::refused;
        return result == 0 ? CallOutcome::right : CallOutcome::wrong;
    });
    EXPECT_EQ(race.stopResult, 0u);
    EXPECT_EQ(race.undefined, 0);
    EXPECT_GT(race.refused, 0);
    const auto calls = fake::calls();
    const auto stop = std::find_if(calls.begin(), calls.end(), [](const fake::Call& c) { return c.name == "STOP_FIP_ENGINE"; });
    ASSERT_NE(stop, calls.end());
    EXPECT_EQ(std::next(stop), calls.end()) << "an engine call after the stop: " << std::next(stop)->name;
}

TEST_F(Relay, LedCallsRunOnTheWorkerOfAStartedSlotElseOnTheCaller) {
    std::int32_t on = -1;
    // Not started: the caller's thread.
    EXPECT_EQ(SPX_GET_LED_STATE(1, 2, 1, &on, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(SPX_SET_LED_STATE(0, 7, 0, 1, nullptr, 0, nullptr), 0u) << "a board without a slot";
    for (const fake::Call& c : fake::calls()) EXPECT_EQ(c.thread, std::this_thread::get_id()) << c.name;

    // Started: the worker, which holds the board (the caller could not open it).
    const std::int32_t slot = start(2, 1);
    fake::reset();
    on = -1;
    EXPECT_EQ(SPX_GET_LED_STATE(1, 2, 1, &on, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(on, 1);
    std::uint32_t direct = 0;
    EXPECT_EQ(GetLedState(1, 2, 1, &direct), 0x30000001u) << "the fake's board is held by the worker";
    EXPECT_EQ(SPX_SET_LED_STATE(1, 2, 0, 1, nullptr, 0, nullptr), 0u);
    std::uint8_t colour = 0;
    EXPECT_EQ(SPX_GET_RGB_LED_STATE(1, 2, &colour, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_SET_RGB_LED_STATE(1, 2, 3, nullptr, 0, nullptr), 0u);
    const auto calls = fake::calls();
    ASSERT_EQ(calls.size(), 5u);
    for (std::size_t i : {0u, 2u, 3u, 4u}) {
        EXPECT_NE(calls[i].thread, std::this_thread::get_id()) << calls[i].name;
        EXPECT_EQ(calls[i].boardNumber, 2) << calls[i].name << " on the worker holding the board";
    }

    // Stopped again: the caller's thread.
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr), 0u);
    fake::reset();
    EXPECT_EQ(SPX_GET_LED_STATE(1, 2, 0, &on, nullptr, 0, nullptr), 0u);
    ASSERT_EQ(fake::calls().size(), 1u);
    EXPECT_EQ(fake::calls()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(SPX_GET_LED_STATE(1, 2, 0, nullptr, nullptr, 0, nullptr), kInvalidParameter);
}

// Every export of a slot, with a text buffer where it takes one; returns the export's result.
struct SlotExport {
    const char* name;
    std::uint32_t (*call)(std::int32_t slot, char* text, std::uint32_t size, std::uint32_t* needed);
    bool lookup = false;  // 0 instead of a code, no text
};

std::array<std::uint8_t, 256> buffer{};
std::uint8_t byte = 0;
std::uint16_t word = 0;
std::int16_t shortValue = 0;
std::uint32_t dword = 0;
char name[33] = "V0100";
TransmissionQueueRecord queue[4];

const SlotExport kSlotExports[] = {
    {"STOP", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_STOP_FIP_ENGINE(s, t, n, d); }},
    {"RESET", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_RESET(s, t, n, d); }},
    {"DOWNLOAD_CNF",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_DOWNLOAD_CNF(s, "x.cnf", t, n, d); }},
    {"BA_PROG", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_BA_PROG(s, nullptr, t, n, d); }},
    {"START_BA", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_START_BA(s, 160, t, n, d); }},
    {"STOP_BA", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_STOP_BA(s, t, n, d); }},
    {"BA_REPORT", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_BA_REPORT(s, &byte, t, n, d); }},
    {"CHANGE_BA", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_CHANGE_BA(s, 64, t, n, d); }},
    {"CONTINUE_BA",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_CONTINUE_BA(s, 1, 64, t, n, d); }},
    {"MEDIUM_CONTROL",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_MEDIUM_CONTROL(s, 1, &byte, t, n, d); }},
    {"FIP_READ_VAR",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) {
         return SPX_FIP_READ_VAR(s, 0, buffer.data(), &byte, t, n, d);
     }},
    {"FIP_WRITE_VAR",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_FIP_WRITE_VAR(s, 0, buffer.data(), t, n, d); }},
    {"FIP_READ_MSG",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) {
         return SPX_FIP_READ_MSG(s, 0, nullptr, &word, &word, &byte, &word, &byte, buffer.data(), t, n, d);
     }},
    {"FIP_WRITE_MSG",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) {
         return SPX_FIP_WRITE_MSG(s, 0, 4, 1, 0, 253, 0x200, 0, 0x100, 0, buffer.data(), t, n, d);
     }},
    {"DEF_VAR_EVENT",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_DEF_VAR_EVENT(s, 1, 0, 0, 0, t, n, d); }},
    {"READ_EVENT",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) {
         return SPX_READ_EVENT(s, &byte, &byte, &byte, &byte, &word, t, n, d);
     }},
    {"IS_EVENT", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_IS_EVENT(s, &dword, t, n, d); }},
    {"PURGE", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_PURGE(s, 0, t, n, d); }},
    {"SEND_APER", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_SEND_APER(s, 0, 0, t, n, d); }},
    {"GET_TRANSMISSION_QUEUE",
     [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) {
         return SPX_GET_TRANSMISSION_QUEUE(s, 0, queue, 4, &dword, t, n, d);
     }},
    {"GETSLOTCARD", [](std::int32_t s, char* t, std::uint32_t n, std::uint32_t* d) { return SPX_GETSLOTCARD(s, &dword, t, n, d); }},
    {"GET_BA_PROGRAM_ADDR",
     [](std::int32_t s, char*, std::uint32_t, std::uint32_t*) { return SPX_GET_BA_PROGRAM_ADDR(s, &shortValue, &shortValue); }},
    {"FIND_VAR_BY_ID",
     [](std::int32_t s, char*, std::uint32_t, std::uint32_t*) {
         return SPX_FIND_VAR_BY_ID(s, 0x100, &shortValue, name, &shortValue, &byte);
     },
     true},
    {"FIND_VAR_BY_NAME",
     [](std::int32_t s, char*, std::uint32_t, std::uint32_t*) {
         return SPX_FIND_VAR_BY_NAME(s, "V0100", &shortValue, &word, &shortValue, &byte);
     },
     true},
    {"FIND_MSG_BY_ID",
     [](std::int32_t s, char*, std::uint32_t, std::uint32_t*) {
         return SPX_FIND_MSG_BY_ID(s, 0x100, 0, 0x200, 0, name, &shortValue);
     },
     true},
    {"FIND_MSG_BY_NAME",
     [](std::int32_t s, char*, std::uint32_t, std::uint32_t*) {
         return SPX_FIND_MSG_BY_NAME(s, "M", &shortValue, &word, &byte, &word, &byte);
     },
     true},
};

TEST_F(Relay, ExportsOfASlotNotReadyRefuseWithTheirTextAndRelayNothing) {
    start(1, 0);  // another slot runs meanwhile
    fake::reset();
    const std::string notStarted = textOf(kNotStarted);
    for (const std::int32_t slot : {7, -1, 12, 1000}) {
        for (const SlotExport& e : kSlotExports) {
            std::array<char, 256> text{};
            std::uint32_t needed = 0;
            const std::uint32_t result = e.call(slot, text.data(), text.size(), &needed);
            if (e.lookup) {
                EXPECT_EQ(result, 0u) << e.name << " slot " << slot;
            } else if (std::string(e.name) != "GET_BA_PROGRAM_ADDR") {
                EXPECT_EQ(result, kNotStarted) << e.name << " slot " << slot;
                EXPECT_EQ(std::string(text.data()), notStarted.c_str()) << e.name;
                EXPECT_EQ(needed, notStarted.size()) << e.name;
            } else {
                EXPECT_EQ(result, kNotStarted) << e.name;
            }
        }
    }
    EXPECT_TRUE(fake::calls().empty());
}

TEST_F(Relay, ArgumentRefusalsOfAStartedSlotRelayNothing) {
    const std::int32_t slot = start(1, 0);
    fake::reset();
    EXPECT_EQ(SPX_FIP_WRITE_MSG(slot, 0, 4, 1, 0, 253, 0x200, 0, 0x100, 0, buffer.data(), nullptr, 0, nullptr), kTooLong);
    EXPECT_EQ(SPX_FIP_WRITE_MSG(slot, 0, 4, 1, 0, 0xFFFF, 0x200, 0, 0x100, 0, nullptr, nullptr, 0, nullptr), kTooLong);
    for (const std::uint8_t kind : {0, 3, 0x81, 0xFF})
        EXPECT_EQ(SPX_DEF_VAR_EVENT(slot, 1, kind, 0, 0, nullptr, 0, nullptr), kEventKind) << int{kind};
    EXPECT_EQ(SPX_FIND_VAR_BY_NAME(slot, nullptr, &shortValue, &word, &shortValue, &byte), 0u);
    EXPECT_TRUE(fake::calls().empty());

    EXPECT_EQ(SPX_FIP_WRITE_MSG(slot, 0, 4, 1, 0, 252, 0x200, 0, 0x100, 0, buffer.data(), nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_DEF_VAR_EVENT(slot, 1, 1, 0, 0, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_DEF_VAR_EVENT(slot, 0, 2, 0, 0, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(fake::calls().size(), 3u);
}

TEST_F(Relay, EveryExportOfAStartedSlotReachesItsEngineCall) {
    const std::int32_t slot = start(1, 0);
    fake::reset();
    const std::set<std::string> refusedByArgument = {"FIP_WRITE_MSG", "DEF_VAR_EVENT", "STOP"};
    for (const SlotExport& e : kSlotExports) {
        if (refusedByArgument.count(e.name)) continue;
        fake::reset();
        fake::setBaReports({0x0A});
        e.call(slot, nullptr, 0, nullptr);
        std::string expected = e.name;
        if (expected == "RESET") expected = "START_COMMUNICATION";
        if (expected == "GETSLOTCARD") expected = "FIP_GET_SLOT";
        ASSERT_FALSE(fake::calls().empty()) << e.name;
        EXPECT_EQ(fake::calls().front().name, expected);
    }
}

TEST_F(Relay, ErrorTextFollowsTheErrorMessageRulesAndNeverOverrunsTheBuffer) {
    const std::int32_t slot = start(1, 0);
    fake::setResult("PURGE", 0x30000013);
    const std::string expected = textOf(0x30000013);
    ASSERT_GT(expected.size(), 4u);

    std::array<char, 300> text;
    text.fill('#');
    std::uint32_t needed = 0;
    EXPECT_EQ(SPX_PURGE(slot, 1, text.data(), 4, &needed), 0x30000013u);
    EXPECT_EQ(needed, expected.size());
    EXPECT_THAT(std::vector(text.begin(), text.end()), Each('#')) << "too small: nothing written";

    EXPECT_EQ(SPX_PURGE(slot, 1, text.data(), needed, &needed), 0x30000013u);
    EXPECT_STREQ(text.data(), expected.c_str());
    EXPECT_EQ(text[needed], '#');

    text.fill('#');
    EXPECT_EQ(SPX_PURGE(slot, 1, text.data(), text.size(), nullptr), 0x30000013u);
    EXPECT_EQ(text[0], '#') << "no needed pointer: a size request";
    EXPECT_EQ(SPX_PURGE(slot, 1, nullptr, 300, &needed), 0x30000013u);

    // Success has its text too.
    fake::setResult("PURGE", 0);
    EXPECT_EQ(SPX_PURGE(slot, 1, text.data(), text.size(), &needed), 0u);
    EXPECT_STREQ(text.data(), textOf(0).c_str());
}

TEST_F(Relay, StartBaChecksTheArbitratorAndStartsItOnceMoreWhenItDoesNotRun) {
    const std::int32_t slot = start(1, 0);
    struct Case {
        const char* what;
        std::uint8_t report;
        std::uint32_t startResult, reportResult;
        std::size_t starts, reports;
        std::uint32_t result;
    };
    const Case cases[] = {
        {"running", 0x0A, 0, 0, 1, 1, 0},
        {"sending", 0x08, 0, 0, 1, 1, 0},
        {"stopped", 0x09, 0, 0, 2, 1, 0},
        {"no report", 0x03, 0, 0, 2, 1, 0},
        {"refused start", 0x0A, 0x30000015, 0, 1, 0, 0x30000015},
        {"failed report", 0x09, 0, 0x30000027, 1, 1, 0x30000027},
    };
    for (const Case& c : cases) {
        fake::reset();
        fake::setBaReports({c.report});
        fake::setResult("START_BA", c.startResult);
        fake::setResult("BA_REPORT", c.reportResult);
        EXPECT_EQ(SPX_START_BA(slot, 160, nullptr, 0, nullptr), c.result) << c.what;
        EXPECT_EQ(fake::callsNamed("START_BA").size(), c.starts) << c.what;
        EXPECT_EQ(fake::callsNamed("BA_REPORT").size(), c.reports) << c.what;
    }
    // The second start's result is the result.
    fake::reset();
    fake::setBaReports({0x09});
    fake::setResult("START_BA", 0);
    EXPECT_EQ(SPX_START_BA(slot, 160, nullptr, 0, nullptr), 0u);
}

TEST_F(Relay, DownloadStartsTheBusOnlyAfterASuccessfulDownload) {
    const std::int32_t slot = start(1, 0);
    fake::reset();
    EXPECT_EQ(SPX_DOWNLOAD_CNF(slot, "net.cnf", nullptr, 0, nullptr), 0u);
    EXPECT_THAT(fake::calls(), ElementsAre(Field(&fake::Call::name, "DOWNLOAD_CNF"),
                                           Field(&fake::Call::name, "START_COMMUNICATION")));
    fake::reset();
    fake::setResult("DOWNLOAD_CNF", 0x30000002);
    EXPECT_EQ(SPX_DOWNLOAD_CNF(slot, "missing.cnf", nullptr, 0, nullptr), 0x30000002u);
    EXPECT_THAT(fake::calls(), ElementsAre(Field(&fake::Call::name, "DOWNLOAD_CNF")));
    fake::reset();
    fake::setResult("START_COMMUNICATION", 0x60000003);
    EXPECT_EQ(SPX_DOWNLOAD_CNF(slot, "net.cnf", nullptr, 0, nullptr), 0x60000003u);
}

TEST_F(Relay, StartedStateFollowsTheEngineResultsOfStartAndStop) {
    // A first start that the engine refuses leaves the slot not started.
    fake::setResult("START_FIP_ENGINE", 0x30000001);
    std::int32_t slot = -1;
    EXPECT_EQ(SPX_START_FIP_ENGINE(1, 0, &slot, nullptr, 0, nullptr), 0x30000001u);
    EXPECT_EQ(slot, 0) << "the slot is written before the start";
    EXPECT_EQ(SPX_PURGE(slot, 0, nullptr, 0, nullptr), kNotStarted);
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr), kNotStarted);

    // A refused start of a started slot keeps it started: its worker still holds the board.
    fake::setResult("START_FIP_ENGINE", 0);
    EXPECT_EQ(start(1, 0), 0);
    fake::setResult("START_FIP_ENGINE", 0x30000001);
    EXPECT_EQ(SPX_START_FIP_ENGINE(1, 0, &slot, nullptr, 0, nullptr), 0x30000001u);
    EXPECT_EQ(SPX_PURGE(slot, 0, nullptr, 0, nullptr), 0u);

    // A failed stop keeps the slot started; a successful one ends it.
    fake::setResult("STOP_FIP_ENGINE", 0x30000009);
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr), 0x30000009u);
    EXPECT_EQ(SPX_PURGE(slot, 0, nullptr, 0, nullptr), 0u);
    fake::setResult("STOP_FIP_ENGINE", 0);
    EXPECT_EQ(SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_PURGE(slot, 0, nullptr, 0, nullptr), kNotStarted);
    EXPECT_EQ(SPX_FIND_VAR_BY_ID(slot, 0x100, nullptr, nullptr, nullptr, nullptr), 0u);
}

TEST_F(Relay, LookupsCopyTheirOutputsBack) {
    const std::int32_t slot = start(1, 0);
    std::int16_t index = -1, length = -1;
    std::uint16_t identifier = 0;
    std::uint8_t flags = 0xF0;
    EXPECT_EQ(SPX_FIND_VAR_BY_NAME(slot, "V0100", &index, &identifier, &length, &flags), 1u);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(identifier, 0x0100);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(flags, 0xF1) << "the caller's upper flag bits kept";
    EXPECT_EQ(SPX_FIND_VAR_BY_NAME(slot, "V0100", nullptr, nullptr, nullptr, nullptr), 1u);
    EXPECT_EQ(SPX_FIND_VAR_BY_NAME(slot, "V0200", &index, &identifier, &length, &flags), 0u);
    char found[33] = {};
    EXPECT_EQ(SPX_FIND_VAR_BY_ID(slot, 0x0100, &index, found, &length, &flags), 1u);
    EXPECT_STREQ(found, "V0100");
    std::int16_t program1 = 0, program2 = 1;
    EXPECT_EQ(SPX_GET_BA_PROGRAM_ADDR(slot, &program1, &program2), 0u);
    EXPECT_EQ(program1, 160 * 64);
    EXPECT_EQ(program2, 0);
}

TEST_F(Relay, DeviceRecordsArePacked10ByteCopiesOfTheEngineRecords) {
    static_assert(sizeof(SpxDeviceRecord) == 10);
    static_assert(offsetof(SpxDeviceRecord, boardType) == 0);
    static_assert(offsetof(SpxDeviceRecord, boardNumber) == 4);
    static_assert(offsetof(SpxDeviceRecord, used) == 6);

    std::array<std::uint8_t, 40> bytes;
    bytes.fill(0xEE);
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_INFO(2, reinterpret_cast<SpxDeviceRecord*>(bytes.data()), nullptr, 0, nullptr), 0u);
    EXPECT_THAT(std::vector(bytes.begin(), bytes.begin() + 20),
                ElementsAre(0, 0, 0, 0, 1, 0, 1, 0, 0, 0,    // PCI board 1, used
                            1, 0, 0, 0, 2, 0, 0, 0, 0, 0));  // PC104 board 2
    EXPECT_THAT(std::vector(bytes.begin() + 20, bytes.end()), Each(0xEE)) << "exactly 20 bytes written";

    bytes.fill(0xEE);
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_INFO(3, reinterpret_cast<SpxDeviceRecord*>(bytes.data()), nullptr, 0, nullptr), 0u);
    EXPECT_THAT(std::vector(bytes.begin() + 20, bytes.begin() + 30), Each(0)) << "beyond the listed boards: zeros";
    EXPECT_EQ(bytes[30], 0xEE);

    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_INFO(0, nullptr, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_INFO(1, nullptr, nullptr, 0, nullptr), kInvalidParameter);
    std::uint16_t count = 0;
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_COUNT(&count, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(SPX_GET_ACTIVE_DEVICES_COUNT(nullptr, nullptr, 0, nullptr), kInvalidParameter);
    for (const fake::Call& c : fake::calls()) EXPECT_EQ(c.thread, std::this_thread::get_id()) << c.name;
}

}  // namespace
