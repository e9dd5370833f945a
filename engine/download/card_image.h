// Writing the card memory image of a loaded configuration: the header page, the BA programs, the
// variable descriptors, the buffer descriptors and the closing marker page.
#pragma once

#include <cstdint>
#include <functional>

#include "card_pages.h"

namespace corvix::download {

struct ImageInput {
    const std::uint8_t* header = nullptr;  // GENERAL_PARAM, 34 bytes
    std::uint8_t* variables = nullptr;     // sorted by identifier in place
    std::uint16_t variableCount = 0;
    const std::uint8_t* messages = nullptr;
    std::uint16_t messageCount = 0;
    int pageLimit = 2048;                  // no page at or above it is written
    // Places the BA programs (BA_PROG) once the header page is on the card; called only when the
    // configuration grants BA memory.
    std::function<ErrorCode()> placeBaPrograms;
};

struct ImageResult {
    bool messageKeyOffset = false;
};

// Sorts the variable table by identifier (unsigned, ascending) and writes the image. Refuses a
// variable table size of 4096 or more, or more variables than it, with 0x30000008, and more
// transmitted messages than the message table size with 0x30000011, before any page is written.
// A page at or above the page limit gives 0x30000011, a failed write 0x3000000B; pages written
// before a failure stay written.
ErrorCode writeCardImage(CardPages& card, const ImageInput& input, ImageResult& result);

void sortVariablesById(std::uint8_t* variables, std::uint16_t count);

}  // namespace corvix::download
