// The six sections of a format-4 configuration, each also stored alone as a working file.
//
//   ba        BA_PARAM; u16 n1; n1 x INSTRUCTION; u16 n2; n2 x INSTRUCTION
//   messages  u16 n; n x MESSAGE4
//   param     GENERAL_PARAM
//   variables u16 n; n x VARIABLE4
//   stations  u16 count; u16 local index; count x STATION4
//   listes    u16 n; n x LISTE_APER
//
// The section codecs move records as they stand: no key is renumbered and no field normalised,
// so a section decoded and encoded again gives back the same bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "records/configuration.h"
#include "records/status.h"

namespace records {

enum class Section : std::uint8_t { ba, messages, param, variables, stations, listes };

// File order, which is also the order in which working files are written.
inline constexpr std::array<Section, 6> kSections{Section::ba,        Section::messages,
                                                  Section::param,     Section::variables,
                                                  Section::stations, Section::listes};

// "ba", "messages", "param", "variables", "stations", "listes".
std::string_view section_name(Section section);

// Appends the section's bytes to `out`. Counts above the bounds that decode_section checks are cut
// to them (4096 messages, 4095 variables, 256 stations, 64 identifiers per list).
void encode_section(Section section, const Configuration& configuration,
                    std::vector<std::uint8_t>& out);

// Reads the section from the front of `in` into `configuration` (the section's fields only) and
// sets `consumed` to its size. On failure `configuration` is unchanged.
Status decode_section(Section section, std::span<const std::uint8_t> in,
                      Configuration& configuration, std::size_t& consumed);

}  // namespace records
