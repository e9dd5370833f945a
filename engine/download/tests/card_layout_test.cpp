#include "download/card_layout.h"

#include <gtest/gtest.h>

#include "memory_card.h"

namespace corvix::download {
namespace {

using testing::ConfigBuilder;

// GENERAL_PARAM offsets.
constexpr int kSpeed = 2, kSlotTime = 4, kTurnaround = 6, kSilence = 8, kMsgTable = 10, kVarTable = 12, kBaSize = 14,
              kElection = 18, kStartDelay = 22, kClockMultiplier = 26, kFrameType = 27;

ConfigBuilder withoutBa() {
    ConfigBuilder c;
    c.set16(kSpeed, 1).set16(kSlotTime, 0).set16(kTurnaround, 14).set16(kSilence, 22).set16(kMsgTable, 4);
    c.set16(kVarTable, 8).set16(kBaSize, 0).set16(kElection, 518).set16(kStartDelay, 8712).set8(kFrameType, 1);
    return c;
}

ConfigBuilder withBa() {
    ConfigBuilder c;
    c.set16(kSpeed, 2).set16(kSlotTime, 3).set16(kTurnaround, 20).set16(kSilence, 0x45).set16(kMsgTable, 16);
    c.set16(kVarTable, 64).set16(kBaSize, 1).set16(kElection, 0x1234).set16(kStartDelay, 0x4321);
    c.set8(kClockMultiplier, 1).set8(kFrameType, 0);
    return c;
}

std::vector<std::pair<int, std::uint16_t>> nonZero(const PageWords& w) {
    std::vector<std::pair<int, std::uint16_t>> out;
    for (int i = 0; i < 64; ++i)
        if (w[i]) out.emplace_back(i, w[i]);
    return out;
}

TEST(HeaderPage, WithoutBaMemory) {
    const auto c = withoutBa();
    const std::vector<std::pair<int, std::uint16_t>> expected{
        {0, 0x200A}, {1, 11},  {3, 8},       {4, 10},      {5, 154},     {6, 127}, {7, 156}, {8, 127},
        {9, 158},    {10, 127}, {11, 195},   {12, 3},      {13, 0x2800}, {16, 0x1639}, {17, 8712}, {18, 518},
        {20, 6},     {22, 1},   {32, 114},   {33, 2}};
    EXPECT_EQ(nonZero(headerPageWords(c.header.data())), expected);
}

TEST(HeaderPage, WithBaMemory) {
    const auto c = withBa();
    const std::vector<std::pair<int, std::uint16_t>> expected{
        {0, 0x5040}, {1, 66},   {2, 1},       {3, 64},      {4, 64},      {5, 1018}, {6, 127}, {7, 1020},
        {8, 127},    {9, 1022}, {10, 127},    {11, 1092},   {12, 3},      {13, 0x2800}, {16, 0xC550}, {17, 0x4321},
        {18, 0x1234}, {20, 1},  {22, 1},      {32, 64 * 16 - 14}, {33, 2}};
    EXPECT_EQ(nonZero(headerPageWords(c.header.data())), expected);
}

TEST(HeaderPage, TableSizeExponent) {
    struct Case { int t; std::uint16_t word0; };
    for (const Case c : {Case{0, 0xF00A}, Case{1, 0xF00A}, Case{2, 0x000A}, Case{3, 0x100A}, Case{4, 0x100A},
                         Case{5, 0x200A}, Case{4095, 0xB00A}}) {
        auto config = withoutBa();
        config.set16(kVarTable, c.t);
        EXPECT_EQ(headerPageWords(config.header.data())[0], c.word0) << c.t;
    }
}

TEST(TimingFactor, ByRowAndColumnTruncated) {
    struct Case { int row, column, period; std::uint16_t timed; };
    for (const Case c : {Case{0, 0, 7, 70}, Case{0, 1, 7, 112}, Case{0, 2, 7, 140}, Case{1, 0, 7, 17},
                         Case{1, 1, 7, 28}, Case{1, 2, 7, 35}, Case{2, 0, 7, 7}, Case{2, 1, 7, 11},
                         Case{2, 2, 7, 14}, Case{3, 0, 7, 1}, Case{3, 1, 7, 2}, Case{3, 2, 7, 3},
                         Case{4, 0, 7, 0}, Case{0, 3, 7, 0}, Case{0, 2, 65535, static_cast<std::uint16_t>(1310700)}}) {
        ConfigBuilder config;
        config.set16(kSlotTime, c.row).set16(kSpeed, c.column);
        EXPECT_EQ(timedPeriod(config.header.data(), static_cast<std::uint16_t>(c.period)), c.timed)
            << c.row << "," << c.column;
    }
}

TEST(VariableDescriptors, FirstSlotsRepeatTheFirstVariable) {
    auto c = withoutBa();  // T = 8
    for (int id : {0x10, 0x20, 0x30, 0x40, 0x50}) c.addVariable(id);
    const Configuration config{c.header.data(), c.variables.data(), c.variableCount(), nullptr, 0};
    const int expectedId[8] = {0x10, 0x10, 0x10, 0x10, 0x20, 0x30, 0x40, 0x50};
    const int expectedIndex[8] = {0, 0, 0, 0, 1, 2, 3, 4};
    for (int s = 0; s < 8; ++s) {
        const Descriptor d = variableDescriptor(config, s);
        EXPECT_EQ(d[0], expectedId[s]) << s;
        EXPECT_EQ(d[2], 16 * expectedIndex[s]) << s;
    }
}

TEST(VariableDescriptors, ProducedAndConsumedFields) {
    auto c = withoutBa();  // speed 1, slot time 0: factor 16
    c.set16(kVarTable, 4);
    std::uint8_t* produced = c.addVariable(0x100);
    produced[113] = 1;
    produced[115] = 0x43;  // receives messages, message channel, aperiodic requests
    ConfigBuilder::put16(produced, 72, 0);
    ConfigBuilder::put16(produced, 116, 100);
    std::uint8_t* channel3 = c.addVariable(0x200);
    channel3[115] = 0x02;
    ConfigBuilder::put16(channel3, 72, 3);
    std::uint8_t* consumed = c.addVariable(0x300, 8, 1);
    consumed[115] = 0x01;
    ConfigBuilder::put16(consumed, 116, 100);
    c.addVariable(0x400, 8, 1)[115] = 0x42;  // channel bits mean nothing on a consumed variable
    const Configuration config{c.header.data(), c.variables.data(), c.variableCount(), nullptr, 0};

    EXPECT_EQ(variableDescriptor(config, 0), (Descriptor{0x100, 0x349, 0, 0, 0, 0, 1600, 0, 0x2190}));
    EXPECT_EQ(variableDescriptor(config, 1), (Descriptor{0x200, 0x001, 16, 0, 0, 0, 0, 0, 0x2588}));
    EXPECT_EQ(variableDescriptor(config, 2), (Descriptor{0x300, 0x202, 0, 32}));
    EXPECT_EQ(variableDescriptor(config, 3), (Descriptor{0x400, 0x002, 0, 48}));
}

TEST(BufferDescriptors, VariablesReceiveBlockAndTransmittedMessages) {
    auto c = withoutBa();  // T = 8, M = 4, factor 16
    std::uint8_t* produced = c.addVariable(0x10, 4);
    ConfigBuilder::put16(produced, 68, 0x40);
    produced[113] = 1;
    std::uint8_t* consumed = c.addVariable(0x20, 8, 1);
    ConfigBuilder::put16(consumed, 68, 0x50);
    consumed[113] = 1;
    consumed[114] = 1;
    consumed[115] = 0x01;
    ConfigBuilder::put16(consumed, 118, 50);
    c.addVariable(0x30, 2, 1);
    c.addMessage(false);
    c.addMessage(true);
    c.addMessage(true);
    const Configuration config{c.header.data(), c.variables.data(), c.variableCount(), c.messages.data(),
                               c.messageCount()};
    const int marker = 195;
    const BufferDescriptors b = bufferDescriptors(config, marker);
    ASSERT_TRUE(b.messageKeyOffset);
    EXPECT_EQ(b.pages, (8 + 3 + 64) / 4 + 1);
    auto entry = [&](int i) {
        Descriptor d;
        std::copy_n(b.words.begin() + 16 * i, 16, d.begin());
        return d;
    };
    EXPECT_EQ(entry(0), (Descriptor{0x104, 0, 0, 199, 0, 0, 0, 0, 0, 0x4005, 0, 0, 0, 0, 0x10}));
    EXPECT_EQ(entry(1), (Descriptor{0xA08, 1, 0, 200, 0, 0, 0, 0, 0, 0x500B, 800, 0, 0, 0, 0x20}));
    EXPECT_EQ(entry(2), (Descriptor{0x202, 2, 0, 201, 0, 0, 0, 0, 0, 0x0004, 0, 0, 0, 0, 0x30}));
    for (int i = 3; i < 8; ++i) EXPECT_EQ(entry(i), Descriptor{}) << i;
    EXPECT_EQ(entry(8), (Descriptor{0x1000, 8, 0, marker + 3 + 6}));
    EXPECT_EQ(entry(71), (Descriptor{0x1000, 71, 0, marker + 3 + 6 + 126}));
    // Messages 1 and 2 are transmitted; keys continue after the receive block.
    EXPECT_EQ(entry(72), (Descriptor{0x1000, 72, 0, marker + 3 + 134 + 2}));
    EXPECT_EQ(entry(73), (Descriptor{0x1000, 73, 0, marker + 3 + 134 + 4}));
    EXPECT_EQ(entry(74), Descriptor{});
}

TEST(BufferDescriptors, WithoutReceiveBlockMessagesFollowTheTable) {
    auto c = withoutBa();
    c.addVariable(0x10);
    c.addMessage(true);
    for (int i = 0; i < 5; ++i) c.addMessage(false);
    const Configuration config{c.header.data(), c.variables.data(), c.variableCount(), c.messages.data(),
                               c.messageCount()};
    const BufferDescriptors b = bufferDescriptors(config, 195);
    EXPECT_FALSE(b.messageKeyOffset);
    EXPECT_EQ(b.words[16 * 8 + 0], 0x1000);
    EXPECT_EQ(b.words[16 * 8 + 1], 8);
    EXPECT_EQ(b.words[16 * 8 + 3], 195 + 1 + 134 - 128);
    // Twenty pages are written although the table holds 8 + 4 + 64 entries: the rest is zero.
    EXPECT_EQ(b.pages, 20);
    ASSERT_GE(b.words.size(), static_cast<std::size_t>(b.pages) * 64);
    for (std::size_t i = 16 * 9; i < b.words.size(); ++i) EXPECT_EQ(b.words[i], 0) << i;
}

}  // namespace
}  // namespace corvix::download
