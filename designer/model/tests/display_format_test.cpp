#include "model/display_format.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace plandrel {
namespace {

struct GrammarCase {
  std::string format;
  std::optional<std::size_t> byte_total;  // none: invalid
};

class DisplayFormatGrammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(DisplayFormatGrammar, ValidityAndByteTotal) {
  const GrammarCase& c = GetParam();
  EXPECT_EQ(IsValidDisplayFormat(c.format), c.byte_total.has_value());
  EXPECT_EQ(DisplayFormatByteTotal(c.format), c.byte_total);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DisplayFormatGrammar,
    testing::Values(
        GrammarCase{"", 0}, GrammarCase{"%h", 1}, GrammarCase{"%H", 1}, GrammarCase{"%4h", 4},
        GrammarCase{"%2U%f", 8}, GrammarCase{"%10s", 10}, GrammarCase{"%1S", 1}, GrammarCase{"%c%i%z%l", 9},
        GrammarCase{"%g%t%w%F%G%L%T%W", 32}, GrammarCase{"%128h", 128}, GrammarCase{"%3z%2t", 14},
        GrammarCase{"%h%h%h", 3}, GrammarCase{"%100C", 100},
        // invalid: no count for s, leading zero, no percent, lone percent, unknown letter, digits outside
        GrammarCase{"%s", std::nullopt}, GrammarCase{"%0h", std::nullopt}, GrammarCase{"%01h", std::nullopt},
        GrammarCase{"h", std::nullopt}, GrammarCase{"%", std::nullopt}, GrammarCase{"%12", std::nullopt},
        GrammarCase{"%x", std::nullopt}, GrammarCase{"%d", std::nullopt}, GrammarCase{"%%h", std::nullopt},
        GrammarCase{"%2%h", std::nullopt}, GrammarCase{"%h4", std::nullopt}, GrammarCase{"%h ", std::nullopt},
        GrammarCase{" %h", std::nullopt}, GrammarCase{"%h%", std::nullopt}, GrammarCase{"%-1h", std::nullopt},
        GrammarCase{std::string("%h\0%h", 5), std::nullopt}));

TEST(DisplayFormatGrammar, ItemsKeepCountAndLowerCaseLetter) {
  const auto items = ParseDisplayFormat("%2U%f%10S");
  ASSERT_TRUE(items);
  EXPECT_EQ(*items, (std::vector<FormatItem>{{'u', 2}, {'f', 1}, {'s', 10}}));
}

TEST(DisplayFormatGrammar, HugeCountsSaturateInsteadOfWrapping) {
  // 2^32 + 1 would wrap to 1 in 32 bits, and 2^64 + 1 in 64 bits.
  EXPECT_EQ(ParseDisplayFormat("%4294967297h")->front().count, kMaxItemCount);
  EXPECT_EQ(ParseDisplayFormat("%18446744073709551617h")->front().count, kMaxItemCount);
  EXPECT_GT(*DisplayFormatByteTotal("%4294967295l%4294967295l"), std::size_t{0xFFFFFFFF});
}

TEST(DisplayFormatGrammar, BytesPerElementOfEveryLetter) {
  const std::string one = "chsCHS", two = "iuzIUZ", four = "fgltwFGLTW";
  for (char c : one) EXPECT_EQ(BytesPerElement(c), 1u) << c;
  for (char c : two) EXPECT_EQ(BytesPerElement(c), 2u) << c;
  for (char c : four) EXPECT_EQ(BytesPerElement(c), 4u) << c;
  for (char c : std::string("%dxXe0 ")) EXPECT_EQ(BytesPerElement(c), 0u) << c;
}

}  // namespace
}  // namespace plandrel

namespace plandrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FormatCase {
  std::string format;
  Bytes bytes;
  std::optional<std::string> text;  // none: the format is refused
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << '"' << c.format << "\" on " << c.bytes.size() << " bytes";
}

class DisplayFormatFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(DisplayFormatFormat, TextOfBytes) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatValue(c.format, c.bytes), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Letters, DisplayFormatFormat,
    testing::Values(
        FormatCase{"%h", {0x0A}, "A"}, FormatCase{"%h", {0x00}, "0"}, FormatCase{"%2h", {0x1F, 0xA0}, "1F A0"},
        FormatCase{"%4s", {'A', 'B', 'C', 'D'}, "ABCD"}, FormatCase{"%i", {0xFF, 0xFE}, "-2"},
        FormatCase{"%z", {0xFE, 0xFF}, "-2"}, FormatCase{"%u", {0xFF, 0xFE}, "65534"},
        FormatCase{"%I", {0x80, 0x00}, "-32768"}, FormatCase{"%c", {0xFF}, "255"},
        FormatCase{"%l", {0xFF, 0xFF, 0xFF, 0xFE}, "-2"}, FormatCase{"%t", {0xFE, 0xFF, 0xFF, 0xFF}, "-2"},
        FormatCase{"%l", {0x12, 0x34, 0x56, 0x78}, "305419896"}, FormatCase{"%t", {0x78, 0x56, 0x34, 0x12}, "305419896"},
        FormatCase{"%l", {0x80, 0, 0, 0}, "-2147483648"},
        FormatCase{"%f", {0x3F, 0xC0, 0x00, 0x00}, "1.5"}, FormatCase{"%w", {0x00, 0x00, 0xC0, 0x3F}, "1.5"},
        FormatCase{"%f", {0x40, 0x00, 0x00, 0x00}, "2"},      // 2.0: the point goes too
        FormatCase{"%f", {0x3F, 0xA0, 0x10, 0x62}, "1.2505"},  // the float nearest 1.2505
        FormatCase{"%f", {0xBF, 0x00, 0x00, 0x00}, "-0.5"}, FormatCase{"%f", {0x7F, 0x80, 0x00, 0x00}, "inf"},
        FormatCase{"%f", {0x7F, 0x7F, 0xFF, 0xFF}, "340282346638528859811704183484516925440"},
        FormatCase{"%f", {0x33, 0xD6, 0xBF, 0x95}, "0"},  // 1e-7 has no decimal left
        FormatCase{"%g", {0x3F, 0xC0, 0x00, 0x00}, "1.5"}, FormatCase{"%g", {0x49, 0x74, 0x24, 0x00}, "1e+06"},
        FormatCase{"%g", {0x33, 0xD6, 0xBF, 0x95}, "1e-07"}, FormatCase{"%g", {0x47, 0xF1, 0x20, 0x00}, "123456"},
        // spacing: items one space apart, characters of one s item joined, a zero character adds nothing
        FormatCase{"%2s%h", {'O', 'K', 0x1F}, "OK 1F"}, FormatCase{"%h%2s%h", {1, 'O', 'K', 2}, "1 OK 2"},
        FormatCase{"%1s%1s", {'A', 'B'}, "A B"}, FormatCase{"%h%3s", {1, 0, 'A', 'B'}, "1 AB"},
        FormatCase{"%h%2s%h", {1, 0, 0, 2}, "1 2"}, FormatCase{"%4s", {0, 0, 0, 0}, ""},
        FormatCase{"%c%u%z", {7, 0, 8, 9, 0}, "7 8 9"},
        // a value shorter than its format shows the elements that fit; none fit gives empty text
        FormatCase{"%4h", {0x12, 0x34}, "12 34"}, FormatCase{"%h%l", {1, 2, 3}, "1"}, FormatCase{"%i", {1}, ""},
        FormatCase{"%h", {}, ""}, FormatCase{"%4294967295h", {1, 2}, "1 2"},
        // bytes beyond the format are not shown
        FormatCase{"%h", {1, 2, 3}, "1"},
        // refused formats
        FormatCase{"", {1}, std::nullopt}, FormatCase{"%s", {'A'}, std::nullopt}, FormatCase{"%0h", {1}, std::nullopt},
        FormatCase{"h", {1}, std::nullopt}, FormatCase{"%y", {1}, std::nullopt}));

struct ParseCase {
  std::string format;
  std::string text;
  std::size_t capacity;
  std::optional<Bytes> bytes;  // none: refused; else the bytes filled (the rest of the output stays zero)
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.format << "\" \"" << c.text << "\" " << c.capacity; }

class DisplayFormatParse : public testing::TestWithParam<ParseCase> {};

TEST_P(DisplayFormatParse, BytesOfText) {
  const ParseCase& c = GetParam();
  Bytes out(c.capacity, 0xCC);
  const ValueParse parsed = ParseValue(c.format, c.text, out);
  // Whatever the outcome, nothing beyond the filled bytes is left over from before.
  Bytes expected(c.capacity, 0);
  if (c.bytes) {
    ASSERT_EQ(parsed.error, ValueParseError::kNone);
    ASSERT_EQ(parsed.length, c.bytes->size());
    std::copy(c.bytes->begin(), c.bytes->end(), expected.begin());
  } else {
    EXPECT_NE(parsed.error, ValueParseError::kNone);
    EXPECT_EQ(parsed.length, 0u);
  }
  EXPECT_EQ(out, expected);
}

// n hexadecimal elements "1", one space apart.
std::string Ones(std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += i == 0 ? "1" : " 1";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    EntryRules, DisplayFormatParse,
    testing::Values(
        ParseCase{"%2c", "12 0x10", 2, Bytes{12, 16}}, ParseCase{"%5s", "AB.CD", 5, Bytes{'A', 'B', 0, 0, 0}},
        ParseCase{"%c", "010", 1, Bytes{8}}, ParseCase{"%c", "-1", 1, Bytes{0xFF}}, ParseCase{"%c", "+7", 1, Bytes{7}},
        ParseCase{"%h", "a", 1, Bytes{0x0A}}, ParseCase{"%h", "0xFF", 1, Bytes{0xFF}}, ParseCase{"%2h", "1F A0", 2, Bytes{0x1F, 0xA0}},
        ParseCase{"%i", "-2", 2, Bytes{0xFF, 0xFE}}, ParseCase{"%z", "-2", 2, Bytes{0xFE, 0xFF}},
        ParseCase{"%i", "65535", 2, Bytes{0xFF, 0xFF}}, ParseCase{"%i", "-32768", 2, Bytes{0x80, 0x00}},
        ParseCase{"%z", "0x1234", 2, Bytes{0x34, 0x12}}, ParseCase{"%u", "65534", 2, Bytes{0xFF, 0xFE}},
        ParseCase{"%l", "305419896", 4, Bytes{0x12, 0x34, 0x56, 0x78}}, ParseCase{"%t", "-2", 4, Bytes{0xFE, 0xFF, 0xFF, 0xFF}},
        ParseCase{"%l", "4294967295", 4, Bytes{0xFF, 0xFF, 0xFF, 0xFF}}, ParseCase{"%l", "-2147483648", 4, Bytes{0x80, 0, 0, 0}},
        ParseCase{"%f", "1.5", 4, Bytes{0x3F, 0xC0, 0, 0}}, ParseCase{"%w", "1.5", 4, Bytes{0, 0, 0xC0, 0x3F}},
        ParseCase{"%g", "-2e0", 4, Bytes{0xC0, 0, 0, 0}}, ParseCase{"%f", "+.5", 4, Bytes{0x3F, 0, 0, 0}},
        // spaces: any run of blanks separates numbers; s takes every character, then skips blanks
        ParseCase{"%3h", "  1   2\t3  ", 3, Bytes{1, 2, 3}}, ParseCase{"%3s%h", "A C  1F", 4, Bytes{'A', ' ', 'C', 0x1F}},
        ParseCase{"%2s%h", "AB1F", 3, Bytes{'A', 'B', 0x1F}}, ParseCase{"%2s%2s", ".x", 4, Bytes{0, 0, 0, 0}},
        ParseCase{"%c", "  12", 1, Bytes{12}},
        // a text that is used up gives zero elements
        ParseCase{"%4h", "7", 4, Bytes{7, 0, 0, 0}}, ParseCase{"%2s%i", "", 4, Bytes{0, 0, 0, 0}},
        // the elements stop where the output is full and the text left is not taken: a variable of
        // 2 bytes, a message of 250
        ParseCase{"%4h", "1 2", 2, Bytes{1, 2}}, ParseCase{"%h%i", "1", 2, Bytes{1}}, ParseCase{"%h%i", "1 2", 2, Bytes{1}},
        ParseCase{"%3c", "1 2 3", 2, Bytes{1, 2}}, ParseCase{"%4h", "1 2 3", 2, Bytes{1, 2}},
        ParseCase{"%h", "1 2", 4, Bytes{1}}, ParseCase{"%3s", "ABCD", 3, Bytes{'A', 'B', 'C'}},
        ParseCase{"%2s", "ABC", 2, Bytes{'A', 'B'}}, ParseCase{"%300h", "", 250, Bytes(250, 0)},
        ParseCase{"%251h", Ones(251), 250, Bytes(250, 1)},
        // each element takes the number at the front of its text and passes over the rest
        ParseCase{"%2c", "12abc 5", 2, Bytes{12, 5}}, ParseCase{"%c", "1x", 1, Bytes{1}},
        ParseCase{"%c", "08", 1, Bytes{0}}, ParseCase{"%c", "0x", 1, Bytes{0}}, ParseCase{"%c", "-", 1, Bytes{0}},
        ParseCase{"%h", "G", 1, Bytes{0}}, ParseCase{"%u", "0x10", 2, Bytes{0, 0}}, ParseCase{"%w", "abc", 4, Bytes{0, 0, 0, 0}},
        ParseCase{"%f", "0x1p3", 4, Bytes{0, 0, 0, 0}}, ParseCase{"%g", "1.5.", 4, Bytes{0x3F, 0xC0, 0, 0}},
        // each element keeps its low bytes of any value
        ParseCase{"%c", "300", 1, Bytes{44}}, ParseCase{"%c", "256", 1, Bytes{0}}, ParseCase{"%c", "-129", 1, Bytes{0x7F}},
        ParseCase{"%h", "1FF", 1, Bytes{0xFF}}, ParseCase{"%h", "-1", 1, Bytes{0xFF}},
        ParseCase{"%u", "-1", 2, Bytes{0xFF, 0xFF}}, ParseCase{"%u", "65536", 2, Bytes{0, 0}},
        ParseCase{"%i", "65536", 2, Bytes{0, 0}}, ParseCase{"%z", "-32769", 2, Bytes{0xFF, 0x7F}},
        ParseCase{"%l", "4294967296", 4, Bytes{0, 0, 0, 0}},
        ParseCase{"%t", "99999999999999999999999", 4, Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
        ParseCase{"%f", "1e39", 4, Bytes{0x7F, 0x80, 0, 0}}, ParseCase{"%f", "-1e400", 4, Bytes{0xFF, 0x80, 0, 0}},
        ParseCase{"%f", "1e-400", 4, Bytes{0, 0, 0, 0}},
        // refused: formats only
        ParseCase{"", "1", 4, std::nullopt}, ParseCase{"%s", "A", 4, std::nullopt}, ParseCase{"%0h", "1", 4, std::nullopt},
        ParseCase{"%2q", "1 2", 4, std::nullopt}));

TEST(DisplayFormatRoundTrip, ParseOfFormatGivesTheBytesBackForEveryNumberLetter) {
  std::mt19937 random(20);
  for (const char* format : {"%8c", "%8h", "%4i", "%4u", "%4z", "%2l", "%2t", "%C%H%2I%U%Z%L%T"}) {
    for (int round = 0; round < 500; ++round) {
      Bytes bytes(8);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
      if (round == 0) std::fill(bytes.begin(), bytes.end(), 0x00);
      if (round == 1) std::fill(bytes.begin(), bytes.end(), 0xFF);
      if (round == 2) std::fill(bytes.begin(), bytes.end(), 0x80);
      const auto text = FormatValue(format, bytes);
      ASSERT_TRUE(text);
      Bytes back(8, 0);
      const ValueParse parsed = ParseValue(format, *text, back);
      ASSERT_EQ(parsed.error, ValueParseError::kNone) << format << " " << *text;
      EXPECT_EQ(back, bytes) << format << " " << *text;
    }
  }
}

TEST(DisplayFormatRoundTrip, FloatLettersGiveBackEveryValueTheirTextHolds) {
  // f and w show six decimals and g six digits: values with no more than that come back whole.
  std::mt19937 random(21);
  for (const char* format : {"%2f", "%2w", "%2g"}) {
    for (int round = 0; round < 500; ++round) {
      const bool general = format[2] == 'g';
      const std::int32_t k = static_cast<std::int32_t>(random() % 2000001) - 1000000;
      const float values[2] = {static_cast<float>(k) / (general ? 1.0f : 64.0f),
                               std::ldexp(static_cast<float>(k % 1000), general ? 40 : -6)};
      Bytes bytes(8);
      for (int e = 0; e < 2; ++e) {
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(values[e]);
        for (int b = 0; b < 4; ++b) {
          const int shift = format[2] == 'w' ? 8 * b : 24 - 8 * b;
          bytes[static_cast<std::size_t>(4 * e + b)] = static_cast<std::uint8_t>(bits >> shift);
        }
      }
      const auto text = FormatValue(format, bytes);
      ASSERT_TRUE(text);
      Bytes back(8, 0);
      ASSERT_EQ(ParseValue(format, *text, back).error, ValueParseError::kNone) << format << " " << *text;
      if (general && std::abs(values[1]) >= 1e6f) continue;  // beyond six digits g shows an approximation
      EXPECT_EQ(back, bytes) << format << " " << *text;
    }
  }
}

}  // namespace
}  // namespace plandrel
