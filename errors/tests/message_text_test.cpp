// How a text reaches the caller's buffer: size requests, short buffers, exact buffers.
#include "message_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace faultra {
namespace {

constexpr char kUntouched = '\x7F';
constexpr std::uint32_t kReplyLength = 0x30000013;
constexpr std::uint32_t kNotAllowedBa = 0x30000018;  // French text with a multi-byte letter

bool untouched(const std::vector<char>& buffer) {
    return std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == kUntouched; });
}

class DeliveryTest : public ::testing::TestWithParam<Language> {};

TEST_P(DeliveryTest, SizeRequestThenShortThenExactBuffer) {
    const Language language = GetParam();
    const std::string expected = std::string(findMessage(kReplyLength).text(language)) + "\n";

    std::uint32_t needed = 0;
    EXPECT_EQ(ownMessage(kReplyLength, language, nullptr, 0, &needed), 0);
    ASSERT_EQ(needed, expected.size() + 1);

    for (const std::uint32_t size : {0u, 1u, needed - 1}) {
        std::vector<char> buffer(needed + 8, kUntouched);
        std::uint32_t again = 0;
        EXPECT_EQ(ownMessage(kReplyLength, language, buffer.data(), size, &again), 0);
        EXPECT_EQ(again, needed);
        EXPECT_TRUE(untouched(buffer)) << "size " << size;
    }

    std::vector<char> buffer(needed + 8, kUntouched);
    std::uint32_t again = 0;
    EXPECT_EQ(ownMessage(kReplyLength, language, buffer.data(), needed, &again), 0);
    EXPECT_EQ(again, needed);
    EXPECT_EQ(std::string(buffer.data()), expected);
    EXPECT_EQ(buffer[needed - 2], '\n');
    EXPECT_EQ(buffer[needed], kUntouched);  // nothing past the terminating zero
}

TEST_P(DeliveryTest, NullPointersAreSizeRequests) {
    const Language language = GetParam();
    std::uint32_t needed = 0;
    EXPECT_EQ(ownMessage(kReplyLength, language, nullptr, 256, &needed), 0);
    EXPECT_GT(needed, 1u);

    std::vector<char> buffer(256, kUntouched);
    EXPECT_EQ(ownMessage(kReplyLength, language, buffer.data(), 256, nullptr), 0);
    EXPECT_TRUE(untouched(buffer));
    EXPECT_EQ(ownMessage(kReplyLength, language, nullptr, 0, nullptr), 0);
}

INSTANTIATE_TEST_SUITE_P(Languages, DeliveryTest, ::testing::Values(Language::French, Language::English),
                         [](const auto& info) { return info.param == Language::French ? "French" : "English"; });

TEST(Delivery, NeededCountsBytesNotLetters) {
    // 54 letters with the line feed; "é", "à" and "ê" take two bytes each.
    std::uint32_t needed = 0;
    ownMessage(kNotAllowedBa, Language::French, nullptr, 0, &needed);
    EXPECT_EQ(needed, 57u + 1);
}

TEST(Delivery, PartsAreJoined) {
    char buffer[16];
    std::memset(buffer, kUntouched, sizeof buffer);
    std::uint32_t needed = 0;
    deliverText({"ab", "", "cde"}, buffer, sizeof buffer, &needed);
    EXPECT_EQ(needed, 6u);
    EXPECT_STREQ(buffer, "abcde");

    deliverText({}, buffer, sizeof buffer, &needed);
    EXPECT_EQ(needed, 1u);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace faultra
