#include "model/message_channels.h"

#include <algorithm>
#include <array>

namespace plandrel {

bool IsLocalMessageChannel(const records::VARIABLE4& variable) {
  return variable.direction == 0 && (variable.flags & records::VARIABLE4::kMessageChannel) != 0;
}

namespace {

bool SentPeriodically(const records::MESSAGE4& message) { return message.transmitted != 0 && message.aperiodic == 0; }

bool HeldByAnother(const records::Configuration& configuration, int channel, std::uint16_t except_key) {
  return std::any_of(configuration.variables.begin(), configuration.variables.end(), [&](const records::VARIABLE4& v) {
    return v.key != except_key && IsLocalMessageChannel(v) && v.channel == channel;
  });
}

}  // namespace

bool CarriesPeriodicMessage(const records::Configuration& configuration, const records::VARIABLE4& variable) {
  if (!IsLocalMessageChannel(variable) || variable.channel <= 0 ||
      HeldByAnother(configuration, variable.channel, variable.key))
    return false;
  return std::any_of(configuration.messages.begin(), configuration.messages.end(), [&](const records::MESSAGE4& m) {
    return SentPeriodically(m) && m.channel == variable.channel;
  });
}

std::vector<std::size_t> CloseChannelGap(records::Configuration& configuration, int channel,
                                         std::uint16_t except_key) {
  std::vector<std::size_t> moved;
  // A copy of a channel variable holds its source's channel until its editor gives it another.
  if (HeldByAnother(configuration, channel, except_key)) return moved;
  for (records::VARIABLE4& v : configuration.variables)
    if (v.key != except_key && v.channel > channel) --v.channel;
  for (std::size_t i = 0; i < configuration.messages.size(); ++i) {
    records::MESSAGE4& m = configuration.messages[i];
    if (!SentPeriodically(m) || m.channel <= channel) continue;
    --m.channel;
    moved.push_back(i);
  }
  return moved;
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

std::optional<std::int16_t> PeriodicChannelAtSave(const records::Configuration& configuration,
                                                  const records::VARIABLE4& record) {
  const bool periodic = (record.flags & records::VARIABLE4::kMessageChannel) != 0 && record.channel >= 1 &&
                        record.channel <= records::kMaxMessageChannel;
  if (periodic && !HeldByAnother(configuration, record.channel, record.key)) return record.channel;
  return FreePeriodicChannel(configuration, &record);
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
