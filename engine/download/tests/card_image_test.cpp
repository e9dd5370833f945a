#include "download/card_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "download/ba_programs.h"
#include "download/card_layout.h"
#include "engine_errors.h"
#include "memory_card.h"

namespace corvix::download {
namespace {

using testing::ConfigBuilder;
using testing::MemoryCard;

constexpr int kSpeed = 2, kMsgTable = 10, kVarTable = 12, kBaSize = 14;

ConfigBuilder config(int t, int m, bool ba) {
    ConfigBuilder c;
    c.set16(kSpeed, 1).set16(kMsgTable, m).set16(kVarTable, t).set16(kBaSize, ba ? 1 : 0);
    return c;
}

// The descriptor at entry i of the table that starts at page `first`.
Descriptor descriptorAt(const MemoryCard& card, int first, int i) {
    Descriptor d;
    for (int w = 0; w < 16; ++w) d[w] = card.wordAt(64L * first + 16L * i + w);
    return d;
}

TEST(CardImage, WithoutBaMemory) {
    auto c = config(8, 4, false);
    for (int id : {0x50, 0x10, 0x40, 0x30, 0x20}) c.addVariable(id);
    c.addMessage(false);
    c.addMessage(true);
    MemoryCard card;
    ImageResult result;
    ASSERT_EQ(writeCardImage(card, c.input(), result), 0u);
    EXPECT_FALSE(result.messageKeyOffset);

    // Header: B = 10, word 1 = 11, word 11 = ((4 + 8) >> 2) + 192 = 195.
    EXPECT_EQ(card.word(128, 0), 0x200A);
    EXPECT_EQ(card.word(128, 1), 11);
    EXPECT_EQ(card.word(128, 11), 195);
    // Variable descriptors from page 160, sorted: slots 0..3 carry 0x10, then 0x20..0x50.
    const int ids[8] = {0x10, 0x10, 0x10, 0x10, 0x20, 0x30, 0x40, 0x50};
    for (int s = 0; s < 8; ++s) EXPECT_EQ(descriptorAt(card, 160, s)[0], ids[s]) << s;
    EXPECT_EQ(descriptorAt(card, 160, 7)[2], 16 * 4);
    // Buffer descriptors from page 176: variable i in sorted order, then message 1 as entry 8.
    for (int i = 0; i < 5; ++i) {
        const Descriptor d = descriptorAt(card, 176, i);
        EXPECT_EQ(d[14], 0x10 * (i + 1)) << i;
        EXPECT_EQ(d[3], 195 + i + 4) << i;
        EXPECT_EQ(d[0], 0x104) << i;
    }
    EXPECT_EQ(descriptorAt(card, 176, 8), (Descriptor{0x1000, 8, 0, 195 + 5 + 134 + 2 - 128}));
    EXPECT_EQ(card.word(195, 0), 2);  // marker
    // Pages in order: header, 2 slot pages, (8 + 2 + 64) / 4 + 1 = 19 buffer pages, marker.
    std::vector<std::uint16_t> expected{128, 160, 161};
    for (int p = 176; p < 195; ++p) expected.push_back(static_cast<std::uint16_t>(p));
    expected.push_back(195);
    EXPECT_EQ(card.writes, expected);
    // The table itself is sorted for the lookups that follow.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(u16At(c.variable(i), 0), 0x10 * (i + 1));
}

TEST(CardImage, WithBaMemoryAndReceiveBlock) {
    auto c = config(64, 16, true);
    c.addVariable(0x100)[115] = 0x01;  // receives messages
    c.addVariable(0x200, 8, 1);
    c.addMessage(true);
    MemoryCard card;
    std::vector<std::uint8_t> line(15, 0);
    std::memcpy(line.data(), "ID_DAT(100)", 11);
    auto input = c.input();
    BaProgramPages pages;
    input.placeBaPrograms = [&] { return placeBaPrograms(card, nullptr, {line.data(), 1}, {}, pages); };
    ImageResult result;
    ASSERT_EQ(writeCardImage(card, input, result), 0u);
    EXPECT_TRUE(result.messageKeyOffset);
    EXPECT_EQ(pages.program1, 160);

    EXPECT_EQ(card.word(128, 9), 1022);
    EXPECT_EQ(card.word(160, 0), 0x7030);  // BA program 1
    EXPECT_EQ(card.word(1021, 62), 0x100);  // its slot
    // Variable descriptors from page 1024: 62 slots of the first variable, then the second.
    EXPECT_EQ(descriptorAt(card, 1024, 0)[0], 0x100);
    EXPECT_EQ(descriptorAt(card, 1024, 62)[0], 0x100);
    EXPECT_EQ(descriptorAt(card, 1024, 63), (Descriptor{0x200, 2, 0, 16}));
    // Buffer descriptors at 16 x (54 + 1 + 11) = 1056; H11 = 20 + 16 + 864 + 192 = 1092.
    const int h11 = 1092;
    EXPECT_EQ(card.word(128, 11), h11);
    EXPECT_EQ(descriptorAt(card, 1056, 64), (Descriptor{0x1000, 64, 0, h11 + 2 + 6}));
    EXPECT_EQ(descriptorAt(card, 1056, 127), (Descriptor{0x1000, 127, 0, h11 + 2 + 6 + 126}));
    EXPECT_EQ(descriptorAt(card, 1056, 128), (Descriptor{0x1000, 128, 0, h11 + 2 + 134}));
    EXPECT_EQ(card.word(h11, 0), 2);
}

TEST(CardImage, EverySlotIsWrittenWhenTheTableSizeIsNotAMultipleOfFour) {
    auto c = config(6, 4, false);
    for (int id = 1; id <= 6; ++id) c.addVariable(id);
    MemoryCard card;
    ImageResult result;
    ASSERT_EQ(writeCardImage(card, c.input(), result), 0u);
    EXPECT_EQ(descriptorAt(card, 160, 5)[0], 6);
    EXPECT_EQ(descriptorAt(card, 160, 6), Descriptor{});
}

TEST(CardImage, NoVariablesWritesHeaderAndMarker) {
    auto c = config(4, 4, false);
    MemoryCard card;
    ImageResult result;
    ASSERT_EQ(writeCardImage(card, c.input(), result), 0u);
    EXPECT_EQ(card.writes, (std::vector<std::uint16_t>{128, 194}));
}

struct RefusalCase {
    const char* what;
    int t, m, variables, transmitted;
    ErrorCode code;
};

class CardImageRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CardImageRefusal, BeforeAnyPageIsWritten) {
    const RefusalCase& r = GetParam();
    auto c = config(r.t, r.m, false);
    for (int i = 0; i < r.variables; ++i) c.addVariable(i + 1);
    for (int i = 0; i < r.transmitted; ++i) c.addMessage(true);
    MemoryCard card;
    ImageResult result;
    EXPECT_EQ(writeCardImage(card, c.input(), result), r.code) << r.what;
    EXPECT_TRUE(card.writes.empty());
}

INSTANTIATE_TEST_SUITE_P(Refusals, CardImageRefusal, ::testing::Values(
    RefusalCase{"table of 4096", 4096, 4, 1, 0, kErrVariableTableTooLarge},
    RefusalCase{"4096 variables in a table of 4095", 4095, 4, 4096, 0, kErrVariableTableTooLarge},
    RefusalCase{"more variables than the table", 4, 4, 5, 0, kErrVariableTableTooLarge},
    RefusalCase{"more transmitted messages than the table", 8, 4, 1, 5, kErrCardImageTooLarge}));

TEST(CardImage, PageLimitEdge) {
    // Without BA memory and T = 8, M = 4, the image ends with the marker on page 195.
    auto c = config(8, 4, false);
    c.addVariable(1);
    {
        MemoryCard card;
        ImageResult result;
        EXPECT_EQ(writeCardImage(card, c.input(196), result), 0u);  // ends exactly at the limit
        EXPECT_EQ(card.writes.back(), 195);
    }
    {
        MemoryCard card;
        ImageResult result;
        EXPECT_EQ(writeCardImage(card, c.input(195), result), kErrCardImageTooLarge);  // the marker
        EXPECT_EQ(card.writes.back(), 194);
    }
    {
        MemoryCard card;
        ImageResult result;
        EXPECT_EQ(writeCardImage(card, c.input(194), result), kErrCardImageTooLarge);  // the last buffer page
        EXPECT_EQ(card.writes.back(), 193);
    }
    {
        MemoryCard card;
        ImageResult result;
        EXPECT_EQ(writeCardImage(card, c.input(161), result), kErrCardImageTooLarge);  // the second slot page
        EXPECT_EQ(card.writes, (std::vector<std::uint16_t>{128, 160}));
    }
}

TEST(CardImage, LargestTableWithBaMemoryFitsTheLimit) {
    // With BA memory the marker is page 16 x 54 + 192 + (M + T) / 4 + 16 x (T / 64).
    auto fits = [](int t) {
        auto c = config(t, 4, true);
        for (int i = 0; i < t; ++i) c.addVariable(i);
        MemoryCard card;
        ImageResult result;
        auto input = c.input();
        input.placeBaPrograms = [] { return ErrorCode{0}; };
        return writeCardImage(card, input, result);
    };
    EXPECT_EQ(fits(1983), 0u);  // marker on page 2032
    EXPECT_EQ(fits(1984), kErrCardImageTooLarge);  // marker on page 2049
}

TEST(CardImage, PageFailures) {
    auto c = config(8, 4, false);
    c.addVariable(1);
    for (int page : {160, 180, 195}) {
        MemoryCard card;
        card.failWriteAt = {page};
        ImageResult result;
        EXPECT_EQ(writeCardImage(card, c.input(), result), kErrBaPageAccess) << page;
        EXPECT_EQ(card.resets, 0);
    }
    MemoryCard card;
    card.failWriteAt = {128};
    ImageResult result;
    EXPECT_EQ(writeCardImage(card, c.input(), result), kErrBaPageAccess);
    EXPECT_EQ(card.resets, 1);
    card.resetResult = kErrDeviceTimeout;
    EXPECT_EQ(writeCardImage(card, c.input(), result), kErrDeviceTimeout);
}

TEST(CardImage, BaFailureStopsTheImage) {
    auto c = config(8, 4, true);
    c.addVariable(1);
    MemoryCard card;
    auto input = c.input();
    input.placeBaPrograms = [] { return kErrBaProgram1TooLarge; };
    ImageResult result;
    EXPECT_EQ(writeCardImage(card, input, result), kErrBaProgram1TooLarge);
    EXPECT_EQ(card.writes, std::vector<std::uint16_t>{128});
}

TEST(VariableSort, ByUnsignedIdentifierKeepingRecords) {
    ConfigBuilder c;
    for (int id : {0x30, 0xFFFF, 0x10, 0x8000, 0x20}) c.addVariable(id, id & 0x7F);
    sortVariablesById(c.variables.data(), c.variableCount());
    const int ids[5] = {0x10, 0x20, 0x30, 0x8000, 0xFFFF};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(u16At(c.variable(i), 0), ids[i]);
        EXPECT_EQ(u16At(c.variable(i), 70), ids[i] & 0x7F);
    }
}

}  // namespace
}  // namespace corvix::download
