// The ends of the messages as the variables they name see them: the remote station a message's
// far end takes from its variable, and the messages kept in step when a variable's identifier or
// stations change. Each function that changes messages returns the indexes of those it changed,
// for the caller's working file and tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/configuration.h"

namespace plandrel {

inline constexpr std::int16_t kNoStation = -1;

// The remote station of a message end whose variable has `identifier`: the first variable with it;
// when the local station consumes it (direction not 0), its producer; when the local station
// produces it for exactly one consumer, that consumer (its lowest set bit). Otherwise, and when no
// variable has the identifier or the station found is outside the station table (a damaged file),
// -1.
std::int16_t RemoteStationOf(const records::Configuration& configuration, std::uint16_t identifier);

// Which far ends follow an identifier change: every far end with a remote station (a variable's
// own change), or, for a station's presence variable, a transmitted message's destination only
// when the message is also acknowledged.
enum class FarEndRule { remote_station, acknowledged_destination };

// A variable's identifier went from `old_identifier` to `new_identifier`: a transmitted message's
// source and a received message's destination follow it; the far end (a transmitted message's
// destination, a received message's source) follows it only when the message has a remote station
// (without one, the far end is an identifier typed for another network), and as `rule` says.
std::vector<std::size_t> CarryIdentifierChange(records::Configuration& configuration, std::uint16_t old_identifier,
                                               std::uint16_t new_identifier,
                                               FarEndRule rule = FarEndRule::remote_station);

// The messages that name `variable`'s identifier at their far end keep their remote station only
// while that station is the variable's producer or one of its consumers; the others get -1.
std::vector<std::size_t> DetachRemoteStations(records::Configuration& configuration,
                                              const records::VARIABLE4& variable);

}  // namespace plandrel
