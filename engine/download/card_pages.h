// Card memory as the download sees it: pages of 128 bytes, each 64 words stored most significant
// byte first. The download code works on this small interface so that its layout computations run
// over an in-memory card in tests and over the thread's board in the engine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine_errors.h"

namespace corvix::download {

inline constexpr std::size_t kPageBytes = 128;
inline constexpr std::size_t kPageWords = 64;
using PageBytes = std::array<std::uint8_t, kPageBytes>;
using PageWords = std::array<std::uint16_t, kPageWords>;

class CardPages {
public:
    virtual ~CardPages() = default;
    // One page read or write; false on failure, with the platform's last error set.
    virtual bool readPage(std::uint16_t page, PageBytes& bytes) = 0;
    virtual bool writePage(std::uint16_t page, const PageBytes& bytes) = 0;
    // Resets the board; 0 or the platform's last error (semaphore time-out as the engine's code).
    virtual ErrorCode reset() = 0;
};

// Card words are stored most significant byte first.
inline PageBytes toBytes(const PageWords& words) {
    PageBytes bytes{};
    for (std::size_t i = 0; i < kPageWords; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i]);
    }
    return bytes;
}

inline PageWords toWords(const PageBytes& bytes) {
    PageWords words{};
    for (std::size_t i = 0; i < kPageWords; ++i)
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return words;
}

}  // namespace corvix::download
