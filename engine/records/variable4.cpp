#include "records/variable4.h"

#include "records/byte_codec.h"

namespace records {

namespace {
template <std::size_t Offset, std::size_t Extent>
void put_consumers(std::span<std::uint8_t, Extent> out, const std::array<std::uint32_t, 8>& set) {
  static_assert(Offset + 32 <= Extent);
  for (std::size_t word = 0; word < set.size(); ++word)
    for (std::size_t byte = 0; byte < 4; ++byte)
      out[Offset + 4 * word + byte] = static_cast<std::uint8_t>(set[word] >> (8 * byte));
}

template <std::size_t Offset, std::size_t Extent>
void get_consumers(std::span<const std::uint8_t, Extent> in, std::array<std::uint32_t, 8>& set) {
  static_assert(Offset + 32 <= Extent);
  for (std::size_t word = 0; word < set.size(); ++word) {
    set[word] = 0;
    for (std::size_t byte = 0; byte < 4; ++byte)
      set[word] |= static_cast<std::uint32_t>(in[Offset + 4 * word + byte]) << (8 * byte);
  }
}
}  // namespace

void encode(const VARIABLE4& v, std::span<std::uint8_t, VARIABLE4::size> out) {
  put_u16<0>(out, v.identifier);
  put_bytes<2>(out, v.name);
  put_bytes<35>(out, v.format);
  put_u16<68>(out, v.pdu_type);
  put_u16<70>(out, v.length);
  put_i16<72>(out, v.channel);
  put_u16<74>(out, v.field_74);
  put_i16<76>(out, v.producer);
  put_u16<78>(out, v.consumer_count);
  put_consumers<80>(out, v.consumers);
  put_u8<112>(out, v.direction);
  put_u8<113>(out, v.refreshment_status);
  put_u8<114>(out, v.promptness_status);
  put_u8<115>(out, v.flags);
  put_u16<116>(out, v.refreshment_period);
  put_u16<118>(out, v.promptness_period);
  put_u16<120>(out, v.key);
}

void decode(std::span<const std::uint8_t, VARIABLE4::size> in, VARIABLE4& v) {
  v.identifier = get_u16<0>(in);
  get_bytes<2>(in, v.name);
  get_bytes<35>(in, v.format);
  v.pdu_type = get_u16<68>(in);
  v.length = get_u16<70>(in);
  v.channel = get_i16<72>(in);
  v.field_74 = get_u16<74>(in);
  v.producer = get_i16<76>(in);
  v.consumer_count = get_u16<78>(in);
  get_consumers<80>(in, v.consumers);
  v.direction = get_u8<112>(in);
  v.refreshment_status = get_u8<113>(in);
  v.promptness_status = get_u8<114>(in);
  v.flags = get_u8<115>(in);
  v.refreshment_period = get_u16<116>(in);
  v.promptness_period = get_u16<118>(in);
  v.key = get_u16<120>(in);
}

bool is_consumer(const VARIABLE4& variable, std::size_t station) {
  return station < kStationCapacity && (variable.consumers[station / 32] >> (station % 32) & 1U);
}

void set_consumer(VARIABLE4& variable, std::size_t station, bool consumes) {
  if (station >= kStationCapacity) return;
  const std::uint32_t bit = 1U << (station % 32);
  if (consumes)
    variable.consumers[station / 32] |= bit;
  else
    variable.consumers[station / 32] &= ~bit;
}

}  // namespace records
