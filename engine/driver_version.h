// The board driver file version check of START_FIP_ENGINE.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvix {

struct FileVersion {
    unsigned major = 0;
    unsigned minor = 0;
    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// "3.10" -> {3, 10}: the decimal numbers before and after the first ".", each read from at most
// three characters; no "." or nothing after it gives minor 0.
FileVersion parseFileVersion(std::string_view text);

// True when the driver of `boardType` (0 PCI, 1 PC104) under the system directory carries a
// "FileVersion" of at least its minimum (3.1 and 1.0). Any other type has no driver file.
bool driverVersionSufficient(std::uint32_t boardType);

}  // namespace corvix
