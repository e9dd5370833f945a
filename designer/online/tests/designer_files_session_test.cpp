// Files that the designer's own writers leave, built byte by byte from the file layouts: a consumed
// variable that kept message requests, aperiodic variable requests and a channel, and produced
// periodic channels with a gap. Each opens, connects and saves in both formats.
#include <gtest/gtest.h>

#include "records/tests/designer_files.h"
#include "session_fixture.h"

namespace plandrel {
namespace {

using namespace testing;
namespace tb = records::test_bytes;
using records::VARIABLE4;

class DesignerFiles : public SessionTest {
 protected:
  CPlandrelDoc& document() { return *app_->Document(); }
  std::vector<std::uint8_t> Bytes(const fs::path& file) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(records::read_whole_file(file, records::kLargestConfigurationFile, bytes), records::FileRead::ok);
    return bytes;
  }
  // Connects, sends "Valve order" to R6 and disconnects with nothing said.
  void ConnectSendAndDisconnect() {
    ASSERT_TRUE(Connect());
    OnlineMessage* order = session()->Message(tb::kValveOrder);
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->Send("%4h", "01 02 03 04"), kCheckOk);
    EXPECT_TRUE(R6Receives(0x0A21, {1, 2, 3, 4}));
    ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); }));
    EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
  }
  // Saves in format 3 and opens the file again: what format 3 keeps of each variable and message.
  void ExpectFormat3Keeps(const records::Configuration& opened, const std::vector<std::int16_t>& channels) {
    const fs::path file = folder_ / "saved3.cnf";
    ASSERT_TRUE(document().WriteFormat3(file));
    ASSERT_TRUE(app_->OpenDocumentFile(file.c_str()));
    const records::Configuration& read = document().Records();
    ASSERT_EQ(read.variables.size(), opened.variables.size());
    for (std::size_t i = 0; i < read.variables.size(); ++i) {
      const VARIABLE4 &v = read.variables[i], &w = opened.variables[i];
      EXPECT_EQ(records::text_of(v.name), records::text_of(w.name));
      EXPECT_EQ(v.identifier, w.identifier);
      EXPECT_EQ(v.direction, w.direction) << i;
      EXPECT_EQ(v.flags, w.flags) << i;
      EXPECT_EQ(v.channel, channels[i]) << i;  // numbered again in file order
      EXPECT_EQ(records::is_consumer(v, read.local_station), v.direction == 1) << i;
    }
    ASSERT_EQ(read.messages.size(), opened.messages.size());
    for (std::size_t i = 0; i < read.messages.size(); ++i) {
      EXPECT_EQ(read.messages[i].aperiodic, opened.messages[i].aperiodic) << i;
      EXPECT_EQ(read.messages[i].channel, opened.messages[i].aperiodic ? 0 : 1) << i;
    }
  }
};

TEST_F(DesignerFiles, AFormat4FileOpensConnectsAndSavesUnchanged) {
  const std::vector<std::uint8_t> file =
      tb::format4_file(tb::designer_stations(), 0, tb::designer_variables(), tb::designer_messages(1));
  StartWithFile(file);
  ASSERT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
  const records::Configuration opened = document().Records();
  EXPECT_EQ(opened.variables[tb::kTemperature].flags, 0x42);
  EXPECT_EQ(opened.variables[tb::kTemperature].channel, 2);

  ConnectSendAndDisconnect();
  EXPECT_TRUE(document().Records() == opened);
  EXPECT_FALSE(document().IsModified());

  // Format 4 keeps every byte; format 3 keeps the flags, and numbers the channels again in file order.
  ASSERT_TRUE(document().WriteFormat4(folder_ / "saved4.cnf"));
  EXPECT_EQ(Bytes(folder_ / "saved4.cnf"), file);
  ExpectFormat3Keeps(opened, {1, -1, 0, 2, 3});
}

TEST_F(DesignerFiles, AFormat3FileOpensConnectsAndSavesUnchanged) {
  // The consumed Temperature takes periodic channel 1, so the produced Valve and Pump take 2 and
  // 3, and "Valve order" is sent on channel 1, which no produced variable carries.
  StartWithFile(tb::format3_file(tb::designer_variables(), tb::designer_messages(1)));
  ASSERT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
  const records::Configuration opened = document().Records();
  const std::vector<std::int16_t> channels = {1, -1, 0, 2, 3};
  for (std::size_t i = 0; i < channels.size(); ++i) EXPECT_EQ(opened.variables[i].channel, channels[i]) << i;
  EXPECT_EQ(opened.variables[tb::kTemperature].flags, 0x42);

  ConnectSendAndDisconnect();
  // The download image's write sized the tables for format 4; the records stay as read.
  const records::Configuration& connected = document().Records();
  EXPECT_TRUE(connected.variables == opened.variables);
  EXPECT_TRUE(connected.messages == opened.messages);
  EXPECT_TRUE(connected.stations == opened.stations);

  const fs::path saved = folder_ / "saved4.cnf";
  ASSERT_TRUE(document().WriteFormat4(saved));
  const records::Configuration written = document().Records();  // table sizes recomputed by the save
  ASSERT_TRUE(app_->OpenDocumentFile(saved.c_str()));
  EXPECT_TRUE(document().Records() == written);
  ExpectFormat3Keeps(opened, channels);
}

// Two produced variables on one periodic channel, as the variable editor leaves them when a
// variable gives up a channel while a consumed one held the number below it (the channels above
// fall by one onto a number that a produced variable took meanwhile). Nothing is refused.
TEST_F(DesignerFiles, TwoProducedVariablesOnOneChannelOpenConnectAndSaveUnchanged) {
  std::vector<tb::FileVariable> variables = tb::designer_variables();
  variables[tb::kPump].channel = 1;
  const std::vector<std::uint8_t> file =
      tb::format4_file(tb::designer_stations(), 0, variables, tb::designer_messages(1));
  StartWithFile(file);
  ASSERT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
  ConnectSendAndDisconnect();
  EXPECT_FALSE(document().IsModified());
  ASSERT_TRUE(document().WriteFormat4(folder_ / "saved4.cnf"));
  EXPECT_EQ(Bytes(folder_ / "saved4.cnf"), file);
}

// Connect lowers a periodic message's channel above the count of periodic channels to that count:
// with the gap, "Valve order" on Pump's channel 3 goes to channel 2, which no produced variable
// carries. The download and the session go on, and the message is sent on channel 2 (the simulated
// board sends it whatever its channel).
TEST_F(DesignerFiles, AChannelLoweredIntoTheGapConnectsAndSends) {
  StartWithFile(tb::format4_file(tb::designer_stations(), 0, tb::designer_variables(), tb::designer_messages(3)));
  ConnectSendAndDisconnect();
  EXPECT_EQ(document().Records().messages[tb::kValveOrder].channel, 2);
  EXPECT_TRUE(document().IsModified());
  records::Configuration image;
  records::LoadSummary summary;
  ASSERT_EQ(records::decode_configuration(Bytes(document().DownloadImagePath()), image, summary), records::Status::ok);
  EXPECT_EQ(image.messages[tb::kValveOrder].channel, 2);
}

}  // namespace
}  // namespace plandrel
