// The rules over records: election count and priority, speed constant, table sizes, costs,
// memory estimate and the displayed times.
#include <gtest/gtest.h>

#include <tuple>

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
