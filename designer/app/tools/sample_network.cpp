#include "sample_network.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string_view>

namespace plandrel {
namespace {

template <std::size_t N>
void set_text(std::array<char, N>& field, std::string_view text) {
  field.fill('\0');
  std::memcpy(field.data(), text.data(), std::min(text.size(), N - 1));
}

}  // namespace

records::Configuration sample_network() {
  records::Configuration network = records::new_configuration();
  network.station_count = 0;
  for (const auto& [name, address] : {std::pair{"Controller", 0}, {"Pump station", 1}, {"Valve rack", 2},
                                      {"Operator panel", 3}})
    network.stations[network.station_count++] = records::make_station(name, static_cast<std::int16_t>(address));
  network.local_station = 0;
  network.param.ba_size = 1;

  const auto variable = [&](std::string_view name, std::uint16_t identifier, std::int16_t producer,
                            std::initializer_list<std::size_t> consumers, std::uint8_t flags) {
    records::VARIABLE4 v;
    set_text(v.name, name);
    set_text(v.format, "%2h");
    v.identifier = identifier;
    v.pdu_type = 0x40;
    v.length = 2;
    v.channel = flags & records::VARIABLE4::kMessageChannel ? 1 : -1;
    v.producer = producer;
    for (std::size_t station : consumers) records::set_consumer(v, station, true);
    v.consumer_count = static_cast<std::uint16_t>(consumers.size());
    v.direction = producer == 0 ? 0 : 1;
    v.flags = flags;
    v.refreshment_period = 100;
    v.promptness_period = 100;
    network.variables.push_back(v);
  };
  variable("Pump speed", 0x0100, 1, {0, 3}, 0);
  variable("Controller state", 0x0101, 0, {3}, records::VARIABLE4::kMessageChannel);
  variable("Valve command", 0x0200, 0, {2}, 0);
  variable("Valve status", 0x0201, 2, {0}, 0);
  variable("Panel request", 0x0300, 3, {0}, 0);

  const auto message = [&](std::string_view name, std::uint16_t source, std::uint16_t destination, bool transmitted,
                           std::int16_t remote) {
    records::MESSAGE4 m;
    set_text(m.name, name);
    set_text(m.format, "%4h");
    m.source_identifier = source;
    m.destination_identifier = destination;
    m.channel = 1;
    m.event_number = 1;
    m.transmitted = transmitted ? 1 : 0;
    m.remote_station = remote;
    network.messages.push_back(m);
  };
  message("Setpoint", 0x0101, 0x0300, true, 3);
  message("Valve alarm", 0x0201, 0x0100, false, 2);
  message("Valve report", 0x0200, 0x0201, true, 2);
  records::renumber_keys(network);
  return network;
}

}  // namespace plandrel
