#include "records/message4.h"

#include "records/byte_codec.h"

namespace records {

void encode(const MESSAGE4& m, std::span<std::uint8_t, MESSAGE4::size> out) {
  put_u16<0>(out, m.source_identifier);
  put_u16<2>(out, m.destination_identifier);
  put_u16<4>(out, m.channel);
  put_u16<6>(out, m.event_number);
  put_u8<8>(out, m.source_segment);
  put_u8<9>(out, m.destination_segment);
  put_bytes<10>(out, m.name);
  put_bytes<43>(out, m.format);
  put_u8<76>(out, m.acknowledged);
  put_u8<77>(out, m.aperiodic);
  put_u8<78>(out, m.transmitted);
  put_i16<79>(out, m.remote_station);
  put_u16<81>(out, m.key);
}

void decode(std::span<const std::uint8_t, MESSAGE4::size> in, MESSAGE4& m) {
  m.source_identifier = get_u16<0>(in);
  m.destination_identifier = get_u16<2>(in);
  m.channel = get_u16<4>(in);
  m.event_number = get_u16<6>(in);
  m.source_segment = get_u8<8>(in);
  m.destination_segment = get_u8<9>(in);
  get_bytes<10>(in, m.name);
  get_bytes<43>(in, m.format);
  m.acknowledged = get_u8<76>(in);
  m.aperiodic = get_u8<77>(in);
  m.transmitted = get_u8<78>(in);
  m.remote_station = get_i16<79>(in);
  m.key = get_u16<81>(in);
}

}  // namespace records
