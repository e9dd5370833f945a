#include "model/typed_value.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace plandrel {

namespace {

constexpr std::int64_t kSaturation = std::int64_t{1} << 40;

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Takes a leading sign off `text`; true when it was '-'.
bool TakeSign(std::string_view& text) {
  if (text.empty() || (text.front() != '+' && text.front() != '-')) return false;
  const bool negative = text.front() == '-';
  text.remove_prefix(1);
  return negative;
}

std::optional<std::int64_t> ReadInteger(std::string_view text, int base) {
  text = Trim(text);
  const bool negative = TakeSign(text);
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value >= kSaturation ? kSaturation : value * base + digit;
  }
  if (value > kSaturation) value = kSaturation;
  return negative ? -value : value;
}

}  // namespace

std::optional<double> ReadTypedReal(std::string_view text) {
  text = Trim(text);
  // from_chars takes no '+' and reads "inf" and "nan": both are handled here.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

float StoredSingle(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

std::optional<std::int64_t> ReadTypedHex(std::string_view text) { return ReadInteger(text, 16); }

std::optional<std::int64_t> ReadTypedDecimal(std::string_view text) { return ReadInteger(text, 10); }

}  // namespace plandrel
