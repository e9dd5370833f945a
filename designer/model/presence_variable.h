// The presence variable of a station: identifier 0x1400 + the station's physical address, length
// 5, PDU type 0x50, produced by the station. The station editor creates, renumbers and removes it
// with the station.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/configuration.h"

namespace plandrel {

class CPlandrelDoc;

inline constexpr std::uint16_t kPresenceIdentifierBase = 0x1400;
inline constexpr std::uint16_t kPresenceLength = 5;
inline constexpr std::uint16_t kPresencePduType = 0x50;

constexpr std::uint16_t PresenceIdentifier(int physical_address) {
  return static_cast<std::uint16_t>(kPresenceIdentifierBase + physical_address);
}

// The station's presence variable: the first variable with the identifier of `physical_address`,
// when it has the presence variable's length and PDU type and the station produces it. None for
// address -1 and otherwise.
std::optional<std::size_t> FindPresenceVariable(const records::Configuration& c, std::size_t station,
                                                int physical_address);

// "Presence_" + the station name (at most 32 characters); when a variable already bears it, the
// document's next unique variable name from it, the base shortened so that the suffix always fits.
std::string PresenceVariableName(const CPlandrelDoc& document, std::string_view station_name);

// The presence variable of station `station` named `name`, at `physical_address`: produced by the
// station; the local station's is consumed by nobody, any other station's by the local station. Its
// key follows the last variable's.
records::VARIABLE4 MakePresenceVariable(const records::Configuration& c, std::size_t station, std::string_view name,
                                        int physical_address);

}  // namespace plandrel
