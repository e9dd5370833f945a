// The card memory image that DOWNLOAD_CNF leaves on a board of the simulated machine, word by word
// against values worked out by hand from the image's layout, and the table look-ups after it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>

#include "download_fixture.h"
#include "expected_card.h"
#include "sim/segment/card_configuration.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::FieldsAre;

// Without BA memory: T = 8, M = 4; 1 Mbit/s (speed 1), slot time 2, so the timing factor is 1.6.
// Five variables in file order 0x0300, 0x0010, 0x8001, 0x0120, 0x0005 (0x8001 sorts last as an
// unsigned identifier); messages: transmitted, received, transmitted.
records::Configuration withoutBaMemory() {
    records::Configuration c = bareConfiguration(8, 4, false);
    c.param.speed = 1;
    c.param.slot_time = 2;
    c.param.turnaround = 10;
    c.param.silence = 20;
    c.param.election_count = 518;
    c.param.start_delay = 1234;
    c.param.clock_multiplier = 1;
    c.param.frame_type = 1;
    c.variables = {
        variableRecord({.identifier = 0x0300, .name = "big", .consumed = true, .length = 128}),
        variableRecord({.identifier = 0x0010, .name = "in", .consumed = true, .length = 8, .pduType = 0x50,
                        .refreshment = 1, .promptness = 1, .promptnessMs = 10}),
        variableRecord({.identifier = 0x8001, .name = "high", .length = 1, .flags = 0x40}),
        variableRecord({.identifier = 0x0120, .name = "ch3", .flags = 0x42, .channel = 3, .refreshmentMs = 7}),
        variableRecord({.identifier = 0x0005, .name = "first", .length = 4, .refreshment = 1, .flags = 0x02,
                        .channel = 0, .refreshmentMs = 25}),
    };
    c.messages = {message("out1", 0x0005, 1, 0x0300, 2, true), message("in1", 0x0300, 0, 0x0005, 0, false),
                  message("out2", 0x0120, 0, 0x0999, 3, true)};
    return c;
}

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

// With BA memory: T = 64, M = 8; 31.25 kbit/s (speed 0), slot time 0, so the timing factor is 10.
// The variable 0x30 receives messages (flags bit 0): message keys start at T + 64.
records::INSTRUCTION paddedLine(const char* text, const char* padding) {
    records::INSTRUCTION line = records::make_instruction(text);
    std::memcpy(line.text.data() + std::strlen(text) + 1, padding, std::strlen(padding));
    return line;
}

records::Configuration withBaMemory() {
    records::Configuration c = bareConfiguration(64, 8, true);
    c.param.speed = 0;
    c.param.slot_time = 0;
    c.param.turnaround = 0x50;
    c.param.silence = 0x45;
    c.param.election_count = 0xFFFF;
    c.param.start_delay = 0x00010002;
    c.param.clock_multiplier = 2;
    c.param.frame_type = 1;
    c.sequence1 = {records::make_instruction("ID_DAT(30)"), records::make_instruction("ID_DAT(10)"),
                   records::make_instruction("SEND_APER(FFFF)"),  // all 15 bytes, no terminating zero
                   records::make_instruction("ID_DAT(30)"), records::make_instruction("SUSPEND(2)"),
                   records::make_instruction("SEND_MSG(1)")};
    c.sequence2 = {records::make_instruction("ID_DAT(10)"), records::make_instruction("ID_MSG(120)   "),
                   paddedLine("WAIT(a)", "JUNK"), records::make_instruction("NEXT_MACRO_1(A)"),
                   records::make_instruction("NEXT_MACRO_2(0)")};
    c.variables = {
        variableRecord({.identifier = 0x30, .name = "mail", .length = 4, .refreshment = 1, .flags = 0x01,
                        .refreshmentMs = 100}),
        variableRecord({.identifier = 0x10, .name = "in", .consumed = true, .promptness = 1, .promptnessMs = 3}),
        variableRecord({.identifier = 0x20, .name = "ch8", .length = 16, .flags = 0x02, .channel = 8,
                        .refreshmentMs = 700}),
    };
    c.messages = {message("in1", 0x0010, 0, 0x0099, 0, false), message("ask", 0x0020, 1, 0x0120, 2, true),
                  message("tell", 0x0030, 0, 0x0130, 0, true)};
    return c;
}

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

TEST_F(Download, TheLookUpsGiveTheSortedPositions) {
    start();
    ASSERT_EQ(download(withoutBaMemory()), kSuccess);
    struct Found {
        std::uint16_t identifier;
        const char* name;
        std::int16_t index;
        std::int16_t length;
        std::uint8_t flags;  // bit 0 refreshment, bit 1 promptness
    };
    for (const Found& f : {Found{0x0005, "first", 0, 4, 0x01}, Found{0x0010, "in", 1, 8, 0x03},
                           Found{0x0120, "ch3", 2, 2, 0}, Found{0x0300, "big", 3, 128, 0},
                           Found{0x8001, "high", 4, 1, 0}}) {
        std::int16_t index = -1, length = 0;
        std::uint8_t flags = 0xF0;  // bits above 1 are kept
        char name[33] = {};
        ASSERT_EQ(FIND_VAR_BY_ID(f.identifier, &index, name, &length, &flags), 1u) << f.name;
        EXPECT_EQ(index, f.index) << f.name;
        EXPECT_STREQ(name, f.name);
        EXPECT_EQ(length, f.length) << f.name;
        EXPECT_EQ(flags, 0xF0 | f.flags) << f.name;
        std::uint16_t identifier = 0;
        index = -1;
        ASSERT_EQ(FIND_VAR_BY_NAME(f.name, &index, &identifier, &length, &flags), 1u) << f.name;
        EXPECT_EQ(index, f.index) << f.name;
        EXPECT_EQ(identifier, f.identifier) << f.name;
        // The card's descriptor at that position carries the same identifier.
        EXPECT_EQ(wordsOf(card().page(176 + f.index / 4))[16 * (f.index % 4) + 14], f.identifier) << f.name;
    }
    std::int16_t index = 0;
    EXPECT_EQ(FIND_VAR_BY_ID(0x0006, &index, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(FIND_VAR_BY_NAME("First", &index, nullptr, nullptr, nullptr), 0u);

    // Transmitted messages keyed from T in table order, the received one -1.
    std::int16_t key = 0;
    std::uint16_t source = 0, destination = 0;
    std::uint8_t sourceSegment = 0, destinationSegment = 0;
    ASSERT_EQ(FIND_MSG_BY_NAME("out2", &key, &source, &sourceSegment, &destination, &destinationSegment), 1u);
    EXPECT_EQ(key, 9);
    EXPECT_EQ(source, 0x0120);
    EXPECT_EQ(destination, 0x0999);
    EXPECT_EQ(destinationSegment, 3);
    ASSERT_EQ(FIND_MSG_BY_NAME("out1", &key, &source, &sourceSegment, &destination, &destinationSegment), 1u);
    EXPECT_EQ(key, 8);
    EXPECT_EQ(sourceSegment, 1);
    ASSERT_EQ(FIND_MSG_BY_NAME("in1", &key, &source, &sourceSegment, &destination, &destinationSegment), 1u);
    EXPECT_EQ(key, -1);
    char name[33] = {};
    EXPECT_EQ(FIND_MSG_BY_ID(0x0005, 1, 0x0300, 3, name, &key), 0u);  // destination segment differs
}

TEST_F(Download, VariableWritesReachTheBuffersOfTheSortedPositions) {
    start();
    ASSERT_EQ(download(withoutBaMemory()), kSuccess);
    for (const std::uint16_t identifier : {0x0005, 0x0120, 0x8001}) {  // the produced ones
        std::int16_t index = -1, length = 0;
        ASSERT_EQ(FIND_VAR_BY_ID(identifier, &index, nullptr, &length, nullptr), 1u);
        std::array<std::uint8_t, 128> value{};
        for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(identifier + i);
        ASSERT_EQ(FIP_WRITE_VAR(static_cast<std::uint16_t>(index), value.data()), kSuccess) << identifier;
        const auto layout = card().variableLayout(static_cast<std::uint16_t>(index));
        ASSERT_TRUE(layout) << identifier;
        EXPECT_EQ(layout->kind, sim::VariableKind::Produced);
        EXPECT_EQ(layout->length, length);
        EXPECT_EQ(card().variableValue(static_cast<std::uint16_t>(index)),
                  std::vector(value.begin(), value.begin() + length));
    }
}

TEST_F(Download, TheLookUpsFollowTheMessageKeyOffset) {
    start();
    ASSERT_EQ(download(withBaMemory()), kSuccess);
    std::int16_t key = 0;
    char name[33] = {};
    ASSERT_EQ(FIND_MSG_BY_ID(0x0020, 1, 0x0120, 2, name, &key), 1u);
    EXPECT_EQ(key, 64 + 64);
    EXPECT_STREQ(name, "ask");
    ASSERT_EQ(FIND_MSG_BY_ID(0x0030, 0, 0x0130, 0, name, &key), 1u);
    EXPECT_EQ(key, 64 + 64 + 1);
    std::int16_t index = -1;
    ASSERT_EQ(FIND_VAR_BY_ID(0x30, &index, name, nullptr, nullptr), 1u);
    EXPECT_EQ(index, 2);
}

// A message's key is the entry of its buffer descriptor: a transmitted-byte other than 0 or 1 (not
// one the designer writes) neither takes a key nor a buffer, so the messages after it stay aligned.
TEST_F(Download, MessageKeysNameTheirOwnBufferDescriptors) {
    records::Configuration c = bareConfiguration(8, 4, false);
    c.variables = {variableRecord({.identifier = 1})};
    c.messages = {message("odd", 1, 0, 2, 0, true), message("tx", 3, 0, 4, 0, true)};
    c.messages[0].transmitted = 2;
    start();
    ASSERT_EQ(download(c), kSuccess);
    std::int16_t key = 0;
    char name[33] = {};
    ASSERT_EQ(FIND_MSG_BY_ID(1, 0, 2, 0, name, &key), 1u);
    EXPECT_EQ(key, -1);
    ASSERT_EQ(FIND_MSG_BY_ID(3, 0, 4, 0, name, &key), 1u);
    ASSERT_EQ(key, 8);
    // H11 = ((4 + 8) >> 2) + 192 = 195: message 1's data page is H11 + 1 + 6 + 2 x 1.
    const Words entries = wordsOf(card().page(176 + 2));
    EXPECT_THAT(std::vector(entries.begin(), entries.begin() + 4), ElementsAre(0x1000, 8, 0, 195 + 9));
    EXPECT_EQ(entries[16], 0);  // no entry 9
}

TEST_F(Download, ABaTextFileNamedInTheConfigurationIsProgramOne) {
    const auto text = qbase::machineRoot() / "cycle.ba";
    std::ofstream(text) << "macro cycle\nBEGIN\n  ID_DAT(5)\tWAIT(3)\n  ID_DAT(5) NEXT_MACRO_1(0)\nEND\n";
    records::Configuration c = withBaMemory();
    c.ba.program_from_file = 1;
    records::set_text(c.ba.program_path, text.string());
    start();
    ASSERT_EQ(download(c), kSuccess);
    EXPECT_EQ(wordsOf(card().page(160)),
              (Words{0x7030, 5, 0xFF7E, 0x36, 0x7030, 5, 0xFF7E, 0x01}));  // no closing word of its own
    EXPECT_EQ(wordsOf(card().page(161)), Words{});  // the macro lists are not placed
    EXPECT_EQ(wordsOf(card().page(1021)), ExpectedCard().page(1021, {{62, 5}}).at(1021));
    std::int16_t program1 = 0, program2 = 0;
    GET_BA_PROGRAM_ADDR(&program1, &program2);
    EXPECT_EQ(program1, 160 * 64);
    EXPECT_EQ(program2, 0);
}

// BA_PROG on its own reads the end of BA memory from the card's header page: one that lies beyond
// the card's pages (here the power-on content, no image downloaded) writes nothing.
TEST_F(Download, BaProgOverAHeaderReachingPastTheCardWritesNothing) {
    const auto text = qbase::machineRoot() / "short.ba";
    std::ofstream(text) << "BEGIN WAIT(3) END";
    start();
    ASSERT_EQ(wordsOf(card().page(128))[9], 0xA580);
    EXPECT_EQ(BA_PROG(text.string().c_str()), kErrCardImageTooLarge);
    for (std::uint32_t p = 0; p < sim::kCardPages; ++p)
        ASSERT_EQ(wordsOf(card().page(p)), powerOnWords(p)) << "page " << p;
}

// The card reads the downloaded image as the network that the file describes (the simulated
// card's own reading of the header and descriptors).
TEST_F(Download, TheCardReadsTheConfiguredVariables) {
    start();
    ASSERT_EQ(download(withoutBaMemory()), kSuccess);
    const auto read = sim::readCardConfiguration(card());
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->baMemory);
    EXPECT_EQ(read->settings.bitRate, sim::BitRate::k1M);
    EXPECT_EQ(read->settings.turnaroundCount, 10);
    EXPECT_EQ(read->settings.silenceCount, 20);
    EXPECT_EQ(read->settings.slotIndex, 2);
    EXPECT_TRUE(read->settings.clockMultiplier);
    using K = sim::VariableKind;
    constexpr sim::Nanoseconds ms = 1000000;
    // {identifier, index, kind, length, PDU type, refreshment, its period, promptness, its period}
    EXPECT_THAT(read->variables,
                ElementsAre(FieldsAre(0x0005, 0, K::Produced, 4, 0x40, true, 25 * ms, false, 0, false),
                            FieldsAre(0x0010, 1, K::Consumed, 8, 0x50, true, 0, true, 10 * ms, false),
                            FieldsAre(0x0120, 2, K::Produced, 2, 0x40, false, 11 * 625000, false, 0, false),
                            FieldsAre(0x0300, 3, K::Consumed, 128, 0x40, false, 0, false, 0, false),
                            FieldsAre(0x8001, 4, K::Produced, 1, 0x40, false, 0, false, 0, false)));

    ASSERT_EQ(download(withBaMemory()), kSuccess);
    const auto withBa = sim::readCardConfiguration(card());
    ASSERT_TRUE(withBa);
    EXPECT_TRUE(withBa->baMemory);
    EXPECT_EQ(withBa->programWord, 160 * 64);
    EXPECT_EQ(withBa->baEndPage, 1022);
    EXPECT_EQ(withBa->settings.bitRate, sim::BitRate::k31k25);
    EXPECT_THAT(withBa->variables,
                ElementsAre(FieldsAre(0x10, 0, K::Consumed, 2, 0x40, false, 0, true, 3 * ms, false),
                            FieldsAre(0x20, 1, K::Produced, 16, 0x40, false, 700 * ms, false, 0, false),
                            FieldsAre(0x30, 2, K::Produced, 4, 0x40, true, 100 * ms, false, 0, true)));
}

}  // namespace
}  // namespace corvix::testing
