#include "download/ba_programs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "engine_errors.h"
#include "memory_card.h"

namespace corvix::download {
namespace {

using testing::MemoryCard;

struct Lines {
    std::vector<std::uint8_t> bytes;
    std::uint32_t count = 0;
    Lines(std::initializer_list<std::string> texts) {
        for (const std::string& t : texts) add(t);
    }
    void add(const std::string& text) {
        bytes.resize(bytes.size() + 15, 0);
        std::memcpy(bytes.data() + 15 * count++, text.data(), std::min<std::size_t>(15, text.size()));
    }
    MacroList list() const { return {bytes.data(), count}; }
};

class BaProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qbase::debug::clearCaptured();
        setEnd(1022);
    }
    void setEnd(int end) {
        PageWords header{};
        header[0] = 64;
        header[9] = static_cast<std::uint16_t>(end);
        card.memory[kHeaderPage] = toBytes(header);
    }
    MemoryCard card;
    BaProgramPages pages;
};

TEST_F(BaProgramsTest, ProgramTwoFollowsProgramOneAndEndsBelowItsSlots) {
    Lines one{"ID_DAT(10)", "ID_DAT(11)"}, two{"ID_DAT(12)"};
    for (int i = 0; i < 30; ++i) one.add("ID_MSG(1)");  // 96 words: program 1 takes pages 160 and 161
    ASSERT_EQ(placeBaPrograms(card, nullptr, one.list(), two.list(), pages), 0u);
    EXPECT_EQ(pages.program1, 160);
    EXPECT_EQ(pages.program2, 162);
    // Program 2's slot table lies below program 1's slot page 1021, at the top of page 1020.
    EXPECT_EQ(card.word(162, 0), 0x7030);
    EXPECT_EQ(card.word(162, 2), 64 * 1021 - 2);
    EXPECT_EQ(card.word(1020, 62), 0x12);
    EXPECT_EQ(card.word(1021, 62), 0x10);
    EXPECT_EQ(card.word(1021, 60), 0x11);
}

TEST_F(BaProgramsTest, EmptyListOneLeavesTheWholeMemoryToProgramTwo) {
    Lines two{"WAIT(1)"};
    ASSERT_EQ(placeBaPrograms(card, nullptr, {}, two.list(), pages), 0u);
    EXPECT_EQ(pages.program1, 0);
    EXPECT_EQ(pages.program2, 160);
    EXPECT_EQ(card.word(160, 0), 0x16);
}

TEST_F(BaProgramsTest, NoListsPlaceNothing) {
    ASSERT_EQ(placeBaPrograms(card, nullptr, {}, {}, pages), 0u);
    EXPECT_EQ(pages.program1, 0);
    EXPECT_EQ(pages.program2, 0);
}

TEST_F(BaProgramsTest, ProgramOneTooLarge) {
    setEnd(161);
    Lines one{};
    for (int i = 0; i < 70; ++i) one.add("WAIT(1)");
    EXPECT_EQ(placeBaPrograms(card, nullptr, one.list(), {}, pages), kErrBaProgram1TooLarge);
    EXPECT_EQ(pages.program1, 0);
    EXPECT_EQ(qbase::debug::captured(), std::vector<std::string>{"ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 4"});
}

TEST_F(BaProgramsTest, ProgramTwoTooLarge) {
    setEnd(164);
    Lines one{"WAIT(1)"}, two{};
    for (int i = 0; i < 130; ++i) two.add("WAIT(1)");
    EXPECT_EQ(placeBaPrograms(card, nullptr, one.list(), two.list(), pages), kErrBaProgram2TooLarge);
    EXPECT_EQ(pages.program1, 160);
    EXPECT_EQ(pages.program2, 0);
    EXPECT_EQ(qbase::debug::captured(), std::vector<std::string>{"ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 5"});
}

TEST_F(BaProgramsTest, NoRoomLeftForProgramTwo) {
    setEnd(162);  // program 1 on page 160, its slots on page 161
    Lines one{"WAIT(1)"}, two{"WAIT(2)"};
    EXPECT_EQ(placeBaPrograms(card, nullptr, one.list(), two.list(), pages), kErrBaProgram2TooLarge);
    EXPECT_EQ(pages.program1, 160);
    EXPECT_EQ(pages.program2, 0);
    EXPECT_EQ(qbase::debug::captured(), std::vector<std::string>{"ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 6"});
}

TEST_F(BaProgramsTest, OtherFailuresPassThrough) {
    Lines bad{"JUMP(1)"};
    EXPECT_EQ(placeBaPrograms(card, nullptr, bad.list(), {}, pages), kErrBaUnknownMacro);
    EXPECT_EQ(placeBaPrograms(card, nullptr, Lines{"WAIT(1)"}.list(), bad.list(), pages), kErrBaUnknownMacro);
    EXPECT_EQ(pages.program2, 0);
    card.failReadAt = {kHeaderPage};
    EXPECT_EQ(placeBaPrograms(card, nullptr, Lines{"WAIT(1)"}.list(), {}, pages), kErrBaPageAccess);
    EXPECT_TRUE(qbase::debug::captured().empty());
}

TEST_F(BaProgramsTest, AnEndAboveThePageLimitWritesNothing) {
    setEnd(2049);
    EXPECT_EQ(placeBaPrograms(card, nullptr, Lines{"WAIT(1)"}.list(), {}, pages, 2048), kErrCardImageTooLarge);
    EXPECT_TRUE(card.writes.empty());
    setEnd(2048);  // the last page of BA memory is 2047
    EXPECT_EQ(placeBaPrograms(card, nullptr, Lines{"WAIT(1)"}.list(), {}, pages, 2048), 0u);
    EXPECT_EQ(card.writes.back(), 2047);
}

TEST(BaMemoryEnd, FromWordNineOrTheSignedLowBitsOfWordZero) {
    PageWords header{};
    header[9] = 1022;
    EXPECT_EQ(baMemoryEnd(header), 1022);
    header[9] = 0;
    header[0] = 0x300A;
    EXPECT_EQ(baMemoryEnd(header), 160);
    header[0] = 0x003F;  // -1
    EXPECT_EQ(baMemoryEnd(header), -16);
}

}  // namespace
}  // namespace corvix::download
