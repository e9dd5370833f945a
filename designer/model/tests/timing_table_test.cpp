#include "model/timing_table.h"

#include <gtest/gtest.h>

namespace plandrel {
namespace {

TEST(TimingTable, FilledRowsAndBoundedIndexes) {
  TimingTable table;
  table.Fill();
  EXPECT_EQ(table.bytes[TimingTable::kMinTurnaround][2], 14);
  EXPECT_EQ(table.bytes[TimingTable::kMinSilence][3], 4);
  EXPECT_FLOAT_EQ(table.floats[TimingTable::kTurnaroundUnit][2], 0.625F);
  EXPECT_FLOAT_EQ(table.floats[TimingTable::kSilenceUnit][4], 12.8F);

  struct Case {
    std::uint16_t speed;
    std::uint8_t clock_multiplier;
    std::size_t index;
  };
  // Speeds and multipliers from a damaged file fall back to 1 Mbit/s without multiplier.
  for (const Case& k : {Case{0, 0, 0}, Case{1, 1, 3}, Case{2, 1, 5}, Case{3, 0, 2},
                        Case{0xFFFF, 0, 2}, Case{1, 2, 2}, Case{2, 0xFF, 2}}) {
    records::GENERAL_PARAM param = records::new_general_param();
    param.speed = k.speed;
    param.clock_multiplier = k.clock_multiplier;
    EXPECT_EQ(TimingTable::Index(param), k.index) << k.speed << "/" << int{k.clock_multiplier};
    EXPECT_EQ(table.Entry(param).min_turnaround, records::kTimingTable[k.index].min_turnaround);
  }
  EXPECT_EQ(table.Entry(99).bit_time_us, table.Entry(5).bit_time_us);
}

}  // namespace
}  // namespace plandrel
