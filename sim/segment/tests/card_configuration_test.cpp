#include "sim/segment/card_configuration.h"

#include <gtest/gtest.h>

#include "sim/segment/tests/card_image.h"

namespace sim {
namespace {

using testing::ImageLayout;
using testing::ImageVariable;

struct TimingCase {
    BusSettings bus;
    Nanoseconds turnaround, silence, baUnit;
};

class TimingDecode : public ::testing::TestWithParam<TimingCase> {};

TEST_P(TimingDecode, HeaderGivesBusSettingsAndPeriods) {
    const TimingCase& c = GetParam();
    CardModel card;
    ImageLayout layout;
    layout.bus = c.bus;
    layout.variables = {{.identifier = 0x100, .produced = true, .length = 4, .refreshment = true, .refreshmentMs = 100},
                      {.identifier = 0x200, .produced = false, .length = 8, .promptness = true, .promptnessMs = 300}};
    testing::writeImage(card, layout);
    const auto config = readCardConfiguration(card);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->settings.bitRate, c.bus.bitRate);
    EXPECT_EQ(config->settings.turnaroundCount, c.bus.turnaroundCount);
    EXPECT_EQ(config->settings.silenceCount, c.bus.silenceCount);
    EXPECT_EQ(config->timing.turnaround, c.turnaround);
    EXPECT_EQ(config->timing.silence, c.silence);
    EXPECT_EQ(config->timing.baUnit, c.baUnit);
    EXPECT_TRUE(config->baMemory);
    EXPECT_EQ(config->programWord, 0x2800);
    ASSERT_EQ(config->variables.size(), 2u);
    const CardVariable& produced = config->variables[0];
    EXPECT_EQ(produced.kind, VariableKind::Produced);
    EXPECT_EQ(produced.length, 4);
    EXPECT_TRUE(produced.refreshment);
    // Periods go through the card's BA units: within one unit of what was configured.
    EXPECT_NEAR(static_cast<double>(produced.refreshmentPeriod), 100e6, static_cast<double>(c.baUnit));
    const CardVariable& consumed = config->variables[1];
    EXPECT_EQ(consumed.kind, VariableKind::Consumed);
    EXPECT_EQ(consumed.index, 1);
    EXPECT_TRUE(consumed.promptness);
    EXPECT_FALSE(consumed.refreshment);
    EXPECT_NEAR(static_cast<double>(consumed.promptnessPeriod), 300e6, static_cast<double>(c.baUnit));
}

INSTANTIATE_TEST_SUITE_P(
    BitRates, TimingDecode,
    ::testing::Values(
        // 31.25 kbit/s: turnaround 3 x 128 + 40 us, silence 4 x 1024 + 64 us, unit 100 us.
        TimingCase{{BitRate::k31k25, false, 3, 4, 0, true}, 424000, 4160000, 100000},
        // 1 Mbit/s: turnaround 14 x 0.625 + 1.25 = 10 us, silence 22 x 5 + 40 us, slot 1 = 250 us.
        TimingCase{{BitRate::k1M, false, 14, 22, 1, true}, 10000, 150000, 250000},
        TimingCase{{BitRate::k1M, true, 3, 4, 0, false}, 13250, 168000, 62500},
        // 2.5 Mbit/s: turnaround 10 x 1.6 + 0.5 us, silence 5 x 12.8 + 32 us, slot 3 = 2000 us.
        TimingCase{{BitRate::k2M5, false, 10, 5, 3, true}, 16500, 96000, 2000000}));

TEST(CardConfiguration, LeadingSlotsRepeatTheFirstVariable) {
    CardModel card;
    ImageLayout layout;
    layout.tableSize = 8;
    for (std::uint16_t id : {0x10, 0x20, 0x30, 0x40, 0x50}) layout.variables.push_back({.identifier = id, .produced = id % 0x20 != 0});
    testing::writeImage(card, layout);
    const auto config = readCardConfiguration(card);
    ASSERT_TRUE(config);
    ASSERT_EQ(config->variables.size(), 5u);
    for (std::uint16_t i = 0; i < 5; ++i) {
        EXPECT_EQ(config->variables[i].index, i);
        EXPECT_EQ(config->variables[i].identifier, 0x10 * (i + 1));
    }
    EXPECT_TRUE(config->find(0x20, VariableKind::Consumed));
    EXPECT_FALSE(config->find(0x20, VariableKind::Produced));
    EXPECT_EQ(config->at(3)->identifier, 0x40);
    EXPECT_EQ(config->at(9), nullptr);
}

TEST(CardConfiguration, NoImageOrDamagedHeaderGivesNothing) {
    CardModel card;
    EXPECT_FALSE(readCardConfiguration(card));  // power-on content

    ImageLayout layout;
    layout.variables = {{.identifier = 1}};
    testing::writeImage(card, layout);
    ASSERT_TRUE(readCardConfiguration(card));
    Page header = card.page(128);
    header[6] = 0x10;  // T = 4096
    header[7] = 0x00;
    card.setPage(128, header);
    EXPECT_FALSE(readCardConfiguration(card));

    header[6] = 0x00;
    header[7] = 0x04;
    header[0] = 0x03;  // variable descriptors from page 16 x 0x3FF: outside card memory
    header[1] = 0xFF;
    card.setPage(128, header);
    EXPECT_FALSE(readCardConfiguration(card));
}

TEST(CardConfiguration, WithoutBaMemoryDescriptorsStartAtPage160) {
    CardModel card;
    ImageLayout layout;
    layout.baMemory = false;
    layout.variables = {{.identifier = 0x77, .produced = false, .length = 3}};
    testing::writeImage(card, layout);
    const auto config = readCardConfiguration(card);
    ASSERT_TRUE(config);
    EXPECT_FALSE(config->baMemory);
    ASSERT_EQ(config->variables.size(), 1u);
    EXPECT_EQ(config->variables[0].identifier, 0x77);
    EXPECT_EQ(config->variables[0].length, 3);
}

}  // namespace
}  // namespace sim
