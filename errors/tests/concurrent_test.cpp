// ERROR_MESSAGE keeps no state: threads asking at once each get their own text.
#include "faultra.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string textOf(std::uint32_t code) {
    char buffer[256];
    std::uint32_t needed = 0;
    if (ERROR_MESSAGE(static_cast<int32_t>(code), buffer, sizeof buffer, &needed) != 0 || needed == 0) return {};
    return buffer;
}

TEST(ErrorMessageThreads, EachCallerGetsItsOwnText) {
    const std::vector<std::uint32_t> codes = {0x30000013, 0x60000005, 0x3010203C, 2, 0x28000001, 121};
    std::vector<std::string> expected;
    for (const std::uint32_t code : codes) expected.push_back(textOf(code));

    std::vector<int> mismatches(codes.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < codes.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 2000; ++round) {
                if (textOf(codes[t]) != expected[t]) ++mismatches[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t t = 0; t < codes.size(); ++t) {
        EXPECT_FALSE(expected[t].empty());
        EXPECT_EQ(mismatches[t], 0) << std::hex << codes[t];
    }
}

}  // namespace
