// After DOWNLOAD_CNF on a board of the simulated machine: the look-ups over the sorted tables, the
// card buffers they name, the BA programs placed and the card's own reading of the image.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "base/debug_output.h"
#include "download_configurations.h"
#include "download_fixture.h"
#include "expected_card.h"
#include "sim/segment/card_configuration.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::FieldsAre;

class AfterDownload : public DownloadOnMachine {};

TEST_F(AfterDownload, TheLookUpsGiveTheSortedPositions) {
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

TEST_F(AfterDownload, VariableWritesReachTheBuffersOfTheSortedPositions) {
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

TEST_F(AfterDownload, TheLookUpsFollowTheMessageKeyOffset) {
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
TEST_F(AfterDownload, MessageKeysNameTheirOwnBufferDescriptors) {
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

TEST_F(AfterDownload, ABaTextFileNamedInTheConfigurationIsProgramOne) {
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

// Macro lists too long for BA memory (pages 160..1021): the download stops with the program's code
// and its debugger line, before any variable descriptor is written.
struct OverflowCase {
    const char* name;
    int suspends1;  // lines SUSPEND(1) in list 1, 16 words each
    int suspends2;  // and in list 2 (after one WAIT(1) in list 1 when list 1 has none)
    ErrorCode code;
    const char* line;
};

class BaOverflow : public DownloadOnMachine, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(BaOverflow, StopsTheDownloadWithItsCodeAndLine) {
    const OverflowCase& p = GetParam();
    records::Configuration c = withBaMemory();
    c.sequence1.assign(static_cast<std::size_t>(p.suspends1), records::make_instruction("SUSPEND(1)"));
    if (p.suspends1 == 0) c.sequence1 = {records::make_instruction("WAIT(1)")};
    c.sequence2.assign(static_cast<std::size_t>(p.suspends2), records::make_instruction("SUSPEND(1)"));
    start();
    qbase::debug::clearCaptured();
    EXPECT_EQ(download(c), p.code);
    EXPECT_THAT(qbase::debug::captured(), ::testing::Contains(std::string(p.line)));
    std::int16_t program1 = -1, program2 = -1;
    GET_BA_PROGRAM_ADDR(&program1, &program2);
    EXPECT_EQ(program2, 0);
    EXPECT_EQ(wordsOf(card().page(1024)), powerOnWords(1024));  // no variable descriptor
}

// 861 pages of four lines from page 160 leave page 1021, the last before the end page 1022, which
// a program may fill but not flush; list 2 runs from page 161 below program 1's slot page 1021.
INSTANTIATE_TEST_SUITE_P(
    Lists, BaOverflow,
    ::testing::Values(OverflowCase{"ProgramOne", 3448, 1, kErrBaProgram1TooLarge, "ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 4"},
                      OverflowCase{"ProgramTwo", 0, 3440, kErrBaProgram2TooLarge, "ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 5"},
                      OverflowCase{"NoRoomForProgramTwo", 3443, 1, kErrBaProgram2TooLarge,
                                   "ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AfterDownload, ProgramOneFillsBaMemoryUpToItsSlotPage) {
    records::Configuration c = withBaMemory();
    c.sequence2 = {records::make_instruction("WAIT(1)")};
    start();
    // 3444 lines fill pages 160..1020: the closing word goes to page 1021, the slot page.
    c.sequence1.assign(3444, records::make_instruction("SUSPEND(1)"));
    qbase::debug::clearCaptured();
    EXPECT_EQ(download(c), kErrBaProgram1TooLarge);
    EXPECT_THAT(qbase::debug::captured(), ::testing::Contains(std::string("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 3")));
    // 3440 lines end with the closing word on page 1020: program 2 would start at the slot page.
    c.sequence1.resize(3440);
    EXPECT_EQ(download(c), kErrBaProgram2TooLarge);
    // 3439 lines close on page 1019: program 2's one page would also be its slot page.
    c.sequence1.resize(3439);
    qbase::debug::clearCaptured();
    EXPECT_EQ(download(c), kErrBaProgram2TooLarge);
    EXPECT_THAT(qbase::debug::captured(), ::testing::Contains(std::string("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 5")));
    // 3435 lines close on page 1018: program 2 gets page 1019 and its slot page 1020.
    c.sequence1.resize(3435);
    ASSERT_EQ(download(c), kSuccess);
    std::int16_t program1 = 0, program2 = 0;
    GET_BA_PROGRAM_ADDR(&program1, &program2);
    EXPECT_EQ(program1, 160 * 64);
    EXPECT_EQ(program2, static_cast<std::int16_t>(1019 * 64));
    EXPECT_EQ(wordsOf(card().page(1018))[48], 0x12);  // 16 x 1 + 2
    EXPECT_EQ(wordsOf(card().page(1019)), ExpectedCard().pageWords(1019, {0x16, 0x12}).at(1019));
    EXPECT_EQ(wordsOf(card().page(1020)), Words{});
}

// BA_PROG on its own reads the end of BA memory from the card's header page: one that lies beyond
// the card's pages (here the power-on content, no image downloaded) writes nothing.
TEST_F(AfterDownload, BaProgOverAHeaderReachingPastTheCardWritesNothing) {
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
TEST_F(AfterDownload, TheCardReadsTheConfiguredVariables) {
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
