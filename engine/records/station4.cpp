#include "records/station4.h"

#include "records/byte_codec.h"

namespace records {

void encode(const STATION4& station, std::span<std::uint8_t, STATION4::size> out) {
  put_bytes<0>(out, station.name);
  put_i16<33>(out, station.physical_address);
}

void decode(std::span<const std::uint8_t, STATION4::size> in, STATION4& station) {
  get_bytes<0>(in, station.name);
  station.physical_address = get_i16<33>(in);
}

STATION4 make_station(std::string_view name, std::int16_t physical_address) {
  STATION4 station;
  set_text(station.name, name);
  station.physical_address = physical_address;
  return station;
}

}  // namespace records
