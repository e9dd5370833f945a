#include "download/ba_assembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "base/machine_root.h"
#include "engine_errors.h"
#include "memory_card.h"

namespace corvix::download {
namespace {

using testing::MemoryCard;

constexpr int kStart = 160;
constexpr int kEnd = 1022;

std::vector<std::uint8_t> lines(const std::vector<std::string>& texts) {
    std::vector<std::uint8_t> bytes(texts.size() * 15, 0);
    for (std::size_t i = 0; i < texts.size(); ++i)
        std::memcpy(bytes.data() + 15 * i, texts[i].data(), std::min<std::size_t>(15, texts[i].size()));
    return bytes;
}

ErrorCode assembleLines(MemoryCard& card, const std::vector<std::string>& texts, int start = kStart, int end = kEnd,
                        AssembledProgram* out = nullptr) {
    const auto bytes = lines(texts);
    return assembleMacroList(card, bytes.data(), static_cast<std::uint32_t>(texts.size()), start, end, out);
}

std::vector<std::uint16_t> programWords(const MemoryCard& card, int page, int count) {
    std::vector<std::uint16_t> words;
    for (int i = 0; i < count; ++i) words.push_back(card.wordAt(64L * page + i));
    return words;
}

class BaAssemblerTest : public ::testing::Test {
protected:
    void SetUp() override { qbase::debug::clearCaptured(); }
    MemoryCard card;
};

TEST_F(BaAssemblerTest, MacroListGivesWordsSlotAndClosingWord) {
    AssembledProgram out;
    ASSERT_EQ(assembleLines(card, {"ID_DAT(0100)", "SEND_APER(0100)"}, kStart, kEnd, &out), 0u);
    const std::uint16_t slot = 64 * kEnd - 2;
    EXPECT_EQ(programWords(card, kStart, 6), (std::vector<std::uint16_t>{0x7030, 0x0100, slot, 0x1005, 0x1002, 0}));
    EXPECT_EQ(card.word(kEnd - 1, 62), 0x0100);
    EXPECT_EQ(card.word(kEnd - 1, 63), 0);
    EXPECT_EQ(out.nextPage, kStart + 1);
    EXPECT_EQ(out.slotPage, kEnd - 1);
}

TEST_F(BaAssemblerTest, EveryMacroAppendsItsWords) {
    ASSERT_EQ(assembleLines(card, {"ID_MSG(12)", "SEND_MSG(3)", "NEXT_MACRO_1(4)", "WAIT(5)", "NEXT_MACRO_2(x)"}), 0u);
    EXPECT_EQ(programWords(card, kStart, 8),
              (std::vector<std::uint16_t>{0x1050, 0x12, 0, 0x34, 0x41, 0x56, 0x52, 0x52}));
}

TEST_F(BaAssemblerTest, EmptyListHoldsOnlyTheClosingWord) {
    AssembledProgram out;
    ASSERT_EQ(assembleMacroList(card, nullptr, 0, kStart, kEnd, &out), 0u);
    EXPECT_EQ(card.word(kStart, 0), 2);
    EXPECT_EQ(out.nextPage, kStart + 1);
}

TEST_F(BaAssemblerTest, RepeatedIdentifierReusesItsSlotWhateverItsCase) {
    ASSERT_EQ(assembleLines(card, {"ID_DAT(0a10)", "ID_DAT(0A10)", "ID_DAT(20)"}), 0u);
    const std::uint16_t first = 64 * kEnd - 2, second = 64 * kEnd - 4;
    EXPECT_EQ(programWords(card, kStart, 9),
              (std::vector<std::uint16_t>{0x7030, 0x0A10, first, 0x7030, 0x0A10, first, 0x7030, 0x20, second}));
    EXPECT_EQ(card.word(kEnd - 1, 62), 0x0A10);
    EXPECT_EQ(card.word(kEnd - 1, 60), 0x20);
}

TEST_F(BaAssemblerTest, SuspendPadsToTheNextSixteenWords) {
    ASSERT_EQ(assembleLines(card, {"WAIT(1)", "WAIT(1)", "WAIT(1)", "WAIT(1)", "WAIT(1)", "SUSPEND(2)", "WAIT(3)"}), 0u);
    const auto words = programWords(card, kStart, 18);
    EXPECT_EQ(words[5], 0x27);
    for (int i = 6; i < 16; ++i) EXPECT_EQ(words[i], 0) << i;
    EXPECT_EQ(words[16], 0x36);
    EXPECT_EQ(words[17], 0x32);  // closing word with last = 3
}

TEST_F(BaAssemblerTest, FullPagesFlushAndProgramContinuesOnTheNext) {
    std::vector<std::string> program(22, "ID_MSG(7)");  // 66 words, then the closing word
    AssembledProgram out;
    ASSERT_EQ(assembleLines(card, program, kStart, kEnd, &out), 0u);
    EXPECT_EQ(card.word(kStart, 63), 0x1050);
    EXPECT_EQ(card.word(kStart + 1, 0), 7);
    EXPECT_EQ(card.word(kStart + 1, 1), 0);
    EXPECT_EQ(card.word(kStart + 1, 2), 0x72);
    EXPECT_EQ(out.nextPage, kStart + 2);
}

TEST_F(BaAssemblerTest, ThirtyThreeIdentifiersUseTwoSlotPages) {
    std::vector<std::string> program;
    for (int i = 0; i < 33; ++i) program.push_back("ID_DAT(" + std::to_string(100 + i) + ")");
    AssembledProgram out;
    ASSERT_EQ(assembleLines(card, program, kStart, kEnd, &out), 0u);
    EXPECT_EQ(card.word(kEnd - 1, 0), 0x131);  // slot 31: words 0 and 1 of the top page
    EXPECT_EQ(card.word(kEnd - 2, 62), 0x132);  // slot 32 opens the page below
    EXPECT_EQ(card.wordAt(64L * kStart + 3 * 32 + 2), 64 * kEnd - 66);
    EXPECT_EQ(out.slotPage, kEnd - 2);
}

TEST_F(BaAssemblerTest, PagesOfTheRegionAreZeroedFirst) {
    for (int p = kStart; p < kEnd + 1; ++p) card.memory[p].fill(0xAA);
    ASSERT_EQ(assembleLines(card, {"WAIT(1)"}), 0u);
    EXPECT_EQ(card.word(kStart, 2), 0);
    EXPECT_EQ(card.word(500, 7), 0);
    EXPECT_EQ(card.word(kEnd - 1, 0), 0);
    EXPECT_EQ(card.word(kEnd, 0), 0xAAAA);  // the end page is not the program's
}

struct OverflowCase {
    const char* what;
    int identifiers;  // distinct ID_DAT macros
    int messages;     // ID_MSG macros after them
    int end;
    const char* line;  // debugger output line, or null
};

class BaOverflowTest : public BaAssemblerTest, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(BaOverflowTest, RefusesWithItsLine) {
    const OverflowCase& c = GetParam();
    std::vector<std::string> program;
    for (int i = 0; i < c.identifiers; ++i) program.push_back("ID_DAT(" + std::to_string(i + 1) + ")");
    for (int i = 0; i < c.messages; ++i) program.push_back("ID_MSG(1)");
    EXPECT_EQ(assembleLines(card, program, kStart, c.end), kErrBaMemoryTooSmall);
    const auto lines = qbase::debug::captured();
    if (c.line) {
        EXPECT_EQ(lines, std::vector<std::string>{c.line});
    } else {
        EXPECT_TRUE(lines.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Overflow, BaOverflowTest, ::testing::Values(
    // 128 words cannot flush a second page when only two pages lie below the end.
    OverflowCase{"page flush", 0, 43, kStart + 2, nullptr},
    // 61 words and 20 slots do not fit one page.
    OverflowCase{"words and slots", 20, 0, kStart + 1, "ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 2"},
    // They fit together, but the slot page would be the program's own page.
    OverflowCase{"slot page on the program", 1, 0, kStart + 1, "ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 3"},
    OverflowCase{"no pages", 0, 0, kStart, "ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 2"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(BaAssemblerTest, PageAccessFailures) {
    card.failWriteAt = {kStart + 5};  // while zeroing
    EXPECT_EQ(assembleLines(card, {"WAIT(1)"}), kErrBaPageAccess);
    card.failWriteAt.clear();
    card.failReadAt = {kEnd - 1};  // the slot page
    EXPECT_EQ(assembleLines(card, {"WAIT(1)"}), kErrBaPageAccess);
}

TEST_F(BaAssemblerTest, TokenErrorsStopTheProgram) {
    EXPECT_EQ(assembleLines(card, {"WAIT(1)", "ID_DAT"}), kErrBaUnknownMacro);
    EXPECT_EQ(assembleLines(card, {"WAIT(10000)"}), kErrBaBadArgument);
    EXPECT_EQ(assembleLines(card, {"JUMP(1)"}), kErrBaUnknownMacro);
    EXPECT_EQ(assembleLines(card, {""}), kErrBaUnknownMacro);
}

TEST_F(BaAssemblerTest, TextProgramLiesBetweenBeginAndEnd) {
    AssembledProgram out;
    ASSERT_EQ(assembleText(card, "; my program\nBEGIN\n  ID_DAT(5) SUSPEND(1)\n  NEXT_MACRO_1(0)\nEND\nnotes", kStart,
                           kEnd, &out),
              0u);
    EXPECT_EQ(programWords(card, kStart, 3), (std::vector<std::uint16_t>{0x7030, 5, 64 * kEnd - 2}));
    EXPECT_EQ(card.word(kStart, 3), 0x17);
    EXPECT_EQ(card.word(kStart, 16), 0x01);
    EXPECT_EQ(card.word(kStart, 17), 0);  // a text gets no closing word
    EXPECT_EQ(out.nextPage, kStart + 1);
}

TEST_F(BaAssemblerTest, TextStructureErrors) {
    EXPECT_EQ(assembleText(card, "WAIT(1) END", kStart, kEnd), kErrBaTextEndsEarly);
    EXPECT_EQ(assembleText(card, "BEGIN WAIT(1)", kStart, kEnd), kErrBaTextEndsEarly);
    EXPECT_EQ(assembleText(card, "BEGIN JUMP(1)", kStart, kEnd), kErrBaUnknownMacro);
    EXPECT_EQ(assembleText(card, "", kStart, kEnd), kErrBaTextEndsEarly);
}

TEST_F(BaAssemblerTest, TextFile) {
    const std::filesystem::path path = qbase::machineRoot() / "program.ba";
    std::ofstream(path) << "BEGIN\r\nWAIT(a)\r\nNEXT_MACRO_2(0)\r\nEND\r\n";
    ASSERT_EQ(assembleFile(card, path.c_str(), kStart, kEnd), 0u);
    EXPECT_EQ(programWords(card, kStart, 2), (std::vector<std::uint16_t>{0xA6, 0xA2}));
    EXPECT_EQ(assembleFile(card, (qbase::machineRoot() / "missing.ba").c_str(), kStart, kEnd), kErrBaTextNotOpened);
}

// The file is read piece by piece: words that cross the pieces, long words cut into several and a
// long preamble give the program that the same text gives.
TEST_F(BaAssemblerTest, ATextFileAssemblesAsItsText) {
    std::string text(10000, ';');
    text += " " + std::string(300, 'x') + "\n\tBEGIN ";
    for (int i = 0; i < 600; ++i) text += "ID_DAT(" + std::to_string(100 + i % 7) + ")  WAIT(" + std::to_string(i) + ")\n";
    text += "NEXT_MACRO_2(0) END";
    ASSERT_EQ(assembleText(card, text, kStart, kEnd), 0u);
    const std::vector<std::uint16_t> expected = programWords(card, kStart, 64 * 40);

    const std::filesystem::path path = qbase::machineRoot() / "long.ba";
    std::ofstream(path, std::ios::binary) << text;
    MemoryCard fromFile;
    ASSERT_EQ(assembleFile(fromFile, path.c_str(), kStart, kEnd), 0u);
    EXPECT_EQ(programWords(fromFile, kStart, 64 * 40), expected);
    std::ofstream(path, std::ios::binary) << text.substr(0, text.size() - 4);
    EXPECT_EQ(assembleFile(fromFile, path.c_str(), kStart, kEnd), kErrBaTextEndsEarly);
}

}  // namespace
}  // namespace corvix::download
