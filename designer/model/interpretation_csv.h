// Interpretation files of the variables display: a ';'-separated text that says which bytes of which
// variable show as a scaled number with its unit, a text or an enumerated label.
//
// Every field, the last of a line included, ends with ';'; the text after the last ';' is no field.
// The first field is the header. "NB_AFF" and "AFF1.0" skip the rest of the first line and give
// "txt" records one more (ignored) field; any other header skips at most the two characters after
// its ';' (fewer when a line ends there). Then records follow, each a keyword and its fields:
//
//   gpe;group name;                 sl;   (an empty line)
//   c;id;name;unit;bit offset;bit length;offset;scale;LSB|MSB;
//   txt;id;name;byte offset;byte length;[ignored;]
//   enum;id;name;bit offset;bit length;LSB|MSB;n;label 0;...;label n-1;
//
// Identifiers are hexadecimal, integers decimal (their leading digits), reals decimal ("C" locale,
// leading part). Bits count from the most significant bit of the variable's first byte. Line breaks
// are dropped from keyword fields only.
//
// Plain functions over text and bytes: no engine, no window, no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace plandrel {

// The identifier of a record whose identifier field is not hexadecimal: it matches no variable.
inline constexpr std::int32_t kNoIdentifier = -1;

struct NumericConversion {
  std::int32_t identifier = kNoIdentifier;
  std::string unit;
  std::int32_t bit_offset = 0;
  std::int32_t bit_length = 0;
  double offset = 0;
  double scale = 0;
  std::string byte_order;
};

struct TextConversion {
  std::int32_t identifier = kNoIdentifier;
  std::int32_t byte_offset = 0;
  std::int32_t byte_length = 0;
};

struct EnumConversion {
  std::int32_t identifier = kNoIdentifier;
  std::int32_t bit_offset = 0;
  std::int32_t bit_length = 0;
  std::int32_t label_count = 0;
  std::string byte_order;
  std::string labels;  // each label followed by ';'
};

// One record of the file. "gpe" keeps its group name in `name`; "gpe" and "sl" have no conversion.
// `complete` is false for a record that the end of the file cut short: its value is never shown.
struct CONVERTED_VAR {
  std::string keyword;
  std::string name;
  std::variant<std::monostate, NumericConversion, TextConversion, EnumConversion> conversion;
  bool complete = false;

  // The identifier of the variable a conversion reads, kNoIdentifier for "gpe" and "sl".
  std::int32_t Identifier() const;
  bool HasValue() const { return conversion.index() != 0; }
};

enum class InterpretationStatus {
  ok,               // parsed to the end
  no_header,        // no ';' at all
  unknown_keyword,  // parsing stopped at a keyword it does not know; `entries` holds those before
};

struct InterpretationFile {
  InterpretationStatus status = InterpretationStatus::ok;
  std::vector<CONVERTED_VAR> entries;
};

// The texts of the two refusals.
inline constexpr std::string_view kCsvNoHeader = "Error on the *.csv file format (no valid header)";
inline constexpr std::string_view kCsvUnknownKeyword = "Error on the *.csv file format (unknown keyword)";

// A leading UTF-8 byte order mark is skipped.
InterpretationFile ParseInterpretationCsv(std::string_view text);

// The value texts of the three conversions, or none when the conversion fails. `value` is the
// variable's snapshot cut to its length. Every field is bounded against it: a negative offset, a
// length below 1 (a text's below 0), a field that ends beyond the value, more than 4 bytes, or a
// field under 8 bits that crosses a byte boundary fail.
// Numbers: the bytes from the bit offset / 8, (bit length + 7) / 8 of them, as an unsigned integer
// ("LSB": first byte least significant, "MSB": most significant, anything else 0), times scale plus
// offset, in "%g".
std::optional<std::string> ConvertNumeric(const NumericConversion& c, std::span<const std::uint8_t> value);
// The bytes of the field up to the first NUL.
std::optional<std::string> ConvertText(const TextConversion& c, std::span<const std::uint8_t> value);
// The bytes as for numbers; a field under 8 bits keeps only its own bits of the first byte. The
// label at that position of the labels; none when the value is not below the label count or the
// labels end before it.
std::optional<std::string> ConvertEnum(const EnumConversion& c, std::span<const std::uint8_t> value);

// The value text of an entry over its variable's snapshot (none: no snapshot); empty when the
// entry has no value, is cut short or its conversion fails.
std::string ConvertEntry(const CONVERTED_VAR& entry, const std::vector<std::uint8_t>* snapshot,
                         std::size_t variable_length);

// Text as the display shows it: valid UTF-8 stays, other bytes are read as Latin-1, and control
// characters (line breaks included) become '.', so that every entry keeps to its own line.
std::string DisplayText(std::string_view text);

}  // namespace plandrel
