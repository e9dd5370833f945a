#include "records/general_param.h"

#include <algorithm>
#include <array>

#include "records/byte_codec.h"

namespace records {

void encode(const GENERAL_PARAM& p, std::span<std::uint8_t, GENERAL_PARAM::size> out) {
  put_u16<0>(out, p.speed_constant);
  put_u16<2>(out, p.speed);
  put_u16<4>(out, p.slot_time);
  put_u16<6>(out, p.turnaround);
  put_u16<8>(out, p.silence);
  put_u16<10>(out, p.message_table_size);
  put_u16<12>(out, p.variable_table_size);
  put_u16<14>(out, p.ba_size);
  put_u16<16>(out, p.padding_identifier);
  put_i32<18>(out, p.election_count);
  put_i32<22>(out, p.start_delay);
  put_u8<26>(out, p.clock_multiplier);
  put_u8<27>(out, p.frame_type);
  put_u16<28>(out, p.reserved_28);
  put_u16<30>(out, p.reserved_30);
  put_u16<32>(out, p.reserved_32);
}

void decode(std::span<const std::uint8_t, GENERAL_PARAM::size> in, GENERAL_PARAM& p) {
  p.speed_constant = get_u16<0>(in);
  p.speed = get_u16<2>(in);
  p.slot_time = get_u16<4>(in);
  p.turnaround = get_u16<6>(in);
  p.silence = get_u16<8>(in);
  p.message_table_size = get_u16<10>(in);
  p.variable_table_size = get_u16<12>(in);
  p.ba_size = get_u16<14>(in);
  p.padding_identifier = get_u16<16>(in);
  p.election_count = get_i32<18>(in);
  p.start_delay = get_i32<22>(in);
  p.clock_multiplier = get_u8<26>(in);
  p.frame_type = get_u8<27>(in);
  p.reserved_28 = get_u16<28>(in);
  p.reserved_30 = get_u16<30>(in);
  p.reserved_32 = get_u16<32>(in);
}

GENERAL_PARAM new_general_param() {
  GENERAL_PARAM p;
  p.speed_constant = 64;
  p.speed = 1;
  p.slot_time = 0;
  p.turnaround = 14;
  p.silence = 22;
  p.ba_size = 1;
  p.padding_identifier = 30000;
  p.election_count = election_count(0, 0);
  p.start_delay = 8712;
  p.clock_multiplier = 0;
  p.frame_type = 1;
  return p;
}

std::uint16_t speed_constant(std::uint16_t speed) {
  constexpr std::array<std::uint16_t, 3> kBySpeed{40, 64, 80};
  return speed < kBySpeed.size() ? kBySpeed[speed] : 0;
}

void set_speed(GENERAL_PARAM& param, std::uint16_t speed) {
  param.speed = speed;
  param.speed_constant = speed_constant(speed);
}

std::int32_t election_count(int priority, int local_address) {
  const std::int64_t count = ((std::int64_t{priority} + 1) * 256 + local_address) * 2 + 6;
  return static_cast<std::int32_t>(std::min<std::int64_t>(count, 0xFFFF));
}

int priority_from_election(std::int32_t election_count, int local_address) {
  // The difference is taken modulo 2^16 on purpose: the count was stored from a 16-bit value.
  const auto d = static_cast<std::int16_t>(static_cast<std::uint32_t>(election_count) -
                                           2U * static_cast<std::uint32_t>(local_address) - 518U);
  return std::min(std::max<int>(d, 0) / 512, kMaxPriority);
}

}  // namespace records
