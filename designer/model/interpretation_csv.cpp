#include "model/interpretation_csv.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <type_traits>

namespace plandrel {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view SkipSpaces(std::string_view field) {
  while (!field.empty() && IsSpace(field.front())) field.remove_prefix(1);
  return field;
}

// Leading decimal digits with an optional sign, held to the 32-bit range; 0 without digits.
std::int32_t ReadInteger(std::string_view field) {
  field = SkipSpaces(field);
  bool negative = false;
  if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
    negative = field.front() == '-';
    field.remove_prefix(1);
  }
  std::int64_t value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') break;
    value = std::min<std::int64_t>(value * 10 + (c - '0'), std::int64_t{1} << 32);
  }
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// Leading hexadecimal digits, after an optional "0x"; kNoIdentifier without any (a sign included).
std::int32_t ReadIdentifier(std::string_view field) {
  field = SkipSpaces(field);
  if (field.size() > 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) field.remove_prefix(2);
  std::int64_t value = 0;
  bool digits = false;
  for (const char c : field) {
    int digit = 0;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else break;
    digits = true;
    value = std::min<std::int64_t>(value * 16 + digit, std::numeric_limits<std::int32_t>::max());
  }
  return digits ? static_cast<std::int32_t>(value) : kNoIdentifier;
}

// The leading decimal real of the field ("C" notation), 0 without one.
// A decimal real at the front of the field; 0 without one. Out of range, it reads as the C
// library reads it: an infinity with its sign, or 0 (or the nearest denormal) below the range.
double ReadReal(std::string_view field) {
  field = SkipSpaces(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error == std::errc()) return value;
  if (error != std::errc::result_out_of_range) return 0.0;
  // The number's own text, read in the "C" locale whatever the program's locale.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  const std::string number(field.data(), end);
  return strtod_l(number.c_str(), nullptr, c_locale);
}

std::string WithoutLineBreaks(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (const char c : field)
    if (c != '\r' && c != '\n') out.push_back(c);
  return out;
}

// The bytes [first, first + count) of a numeric or enumerated field, or none when it does not lie
// within the value: count is (bit length + 7) / 8, at most 4.
struct FieldBytes {
  std::size_t first;
  std::size_t count;
};
std::optional<FieldBytes> BitField(std::int32_t bit_offset, std::int32_t bit_length, std::size_t value_size) {
  if (bit_offset < 0 || bit_length <= 0) return std::nullopt;
  const std::int64_t count = (std::int64_t{bit_length} + 7) / 8;
  if (count > 4) return std::nullopt;
  const std::int64_t first = bit_offset / 8;
  if (first + count > static_cast<std::int64_t>(value_size)) return std::nullopt;
  return FieldBytes{static_cast<std::size_t>(first), static_cast<std::size_t>(count)};
}

// The field's bytes as an unsigned number in the byte order; 0 for an unknown order.
std::uint32_t RawValue(const std::uint8_t* bytes, std::size_t count, std::string_view byte_order) {
  std::uint32_t raw = 0;
  if (byte_order == "LSB") {
    for (std::size_t i = count; i-- > 0;) raw = raw << 8 | bytes[i];
  } else if (byte_order == "MSB") {
    for (std::size_t i = 0; i < count; ++i) raw = raw << 8 | bytes[i];
  }
  return raw;
}

// The length of a valid UTF-8 sequence at `text[at]`, 0 when the bytes there are none.
std::size_t Utf8Sequence(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
  else return 0;
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond U+10FFFF are not valid.
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Sequence(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace

std::int32_t CONVERTED_VAR::Identifier() const {
  return std::visit(
      [](const auto& c) -> std::int32_t {
        if constexpr (std::is_same_v<std::decay_t<decltype(c)>, std::monostate>) return kNoIdentifier;
        else return c.identifier;
      },
      conversion);
}

InterpretationFile ParseInterpretationCsv(std::string_view text) {
  InterpretationFile file;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  const std::size_t separator = text.find(';');
  if (separator == std::string_view::npos) {
    file.status = InterpretationStatus::no_header;
    return file;
  }
  const std::string_view header = text.substr(0, separator);
  const bool aff = header == "NB_AFF" || header == "AFF1.0";
  std::size_t at = separator + 1;
  if (aff) {
    // The rest of the first line, its line end included.
    const std::size_t end = text.find_first_of("\r\n", at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  } else {
    // The two characters after the header's ';' (a "\r\n" there in the files this format came
    // with), but no further than a line end.
    for (int skipped = 0; skipped < 2 && at < text.size(); ++skipped) {
      const char c = text[at++];
      if (c == '\r' || c == '\n') break;
    }
  }

  // The record being built: which field comes next, and how many labels are still to come.
  CONVERTED_VAR entry;
  bool started = false;
  std::size_t field_index = 0;  // fields read after the keyword
  std::int64_t labels_left = 0;
  const auto finish = [&] {
    entry.complete = true;
    started = true;
    field_index = 0;
  };
  bool in_record = false;

  while (at <= text.size()) {
    const std::size_t end = text.find(';', at);
    if (end == std::string_view::npos) break;  // the text after the last ';' is no field
    const std::string_view field = text.substr(at, end - at);
    at = end + 1;

    if (!in_record) {
      if (started) file.entries.push_back(std::move(entry));
      entry = CONVERTED_VAR{};
      started = true;
      entry.keyword = WithoutLineBreaks(field);
      field_index = 0;
      if (entry.keyword == "gpe") {
        in_record = true;
      } else if (entry.keyword == "sl") {
        finish();
      } else if (entry.keyword == "c") {
        entry.conversion = NumericConversion{};
        in_record = true;
      } else if (entry.keyword == "txt") {
        entry.conversion = TextConversion{};
        in_record = true;
      } else if (entry.keyword == "enum") {
        entry.conversion = EnumConversion{};
        in_record = true;
      } else {
        file.status = InterpretationStatus::unknown_keyword;
        return file;
      }
      continue;
    }

    const std::size_t index = field_index++;
    if (entry.keyword == "gpe") {
      entry.name = std::string(field);
      finish();
      in_record = false;
    } else if (auto* c = std::get_if<NumericConversion>(&entry.conversion)) {
      switch (index) {
        case 0: c->identifier = ReadIdentifier(field); break;
        case 1: entry.name = std::string(field); break;
        case 2: c->unit = std::string(field); break;
        case 3: c->bit_offset = ReadInteger(field); break;
        case 4: c->bit_length = ReadInteger(field); break;
        case 5: c->offset = ReadReal(field); break;
        case 6: c->scale = ReadReal(field); break;
        default:
          c->byte_order = std::string(field);
          finish();
          in_record = false;
          break;
      }
    } else if (auto* t = std::get_if<TextConversion>(&entry.conversion)) {
      switch (index) {
        case 0: t->identifier = ReadIdentifier(field); break;
        case 1: entry.name = std::string(field); break;
        case 2: t->byte_offset = ReadInteger(field); break;
        case 3:
          t->byte_length = ReadInteger(field);
          if (!aff) {
            finish();
            in_record = false;
          }
          break;
        default:  // the field the headers of the newer files add, read and ignored
          finish();
          in_record = false;
          break;
      }
    } else if (auto* e = std::get_if<EnumConversion>(&entry.conversion)) {
      switch (index) {
        case 0: e->identifier = ReadIdentifier(field); break;
        case 1: entry.name = std::string(field); break;
        case 2: e->bit_offset = ReadInteger(field); break;
        case 3: e->bit_length = ReadInteger(field); break;
        case 4: e->byte_order = std::string(field); break;
        case 5:
          e->label_count = ReadInteger(field);
          labels_left = e->label_count;
          if (labels_left <= 0) {
            finish();
            in_record = false;
          }
          break;
        default:
          e->labels.append(field);
          e->labels.push_back(';');
          if (--labels_left == 0) {
            finish();
            in_record = false;
          }
          break;
      }
    }
  }
  // The end of the text appends the entry being built, complete or not.
  if (started) file.entries.push_back(std::move(entry));
  return file;
}

std::optional<std::string> ConvertNumeric(const NumericConversion& c, std::span<const std::uint8_t> value) {
  const auto field = BitField(c.bit_offset, c.bit_length, value.size());
  if (!field) return std::nullopt;
  const std::uint32_t raw = RawValue(value.data() + field->first, field->count, c.byte_order);
  const double number = raw * c.scale + c.offset;
  char text[64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, number, std::chars_format::general, 6);
  if (error != std::errc()) return std::nullopt;
  return std::string(text, end);
}

std::optional<std::string> ConvertText(const TextConversion& c, std::span<const std::uint8_t> value) {
  if (c.byte_offset < 0 || c.byte_length < 0) return std::nullopt;
  if (std::int64_t{c.byte_offset} + c.byte_length > static_cast<std::int64_t>(value.size())) return std::nullopt;
  const auto bytes = value.subspan(static_cast<std::size_t>(c.byte_offset), static_cast<std::size_t>(c.byte_length));
  const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return std::string(bytes.begin(), nul);
}

std::optional<std::string> ConvertEnum(const EnumConversion& c, std::span<const std::uint8_t> value) {
  const auto field = BitField(c.bit_offset, c.bit_length, value.size());
  if (!field) return std::nullopt;
  std::uint8_t bytes[4] = {};
  std::copy_n(value.data() + field->first, field->count, bytes);
  if (c.bit_length < 8) {
    // Only the field's own bits of the first byte: the ones before it cleared, the ones after it
    // shifted out. A field that runs into the next byte cannot be read from one byte.
    const int skip = c.bit_offset % 8;
    const int shift = 8 - skip - c.bit_length;
    if (shift < 0) return std::nullopt;
    bytes[0] = static_cast<std::uint8_t>((bytes[0] & (0xFFu >> skip)) >> shift);
  }
  const std::uint32_t raw = RawValue(bytes, field->count, c.byte_order);
  if (c.label_count <= 0 || raw >= static_cast<std::uint32_t>(c.label_count)) return std::nullopt;
  std::string_view labels = c.labels;
  for (std::uint32_t i = 0; i < raw; ++i) {
    const std::size_t end = labels.find(';');
    if (end == std::string_view::npos) return std::nullopt;
    labels.remove_prefix(end + 1);
  }
  const std::size_t end = labels.find(';');
  if (end == std::string_view::npos) return std::nullopt;
  return std::string(labels.substr(0, end));
}

std::string ConvertEntry(const CONVERTED_VAR& entry, const std::vector<std::uint8_t>* snapshot,
                         std::size_t variable_length) {
  if (!entry.complete || snapshot == nullptr) return {};
  const std::span<const std::uint8_t> value(snapshot->data(), std::min(snapshot->size(), variable_length));
  std::optional<std::string> text;
  if (const auto* c = std::get_if<NumericConversion>(&entry.conversion)) text = ConvertNumeric(*c, value);
  else if (const auto* t = std::get_if<TextConversion>(&entry.conversion)) text = ConvertText(*t, value);
  else if (const auto* e = std::get_if<EnumConversion>(&entry.conversion)) text = ConvertEnum(*e, value);
  return text.value_or(std::string());
}

std::string DisplayText(std::string_view text) {
  const bool utf8 = IsValidUtf8(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    // The line and paragraph separators of Unicode (U+0085, U+2028, U+2029) would break a line too.
    if (utf8 && (text.substr(i, 2) == "\xC2\x85" || text.substr(i, 3) == "\xE2\x80\xA8" ||
                 text.substr(i, 3) == "\xE2\x80\xA9")) {
      out.push_back('.');
      i += text[i] == '\xC2' ? 1 : 2;
      continue;
    }
    if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80 && byte < 0xA0)) {
      out.push_back('.');
    } else if (byte < 0x80 || utf8) {
      out.push_back(c);
    } else {  // a Latin-1 character as UTF-8
      out.push_back(static_cast<char>(0xC0 | byte >> 6));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

}  // namespace plandrel
