// Placement of the two BA programs in BA memory (the work of BA_PROG): program 1 from page 160,
// program 2 after it and below program 1's identifier slots.
#pragma once

#include <cstdint>

#include "card_pages.h"

namespace corvix::download {

inline constexpr int kBaFirstPage = 160;
inline constexpr std::uint16_t kHeaderPage = 128;

struct MacroList {
    const std::uint8_t* lines = nullptr;  // count lines of 15 bytes
    std::uint32_t count = 0;
};

struct BaProgramPages {
    std::uint16_t program1 = 0;  // 0 when there is none
    std::uint16_t program2 = 0;
};

// The end page of BA memory from the header page: word 9, or when it is 0 the low six bits of
// word 0 as a signed number times 16.
int baMemoryEnd(const PageWords& header);

// With a path, program 1 is the BA text file; without, the two configuration macro lists. `pages`
// is always set, to 0 for a program that was not placed. A header whose end of BA memory lies above
// `pageLimit` (a damaged page, or none downloaded) gives 0x30000011 before any page is written.
ErrorCode placeBaPrograms(CardPages& card, const char* path, MacroList list1, MacroList list2, BaProgramPages& pages,
                          int pageLimit = 2048);

}  // namespace corvix::download
