// The splash bitmap "splash.dib": an 8-bit uncompressed device-independent bitmap file of at most
// 800 x 600 pixels, read whole into memory for the splash window to draw.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace plandrel {

inline constexpr std::int32_t kSplashMaxWidth = 800;
inline constexpr std::int32_t kSplashMaxHeight = 600;

// A bitmap in the one shape the splash window draws: a 40-byte information header with a
// positive height and the image size filled in, a full table of 256 colours, and bottom-up rows.
struct SplashBitmap {
  static constexpr std::size_t kInfoSize = 40 + 256 * 4;

  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t stride = 0;                  // bytes per row, a multiple of 4
  std::array<std::uint8_t, kInfoSize> info{};  // header and colour table (blue, green, red, 0)
  std::vector<std::uint8_t> pixels;          // stride * height palette indexes, bottom row first

  // Palette index of the pixel at column x of row y counted from the top.
  std::uint8_t index_at(std::int32_t x, std::int32_t y) const {
    return pixels[static_cast<std::size_t>(height - 1 - y) * stride + static_cast<std::size_t>(x)];
  }
  // 0xRRGGBB of palette entry i.
  std::uint32_t colour(std::size_t i) const {
    const std::size_t at = 40 + i * 4;
    return static_cast<std::uint32_t>(info[at + 2]) << 16 | static_cast<std::uint32_t>(info[at + 1]) << 8 | info[at];
  }
};

// Why a file is not shown; every refusal simply means no splash.
enum class SplashRefusal : std::uint8_t {
  none,
  cannot_open,
  truncated,        // the file ends inside the headers, the colour table or the pixels
  not_a_bitmap,     // no "BM" signature or an information header shorter than 40 bytes
  too_large,        // wider than 800 or higher than 600 pixels
  bad_dimensions,   // a width or height of 0, or a negative width
  unsupported,      // not 8 bits per pixel, or compressed
  short_image,      // the image-size field is smaller than the rows it must hold
};

struct SplashReadResult {
  std::optional<SplashBitmap> bitmap;
  SplashRefusal refusal = SplashRefusal::none;
};

// Parses the bytes of a bitmap file. An image-size field of 0 is taken as the size the rows need;
// the pixels start at the file header's offset when it lies past the colour table, else right
// after it; a colour table with fewer entries than the header declares (or than 256 when it
// declares none) is refused.
SplashReadResult parse_splash_bitmap(std::span<const std::uint8_t> file);

// Reads and parses the file at `path`, refusing files much larger than any acceptable bitmap
// without reading them.
SplashReadResult read_splash_bitmap(const std::filesystem::path& path);

// "splash.dib" in the folder of the program file `program`.
std::filesystem::path splash_path(const std::filesystem::path& program);

}  // namespace plandrel
