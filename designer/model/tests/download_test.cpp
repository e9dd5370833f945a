// A configuration written by the document is the file that the engine's download reads: the
// download image of the working files goes into a board of the simulated machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/clock.h"
#include "corvix.h"
#include "model/config_checks.h"
#include "model/plandrel_doc.h"
#include "model/tests/scripted_host.h"
#include "records/byte_codec.h"
#include "sim/machine/machine.h"
#include "sim/machine/machine_description.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;

TEST(DesignerDownload, TheEngineDownloadsTheDesignersFile) {
  qbase::VirtualClock clock;
  sim::bootMachine(sim::defaultMachine());
  ASSERT_EQ(START_FIP_ENGINE(1, 0), 0u);

  testing::ScriptedHost host;
  const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
  const fs::path folder = fs::path(root ? root : fs::temp_directory_path().c_str()) / "download";
  fs::create_directories(folder);
  CPlandrelDoc doc(host, folder, SelectedDevice{1, 0});
  ASSERT_TRUE(doc.New());

  records::Configuration& c = doc.Records();
  c.station_count = 2;
  c.stations[1] = records::make_station("Remote", 5);
  for (std::uint16_t i = 0; i < 3; ++i) {
    records::VARIABLE4 v;
    records::set_text(v.name, "Var" + std::to_string(i));
    records::set_text(v.format, "%2h");
    v.identifier = static_cast<std::uint16_t>(0x100 + i);
    v.pdu_type = 0x40;
    v.length = 2;
    v.channel = -1;
    v.field_74 = 1;
    v.refreshment_period = v.promptness_period = 500;
    v.producer = static_cast<std::int16_t>(i == 2 ? 1 : 0);  // the third is consumed locally
    records::set_consumer(v, i == 2 ? 0 : 1, true);
    v.consumer_count = 1;
    c.variables.push_back(v);
  }
  c.variables[0].flags = records::VARIABLE4::kMessageChannel;
  c.variables[0].channel = 0;
  records::MESSAGE4 m;
  records::set_text(m.name, "Order");
  records::set_text(m.format, "%h");
  m.source_identifier = 0x100;
  m.destination_identifier = 0x102;
  m.transmitted = 1;
  m.aperiodic = 1;
  m.event_number = 1;
  m.remote_station = 1;
  c.messages = {m};
  records::renumber_keys(c);
  ASSERT_TRUE(doc.WriteAllWorkingFiles());

  ASSERT_TRUE(CheckBeforeConnect(doc)) << (host.shown.empty() ? "" : host.shown.back().text);
  ASSERT_TRUE(doc.WriteDownloadImage());
  ASSERT_EQ(DOWNLOAD_CNF(doc.DownloadImagePath().string().c_str()), 0u);

  for (const records::VARIABLE4& v : c.variables) {
    std::int16_t index = -1, length = 0;
    std::uint8_t flags = 0;
    char name[33] = {};
    EXPECT_EQ(FIND_VAR_BY_ID(v.identifier, &index, name, &length, &flags), 1u) << v.identifier;
    EXPECT_EQ(std::string(name), records::text_of(v.name));
    EXPECT_EQ(length, 2);
  }
  char name[33] = {};
  std::int16_t key = -1;
  EXPECT_EQ(FIND_MSG_BY_ID(0x100, 0, 0x102, 0, name, &key), 1u);
  EXPECT_EQ(std::string(name), "Order");

  EXPECT_EQ(STOP_FIP_ENGINE(), 0u);
  sim::shutdownMachine();
}

}  // namespace
}  // namespace plandrel
