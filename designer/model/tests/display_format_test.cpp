#include "model/display_format.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
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
