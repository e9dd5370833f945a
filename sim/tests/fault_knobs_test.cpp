// Each fault knob and each protocol rule, observed from the register side.
#include <gtest/gtest.h>

#include <thread>

#include "sim/card/card_model.h"
#include "sim/chips/fullfip2.h"
#include "sim/tests/register_script.h"

namespace sim {
namespace {

using testing::installVariables;
using testing::Outcome;
using testing::RegisterScript;

class FaultTest : public ::testing::Test {
protected:
    CardModel card;
    AccessTrace trace;
    Fullfip2 chip{card, trace};
    RegisterScript script{chip};

    void knobs(const std::function<void(FaultKnobs&)>& change) {
        FaultKnobs k = chip.faults();
        change(k);
        chip.setFaults(k);
    }
};

TEST_F(FaultTest, BusyStuckShowsBusyAlsoWhenIdle) {
    knobs([](FaultKnobs& k) { k.busyStuck = true; });
    EXPECT_EQ(chip.read(0) & 0x80, 0x80);
    script.read(cmd::kBaReport);
    EXPECT_EQ(chip.read(0) & 0x80, 0x80);
}

TEST_F(FaultTest, NoAnswerLeavesBusyAloneUntilClose) {
    knobs([](FaultKnobs& k) { k.noAnswer = true; });
    Outcome out = script.read(cmd::kBaReport);
    EXPECT_FALSE(out.answered);
    EXPECT_EQ(chip.read(0), 0);
}

TEST_F(FaultTest, LatencyDelaysTheAnswerByThatManyReads) {
    knobs([](FaultKnobs& k) { k.answerLatencyReads = 3; });
    chip.write(0, cmd::kBaReport);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chip.read(0), 0x80) << i;
    EXPECT_EQ(chip.read(0), 0x90);
    script.close();
}

TEST_F(FaultTest, WrongSizeReplacesVarSize) {
    knobs([](FaultKnobs& k) { k.wrongSize[cmd::kReadPhy] = 64; });
    script.key(0);
    chip.write(0, cmd::kReadPhy);
    EXPECT_EQ(chip.read(3), 64);
    script.close();
    EXPECT_EQ(script.read(cmd::kBaReport).size, 0);
}

TEST_F(FaultTest, RefusalAnswersTheStatusWithoutExecuting) {
    knobs([](FaultKnobs& k) { k.refusal[cmd::kStartBa] = 0x8A; });
    Outcome out = script.read(cmd::kStartBa, 160);
    EXPECT_EQ(out.status, 0x8A);
    EXPECT_EQ(card.baState(), ba::kStopped);
}

TEST_F(FaultTest, LateRefusalExecutesTheCommandThatManyTimesFirst) {
    knobs([](FaultKnobs& k) { k.lateRefusal = FaultKnobs::LateRefusal{cmd::kBaReport, 2, 0x86}; });
    EXPECT_EQ(script.read(cmd::kStopBa).status, refusal::kWrongBaState);  // the card answers: not counted
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStopped);
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStopped);
    EXPECT_EQ(script.read(cmd::kBaReport).status, 0x86);
    EXPECT_EQ(script.read(cmd::kBaReport).status, 0x86);
    knobs([](FaultKnobs& k) { k.lateRefusal->passes = 1; });  // new knobs count afresh
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStopped);
    EXPECT_EQ(script.read(cmd::kBaReport).status, 0x86);
}

TEST_F(FaultTest, StallHoldsTheDataBitLowForThatManyReads) {
    knobs([](FaultKnobs& k) { k.stall = FaultKnobs::Stall{cmd::kReadPhy, 10, 5}; });
    script.key(0);
    chip.write(0, cmd::kReadPhy);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(chip.read(0), 0x98);
        chip.read(7);
    }
    for (int i = 0; i < 5; ++i) EXPECT_EQ(chip.read(0), 0x90) << i;
    EXPECT_EQ(chip.read(0), 0x98);
    script.close();
}

TEST_F(FaultTest, StallForeverEndsOnlyAtClose) {
    knobs([](FaultKnobs& k) { k.stall = FaultKnobs::Stall{cmd::kWritePhy, 0, kForever}; });
    Outcome out = script.write(cmd::kWritePhy, 1, std::vector<std::uint8_t>(128, 0));
    EXPECT_FALSE(out.answered);
    EXPECT_EQ(card.page(1)[0], 0xA5);  // the aborted write left the page alone
    EXPECT_TRUE(chip.checker().violations().empty());
}

TEST_F(FaultTest, CorruptedReadBackChangesOneByteOfOnePage) {
    knobs([](FaultKnobs& k) { k.readBackCorruption = FaultKnobs::Corruption{4, 17, 0x01}; });
    const Page stored = card.page(4);
    Outcome out = script.read(cmd::kReadPhy, 4);
    ASSERT_EQ(out.data.size(), 128u);
    for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(out.data[i], i == 17 ? stored[i] ^ 1 : stored[i]) << i;
    EXPECT_EQ(script.read(cmd::kReadPhy, 5).data[17], card.page(5)[17]);
}

struct ViolationCase {
    const char* name;
    std::function<void(Fullfip2&)> act;
    const char* expected;
};

class ProtocolViolation : public ::testing::TestWithParam<ViolationCase> {};

TEST_P(ProtocolViolation, IsRecorded) {
    CardModel card;
    AccessTrace trace;
    Fullfip2 chip(card, trace);
    GetParam().act(chip);
    const auto violations = chip.checker().violations();
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_NE(violations[0].find(GetParam().expected), std::string::npos) << violations[0];
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProtocolViolation,
    ::testing::Values(
        ViolationCase{"CommandWhileBusy",
                      [](Fullfip2& c) {
                          c.write(0, cmd::kBaReport);
                          c.write(0, cmd::kStopBa);
                      },
                      "written while busy"},
        ViolationCase{"FifoReadWithoutDataBit",
                      [](Fullfip2& c) {
                          c.write(0, cmd::kBaReport);
                          c.read(0);
                          c.read(7);
                      },
                      "FIFO read without the data bit"},
        ViolationCase{"FifoWriteWhenIdle", [](Fullfip2& c) { c.write(7, 1); }, "FIFO write without the data bit"},
        ViolationCase{"FifoReadPastTheLastByte",
                      [](Fullfip2& c) {
                          c.write(2, 0);
                          c.write(3, 0);
                          c.write(0, cmd::kReadPhy);
                          c.read(0);
                          for (int i = 0; i < 129; ++i) c.read(7);
                      },
                      "FIFO read without the data bit"},
        ViolationCase{"KeyLowBeforeHigh",
                      [](Fullfip2& c) {
                          c.write(3, 1);
                          c.write(2, 0);
                      },
                      "high byte written after the low byte"},
        ViolationCase{"KeyLowAlone",
                      [](Fullfip2& c) {
                          c.write(3, 1);
                          c.write(0, cmd::kReadVar);
                      },
                      "without the high byte"},
        ViolationCase{"KeyInsideTransaction",
                      [](Fullfip2& c) {
                          c.write(0, cmd::kBaReport);
                          c.write(2, 0);
                      },
                      "inside the open transaction"},
        ViolationCase{"UnknownCommand", [](Fullfip2& c) { c.write(0, 0x12); }, "unknown command byte 0x12"},
        ViolationCase{"SecondThread",
                      [](Fullfip2& c) {
                          c.write(0, cmd::kBaReport);
                          std::thread([&c] { c.read(0); }).join();
                      },
                      "second thread"}),
    [](const ::testing::TestParamInfo<ViolationCase>& info) { return std::string(info.param.name); });

TEST(ProtocolRules, DefParamWithOnlyTheLowKeyByteIsFine) {
    CardModel card;
    AccessTrace trace;
    Fullfip2 chip(card, trace);
    RegisterScript script(chip);
    chip.write(3, 5);
    chip.write(0, cmd::kDefParam);
    script.waitSet(0x90);
    script.close();
    EXPECT_TRUE(chip.checker().violations().empty());
}

}  // namespace
}  // namespace sim
