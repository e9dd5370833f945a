// libFuzzer harness for the splash bitmap reader. Besides crashes and sanitizer reports, it checks
// that an accepted bitmap lies within its limits and holds every pixel it claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "splash_bitmap.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const plandrel::SplashReadResult result = plandrel::parse_splash_bitmap(std::span<const std::uint8_t>(data, size));
  check(result.bitmap.has_value() == (result.refusal == plandrel::SplashRefusal::none));
  if (!result.bitmap) return 0;
  const plandrel::SplashBitmap& bitmap = *result.bitmap;
  check(bitmap.width > 0 && bitmap.width <= plandrel::kSplashMaxWidth);
  check(bitmap.height > 0 && bitmap.height <= plandrel::kSplashMaxHeight);
  check(bitmap.stride >= static_cast<std::uint32_t>(bitmap.width) && bitmap.stride % 4 == 0);
  check(bitmap.pixels.size() == static_cast<std::size_t>(bitmap.stride) * static_cast<std::size_t>(bitmap.height));
  volatile std::uint8_t corners = bitmap.index_at(0, 0) ^ bitmap.index_at(bitmap.width - 1, bitmap.height - 1);
  (void)corners;
  return 0;
}
