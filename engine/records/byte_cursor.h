// Sequential reading and writing of a file image, record by record. The reader never moves past
// the end of its bytes: every take reports whether the bytes were there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "records/byte_codec.h"

namespace records {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t position() const { return position_; }
  std::span<const std::uint8_t> rest() const { return bytes_.subspan(position_); }

  bool skip(std::size_t n) {
    if (bytes_.size() - position_ < n) return false;
    position_ += n;
    return true;
  }

  bool u16(std::uint16_t& value) {
    if (bytes_.size() - position_ < 2) return false;
    value = get_u16<0>(bytes_.subspan(position_).first<2>());
    position_ += 2;
    return true;
  }

  // Decodes the next record of type R.
  template <class R>
  bool record(R& out) {
    if (bytes_.size() - position_ < R::size) return false;
    decode(bytes_.subspan(position_).template first<R::size>(), out);
    position_ += R::size;
    return true;
  }

  // Decodes `count` records of type R into `out` (replaced). The size is checked before anything
  // is allocated, so a damaged count cannot ask for more memory than the input holds.
  template <class R>
  bool records(std::size_t count, std::vector<R>& out) {
    if ((bytes_.size() - position_) / R::size < count) return false;
    out.assign(count, R{});
    for (R& r : out) record(r);
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void u16(std::uint16_t value) {
    out_.push_back(static_cast<std::uint8_t>(value));
    out_.push_back(static_cast<std::uint8_t>(value >> 8));
  }

  void bytes(std::span<const std::uint8_t> data) { out_.insert(out_.end(), data.begin(), data.end()); }

  template <class R>
  void record(const R& r) {
    const auto encoded = to_bytes(r);
    bytes(encoded);
  }

  template <class R>
  void records(const std::vector<R>& rs, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) record(rs[i]);
  }

 private:
  std::vector<std::uint8_t>& out_;
};

}  // namespace records
