// The crash report's own text formatting: printf's directives that the report uses, written into a
// caller's buffer without allocation, locale or lock, so that it runs inside an exception filter.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace plandrel {

// Formats `format` into out[0, size): %s %c %d %u %x %X and %%, each with the flags '-' (left
// justify) and '0' (zero padding), a width, and the length prefix "ll" for 64-bit values. A null
// %s prints "(null)". Writes at most size - 1 characters and a terminator (nothing when size is
// 0); returns the length of the whole text, so that a result >= size tells the text was cut.
std::size_t FormatText(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
std::size_t FormatTextV(char* out, std::size_t size, const char* format, va_list arguments);

}  // namespace plandrel
