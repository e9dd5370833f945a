// Test bytes spelled out by hand from the record layouts, independent of the codecs under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace records::test_bytes {

class Golden {
 public:
  explicit Golden(std::size_t size = 0) : bytes_(size, 0) {}

  // Bytes at an offset, growing the image as needed.
  Golden& at(std::size_t offset, std::initializer_list<std::uint8_t> values) {
    if (bytes_.size() < offset + values.size()) bytes_.resize(offset + values.size(), 0);
    std::size_t i = offset;
    for (std::uint8_t v : values) bytes_[i++] = v;
    return *this;
  }
  Golden& text(std::size_t offset, std::string_view s) {
    if (bytes_.size() < offset + s.size()) bytes_.resize(offset + s.size(), 0);
    for (char c : s) bytes_[offset++] = static_cast<std::uint8_t>(c);
    return *this;
  }
  // Appends at the end.
  Golden& add(std::initializer_list<std::uint8_t> values) { return at(bytes_.size(), values); }
  Golden& add_text(std::string_view s) { return text(bytes_.size(), s); }
  Golden& add_zeros(std::size_t n) {
    bytes_.resize(bytes_.size() + n, 0);
    return *this;
  }
  Golden& add(const Golden& other) {
    bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
    return *this;
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
};


}  // namespace records::test_bytes
