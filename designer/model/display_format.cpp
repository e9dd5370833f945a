#include "display_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
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

// The integer at the front of `token`, read as the C library's strtoll (signed) or strtoull
// (unsigned) reads it: an optional sign, then in base 0 a "0x" prefix for hexadecimal or a leading
// 0 for octal, else decimal; in base 16 an optional "0x". Digits are taken as far as they belong
// to the base and the rest of the token is left; no digit reads 0. Beyond 64 bits a signed read
// stops at the nearest limit, an unsigned one at 2^64 - 1 before its sign applies.
std::uint64_t LeadingInteger(std::string_view token, unsigned base, bool is_signed) {
  std::size_t at = 0;
  bool negative = false;
  if (at < token.size() && (token[at] == '+' || token[at] == '-')) negative = token[at++] == '-';
  const auto digit = [&](std::size_t i) {
    return i < token.size() ? kDigitValues[static_cast<unsigned char>(token[i])] : 99u;
  };
  const bool hex_prefix = at + 1 < token.size() && token[at] == '0' && (token[at + 1] == 'x' || token[at + 1] == 'X') &&
                          digit(at + 2) < 16;
  if ((base == 0 || base == 16) && hex_prefix) {
    base = 16;
    at += 2;
  } else if (base == 0) {
    base = digit(at) == 0 ? 8 : 10;
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; digit(at) < base; ++at) {
    const unsigned d = digit(at);
    if (magnitude > (kMax - d) / base) overflow = true;
    magnitude = overflow ? kMax : magnitude * base + d;
  }
  if (!is_signed) return negative ? 0 - magnitude : magnitude;
  constexpr std::uint64_t kSignedMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (negative) return magnitude > kSignedMax ? kSignedMax + 1 : 0 - magnitude;
  return std::min(magnitude, kSignedMax);
}

// The decimal floating-point number at the front of `token`, as strtof reads it: an optional
// sign, digits with a point and an exponent; beyond the single-precision range the infinity of
// its sign, below it zero; no number reads 0.
float LeadingFloat(std::string_view token) {
  bool negative = false;
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
    negative = token[0] == '-';
    token.remove_prefix(1);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value, std::chars_format::general);
  if (error == std::errc::invalid_argument) {
    value = 0;
  } else if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: the exponent's sign tells which.
    const std::string_view number(token.data(), static_cast<std::size_t>(end - token.data()));
    const std::size_t e = number.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  if (std::abs(value) > std::numeric_limits<float>::max()) value = std::numeric_limits<double>::infinity();
  const float single = static_cast<float>(value);
  return negative ? -single : single;
}

// The element value of the text at the front of `token` by the letter's entry rule, as the
// element's low bytes: c i z l t take decimal, 0x hexadecimal or 0 octal; h hexadecimal; u
// unsigned decimal; f w g decimal floating point.
std::uint32_t ReadElementText(char letter, std::string_view token) {
  switch (letter) {
    case 'h': return static_cast<std::uint32_t>(LeadingInteger(token, 16, false));
    case 'u': return static_cast<std::uint32_t>(LeadingInteger(token, 10, false));
    case 'f': case 'w': case 'g': return std::bit_cast<std::uint32_t>(LeadingFloat(token));
    default: return static_cast<std::uint32_t>(LeadingInteger(token, 0, true));
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
  std::size_t at = 0;
  const auto skip_spaces = [&] {
    while (at < text.size() && IsSpace(text[at])) ++at;
  };
  // Spaces before the first number are passed once, so that it is not read twice.
  skip_spaces();
  std::size_t consumed = 0;
  for (const FormatItem& item : *items) {
    const std::size_t size = BytesPerElement(item.letter);
    const bool msb_first = MostSignificantFirst(item.letter);
    for (std::uint32_t e = 0; e < item.count; ++e) {
      // The elements stop where the next one would not fit; the text left is not taken.
      if (size > out.size() - consumed) return {ValueParseError::kNone, consumed};
      std::uint32_t v = 0;
      if (item.letter == 's') {
        if (at < text.size()) {
          if (text[at] == '.') {
            at = text.size();  // the point ends the text: it and all further elements are zero
          } else {
            v = static_cast<std::uint8_t>(text[at++]);
          }
        }
      } else if (at < text.size()) {
        // The number at the front of the text; whatever follows it up to the next space is passed
        // over, then the spaces.
        std::size_t end = at;
        while (end < text.size() && !IsSpace(text[end])) ++end;
        v = ReadElementText(item.letter, text.substr(at, end - at));
        at = end;
        skip_spaces();
      }
      WriteElement(out.data() + consumed, size, msb_first, v);
      consumed += size;
    }
    if (item.letter == 's') skip_spaces();
  }
  return {ValueParseError::kNone, consumed};
}

}  // namespace plandrel
