#include "records/ba_param.h"

#include "records/byte_codec.h"

namespace records {

void encode(const BA_PARAM& ba, std::span<std::uint8_t, BA_PARAM::size> out) {
  put_u8<0>(out, ba.program_from_file);
  put_bytes<1>(out, ba.program_path);
}

void decode(std::span<const std::uint8_t, BA_PARAM::size> in, BA_PARAM& ba) {
  ba.program_from_file = get_u8<0>(in);
  get_bytes<1>(in, ba.program_path);
}

}  // namespace records
