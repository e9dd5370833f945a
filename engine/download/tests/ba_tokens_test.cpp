#include "download/ba_tokens.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine_errors.h"

namespace corvix::download {
namespace {

struct TokenCase {
    const char* token;
    ErrorCode code;
    const char* macro;  // expected name when the code is 0
    std::uint16_t argument;
};

class MacroTokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(MacroTokenTest, Parses) {
    const TokenCase& c = GetParam();
    MacroToken token;
    EXPECT_EQ(parseMacroToken(c.token, token), c.code) << c.token;
    if (c.code == 0) {
        ASSERT_NE(token.macro, nullptr);
        EXPECT_EQ(token.macro->name, c.macro);
        EXPECT_EQ(token.argument, c.argument);
    }
}

INSTANTIATE_TEST_SUITE_P(Tokens, MacroTokenTest, ::testing::Values(
    TokenCase{"ID_DAT(0a10)", 0, "ID_DAT", 0x0A10},
    TokenCase{"ID_DAT(0A10)", 0, "ID_DAT", 0x0A10},
    TokenCase{"ID_MSG(FFFF)", 0, "ID_MSG", 0xFFFF},
    TokenCase{"SEND_MSG(1)", 0, "SEND_MSG", 1},
    TokenCase{"SEND_APER(00000100)", 0, "SEND_APER", 0x100},
    TokenCase{"NEXT_MACRO_1(a0)", 0, "NEXT_MACRO_1", 0xA0},
    TokenCase{"NEXT_MACRO_2(not read)", 0, "NEXT_MACRO_2", 0},
    TokenCase{"NEXT_MACRO_2()", 0, "NEXT_MACRO_2", 0},
    TokenCase{"SUSPEND(3)", 0, "SUSPEND", 3},
    TokenCase{"WAIT(FFFF)", 0, "WAIT", 0xFFFF},
    TokenCase{"ID_DAT", kErrBaUnknownMacro, nullptr, 0},
    TokenCase{"JUMP(1)", kErrBaUnknownMacro, nullptr, 0},
    TokenCase{"wait(1)", kErrBaUnknownMacro, nullptr, 0},
    TokenCase{"WAIT(1", kErrBaUnknownMacro, nullptr, 0},
    TokenCase{"WAIT(", kErrBaUnknownMacro, nullptr, 0},
    TokenCase{"(1)", kErrBaUnknownMacro, nullptr, 0},
    TokenCase{"WAIT(10000)", kErrBaBadArgument, nullptr, 0},
    TokenCase{"WAIT(FFFFFFFFFFFF)", kErrBaBadArgument, nullptr, 0},
    TokenCase{"WAIT()", kErrBaBadArgument, nullptr, 0},
    TokenCase{"WAIT(12G)", kErrBaBadArgument, nullptr, 0},
    TokenCase{"WAIT(-1)", kErrBaBadArgument, nullptr, 0},
    TokenCase{"WAIT(1)(2)", kErrBaBadArgument, nullptr, 0}));

TEST(BaWords, SplitsOnWhitespaceAndCutsLongWords) {
    const std::string longWord(130, 'x');
    const std::string text = " BEGIN\r\n\tWAIT(1)  END \n" + longWord;
    const auto words = splitWords(text);
    ASSERT_EQ(words.size(), 5u);
    EXPECT_EQ(words[0], "BEGIN");
    EXPECT_EQ(words[1], "WAIT(1)");
    EXPECT_EQ(words[2], "END");
    EXPECT_EQ(words[3].size(), kBaWordMax);
    EXPECT_EQ(words[4], "xxx");
    EXPECT_TRUE(splitWords(" \n\t ").empty());
}

TEST(BaWords, FirstWordOfALineStaysWithinItsFifteenBytes) {
    // Two lines back to back: the first fills all 15 bytes without a terminating zero.
    std::uint8_t lines[2 * kBaLineBytes] = {};
    std::memcpy(lines, "SEND_APER(FFFF)", 15);
    std::memcpy(lines + 15, "WAIT(1)", 7);
    EXPECT_EQ(firstWordOfLine(lines), "SEND_APER(FFFF)");
    EXPECT_EQ(firstWordOfLine(lines + 15), "WAIT(1)");

    std::uint8_t padded[kBaLineBytes];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded + 1, "ID_DAT(1)", 9);
    EXPECT_EQ(firstWordOfLine(padded), "ID_DAT(1)");

    std::uint8_t afterZero[kBaLineBytes] = {};
    std::memcpy(afterZero, "WAIT(2)\0garbage", 15);
    EXPECT_EQ(firstWordOfLine(afterZero), "WAIT(2)");

    const std::uint8_t empty[kBaLineBytes] = {};
    EXPECT_EQ(firstWordOfLine(empty), "");
}

}  // namespace
}  // namespace corvix::download
