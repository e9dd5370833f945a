// Consistency checks: each check's codes, and CheckBeforeConnect's order with its exact texts.
#include "model/config_checks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "model/plandrel_doc.h"
#include "model/tests/scripted_host.h"
#include "records/byte_codec.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;
using records::MESSAGE4;
using records::VARIABLE4;
using testing::ScriptedHost;

VARIABLE4 variable(std::string_view name, std::uint16_t identifier, std::string_view format = "%h",
                   std::uint16_t length = 1) {
  VARIABLE4 v;
  records::set_text(v.name, name);
  records::set_text(v.format, format);
  v.identifier = identifier;
  v.length = length;
  v.channel = -1;
  return v;
}

// A variable produced by the local station that carries message requests on `channel`.
VARIABLE4 channel_variable(std::string_view name, std::uint16_t identifier, std::int16_t channel) {
  VARIABLE4 v = variable(name, identifier);
  v.flags = VARIABLE4::kMessageChannel;
  v.channel = channel;
  return v;
}

MESSAGE4 message(std::string_view name, bool transmitted, bool aperiodic, std::uint16_t source,
                 std::uint16_t destination, std::string_view format = "%h") {
  MESSAGE4 m;
  records::set_text(m.name, name);
  records::set_text(m.format, format);
  m.transmitted = transmitted ? 1 : 0;
  m.aperiodic = aperiodic ? 1 : 0;
  m.source_identifier = source;
  m.destination_identifier = destination;
  return m;
}

TEST(ConfigChecks, VariableFormats) {
  struct Case {
    std::string_view format;
    std::uint16_t length;
    CONFIG_CHECK_CODE code;
  };
  for (const Case& k :
       {Case{"%h", 1, kCheckOk}, Case{"%4h", 4, kCheckOk}, Case{"%4h", 2, kCheckFormatTooLong},
        Case{"%2U%f", 8, kCheckOk}, Case{"%2U%f", 7, kCheckFormatTooLong},
        Case{"%10s", 10, kCheckOk}, Case{"", 0, kCheckOk}, Case{"%s", 10, kCheckInvalidFormat},
        Case{"%0h", 10, kCheckInvalidFormat}, Case{"h", 10, kCheckInvalidFormat},
        Case{"%", 10, kCheckInvalidFormat}, Case{"%4%h", 10, kCheckInvalidFormat}}) {
    EXPECT_EQ(CheckVariableFormat(variable("v", 1, k.format, k.length)), k.code) << k.format;
    EXPECT_EQ(CheckFormatSyntax(k.format),
              k.code == kCheckInvalidFormat ? kCheckInvalidFormat : kCheckOk)
        << k.format;
  }
}

TEST(ConfigChecks, StationsOfAVariable) {
  records::Configuration c = records::new_configuration();
  c.station_count = 5;
  struct Case {
    std::int16_t producer;
    std::vector<std::size_t> consumers;
    CONFIG_CHECK_CODE code;
    std::uint8_t direction;  // when the check passes
  };
  for (const Case& k : {Case{3, {0}, kCheckOk, 1}, Case{0, {3}, kCheckOk, 0},
                        Case{3, {4}, kCheckLocalStationNotInvolved, 9},
                        Case{0, {0, 3}, kCheckLocalProducesAndConsumes, 9},
                        Case{3, {0, 3}, kCheckProducerConsumes, 9},
                        // A consumer beyond the station count does not count.
                        Case{3, {5}, kCheckLocalStationNotInvolved, 9}}) {
    VARIABLE4 v = variable("v", 1);
    v.producer = k.producer;
    v.direction = 9;
    for (std::size_t s : k.consumers) records::set_consumer(v, s, true);
    EXPECT_EQ(CheckVariableStations(c, v), k.code) << k.producer;
    EXPECT_EQ(v.direction, k.direction) << k.producer;
  }
}

TEST(ConfigChecks, NamesAndIdentifiersExcludeTheEditedRecordByKey) {
  records::Configuration c = records::new_configuration();
  c.variables = {variable("A", 1), variable("B", 2)};
  c.messages = {message("M", true, true, 1, 0), message("N", true, true, 1, 0)};
  records::renumber_keys(c);
  EXPECT_EQ(CheckVariableNames(c, nullptr), kCheckOk);
  EXPECT_EQ(CheckVariableIdentifiers(c, nullptr), kCheckOk);

  VARIABLE4 copy = c.variables[0];  // the working copy of A, renamed B
  records::set_text(copy.name, "B");
  EXPECT_EQ(CheckVariableNames(c, &copy), kCheckVariableNameInUse);
  records::set_text(copy.name, "A");
  EXPECT_EQ(CheckVariableNames(c, &copy), kCheckOk);  // its own name
  records::set_text(copy.name, "a");
  EXPECT_EQ(CheckVariableNames(c, &copy), kCheckOk);  // case counts
  copy.identifier = 2;
  EXPECT_EQ(CheckVariableIdentifiers(c, &copy), kCheckVariableIdentifierInUse);
  c.variables[1].identifier = 1;
  EXPECT_EQ(CheckVariableIdentifiers(c, nullptr), kCheckVariableIdentifierInUse);

  MESSAGE4 m = c.messages[1];
  records::set_text(m.name, "M");
  EXPECT_EQ(CheckMessageNames(c, &m), kCheckMessageNameInUse);
  records::set_text(c.messages[1].name, "M");
  EXPECT_EQ(CheckMessageNames(c, nullptr), kCheckMessageNameInUse);

  c.lists.resize(2);
  records::set_text(c.lists[0].name, "L");
  records::set_text(c.lists[1].name, "K");
  EXPECT_EQ(CheckListNames(c, 0, "L"), kCheckOk);
  EXPECT_EQ(CheckListNames(c, 0, "K"), kCheckListNameInUse);  // a candidate, before it is written
  records::set_text(c.lists[1].name, "L");
  EXPECT_EQ(CheckListNames(c, 0, "L"), kCheckListNameInUse);

  c.station_count = 3;
  c.stations[1] = records::make_station("S1", 7);
  c.stations[2] = records::make_station("S2", -1);
  c.stations[3] = records::make_station("Beyond", 9);  // not a station: beyond the count
  EXPECT_EQ(CheckStationName(c, 2, "S1"), kCheckStationNameInUse);
  EXPECT_EQ(CheckStationName(c, 1, "S1"), kCheckOk);
  EXPECT_EQ(CheckStationName(c, 1, "Beyond"), kCheckOk);
  EXPECT_EQ(CheckStationAddress(c, 2, 7), kCheckStationAddressInUse);
  EXPECT_EQ(CheckStationAddress(c, 2, 9), kCheckOk);
  EXPECT_EQ(CheckStationAddress(c, 1, 0), kCheckStationAddressInUse);  // the local station's
}

TEST(ConfigChecks, ChannelCountsAndLookup) {
  records::Configuration c = records::new_configuration();
  c.variables = {channel_variable("A", 1, 0), channel_variable("P1", 2, 1),
                 channel_variable("P2", 3, 2), variable("R", 4)};
  c.variables[3].flags = VARIABLE4::kAperiodicVariableRequests;
  VARIABLE4 consumed = channel_variable("C", 5, 3);
  consumed.direction = 1;  // consumed locally: not a channel of the local station
  c.variables.push_back(consumed);
  records::renumber_keys(c);
  EXPECT_EQ(CountAperiodicMessageChannels(c, nullptr), 1u);
  EXPECT_EQ(CountAperiodicMessageChannels(c, &c.variables[0]), 0u);
  EXPECT_EQ(CountPeriodicMessageChannels(c, nullptr), 2u);
  EXPECT_EQ(CountPeriodicMessageChannels(c, &c.variables[1]), 1u);
  EXPECT_EQ(CountAperiodicRequestVariables(c, nullptr), 1u);
  EXPECT_EQ(FindVariableByIdentifier(c, 3), 2);
  EXPECT_EQ(FindVariableByIdentifier(c, 99), kNoVariable);
}

class ConnectCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "checks" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    doc_ = std::make_unique<CPlandrelDoc>(host_, folder_, SelectedDevice{2, 1});
    ASSERT_TRUE(doc_->New());
  }
  void TearDown() override {
    doc_.reset();
    fs::remove_all(folder_);
  }

  // A configuration that passes: one aperiodic and two periodic channels, messages of each kind.
  records::Configuration passing() const {
    records::Configuration c = records::new_configuration();
    c.variables = {channel_variable("A", 1, 0), channel_variable("P1", 2, 1),
                   channel_variable("P2", 3, 2), variable("Data", 4, "%4h", 2)};
    c.messages = {message("Ap", true, true, 1, 0), message("Per", true, false, 2, 0),
                  message("In", false, true, 0, 4)};
    c.messages[1].channel = 2;
    records::renumber_keys(c);
    return c;
  }

  // The texts shown by a refused check: the common first line, then the reason.
  std::vector<std::string> refusal(std::string reason) const {
    return {std::string(kCannotConnect), std::move(reason)};
  }

  ScriptedHost host_;
  fs::path folder_;
  std::unique_ptr<CPlandrelDoc> doc_;
};

TEST_F(ConnectCheckTest, EachFailureWithItsTextAndTheFirstOneWins) {
  using Edit = std::function<void(records::Configuration&)>;
  struct Case {
    std::string what;
    Edit edit;
    std::vector<std::string> texts;  // empty: passes
  };
  const std::vector<Case> cases{
      {"passes", [](auto&) {}, {}},
      {"same names win over everything else",
       [](auto& c) {
         records::set_text(c.variables[1].name, "A");
         c.variables[2].identifier = 1;
         records::set_text(c.variables[3].format, "bad");
       },
       {"Several variables have the same name."}},
      {"same identifiers",
       [](auto& c) { c.variables[2].identifier = 1; },
       {"Several variables have the same identifier."}},
      {"variable format",
       [](auto& c) { records::set_text(c.variables[3].format, "%0h"); },
       {"The format of variable \"Data \"\nis invalid."}},
      {"nine periodic channels",
       [](auto& c) {
         for (int i = 0; i < 7; ++i)
           c.variables.push_back(channel_variable("Q" + std::to_string(i), 100 + i, 3 + i));
         records::renumber_keys(c);
       },
       {"There are more than 8 variables enabled for aperiodical\nmessage requests emission, "
        "which is not possible."}},
      {"message format",
       [](auto& c) { records::set_text(c.messages[1].format, "%"); },
       {"The format of message \"Per \"\nis invalid."}},
      {"no aperiodic channel",
       [](auto& c) { c.variables[0].flags = 0; },
       {"No variable produced by the local station enables\naperiodical message requests "
        "emission."}},
      {"no periodic channel",
       [](auto& c) {
         c.variables[1].direction = 1;
         c.variables[2].direction = 1;
       },
       {"No variable produced by the local station enables\nperiodical message requests "
        "emission."}},
      {"source not configured",
       [](auto& c) { c.messages[0].source_identifier = 77; },
       {"The source identifier of message \"Ap\"\nis not configured."}},
      {"destination not configured",
       [](auto& c) { c.messages[2].destination_identifier = 77; },
       {"The destination identifier of message \"In\"\nis not configured."}},
      {"the first message's failure wins",
       [](auto& c) {
         c.messages[0].source_identifier = 77;
         records::set_text(c.messages[1].format, "%");
       },
       {"The source identifier of message \"Ap\"\nis not configured."}},
  };
  for (const Case& k : cases) {
    records::Configuration c = passing();
    k.edit(c);
    doc_->Records() = c;
    host_.shown.clear();
    EXPECT_EQ(CheckBeforeConnect(*doc_), k.texts.empty()) << k.what;
    EXPECT_EQ(host_.texts(), k.texts.empty() ? k.texts : refusal(k.texts[0])) << k.what;
  }
}

TEST_F(ConnectCheckTest, TooLongAFormatDoesNotStopAConnection) {
  doc_->Records() = passing();
  records::set_text(doc_->Records().variables[3].format, "%8h");  // length 2
  EXPECT_TRUE(CheckBeforeConnect(*doc_));
}

TEST_F(ConnectCheckTest, APeriodicChannelAboveTheCountIsLoweredAndWrittenBack) {
  doc_->Records() = passing();
  doc_->Records().messages[1].channel = 7;  // two periodic channels exist
  doc_->Records().messages.push_back(message("Late", true, false, 77, 0));  // refused after it
  EXPECT_FALSE(CheckBeforeConnect(*doc_));
  EXPECT_EQ(doc_->Records().messages[1].channel, 2);
  records::Configuration from_file;
  ASSERT_EQ(doc_->GetWorkingFiles().read(records::Section::messages, from_file),
            records::Status::ok);
  EXPECT_EQ(from_file.messages, doc_->Records().messages);
  EXPECT_TRUE(doc_->IsModified());
  EXPECT_EQ(host_.last_title(), "Plandrel - untitled *");

  // Nothing changed: no mark and no rewrite.
  doc_->Records().messages.pop_back();
  doc_->SetModifiedFlag(false);
  EXPECT_TRUE(CheckBeforeConnect(*doc_));
  EXPECT_FALSE(doc_->IsModified());
}

}  // namespace
}  // namespace plandrel
