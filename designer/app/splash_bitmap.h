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

struct SplashBitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;          // always positive; top_down tells the row order
  bool top_down = false;            // the file's height was negative: first row at the top
  std::uint32_t stride = 0;         // bytes per row, a multiple of 4
  std::array<std::uint32_t, 256> palette{};  // 0xRRGGBB from each entry's bytes 2, 1 and 0
  std::vector<std::uint8_t> pixels;          // stride * height palette indexes, in file row order

  // Palette index of the pixel at column x of row y counted from the top.
  std::uint8_t index_at(std::int32_t x, std::int32_t y) const {
    const std::int32_t row = top_down ? y : height - 1 - y;
    return pixels[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(x)];
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
