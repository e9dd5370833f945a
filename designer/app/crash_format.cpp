#include "crash_format.h"

#include <cstdint>

namespace plandrel {
namespace {

class Sink {
 public:
  Sink(char* out, std::size_t size) : out_(out), size_(size) {}
  void put(char c) {
    if (out_ != nullptr && length_ + 1 < size_) out_[length_] = c;
    ++length_;
  }
  void pad(char c, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) put(c);
  }
  std::size_t finish() {
    if (out_ != nullptr && size_ > 0) out_[length_ < size_ ? length_ : size_ - 1] = '\0';
    return length_;
  }

 private:
  char* out_;
  std::size_t size_;
  std::size_t length_ = 0;
};

struct Conversion {
  bool left = false;
  bool zero = false;
  std::size_t width = 0;
};

void field(Sink& sink, const Conversion& conversion, const char* text, std::size_t length, bool numeric) {
  const std::size_t padding = conversion.width > length ? conversion.width - length : 0;
  if (!conversion.left) {
    // Zeros go after a sign.
    if (conversion.zero && numeric && length > 0 && text[0] == '-') {
      sink.put('-');
      ++text;
      --length;
      sink.pad('0', padding);
    } else {
      sink.pad(conversion.zero && numeric ? '0' : ' ', padding);
    }
  }
  for (std::size_t i = 0; i < length; ++i) sink.put(text[i]);
  if (conversion.left) sink.pad(' ', padding);
}

// Digits of `value` in `base`, most significant first, into the end of `digits`; returns the start.
char* digitsOf(std::uint64_t value, unsigned base, bool upper, char* end) {
  const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char* p = end;
  do {
    *--p = symbols[value % base];
    value /= base;
  } while (value != 0);
  return p;
}

}  // namespace

std::size_t FormatTextV(char* out, std::size_t size, const char* format, va_list arguments) {
  Sink sink(out, size);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      sink.put(*p);
      continue;
    }
    ++p;
    Conversion conversion;
    for (;; ++p) {
      if (*p == '-') conversion.left = true;
      else if (*p == '0') conversion.zero = true;
      else break;
    }
    for (; *p >= '0' && *p <= '9'; ++p) conversion.width = conversion.width * 10 + static_cast<std::size_t>(*p - '0');
    int longs = 0;
    for (; *p == 'l'; ++p) ++longs;
    char digits[24];
    char* const end = digits + sizeof digits;
    switch (*p) {
      case 's': {
        const char* text = va_arg(arguments, const char*);
        if (text == nullptr) text = "(null)";
        std::size_t length = 0;
        while (text[length] != '\0') ++length;
        field(sink, conversion, text, length, false);
        break;
      }
      case 'c': {
        const char c = static_cast<char>(va_arg(arguments, int));
        field(sink, conversion, &c, 1, false);
        break;
      }
      case 'd': {
        const std::int64_t value = longs >= 2 ? va_arg(arguments, long long)
                                   : longs == 1 ? va_arg(arguments, long)
                                                : va_arg(arguments, int);
        const std::uint64_t magnitude =
            value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
        char* start = digitsOf(magnitude, 10, false, end);
        if (value < 0) *--start = '-';
        field(sink, conversion, start, static_cast<std::size_t>(end - start), true);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        const std::uint64_t value = longs >= 2 ? va_arg(arguments, unsigned long long)
                                    : longs == 1 ? va_arg(arguments, unsigned long)
                                                 : va_arg(arguments, unsigned int);
        const char* start = digitsOf(value, *p == 'u' ? 10 : 16, *p == 'X', end);
        field(sink, conversion, start, static_cast<std::size_t>(end - start), true);
        break;
      }
      case '%':
        sink.put('%');
        break;
      case '\0':
        --p;  // a lone '%' at the end
        break;
      default:
        // An unknown directive is written as it stands.
        sink.put('%');
        sink.put(*p);
        break;
    }
  }
  return sink.finish();
}

std::size_t FormatText(char* out, std::size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::size_t length = FormatTextV(out, size, format, arguments);
  va_end(arguments);
  return length;
}

}  // namespace plandrel
