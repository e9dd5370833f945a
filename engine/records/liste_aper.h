// LISTE_APER: one aperiodic identifier list. Unlike the other records its file form has a
// variable length: name (33 bytes), urgent flag (u8), identifier count n (u8), n x u16.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace records {

struct LISTE_APER {
  static constexpr std::size_t header_size = 35;
  static constexpr std::size_t max_identifiers = 64;

  std::array<char, 33> name{};
  std::int32_t urgent = 0;                // 1 = "urgent" sending mode, 0 = "normal"
  std::vector<std::uint16_t> identifiers; // 1..64 identifiers, owned by the list

  friend bool operator==(const LISTE_APER&, const LISTE_APER&) = default;
};

// Bytes that encode() writes: the header and at most max_identifiers identifiers.
std::size_t encoded_size(const LISTE_APER& list);

// Writes the file form into `out`, which holds exactly encoded_size(list) bytes. The urgent flag
// is written as the byte it was read from (a value that fits no byte as 1); only the first
// max_identifiers identifiers are written.
void encode(const LISTE_APER& list, std::span<std::uint8_t> out);

enum class ListDecode : std::uint8_t { ok, truncated, bad_count };

// Reads one list from the front of `in`; on ok, `consumed` is its size in bytes. An identifier
// count of 0 or above 64 is bad_count; input that ends inside the list is truncated. The urgent
// flag keeps its byte value. `list` is left unchanged on failure.
ListDecode decode(std::span<const std::uint8_t> in, LISTE_APER& list, std::size_t& consumed);

}  // namespace records
