#include "records/liste_aper.h"

#include <algorithm>

#include "records/byte_codec.h"

namespace records {

namespace {
std::size_t written_identifiers(const LISTE_APER& list) {
  return std::min(list.identifiers.size(), LISTE_APER::max_identifiers);
}
}  // namespace

std::size_t encoded_size(const LISTE_APER& list) {
  return LISTE_APER::header_size + 2 * written_identifiers(list);
}

void encode(const LISTE_APER& list, std::span<std::uint8_t> out) {
  const std::size_t count = written_identifiers(list);
  auto header = out.first<LISTE_APER::header_size>();
  put_bytes<0>(header, list.name);
  put_u8<33>(header, list.urgent >= 0 && list.urgent <= 0xFF ? static_cast<std::uint8_t>(list.urgent)
                                                             : std::uint8_t{1});
  put_u8<34>(header, static_cast<std::uint8_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    put_u16<0>(out.subspan(LISTE_APER::header_size + 2 * i).first<2>(), list.identifiers[i]);
  }
}

ListDecode decode(std::span<const std::uint8_t> in, LISTE_APER& list, std::size_t& consumed) {
  if (in.size() < LISTE_APER::header_size) return ListDecode::truncated;
  const auto header = in.first<LISTE_APER::header_size>();
  const std::size_t count = get_u8<34>(header);
  if (count == 0 || count > LISTE_APER::max_identifiers) return ListDecode::bad_count;
  const std::size_t size = LISTE_APER::header_size + 2 * count;
  if (in.size() < size) return ListDecode::truncated;

  get_bytes<0>(header, list.name);
  list.urgent = get_u8<33>(header);
  list.identifiers.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    list.identifiers[i] = get_u16<0>(in.subspan(LISTE_APER::header_size + 2 * i).first<2>());
  }
  consumed = size;
  return ListDecode::ok;
}

}  // namespace records
