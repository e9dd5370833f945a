// Scripted transactions at register level, one group per command family.
#include <gtest/gtest.h>

#include "sim/card/card_model.h"
#include "sim/chips/fullfip2.h"
#include "sim/tests/register_script.h"

namespace sim {
namespace {

using testing::installVariables;
using testing::Outcome;
using testing::RegisterScript;

class Fullfip2Test : public ::testing::Test {
protected:
    CardModel card;
    AccessTrace trace;
    Fullfip2 chip{card, trace};
    RegisterScript script{chip};

    void TearDown() override { EXPECT_TRUE(chip.checker().violations().empty()) << chip.checker().violations()[0]; }
};

TEST_F(Fullfip2Test, IdleStateShowsOnlyThePendingEvent) {
    EXPECT_EQ(chip.read(0), 0);
    card.pushEvent({});
    EXPECT_EQ(chip.read(0), ustate::kEvent);
}

TEST_F(Fullfip2Test, PagesPowerOnWithPatternAndSurviveReset) {
    Outcome page = script.read(cmd::kReadPhy, 5);
    ASSERT_TRUE(page.answered);
    ASSERT_EQ(page.size, 128);
    EXPECT_EQ(page.data[0], 0xA5);
    EXPECT_EQ(page.data[1], 5);

    std::vector<std::uint8_t> bytes(128);
    for (int i = 0; i < 128; ++i) bytes[i] = static_cast<std::uint8_t>(i * 3);
    EXPECT_TRUE(script.write(cmd::kWritePhy, 5, bytes).answered);
    chip.reset();
    EXPECT_EQ(script.read(cmd::kReadPhy, 5).data, bytes);
}

TEST_F(Fullfip2Test, ReadPhyRaisesTheDataBitWithTheAnswerAndDropsItAfterTheLastByte) {
    script.key(7);
    chip.write(0, cmd::kReadPhy);
    EXPECT_EQ(chip.read(0), 0x98);
    EXPECT_EQ(chip.read(3), 128);
    for (int i = 0; i < 128; ++i) chip.read(7);
    EXPECT_EQ(chip.read(0), 0x90);
    script.close();
    EXPECT_EQ(chip.read(0), 0);
}

TEST_F(Fullfip2Test, PageOutsideCardMemoryIsRefusedWithSizeZero) {
    script.key(kCardPages);
    chip.write(0, cmd::kWritePhy);
    EXPECT_EQ(chip.read(0) & 0x90, 0x90);
    EXPECT_EQ(chip.read(3), 0);
    EXPECT_EQ(chip.read(2) & 0x80, 0x80);
    script.close();
}

TEST_F(Fullfip2Test, VariablesAreStoredPerIndexWithTheLengthOfTheirDescriptor) {
    installVariables(card, {{true, 4}, {false, 2}});
    Outcome write = script.write(cmd::kWriteVar, 0, {1, 2, 3, 4});
    EXPECT_EQ(write.status, 0);
    EXPECT_EQ(write.size, 4);

    Outcome read = script.read(cmd::kReadVar, 0);
    EXPECT_EQ(read.status, 0x20);
    EXPECT_EQ(read.data, (std::vector<std::uint8_t>{1, 2, 3, 4}));

    EXPECT_EQ(script.read(cmd::kReadVar, 1).status, refusal::kNoValue);
    EXPECT_EQ(script.read(cmd::kReadVar, 2).status, refusal::kUnknownObject);
    EXPECT_EQ(script.write(cmd::kWriteVar, 9, {}).status, refusal::kUnknownObject);

    chip.reset();
    EXPECT_EQ(script.read(cmd::kReadVar, 0).status, refusal::kNoValue);
}

TEST_F(Fullfip2Test, WriteVarAnswersWithTheDataBitSet) {
    installVariables(card, {{true, 3}});
    script.key(0);
    chip.write(0, cmd::kWriteVar);
    EXPECT_EQ(chip.read(0), 0x98);
    EXPECT_EQ(chip.read(2), 0);
    EXPECT_EQ(chip.read(3), 3);
    for (std::uint8_t b : {9, 8, 7}) chip.write(7, b);
    EXPECT_EQ(chip.read(0), 0x90);
    script.close();
    EXPECT_EQ(card.variableValue(0), (std::vector<std::uint8_t>{9, 8, 7}));
}

TEST_F(Fullfip2Test, MessagesAreWrittenSentReceivedAndRead) {
    EXPECT_EQ(script.write(cmd::kWriteMsg, 12, {0x11, 0x22, 0x33}).size, 251);
    std::vector<std::uint8_t> request = {1, 0, 0, 5, 0, 0, 6, 0, 0x21, 0x90};
    EXPECT_EQ(script.write(cmd::kSendMsgAcknowledged, 12, request).size, 10);
    const auto sent = card.sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, 12);
    EXPECT_TRUE(sent[0].acknowledged);
    EXPECT_EQ(sent[0].data, (std::vector<std::uint8_t>{0x11, 0x22, 0x33}));
    EXPECT_EQ(sent[0].request[9], 0x90);

    card.deliverMessage(40, ReceivedMessage{{0x1234, 1, 0x0056, 2}, {7, 8}});
    EXPECT_EQ(chip.read(0) & ustate::kEvent, ustate::kEvent);
    Outcome event = script.read(cmd::kReadEvt);
    EXPECT_EQ(event.data, (std::vector<std::uint8_t>{2, 0, 0, 40}));
    EXPECT_EQ(chip.read(0), 0);

    Outcome header = script.read(cmd::kReceiveMsg, 40);
    EXPECT_EQ(header.data, (std::vector<std::uint8_t>{0, 2, 0x12, 0x34, 1, 0x00, 0x56, 2}));
    Outcome data = script.read(cmd::kReadMsg, 40);
    EXPECT_EQ(data.data, (std::vector<std::uint8_t>{7, 8}));
    EXPECT_EQ(script.read(cmd::kReceiveMsg, 40).status, refusal::kQueueEmpty);
    EXPECT_EQ(script.read(cmd::kReadEvt).status, refusal::kQueueEmpty);
}

TEST_F(Fullfip2Test, BusArbitratorIsStoppedAfterResetThenStartsAndRuns) {
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStopped);
    EXPECT_EQ(script.read(cmd::kContinueBa, 0x1231).status, refusal::kWrongBaState);
    EXPECT_EQ(script.read(cmd::kStartBa, 160).status, 0);
    EXPECT_EQ(card.baStartPage(), 160);
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStarting);
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kSending);
    EXPECT_EQ(script.read(cmd::kStartBa, 160).status, refusal::kWrongBaState);
    EXPECT_EQ(script.read(cmd::kChangeMacroBa, 0x1230).status, 0);
    EXPECT_EQ(script.read(cmd::kStopBa).status, 0);
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStopped);
    EXPECT_EQ(script.read(cmd::kStartBa, 160).status, 0);
    chip.reset();
    EXPECT_EQ(card.baState(), ba::kStopped);
}

TEST_F(Fullfip2Test, ArbitratorStateArrivingAfterAStopDoesNotRestartIt) {
    EXPECT_EQ(script.read(cmd::kStartBa, 160).status, 0);
    card.setBaState(ba::kWait);
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kWait);
    EXPECT_EQ(script.read(cmd::kStopBa).status, 0);
    card.setBaState(ba::kSending);  // the segment's step that was under way
    EXPECT_EQ(script.read(cmd::kBaReport).status, ba::kStopped);
    card.setBaState(ba::kIdle);
    chip.reset();
    card.setBaState(ba::kSending);
    EXPECT_EQ(card.baState(), ba::kStopped);
}

TEST_F(Fullfip2Test, StartOfCommunication) {
    // DEF_PARAM: parameter in register 3 only; its status is readable before the answer.
    chip.write(3, 7);
    chip.write(0, cmd::kDefParam);
    EXPECT_EQ(chip.read(2), 0);
    EXPECT_TRUE(script.waitSet(0x90));
    script.close();
    EXPECT_EQ(card.communicationParameter(), 7);

    EXPECT_TRUE(script.read(cmd::kStartCircuit, 0x0600).answered);
    EXPECT_TRUE(card.circuitStarted());

    // 0xC2 is END_TEST only after register 1 was set to 1, and the marker is used up.
    chip.write(1, 1);
    EXPECT_TRUE(script.read(cmd::kWriteMsg).answered);
    EXPECT_TRUE(card.testEnded());
    script.key(3);
    chip.write(0, cmd::kWriteMsg);
    EXPECT_EQ(chip.read(0), 0x98);
    script.close();
}

TEST_F(Fullfip2Test, DefEvtTakesFlagsThenParameterAndReportsAfterTheData) {
    installVariables(card, {{false, 2}});
    Outcome defined = script.write(cmd::kDefEvt, 0, {0x82, 5});
    EXPECT_EQ(defined.size, 2);
    EXPECT_EQ(defined.status, 0);
    ASSERT_TRUE(card.eventDefinition(0));
    EXPECT_EQ(card.eventDefinition(0)->flags, 0x82);
    EXPECT_EQ(card.eventDefinition(0)->parameter, 5);
    EXPECT_EQ(script.write(cmd::kDefEvt, 3, {0x81, 0}).status, refusal::kUnknownObject);
}

TEST_F(Fullfip2Test, PurgeAndAperiodicRequests) {
    Outcome purge = script.read(cmd::kPurge, 0x2191);
    EXPECT_EQ(purge.status, 0);
    EXPECT_EQ(purge.size, 0);
    EXPECT_EQ(script.read(cmd::kSendAperUrgent, 3).status, 0);
    EXPECT_EQ(script.read(cmd::kSendAper, 4).status, 0);
    const auto requests = card.aperiodicRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].urgent);
    EXPECT_EQ(requests[1].index, 4);
    EXPECT_FALSE(requests[1].urgent);
}

TEST_F(Fullfip2Test, ResetDropsAnOpenTransaction) {
    script.key(1);
    chip.write(0, cmd::kReadPhy);
    chip.reset();
    EXPECT_EQ(chip.read(0), 0);
    EXPECT_EQ(card.resetCount(), 1u);
}

TEST_F(Fullfip2Test, TraceRecordsAccessesWhenEnabled) {
    script.read(cmd::kBaReport);
    EXPECT_TRUE(trace.entries().empty());
    trace.enable(true);
    script.read(cmd::kBaReport);
    const auto entries = trace.entries();
    ASSERT_GE(entries.size(), 4u);
    EXPECT_EQ(entries[0], (Access{Unit::Fullfip2, true, 0, cmd::kBaReport}));
    EXPECT_EQ(describe(entries[0]), "FULLFIP2 W 0 = 0xB7");
    EXPECT_EQ(entries[1], (Access{Unit::Fullfip2, false, 0, 0x90}));
}

}  // namespace
}  // namespace sim
