// The card memory image that DOWNLOAD_CNF leaves on a board of the simulated machine, word by word
// against values worked out by hand from the image's layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download_configurations.h"
#include "download_fixture.h"
#include "expected_card.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;

// By hand: B = 10, e = 0, g = 3; header word 1 = 11, word 11 = ((4 + 8) >> 2) + 192 = 195 (H11).
ExpectedCard withoutBaMemoryImage() {
    ExpectedCard card;
    card.page(128, {{0, 0x200A}, {1, 11}, {3, 8}, {4, 10}, {5, 154}, {6, 127}, {7, 156}, {8, 127}, {9, 158},
                    {10, 127}, {11, 195}, {12, 3}, {13, 0x2800},
                    {16, 0x9429},  // 2 << 14 | 20 << 8 | 10 x 4, + 1 for 1 Mbit/s
                    {17, 1234}, {18, 518}, {20, 7}, {22, 1}, {32, 16 * 8 - 14}, {33, 2}});
    // Variable descriptors from page 16 x 10: slots 0..3 repeat 0x0005, slots 4..7 the others.
    const Descriptor first{0x0005, 0x109, 0, 0, 0, 0, 40, 0, 0x2190};  // 25 ms x 1.6; channel 0
    for (int s = 0; s < 4; ++s) card.descriptor(160, s, first);
    card.descriptor(160, 4, {0x0010, 2, 0, 16});
    card.descriptor(160, 5, {0x0120, 0x41, 32, 0, 0, 0, 11, 0, 0x2588});  // 7 x 1.6 = 11.2; channel 3
    card.descriptor(160, 6, {0x0300, 2, 0, 48});
    card.descriptor(160, 7, {0x8001, 0x41, 64});
    // Buffer descriptors from page 16 x 11, (8 + 3 + 64) / 4 + 1 = 19 pages; data pages from H11 + 4.
    card.zeroPages(176, 194);
    card.descriptor(176, 0, {0x104, 0, 0, 199, 0, 0, 0, 0, 0, 0x4005, 0, 0, 0, 0, 0x0005});
    card.descriptor(176, 1, {0xA08, 1, 0, 200, 0, 0, 0, 0, 0, 0x500B, 16, 0, 0, 0, 0x0010});
    card.descriptor(176, 2, {0x102, 2, 0, 201, 0, 0, 0, 0, 0, 0x4002, 0, 0, 0, 0, 0x0120});
    card.descriptor(176, 3, {0x280, 3, 0, 202, 0, 0, 0, 0, 0, 0x4082, 0, 0, 0, 0, 0x0300});
    card.descriptor(176, 4, {0x101, 4, 0, 203, 0, 0, 0, 0, 0, 0x4001, 0, 0, 0, 0, 0x8001});
    // Transmitted messages 0 and 2 as entries 8 and 9: data page H11 + 5 + 6 + 2p.
    card.descriptor(176, 8, {0x1000, 8, 0, 206});
    card.descriptor(176, 9, {0x1000, 9, 0, 210});
    card.page(195, {{0, 2}});  // marker
    return card;
}

class DownloadImage : public DownloadOnMachine, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(DownloadImage, WithoutBaMemoryMatchesTheLayoutWordForWord) {
    start(GetParam());
    const std::uint32_t resets = card().resetCount();
    ASSERT_EQ(download(withoutBaMemory()), kSuccess);
    withoutBaMemoryImage().expectOn(card());
    EXPECT_EQ(card().resetCount(), resets + 2);  // before clearing and at the end

    std::int16_t program1 = -1, program2 = -1;
    ASSERT_EQ(GET_BA_PROGRAM_ADDR(&program1, &program2), kSuccess);
    EXPECT_EQ(program1, 0);
    EXPECT_EQ(program2, 0);
}

INSTANTIATE_TEST_SUITE_P(Boards, DownloadImage, ::testing::Values(kBoardPci, kBoardPc104),
                         [](const auto& info) { return info.param == kBoardPci ? "Pci" : "Pc104"; });

// By hand: B = 64, e = 54, g = 6; word 1 = 54 + 1 + 11 = 66; word 11 = 18 + 16 + 864 + 192 = 1090.
ExpectedCard withBaMemoryImage() {
    ExpectedCard card;
    card.page(128, {{0, 0x5040}, {1, 66}, {2, 1}, {3, 64}, {4, 64}, {5, 1018}, {6, 127}, {7, 1020}, {8, 127},
                    {9, 1022}, {10, 127}, {11, 1090}, {12, 3}, {13, 0x2800},
                    {16, 0x0543},  // 0 << 14 | (0x45 & 0x3F) << 8 | (0x50 x 4) & 0xFF, + 3 for 31.25 kbit/s
                    {17, 2}, {18, 0xFFFF}, {20, 6}, {22, 1}, {32, 16 * 64 - 14}, {33, 2}});
    // BA memory: program 1 zeroes pages 160..1021, program 2 pages 161..1020.
    card.zeroPages(160, 1023);
    // Program 1 at page 160, its identifiers 0x30 and 0x10 in slots at 64 x 1022 - 2 and - 4.
    card.pageWords(160, {0x7030, 0x30, 0xFF7E, 0x7030, 0x10, 0xFF7C, 0xFFF5, 0x7030, 0x30, 0xFF7E, 0x27, 0, 0, 0,
                         0, 0, 0x14, 0x12});
    card.page(1021, {{60, 0x10}, {62, 0x30}});
    // Program 2 at page 161, below program 1's slot page: its slot at 64 x 1021 - 2.
    card.pageWords(161, {0x7030, 0x10, 0xFF3E, 0x1050, 0x120, 0, 0xA6, 0xA1, 0xA2, 0xA2});
    card.page(1020, {{62, 0x10}});
    // Variable descriptors from page 16 x 64, 16 pages: slots 0..61 repeat 0x10.
    for (int s = 0; s < 62; ++s) card.descriptor(1024, s, {0x10, 2, 0, 0});
    card.descriptor(1024, 62, {0x20, 1, 16, 0, 0, 0, 7000, 0, 0x259C});  // 700 ms x 10; channel 8
    card.descriptor(1024, 63, {0x30, 0x209, 32, 0, 0, 0, 1000});
    // Buffer descriptors from page 16 x 66, (64 + 3 + 64) / 4 + 1 = 33 pages.
    card.zeroPages(1056, 1088);
    card.descriptor(1056, 0, {0xA02, 0, 0, 1094, 0, 0, 0, 0, 0, 0x4004, 30, 0, 0, 0, 0x10});
    card.descriptor(1056, 1, {0x110, 1, 0, 1095, 0, 0, 0, 0, 0, 0x4010, 0, 0, 0, 0, 0x20});
    card.descriptor(1056, 2, {0x104, 2, 0, 1096, 0, 0, 0, 0, 0, 0x4005, 0, 0, 0, 0, 0x30});
    for (std::uint16_t k = 0; k < 64; ++k)
        card.descriptor(1056, 64 + k, {0x1000, static_cast<std::uint16_t>(64 + k), 0,
                                       static_cast<std::uint16_t>(1090 + 3 + 6 + 2 * k)});
    card.descriptor(1056, 128, {0x1000, 128, 0, 1090 + 3 + 134 + 2});
    card.descriptor(1056, 129, {0x1000, 129, 0, 1090 + 3 + 134 + 4});
    card.page(1090, {{0, 2}});
    return card;
}

class Download : public DownloadOnMachine {};

TEST_F(Download, WithBaMemoryAndTheMessageKeyOffsetMatchesTheLayoutWordForWord) {
    start();
    ASSERT_EQ(download(withBaMemory()), kSuccess);
    withBaMemoryImage().expectOn(card());
    std::int16_t program1 = 0, program2 = 0;
    ASSERT_EQ(GET_BA_PROGRAM_ADDR(&program1, &program2), kSuccess);
    EXPECT_EQ(program1, 160 * 64);
    EXPECT_EQ(program2, 161 * 64);
}

// A format-3 file of the same kind of network: the loader widens its records, and the file carries
// its own table sizes (16 and 16 below 16 records), BA memory (its one macro line) and, in place of
// the election count, the priority 0.
TEST_F(Download, AFormat3FileMatchesTheLayoutWordForWord) {
    records::Configuration c = records::new_configuration();  // 1 Mbit/s, slot time 0: factor 16
    c.sequence1 = {records::make_instruction("WAIT(2)")};
    c.variables = {variableRecord({.identifier = 0x20, .name = "out", .length = 3, .refreshment = 1,
                                   .refreshmentMs = 10}),
                   variableRecord({.identifier = 0x10, .name = "in", .consumed = true, .length = 5, .promptness = 1,
                                   .promptnessMs = 4})};
    c.messages = {message("tx", 0x20, 0, 0x10, 0, true)};
    start();
    ASSERT_EQ(downloadFile(records::encode_format3(c)), kSuccess);
    // B = 64, g = 4; word 1 = 54 + 0 + 11 = 65; word 11 = ((16 + 16) >> 2) + 864 + 192 = 1064.
    ExpectedCard expected;
    expected.page(128, {{0, 0x3040}, {1, 65}, {2, 1}, {3, 16}, {4, 64}, {5, 1018}, {6, 127}, {7, 1020}, {8, 127},
                        {9, 1022}, {10, 127}, {11, 1064}, {12, 3}, {13, 0x2800}, {16, 0x1639}, {17, 8712}, {18, 0},
                        {20, 6}, {22, 1}, {32, 16 * 16 - 14}, {33, 2}});
    expected.zeroPages(160, 1023).pageWords(160, {0x26, 0x22});
    for (int s = 0; s < 15; ++s) expected.descriptor(1024, s, {0x10, 2, 0, 0});
    expected.descriptor(1024, 15, {0x20, 9, 16, 0, 0, 0, 160});  // 10 ms x 16
    expected.zeroPages(1040, 1060);  // (16 + 1 + 64) / 4 + 1 pages
    expected.descriptor(1040, 0, {0xA05, 0, 0, 1068, 0, 0, 0, 0, 0, 0x4007, 64, 0, 0, 0, 0x10});
    expected.descriptor(1040, 1, {0x103, 1, 0, 1069, 0, 0, 0, 0, 0, 0x4004, 0, 0, 0, 0, 0x20});
    expected.descriptor(1040, 16, {0x1000, 16, 0, 1064 + 2 + 6});
    expected.page(1064, {{0, 2}});
    expected.expectOn(card());

    std::int16_t key = 0, index = -1;
    char name[33] = {};
    ASSERT_EQ(FIND_MSG_BY_ID(0x20, 0, 0x10, 0, name, &key), 1u);
    EXPECT_EQ(key, 16);
    ASSERT_EQ(FIND_VAR_BY_ID(0x20, &index, name, nullptr, nullptr), 1u);
    EXPECT_EQ(index, 1);
    EXPECT_STREQ(name, "out");
}

// The first pages of the image for each combination of BA memory and the message key offset:
// T = 16, M = 4, variables 0x40 and 0x41 (the second receiving messages where the case says so),
// and one received then one transmitted message.
struct LayoutCase {
    const char* name;
    bool ba;
    bool offset;
    std::uint16_t word0;
    std::uint32_t slots;    // first page of the variable descriptors
    std::uint32_t buffers;  // first page of the buffer descriptors
    std::uint16_t h11;
    std::uint32_t messageEntry;
    std::uint16_t messageData;  // word 3 of the message's buffer descriptor
    std::int16_t key;           // of the transmitted message
};

class Layouts : public DownloadOnMachine, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(Layouts, PlaceTheTablesAndKeyTheMessages) {
    const LayoutCase& p = GetParam();
    records::Configuration c = bareConfiguration(16, 4, p.ba);
    c.sequence1 = {records::make_instruction("WAIT(1)")};
    c.variables = {variableRecord({.identifier = 0x41, .name = "b", .flags = std::uint8_t(p.offset ? 1 : 0)}),
                   variableRecord({.identifier = 0x40, .name = "a", .consumed = true})};
    c.messages = {message("rx", 1, 0, 2, 0, false), message("tx", 3, 0, 4, 0, true)};
    start();
    ASSERT_EQ(download(c), kSuccess);
    const Words header = wordsOf(card().page(128));
    EXPECT_EQ(header[0], p.word0);
    EXPECT_EQ(header[11], p.h11);
    EXPECT_EQ(wordsOf(card().page(p.slots + 3))[48], 0x41);  // slot 15
    EXPECT_EQ(wordsOf(card().page(p.buffers))[14], 0x40);
    const Words entry = wordsOf(card().page(p.buffers + p.messageEntry / 4));
    EXPECT_THAT(std::vector(entry.begin() + 16 * (p.messageEntry % 4), entry.begin() + 16 * (p.messageEntry % 4) + 4),
                ElementsAre(0x1000, p.messageEntry, 0, p.messageData));
    EXPECT_EQ(wordsOf(card().page(p.buffers + 16))[0], p.offset ? 0x1000 : 0);  // entry 64: the receive block
    EXPECT_EQ(wordsOf(card().page(p.h11))[0], 2);

    std::int16_t key = 0;
    char name[33] = {};
    ASSERT_EQ(FIND_MSG_BY_ID(3, 0, 4, 0, name, &key), 1u);
    EXPECT_EQ(key, p.key);
    EXPECT_STREQ(name, "tx");
    ASSERT_EQ(FIND_MSG_BY_ID(1, 0, 2, 0, name, &key), 1u);
    EXPECT_EQ(key, -1);
}

// g = 4 for T = 16; H11 = ((4 + 16) >> 2) + 16 x e + 192; message data H11 + 2 + 6 + 2 x 1
// (+ 128 past the receive block).
INSTANTIATE_TEST_SUITE_P(
    BaAndOffset, Layouts,
    ::testing::Values(LayoutCase{"Plain", false, false, 0x300A, 160, 176, 197, 16, 197 + 10, 16},
                      LayoutCase{"Offset", false, true, 0x300A, 160, 176, 197, 80, 197 + 138, 80},
                      LayoutCase{"Ba", true, false, 0x3040, 1024, 1040, 1061, 16, 1061 + 10, 16},
                      LayoutCase{"BaOffset", true, true, 0x3040, 1024, 1040, 1061, 80, 1061 + 138, 80}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvix::testing
