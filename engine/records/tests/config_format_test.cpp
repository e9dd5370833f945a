// Configuration files of formats 4 and 3: layouts, conversions, and refusal of damaged input.
#include <gtest/gtest.h>

#include <string>

#include "golden.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/format3.h"
#include "records/sections.h"

namespace records {
namespace {

using test_bytes::Golden;

Golden magic4() { return Golden().add_text("VERAM 4.00").add({0}); }
Golden magic3() { return Golden().add_text("VERAM 3.00").add({0}); }

Golden new_param_bytes() {
  Golden g(34);
  g.at(0, {64, 0, 1, 0, 0, 0, 14, 0, 22, 0}).at(14, {1, 0, 0x30, 0x75, 0x06, 0x02, 0, 0});
  g.at(22, {0x08, 0x22, 0, 0, 0, 1});
  return g;
}

TEST(Format4, EmptyConfigurationIs356Bytes) {
  Golden g = magic4();
  g.add_zeros(262).add({0, 0, 0, 0});  // BA block, two empty sequences
  g.add({0, 0});                       // no messages
  g.add(new_param_bytes());
  g.add({0, 0});                       // no variables
  g.add({1, 0, 0, 0}).add_text("Local station").add_zeros(33 - 13).add({0, 0});
  g.add({0, 0});                       // no lists
  ASSERT_EQ(g.size(), 356U);
  EXPECT_EQ(encode_format4(new_configuration()), g.bytes());

  Configuration read;
  LoadSummary summary;
  ASSERT_EQ(decode_configuration(g.bytes(), read, summary), Status::ok);
  EXPECT_EQ(read, new_configuration());
  EXPECT_EQ(summary.format, Format::v4);
  EXPECT_EQ(summary.priority, 0);
  EXPECT_EQ(summary.instruction_cost, 1U);
  EXPECT_EQ(summary.memory_estimate, 256U + 1024 + 1 + 768);
}

Configuration sample() {
  Configuration c = new_configuration();
  c.ba.program_from_file = 1;
  set_text(c.ba.program_path, "bus.ba");
  c.sequence1 = {make_instruction("ID_DAT(100)"), make_instruction("WAIT(5)")};
  c.sequence2 = {make_instruction("ID_MSG(200)")};
  for (int i = 0; i < 3; ++i) {
    MESSAGE4 m;
    m.source_identifier = static_cast<std::uint16_t>(0x100 + i);
    set_text(m.name, "Message " + std::to_string(i));
    m.transmitted = static_cast<std::uint8_t>(i % 2);
    m.name[31] = 'x';  // a byte after the NUL
    c.messages.push_back(m);
  }
  for (int i = 0; i < 4; ++i) {
    VARIABLE4 v;
    v.identifier = static_cast<std::uint16_t>(0x100 + i);
    set_text(v.name, "Variable " + std::to_string(i));
    set_consumer(v, static_cast<std::size_t>(i * 70), true);
    c.variables.push_back(v);
  }
  c.station_count = 3;
  c.local_station = 2;
  c.stations[1] = make_station("Remote", 7);
  c.stations[2] = make_station("Here", 3);
  c.param.election_count = election_count(5, 3);
  LISTE_APER list;
  set_text(list.name, "L1");
  list.urgent = 1;
  list.identifiers = {1, 2, 3};
  c.lists.push_back(list);
  list.identifiers = std::vector<std::uint16_t>(64, 9);
  list.urgent = 0;
  c.lists.push_back(list);
  renumber_keys(c);
  return c;
}

TEST(Format4, RoundTripIsByteIdentical) {
  const std::vector<std::uint8_t> image = encode_format4(sample());
  Configuration read;
  LoadSummary summary;
  ASSERT_EQ(decode_configuration(image, read, summary), Status::ok);
  EXPECT_EQ(read, sample());
  EXPECT_EQ(encode_format4(read), image);
  EXPECT_EQ(summary.priority, 5);
  EXPECT_EQ(summary.instruction_cost, 1U + 5 + 1 + 1);
}

TEST(Format4, ReadingRenumbersKeysAndNormalisesFlagsAndChannels) {
  Configuration c = sample();
  c.variables[1].key = 1;
  c.messages[2].key = 2;
  c.messages[0].channel = 9;
  c.messages[1].channel = 8;
  c.lists[0].urgent = 7;
  Configuration read;
  LoadSummary summary;
  ASSERT_EQ(decode_configuration(encode_format4(c), read, summary), Status::ok);
  EXPECT_EQ(read.variables[1].key, 5001);
  EXPECT_EQ(read.messages[2].key, 35002);
  EXPECT_EQ(read.messages[0].channel, 0);
  EXPECT_EQ(read.messages[1].channel, 8);
  EXPECT_EQ(read.lists[0].urgent, 1);
}

// A format-3 file spelled out: the BA head, one instruction, four messages, the parameter block
// with priority 3, and four variables.
Golden format3_file() {
  Golden g = magic3();
  g.add(Golden(128).at(0, {1}).text(1, "old.ba"));
  g.add({1, 0}).add(Golden(15).text(0, "ID_DAT(100)")).add({0, 0});

  auto message = [](unsigned source, unsigned destination, std::string_view name,
                    std::uint8_t periodic, std::uint8_t transmitted) {
    Golden m(71);
    m.at(0, {static_cast<std::uint8_t>(source), static_cast<std::uint8_t>(source >> 8),
             static_cast<std::uint8_t>(destination), static_cast<std::uint8_t>(destination >> 8)});
    m.at(4, {0x55, 0x55}).at(6, {9, 0}).text(8, name).text(38, "%h");
    m.at(68, {1, periodic, transmitted});
    return m;
  };
  g.add({4, 0});
  g.add(message(0x100, 0x200, "Across", 1, 1));     // different producers: kept
  g.add(message(0x100, 0x101, "Both local", 1, 1)); // same producer: removed
  g.add(message(0x900, 0x901, "Nowhere", 0, 0));    // no variable at either end: removed
  g.add(message(0x200, 0x100, "Back", 0, 0));       // kept, becomes message 1

  g.add(Golden(34).at(0, {64, 0, 1, 0}).at(14, {0, 0}).at(18, {3, 0, 0, 0}).at(27, {1}));

  auto variable = [](unsigned identifier, std::string_view name, std::uint8_t direction,
                     std::uint8_t flags, std::uint8_t channel) {
    Golden v(78);
    v.at(0, {static_cast<std::uint8_t>(identifier), static_cast<std::uint8_t>(identifier >> 8)});
    v.text(2, name).text(32, "%d").at(62, {0x40, 0, 4, 0, channel, 0, 1, 0});
    v.at(70, {direction, 1, 0, flags, 100, 0, 200, 0});
    return v;
  };
  g.add({4, 0});
  g.add(variable(0x100, "Produced channel", 0, 0x02, 5));
  g.add(variable(0x101, "Aperiodic channel", 0, 0x02, 0));
  g.add(variable(0x200, "Consumed", 1, 0x00, 0));
  g.add(variable(0x201, std::string(30, 'L'), 1, 0x03, 7));  // name without its NUL
  return g;
}

TEST(Format3, OpensAsFormat4Records) {
  Configuration c;
  LoadSummary summary;
  ASSERT_EQ(decode_configuration(format3_file().bytes(), c, summary), Status::ok);
  EXPECT_EQ(summary.format, Format::v3);

  EXPECT_EQ(c.ba.program_from_file, 1);
  EXPECT_EQ(text_of(c.ba.program_path), "old.ba");
  ASSERT_EQ(c.sequence1.size(), 1U);
  EXPECT_TRUE(c.sequence2.empty());

  EXPECT_EQ(c.param.ba_size, 1);
  EXPECT_EQ(c.param.election_count, ((3 + 1) * 256) * 2 + 6);
  EXPECT_EQ(summary.priority, 3);

  ASSERT_EQ(c.variables.size(), 4U);
  const VARIABLE4& produced = c.variables[0];
  EXPECT_EQ(produced.producer, 0);
  EXPECT_TRUE(is_consumer(produced, 1));
  EXPECT_FALSE(is_consumer(produced, 0));
  EXPECT_EQ(produced.consumer_count, 1);
  EXPECT_EQ(produced.channel, 1);
  EXPECT_EQ(produced.field_74, 1);
  EXPECT_EQ(produced.refreshment_period, 100);
  EXPECT_EQ(produced.promptness_period, 200);
  EXPECT_EQ(c.variables[1].channel, 0);   // message channel with format-3 channel 0
  EXPECT_EQ(c.variables[2].channel, -1);  // not a message channel
  EXPECT_EQ(c.variables[2].producer, 1);
  EXPECT_TRUE(is_consumer(c.variables[2], 0));
  EXPECT_EQ(c.variables[3].channel, 2);   // the next periodic channel
  EXPECT_EQ(text_of(c.variables[3].name), std::string(30, 'L'));
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(c.variables[i].key, 5000 + i);

  ASSERT_EQ(c.messages.size(), 2U);
  const MESSAGE4& across = c.messages[0];
  EXPECT_EQ(text_of(across.name), "Across");
  EXPECT_EQ(across.aperiodic, 0);
  EXPECT_EQ(across.channel, 1);
  EXPECT_EQ(across.event_number, 9);
  EXPECT_EQ(across.remote_station, 1);
  EXPECT_EQ(across.source_segment, 0);
  EXPECT_EQ(across.key, 35000);
  const MESSAGE4& back = c.messages[1];
  EXPECT_EQ(text_of(back.name), "Back");
  EXPECT_EQ(back.aperiodic, 1);
  EXPECT_EQ(back.channel, 0);
  EXPECT_EQ(back.key, 35001);

  // One transmitted message, four variables, the instruction cost 1 + 5.
  EXPECT_EQ(summary.memory_estimate, 256U + 1024 + 16 + 6 + 768 + 4 * 32);
}

TEST(Format3, WrittenAsFormat4HasTwoStationsAndNoLists) {
  Configuration c;
  LoadSummary summary;
  ASSERT_EQ(decode_configuration(format3_file().bytes(), c, summary), Status::ok);
  const std::vector<std::uint8_t> image = encode_format4(c);

  Golden tail;
  tail.add({2, 0, 0, 0});
  tail.add_text("Local station").add_zeros(20).add({0, 0});
  tail.add_text("Mirror").add_zeros(27).add({0xFF, 0xFF});
  tail.add({0, 0});
  ASSERT_GE(image.size(), tail.size());
  EXPECT_EQ(std::vector<std::uint8_t>(image.end() - static_cast<std::ptrdiff_t>(tail.size()), image.end()),
            tail.bytes());
}

TEST(Format3, DownloadWideningCopiesFieldsAsTheyStand) {
  const Golden file = format3_file();
  // First message record: after the magic, BA head, sequence 1 (2 + 15), sequence 2 (2), count.
  const std::size_t first = 11 + 128 + 17 + 2 + 2;
  const auto m3 = from_bytes<MESSAGE3>(std::span<const std::uint8_t, 71>(file.bytes().data() + first, 71));
  const MESSAGE4 m = widen_for_download(m3);
  EXPECT_EQ(m.channel, 0x5555);  // offset 4 copied
  EXPECT_EQ(m.aperiodic, 1);     // the mode byte copied unchanged
  EXPECT_EQ(m.remote_station, 0);
  EXPECT_EQ(m.key, 0);
  EXPECT_EQ(text_of(m.name), "Across");

  VARIABLE3 v3;
  v3.name.fill('V');  // no NUL in the 30-byte field
  v3.channel = 7;
  v3.flags = 0x43;
  const VARIABLE4 v = widen_for_download(v3);
  EXPECT_EQ(text_of(v.name), std::string(30, 'V'));
  EXPECT_EQ(v.name[30], 0);
  EXPECT_EQ(v.channel, 7);
  EXPECT_EQ(v.flags, 0x43);
  EXPECT_EQ(v.producer, 0);
  EXPECT_EQ(v.key, 0);
}

// The offsets of a format-3 image: magic, BA head, the two sequences, then the messages.
std::size_t format3_messages_at(const Configuration& c) {
  return 11 + 128 + 2 + 15 * c.sequence1.size() + 2 + 15 * c.sequence2.size();
}

std::uint16_t u16_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

struct CutCase {
  std::size_t messages;
  std::size_t written;
  std::uint16_t table_size;
};
class Format3Cut : public ::testing::TestWithParam<CutCase> {};
TEST_P(Format3Cut, CountsAndTableSizes) {
  Configuration c = new_configuration();
  c.messages.resize(GetParam().messages);
  c.variables.resize(GetParam().messages);
  const auto image = encode_format3(c);
  const std::size_t messages_at = format3_messages_at(c);
  EXPECT_EQ(u16_at(image, messages_at), GetParam().written);
  const std::size_t param_at = messages_at + 2 + 71 * GetParam().written;
  EXPECT_EQ(u16_at(image, param_at + 10), GetParam().table_size);
  EXPECT_EQ(u16_at(image, param_at + 12), GetParam().table_size);
  EXPECT_EQ(u16_at(image, param_at + 34), GetParam().written);
  EXPECT_EQ(image.size(), param_at + 34 + 2 + 78 * GetParam().written);
}
INSTANTIATE_TEST_SUITE_P(Counts, Format3Cut,
                         ::testing::Values(CutCase{0, 0, 16}, CutCase{15, 15, 16},
                                           CutCase{16, 16, 32}, CutCase{33, 33, 64},
                                           CutCase{512, 512, 512}, CutCase{600, 512, 512}));

TEST(Format3, WriteConvertsRecordsBack) {
  Configuration c = new_configuration();
  c.ba.program_from_file = 1;
  c.ba.program_path.fill('P');
  c.sequence2 = {make_instruction("ID_DAT(1)"), make_instruction("SUSPEND")};
  MESSAGE4 m;
  set_text(m.name, std::string(32, 'M'));
  set_text(m.format, "%4x");
  m.channel = 4;
  m.aperiodic = 0;
  m.transmitted = 1;
  c.messages = {m};
  VARIABLE4 v;
  set_text(v.name, std::string(31, 'V'));
  v.channel = -1;
  v.field_74 = 1;
  c.variables = {v};
  c.param.election_count = election_count(7, 0);
  const auto image = encode_format3(c);

  EXPECT_EQ(std::string(image.begin(), image.begin() + 11), std::string("VERAM 3.00\0", 11));
  EXPECT_EQ(image[11], 1);
  EXPECT_EQ(image[11 + 126], 'P');
  EXPECT_EQ(image[11 + 127], 0);  // byte 127 of the block

  const std::size_t at = format3_messages_at(c) + 2;
  EXPECT_EQ(std::string(image.begin() + static_cast<std::ptrdiff_t>(at + 8),
                        image.begin() + static_cast<std::ptrdiff_t>(at + 38)),
            std::string(29, 'M') + '\0');
  EXPECT_EQ(u16_at(image, at + 4), 0);
  EXPECT_EQ(image[at + 69], 1);  // periodic
  EXPECT_EQ(image[at + 70], 1);

  const std::size_t param = at + 71;
  EXPECT_EQ(u16_at(image, param + 14), 1);  // (5 + 1 + 1) * 2 / 1000 rounded up
  EXPECT_EQ(u16_at(image, param + 18), 7);  // the priority
  EXPECT_EQ(u16_at(image, param + 28), 640);
  EXPECT_EQ(u16_at(image, param + 30), 0);
  EXPECT_EQ(u16_at(image, param + 32), 32);

  const std::size_t var = param + 34 + 2;
  EXPECT_EQ(image[var + 2 + 28], 'V');
  EXPECT_EQ(image[var + 2 + 29], 0);
  EXPECT_EQ(u16_at(image, var + 66), 0xFFFF);
  EXPECT_EQ(u16_at(image, var + 68), 1);

  // A damaged priority opens as the highest one.
  {
    auto damaged = image;
    damaged[param + 18] = 200;
    Configuration read;
    LoadSummary summary;
    ASSERT_EQ(decode_configuration(damaged, read, summary), Status::ok);
    EXPECT_EQ(summary.priority, 15);
    EXPECT_EQ(read.param.election_count, election_count(15, 0));
  }

  // And it opens again with the priority it was written with.
  Configuration back;
  LoadSummary summary;
  ASSERT_EQ(decode_configuration(image, back, summary), Status::ok);
  EXPECT_EQ(summary.priority, 7);
}

// --- Damage: every kind is refused with its result, and the output is left alone. ---

struct DamageCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  Status expected;
};

std::vector<std::uint8_t> patched(std::vector<std::uint8_t> bytes, std::size_t at,
                                  std::initializer_list<std::uint8_t> values) {
  for (std::uint8_t v : values) bytes.at(at++) = v;
  return bytes;
}

std::vector<std::uint8_t> format4_with_counts(unsigned messages, unsigned variables) {
  Golden g = magic4();
  g.add_zeros(262).add({0, 0, 0, 0});
  g.add({static_cast<std::uint8_t>(messages), static_cast<std::uint8_t>(messages >> 8)});
  g.add_zeros(83 * std::min(messages, 4097U));
  g.add(new_param_bytes());
  g.add({static_cast<std::uint8_t>(variables), static_cast<std::uint8_t>(variables >> 8)});
  g.add_zeros(122 * std::min(variables, 4096U));
  g.add({1, 0, 0, 0}).add_zeros(35).add({0, 0});
  return g.bytes();
}

std::vector<DamageCase> damage_cases() {
  const std::vector<std::uint8_t> empty4 = encode_format4(new_configuration());
  const std::size_t stations_at = empty4.size() - 2 - 35 - 4;
  const std::size_t lists_at = empty4.size() - 2;
  const std::vector<std::uint8_t> f3 = format3_file().bytes();
  const std::size_t f3_messages = 11 + 128 + 17 + 2;
  const std::size_t f3_variables = f3_messages + 2 + 4 * 71 + 34;
  auto with_list = [&](std::uint8_t count) {
    auto bytes = patched(empty4, lists_at, {1, 0});
    Golden list(35);
    list.at(34, {count}).add_zeros(2 * count);
    bytes.insert(bytes.end(), list.bytes().begin(), list.bytes().end());
    return bytes;
  };
  return {
      {"Empty", {}, Status::invalid_format},
      {"ShortMagic", Golden().add_text("VERAM 4.0").bytes(), Status::invalid_format},
      {"Version5", Golden().add_text("VERAM 5.00").add({0}).add_zeros(400).bytes(),
       Status::invalid_format},
      {"MagicWithoutNul", patched(empty4, 10, {' '}), Status::invalid_format},
      {"Format4Messages4097", format4_with_counts(4097, 0), Status::count_out_of_range},
      {"Format4Variables4096", format4_with_counts(0, 4096), Status::count_out_of_range},
      {"Format4MessagesAtTheirBound", format4_with_counts(4096, 4095), Status::ok},
      {"HugeInstructionCount", patched(empty4, 11 + 262, {0xFF, 0xFF}), Status::truncated},
      {"HugeMessageCount", patched(empty4, 11 + 266, {0xFF, 0x0F}), Status::truncated},
      {"Stations257", patched(empty4, stations_at, {0x01, 0x01}), Status::station_count_out_of_range},
      {"Stations256ButOnlyOneThere", patched(empty4, stations_at, {0x00, 0x01}), Status::truncated},
      {"LocalStation256", patched(empty4, stations_at + 2, {0x00, 0x01}),
       Status::local_station_out_of_range},
      {"ListOfNoIdentifier", with_list(0), Status::list_out_of_range},
      {"ListOf65Identifiers", with_list(65), Status::list_out_of_range},
      {"ListOf64Identifiers", with_list(64), Status::ok},
      {"ListCountPastTheEnd", patched(empty4, lists_at, {0xFF, 0xFF}), Status::truncated},
      {"Format3Messages513", patched(f3, f3_messages, {0x01, 0x02}), Status::count_out_of_range},
      {"Format3Variables513", patched(f3, f3_variables, {0x01, 0x02}), Status::count_out_of_range},
      {"Format3MoreMessagesThanThere", patched(f3, f3_messages, {0x20, 0x00}), Status::truncated},
  };
}

class Damage : public ::testing::TestWithParam<DamageCase> {};
TEST_P(Damage, IsRefusedAndChangesNothing) {
  Configuration c = sample();
  LoadSummary summary;
  summary.priority = 9;
  EXPECT_EQ(decode_configuration(GetParam().bytes, c, summary), GetParam().expected);
  if (GetParam().expected != Status::ok) {
    EXPECT_EQ(c, sample());
    EXPECT_EQ(summary.priority, 9);
  }
}
INSTANTIATE_TEST_SUITE_P(Files, Damage, ::testing::ValuesIn(damage_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// An early end anywhere: every prefix of a whole file is refused as truncated.
class EarlyEnd : public ::testing::TestWithParam<Format> {};
TEST_P(EarlyEnd, EveryPrefixIsTruncated) {
  const std::vector<std::uint8_t> whole =
      GetParam() == Format::v4 ? encode_format4(sample()) : format3_file().bytes();
  for (std::size_t n = 0; n < whole.size(); ++n) {
    Configuration c = sample();
    LoadSummary summary;
    const Status s = decode_configuration(std::span(whole).first(n), c, summary);
    ASSERT_EQ(s, n < kMagicSize ? Status::invalid_format : Status::truncated) << "prefix " << n;
    ASSERT_EQ(c, sample());
  }
}
INSTANTIATE_TEST_SUITE_P(Formats, EarlyEnd, ::testing::Values(Format::v4, Format::v3));

TEST(Sections, EachDecodesBackToItsBytes) {
  const Configuration c = sample();
  for (Section section : kSections) {
    std::vector<std::uint8_t> bytes;
    encode_section(section, c, bytes);
    Configuration read;
    std::size_t consumed = 0;
    ASSERT_EQ(decode_section(section, bytes, read, consumed), Status::ok) << section_name(section);
    EXPECT_EQ(consumed, bytes.size());
    std::vector<std::uint8_t> again;
    encode_section(section, read, again);
    EXPECT_EQ(again, bytes) << section_name(section);
  }
}

TEST(Sections, EncodingCutsCountsToWhatReadsBack) {
  Configuration c = new_configuration();
  c.station_count = 300;
  LISTE_APER list;
  list.identifiers.assign(70, 1);
  c.lists = {list};
  for (Section section : {Section::stations, Section::listes}) {
    std::vector<std::uint8_t> bytes;
    encode_section(section, c, bytes);
    Configuration read;
    std::size_t consumed = 0;
    EXPECT_EQ(decode_section(section, bytes, read, consumed), Status::ok);
  }
}

}  // namespace
}  // namespace records
