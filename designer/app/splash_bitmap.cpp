#include "splash_bitmap.h"

#include <algorithm>
#include <limits>

#include "records/atomic_file.h"

namespace plandrel {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kPaletteEntries = 256;
// Headers, a full colour table and 800 x 600 pixels, with room for a gap before the pixels.
constexpr std::size_t kLargestFile = 4u << 20;

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
std::uint16_t u16_at(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

void put_u32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

SplashReadResult refuse(SplashRefusal refusal) { return {std::nullopt, refusal}; }

}  // namespace

SplashReadResult parse_splash_bitmap(std::span<const std::uint8_t> file) {
  if (file.size() < kFileHeaderSize + kInfoHeaderSize) return refuse(SplashRefusal::truncated);
  if (file[0] != 'B' || file[1] != 'M') return refuse(SplashRefusal::not_a_bitmap);
  const std::uint32_t pixel_offset = u32_at(file, 10);
  const std::span<const std::uint8_t> info = file.subspan(kFileHeaderSize);
  const std::uint32_t info_size = u32_at(info, 0);
  if (info_size < kInfoHeaderSize) return refuse(SplashRefusal::not_a_bitmap);
  const auto width = static_cast<std::int32_t>(u32_at(info, 4));
  const auto raw_height = static_cast<std::int32_t>(u32_at(info, 8));
  const std::uint16_t bit_count = u16_at(info, 14);
  const std::uint32_t compression = u32_at(info, 16);
  const std::uint32_t image_size = u32_at(info, 20);
  const std::uint32_t colours_used = u32_at(info, 32);

  if (width <= 0 || raw_height == 0 || raw_height == std::numeric_limits<std::int32_t>::min())
    return refuse(SplashRefusal::bad_dimensions);
  const std::int32_t height = raw_height < 0 ? -raw_height : raw_height;
  if (width > kSplashMaxWidth || height > kSplashMaxHeight) return refuse(SplashRefusal::too_large);
  if (bit_count != 8 || compression != 0) return refuse(SplashRefusal::unsupported);

  const std::size_t colours = colours_used == 0 ? kPaletteEntries : colours_used;
  if (colours > kPaletteEntries) return refuse(SplashRefusal::unsupported);
  const std::size_t table_at = kFileHeaderSize + info_size;
  const std::size_t table_end = table_at + colours * 4;
  if (info_size > file.size() || table_end > file.size()) return refuse(SplashRefusal::truncated);

  SplashBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = (static_cast<std::uint32_t>(width) + 3u) & ~3u;

  // The rows need stride * height bytes; a field of 0 means exactly that, a smaller nonzero field
  // would leave the drawing reading past the pixels.
  const std::size_t needed = static_cast<std::size_t>(bitmap.stride) * static_cast<std::size_t>(height);
  if (image_size != 0 && image_size < needed) return refuse(SplashRefusal::short_image);
  const std::size_t pixels_at = pixel_offset >= table_end ? pixel_offset : table_end;
  if (pixels_at > file.size() || file.size() - pixels_at < needed) return refuse(SplashRefusal::truncated);
  put_u32(bitmap.info, 0, kInfoHeaderSize);
  put_u32(bitmap.info, 4, static_cast<std::uint32_t>(width));
  put_u32(bitmap.info, 8, static_cast<std::uint32_t>(height));
  bitmap.info[12] = 1;  // planes
  bitmap.info[14] = 8;  // bits per pixel
  put_u32(bitmap.info, 20, static_cast<std::uint32_t>(needed));
  std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(table_at), colours * 4, bitmap.info.begin() + kInfoHeaderSize);

  const auto first = file.begin() + static_cast<std::ptrdiff_t>(pixels_at);
  if (raw_height > 0) {
    bitmap.pixels.assign(first, first + static_cast<std::ptrdiff_t>(needed));
  } else {
    // A top-down file: its first row is the top one, drawn last.
    bitmap.pixels.resize(needed);
    for (std::int32_t row = 0; row < height; ++row)
      std::copy_n(first + static_cast<std::ptrdiff_t>(row) * bitmap.stride, bitmap.stride,
                  bitmap.pixels.begin() + static_cast<std::ptrdiff_t>(height - 1 - row) * bitmap.stride);
  }
  return {std::move(bitmap), SplashRefusal::none};
}

SplashReadResult read_splash_bitmap(const std::filesystem::path& path) {
  std::vector<std::uint8_t> bytes;
  switch (records::read_whole_file(path, kLargestFile, bytes)) {
    case records::FileRead::ok: return parse_splash_bitmap(bytes);
    case records::FileRead::too_large: return refuse(SplashRefusal::too_large);
    case records::FileRead::cannot_open: break;
  }
  return refuse(SplashRefusal::cannot_open);
}

std::filesystem::path splash_path(const std::filesystem::path& program) {
  return program.parent_path() / "splash.dib";
}

}  // namespace plandrel
