// Files that the designer's own writers produce open again: random format-3 files spelled out from
// the file layout, and format-4 files left by random runs of the editors, the record commands and
// format 3's writer and reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "model/config_checks.h"
#include "model/consumer_set.h"
#include "model/tests/document_fixture.h"
#include "model/message_channels.h"
#include "records/config_format.h"
#include "records/tests/designer_files.h"

namespace plandrel {
namespace {

using records::Configuration;
using records::VARIABLE4;
namespace tb = records::test_bytes;

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }
  std::uint8_t flag() { return static_cast<std::uint8_t>(pick(0, 1)); }
  std::uint8_t flags() {  // any of reception, message requests and aperiodic variable requests
    return static_cast<std::uint8_t>((chance(50) ? 0x01 : 0) | (chance(50) ? 0x02 : 0) | (chance(50) ? 0x40 : 0));
  }

 private:
  std::mt19937 engine_;
};

records::Status Open(std::span<const std::uint8_t> file, Configuration& read) {
  records::LoadSummary summary;
  const records::Status decoded = records::decode_configuration(file, read, summary);
  return decoded != records::Status::ok ? decoded : records::check_consistency(read);
}

TEST(StoredFiles, EveryFormat3FileOfTheLayoutOpens) {
  Random random(43);
  for (int round = 0; round < 200; ++round) {
    std::vector<tb::FileVariable> variables(static_cast<std::size_t>(random.pick(0, 24)));
    for (std::size_t i = 0; i < variables.size(); ++i) {
      tb::FileVariable& v = variables[i];
      v.identifier = static_cast<std::uint16_t>(random.pick(0, 0xFFFF));
      v.name = "V" + std::to_string(i);
      v.channel = static_cast<std::int16_t>(random.pick(-32768, 32767));
      v.direction = random.flag();
      v.flags = random.flags();
      v.refreshment = random.flag();
      v.promptness = random.flag();
    }
    std::vector<tb::FileMessage> messages(static_cast<std::size_t>(random.pick(0, 8)));
    for (tb::FileMessage& m : messages) {
      const auto end = [&]() -> std::uint16_t {
        return variables.empty() || random.chance(10)
                   ? static_cast<std::uint16_t>(random.pick(0, 0xFFFF))
                   : variables[static_cast<std::size_t>(random.pick(0, static_cast<int>(variables.size()) - 1))].identifier;
      };
      m = {.source = end(), .destination = end(), .name = "M", .acknowledged = random.flag(),
           .aperiodic = random.flag(), .transmitted = random.flag()};
    }
    Configuration read;
    EXPECT_EQ(Open(tb::format3_file(variables, messages), read), records::Status::ok) << round;
  }
}

// One run of the editors over a configuration: a variable's Save as the variable editor does it
// (the emission and aperiodic request boxes keep their states when the variable turns consumed,
// and Save sets the flags from them whatever the direction), deletions and copies as the list
// dialog does them, messages on the channels that the message editor offers, Connect's lowering of
// the channels, and a save in format 3 read back.
class EditorRun {
 public:
  explicit EditorRun(Random& random) : random_(random) {
    c_ = records::new_configuration();
    c_.station_count = static_cast<std::uint16_t>(random_.pick(2, 5));
    c_.local_station = static_cast<std::uint16_t>(random_.pick(0, c_.station_count - 1));
  }
  const Configuration& records() const { return c_; }

  void Step() {
    switch (random_.pick(0, 9)) {
      case 0: case 1: case 2: New(); break;
      case 3: case 4: case 5: Save(AnyVariable()); break;
      case 6: Delete(AnyVariable()); break;
      case 7: Message(); break;
      case 8: Connect(); break;
      default: {
        if (!random_.chance(50)) break;
        Configuration read;
        records::LoadSummary summary;
        ASSERT_EQ(records::decode_configuration(records::encode_format3(c_), read, summary), records::Status::ok);
        c_ = read;
      }
    }
  }

 private:
  int Station() { return random_.pick(0, c_.station_count - 1); }
  std::optional<std::size_t> AnyVariable() {
    if (c_.variables.empty()) return std::nullopt;
    return static_cast<std::size_t>(random_.pick(0, static_cast<int>(c_.variables.size()) - 1));
  }
  void New() {
    if (c_.variables.size() >= 60) return;
    VARIABLE4 v;
    v.identifier = static_cast<std::uint16_t>(random_.pick(0, 0xFFFF));
    v.producer = static_cast<std::int16_t>(c_.local_station);
    // A copy holds its source's channel until its own Save.
    if (const auto source = AnyVariable(); source && random_.chance(30)) v = c_.variables[*source];
    c_.variables.push_back(v);
    records::renumber_keys(c_);
    Save(c_.variables.size() - 1);
  }
  void Save(std::optional<std::size_t> index) {
    if (!index) return;
    const VARIABLE4 record = c_.variables[*index];
    VARIABLE4 copy = record;
    const bool produced_at_opening = record.direction == 0;
    bool emission = produced_at_opening && (record.flags & VARIABLE4::kMessageChannel);
    bool aperiodic = emission && record.channel == 0;
    bool requests = produced_at_opening && (record.flags & VARIABLE4::kAperiodicVariableRequests);
    const auto click_boxes = [&] {
      if (random_.chance(40)) emission = !emission;
      if (random_.chance(30)) aperiodic = !aperiodic;
      if (random_.chance(30)) requests = !requests;
    };
    if (produced_at_opening) click_boxes();
    // The station dialogs, then the stations check that sets the direction.
    if (random_.chance(40)) {
      SetProducer(copy, random_.chance(50) ? c_.local_station : Station());
      if (copy.producer != c_.local_station) AddConsumer(copy, c_.local_station);
    }
    if (CheckVariableStations(c_, copy) != kCheckOk) return;
    if (copy.direction == 0) click_boxes();
    copy.flags = static_cast<std::uint8_t>((copy.flags & VARIABLE4::kMessageReception) |
                                           (emission ? VARIABLE4::kMessageChannel : 0) |
                                           (requests ? VARIABLE4::kAperiodicVariableRequests : 0));
    if (!emission) {
      copy.channel = -1;
    } else if (aperiodic) {
      copy.channel = 0;
    } else {
      const auto free = FreePeriodicChannel(c_, &record);
      if (CountPeriodicMessageChannels(c_, &record) > 7 || !free) return;
      copy.channel = *free;
    }
    copy.refreshment_status = random_.flag();
    copy.promptness_status = random_.flag();
    if (record.channel > 0 && copy.channel < 1) CloseChannelGap(c_, record.channel, record.key);
    c_.variables[*index] = copy;
  }
  void Delete(std::optional<std::size_t> index) {
    if (!index) return;
    const VARIABLE4 v = c_.variables[*index];
    if ((v.flags & VARIABLE4::kMessageChannel) && v.channel > 0) CloseChannelGap(c_, v.channel, v.key);
    c_.variables.erase(c_.variables.begin() + static_cast<std::ptrdiff_t>(*index));
    records::renumber_keys(c_);
  }
  void Message() {
    records::MESSAGE4 m;
    m.transmitted = random_.flag();
    m.aperiodic = random_.flag();
    m.acknowledged = random_.flag();
    m.remote_station = static_cast<std::int16_t>(random_.pick(-1, c_.station_count - 1));
    const auto entries = ChannelVariables(c_, m.aperiodic == 0);
    if (m.aperiodic == 0 && !entries.empty())
      m.channel = static_cast<std::uint16_t>(entries[static_cast<std::size_t>(random_.pick(0, static_cast<int>(entries.size()) - 1))].channel);
    c_.messages.push_back(m);
    records::renumber_keys(c_);
  }
  void Connect() {
    const std::size_t periodic = CountPeriodicMessageChannels(c_, nullptr);
    for (records::MESSAGE4& m : c_.messages)
      if (m.transmitted && m.aperiodic == 0 && periodic != 0 && m.channel > periodic)
        m.channel = static_cast<std::uint16_t>(periodic);
  }

  Random& random_;
  Configuration c_;
};

TEST(StoredFiles, EveryFormat4FileThatTheEditorsLeaveOpens) {
  Random random(4343);
  int consumed_with_requests = 0, gaps = 0;  // steps that reached what the check used to refuse
  for (int run = 0; run < 150; ++run) {
    EditorRun editors(random);
    for (int step = 0; step < 40; ++step) {
      ASSERT_NO_FATAL_FAILURE(editors.Step());
      const Configuration& c = editors.records();
      Configuration read;
      ASSERT_EQ(Open(records::encode_format4(c), read), records::Status::ok) << "run " << run << " step " << step;
      ASSERT_EQ(Open(records::encode_format3(c), read), records::Status::ok) << "run " << run << " step " << step;
      consumed_with_requests += std::any_of(c.variables.begin(), c.variables.end(), [](const VARIABLE4& v) {
        return v.direction == 1 && (v.flags & (VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests));
      });
      // A free channel below the highest taken one.
      const auto free = FreePeriodicChannel(c, nullptr);
      gaps += free && static_cast<std::size_t>(*free) <= CountPeriodicMessageChannels(c, nullptr);
    }
  }
  EXPECT_GT(consumed_with_requests, 1000);
  EXPECT_GT(gaps, 30);
}

// Current configuration takes the same records from the working files.
using StoredWorkingFiles = testing::DocumentFixture;
TEST_F(StoredWorkingFiles, TheWorkingFilesOfSuchAConfigurationReload) {
  Configuration c;
  ASSERT_EQ(Open(tb::format4_file(tb::designer_stations(), 0, tb::designer_variables(), tb::designer_messages(1)), c),
            records::Status::ok);
  ASSERT_EQ(document_->GetWorkingFiles().write_all(c), records::Status::ok);
  CPlandrelDoc fresh(host_, folder_, SelectedDevice{});
  ASSERT_TRUE(fresh.ReloadWorkingFiles()) << (host_.shown.empty() ? "" : host_.texts().front());
  EXPECT_EQ(fresh.Records(), c);
}

}  // namespace
}  // namespace plandrel
