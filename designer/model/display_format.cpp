#include "display_format.h"

#include <limits>

namespace plandrel {

namespace {

char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SaturatingAdd(std::size_t a, std::size_t b) {
  return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max() : a + b;
}

std::size_t SaturatingMultiply(std::size_t a, std::size_t b) {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return std::numeric_limits<std::size_t>::max();
  return a * b;
}

}  // namespace

std::size_t BytesPerElement(char letter) {
  switch (ToLower(letter)) {
    case 'c': case 'h': case 's': return 1;
    case 'i': case 'u': case 'z': return 2;
    case 'f': case 'g': case 'l': case 't': case 'w': return 4;
    default: return 0;
  }
}

std::optional<std::vector<FormatItem>> ParseDisplayFormat(std::string_view format) {
  std::vector<FormatItem> items;
  std::size_t at = 0;
  while (at < format.size()) {
    if (format[at] != '%') return std::nullopt;  // a character outside an item
    ++at;
    bool has_count = false;
    std::uint64_t count = 0;
    if (at < format.size() && format[at] == '0') return std::nullopt;
    while (at < format.size() && IsDigit(format[at])) {
      has_count = true;
      count = count * 10 + static_cast<std::uint64_t>(format[at] - '0');
      if (count > kMaxItemCount) count = kMaxItemCount;
      ++at;
    }
    if (at == format.size()) return std::nullopt;  // unfinished at the end
    const char letter = ToLower(format[at]);
    if (BytesPerElement(letter) == 0) return std::nullopt;  // "%" again, or no letter
    if (letter == 's' && !has_count) return std::nullopt;
    ++at;
    items.push_back({letter, has_count ? static_cast<std::uint32_t>(count) : 1u});
  }
  return items;
}

bool IsValidDisplayFormat(std::string_view format) { return ParseDisplayFormat(format).has_value(); }

std::size_t FormatByteTotal(std::span<const FormatItem> items) {
  std::size_t total = 0;
  for (const FormatItem& item : items) {
    total = SaturatingAdd(total, SaturatingMultiply(item.count, BytesPerElement(item.letter)));
  }
  return total;
}

std::optional<std::size_t> DisplayFormatByteTotal(std::string_view format) {
  const auto items = ParseDisplayFormat(format);
  if (!items) return std::nullopt;
  return FormatByteTotal(*items);
}

}  // namespace plandrel
