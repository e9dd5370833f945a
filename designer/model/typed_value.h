// Strict readers of the numbers a user types into the designer's dialogs. A text is read whole:
// blanks around it are allowed, anything else left over makes it unreadable, and so do "nan",
// "inf" and texts that no finite number stands for. Integers saturate instead of wrapping, so a
// caller that tests a bound sees every overflowing text beyond that bound.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plandrel {

// A decimal real ("12.5", "-3", "1e3"); none when the text is not a finite number.
std::optional<double> ReadTypedReal(std::string_view text);

// A hexadecimal integer with an optional sign and "0x" prefix ("1A2B", "-5", "0xff"); none when the
// text holds anything else. Values beyond ±2^40 come back as ±2^40.
std::optional<std::int64_t> ReadTypedHex(std::string_view text);

// A decimal integer with an optional sign; saturates as ReadTypedHex.
std::optional<std::int64_t> ReadTypedDecimal(std::string_view text);

// A real stored in single precision: beyond the float range it is the signed infinity (a plain
// conversion of such a value is undefined).
float StoredSingle(double value);

}  // namespace plandrel
