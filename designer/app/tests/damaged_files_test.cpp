// Files whose indices lie inside their tables but whose records contradict each other: Open
// refuses them and changes nothing, or the checks before a connection tell what is wrong; a file
// that passes both gives the session an item under the local station for every variable and
// message, so that Connect never ends in the tree error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "configuration_tree.h"
#include "first_network.h"
#include "memory_tree.h"
#include "model/config_checks.h"
#include "model/plandrel_doc.h"
#include "model/tests/scripted_host.h"
#include "records/atomic_file.h"
#include "records/config_format.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;
using records::Configuration;

// What Connect asks of the tree built at Open: the item of each variable among the children of the
// local station's item, and of each message among their children.
bool EveryItemUnderTheLocalStation(const Configuration& c) {
  testing::MemoryTree tree;
  if (ConfigurationTree(tree).build(c) != 0) return false;
  std::set<std::uint32_t> codes;
  for (auto station = tree.first_child(tree.first_root()); station; station = tree.next_sibling(station)) {
    if (tree.data(station) != station_code(c.local_station)) continue;
    for (auto variable = tree.first_child(station); variable; variable = tree.next_sibling(variable)) {
      codes.insert(tree.data(variable));
      for (auto message = tree.first_child(variable); message; message = tree.next_sibling(message))
        codes.insert(tree.data(message));
    }
  }
  for (const auto& v : c.variables)
    if (!codes.contains(v.key)) return false;
  for (const auto& m : c.messages)
    if (!codes.contains(m.key)) return false;
  return true;
}

class DamagedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // In memory where the system offers it: each Open writes six working files.
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    folder_ = base / ("damaged_files_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "work");
    doc_ = std::make_unique<CPlandrelDoc>(host_, folder_ / "work", SelectedDevice{1, 0});
    example_ = Write(examples::first_network(), "first_network.cnf");
    ASSERT_TRUE(doc_->ReadConfiguration(example_));
  }
  void TearDown() override {
    doc_.reset();
    fs::remove_all(folder_);
  }
  fs::path Write(const Configuration& c, const std::string& name) {
    const fs::path path = folder_ / name;
    EXPECT_TRUE(records::write_file_atomically(path, records::encode_format4(c)));
    return path;
  }

  testing::ScriptedHost host_;
  fs::path folder_;
  fs::path example_;
  std::unique_ptr<CPlandrelDoc> doc_;
};

constexpr std::size_t kSetpoint = 2;  // produced by the local station (index 0)
constexpr std::int16_t kArbitratorR5 = 1;

// The two files that reached the tree error: the local station index set to R5's, and Setpoint
// still marked produced here with R5 as its producer. The reader takes both; Open refuses them.
TEST_F(DamagedFiles, TheFilesThatEndedInTheTreeErrorAreRefusedAtOpen) {
  Configuration local_moved = examples::first_network();
  local_moved.local_station = kArbitratorR5;
  Configuration producer_moved = examples::first_network();
  producer_moved.variables[kSetpoint].producer = kArbitratorR5;
  const Configuration before = doc_->Records();

  for (const Configuration* damaged : {&local_moved, &producer_moved}) {
    Configuration read;
    records::LoadSummary summary;
    ASSERT_EQ(records::decode_configuration(records::encode_format4(*damaged), read, summary), records::Status::ok);
    EXPECT_FALSE(EveryItemUnderTheLocalStation(read));  // what Connect would have met

    host_.shown.clear();
    EXPECT_FALSE(doc_->ReadConfiguration(Write(*damaged, "damaged.cnf")));
    EXPECT_EQ(host_.texts(), std::vector<std::string>{"Cannot open file : invalid format."});
    EXPECT_EQ(doc_->Records(), before);
    EXPECT_EQ(doc_->GetPathName(), fs::absolute(example_).lexically_normal());
    EXPECT_FALSE(doc_->IsModified());
  }

  // The same records in the working files: Current configuration takes none of them.
  ASSERT_EQ(doc_->GetWorkingFiles().write_all(producer_moved), records::Status::ok);
  CPlandrelDoc fresh(host_, folder_ / "work", SelectedDevice{1, 0});
  host_.shown.clear();
  EXPECT_FALSE(fresh.ReloadWorkingFiles());
  EXPECT_EQ(host_.texts(), std::vector<std::string>{"Warning :\nProblem in intermediate files management."});
  EXPECT_TRUE(fresh.IsUntouched());
}

// Index fields of the example changed at random within their tables: each file is refused at Open
// with nothing changed, or refused by the checks before a connection, or connects with every item
// in place. Among those that connect are files whose consumed variables kept message requests or
// aperiodic variable requests, as the variable editor leaves them.
TEST_F(DamagedFiles, NoFileOfChangedIndicesReachesTheTreeError) {
  std::mt19937 random(38);
  const auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  const Configuration example = examples::first_network();
  const int stations = example.station_count;
  const int variables = static_cast<int>(example.variables.size());
  const int messages = static_cast<int>(example.messages.size());

  int refused = 0, explained = 0, connected = 0;
  int kept_requests = 0;  // connected with a consumed variable that kept 0x02 or 0x40
  for (int round = 0; round < 300; ++round) {
    Configuration c = example;
    for (int changes = pick(1, 3); changes > 0; --changes) {
      auto& v = c.variables[static_cast<std::size_t>(pick(0, variables - 1))];
      auto& m = c.messages[static_cast<std::size_t>(pick(0, messages - 1))];
      switch (pick(0, 13)) {
        case 0: c.local_station = static_cast<std::uint16_t>(pick(0, stations - 1)); break;
        case 1: v.producer = static_cast<std::int16_t>(pick(-1, stations - 1)); break;
        case 2: {
          const auto station = static_cast<std::size_t>(pick(0, stations - 1));
          records::set_consumer(v, station, !records::is_consumer(v, station));
          break;
        }
        case 3: v.consumer_count = static_cast<std::uint16_t>(pick(0, stations)); break;
        case 4: v.direction = static_cast<std::uint8_t>(pick(0, 1)); break;
        case 5: v.flags ^= std::array<std::uint8_t, 3>{0x01, 0x02, 0x40}[static_cast<std::size_t>(pick(0, 2))]; break;
        case 6: v.channel = static_cast<std::int16_t>(pick(-1, 8)); break;
        case 7: m.transmitted = static_cast<std::uint8_t>(pick(0, 1)); break;
        case 8: m.aperiodic = static_cast<std::uint8_t>(pick(0, 1)); break;
        case 9: m.acknowledged = static_cast<std::uint8_t>(pick(0, 1)); break;
        case 10: m.remote_station = static_cast<std::int16_t>(pick(-1, stations - 1)); break;
        case 11: m.source_identifier = c.variables[static_cast<std::size_t>(pick(0, variables - 1))].identifier; break;
        case 12: m.destination_identifier = c.variables[static_cast<std::size_t>(pick(0, variables - 1))].identifier; break;
        default: m.channel = static_cast<std::uint16_t>(pick(0, 8)); break;
      }
    }
    const Configuration before = doc_->Records();
    host_.shown.clear();
    if (!doc_->ReadConfiguration(Write(c, "swept.cnf"))) {
      ++refused;
      EXPECT_EQ(host_.texts(), std::vector<std::string>{"Cannot open file : invalid format."}) << round;
      EXPECT_EQ(doc_->Records(), before) << round;
      continue;
    }
    if (!CheckBeforeConnect(*doc_)) {
      ++explained;
    } else {
      ++connected;
      EXPECT_TRUE(EveryItemUnderTheLocalStation(doc_->Records())) << round;
      const auto& opened = doc_->Records().variables;
      kept_requests += std::any_of(opened.begin(), opened.end(), [](const records::VARIABLE4& v) {
        return v.direction == 1 && (v.flags & (records::VARIABLE4::kMessageChannel |
                                               records::VARIABLE4::kAperiodicVariableRequests));
      });
    }
    doc_->SetModifiedFlag(false);  // a channel the checks corrected asks no question at the next Open
  }
  // Every road was taken.
  EXPECT_GT(refused, 0);
  EXPECT_GT(explained, 0);
  EXPECT_GT(connected, 0);
  EXPECT_GT(kept_requests, 0);  // what the variable editor leaves on a variable that turns consumed
}

}  // namespace
}  // namespace plandrel
