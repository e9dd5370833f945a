// The presence test's files: the generated configurations read back field by field at the offsets
// of the file layout (never through the records library's reader), for format-4 and format-3
// sources; the address map file; and the working files that must refuse a generation.
#include "model/presence_configuration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/configuration.h"
#include "records/working_files.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Reads the file at a moving offset, as the board's loader would.
class Walker {
 public:
  explicit Walker(const Bytes& bytes) : bytes_(bytes) {}
  std::uint16_t u16() {
    const auto v = static_cast<std::uint16_t>(bytes_.at(at_) | bytes_.at(at_ + 1) << 8);
    at_ += 2;
    return v;
  }
  Bytes take(std::size_t n) {
    Bytes out(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n;
    return out;
  }
  std::size_t at() const { return at_; }

 private:
  const Bytes& bytes_;
  std::size_t at_ = 0;
};

std::uint16_t u16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::string text(const Bytes& b, std::size_t at) { return std::string(reinterpret_cast<const char*>(b.data() + at)); }

struct Variable {
  std::uint16_t identifier;
  std::string name;
  std::uint16_t length;
  bool produced;
};

// The variables section, record by record, as the file lays it out: identifiers, names, lengths
// and directions, with every other field checked against the produced or consumed column.
std::vector<Variable> read_variables(Walker& w, std::uint16_t local_index) {
  std::vector<Variable> list;
  const std::uint16_t count = w.u16();
  for (std::uint16_t i = 0; i < count; ++i) {
    const Bytes r = w.take(122);
    const bool produced = r[112] == 0;
    const std::string name = text(r, 2);
    EXPECT_EQ(r[2 + name.size()], 0);
    for (std::size_t k = 2 + name.size() + 1; k < 35; ++k) EXPECT_EQ(r[k], 0xCD) << name << " byte " << k;
    EXPECT_EQ(text(r, 35), "%" + std::to_string(u16(r, 70)) + "h");
    EXPECT_EQ(u16(r, 68), 0x50);
    EXPECT_EQ(u16(r, 72), 0xFFFF);
    EXPECT_EQ(u16(r, 74), 1);
    EXPECT_EQ(u16(r, 76), produced ? local_index : 0xFFFF);
    EXPECT_EQ(u16(r, 78), produced ? 0 : 1);
    EXPECT_EQ(r[80], produced ? 0 : 1);
    for (std::size_t k = 81; k < 112; ++k) EXPECT_EQ(r[k], 0) << name;
    EXPECT_EQ(r[113], 0);
    EXPECT_EQ(r[114], produced ? 0 : 1);
    EXPECT_EQ(r[115], 0);
    EXPECT_EQ(u16(r, 116), 500);
    EXPECT_EQ(u16(r, 118), 500);
    EXPECT_EQ(u16(r, 120), 5000 + i) << "keys without a gap";
    list.push_back({u16(r, 0), name, u16(r, 70), produced});
  }
  return list;
}

char hex(int n) { return "0123456789ABCDEF"[n]; }
std::string two_hex(int n) { return {hex(n >> 4 & 15), hex(n & 15)}; }
std::string four_hex(int n) { return two_hex(n >> 8) + two_hex(n & 0xFF); }

struct Source {
  const char* name;
  bool format3;
  std::int16_t local_address;
  std::uint16_t local_index;
  std::uint16_t padding;
};

class PresenceFileTest : public ::testing::TestWithParam<Source> {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "presence" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // The working files of PCI board 1 for the source configuration.
  records::WorkingFiles WorkingFilesOf(const Source& s) {
    records::WorkingFiles working(folder_, 0, 1);
    records::Configuration c = records::new_configuration();
    c.param.turnaround = 17;
    c.param.silence = 0x123;  // only its low byte goes to 0x9008
    c.param.padding_identifier = s.padding;
    c.param.message_table_size = 64;
    c.station_count = 3;
    c.local_station = s.local_index;
    c.stations[0] = records::make_station("Here", s.local_address);
    c.stations[1] = records::make_station("There", 7);
    c.stations[2] = records::make_station("Else", 9);
    EXPECT_EQ(working.write_all(c), records::Status::ok);
    if (s.format3) {
      // Through a format-3 file: two stations, "Local station" at address 0.
      const fs::path file = folder_ / "old.cnf";
      EXPECT_EQ(working.write_format3(file), records::Status::ok);
      records::LoadSummary summary;
      EXPECT_EQ(records::load_configuration_file(file, working, c, summary), records::Status::ok);
    }
    return working;
  }
  Bytes Generate(PresenceKind kind, const records::WorkingFiles& working, PresenceSettings& settings) {
    EXPECT_EQ(WritePresenceConfiguration(kind, working, folder_, settings), PresenceFileResult::ok);
    Bytes bytes;
    EXPECT_EQ(records::read_whole_file(PresenceConfigurationPath(folder_, kind), records::kLargestConfigurationFile,
                                       bytes),
              records::FileRead::ok);
    return bytes;
  }

  fs::path folder_;
};

TEST_P(PresenceFileTest, EachKindIsLaidOutAsTheTestReadsIt) {
  const Source s = GetParam();
  const records::WorkingFiles working = WorkingFilesOf(s);
  const int local = s.format3 ? 0 : s.local_address;
  const std::uint16_t local_index = s.format3 ? 0 : s.local_index;
  const std::uint16_t padding = s.padding;  // a format-3 file keeps it too
  Bytes stations_file;
  ASSERT_EQ(records::read_whole_file(working.path(records::Section::stations), records::kLargestConfigurationFile,
                                     stations_file),
            records::FileRead::ok);
  Bytes param_file;
  ASSERT_EQ(records::read_whole_file(working.path(records::Section::param), records::kLargestConfigurationFile,
                                     param_file),
            records::FileRead::ok);

  struct Expected {
    PresenceKind kind;
    const char* file;
    std::size_t lines;
    std::size_t variables;
    std::uint16_t table;
    std::uint16_t ba_size;
  };
  for (const Expected& e : {Expected{PresenceKind::detection, "ActiviteFIP.cnf", 1, 1, 4, 1},
                            Expected{PresenceKind::listening, "PresenceSta.cnf", 256, 257, 512, 4},
                            Expected{PresenceKind::arbitrating, "PresenceSta.cnf", 268, 258, 512, 5}}) {
    SCOPED_TRACE(e.file + std::to_string(e.lines));
    EXPECT_EQ(PresenceConfigurationPath(folder_, e.kind).filename(), e.file);
    PresenceSettings settings;
    const Bytes b = Generate(e.kind, working, settings);
    EXPECT_EQ(b.size(), 11 + 262 + 2 + 15 * e.lines + 2 + 2 + 34 + 2 + 122 * e.variables + 4 + 35 + 2);
    EXPECT_EQ(settings.local_address, local);
    EXPECT_EQ(settings.padding_identifier, padding);
    EXPECT_EQ(settings.turnaround, 17);
    EXPECT_EQ(settings.silence, 0x123);

    Walker w(b);
    EXPECT_EQ(w.take(11), Bytes({'V', 'E', 'R', 'A', 'M', ' ', '4', '.', '0', '0', 0}));
    EXPECT_EQ(w.take(262), Bytes(262, 0));
    ASSERT_EQ(w.u16(), e.lines);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < e.lines; ++i) {
      const Bytes line = w.take(15);
      lines.push_back(text(line, 0));
      EXPECT_EQ(line[lines.back().size()], 0);
      for (std::size_t k = lines.back().size() + 1; k < 15; ++k) EXPECT_EQ(line[k], 0xCD);
    }
    const std::string pad = "ID_DAT(" + four_hex(padding) + ")";
    if (e.kind == PresenceKind::detection) {
      EXPECT_EQ(lines, std::vector<std::string>{"ID_DAT(9002)"});
    }
    const std::size_t first_presence = e.kind == PresenceKind::arbitrating ? 12 : 0;
    if (e.kind == PresenceKind::arbitrating) {
      EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 12),
                (std::vector<std::string>{"ID_DAT(9002)", pad, pad, pad, "ID_DAT(9008)", pad, pad, pad, pad, pad, pad, pad}));
    }
    if (e.kind != PresenceKind::detection) {
      for (int a = 0; a < 256; ++a) EXPECT_EQ(lines[first_presence + static_cast<std::size_t>(a)], "ID_DAT(14" + two_hex(a) + ")");
    }
    EXPECT_EQ(w.u16(), 0) << "sequence 2";
    EXPECT_EQ(w.u16(), 0) << "messages";

    Bytes param = w.take(34);
    EXPECT_EQ(u16(param, 10), 4);
    EXPECT_EQ(u16(param, 12), e.table);
    EXPECT_EQ(u16(param, 14), e.ba_size);
    for (std::size_t k : {10, 11, 12, 13, 14, 15}) param[k] = param_file[k];
    EXPECT_EQ(param, Bytes(param_file.begin(), param_file.begin() + 34)) << "every other word as configured";

    const std::vector<Variable> variables = read_variables(w, local_index);
    ASSERT_EQ(variables.size(), e.variables);
    std::vector<Variable> expected;
    const auto presence = [&](int a) {
      return Variable{static_cast<std::uint16_t>(0x1400 + a), "Presence " + two_hex(a), 5, a == local};
    };
    if (e.kind == PresenceKind::detection) expected = {{0x9002, "Adresses Libres", 34, false}};
    if (e.kind == PresenceKind::listening) expected = {presence(local), {0x9002, "Adresses Libres", 34, false}};
    if (e.kind == PresenceKind::arbitrating)
      expected = {presence(local), {0x9002, "Controle Presence", 34, true}, {0x9008, "Parametres Segment", 6, true}};
    if (e.kind != PresenceKind::detection)
      for (int a = 0; a < 256; ++a)
        if (a != local) expected.push_back(presence(a));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(variables[i].identifier, expected[i].identifier) << i;
      EXPECT_EQ(variables[i].name, expected[i].name) << i;
      EXPECT_EQ(variables[i].length, expected[i].length) << i;
      EXPECT_EQ(variables[i].produced, expected[i].produced) << i;
    }

    EXPECT_EQ(w.u16(), 1) << "one station";
    EXPECT_EQ(w.u16(), local_index);
    EXPECT_EQ(w.take(35), Bytes(stations_file.begin() + 4, stations_file.begin() + 39)) << "the first record as stored";
    EXPECT_EQ(w.u16(), 0) << "lists";
    EXPECT_EQ(w.at(), b.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, PresenceFileTest,
                         ::testing::Values(Source{"format4", false, 5, 0, 0x7530}, Source{"format4high", false, 0xFF, 2, 0x0ABC},
                                           Source{"format4zero", false, 0, 1, 0x0001}, Source{"format3", true, 0x42, 0, 0x1234}),
                         [](const auto& info) { return std::string(info.param.name); });

class PresenceFileFailureTest : public PresenceFileTest {};

TEST_F(PresenceFileFailureTest, DamagedOrMissingWorkingFilesRefuseTheGeneration) {
  const Bytes param(34, 0x11);
  const auto stations = [](std::uint16_t count, std::int16_t address, std::size_t size = 39) {
    Bytes b(size, 0);
    if (size >= 2) b[0] = static_cast<std::uint8_t>(count), b[1] = static_cast<std::uint8_t>(count >> 8);
    if (size >= 39) b[37] = static_cast<std::uint8_t>(address), b[38] = static_cast<std::uint8_t>(address >> 8);
    return b;
  };
  struct Case {
    const char* what;
    std::optional<Bytes> param;
    std::optional<Bytes> stations;
    bool ok;
    int address = 3;
  };
  const Case cases[] = {
      {"whole", param, stations(1, 255), true, 255},
      {"no param file", std::nullopt, stations(1, 3), false},
      {"short param file", Bytes(33, 0), stations(1, 3), false},
      {"no stations file", param, std::nullopt, false},
      {"no station counted", param, stations(0, 3), false},
      {"shorter than one record", param, stations(1, 3, 38), false},
      {"address 256", param, stations(1, 256), false},
      {"no physical address", param, stations(1, -1), false},
  };
  for (const Case& c : cases) {
    PresenceSettings settings;
    settings.local_address = 9;
    const auto view = [](const std::optional<Bytes>& b) {
      return b ? std::optional<std::span<const std::uint8_t>>(*b) : std::nullopt;
    };
    const PresenceFile file = BuildPresenceConfiguration(PresenceKind::listening, view(c.param), view(c.stations), settings);
    EXPECT_EQ(file.result == PresenceFileResult::ok, c.ok) << c.what;
    const bool stations_read = c.ok || !c.param || c.param->size() < 34;
    EXPECT_EQ(settings.local_address, stations_read ? c.address : 9) << c.what;
  }

  // Through the files: a folder that cannot take the file is told apart from a configuration that
  // cannot be read.
  records::WorkingFiles working(folder_, 0, 1);
  PresenceSettings settings;
  EXPECT_EQ(WritePresenceConfiguration(PresenceKind::detection, working, folder_, settings),
            PresenceFileResult::configuration_bad);
  ASSERT_EQ(working.write_all(records::new_configuration()), records::Status::ok);
  EXPECT_EQ(WritePresenceConfiguration(PresenceKind::detection, working, folder_ / "missing", settings),
            PresenceFileResult::cannot_create);
  EXPECT_EQ(WritePresenceConfiguration(PresenceKind::detection, working, folder_, settings), PresenceFileResult::ok);
}

TEST_F(PresenceFileFailureTest, AddressMapFileRoundTripsAndRefusesAShortFile) {
  EXPECT_EQ(AddressMapPath(folder_, {1, 0}).filename(), "Conf_Adresses01.trv");
  EXPECT_EQ(AddressMapPath(folder_, {3, 2}).filename(), "Conf_Adresses23.trv");
  const fs::path path = AddressMapPath(folder_, {1, 0});
  EXPECT_FALSE(ReadAddressMap(path));

  AddressMap map{};
  for (int a : {0, 7, 8, 0x55, 255}) SetAddressBit(map, a, true);
  SetAddressBit(map, 7, false);
  SetAddressBit(map, 256, true);  // outside the map: nothing
  SetAddressBit(map, -1, true);
  EXPECT_EQ(map[0], 0x01);
  EXPECT_EQ(map[1], 0x01);
  EXPECT_EQ(map[10], 0x20);
  EXPECT_EQ(map[31], 0x80);
  EXPECT_FALSE(AddressBit(map, 256));
  ASSERT_TRUE(WriteAddressMap(path, map));
  EXPECT_EQ(fs::file_size(path), 32u);
  EXPECT_EQ(ReadAddressMap(path), map);

  ASSERT_TRUE(records::write_file_atomically(path, Bytes(31, 0xFF)));
  EXPECT_FALSE(ReadAddressMap(path)) << "a damaged map is not used";
  ASSERT_TRUE(records::write_file_atomically(path, Bytes(40, 0x0F)));
  AddressMap first32;
  first32.fill(0x0F);
  EXPECT_EQ(ReadAddressMap(path), first32) << "bytes past the map are not read";
  EXPECT_FALSE(WriteAddressMap(folder_ / "missing" / "map.trv", map));
}

}  // namespace
}  // namespace plandrel
