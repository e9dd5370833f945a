// libFuzzer harness for the display format language: the format comes from a configuration file
// and the value text from the user. The input is a format, a NUL, then a text; the bytes after a
// second NUL (or the text itself) are the value to show. Besides crashes and sanitizer reports, it
// checks that the grammar and the formatter agree, that a parse never fills more than its output
// and that a value of number letters comes back from its own text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "model/display_format.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool OnlyNumberLetters(std::string_view format) {
  return std::none_of(format.begin(), format.end(),
                      [](char c) { return c == 's' || c == 'S' || c == 'f' || c == 'F' || c == 'w' || c == 'W' ||
                                          c == 'g' || c == 'G'; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view format = input.substr(0, split);
  const std::string_view rest = split == std::string_view::npos ? std::string_view{} : input.substr(split + 1);
  const std::size_t second = rest.find('\0');
  const std::string_view text = rest.substr(0, second);
  const std::string_view value_bytes = second == std::string_view::npos ? text : rest.substr(second + 1);
  const std::span<const std::uint8_t> value(reinterpret_cast<const std::uint8_t*>(value_bytes.data()),
                                            value_bytes.size());

  const bool valid = plandrel::IsValidDisplayFormat(format);
  const auto shown = plandrel::FormatValue(format, value);
  check(shown.has_value() == (valid && !format.empty()));

  for (const std::size_t capacity : {std::size_t{0}, std::size_t{3}, std::size_t{250}}) {
    std::vector<std::uint8_t> out(capacity + 8, 0xEE);
    const auto parsed = plandrel::ParseValue(format, text, std::span(out.data(), capacity));
    check(parsed.length <= capacity);
    check(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(capacity), out.end(),
                      [](std::uint8_t b) { return b == 0xEE; }));
  }

  if (shown && OnlyNumberLetters(format)) {
    std::vector<std::uint8_t> back(value.size(), 0);
    const auto parsed = plandrel::ParseValue(format, *shown, back);
    check(parsed.error == plandrel::ValueParseError::kNone);
    check(std::equal(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(parsed.length), value.begin()));
  }
  return 0;
}
