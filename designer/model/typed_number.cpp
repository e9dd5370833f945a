#include "model/typed_number.h"

namespace plandrel {

namespace {

constexpr std::int64_t kSaturation = std::int64_t{1} << 53;

int DigitValue(char c, int base) {
  int value = base;
  if (c >= '0' && c <= '9') value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

std::optional<std::int64_t> ReadTypedNumber(std::string_view text, int base) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;
    value = value >= kSaturation ? kSaturation : value * base + digit;
  }
  if (value > kSaturation) value = kSaturation;
  return negative ? -value : value;
}

}  // namespace plandrel
