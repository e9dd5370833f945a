#include "model/interpretation_csv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace plandrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

NumericConversion Numeric(std::int32_t bit_offset, std::int32_t bit_length, double scale, std::string order,
                          double offset = 0) {
  NumericConversion c;
  c.identifier = 0x1A2;
  c.unit = "km/h";
  c.bit_offset = bit_offset;
  c.bit_length = bit_length;
  c.offset = offset;
  c.scale = scale;
  c.byte_order = std::move(order);
  return c;
}

struct NumericCase {
  const char* what;
  NumericConversion conversion;
  Bytes value;
  std::optional<std::string> text;
};

TEST(InterpretationConversions, Numbers) {
  const Bytes speed{0x10, 0x27, 0xFF, 0x01, 0x02};
  const NumericCase cases[] = {
      {"LSB", Numeric(0, 16, 0.1, "LSB"), speed, "1000"},
      {"MSB", Numeric(0, 16, 0.1, "MSB"), speed, "413.5"},
      {"the bit length chooses whole bytes", Numeric(3, 9, 1, "LSB"), speed, "10000"},
      {"offset and scale", Numeric(16, 8, 2, "MSB", -10.5), speed, "499.5"},
      {"four bytes", Numeric(8, 32, 1, "MSB"), speed, "6.71023e+08"},
      {"an unknown order reads 0", Numeric(0, 16, 0.1, "lsb", 7), speed, "7"},
      {"33 bits are 5 bytes", Numeric(0, 33, 1, "LSB"), speed, std::nullopt},
      {"bit length 0", Numeric(0, 0, 1, "LSB"), speed, std::nullopt},
      {"negative bit length", Numeric(0, -8, 1, "LSB"), speed, std::nullopt},
      {"negative bit offset", Numeric(-8, 8, 1, "LSB"), speed, std::nullopt},
      {"last byte beyond the value", Numeric(32, 16, 1, "LSB"), speed, std::nullopt},
      {"first byte beyond the value", Numeric(40, 8, 1, "LSB"), speed, std::nullopt},
      {"offset and length near the 32-bit limit", Numeric(0x7FFFFFF8, 32, 1, "LSB"), speed, std::nullopt},
      {"empty value", Numeric(0, 8, 1, "LSB"), {}, std::nullopt},
  };
  for (const NumericCase& c : cases) EXPECT_EQ(ConvertNumeric(c.conversion, c.value), c.text) << c.what;
}

EnumConversion Enum(std::int32_t bit_offset, std::int32_t bit_length, std::int32_t count, std::string labels,
                    std::string order = "LSB") {
  EnumConversion c;
  c.identifier = 0x20;
  c.bit_offset = bit_offset;
  c.bit_length = bit_length;
  c.label_count = count;
  c.byte_order = std::move(order);
  c.labels = std::move(labels);
  return c;
}

struct EnumCase {
  const char* what;
  EnumConversion conversion;
  Bytes value;
  std::optional<std::string> text;
};

TEST(InterpretationConversions, EnumeratedLabels) {
  const std::string eight = "L0;L1;L2;L3;L4;L5;L6;L7;";
  const EnumCase cases[] = {
      {"bits 5 to 3", Enum(2, 3, 8, eight), {0b00101000}, "L5"},
      {"the field's own bits only", Enum(2, 3, 8, eight), {0b11010111}, "L2"},
      {"in the second byte", Enum(8 + 5, 3, 8, eight), {0xFF, 0b00000110}, "L6"},
      {"A for 0", Enum(0, 8, 3, "A;B;C;"), {0}, "A"},
      {"no label for 3 of 3", Enum(0, 8, 3, "A;B;C;"), {3}, std::nullopt},
      {"16 bits MSB", Enum(0, 16, 300, std::string(), "MSB"), {0x01, 0x02}, std::nullopt},
      {"fewer labels than the count", Enum(0, 8, 5, "A;B;"), {3}, std::nullopt},
      {"an empty label", Enum(0, 8, 3, "A;;C;"), {1}, ""},
      {"count 0", Enum(0, 8, 0, "A;"), {0}, std::nullopt},
      {"negative count", Enum(0, 8, -2, "A;"), {0}, std::nullopt},
      {"a field crossing into the next byte", Enum(6, 4, 16, eight + eight), {0xFF, 0xFF}, std::nullopt},
      {"a field beyond the value", Enum(8, 3, 8, eight), {0xFF}, std::nullopt},
      {"negative bit offset", Enum(-3, 3, 8, eight), {0xFF}, std::nullopt},
  };
  for (const EnumCase& c : cases) EXPECT_EQ(ConvertEnum(c.conversion, c.value), c.text) << c.what;

  // Wide raw values index the labels as far as they go.
  std::string many;
  for (int i = 0; i < 300; ++i) many += "N" + std::to_string(i) + ";";
  EXPECT_EQ(ConvertEnum(Enum(0, 16, 300, many, "MSB"), Bytes{0x01, 0x02}), "N258");
  EXPECT_EQ(ConvertEnum(Enum(0, 16, 300, many, "LSB"), Bytes{0x01, 0x01}), "N257");
}

TEST(InterpretationConversions, Texts) {
  const Bytes name{'T', 'a', 'n', 'k', 0, 'X', 'Y'};
  const auto text = [](std::int32_t offset, std::int32_t length) { return TextConversion{0x20, offset, length}; };
  EXPECT_EQ(ConvertText(text(0, 4), name), "Tank");
  EXPECT_EQ(ConvertText(text(1, 6), name), "ank");  // up to the NUL
  EXPECT_EQ(ConvertText(text(5, 2), name), "XY");
  EXPECT_EQ(ConvertText(text(3, 0), name), "");
  EXPECT_EQ(ConvertText(text(5, 3), name), std::nullopt);
  EXPECT_EQ(ConvertText(text(-1, 2), name), std::nullopt);
  EXPECT_EQ(ConvertText(text(2, -1), name), std::nullopt);
  EXPECT_EQ(ConvertText(text(0x7FFFFFFF, 0x7FFFFFFF), name), std::nullopt);
}

struct TextCase {
  std::string in;
  std::string shown;
};

TEST(InterpretationConversions, DisplayTextKeepsEachEntryOnItsLine) {
  const TextCase cases[] = {
      {"Speed", "Speed"},
      {"a\r\nb\tc", "a..b.c"},
      {std::string("x\0y", 3), "x.y"},
      {"\xC2\xB0" "C", "\xC2\xB0" "C"},                       // UTF-8 stays
      {"Temp\xE9rature", "Temp\xC3\xA9rature"},                // Latin-1 becomes UTF-8
      {"\x85\xA0", ".\xC2\xA0"},                                 // a C1 control of Latin-1
      {"a\xE2\x80\xA8" "b\xC2\x85" "c", "a.b.c"},                // Unicode line separators
      {"\x7F", "."},
  };
  for (const TextCase& c : cases) EXPECT_EQ(DisplayText(c.in), c.shown) << c.in;
}

// ---- The parser

const NumericConversion& NumericOf(const CONVERTED_VAR& e) { return std::get<NumericConversion>(e.conversion); }
const TextConversion& TextOf(const CONVERTED_VAR& e) { return std::get<TextConversion>(e.conversion); }
const EnumConversion& EnumOf(const CONVERTED_VAR& e) { return std::get<EnumConversion>(e.conversion); }

std::vector<std::string> Keywords(const InterpretationFile& file) {
  std::vector<std::string> keywords;
  for (const auto& e : file.entries) keywords.push_back(e.keyword + (e.complete ? "" : "?"));
  return keywords;
}

TEST(InterpretationCsv, EveryRecordWithItsFields) {
  const auto file = ParseInterpretationCsv(
      "NB_AFF;3;\r\n"
      "gpe;Motor;\r\n"
      "c;1A2;Speed;km/h;0;16;0;0.1;LSB;\r\n"
      "sl;\r\n"
      "txt;20;Name;2;4;x;\r\n"
      "enum;0x3F;State;2;3;MSB;3;Off;On;Fault;\r\n");
  ASSERT_EQ(file.status, InterpretationStatus::ok);
  ASSERT_EQ(Keywords(file), (std::vector<std::string>{"gpe", "c", "sl", "txt", "enum"}));
  EXPECT_EQ(file.entries[0].name, "Motor");
  const auto& speed = NumericOf(file.entries[1]);
  EXPECT_EQ(file.entries[1].name, "Speed");
  EXPECT_EQ(speed.identifier, 0x1A2);
  EXPECT_EQ(speed.unit, "km/h");
  EXPECT_EQ(speed.bit_length, 16);
  EXPECT_DOUBLE_EQ(speed.scale, 0.1);
  EXPECT_EQ(speed.byte_order, "LSB");
  EXPECT_EQ(TextOf(file.entries[3]).identifier, 0x20);
  EXPECT_EQ(TextOf(file.entries[3]).byte_offset, 2);
  EXPECT_EQ(TextOf(file.entries[3]).byte_length, 4);
  const auto& state = EnumOf(file.entries[4]);
  EXPECT_EQ(state.identifier, 0x3F);
  EXPECT_EQ(state.label_count, 3);
  EXPECT_EQ(state.labels, "Off;On;Fault;");
  EXPECT_EQ(state.byte_order, "MSB");
}

TEST(InterpretationCsv, TheTwoHeadersOfTxtRecords) {
  // The newer header gives txt records a sixth field, read and ignored.
  const auto aff = ParseInterpretationCsv("AFF1.0;x;\r\ntxt;20;Name;0;4;;\r\n");
  ASSERT_EQ(aff.status, InterpretationStatus::ok);
  ASSERT_EQ(Keywords(aff), std::vector<std::string>{"txt"});
  EXPECT_EQ(TextOf(aff.entries[0]).byte_length, 4);
  // Any other header: the record ends after its fifth field and the empty field is a keyword.
  const auto other = ParseInterpretationCsv("HDR;x;\r\ntxt;20;Name;0;4;;\r\n");
  EXPECT_EQ(other.status, InterpretationStatus::unknown_keyword);
  ASSERT_EQ(Keywords(other), std::vector<std::string>{"txt"});
  EXPECT_EQ(TextOf(other.entries[0]).byte_length, 4);
}

struct FileCase {
  const char* what;
  std::string text;
  InterpretationStatus status;
  std::vector<std::string> keywords;  // "?" marks a record the end cut short
};

class DamagedFiles : public testing::TestWithParam<FileCase> {};

TEST_P(DamagedFiles, StatusAndEntries) {
  const FileCase& c = GetParam();
  const auto file = ParseInterpretationCsv(c.text);
  EXPECT_EQ(file.status, c.status);
  EXPECT_EQ(Keywords(file), c.keywords);
}

const std::string kRecord = "c;A10;Temp;deg;0;16;0;1;MSB;";

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFiles,
    testing::Values(
        FileCase{"empty", "", InterpretationStatus::no_header, {}},
        FileCase{"no ';'", "NB_AFF\r\nc,A10,Temp\r\n", InterpretationStatus::no_header, {}},
        FileCase{"';' as the last byte", "NB_AFF;", InterpretationStatus::ok, {}},
        FileCase{"LF-only lines", "NB_AFF;2;\n" + kRecord + "\nsl;\n", InterpretationStatus::ok, {"c", "sl"}},
        FileCase{"CR-only lines", "NB_AFF;2;\r" + kRecord + "\rsl;\r", InterpretationStatus::ok, {"c", "sl"}},
        FileCase{"LF-only after another header", "HDR;\n" + kRecord + "\n", InterpretationStatus::ok, {"c"}},
        FileCase{"a header line without a line end", "AFF1.0;x;" + kRecord, InterpretationStatus::ok, {}},
        FileCase{"a byte order mark", "\xEF\xBB\xBF" "AFF1.0;x;\r\ntxt;20;N;0;4;;\r\n", InterpretationStatus::ok,
                 {"txt"}},
        FileCase{"';;;' padding", "NB_AFF;\r\n" + kRecord + ";;;\r\n" + kRecord, InterpretationStatus::unknown_keyword,
                 {"c"}},
        FileCase{"a missing final ';'", "NB_AFF;\r\nc;A10;Temp;deg;0;16;0;1;MSB", InterpretationStatus::ok, {"c?"}},
        FileCase{"a truncated record", "NB_AFF;\r\nsl;c;A10;Te", InterpretationStatus::ok, {"sl", "c?"}},
        FileCase{"an unknown keyword", "NB_AFF;\r\nsl;\r\nvar;1;\r\nsl;", InterpretationStatus::unknown_keyword,
                 {"sl"}},
        FileCase{"a keyword with a blank", "NB_AFF;\r\n sl;", InterpretationStatus::unknown_keyword, {}},
        FileCase{"enum count 0", "NB_AFF;\r\nenum;1;E;0;8;LSB;0;sl;", InterpretationStatus::ok, {"enum", "sl"}},
        FileCase{"enum count negative", "NB_AFF;\r\nenum;1;E;0;8;LSB;-3;sl;", InterpretationStatus::ok,
                 {"enum", "sl"}},
        FileCase{"enum count huge: the rest are labels", "NB_AFF;\r\nenum;1;E;0;8;LSB;99999999999;sl;gpe;G;",
                 InterpretationStatus::ok, {"enum?"}},
        FileCase{"NUL bytes", std::string("NB_AFF;\r\ngpe;A\0B;\0sl;sl;", 24), InterpretationStatus::unknown_keyword,
                 {"gpe"}}));

TEST(InterpretationCsv, NumbersReadTheirLeadingPart) {
  const auto file = ParseInterpretationCsv(
      "NB_AFF;\r\n"
      "c;zz;A;u;-8;99999999999;0,5;0,1;LSB;\r\n"
      "c; 0x1a2x;B;u;+3;12abc;1e3;-2.5e-1;MSB;\r\n"
      "c;-1A2;C;u;-99999999999;16;;x;LSB;\r\n"
      "c;1A2;D;u;0;16;1e999;1e-999;LSB;\r\n"
      "c;1A2;E;u;0;16;-1e999x;1;LSB;\r\n");
  ASSERT_EQ(file.status, InterpretationStatus::ok);
  ASSERT_EQ(file.entries.size(), 5u);
  const auto& a = NumericOf(file.entries[0]);
  EXPECT_EQ(a.identifier, kNoIdentifier);  // not hexadecimal: matches no variable
  EXPECT_EQ(a.bit_offset, -8);
  EXPECT_EQ(a.bit_length, 0x7FFFFFFF);
  EXPECT_DOUBLE_EQ(a.offset, 0);  // a decimal comma ends the number
  EXPECT_DOUBLE_EQ(a.scale, 0);
  const auto& b = NumericOf(file.entries[1]);
  EXPECT_EQ(b.identifier, 0x1A2);
  EXPECT_EQ(b.bit_offset, 3);
  EXPECT_EQ(b.bit_length, 12);
  EXPECT_DOUBLE_EQ(b.offset, 1000);
  EXPECT_DOUBLE_EQ(b.scale, -0.25);
  const auto& c = NumericOf(file.entries[2]);
  EXPECT_EQ(c.identifier, kNoIdentifier);
  EXPECT_EQ(c.bit_offset, -0x7FFFFFFF - 1);
  // Each refuses its value.
  const Bytes value(8, 0x11);
  EXPECT_EQ(ConvertNumeric(a, value), std::nullopt);
  EXPECT_EQ(ConvertNumeric(c, value), std::nullopt);
  EXPECT_EQ(ConvertNumeric(b, value), "-92.25");  // 0x1111 x -0.25 + 1000
  // Beyond the range of a double, as the C library reads them: infinities, and 0 below it.
  const auto& d = NumericOf(file.entries[3]);
  EXPECT_EQ(d.offset, std::numeric_limits<double>::infinity());
  EXPECT_EQ(d.scale, 0.0);
  EXPECT_EQ(ConvertNumeric(d, value), "inf");
  EXPECT_EQ(ConvertNumeric(NumericOf(file.entries[4]), value), "-inf");
}

}  // namespace
}  // namespace plandrel
