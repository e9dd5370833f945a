// BA_PARAM: the bus arbitrator block at the head of section `ba`.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace records {

struct BA_PARAM {
  static constexpr std::size_t size = 262;
  // Format 3 keeps only the head of the block: the flag and a path of at most 126 characters.
  static constexpr std::size_t format3_size = 128;

  std::uint8_t program_from_file = 0;     // 0: 1 = programmed from a BA program text file
  std::array<char, 261> program_path{};   // 1: NUL-terminated, bytes after the NUL kept

  friend bool operator==(const BA_PARAM&, const BA_PARAM&) = default;
};

void encode(const BA_PARAM& ba, std::span<std::uint8_t, BA_PARAM::size> out);
void decode(std::span<const std::uint8_t, BA_PARAM::size> in, BA_PARAM& ba);

}  // namespace records
