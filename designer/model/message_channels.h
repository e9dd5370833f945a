// The message channels of the variables produced by the local station. A variable that carries
// message requests (flags bit 1) has channel 0 for aperiodic requests or 1..8 for a periodic
// channel, and a periodic message names its channel by number. The numbers may have gaps: a
// consumed variable may keep flags bit 1 and a number (the variable editor keeps the boxes of a
// variable that turns consumed, format 3 numbers every variable with bit 1), which only the
// produced ones use. Variables without message requests have channel -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "records/configuration.h"

namespace plandrel {

inline constexpr std::int16_t kNoChannel = -1;
inline constexpr std::int16_t kAperiodicChannel = 0;

// Produced by the local station (direction 0) and carrying message requests (flags bit 1).
bool IsLocalMessageChannel(const records::VARIABLE4& variable);

// A transmitted periodic message names its carrier by channel number, so every change of the
// variables' channel numbers moves the messages' numbers with them, here and nowhere else.

// Whether `variable` is a local message-channel variable and a transmitted periodic message is sent
// on its periodic channel while no other local message-channel variable (by key) holds that
// channel: the variable cannot give the channel up without leaving the message with no carrier.
bool CarriesPeriodicMessage(const records::Configuration& configuration, const records::VARIABLE4& variable);

// The variable of key `except_key` gave up periodic channel `channel`. Unless another local
// message-channel variable still holds it, every other variable whose channel is above it moves
// down one, and so does every transmitted periodic message, each keeping its carrier. Returns the
// indexes of the messages that moved.
std::vector<std::size_t> CloseChannelGap(records::Configuration& configuration, int channel,
                                         std::uint16_t except_key);

// The smallest periodic channel 1..8 that no local message-channel variable other than `except`
// (by key; null for none) uses; none when all eight are taken.
std::optional<std::int16_t> FreePeriodicChannel(const records::Configuration& configuration,
                                                const records::VARIABLE4* except);

// The periodic channel that a Save of the variable editor gives `record` (the variable as stored):
// the channel 1..8 that it holds, so that a carrier never leaves its messages, unless another local
// message-channel variable holds it too (a copy holds its source's); otherwise FreePeriodicChannel.
std::optional<std::int16_t> PeriodicChannelAtSave(const records::Configuration& configuration,
                                                  const records::VARIABLE4& record);

// The identifier of the first local message-channel variable whose channel is `channel`; none
// (CONFIG_CHECK_CODE 0x2800000E) when there is no such variable.
std::optional<std::uint16_t> FindChannelVariable(const records::Configuration& configuration, int channel);

// One entry of the message editor's channel list: a local message-channel variable.
struct ChannelVariable {
  std::uint16_t identifier = 0;
  std::int16_t channel = 0;
};
// In variable-list order: those with a periodic channel (channel other than 0) when `periodic`,
// those with the aperiodic channel 0 otherwise.
std::vector<ChannelVariable> ChannelVariables(const records::Configuration& configuration, bool periodic);

}  // namespace plandrel
