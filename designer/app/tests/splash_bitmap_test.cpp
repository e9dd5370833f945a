#include "splash_bitmap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/machine_root.h"

namespace plandrel {
namespace {

struct Dib {
  std::int32_t width = 4;
  std::int32_t height = 2;
  std::uint16_t bit_count = 8;
  std::uint32_t compression = 0;
  std::optional<std::uint32_t> image_size = std::nullopt;  // none: the rows' size
  std::uint32_t colours_used = 0;
  std::size_t table_entries = 256;           // entries written to the file
  std::optional<std::size_t> pixel_bytes = std::nullopt;    // none: the rows' size
  std::uint32_t info_size = 40;
  std::uint32_t pixel_offset = 0;            // 0: right after the table
  char signature = 'B';
};

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// A bitmap file whose pixel at column x of stored row r holds x + 16 * r, and whose colour entry
// i is (blue i, green 2i, red 3i).
std::vector<std::uint8_t> make_dib(const Dib& dib) {
  const std::int32_t rows = dib.height < 0 ? -dib.height : dib.height;
  const std::uint32_t stride = (static_cast<std::uint32_t>(dib.width > 0 ? dib.width : 0) + 3u) & ~3u;
  const std::size_t rows_size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows);
  const std::uint32_t offset =
      dib.pixel_offset ? dib.pixel_offset : static_cast<std::uint32_t>(14 + dib.info_size + dib.table_entries * 4);
  std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(dib.signature), 'M'};
  put32(out, 0);
  put32(out, 0);
  put32(out, offset);
  put32(out, dib.info_size);
  put32(out, static_cast<std::uint32_t>(dib.width));
  put32(out, static_cast<std::uint32_t>(dib.height));
  put16(out, 1);
  put16(out, dib.bit_count);
  put32(out, dib.compression);
  put32(out, dib.image_size.value_or(static_cast<std::uint32_t>(rows_size)));
  put32(out, 2835);
  put32(out, 2835);
  put32(out, dib.colours_used);
  put32(out, 0);
  out.resize(14 + dib.info_size, 0);
  for (std::size_t i = 0; i < dib.table_entries; ++i)
    for (std::uint8_t byte : {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(2 * i),
                              static_cast<std::uint8_t>(3 * i), std::uint8_t{0}})
      out.push_back(byte);
  out.resize(offset, 0);
  const std::size_t pixels = dib.pixel_bytes.value_or(rows_size);
  for (std::size_t i = 0; i < pixels; ++i)
    out.push_back(static_cast<std::uint8_t>(i % stride + 16 * (i / stride)));
  return out;
}

TEST(SplashBitmap, AcceptsAndRefusesByTheLimits) {
  struct Case {
    const char* what;
    Dib dib;
    SplashRefusal expected;
  };
  const Case cases[] = {
      {"4 x 2", {}, SplashRefusal::none},
      {"800 x 600", {.width = 800, .height = 600}, SplashRefusal::none},
      {"801 x 600", {.width = 801, .height = 600}, SplashRefusal::too_large},
      {"800 x 601", {.width = 800, .height = 601}, SplashRefusal::too_large},
      {"top-down 800 x 601", {.width = 800, .height = -601}, SplashRefusal::too_large},
      {"image size 0", {.width = 5, .height = 3, .image_size = 0}, SplashRefusal::none},
      {"top-down", {.height = -2}, SplashRefusal::none},
      {"24 bits", {.bit_count = 24}, SplashRefusal::unsupported},
      {"compressed", {.compression = 1}, SplashRefusal::unsupported},
      {"colour table cut short", {.table_entries = 100, .pixel_bytes = 0}, SplashRefusal::truncated},
      {"16 colours declared and present", {.colours_used = 16, .table_entries = 16}, SplashRefusal::none},
      {"16 colours declared, 3 present", {.colours_used = 16, .table_entries = 3, .pixel_bytes = 0},
       SplashRefusal::truncated},
      {"300 colours declared", {.colours_used = 300}, SplashRefusal::unsupported},
      {"pixels cut short", {.pixel_bytes = 7}, SplashRefusal::truncated},
      {"image size below the rows", {.image_size = 4}, SplashRefusal::short_image},
      {"core header", {.info_size = 12}, SplashRefusal::not_a_bitmap},
      {"no signature", {.signature = 'X'}, SplashRefusal::not_a_bitmap},
      {"width 0", {.width = 0}, SplashRefusal::bad_dimensions},
      {"negative width", {.width = -4}, SplashRefusal::bad_dimensions},
      {"height 0", {.height = 0}, SplashRefusal::bad_dimensions},
      {"larger header", {.info_size = 124}, SplashRefusal::none},
      {"gap before the pixels", {.pixel_offset = 1200}, SplashRefusal::none},
  };
  for (const Case& c : cases) {
    const SplashReadResult result = parse_splash_bitmap(make_dib(c.dib));
    EXPECT_EQ(result.refusal, c.expected) << c.what;
    EXPECT_EQ(result.bitmap.has_value(), c.expected == SplashRefusal::none) << c.what;
  }
}

TEST(SplashBitmap, RowsAndColoursComeOutTheRightWayUp) {
  for (const std::int32_t height : {3, -3}) {
    const SplashReadResult result = parse_splash_bitmap(make_dib({.width = 5, .height = height, .image_size = 0}));
    ASSERT_TRUE(result.bitmap);
    const SplashBitmap& bitmap = *result.bitmap;
    EXPECT_EQ(bitmap.height, 3);
    EXPECT_EQ(bitmap.stride, 8u);
    EXPECT_EQ(bitmap.pixels.size(), 24u);
    // Stored row 0 is the bottom row of a bottom-up file and the top row of a top-down one.
    EXPECT_EQ(bitmap.index_at(4, 0), height < 0 ? 4 : 4 + 32) << height;
    EXPECT_EQ(bitmap.index_at(1, 2), height < 0 ? 1 + 32 : 1) << height;
    EXPECT_EQ(bitmap.colour(10), 0x1E140Au);
    EXPECT_EQ(bitmap.info[8], 3);  // the height drawn is positive
    EXPECT_EQ(bitmap.info[20], 24);
  }
}

TEST(SplashBitmap, ReadsFromTheProgramsFolderAndSkipsDamagedFiles) {
  EXPECT_EQ(splash_path("/opt/quorelle/bin/Plandrel"), std::filesystem::path("/opt/quorelle/bin/splash.dib"));

  const auto folder = qbase::machineRoot() / "splash_bitmap_test";  // each test process has its own root
  std::filesystem::create_directories(folder);
  const auto path = folder / "splash.dib";
  EXPECT_EQ(read_splash_bitmap(path).refusal, SplashRefusal::cannot_open);

  const auto write = [&](const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  write(make_dib({.width = 20, .height = 10}));
  EXPECT_EQ(read_splash_bitmap(path).refusal, SplashRefusal::none);
  write(make_dib({.width = 20, .height = 10, .pixel_bytes = 100}));
  EXPECT_EQ(read_splash_bitmap(path).refusal, SplashRefusal::truncated);
  write(std::vector<std::uint8_t>(5u << 20, 0x42));
  EXPECT_EQ(read_splash_bitmap(path).refusal, SplashRefusal::too_large);
  write({});
  EXPECT_EQ(read_splash_bitmap(path).refusal, SplashRefusal::truncated);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace plandrel
