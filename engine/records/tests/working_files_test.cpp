// Working files, configuration files assembled from them, and whole-file writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/working_files.h"

namespace records {
namespace {

namespace fs = std::filesystem;

class WorkingFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  static Configuration sample() {
    Configuration c = new_configuration();
    c.sequence1 = {make_instruction("ID_DAT(10)")};
    MESSAGE4 m;
    set_text(m.name, "Message");
    m.transmitted = 1;
    m.channel = 2;
    c.messages = {m, m};
    VARIABLE4 v;
    set_text(v.name, std::string(32, 'v'));
    v.flags = VARIABLE4::kMessageChannel;
    v.channel = 2;
    c.variables = {v};
    LISTE_APER list;
    set_text(list.name, "List");
    list.identifiers = {0x10, 0x20};
    c.lists = {list};
    renumber_keys(c);
    return c;
  }

  static std::vector<std::uint8_t> contents(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(read_whole_file(path, kLargestConfigurationFile, bytes), FileRead::ok) << path;
    return bytes;
  }

  // Nothing but the expected files: no temporary file was left behind.
  std::size_t files_in_folder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
  }

  fs::path folder_;
};

TEST_F(WorkingFilesTest, NamesCarryTheBoardTypeAndNumber) {
  const WorkingFiles pci1(folder_, 0, 1);
  const std::vector<std::string> expected{"ba01.trv",        "messages01.trv", "param01.trv",
                                          "variables01.trv", "stations01.trv", "listes01.trv"};
  for (std::size_t i = 0; i < kSections.size(); ++i)
    EXPECT_EQ(pci1.path(kSections[i]), folder_ / expected[i]);
  EXPECT_EQ(WorkingFiles(folder_, 2, 3).path(Section::stations), folder_ / "stations23.trv");
  EXPECT_EQ(pci1.download_image(), folder_ / "trv");
}

TEST_F(WorkingFilesTest, ExistOnlyWhenAllSixDo) {
  const WorkingFiles working(folder_, 0, 1);
  EXPECT_FALSE(working.exist());
  ASSERT_EQ(working.write_all(sample()), Status::ok);
  EXPECT_TRUE(working.exist());
  EXPECT_FALSE(WorkingFiles(folder_, 1, 1).exist());  // another board's files never collide
  fs::remove(working.path(Section::listes));
  EXPECT_FALSE(working.exist());
}

TEST_F(WorkingFilesTest, EachFileHoldsItsSectionAndReadsBack) {
  const WorkingFiles working(folder_, 1, 2);
  const Configuration c = sample();
  ASSERT_EQ(working.write_all(c), Status::ok);
  Configuration read;
  for (Section section : kSections) {
    std::vector<std::uint8_t> expected;
    encode_section(section, c, expected);
    EXPECT_EQ(contents(working.path(section)), expected) << section_name(section);
    ASSERT_EQ(working.read(section, read), Status::ok);
  }
  EXPECT_EQ(read, c);
  EXPECT_EQ(files_in_folder(), 6U);
}

TEST_F(WorkingFilesTest, ConfigurationFilesAreAssembledFromTheWorkingFiles) {
  const WorkingFiles working(folder_, 0, 1);
  const Configuration c = sample();
  ASSERT_EQ(working.write_all(c), Status::ok);
  // A trailing byte after a section is not copied: only its counted records are.
  std::ofstream(working.path(Section::messages), std::ios::app | std::ios::binary) << 'X';

  ASSERT_EQ(working.write_format4(working.download_image()), Status::ok);
  EXPECT_EQ(contents(working.download_image()), encode_format4(c));
  ASSERT_EQ(working.write_format3(folder_ / "old.cnf"), Status::ok);
  EXPECT_EQ(contents(folder_ / "old.cnf"), encode_format3(c));
}

TEST_F(WorkingFilesTest, AFailedWriteKeepsThePreviousConfigurationFile) {
  const WorkingFiles working(folder_, 0, 1);
  ASSERT_EQ(working.write_all(sample()), Status::ok);
  const fs::path target = folder_ / "keep.cnf";
  const std::vector<std::uint8_t> previous{1, 2, 3};
  ASSERT_TRUE(write_file_atomically(target, previous));

  // A damaged working file: the variable count promises more records than the file holds.
  std::vector<std::uint8_t> variables = contents(working.path(Section::variables));
  variables[0] = 9;
  ASSERT_TRUE(write_file_atomically(working.path(Section::variables), variables));
  EXPECT_EQ(working.write_format4(target), Status::truncated);
  EXPECT_EQ(working.write_format3(target), Status::truncated);
  EXPECT_EQ(contents(target), previous);

  fs::remove(working.path(Section::variables));
  EXPECT_EQ(working.write_format4(target), Status::cannot_open);
  EXPECT_EQ(working.write_format3(target), Status::cannot_open);
  EXPECT_EQ(contents(target), previous);
  EXPECT_EQ(files_in_folder(), 6U);
}

TEST_F(WorkingFilesTest, UnwritablePlacesAreReported) {
  const WorkingFiles missing(folder_ / "no such folder", 0, 1);
  EXPECT_EQ(missing.write(Section::param, sample()), Status::cannot_create_working_file);
  EXPECT_EQ(missing.write_all(sample()), Status::cannot_create_working_file);

  const WorkingFiles working(folder_, 0, 1);
  ASSERT_EQ(working.write_all(sample()), Status::ok);
  EXPECT_EQ(working.write_format4(folder_ / "no such folder" / "a.cnf"), Status::cannot_write);
  fs::create_directory(folder_ / "a folder");
  EXPECT_EQ(working.write_format4(folder_ / "a folder"), Status::cannot_write);
  EXPECT_EQ(files_in_folder(), 7U);
}

TEST_F(WorkingFilesTest, LoadingWritesTheWorkingFiles) {
  const WorkingFiles working(folder_, 0, 1);
  Configuration c = sample();
  c.messages[0].channel = 12;
  const fs::path file = folder_ / "in.cnf";
  ASSERT_TRUE(write_file_atomically(file, encode_format4(c)));

  Configuration loaded;
  LoadSummary summary;
  ASSERT_EQ(load_configuration_file(file, working, loaded, summary), Status::ok);
  EXPECT_EQ(loaded.messages[0].channel, 0);
  EXPECT_EQ(summary.instruction_cost, 6U);
  // The working files hold the records as loaded, so the download image matches them.
  ASSERT_EQ(working.write_format4(working.download_image()), Status::ok);
  EXPECT_EQ(contents(working.download_image()), encode_format4(loaded));
}

TEST_F(WorkingFilesTest, LoadingFormat3GivesTheFormat4WorkingFiles) {
  Configuration c = sample();
  c.messages.clear();
  const fs::path file = folder_ / "v3.cnf";
  ASSERT_TRUE(write_file_atomically(file, encode_format3(c)));
  const WorkingFiles working(folder_, 0, 1);
  Configuration loaded;
  LoadSummary summary;
  ASSERT_EQ(load_configuration_file(file, working, loaded, summary), Status::ok);
  EXPECT_EQ(summary.format, Format::v3);
  Configuration stations;
  ASSERT_EQ(working.read(Section::stations, stations), Status::ok);
  EXPECT_EQ(stations.station_count, 2);
  EXPECT_EQ(text_of(stations.stations[1].name), "Mirror");
  Configuration lists = sample();
  ASSERT_EQ(working.read(Section::listes, lists), Status::ok);
  EXPECT_TRUE(lists.lists.empty());
}

TEST_F(WorkingFilesTest, DamagedOrMissingFilesWriteNoWorkingFile) {
  const WorkingFiles working(folder_, 0, 1);
  Configuration loaded = sample();
  LoadSummary summary;
  EXPECT_EQ(load_configuration_file(folder_ / "absent.cnf", working, loaded, summary),
            Status::cannot_open);
  EXPECT_EQ(load_configuration_file(folder_, working, loaded, summary), Status::cannot_open);

  std::vector<std::uint8_t> bytes = encode_format4(sample());
  bytes.resize(bytes.size() - 3);
  ASSERT_TRUE(write_file_atomically(folder_ / "cut.cnf", bytes));
  EXPECT_EQ(load_configuration_file(folder_ / "cut.cnf", working, loaded, summary),
            Status::truncated);
  EXPECT_EQ(loaded, sample());
  EXPECT_FALSE(fs::exists(working.path(Section::ba)));
}

TEST_F(WorkingFilesTest, AtomicWriteReplacesTheWholeFile) {
  const fs::path target = folder_ / "file";
  ASSERT_TRUE(write_file_atomically(target, std::vector<std::uint8_t>(1000, 7)));
  ASSERT_TRUE(write_file_atomically(target, std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(contents(target), (std::vector<std::uint8_t>{1, 2}));
  ASSERT_TRUE(write_file_atomically(target, {}));
  EXPECT_TRUE(contents(target).empty());
  EXPECT_EQ(files_in_folder(), 1U);
}

}  // namespace
}  // namespace records
