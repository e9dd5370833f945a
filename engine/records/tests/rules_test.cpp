// The rules over records: election count and priority, speed constant, table sizes, costs,
// memory estimate and the displayed times.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "records/byte_codec.h"
#include "records/configuration.h"
#include "records/general_param.h"
#include "records/instruction.h"
#include "records/timing.h"

namespace records {
namespace {

TEST(ElectionCount, FromPriorityAndAddress) {
  EXPECT_EQ(election_count(0, 0), 518);
  EXPECT_EQ(election_count(3, 0), ((4 * 256) * 2) + 6);
  EXPECT_EQ(election_count(15, 255), ((16 * 256 + 255) * 2) + 6);
  EXPECT_EQ(election_count(1000, 0), 0xFFFF);  // limited
}

class PriorityRoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};
TEST_P(PriorityRoundTrip, PriorityComesBackFromItsElectionCount) {
  const auto [priority, address] = GetParam();
  EXPECT_EQ(priority_from_election(election_count(priority, address), address), priority);
}
INSTANTIATE_TEST_SUITE_P(AllPriorities, PriorityRoundTrip,
                         ::testing::Combine(::testing::Range(0, 16),
                                            ::testing::Values(-1, 0, 1, 100, 255)));

TEST(Priority, DamagedCountsStayInRange) {
  EXPECT_EQ(priority_from_election(0, 0), 0);            // negative difference
  EXPECT_EQ(priority_from_election(0x7FFF + 518, 0), 15);  // capped
  EXPECT_EQ(priority_from_election(0xFFFF, 0), 0);       // a negative 16-bit difference
  EXPECT_EQ(priority_from_election(0x10000 + 518 + 512, 0), 1);  // only the low 16 bits count
  EXPECT_EQ(priority_from_election(-1, 0), 0);
}

TEST(SpeedConstant, FollowsTheBitRate) {
  GENERAL_PARAM p;
  for (auto [speed, constant] : {std::pair{0, 40}, {1, 64}, {2, 80}}) {
    set_speed(p, static_cast<std::uint16_t>(speed));
    EXPECT_EQ(p.speed, speed);
    EXPECT_EQ(p.speed_constant, constant);
  }
  EXPECT_EQ(speed_constant(3), 0);
}

struct TableCase {
  std::size_t count;
  std::uint16_t messages;
  std::uint16_t variables;
  std::uint16_t format3;
};
class TableSizes : public ::testing::TestWithParam<TableCase> {};
TEST_P(TableSizes, FollowTheirRules) {
  const TableCase c = GetParam();
  EXPECT_EQ(message_table_size(c.count), c.messages);
  EXPECT_EQ(variable_table_size(c.count), c.variables);
  EXPECT_EQ(format3_table_size(c.count), c.format3);
}
INSTANTIATE_TEST_SUITE_P(Counts, TableSizes,
                         ::testing::Values(TableCase{0, 4, 4, 16}, TableCase{4, 4, 8, 16},
                                           TableCase{5, 8, 8, 16}, TableCase{8, 8, 16, 16},
                                           TableCase{15, 16, 16, 16}, TableCase{16, 16, 32, 32},
                                           TableCase{33, 64, 64, 64}, TableCase{512, 512, 1024, 512},
                                           TableCase{600, 1024, 1024, 512},
                                           TableCase{4095, 4096, 4096, 512},
                                           TableCase{4096, 4096, 4096, 512},
                                           TableCase{9000, 4096, 4096, 512}));

TEST(InstructionCost, IdDatCostsFiveAnyOtherOne) {
  const std::vector<INSTRUCTION> one{make_instruction("ID_DAT(12)"), make_instruction("ID_MSG(12)"),
                                     make_instruction("ID_DAT"), make_instruction("WAIT(10)")};
  EXPECT_EQ(instruction_cost(one[0]), 5U);
  EXPECT_EQ(instruction_cost(one[1]), 1U);
  EXPECT_EQ(instruction_cost(one[2]), 1U);  // "ID_DAT(" needs its parenthesis
  EXPECT_EQ(instruction_cost(one, {}), 1U + 5 + 1 + 1 + 1);
  EXPECT_EQ(instruction_cost({}, {}), 1U);
  EXPECT_EQ(format3_instruction_cost(one, {}), 8U);
  EXPECT_EQ(format3_instruction_cost(one, {make_instruction("ID_DAT(1)")}), 8U + 5 + 1);
  EXPECT_EQ(format3_instruction_cost({}, {}), 0U);
}

TEST(SizeTables, SetsBothSizesAndTheBaBlocks) {
  Configuration c = new_configuration();
  c.messages.resize(5);
  c.variables.resize(8);
  size_tables(c, 2500);
  EXPECT_EQ(c.param.message_table_size, 8);
  EXPECT_EQ(c.param.variable_table_size, 16);
  EXPECT_EQ(c.param.ba_size, 3);
  size_tables(c, 1000);
  EXPECT_EQ(c.param.ba_size, 1);
  c.param.ba_size = 0;  // no bus arbitrator: stays 0
  size_tables(c, 5000);
  EXPECT_EQ(c.param.ba_size, 0);
}

TEST(MemoryEstimate, CountsTransmittedMessagesVariablesAndTheBa) {
  Configuration c = new_configuration();
  EXPECT_EQ(memory_estimate(c, 1), 256U + 1024 + 1 + 768);
  c.messages.resize(3);
  c.messages[0].transmitted = 1;
  c.messages[2].transmitted = 1;
  c.variables.resize(10);
  EXPECT_EQ(memory_estimate(c, 11), 256U + 1024 + 2 * 16 + 11 + 768 + 10 * 32);
  c.param.ba_size = 0;
  EXPECT_EQ(memory_estimate(c, 11), 256U + 1024 + 2 * 16 + 10 * 32);
  EXPECT_LE(memory_estimate(c, 11), kMemoryLimit);
}

TEST(Keys, RenumberFollowsTheIndex) {
  Configuration c = new_configuration();
  c.variables.resize(3);
  c.messages.resize(2);
  c.variables[2].key = 1;
  renumber_keys(c);
  EXPECT_EQ(c.variables[0].key, 5000);
  EXPECT_EQ(c.variables[2].key, 5002);
  EXPECT_EQ(c.messages[1].key, 35001);
  EXPECT_EQ(message_key(4095), 39095);
}

TEST(Timing, IndexAndFormulas) {
  GENERAL_PARAM p = new_general_param();  // 1 Mbit/s, turnaround 14, silence 22
  ASSERT_EQ(timing_index(p), 2U);
  const TimingEntry& e = kTimingTable[*timing_index(p)];
  EXPECT_DOUBLE_EQ(turnaround_time_us(p, e), 14 * 0.625 + 1.25);
  EXPECT_DOUBLE_EQ(silence_time_us(p, e), 22 * 5 + 40);
  EXPECT_DOUBLE_EQ(start_delay_ms(p, e), 22 * 5 * 8712 / 1000.0);
  EXPECT_DOUBLE_EQ(election_time_ms(p, e), 22 * 5 * 518 / 1000.0);
  p.clock_multiplier = 1;
  EXPECT_EQ(timing_index(p), 3U);
  p.speed = 2;
  EXPECT_EQ(timing_index(p), 5U);
  p.speed = 3;
  EXPECT_EQ(timing_index(p), std::nullopt);
  p.speed = 0;
  p.clock_multiplier = 2;
  EXPECT_EQ(timing_index(p), std::nullopt);
}

// Three stations, the local one at index 1: Out produced here for station 2, with periodic
// channel 1 and the aperiodic one; In produced by station 0 for the local station and station 2;
// Free with no producer, consumed here; Out2 on periodic channel 2; one message each way.
Configuration consistent_network() {
  Configuration c = new_configuration();
  c.station_count = 3;
  c.local_station = 1;
  c.stations[1] = make_station("Here", 1);
  c.stations[2] = make_station("There", 2);
  const auto variable = [&c](std::uint16_t identifier, std::int16_t producer, std::initializer_list<std::size_t> consumers,
                             std::uint8_t flags, std::int16_t channel) {
    VARIABLE4 v;
    v.identifier = identifier;
    v.producer = producer;
    for (std::size_t s : consumers) set_consumer(v, s, true);
    v.consumer_count = static_cast<std::uint16_t>(consumers.size());
    v.direction = producer == 1 ? 0 : 1;
    v.flags = flags;
    v.channel = channel;
    c.variables.push_back(v);
  };
  variable(0x10, 1, {2}, VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests, 1);
  variable(0x11, 0, {1, 2}, VARIABLE4::kMessageReception, -1);
  variable(0x12, -1, {1}, 0, -1);
  variable(0x13, 1, {}, VARIABLE4::kMessageChannel, 0);
  variable(0x14, 1, {0}, VARIABLE4::kMessageChannel, 2);
  MESSAGE4 out;
  out.source_identifier = 0x10;
  out.transmitted = 1;
  out.remote_station = 2;
  MESSAGE4 in;
  in.destination_identifier = 0x11;
  in.acknowledged = 1;
  in.remote_station = 0;
  c.messages = {out, in};
  renumber_keys(c);
  return c;
}

// Each contradiction that no editor leaves is refused; the oddities that the tree shows without,
// or that the checks before a connection tell by name, are kept.
TEST(Consistency, RefusesRecordsThatContradictEachOther) {
  struct Case {
    const char* name;
    std::function<void(Configuration&)> change;
    Status expected;
  };
  const Case cases[] = {
      {"as built", [](Configuration&) {}, Status::ok},
      {"local station moved to a station that produces", [](Configuration& c) { c.local_station = 0; },
       Status::inconsistent},
      {"local station moved to one not involved", [](Configuration& c) { c.local_station = 2; }, Status::inconsistent},
      {"local station outside the table", [](Configuration& c) { c.local_station = 3; },
       Status::local_station_out_of_range},
      {"produced here but by another station", [](Configuration& c) { c.variables[0].producer = 0; },
       Status::inconsistent},
      {"consumed here but produced here", [](Configuration& c) { c.variables[1].producer = 1; }, Status::inconsistent},
      {"consumed but the local bit clear", [](Configuration& c) { set_consumer(c.variables[1], 1, false); c.variables[1].consumer_count = 1; },
       Status::inconsistent},
      {"produced here and consumed here too",
       [](Configuration& c) { set_consumer(c.variables[0], 1, true); c.variables[0].consumer_count = 2; },
       Status::inconsistent},
      {"producer among its consumers", [](Configuration& c) { set_consumer(c.variables[1], 0, true); c.variables[1].consumer_count = 3; },
       Status::inconsistent},
      {"direction 2", [](Configuration& c) { c.variables[0].direction = 2; }, Status::inconsistent},
      {"direction of a consumed variable 0", [](Configuration& c) { c.variables[1].direction = 0; }, Status::inconsistent},
      {"consumer count below the set", [](Configuration& c) { c.variables[1].consumer_count = 1; }, Status::inconsistent},
      {"consumer count above the set", [](Configuration& c) { c.variables[1].consumer_count = 3; }, Status::inconsistent},
      {"consumer beyond the station count", [](Configuration& c) { set_consumer(c.variables[1], 3, true); c.variables[1].consumer_count = 3; },
       Status::inconsistent},
      {"consumer at the last station of the table", [](Configuration& c) { set_consumer(c.variables[1], 255, true); c.variables[1].consumer_count = 3; },
       Status::inconsistent},
      {"consumer at the last of 256 stations",
       [](Configuration& c) {
         c.station_count = 256;
         set_consumer(c.variables[1], 255, true);
         c.variables[1].consumer_count = 3;
       },
       Status::ok},
      {"consumed with a channel but no message requests", [](Configuration& c) { c.variables[1].channel = 0; },
       Status::inconsistent},
      {"consumed with message requests but no channel",
       [](Configuration& c) { c.variables[1].flags |= VARIABLE4::kMessageChannel; }, Status::inconsistent},
      // What the variable editor leaves on a variable that turns consumed, and format 3 gives it.
      {"consumed carrying message requests on a produced one's channel",
       [](Configuration& c) {
         c.variables[1].flags |= VARIABLE4::kMessageChannel;
         c.variables[1].channel = 2;
       },
       Status::ok},
      {"consumed carrying aperiodic message requests",
       [](Configuration& c) {
         c.variables[2].flags |= VARIABLE4::kMessageChannel;
         c.variables[2].channel = 0;
       },
       Status::ok},
      {"consumed with aperiodic variable requests",
       [](Configuration& c) { c.variables[2].flags |= VARIABLE4::kAperiodicVariableRequests; }, Status::ok},
      {"a channel without message requests",
       [](Configuration& c) { c.variables[3].flags = 0; }, Status::inconsistent},
      {"message requests without a channel", [](Configuration& c) { c.variables[4].channel = -1; }, Status::inconsistent},
      {"two variables on one periodic channel", [](Configuration& c) { c.variables[4].channel = 1; }, Status::ok},
      {"a gap in the periodic channels", [](Configuration& c) { c.variables[4].channel = 3; }, Status::ok},
      {"channel 9 after a gap", [](Configuration& c) { c.variables[4].channel = 9; }, Status::ok},
      {"two consumed variables on one channel",
       [](Configuration& c) {
         for (std::size_t i : {1u, 2u}) {
           c.variables[i].flags |= VARIABLE4::kMessageChannel;
           c.variables[i].channel = 1;
         }
       },
       Status::ok},
      {"channels swapped", [](Configuration& c) { std::swap(c.variables[0].channel, c.variables[4].channel); }, Status::ok},
      {"a second aperiodic channel", [](Configuration& c) { c.variables[4].channel = 0; }, Status::ok},
      {"refreshment status 2", [](Configuration& c) { c.variables[0].refreshment_status = 2; }, Status::inconsistent},
      {"promptness status 255", [](Configuration& c) { c.variables[1].promptness_status = 255; }, Status::inconsistent},
      {"transmitted 2", [](Configuration& c) { c.messages[0].transmitted = 2; }, Status::inconsistent},
      {"aperiodic 2", [](Configuration& c) { c.messages[0].aperiodic = 2; }, Status::inconsistent},
      {"acknowledged 2", [](Configuration& c) { c.messages[1].acknowledged = 2; }, Status::inconsistent},
      {"remote station outside the table", [](Configuration& c) { c.messages[0].remote_station = 300; }, Status::ok},
      {"remote station the local one", [](Configuration& c) { c.messages[0].remote_station = 1; }, Status::ok},
      {"message source no variable's", [](Configuration& c) { c.messages[0].source_identifier = 0x99; }, Status::ok},
      {"message channel no variable carries", [](Configuration& c) { c.messages[0].channel = 7; }, Status::ok},
      {"two variables with one identifier", [](Configuration& c) { c.variables[2].identifier = 0x10; }, Status::ok},
  };
  for (const Case& k : cases) {
    Configuration c = consistent_network();
    k.change(c);
    EXPECT_EQ(check_consistency(c), k.expected) << k.name;
  }

  // Nine dense periodic channels pass here: the checks before a connection refuse them by name.
  Configuration nine = consistent_network();
  for (std::int16_t channel = 3; channel <= 9; ++channel) {
    VARIABLE4 v = nine.variables[4];
    v.identifier = static_cast<std::uint16_t>(0x20 + channel);
    v.channel = channel;
    nine.variables.push_back(v);
  }
  EXPECT_EQ(check_consistency(nine), Status::ok);
  EXPECT_EQ(check_consistency(new_configuration()), Status::ok);
}

TEST(NewConfiguration, OneLocalStation) {
  const Configuration c = new_configuration();
  EXPECT_EQ(c.station_count, 1);
  EXPECT_EQ(c.local_station, 0);
  EXPECT_EQ(std::string(c.stations[0].name.data()), "Local station");
  EXPECT_EQ(c.stations[0].physical_address, 0);
  EXPECT_EQ(c.param, new_general_param());
}

}  // namespace
}  // namespace records
