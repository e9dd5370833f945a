// The export as its callers use it: own codes in the build's language, platform codes through
// the platform's message texts.
#include "faultra.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "quorelle_config.h"
#include "win32/windows.h"

namespace {

constexpr char kUntouched = '\x7F';

// The two-step call of every caller: the size, then the text.
std::string twoStep(std::uint32_t code) {
    std::uint32_t needed = 0;
    EXPECT_EQ(ERROR_MESSAGE(static_cast<int32_t>(code), nullptr, 0, &needed), 0);
    if (needed == 0) return {};
    std::vector<char> buffer(needed, kUntouched);
    std::uint32_t again = 0;
    EXPECT_EQ(ERROR_MESSAGE(static_cast<int32_t>(code), buffer.data(), needed, &again), 0);
    EXPECT_EQ(again, needed);
    EXPECT_EQ(buffer.back(), '\0');
    return std::string(buffer.data());
}

TEST(ErrorMessage, OwnCodesInTheBuildLanguage) {
    if (QUORELLE_LANGUAGE_FRENCH) {
        EXPECT_EQ(twoStep(0x30000013),
                  "Le pilote de périphérique retourne des informations non cohérentes avec le contexte.\n");
        EXPECT_EQ(twoStep(0x28000001), "Erreur inconnue.\n");
        EXPECT_EQ(twoStep(0xF0000001), "Erreur inconnue.\n");
    } else {
        EXPECT_EQ(twoStep(0x30000013), "The FIP adapter driver returns badly informations.\n");
        EXPECT_EQ(twoStep(0x28000001), "Unknown error.\n");
        EXPECT_EQ(twoStep(0xF0000001), "Unknown error.\n");
    }
}

std::string platformText(DWORD code) {
    std::vector<char> buffer(4096);
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0x0800, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
    return std::string(buffer.data(), length);
}

class PlatformCodeTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(PlatformCodeTest, GivesThePlatformsOwnText) {
    const std::string expected = platformText(GetParam());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(twoStep(GetParam()), expected);
    EXPECT_TRUE(expected.ends_with("\r\n"));
}

TEST_P(PlatformCodeTest, ShortBufferIsLeftUntouched) {
    std::uint32_t needed = 0;
    ASSERT_EQ(ERROR_MESSAGE(static_cast<int32_t>(GetParam()), nullptr, 0, &needed), 0);
    ASSERT_GT(needed, 1u);
    std::vector<char> buffer(needed, kUntouched);
    std::uint32_t again = 0;
    EXPECT_EQ(ERROR_MESSAGE(static_cast<int32_t>(GetParam()), buffer.data(), needed - 1, &again), 0);
    EXPECT_EQ(again, needed);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(needed, kUntouched));
}

INSTANTIATE_TEST_SUITE_P(Codes, PlatformCodeTest,
                         ::testing::Values(ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_SEM_TIMEOUT));

TEST(ErrorMessage, UnknownPlatformCodeFailsWithNothingNeeded) {
    std::vector<char> buffer(64, kUntouched);
    std::uint32_t needed = 99;
    EXPECT_EQ(ERROR_MESSAGE(0x1FFFFFFF, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &needed),
              ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(buffer.size(), kUntouched));
    EXPECT_EQ(ERROR_MESSAGE(0x1FFFFFFF, nullptr, 0, nullptr), ERROR_MR_MID_NOT_FOUND);
}

}  // namespace
