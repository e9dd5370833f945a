// The record commands without a display: what a station's, variable's or message's removal moves
// in everything that names it, the limits and costs New and Duplicate test, copies, the presence
// variable, and the document's stale working files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/config_checks.h"
#include "model/consumer_set.h"
#include "model/presence_variable.h"
#include "model/record_commands.h"
#include "model/tests/document_fixture.h"
#include "records/byte_codec.h"

namespace plandrel {
namespace {

using records::MESSAGE4;
using records::VARIABLE4;

VARIABLE4 variable(const char* name, std::uint16_t identifier, int producer, std::vector<int> consumers) {
  VARIABLE4 v;
  records::set_text(v.name, name);
  v.identifier = identifier;
  SetConsumerStations(v, consumers);
  v.producer = static_cast<std::int16_t>(producer);
  v.direction = producer == 0 ? 0 : 1;
  v.channel = -1;
  return v;
}

MESSAGE4 message(bool transmitted, std::uint16_t source, std::uint16_t destination, int remote, bool acknowledged = false) {
  MESSAGE4 m;
  m.transmitted = transmitted ? 1 : 0;
  m.source_identifier = source;
  m.destination_identifier = destination;
  m.remote_station = static_cast<std::int16_t>(remote);
  m.acknowledged = acknowledged ? 1 : 0;
  return m;
}

class RecordCommands : public testing::DocumentFixture {
 protected:
  records::Configuration& c() { return document_->Records(); }
  void stations(std::uint16_t count) {
    c().station_count = count;
    for (std::uint16_t i = 1; i < count; ++i)
      c().stations[i] = records::make_station("S" + std::to_string(i), static_cast<std::int16_t>(i));
  }
  void settle() {
    records::renumber_keys(c());
    document_->SetMemoryEstimate(records::memory_estimate(c(), document_->GetInstructionCost()));
  }
};

TEST_F(RecordCommands, RemovingAStationMovesEveryIndexAboveItDownOne) {
  stations(50);
  c().local_station = 7;
  c().variables = {variable("A", 1, 1, {5, 40}), variable("B", 2, 41, {7, 31, 32, 255}), variable("C", 3, 7, {0})};
  c().messages = {message(true, 2, 1, 40), message(false, 1, 2, 3), message(true, 3, 9, 2)};
  ASSERT_EQ(RemoveStation(c(), 3), StationRemoval::removed);

  EXPECT_EQ(c().station_count, 49);
  EXPECT_EQ(records::text_of(c().stations[3].name), "S4");
  EXPECT_EQ(c().local_station, 6);
  EXPECT_EQ(ConsumerStations(c().variables[0], 256), (std::vector<std::uint16_t>{4, 39}));
  EXPECT_EQ(ConsumerStations(c().variables[1], 256), (std::vector<std::uint16_t>{6, 30, 31, 254}));
  EXPECT_EQ(c().variables[1].consumer_count, 4);
  EXPECT_EQ(c().variables[1].producer, 40);
  EXPECT_EQ(c().variables[0].producer, 1);  // below the removed station: unchanged
  // A remote station above goes down one; the removed one leaves its message without one.
  EXPECT_EQ(c().messages[0].remote_station, 39);
  EXPECT_EQ(c().messages[1].remote_station, -1);
  EXPECT_EQ(c().messages[2].remote_station, 2);
}

TEST_F(RecordCommands, OnlyAnUnusedStationOtherThanTheLocalOneGoes) {
  stations(41);
  c().variables = {variable("A", 1, 2, {0}), variable("B", 2, 0, {5})};
  const records::Configuration before = c();
  EXPECT_EQ(RemoveStation(c(), 0), StationRemoval::local_station);
  EXPECT_EQ(RemoveStation(c(), 2), StationRemoval::in_use);  // producer
  EXPECT_EQ(RemoveStation(c(), 5), StationRemoval::in_use);  // consumer
  EXPECT_EQ(RemoveStation(c(), 41), StationRemoval::no_such_station);
  EXPECT_TRUE(c() == before);
  EXPECT_EQ(RemoveStation(c(), 40), StationRemoval::removed);
  EXPECT_EQ(c().station_count, 40);
}

TEST_F(RecordCommands, RemovingAVariableClosesItsChannelGapAndFreesItsMessagesFarEnds) {
  stations(4);
  c().variables = {variable("A", 0x10, 0, {1}), variable("B", 0x11, 0, {2}), variable("C", 0x12, 0, {3}),
                   variable("D", 0x13, 0, {1})};
  for (std::size_t i = 1; i < 4; ++i) {
    c().variables[i].flags = VARIABLE4::kMessageChannel;
    c().variables[i].channel = static_cast<std::int16_t>(i + 1);  // channels 2, 3, 4
  }
  c().messages = {message(true, 0x10, 0x11, 2), message(false, 0x11, 0x10, 2), message(true, 0x10, 0x12, 3)};
  settle();
  const std::uint32_t estimate = document_->GetMemoryEstimate();

  const RemovedVariable removed = RemoveVariable(*document_, 1);
  EXPECT_EQ(records::text_of(removed.record.name), "B");
  EXPECT_EQ(removed.record.key, 5001);
  EXPECT_EQ(removed.messages_changed, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(c().messages[0].remote_station, -1);
  EXPECT_EQ(c().messages[1].remote_station, -1);
  EXPECT_EQ(c().messages[2].remote_station, 3);
  EXPECT_EQ(c().variables[1].channel, 2);
  EXPECT_EQ(c().variables[2].channel, 3);
  EXPECT_EQ(c().variables[1].key, 5001);
  EXPECT_EQ(c().variables[2].key, 5002);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate - 32);
}

TEST_F(RecordCommands, AVariableIsInUseWhereItsMessagesCannotGoWithoutIt) {
  struct Case {
    MESSAGE4 m;
    bool used;
  };
  const Case cases[] = {
      {message(true, 0x10, 0x99, -1), true},         // transmitted from it
      {message(false, 0x99, 0x10, 1), true},         // received into it
      {message(true, 0x99, 0x10, 1, true), true},    // acknowledged to it
      {message(true, 0x99, 0x10, 1), false},         // sent to it unacknowledged
      {message(false, 0x10, 0x99, 1), false},        // received from it
  };
  c().variables = {variable("A", 0x10, 0, {})};
  for (const Case& k : cases) {
    c().messages = {k.m};
    EXPECT_EQ(VariableInUse(c(), 0), k.used) << int(k.m.transmitted) << " " << k.m.source_identifier;
  }
}

TEST_F(RecordCommands, LimitsAndMemoryOfNewAndDuplicate) {
  c().variables.resize(4094);
  EXPECT_FALSE(RefuseAdding(*document_, ListKind::variables, 1));
  EXPECT_EQ(RefuseAdding(*document_, ListKind::variables, 2), kVariablesFull);
  c().variables.resize(4095);
  EXPECT_EQ(RefuseAdding(*document_, ListKind::variables, 1), kVariablesFull);
  c().messages.resize(4096);
  EXPECT_EQ(RefuseAdding(*document_, ListKind::messages, 1), kMessagesFull);
  c().station_count = 256;
  EXPECT_EQ(RefuseAdding(*document_, ListKind::stations, 1), kStationsFull);
  c().lists.resize(65534);
  EXPECT_FALSE(RefuseAdding(*document_, ListKind::lists, 1));
  EXPECT_EQ(RefuseAdding(*document_, ListKind::lists, 2), kListsFull);

  c().variables.clear();
  c().messages.clear();
  c().lists.clear();
  document_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 40);
  EXPECT_FALSE(RefuseAdding(*document_, ListKind::variables, 1));
  EXPECT_EQ(RefuseAdding(*document_, ListKind::variables, 2), kMemorySpaceFull);
  EXPECT_FALSE(RefuseAdding(*document_, ListKind::messages, 2));
  EXPECT_EQ(RefuseAdding(*document_, ListKind::messages, 3), kMemorySpaceFull);
  EXPECT_FALSE(RefuseAdding(*document_, ListKind::lists, 3));
}

TEST_F(RecordCommands, NewRecordsCopiesAndTheirCosts) {
  stations(3);
  c().local_station = 2;
  // A new variable is the local station's; a new message is transmitted, so it costs 16.
  ASSERT_EQ(AppendNewRecord(c(), ListKind::variables), 0u);
  EXPECT_EQ(c().variables[0].producer, 2);
  EXPECT_EQ(c().variables[0].key, 5000);
  EXPECT_EQ(RecordCost(c(), ListKind::variables, 0), 32u);
  ASSERT_EQ(AppendNewRecord(c(), ListKind::messages), 0u);
  EXPECT_EQ(RecordCost(c(), ListKind::messages, 0), 16u);
  ASSERT_EQ(AppendNewRecord(c(), ListKind::stations), 3u);
  EXPECT_EQ(c().station_count, 4);
  EXPECT_EQ(c().stations[3].physical_address, -1);
  RemoveLastRecord(c(), ListKind::stations);
  EXPECT_EQ(c().station_count, 3);

  records::set_text(c().variables[0].name, "Pump");
  ASSERT_EQ(AppendCopy(*document_, ListKind::variables, 0), 1u);
  ASSERT_EQ(AppendCopy(*document_, ListKind::variables, 0), 2u);
  EXPECT_EQ(records::text_of(c().variables[1].name), "Pump(2)");
  EXPECT_EQ(records::text_of(c().variables[2].name), "Pump(3)");
  EXPECT_EQ(c().variables[2].key, 5002);
  c().messages[0].transmitted = 0;
  ASSERT_EQ(AppendCopy(*document_, ListKind::messages, 0), 1u);
  EXPECT_EQ(c().messages[1].key, 35001);
  EXPECT_EQ(RecordCost(c(), ListKind::messages, 1), 0u);  // a received message costs nothing
  c().lists = {DefaultList()};
  c().lists[0].identifiers = {0x10, 0x20};
  ASSERT_EQ(AppendCopy(*document_, ListKind::lists, 0), 1u);
  EXPECT_EQ(c().lists[1].identifiers, c().lists[0].identifiers);
  EXPECT_EQ(records::text_of(c().lists[1].name), "untitled(2)");
  EXPECT_FALSE(AppendCopy(*document_, ListKind::lists, 5));
}

TEST_F(RecordCommands, RemovingAMessageTakesItsCostAndRenumbersTheKeys) {
  c().messages = {message(true, 1, 2, -1), message(false, 1, 2, -1), message(true, 3, 4, -1)};
  settle();
  const std::uint32_t estimate = document_->GetMemoryEstimate();
  RemoveMessage(*document_, 1);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate);
  EXPECT_EQ(RemoveMessage(*document_, 0).source_identifier, 1);
  EXPECT_EQ(document_->GetMemoryEstimate(), estimate - 16);
  ASSERT_EQ(c().messages.size(), 1u);
  EXPECT_EQ(c().messages[0].key, 35000);
}

TEST_F(RecordCommands, EndChecksTheMessageRequestVariables) {
  for (int k = 0; k < 9; ++k) {
    c().variables.push_back(variable("V", static_cast<std::uint16_t>(k), 0, {}));
    c().variables.back().flags = VARIABLE4::kMessageChannel;
    c().variables.back().channel = static_cast<std::int16_t>(k + 1);
  }
  settle();
  EXPECT_EQ(MessageChannelsProblem(c()), kTooManyPeriodicChannels);
  c().variables.pop_back();
  EXPECT_FALSE(MessageChannelsProblem(c()));
  c().messages = {message(true, 0, 1, -1)};
  c().messages[0].aperiodic = 1;
  EXPECT_EQ(MessageChannelsProblem(c()), kNoAperiodicChannel);
  c().messages[0].aperiodic = 0;
  EXPECT_FALSE(MessageChannelsProblem(c()));
  for (auto& v : c().variables) v.channel = 0;
  EXPECT_EQ(MessageChannelsProblem(c()), kNoPeriodicChannel);
}

TEST_F(RecordCommands, PresenceVariable) {
  stations(3);
  const VARIABLE4 remote = MakePresenceVariable(c(), 2, "Presence_S2", 18);
  EXPECT_EQ(remote.identifier, 0x1412);
  EXPECT_EQ(remote.direction, 1);
  EXPECT_EQ(ConsumerStations(remote, 3), (std::vector<std::uint16_t>{0}));
  const VARIABLE4 local = MakePresenceVariable(c(), 0, "Presence_L", 0);
  EXPECT_EQ(local.direction, 0);
  EXPECT_EQ(local.consumer_count, 0);

  c().variables = {remote};
  EXPECT_EQ(FindPresenceVariable(c(), 2, 18), 0u);
  EXPECT_FALSE(FindPresenceVariable(c(), 1, 18));  // another station's
  EXPECT_FALSE(FindPresenceVariable(c(), 2, -1));
  c().variables[0].length = 4;
  EXPECT_FALSE(FindPresenceVariable(c(), 2, 18));

  // A name of 32 characters already taken gives another one of at most 32, at once.
  const std::string station(23, 'x');
  c().variables = {variable(("Presence_" + station).c_str(), 1, 0, {})};
  const std::string name = PresenceVariableName(*document_, station);
  EXPECT_EQ(name, "Presence_" + std::string(20, 'x') + "(2)");
  EXPECT_EQ(PresenceVariableName(*document_, "S1"), "Presence_S1");
}

TEST_F(RecordCommands, StaleWorkingFilesAreWrittenBeforeAConfigurationFile) {
  records::Configuration stored;
  c().variables = {variable("Kept", 1, 0, {})};
  settle();
  ASSERT_TRUE(document_->WriteWorkingFile(records::Section::variables));
  c().variables.clear();
  document_->MarkWorkingFileStale(records::Section::variables);
  EXPECT_TRUE(document_->IsWorkingFileStale(records::Section::variables));
  EXPECT_FALSE(document_->IsWorkingFileStale(records::Section::messages));

  const std::filesystem::path file = folder_ / "saved.cnf";
  ASSERT_TRUE(document_->WriteFormat4(file));
  EXPECT_FALSE(document_->IsWorkingFileStale(records::Section::variables));
  ASSERT_EQ(document_->GetWorkingFiles().read(records::Section::variables, stored), records::Status::ok);
  EXPECT_TRUE(stored.variables.empty());
}

}  // namespace
}  // namespace plandrel
