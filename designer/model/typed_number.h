// Numbers typed into the editors' fields, read strictly: an optional minus sign, then one or more
// digits of the field's base (10, or 16 in either letter case) and nothing else. So "nan", "inf",
// "1e5", "0x1F", " 12" and an empty text are not numbers, and a value too large for any field
// saturates instead of wrapping: the caller compares it with its bounds.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plandrel {

// The value of `text` in `base` (10 or 16), held to +-(2^53); none when the text is not a number.
std::optional<std::int64_t> ReadTypedNumber(std::string_view text, int base);

}  // namespace plandrel
