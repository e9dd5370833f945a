// DisplayFormat: the small language in which a variable's or a message's bytes are shown and typed.
//
// A format is a sequence of items "%[count]letter"; the count is a decimal number whose first digit
// is 1 to 9 (absent means 1) and letters compare without case. Each item takes count consecutive
// elements of the value, starting where the previous item stopped:
//
//   c h s  1 byte per element        (s needs an explicit count)
//   i u    2 bytes, first byte most significant      z  2 bytes, first byte least significant
//   l f g  4 bytes, first byte most significant      t w  4 bytes, first byte least significant
//
// The grammar (ParseDisplayFormat and friends) serves the editors' checks; FormatValue and ParseValue
// turn bytes into text and back for the on-line objects. Plain functions: no engine, no widget, no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plandrel {

// The display format of a new record, and the longest format text a record holds (33 bytes with NUL).
inline constexpr std::string_view kDefaultDisplayFormat = "%h";
inline constexpr std::size_t kDisplayFormatCapacity = 32;

// One item of a format: `count` elements of `letter` (always lower case). The count saturates at
// kMaxItemCount, far beyond any value's length, so that a long run of digits cannot overflow.
struct FormatItem {
  char letter = 'h';
  std::uint32_t count = 1;

  friend bool operator==(const FormatItem&, const FormatItem&) = default;
};
inline constexpr std::uint32_t kMaxItemCount = 0xFFFFFFFFu;

// Bytes of one element of a (lower- or upper-case) letter; 0 for a character that is no letter.
std::size_t BytesPerElement(char letter);

// The items of a format, or none when the format breaks the grammar: any character outside an item,
// a "%" inside an unfinished item, a count starting with "0", an s item without a count, an
// unfinished item at the end. The empty format is valid and has no items.
std::optional<std::vector<FormatItem>> ParseDisplayFormat(std::string_view format);

// True when ParseDisplayFormat accepts the format.
bool IsValidDisplayFormat(std::string_view format);

// Bytes that the items need in all (count x bytes per element, summed), saturating at SIZE_MAX.
std::size_t FormatByteTotal(std::span<const FormatItem> items);

// The byte total of a format, or none when it is invalid.
std::optional<std::size_t> DisplayFormatByteTotal(std::string_view format);

// Text of `bytes` by `format`: each element's text (c unsigned decimal, h upper-case hexadecimal,
// s the character itself and nothing for a zero byte, i z l t signed decimal, u unsigned decimal,
// f w six decimals without trailing zeros, g the shortest general notation), separated by one
// space, except that the characters of one s item are joined. The first element that the bytes
// cannot fill ends the text. None when the format is invalid or empty.
std::optional<std::string> FormatValue(std::string_view format, std::span<const std::uint8_t> bytes);

enum class ValueParseError {
  kNone,
  kInvalidFormat,  // the format is invalid or empty
};

struct ValueParse {
  ValueParseError error = ValueParseError::kNone;
  std::size_t length = 0;  // bytes filled from the start of the output
};

// Fills `out` from its start with the elements of `text` by `format`, after zeroing it. Each
// element reads the number at the front of the text by its letter's entry rule and keeps the
// element's low bytes: c i z l t decimal, 0x hexadecimal or 0 octal, with a sign; h hexadecimal
// (0x optional); u unsigned decimal; f w g decimal floating point; the rest of the text up to the
// next space is passed over ("12abc 5" gives 12 and 5). s takes one character per element, and a
// "." ends the text. A text that is used up gives zero elements. The elements stop where the next
// one would not fit in `out`, and the text left is not taken. Only an invalid format is refused.
ValueParse ParseValue(std::string_view format, std::string_view text, std::span<std::uint8_t> out);

}  // namespace plandrel
