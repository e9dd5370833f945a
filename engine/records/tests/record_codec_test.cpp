// Every record against bytes written from its layout, and byte-identical round trips.
#include <gtest/gtest.h>

#include <random>

#include "golden.h"
#include "records/ba_param.h"
#include "records/byte_codec.h"
#include "records/format3.h"
#include "records/general_param.h"
#include "records/instruction.h"
#include "records/liste_aper.h"
#include "records/message4.h"
#include "records/station4.h"
#include "records/variable4.h"

namespace records {
namespace {

using test_bytes::Golden;

template <class R>
void expect_golden(const R& record, const Golden& golden) {
  ASSERT_EQ(golden.size(), R::size);
  const auto encoded = to_bytes(record);
  EXPECT_EQ(std::vector<std::uint8_t>(encoded.begin(), encoded.end()), golden.bytes());
  const R decoded = from_bytes<R>(std::span<const std::uint8_t, R::size>(golden.bytes().data(), R::size));
  EXPECT_EQ(decoded, record);
}

TEST(RecordCodec, NewGeneralParam) {
  Golden g(34);
  g.at(0, {64, 0}).at(2, {1, 0}).at(4, {0, 0}).at(6, {14, 0}).at(8, {22, 0});
  g.at(14, {1, 0}).at(16, {0x30, 0x75});         // ba_size 1, padding identifier 30000
  g.at(18, {0x06, 0x02, 0, 0});                   // election count 518
  g.at(22, {0x08, 0x22, 0, 0});                   // start delay 8712
  g.at(26, {0}).at(27, {1});
  expect_golden(new_general_param(), g);
}

TEST(RecordCodec, GeneralParamEveryField) {
  GENERAL_PARAM p;
  p.speed_constant = 0x0102;
  p.speed = 0x0304;
  p.slot_time = 0x0506;
  p.turnaround = 0x0708;
  p.silence = 0x090A;
  p.message_table_size = 0x0B0C;
  p.variable_table_size = 0x0D0E;
  p.ba_size = 0x0F10;
  p.padding_identifier = 0x1112;
  p.election_count = -2;
  p.start_delay = 0x13141516;
  p.clock_multiplier = 0x17;
  p.frame_type = 0x18;
  p.reserved_28 = 0x191A;
  p.reserved_30 = 0x1B1C;
  p.reserved_32 = 0x1D1E;
  Golden g(34);
  g.at(0, {0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A, 0x09, 0x0C, 0x0B, 0x0E, 0x0D,
           0x10, 0x0F, 0x12, 0x11});
  g.at(18, {0xFE, 0xFF, 0xFF, 0xFF}).at(22, {0x16, 0x15, 0x14, 0x13});
  g.at(26, {0x17, 0x18, 0x1A, 0x19, 0x1C, 0x1B, 0x1E, 0x1D});
  expect_golden(p, g);
}

TEST(RecordCodec, BaParam) {
  BA_PARAM ba;
  ba.program_from_file = 1;
  set_text(ba.program_path, "C:\\prog.ba");
  ba.program_path[260] = 'Z';  // a byte after the NUL survives
  Golden g(262);
  g.at(0, {1}).text(1, "C:\\prog.ba").text(261, "Z");
  expect_golden(ba, g);
}

TEST(RecordCodec, Instruction) {
  Golden g(15);
  g.text(0, "ID_DAT(1A2)");
  expect_golden(make_instruction("ID_DAT(1A2)"), g);
  EXPECT_EQ(text_of(make_instruction("NEXT_MACRO_1(12345)").text), "NEXT_MACRO_1(12");
  EXPECT_EQ(text_of(make_instruction("SEND_APER(FFFF)").text), "SEND_APER(FFFF)");
}

TEST(RecordCodec, Message4) {
  MESSAGE4 m;
  m.source_identifier = 0x1234;
  m.destination_identifier = 0x5678;
  m.channel = 3;
  m.event_number = 0x0102;
  m.source_segment = 4;
  m.destination_segment = 5;
  set_text(m.name, "Alarm");
  set_text(m.format, "%h");
  m.acknowledged = 1;
  m.aperiodic = 0;
  m.transmitted = 1;
  m.remote_station = -1;
  m.key = 35007;
  Golden g(83);
  g.at(0, {0x34, 0x12, 0x78, 0x56, 3, 0, 0x02, 0x01, 4, 5}).text(10, "Alarm").text(43, "%h");
  g.at(76, {1, 0, 1, 0xFF, 0xFF, 0xBF, 0x88});
  expect_golden(m, g);
}

TEST(RecordCodec, Variable4) {
  VARIABLE4 v;
  v.identifier = 0x0A0B;
  set_text(v.name, "Pump");
  set_text(v.format, "%2d");
  v.pdu_type = 0x40;
  v.length = 2;
  v.channel = -1;
  v.field_74 = 1;
  v.producer = 3;
  v.consumer_count = 2;
  set_consumer(v, 0, true);
  set_consumer(v, 200, true);  // bit 8 of word 6
  v.direction = 1;
  v.refreshment_status = 1;
  v.promptness_status = 0;
  v.flags = VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests;
  v.refreshment_period = 100;
  v.promptness_period = 0x1234;
  v.key = 5003;
  Golden g(122);
  g.at(0, {0x0B, 0x0A}).text(2, "Pump").text(35, "%2d");
  g.at(68, {0x40, 0, 2, 0, 0xFF, 0xFF, 1, 0, 3, 0, 2, 0});
  g.at(80, {1, 0, 0, 0});        // word 0: station 0
  g.at(80 + 24, {0, 1, 0, 0});   // word 6: station 200
  g.at(112, {1, 1, 0, 0x42, 100, 0, 0x34, 0x12, 0x8B, 0x13});
  expect_golden(v, g);
  EXPECT_EQ(v.consumers[6], 1U << 8);
}

TEST(RecordCodec, Station4) {
  Golden g(35);
  g.text(0, "Local station").at(33, {0, 0});
  expect_golden(make_station("Local station", 0), g);
  Golden none(35);
  none.text(0, "Remote").at(33, {0xFF, 0xFF});
  expect_golden(make_station("Remote", -1), none);
}

TEST(RecordCodec, NameOfExactly32CharactersEndsWithItsNul) {
  const std::string name(32, 'N');
  const STATION4 s = make_station(name, 1);
  const auto bytes = to_bytes(s);
  EXPECT_EQ(bytes[31], 'N');
  EXPECT_EQ(bytes[32], 0);
  EXPECT_EQ(text_of(s.name), name);
  EXPECT_EQ(text_of(make_station(name + "X", 1).name), name);
}

TEST(RecordCodec, Message3) {
  MESSAGE3 m;
  m.source_identifier = 0x0102;
  m.destination_identifier = 0x0304;
  m.reserved_4 = 0x0506;
  m.event_number = 0x0708;
  set_text(m.name, "Old message");
  set_text(m.format, "%x");
  m.acknowledged = 1;
  m.periodic = 1;
  m.transmitted = 0;
  Golden g(71);
  g.at(0, {2, 1, 4, 3, 6, 5, 8, 7}).text(8, "Old message").text(38, "%x").at(68, {1, 1, 0});
  expect_golden(m, g);
}

TEST(RecordCodec, Variable3) {
  VARIABLE3 v;
  v.identifier = 0x0102;
  set_text(v.name, "Old variable");
  set_text(v.format, "%d");
  v.pdu_type = 0x0304;
  v.length = 0x0506;
  v.channel = 0x0708;
  v.field_74 = 0x090A;
  v.direction = 1;
  v.refreshment_status = 2;
  v.promptness_status = 3;
  v.flags = 4;
  v.refreshment_period = 0x0B0C;
  v.promptness_period = 0x0D0E;
  Golden g(78);
  g.at(0, {2, 1}).text(2, "Old variable").text(32, "%d");
  g.at(62, {4, 3, 6, 5, 8, 7, 0x0A, 0x09, 1, 2, 3, 4, 0x0C, 0x0B, 0x0E, 0x0D});
  expect_golden(v, g);
}

TEST(RecordCodec, ListeAper) {
  LISTE_APER list;
  set_text(list.name, "Urgent ones");
  list.urgent = 1;
  list.identifiers = {0x1234, 0x0005};
  Golden g;
  g.text(0, "Urgent ones").at(33, {1, 2, 0x34, 0x12, 0x05, 0x00});
  ASSERT_EQ(encoded_size(list), g.size());
  std::vector<std::uint8_t> out(encoded_size(list));
  encode(list, out);
  EXPECT_EQ(out, g.bytes());

  LISTE_APER decoded;
  std::size_t consumed = 0;
  Golden with_tail = g;
  with_tail.add({0xEE});
  ASSERT_EQ(decode(with_tail.bytes(), decoded, consumed), ListDecode::ok);
  EXPECT_EQ(consumed, g.size());
  EXPECT_EQ(decoded, list);
}

TEST(RecordCodec, ListeAperDamage) {
  LISTE_APER list;
  list.identifiers = {7};
  std::size_t consumed = 0;
  EXPECT_EQ(decode(Golden(34).bytes(), list, consumed), ListDecode::truncated);
  EXPECT_EQ(decode(Golden(35).bytes(), list, consumed), ListDecode::bad_count);
  EXPECT_EQ(decode(Golden(35).at(34, {65}).add_zeros(130).bytes(), list, consumed),
            ListDecode::bad_count);
  EXPECT_EQ(decode(Golden(35).at(34, {2}).add_zeros(3).bytes(), list, consumed),
            ListDecode::truncated);
  EXPECT_EQ(list.identifiers, std::vector<std::uint16_t>{7});  // unchanged on failure
}

// Any bytes decode, and encode back to exactly the same bytes: character fields are kept whole.
template <class R>
class RecordRoundTrip : public ::testing::Test {};
using RecordTypes = ::testing::Types<GENERAL_PARAM, BA_PARAM, INSTRUCTION, MESSAGE4, VARIABLE4,
                                     STATION4, MESSAGE3, VARIABLE3>;
TYPED_TEST_SUITE(RecordRoundTrip, RecordTypes);

TYPED_TEST(RecordRoundTrip, RandomBytesAreByteIdentical) {
  std::mt19937 random(12345);
  for (int round = 0; round < 50; ++round) {
    std::array<std::uint8_t, TypeParam::size> bytes;
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const auto record = from_bytes<TypeParam>(bytes);
    EXPECT_EQ(to_bytes(record), bytes);
  }
}

TEST(RecordRoundTrip, ListeAperRandomBytesAreByteIdentical) {
  std::mt19937 random(777);
  for (int round = 0; round < 50; ++round) {
    std::vector<std::uint8_t> bytes(LISTE_APER::header_size + 128);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    bytes[34] = static_cast<std::uint8_t>(1 + random() % 64);
    LISTE_APER list;
    std::size_t consumed = 0;
    ASSERT_EQ(decode(bytes, list, consumed), ListDecode::ok);
    std::vector<std::uint8_t> out(encoded_size(list));
    encode(list, out);
    EXPECT_EQ(out, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + consumed));
  }
}

}  // namespace
}  // namespace records
