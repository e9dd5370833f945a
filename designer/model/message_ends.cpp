#include "model/message_ends.h"

#include "model/config_checks.h"
#include "model/consumer_set.h"

namespace plandrel {

std::int16_t RemoteStationOf(const records::Configuration& configuration, std::uint16_t identifier) {
  const std::uint16_t index = FindVariableByIdentifier(configuration, identifier);
  if (index == kNoVariable) return kNoStation;
  const records::VARIABLE4& v = configuration.variables[index];
  int station = kNoStation;
  if (v.direction != 0) {
    station = v.producer;
  } else if (v.consumer_count == 1) {
    const std::vector<std::uint16_t> consumers = ConsumerStations(v, configuration.station_count);
    if (!consumers.empty()) station = consumers.front();
  }
  if (station < 0 || station >= configuration.station_count) return kNoStation;
  return static_cast<std::int16_t>(station);
}

std::vector<std::size_t> CarryIdentifierChange(records::Configuration& configuration, std::uint16_t old_identifier,
                                               std::uint16_t new_identifier, FarEndRule rule) {
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < configuration.messages.size(); ++i) {
    records::MESSAGE4& m = configuration.messages[i];
    const bool acknowledged_or_received = m.transmitted == 0 || m.acknowledged != 0;
    const bool far_end_follows = m.remote_station != kNoStation &&
                                 (rule == FarEndRule::remote_station || acknowledged_or_received);
    // The local end names the variable directly; the far end only through a remote station.
    std::uint16_t& local_end = m.transmitted != 0 ? m.source_identifier : m.destination_identifier;
    std::uint16_t& far_end = m.transmitted != 0 ? m.destination_identifier : m.source_identifier;
    bool moved = false;
    if (local_end == old_identifier) {
      local_end = new_identifier;
      moved = true;
    }
    if (far_end == old_identifier && far_end_follows) {
      far_end = new_identifier;
      moved = true;
    }
    if (moved) changed.push_back(i);
  }
  return changed;
}

std::vector<std::size_t> DetachRemoteStations(records::Configuration& configuration,
                                              const records::VARIABLE4& variable) {
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < configuration.messages.size(); ++i) {
    records::MESSAGE4& m = configuration.messages[i];
    const std::uint16_t far_end = m.transmitted != 0 ? m.destination_identifier : m.source_identifier;
    if (far_end != variable.identifier || m.remote_station == kNoStation) continue;
    if (m.remote_station == variable.producer || IsConsumer(variable, m.remote_station)) continue;
    m.remote_station = kNoStation;
    changed.push_back(i);
  }
  return changed;
}

}  // namespace plandrel
