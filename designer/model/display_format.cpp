#include "display_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

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

namespace {

// Byte order of a letter's elements.
bool MostSignificantFirst(char letter) { return letter != 'z' && letter != 't' && letter != 'w'; }

std::uint32_t ReadElement(const std::uint8_t* p, std::size_t bytes, bool msb_first) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < bytes; ++k) v = (v << 8) | p[msb_first ? k : bytes - 1 - k];
  return v;
}

void WriteElement(std::uint8_t* p, std::size_t bytes, bool msb_first, std::uint32_t v) {
  for (std::size_t k = 0; k < bytes; ++k) {
    p[msb_first ? bytes - 1 - k : k] = static_cast<std::uint8_t>(v);
    v >>= 8;
  }
}

// Longest text of one element of a letter: "-2147483648" for l and t, the 39 digits of the largest
// single-precision value with sign, point and six decimals for f and w, "-1.17549e-38" for g.
std::size_t MaxElementText(char letter) {
  switch (letter) {
    case 'c': return 3;
    case 'h': return 2;
    case 's': return 1;
    case 'i': case 'z': return 6;
    case 'u': return 5;
    case 'l': case 't': return 11;
    case 'f': case 'w': return 47;
    default: return 12;
  }
}

// The element writers put the text in [out, end), which has room for MaxElementText, and return
// the end of the text.
template <typename T>
char* PutDecimal(char* out, char* end, T v) {
  return std::to_chars(out, end, v).ptr;
}

char* PutHex(char* out, std::uint8_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (v >= 16) *out++ = kDigits[v >> 4];
  *out++ = kDigits[v & 15];
  return out;
}

// Six decimals (as printf's %f of the value), then the decimals' trailing zeros and a bare point dropped.
char* PutFixed(char* out, char* limit, float v) {
  char* end = std::to_chars(out, limit, static_cast<double>(v), std::chars_format::fixed, 6).ptr;
  if (std::find(out, end, '.') != end) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  return end;
}

// printf's %g of the value.
char* PutGeneral(char* out, char* end, float v) {
  return std::to_chars(out, end, static_cast<double>(v), std::chars_format::general, 6).ptr;
}

// s puts nothing for a zero byte.
char* PutElement(char* out, char* end, char letter, std::uint32_t v) {
  switch (letter) {
    case 'c': return PutDecimal(out, end, v);
    case 'h': return PutHex(out, static_cast<std::uint8_t>(v));
    case 's': if (v != 0) *out++ = static_cast<char>(v); return out;
    case 'i': case 'z': return PutDecimal(out, end, static_cast<std::int16_t>(v));
    case 'u': return PutDecimal(out, end, v);
    case 'l': case 't': return PutDecimal(out, end, static_cast<std::int32_t>(v));
    case 'f': case 'w': return PutFixed(out, end, std::bit_cast<float>(v));
    case 'g': return PutGeneral(out, end, std::bit_cast<float>(v));
    default: return out;
  }
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Value of a digit character in any base up to 16; 99 for any other character.
constexpr std::array<std::uint8_t, 256> kDigitValues = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(99);
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
  return table;
}();

// Unsigned number of `digits` in `base`, the whole text; none for an empty text, a digit outside
// the base, or a value above `limit`.
std::optional<std::uint64_t> ReadDigits(std::string_view digits, unsigned base, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : digits) {
    const unsigned d = kDigitValues[static_cast<unsigned char>(c)];
    if (d >= base) return std::nullopt;
    v = v * base + d;
    if (v > limit) return std::nullopt;
  }
  return v;
}

bool HasHexPrefix(std::string_view t) { return t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'); }

// The element value of a whole token by the letter's entry rule, as the element's low bytes.
std::optional<std::uint32_t> ReadToken(char letter, std::size_t bytes, std::string_view token) {
  const std::uint64_t unsigned_max = (std::uint64_t{1} << (8 * bytes)) - 1;
  switch (letter) {
    case 'h': {
      if (HasHexPrefix(token)) token.remove_prefix(2);
      const auto v = ReadDigits(token, 16, unsigned_max);
      if (!v) return std::nullopt;
      return static_cast<std::uint32_t>(*v);
    }
    case 'u': {
      if (!token.empty() && token[0] == '+') token.remove_prefix(1);
      const auto v = ReadDigits(token, 10, unsigned_max);
      if (!v) return std::nullopt;
      return static_cast<std::uint32_t>(*v);
    }
    case 'f': case 'w': case 'g': {
      if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
      float v = 0;
      const auto r = std::from_chars(token.data(), token.data() + token.size(), v, std::chars_format::general);
      if (r.ec != std::errc() || r.ptr != token.data() + token.size()) return std::nullopt;
      return std::bit_cast<std::uint32_t>(v);
    }
    default: {  // c i z l t: decimal, 0x hexadecimal or 0 octal, signed
      bool negative = false;
      if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
        negative = token[0] == '-';
        token.remove_prefix(1);
      }
      unsigned base = 10;
      if (HasHexPrefix(token)) {
        base = 16;
        token.remove_prefix(2);
      } else if (token.size() > 1 && token[0] == '0') {
        base = 8;
        token.remove_prefix(1);
      }
      // Negative values down to the signed minimum, positive ones up to the unsigned maximum.
      const std::uint64_t limit = negative ? (unsigned_max + 1) / 2 : unsigned_max;
      const auto v = ReadDigits(token, base, limit);
      if (!v) return std::nullopt;
      const std::uint64_t bits = negative ? (0 - *v) : *v;
      return static_cast<std::uint32_t>(bits & unsigned_max);
    }
  }
}

}  // namespace

std::optional<std::string> FormatValue(std::string_view format, std::span<const std::uint8_t> bytes) {
  const auto items = ParseDisplayFormat(format);
  if (!items || items->empty()) return std::nullopt;
  // Room for the longest text of every element that the bytes fill, each with its space.
  std::size_t room = 0;
  for (std::size_t item = 0, left = bytes.size(); item < items->size() && left > 0; ++item) {
    const FormatItem& it = (*items)[item];
    const std::size_t elements = std::min<std::size_t>(it.count, left / BytesPerElement(it.letter));
    room += elements * (MaxElementText(it.letter) + 1);
    left -= elements * BytesPerElement(it.letter);
    if (elements < it.count) break;
  }
  std::string text(room, '\0');
  char* const start = text.data();
  char* const end = start + room;
  char* out = start;
  std::size_t consumed = 0;
  bool filled = true;  // false from the first element that the bytes cannot fill
  for (std::size_t item = 0; item < items->size() && filled; ++item) {
    const char letter = (*items)[item].letter;
    const std::size_t size = BytesPerElement(letter);
    const bool msb_first = MostSignificantFirst(letter);
    bool joined = false;  // an earlier character of this s item is in the text
    for (std::uint32_t e = 0; e < (*items)[item].count; ++e) {
      if (size > bytes.size() - consumed) {
        filled = false;
        break;
      }
      const std::uint32_t v = ReadElement(bytes.data() + consumed, size, msb_first);
      consumed += size;
      if (letter == 's' && v == 0) continue;
      if (out != start && !joined) *out++ = ' ';
      out = PutElement(out, end, letter, v);
      joined = letter == 's';
    }
  }
  text.resize(static_cast<std::size_t>(out - start));
  return text;
}

ValueParse ParseValue(std::string_view format, std::string_view text, std::span<std::uint8_t> out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  const auto items = ParseDisplayFormat(format);
  if (!items || items->empty()) return {ValueParseError::kInvalidFormat, 0};
  const auto refuse = [&] {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    return ValueParse{ValueParseError::kInvalidValue, 0};
  };
  std::size_t at = 0;
  const auto skip_spaces = [&] {
    while (at < text.size() && IsSpace(text[at])) ++at;
  };
  std::size_t consumed = 0;
  bool full = false;
  for (const FormatItem& item : *items) {
    const std::size_t size = BytesPerElement(item.letter);
    const bool msb_first = MostSignificantFirst(item.letter);
    for (std::uint32_t e = 0; e < item.count && !full; ++e) {
      if (size > out.size() - consumed) {
        full = true;
        break;
      }
      std::uint32_t v = 0;
      if (item.letter == 's') {
        if (at < text.size()) {
          if (text[at] == '.') {
            at = text.size();  // the point ends the text: it and all further elements are zero
          } else {
            v = static_cast<std::uint8_t>(text[at++]);
          }
        }
      } else {
        skip_spaces();
        if (at < text.size()) {
          std::size_t end = at;
          while (end < text.size() && !IsSpace(text[end])) ++end;
          const auto read = ReadToken(item.letter, size, text.substr(at, end - at));
          if (!read) return refuse();
          v = *read;
          at = end;
          skip_spaces();
        }
      }
      WriteElement(out.data() + consumed, size, msb_first, v);
      consumed += size;
    }
    if (full) break;
    if (item.letter == 's') skip_spaces();
  }
  skip_spaces();
  if (at < text.size()) return refuse();
  return {ValueParseError::kNone, consumed};
}

}  // namespace plandrel
