// A configuration at the records' limits as the designer meets them: 256 stations, 4095 variables
// each produced by one station and consumed by two others, and 512 messages whose two sides both
// show.
#pragma once

#include <cstdio>

#include "records/configuration.h"

namespace plandrel::testing {

inline records::Configuration limits_network() {
  records::Configuration network = records::new_configuration();
  network.station_count = static_cast<std::uint16_t>(records::kStationCapacity);
  for (std::size_t s = 0; s < records::kStationCapacity; ++s) {
    char name[33];
    std::snprintf(name, sizeof name, "Station %zu", s);
    network.stations[s] = records::make_station(name, static_cast<std::int16_t>(s));
  }
  network.local_station = 0;
  network.param.ba_size = 1;
  for (std::size_t i = 0; i < records::kMaxVariables; ++i) {
    records::VARIABLE4 variable;
    std::snprintf(variable.name.data(), variable.name.size(), "Variable %zu", i);
    variable.identifier = static_cast<std::uint16_t>(0x1000 + i);
    variable.producer = static_cast<std::int16_t>(i % 256);
    records::set_consumer(variable, (i + 1) % 256, true);
    records::set_consumer(variable, (i + 2) % 256, true);
    variable.consumer_count = 2;
    network.variables.push_back(variable);
  }
  for (std::size_t k = 0; k < 512; ++k) {
    records::MESSAGE4 message;
    std::snprintf(message.name.data(), message.name.size(), "Message %zu", k);
    const std::size_t remote = k % 255 + 1;
    message.source_identifier = static_cast<std::uint16_t>(0x1000 + (k % 16) * 256);  // produced by station 0
    message.destination_identifier = static_cast<std::uint16_t>(0x1000 + remote);     // produced by the remote
    message.transmitted = 1;
    message.remote_station = static_cast<std::int16_t>(remote);
    network.messages.push_back(message);
  }
  records::renumber_keys(network);
  return network;
}

}  // namespace plandrel::testing
