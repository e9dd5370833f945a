// Configuration files (.cnf) of formats 4 and 3, as byte images.
//
// Format 4 is the magic "VERAM 4.00\0" followed by the six sections (sections.h). Format 3 is the
// magic "VERAM 3.00\0", the first 128 bytes of BA_PARAM with both instruction sequences, at most
// 512 71-byte messages, the parameter block and at most 512 78-byte variables; it has no stations
// and no lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "records/configuration.h"
#include "records/status.h"

namespace records {

enum class Format : std::uint8_t { v3, v4 };

inline constexpr std::size_t kMagicSize = 11;
inline constexpr std::string_view kMagic4{"VERAM 4.00\0", kMagicSize};
inline constexpr std::string_view kMagic3{"VERAM 3.00\0", kMagicSize};

// The largest configuration file that can be valid: format 4 with every table full. Each
// instruction sequence holds at most 65535 lines (a u16 count), then the bounds of the document:
// 4096 messages, 4095 variables, 256 stations, 65535 lists of 64 identifiers.
//   magic 11 + ba (262 + 2 x (2 + 65535 x 15)) + messages (2 + 4096 x 83) + param 34
//   + variables (2 + 4095 x 122) + stations (4 + 256 x 35) + listes (2 + 65535 x (35 + 64 x 2))
//   = 13,497,094 bytes.
// A format-3 file is smaller (512 records of each kind, no stations, no lists). Anything larger is
// refused from its size alone, and its bytes are never read.
inline constexpr std::size_t kMaxSequenceLines = 0xFFFF;
inline constexpr std::size_t kLargestConfigurationFile =
    kMagicSize + BA_PARAM::size + 2 * (2 + kMaxSequenceLines * INSTRUCTION::size) +
    (2 + kMaxMessages * MESSAGE4::size) + GENERAL_PARAM::size + (2 + kMaxVariables * VARIABLE4::size) +
    (4 + kStationCapacity * STATION4::size) +
    (2 + kMaxLists * (LISTE_APER::header_size + LISTE_APER::max_identifiers * 2));
static_assert(kLargestConfigurationFile == 13'497'094);

// The format named by the first 11 bytes, none when they are neither magic.
std::optional<Format> format_of(std::span<const std::uint8_t> file);

// What a load learns beside the records.
struct LoadSummary {
  Format format = Format::v4;
  int priority = 0;                   // bus arbitrator priority, derived from election_count
  std::uint32_t instruction_cost = 1;
  std::uint32_t memory_estimate = 0;
};

// Reads a whole configuration file image. Format 4: keys renumbered, urgent flags made 0 or 1,
// message channels above 8 set to 0. Format 3: converted as the designer opens it (format3.h),
// with two stations, no lists, and the messages whose two ends have the same producer removed.
// Damaged input returns its Status and leaves `configuration` unchanged; otherwise
// `configuration` and `summary` are filled and the result is ok, or memory_full when the estimate
// exceeds kMemoryLimit.
Status decode_configuration(std::span<const std::uint8_t> file, Configuration& configuration,
                            LoadSummary& summary);

// The format-4 image of a configuration, records as they stand.
std::vector<std::uint8_t> encode_format4(const Configuration& configuration);

// The format-3 image: byte 127 of the BA block 0, at most 512 messages and 512 variables (names and
// formats cut to 29 characters), table sizes by the format-3 rule, ba_size from the format-3
// instruction cost, reserved words 640, 0, 32, and the priority at offset 18.
std::vector<std::uint8_t> encode_format3(const Configuration& configuration);

}  // namespace records
