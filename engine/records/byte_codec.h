// Little-endian field access at byte offsets, shared by every record codec.
//
// Records are packed and several fields are unaligned, so each field is assembled byte by byte;
// nothing here casts a structure onto bytes. Offsets are checked against the span at compile time
// where the extent is fixed, so a codec cannot read or write outside its record.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace records {

template <std::size_t Offset, std::size_t Extent>
std::uint8_t get_u8(std::span<const std::uint8_t, Extent> in) {
  static_assert(Offset + 1 <= Extent);
  return in[Offset];
}

template <std::size_t Offset, std::size_t Extent>
std::uint16_t get_u16(std::span<const std::uint8_t, Extent> in) {
  static_assert(Offset + 2 <= Extent);
  return static_cast<std::uint16_t>(in[Offset] | (in[Offset + 1] << 8));
}

template <std::size_t Offset, std::size_t Extent>
std::int16_t get_i16(std::span<const std::uint8_t, Extent> in) {
  return static_cast<std::int16_t>(get_u16<Offset>(in));
}

template <std::size_t Offset, std::size_t Extent>
std::uint32_t get_u32(std::span<const std::uint8_t, Extent> in) {
  static_assert(Offset + 4 <= Extent);
  return static_cast<std::uint32_t>(in[Offset]) | static_cast<std::uint32_t>(in[Offset + 1]) << 8 |
         static_cast<std::uint32_t>(in[Offset + 2]) << 16 |
         static_cast<std::uint32_t>(in[Offset + 3]) << 24;
}

template <std::size_t Offset, std::size_t Extent>
std::int32_t get_i32(std::span<const std::uint8_t, Extent> in) {
  return static_cast<std::int32_t>(get_u32<Offset>(in));
}

template <std::size_t Offset, std::size_t N, std::size_t Extent>
void get_bytes(std::span<const std::uint8_t, Extent> in, std::array<char, N>& out) {
  static_assert(Offset + N <= Extent);
  std::memcpy(out.data(), in.data() + Offset, N);
}

template <std::size_t Offset, std::size_t Extent>
void put_u8(std::span<std::uint8_t, Extent> out, std::uint8_t value) {
  static_assert(Offset + 1 <= Extent);
  out[Offset] = value;
}

template <std::size_t Offset, std::size_t Extent>
void put_u16(std::span<std::uint8_t, Extent> out, std::uint16_t value) {
  static_assert(Offset + 2 <= Extent);
  out[Offset] = static_cast<std::uint8_t>(value);
  out[Offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

template <std::size_t Offset, std::size_t Extent>
void put_i16(std::span<std::uint8_t, Extent> out, std::int16_t value) {
  put_u16<Offset>(out, static_cast<std::uint16_t>(value));
}

template <std::size_t Offset, std::size_t Extent>
void put_u32(std::span<std::uint8_t, Extent> out, std::uint32_t value) {
  static_assert(Offset + 4 <= Extent);
  for (std::size_t i = 0; i < 4; ++i) out[Offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <std::size_t Offset, std::size_t Extent>
void put_i32(std::span<std::uint8_t, Extent> out, std::int32_t value) {
  put_u32<Offset>(out, static_cast<std::uint32_t>(value));
}

template <std::size_t Offset, std::size_t N, std::size_t Extent>
void put_bytes(std::span<std::uint8_t, Extent> out, const std::array<char, N>& in) {
  static_assert(Offset + N <= Extent);
  std::memcpy(out.data() + Offset, in.data(), N);
}

// The text of a character field: up to its first NUL, or the whole field when a damaged record
// holds none.
template <std::size_t N>
std::string_view text_of(const std::array<char, N>& field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return {field.data(), static_cast<std::size_t>(end - field.begin())};
}

// Replaces a character field with `text`, cut to `limit` characters (at most N - 1, so a NUL
// always follows) and zero-filled after it.
template <std::size_t N>
void set_text(std::array<char, N>& field, std::string_view text, std::size_t limit = N - 1) {
  field.fill('\0');
  const std::size_t n = std::min({text.size(), limit, N - 1});
  std::copy_n(text.data(), n, field.data());
}

// Every record type R offers `R::size` and the overloads encode(const R&, span<uint8_t, R::size>)
// and decode(span<const uint8_t, R::size>, R&). These two wrappers give the byte array form.
template <class Record>
std::array<std::uint8_t, Record::size> to_bytes(const Record& record) {
  std::array<std::uint8_t, Record::size> bytes{};
  encode(record, std::span<std::uint8_t, Record::size>(bytes));
  return bytes;
}

template <class Record>
Record from_bytes(std::span<const std::uint8_t, Record::size> bytes) {
  Record record{};
  decode(bytes, record);
  return record;
}

}  // namespace records
