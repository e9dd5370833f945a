#include "format3_records.h"

#include <algorithm>
#include <cstring>

namespace corvix::download {
namespace {

constexpr int kName3Bytes = 30;

// Copies a name field up to its first zero byte; the 33-byte target keeps a terminating zero.
void copyName(const std::uint8_t* from, std::uint8_t* to) {
    const auto* text = reinterpret_cast<const char*>(from);
    std::copy_n(from, strnlen(text, kName3Bytes), to);
}

}  // namespace

void widenMessage3(const std::uint8_t* from, std::uint8_t* to) {
    std::copy_n(from, 8, to);  // identifiers, channel, event number
    copyName(from + 8, to + 10);
    copyName(from + 38, to + 43);
    to[76] = from[68];  // acknowledged
    to[77] = from[69];  // mode
    to[78] = from[70];  // transmitted
}

void widenVariable3(const std::uint8_t* from, std::uint8_t* to) {
    std::copy_n(from, 2, to);  // identifier
    copyName(from + 2, to + 2);
    copyName(from + 32, to + 35);
    std::copy_n(from + 62, 8, to + 68);   // PDU type, length, channel, field 74
    std::copy_n(from + 70, 4, to + 112);  // direction, both statuses, flags
    std::copy_n(from + 74, 4, to + 116);  // both periods
}

}  // namespace corvix::download
