#include "model/message_channels.h"

#include <array>

namespace plandrel {

bool IsLocalMessageChannel(const records::VARIABLE4& variable) {
  return variable.direction == 0 && (variable.flags & records::VARIABLE4::kMessageChannel) != 0;
}

bool CloseChannelGap(records::Configuration& configuration, int channel, std::uint16_t except_key) {
  bool changed = false;
  for (records::VARIABLE4& v : configuration.variables) {
    if (v.key == except_key || v.channel <= channel) continue;
    --v.channel;
    changed = true;
  }
  return changed;
}

std::optional<std::int16_t> FreePeriodicChannel(const records::Configuration& configuration,
                                                const records::VARIABLE4* except) {
  std::array<bool, records::kMaxMessageChannel + 1> used{};
  for (const records::VARIABLE4& v : configuration.variables) {
    if (except != nullptr && v.key == except->key) continue;
    if (IsLocalMessageChannel(v) && v.channel >= 1 && v.channel <= records::kMaxMessageChannel)
      used[static_cast<std::size_t>(v.channel)] = true;
  }
  for (std::int16_t c = 1; c <= records::kMaxMessageChannel; ++c)
    if (!used[static_cast<std::size_t>(c)]) return c;
  return std::nullopt;
}

std::optional<std::uint16_t> FindChannelVariable(const records::Configuration& configuration, int channel) {
  for (const records::VARIABLE4& v : configuration.variables)
    if (IsLocalMessageChannel(v) && v.channel == channel) return v.identifier;
  return std::nullopt;
}

std::vector<ChannelVariable> ChannelVariables(const records::Configuration& configuration, bool periodic) {
  std::vector<ChannelVariable> entries;
  for (const records::VARIABLE4& v : configuration.variables)
    if (IsLocalMessageChannel(v) && (v.channel != 0) == periodic) entries.push_back({v.identifier, v.channel});
  return entries;
}

}  // namespace plandrel
