// The machine's own card code image, "kernala.dat": a u16 block count, then per block a u16 byte
// address in card memory and the 128 bytes of that page (little-endian numbers). No vendor image
// exists here; this one is deterministic, so that a download can be checked byte for byte.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

inline constexpr std::uint16_t kCodeImagePages = 96;  // pages 0..95, below the header page 128
inline constexpr std::uint32_t kCodeImageBlockBytes = 130;

// The page bytes the image puts at `page` (page < kCodeImagePages).
std::vector<std::uint8_t> codeImagePage(std::uint16_t page);
// The whole file.
std::vector<std::uint8_t> codeImage();

}  // namespace sim
