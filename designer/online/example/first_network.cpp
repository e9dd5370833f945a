#include "first_network.h"

#include <initializer_list>
#include <string_view>

#include "records/byte_codec.h"

namespace examples {

records::Configuration first_network() {
  records::Configuration n = records::new_configuration();
  n.station_count = 0;
  for (const auto& [name, address] : {std::pair{"Designer", 1}, {"Arbitrator R5", 5}, {"Tank R6", 6}})
    n.stations[n.station_count++] = records::make_station(name, static_cast<std::int16_t>(address));
  n.local_station = 0;
  n.param.election_count = records::election_count(0, 1);

  const auto variable = [&](std::string_view name, std::uint16_t identifier, std::int16_t producer,
                            std::initializer_list<std::size_t> consumers, std::uint8_t flags) {
    records::VARIABLE4 v;
    records::set_text(v.name, name);
    records::set_text(v.format, "%u");
    v.identifier = identifier;
    v.pdu_type = 0x40;
    v.length = 2;
    v.channel = flags & records::VARIABLE4::kMessageChannel ? 0 : -1;  // aperiodic message requests
    v.field_74 = 1;
    v.producer = producer;
    for (std::size_t station : consumers) records::set_consumer(v, station, true);
    v.consumer_count = static_cast<std::uint16_t>(consumers.size());
    v.direction = producer == 0 ? 0 : 1;
    v.flags = flags;
    n.variables.push_back(v);
  };
  variable("Temperature", 0x0A10, 1, {0}, 0);
  variable("Level", 0x0A11, 2, {0}, 0);
  variable("Setpoint", 0x0A20, 0, {2},
           records::VARIABLE4::kMessageReception | records::VARIABLE4::kMessageChannel);

  const auto message = [&](std::string_view name, std::uint16_t source, std::uint16_t destination, bool transmitted,
                           std::int16_t remote) {
    records::MESSAGE4 m;
    records::set_text(m.name, name);
    records::set_text(m.format, "%4h");
    m.source_identifier = source;
    m.destination_identifier = destination;
    m.transmitted = transmitted ? 1 : 0;
    m.acknowledged = transmitted ? 1 : 0;
    m.aperiodic = 1;
    m.event_number = 1;
    m.remote_station = remote;
    n.messages.push_back(m);
  };
  message("Command", 0x0A20, 0x0A11, true, 2);
  message("Alarm", 0x0A10, 0x0A20, false, 1);

  records::size_tables(n, 1);
  n.param.ba_size = 0;  // R5 runs the bus
  records::renumber_keys(n);
  return n;
}

}  // namespace examples
