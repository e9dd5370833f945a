#include "records/format3.h"

#include "records/byte_codec.h"
#include "records/configuration.h"

namespace records {

void encode(const MESSAGE3& m, std::span<std::uint8_t, MESSAGE3::size> out) {
  put_u16<0>(out, m.source_identifier);
  put_u16<2>(out, m.destination_identifier);
  put_u16<4>(out, m.reserved_4);
  put_u16<6>(out, m.event_number);
  put_bytes<8>(out, m.name);
  put_bytes<38>(out, m.format);
  put_u8<68>(out, m.acknowledged);
  put_u8<69>(out, m.periodic);
  put_u8<70>(out, m.transmitted);
}

void decode(std::span<const std::uint8_t, MESSAGE3::size> in, MESSAGE3& m) {
  m.source_identifier = get_u16<0>(in);
  m.destination_identifier = get_u16<2>(in);
  m.reserved_4 = get_u16<4>(in);
  m.event_number = get_u16<6>(in);
  get_bytes<8>(in, m.name);
  get_bytes<38>(in, m.format);
  m.acknowledged = get_u8<68>(in);
  m.periodic = get_u8<69>(in);
  m.transmitted = get_u8<70>(in);
}

void encode(const VARIABLE3& v, std::span<std::uint8_t, VARIABLE3::size> out) {
  put_u16<0>(out, v.identifier);
  put_bytes<2>(out, v.name);
  put_bytes<32>(out, v.format);
  put_u16<62>(out, v.pdu_type);
  put_u16<64>(out, v.length);
  put_u16<66>(out, v.channel);
  put_u16<68>(out, v.field_74);
  put_u8<70>(out, v.direction);
  put_u8<71>(out, v.refreshment_status);
  put_u8<72>(out, v.promptness_status);
  put_u8<73>(out, v.flags);
  put_u16<74>(out, v.refreshment_period);
  put_u16<76>(out, v.promptness_period);
}

void decode(std::span<const std::uint8_t, VARIABLE3::size> in, VARIABLE3& v) {
  v.identifier = get_u16<0>(in);
  get_bytes<2>(in, v.name);
  get_bytes<32>(in, v.format);
  v.pdu_type = get_u16<62>(in);
  v.length = get_u16<64>(in);
  v.channel = get_u16<66>(in);
  v.field_74 = get_u16<68>(in);
  v.direction = get_u8<70>(in);
  v.refreshment_status = get_u8<71>(in);
  v.promptness_status = get_u8<72>(in);
  v.flags = get_u8<73>(in);
  v.refreshment_period = get_u16<74>(in);
  v.promptness_period = get_u16<76>(in);
}

namespace {
// Format 3 names and formats hold at most 29 characters and their NUL.
constexpr std::size_t kFormat3TextLimit = 29;
}  // namespace

MESSAGE4 widen_for_download(const MESSAGE3& m) {
  MESSAGE4 w;
  w.source_identifier = m.source_identifier;
  w.destination_identifier = m.destination_identifier;
  w.channel = m.reserved_4;
  w.event_number = m.event_number;
  set_text(w.name, text_of(m.name));
  set_text(w.format, text_of(m.format));
  w.acknowledged = m.acknowledged;
  w.aperiodic = m.periodic;
  w.transmitted = m.transmitted;
  w.remote_station = 0;
  w.key = 0;
  return w;
}

VARIABLE4 widen_for_download(const VARIABLE3& v) {
  VARIABLE4 w;
  w.identifier = v.identifier;
  set_text(w.name, text_of(v.name));
  set_text(w.format, text_of(v.format));
  w.pdu_type = v.pdu_type;
  w.length = v.length;
  w.channel = static_cast<std::int16_t>(v.channel);
  w.field_74 = v.field_74;
  w.producer = 0;
  w.direction = v.direction;
  w.refreshment_status = v.refreshment_status;
  w.promptness_status = v.promptness_status;
  w.flags = v.flags;
  w.refreshment_period = v.refreshment_period;
  w.promptness_period = v.promptness_period;
  w.key = 0;
  return w;
}

MESSAGE4 widen_for_designer(const MESSAGE3& m, std::size_t index) {
  MESSAGE4 w;
  w.source_identifier = m.source_identifier;
  w.destination_identifier = m.destination_identifier;
  w.event_number = m.event_number;
  set_text(w.name, text_of(m.name));
  set_text(w.format, text_of(m.format));
  w.acknowledged = m.acknowledged;
  const bool periodic = m.periodic == 1;
  w.aperiodic = periodic ? 0 : 1;
  w.channel = periodic ? 1 : 0;
  w.transmitted = m.transmitted;
  w.remote_station = 1;
  w.key = message_key(index);
  return w;
}

VARIABLE4 widen_for_designer(const VARIABLE3& v, std::size_t index, ChannelNumbering& channels) {
  VARIABLE4 w;
  w.identifier = v.identifier;
  set_text(w.name, text_of(v.name));
  set_text(w.format, text_of(v.format));
  w.pdu_type = v.pdu_type;
  w.length = v.length;
  w.field_74 = v.field_74;
  w.direction = v.direction;
  w.refreshment_status = v.refreshment_status;
  w.promptness_status = v.promptness_status;
  w.flags = v.flags;
  w.refreshment_period = v.refreshment_period;
  w.promptness_period = v.promptness_period;

  w.consumer_count = 1;
  const bool consumed_locally = v.direction == 1;
  w.producer = consumed_locally ? 1 : 0;
  set_consumer(w, consumed_locally ? 0 : 1, true);

  if (v.flags & VARIABLE4::kMessageChannel)
    w.channel = v.channel != 0 ? ++channels.last : std::int16_t{0};
  else
    w.channel = -1;
  w.key = variable_key(index);
  return w;
}

MESSAGE3 narrow_to_format3(const MESSAGE4& m) {
  MESSAGE3 n;
  n.source_identifier = m.source_identifier;
  n.destination_identifier = m.destination_identifier;
  n.reserved_4 = 0;
  n.event_number = m.event_number;
  set_text(n.name, text_of(m.name), kFormat3TextLimit);
  set_text(n.format, text_of(m.format), kFormat3TextLimit);
  n.acknowledged = m.acknowledged;
  n.periodic = m.aperiodic == 1 ? 0 : 1;
  n.transmitted = m.transmitted;
  return n;
}

VARIABLE3 narrow_to_format3(const VARIABLE4& v) {
  VARIABLE3 n;
  n.identifier = v.identifier;
  set_text(n.name, text_of(v.name), kFormat3TextLimit);
  set_text(n.format, text_of(v.format), kFormat3TextLimit);
  n.pdu_type = v.pdu_type;
  n.length = v.length;
  n.channel = static_cast<std::uint16_t>(v.channel);
  n.field_74 = v.field_74;
  n.direction = v.direction;
  n.refreshment_status = v.refreshment_status;
  n.promptness_status = v.promptness_status;
  n.flags = v.flags;
  n.refreshment_period = v.refreshment_period;
  n.promptness_period = v.promptness_period;
  return n;
}

}  // namespace records
