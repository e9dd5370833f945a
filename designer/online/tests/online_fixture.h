// The on-line objects over the real engine on the simulated machine: the first PCI board runs a
// configuration with the remote station R5 beside it on the segment, as the session would after
// Connect (engine started, configuration downloaded, communication started). Simulated bus time
// moves only when the test runs the segment.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "corvix.h"
#include "online_fakes.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/configuration.h"
#include "records/instruction.h"
#include "sim/machine/machine.h"

namespace plandrel::testing {

constexpr sim::Nanoseconds kMs = 1000000;
constexpr sim::Nanoseconds kCycle = 10 * kMs;  // WAIT(A0) at 1 Mbit/s

constexpr std::uint16_t kLocalOut = 0x0100;   // produced here, consumed by R5
constexpr std::uint16_t kRemoteOut = 0x0200;  // produced by R5 (a counter from 7)
constexpr std::uint8_t kPduType = 0x40;

inline records::VARIABLE4 VariableRecord(std::uint16_t identifier, bool consumed, std::uint16_t length,
                                         bool statuses) {
  records::VARIABLE4 v;
  v.identifier = identifier;
  char name[16];
  std::snprintf(name, sizeof name, "V%04X", identifier);
  records::set_text(v.name, name);
  records::set_text(v.format, "%2h");
  v.direction = consumed ? 1 : 0;
  v.length = length;
  v.pdu_type = kPduType;
  v.channel = -1;
  v.field_74 = 1;
  v.producer = consumed ? -1 : 0;
  v.flags = consumed ? 0 : records::VARIABLE4::kMessageReception;
  if (statuses) {
    v.refreshment_status = 1;
    v.promptness_status = 1;
    v.refreshment_period = 50;
    v.promptness_period = 25;
  }
  return v;
}

inline records::MESSAGE4 MessageRecord(const char* name, std::uint16_t source, std::uint16_t destination,
                                       bool transmitted) {
  records::MESSAGE4 m;
  records::set_text(m.name, name);
  records::set_text(m.format, "%h");
  m.source_identifier = source;
  m.destination_identifier = destination;
  m.transmitted = transmitted ? 1 : 0;
  m.acknowledged = 1;
  m.aperiodic = 1;
  m.remote_station = -1;
  return m;
}

// The configuration of the tests: V0100 produced, V0200 consumed with both statuses, a message
// V0100 -> V0200 and a bus arbitrator that scans both and opens a message window.
inline records::Configuration RoadConfiguration(std::vector<std::string> program = {"ID_DAT(100)", "ID_DAT(200)",
                                                                                   "SEND_MSG(60)", "WAIT(A0)"},
                                                std::vector<std::string> program2 = {}) {
  records::Configuration c = records::new_configuration();
  c.variables = {VariableRecord(kLocalOut, false, 2, false), VariableRecord(kRemoteOut, true, 2, true)};
  c.messages = {MessageRecord("M_OUT", kLocalOut, kRemoteOut, true)};
  for (const std::string& line : program) c.sequence1.push_back(records::make_instruction(line));
  for (const std::string& line : program2) c.sequence2.push_back(records::make_instruction(line));
  records::size_tables(c, records::instruction_cost(c.sequence1, c.sequence2));
  records::renumber_keys(c);
  return c;
}

inline sim::MachineDescription MachineWithR5() {
  sim::MachineDescription d = sim::defaultMachine();
  sim::RemoteStationConfig r5;
  r5.name = "R5";
  r5.address = 5;
  r5.produces = {{.identifier = kRemoteOut,
                  .length = 2,
                  .pduType = kPduType,
                  .generator = {.kind = sim::ValueGenerator::Kind::Counter, .start = 7}}};
  r5.consumes = {kLocalOut};
  d.remoteStations = {r5};
  return d;
}

class OnlineOnMachine : public ::testing::Test {
 protected:
  // Boots the machine and brings the board on line with `configuration`.
  void Connect(const records::Configuration& configuration) {
    config = configuration;
    machine_ = &sim::bootMachine(MachineWithR5());
    const std::filesystem::path file = qbase::machineRoot() / "trv";
    ASSERT_TRUE(records::write_file_atomically(file, records::encode_format4(config)));
    ASSERT_EQ(START_FIP_ENGINE(1, 0), 0u);
    ASSERT_EQ(DOWNLOAD_CNF(file.string().c_str()), 0u);
    ASSERT_EQ(START_COMMUNICATION(), 0u);
    frame = std::make_unique<FakeFrame>(config);
  }
  void TearDown() override {
    STOP_FIP_ENGINE();
    sim::shutdownMachine();
  }
  sim::Segment& segment() { return machine_->segment(); }
  static std::uint8_t BaState() {
    std::uint8_t state = 0;
    EXPECT_EQ(BA_REPORT(&state), 0u);
    return state & 0x0F;
  }
  static void StartBus() {
    std::uint8_t state = 0;
    ASSERT_EQ(BA_REPORT(&state), 0u);
    ASSERT_EQ(START_BA(0), 0u);
  }
  struct Event {
    std::uint8_t value = 0, kind = 0, parameter = 0;
    std::uint16_t identifier = 0;
  };
  static std::vector<Event> PollEvents() {
    std::vector<Event> events;
    std::uint32_t pending = 0;
    while (IS_EVENT(&pending) == 0 && pending != 0) {
      Event e;
      std::uint8_t flag = 0;
      if (READ_EVENT(&flag, &e.value, &e.kind, &e.parameter, &e.identifier) != 0) break;
      events.push_back(e);
    }
    return events;
  }

  records::Configuration config;
  TestLocks locks;
  std::unique_ptr<FakeFrame> frame;

 private:
  sim::Machine* machine_ = nullptr;
};

}  // namespace plandrel::testing
