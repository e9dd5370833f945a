// Small configurations for the tree's tests.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "records/configuration.h"

namespace plandrel::testing {

template <std::size_t N>
void set_name(std::array<char, N>& field, std::string_view name) {
  field.fill('\0');
  std::memcpy(field.data(), name.data(), std::min(name.size(), N - 1));
}

inline records::Configuration make_configuration(std::initializer_list<std::string_view> stations,
                                                 std::uint16_t local, std::uint16_t ba_size = 0) {
  records::Configuration configuration = records::new_configuration();
  configuration.station_count = 0;
  for (std::string_view name : stations) set_name(configuration.stations[configuration.station_count++].name, name);
  configuration.local_station = local;
  configuration.param.ba_size = ba_size;
  return configuration;
}

inline records::VARIABLE4& add_variable(records::Configuration& configuration, std::string_view name,
                                        std::uint16_t identifier, std::int16_t producer,
                                        std::initializer_list<std::size_t> consumers = {}) {
  records::VARIABLE4 variable;
  set_name(variable.name, name);
  variable.identifier = identifier;
  variable.producer = producer;
  for (std::size_t station : consumers) records::set_consumer(variable, station, true);
  variable.consumer_count = static_cast<std::uint16_t>(consumers.size());
  variable.key = records::variable_key(configuration.variables.size());
  configuration.variables.push_back(variable);
  return configuration.variables.back();
}

inline records::MESSAGE4& add_message(records::Configuration& configuration, std::string_view name,
                                      std::uint16_t source, std::uint16_t destination, bool transmitted,
                                      std::int16_t remote) {
  records::MESSAGE4 message;
  set_name(message.name, name);
  message.source_identifier = source;
  message.destination_identifier = destination;
  message.transmitted = transmitted ? 1 : 0;
  message.remote_station = remote;
  message.key = records::message_key(configuration.messages.size());
  configuration.messages.push_back(message);
  return configuration.messages.back();
}

}  // namespace plandrel::testing
