// Loading a configuration file (format 4 or 3) into the blocks that the download needs: the BA
// file path, both BA macro lists, the messages, the configuration header and the variables.
// Format-3 records are widened (records/format3.h) to the format-4 records as they are read; the stations and
// aperiodic lists that follow in the file are not read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "card_pages.h"

namespace corvix::download {

struct LoadedConfiguration {
    bool baFromFile = false;
    std::vector<char> baPath;                 // zero-terminated, header size - 1 bytes
    std::uint32_t list1Count = 0, list2Count = 0;
    std::vector<std::uint8_t> list1, list2;   // 15-byte macro lines
    std::uint16_t messageCount = 0;
    std::vector<std::uint8_t> messages;       // MESSAGE4 records of 83 bytes
    std::array<std::uint8_t, 34> header{};    // GENERAL_PARAM
    std::uint16_t variableCount = 0;
    std::vector<std::uint8_t> variables;      // VARIABLE4 records of 122 bytes
};

// 0x30000002 file cannot be opened, 0x30000003 neither magic, 0x30000019 BA path empty or too
// long, 0x30000010 a read failed or the file ends early, 0x30000012 the close failed (in place of
// any other result), or the platform's error for a failed allocation.
ErrorCode loadConfiguration(const char* path, LoadedConfiguration& out);

}  // namespace corvix::download
