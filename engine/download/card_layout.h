// The card memory image's layout: the header page (page 128), the variable descriptors, the buffer
// descriptors and the timing factor, computed from the configuration header (GENERAL_PARAM) and
// the variable and message records. Pure computations; card_image.h writes them.
//
// B = 64 pages x 16 when the configuration grants BA memory, else 10; T = variable table size,
// M = message table size. Descriptors are 16 words, four to a page.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "card_pages.h"

namespace corvix::download {

inline constexpr int kDescriptorWords = 16;
inline constexpr int kDescriptorsPerPage = 4;
inline constexpr int kMessageKeyOffset = 64;  // the receive block that a message-receiving variable adds

using Descriptor = std::array<std::uint16_t, kDescriptorWords>;

struct Configuration {
    const std::uint8_t* header = nullptr;     // GENERAL_PARAM, 34 bytes
    const std::uint8_t* variables = nullptr;  // variableCount records of 122 bytes, sorted by identifier
    std::uint16_t variableCount = 0;
    const std::uint8_t* messages = nullptr;   // messageCount records of 83 bytes
    std::uint16_t messageCount = 0;
};

bool grantsBaMemory(const std::uint8_t* header);
int variableTableSize(const std::uint8_t* header);  // T
int messageTableSize(const std::uint8_t* header);   // M

PageWords headerPageWords(const std::uint8_t* header);

// period x the timing factor of the header's slot time (row) and bit rate (column), truncated;
// 0 when the header's indices lie outside the factor table.
std::uint16_t timedPeriod(const std::uint8_t* header, std::uint16_t period);

// The descriptor of slot s of the variable table: the first T - count + 1 slots carry the first
// variable, so the slots stay sorted by identifier.
Descriptor variableDescriptor(const Configuration& config, int slot);

struct BufferDescriptors {
    std::vector<std::uint16_t> words;  // whole descriptors, at least the pages to write
    int pages = 0;                     // pages to write
    bool messageKeyOffset = false;     // a variable receives messages: message keys start 64 higher
};

// Buffer descriptors for the variables, the 64-entry receive block when a variable has flags bit 0,
// and the transmitted messages. `markerPage` is header word 11.
BufferDescriptors bufferDescriptors(const Configuration& config, int markerPage);

int transmittedMessageCount(const Configuration& config);

}  // namespace corvix::download
