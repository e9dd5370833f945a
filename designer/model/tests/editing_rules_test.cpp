// The record rules the editors share: consumer sets, remote stations, message channels, the
// identifier change carried into the messages and the period bound.
#include <gtest/gtest.h>

#include <vector>

#include "model/consumer_set.h"
#include "model/message_channels.h"
#include "model/message_ends.h"
#include "model/temporal_periods.h"
#include "records/byte_codec.h"

namespace plandrel {
namespace {

using records::MESSAGE4;
using records::VARIABLE4;

VARIABLE4 variable(std::uint16_t identifier, std::int16_t producer, std::vector<int> consumers, std::uint16_t key) {
  VARIABLE4 v;
  v.identifier = identifier;
  v.key = key;
  SetConsumerStations(v, consumers);
  v.producer = producer;
  v.channel = kNoChannel;
  return v;
}

MESSAGE4 message(bool transmitted, std::uint16_t source, std::uint16_t destination, std::int16_t remote) {
  MESSAGE4 m;
  m.transmitted = transmitted ? 1 : 0;
  m.source_identifier = source;
  m.destination_identifier = destination;
  m.remote_station = remote;
  return m;
}

records::Configuration network(std::uint16_t stations) {
  records::Configuration c = records::new_configuration();
  c.station_count = stations;
  return c;
}

TEST(ConsumerSet, StationIndexesMapToBitsOfTheirWordAndNeverBeyondTheSet) {
  VARIABLE4 v;
  SetConsumerStations(v, std::vector<int>{200, 40, 0, 255, 40, 256, 300, -1});
  EXPECT_EQ(v.consumers[6], 1u << 8);  // station 200: bit 8 of word 6
  EXPECT_EQ(v.consumers[1], 1u << 8);  // station 40, once
  EXPECT_EQ(v.consumers[7], 1u << 31);
  EXPECT_EQ(v.consumer_count, 4);      // 256, 300 and -1 are no stations
  EXPECT_EQ(ConsumerStations(v, 256), (std::vector<std::uint16_t>{0, 40, 200, 255}));
  EXPECT_EQ(ConsumerStations(v, 41), (std::vector<std::uint16_t>{0, 40}));
  EXPECT_FALSE(IsConsumer(v, 300));
  EXPECT_FALSE(IsConsumer(v, -1));
}

TEST(ConsumerSet, ProducerAndLocalConsumerMoves) {
  // Choosing a consumer as producer takes it out of the set; choosing another station changes
  // neither.
  VARIABLE4 v = variable(1, 3, {40, 7}, 5000);
  SetProducer(v, 40);
  EXPECT_EQ(v.producer, 40);
  EXPECT_EQ(v.consumers[1], 0u);
  EXPECT_EQ(v.consumer_count, 1);
  SetProducer(v, 12);
  EXPECT_EQ(v.consumer_count, 1);
  EXPECT_TRUE(IsConsumer(v, 7));
  // The local station 33 made a consumer: bit 1 of word 1, counted once.
  AddConsumer(v, 33);
  AddConsumer(v, 33);
  EXPECT_EQ(v.consumers[1], 1u << 1);
  EXPECT_EQ(v.consumer_count, 2);
}

TEST(MessageEnds, RemoteStationOfAVariable) {
  records::Configuration c = network(20);
  c.local_station = 0;
  VARIABLE4 consumed = variable(0x10, 5, {0}, 5000);
  consumed.direction = 1;
  VARIABLE4 one = variable(0x11, 0, {17}, 5001);
  VARIABLE4 two = variable(0x12, 0, {17, 18}, 5002);
  VARIABLE4 lost = variable(0x13, 0, {}, 5003);
  lost.consumer_count = 1;  // a damaged file: one consumer counted, no bit set
  VARIABLE4 beyond = variable(0x14, 0, {40}, 5004);
  VARIABLE4 far_producer = variable(0x15, 90, {0}, 5005);
  far_producer.direction = 1;
  c.variables = {consumed, one, two, lost, beyond, far_producer, variable(0x11, 0, {3}, 5006)};
  struct Case {
    std::uint16_t identifier;
    std::int16_t remote;
  };
  for (const Case& k : {Case{0x10, 5}, Case{0x11, 17}, Case{0x12, -1}, Case{0x13, -1}, Case{0x14, -1},
                        Case{0x15, -1}, Case{0x99, -1}})
    EXPECT_EQ(RemoteStationOf(c, k.identifier), k.remote) << std::hex << k.identifier;
}

TEST(MessageEnds, AnIdentifierChangeFollowsTheLocalEndAndAFarEndWithAStation) {
  records::Configuration c = network(4);
  c.messages = {
      message(true, 0x10, 0x20, 2),    // transmitted: source follows
      message(true, 0x20, 0x10, 2),    // far end with a remote station follows
      message(true, 0x20, 0x10, -1),   // far end typed for another network stays
      message(false, 0x10, 0x20, 2),   // received: source at the far end follows
      message(false, 0x10, 0x20, -1),  // ...not without a remote station
      message(false, 0x20, 0x10, -1),  // destination follows
      message(true, 0x30, 0x31, 1),    // another variable's
  };
  EXPECT_EQ(CarryIdentifierChange(c, 0x10, 0x1A), (std::vector<std::size_t>{0, 1, 3, 5}));
  const std::vector<std::pair<int, int>> ends = {{0x1A, 0x20}, {0x20, 0x1A}, {0x20, 0x10}, {0x1A, 0x20},
                                                 {0x10, 0x20}, {0x20, 0x1A}, {0x30, 0x31}};
  for (std::size_t i = 0; i < ends.size(); ++i) {
    EXPECT_EQ(c.messages[i].source_identifier, ends[i].first) << i;
    EXPECT_EQ(c.messages[i].destination_identifier, ends[i].second) << i;
  }

  // A presence variable renumbered: a transmitted message's destination follows only when the
  // message is acknowledged as well; the other ends as before.
  c.messages = {message(true, 0x20, 0x10, 2), message(true, 0x20, 0x10, 2), message(false, 0x10, 0x20, 2),
                message(false, 0x20, 0x10, -1), message(true, 0x10, 0x20, -1)};
  c.messages[1].acknowledged = 1;
  EXPECT_EQ(CarryIdentifierChange(c, 0x10, 0x1A, FarEndRule::acknowledged_destination),
            (std::vector<std::size_t>{1, 2, 3, 4}));
  EXPECT_EQ(c.messages[0].destination_identifier, 0x10);
  EXPECT_EQ(c.messages[1].destination_identifier, 0x1A);
  EXPECT_EQ(c.messages[2].source_identifier, 0x1A);
  EXPECT_EQ(c.messages[3].destination_identifier, 0x1A);
  EXPECT_EQ(c.messages[4].source_identifier, 0x1A);
}

TEST(MessageEnds, AFarEndKeepsItsStationWhileItProducesOrConsumesTheVariable) {
  records::Configuration c = network(8);
  const VARIABLE4 v = variable(0x10, 3, {0, 5}, 5000);
  c.messages = {
      message(true, 0x40, 0x10, 5),   // a consumer
      message(false, 0x10, 0x40, 3),  // the producer: kept too
      message(true, 0x40, 0x10, 6),   // neither: detached
      message(false, 0x10, 0x40, 7),  // neither
      message(true, 0x10, 0x40, 6),   // names the variable at its local end only
      message(true, 0x40, 0x10, -1),
  };
  EXPECT_EQ(DetachRemoteStations(c, v), (std::vector<std::size_t>{2, 3}));
  const std::vector<int> remotes = {5, 3, -1, -1, 6, -1};
  for (std::size_t i = 0; i < remotes.size(); ++i) EXPECT_EQ(c.messages[i].remote_station, remotes[i]) << i;
}

TEST(MessageChannels, PeriodicChannelsStayDense) {
  records::Configuration c = network(2);
  auto channel = [](std::uint16_t key, std::int16_t ch, std::uint8_t direction = 0) {
    VARIABLE4 v = variable(static_cast<std::uint16_t>(key - 4900), 0, {1}, key);
    v.flags = VARIABLE4::kMessageChannel;
    v.channel = ch;
    v.direction = direction;
    return v;
  };
  c.variables = {channel(5000, 1), channel(5001, 2), channel(5002, 3), channel(5003, 4), channel(5004, 0),
                 variable(0x99, 0, {1}, 5005)};
  // Sent periodically on channels 3, 4 and 1; received or sent aperiodically (their channel unused).
  const auto on = [](std::uint16_t ch, bool transmitted = true, std::uint8_t aperiodic = 0) {
    MESSAGE4 m = message(transmitted, 0x99, 0x99, -1);
    m.channel = ch;
    m.aperiodic = aperiodic;
    return m;
  };
  c.messages = {on(3), on(4), on(1), on(4, false), on(4, true, 1)};
  EXPECT_TRUE(CarriesPeriodicMessage(c, c.variables[2]));
  EXPECT_FALSE(CarriesPeriodicMessage(c, c.variables[1]));
  // A copy of the variable of channel 4, its editor not yet saved: channel 4 is still held.
  VARIABLE4 copy = c.variables[3];
  copy.key = 5006;
  c.variables.push_back(copy);
  EXPECT_FALSE(CarriesPeriodicMessage(c, copy));
  EXPECT_TRUE(CloseChannelGap(c, 4, 5006).empty());
  c.variables.pop_back();
  // Channel 2 given up: 3 and 4 move down with the messages sent on them; the aperiodic channel,
  // the one giving up, the received and the aperiodic message stay.
  EXPECT_EQ(CloseChannelGap(c, 2, 5001), (std::vector<std::size_t>{0, 1}));
  const std::vector<int> channels = {1, 2, 2, 3, 0, -1};
  for (std::size_t i = 0; i < channels.size(); ++i) EXPECT_EQ(c.variables[i].channel, channels[i]) << i;
  const std::vector<int> message_channels = {2, 3, 1, 4, 4};
  for (std::size_t i = 0; i < message_channels.size(); ++i) EXPECT_EQ(c.messages[i].channel, message_channels[i]) << i;
  c.variables[1].channel = kNoChannel;
  c.variables[1].flags = 0;
  EXPECT_EQ(FreePeriodicChannel(c, nullptr), 4);
  EXPECT_EQ(FreePeriodicChannel(c, &c.variables[3]), 3);  // its own channel is free to it
  EXPECT_EQ(FindChannelVariable(c, 2), c.variables[2].identifier);
  EXPECT_EQ(FindChannelVariable(c, 0), c.variables[4].identifier);
  EXPECT_FALSE(FindChannelVariable(c, 7));
  EXPECT_EQ(ChannelVariables(c, true).size(), 3u);
  EXPECT_EQ(ChannelVariables(c, false).size(), 1u);
  for (std::int16_t ch = 4; ch <= 8; ++ch) c.variables.push_back(channel(static_cast<std::uint16_t>(5006 + ch), ch));
  EXPECT_FALSE(FreePeriodicChannel(c, nullptr));
  // A consumed variable's channel is no local channel.
  c.variables.push_back(channel(5020, 9, 1));
  EXPECT_FALSE(FindChannelVariable(c, 9));
}

TEST(TemporalPeriods, SixteenThousandUnitsOfTheSlotTime) {
  struct Case {
    std::uint16_t speed_constant;
    std::uint16_t slot;
    float largest;
  };
  for (const Case& k : {Case{64, 0, 1023.9375F}, Case{64, 3, 40957.5F}, Case{40, 3, 65532.0F}, Case{80, 1, 3276.6F},
                        Case{64, 4, 0.0F}, Case{0, 0, 0.0F}, Case{63, 0, 0.0F}}) {
    records::GENERAL_PARAM p = records::new_general_param();
    p.speed_constant = k.speed_constant;
    p.slot_time = k.slot;
    EXPECT_FLOAT_EQ(LargestPeriodMs(p), k.largest) << k.speed_constant << " " << k.slot;
  }
}

}  // namespace
}  // namespace plandrel
