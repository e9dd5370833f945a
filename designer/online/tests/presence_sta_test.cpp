// The presence test over the real engine on the simulated machine: detection and scan in each test
// mode as the segment makes it (another arbitrator, one that publishes the plan, none, a board
// that keeps a silent bus), the grid's images after the scan, the failures of both runs with the
// engine session always stopped, and the channel validation against a scripted engine. The bus
// waits run the segment on a clock of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "dialog_fixture.h"
#include "model/plandrel_doc.h"
#include "model/tests/scripted_host.h"
#include "online/error_text.h"
#include "online/presence_resources.h"
#include "online/presence_sta.h"
#include "records/atomic_file.h"
#include "records/configuration.h"

namespace plandrel::testing {
namespace {

namespace fs = std::filesystem;
constexpr sim::Nanoseconds kMs = 1000000;
constexpr int kLocal = 1;  // the configuration's first station

class TestClock final : public PresenceClock {
 public:
  std::uint32_t NowMs() override { return now; }
  void Wait(std::uint32_t ms) override {
    now += ms;
    waits.push_back(ms);
    if (segment) segment->run(static_cast<sim::Nanoseconds>(ms) * kMs);
  }
  std::uint32_t now = 0;
  std::vector<std::uint32_t> waits;
  sim::Segment* segment = nullptr;
};

class Host final : public PresenceHost {
 public:
  void SetPresenceTestOpen(bool value) override { open = value; }
  bool open = false;
};

// The engine's exports, each call written down by name.
PresenceEngine Recorded(PresenceEngine e, std::vector<std::string>& log) {
  const auto wrap = [&log](const char* name, auto f) {
    return [&log, name, f](auto... args) {
      log.push_back(name);
      return f(args...);
    };
  };
  e.start_engine = [&log, start = e.start_engine](std::uint16_t number, std::uint32_t type) {
    const std::uint32_t code = start(number, type);
    log.push_back(code == 0 ? "start" : "start refused");  // only a started engine needs a stop
    return code;
  };
  e.stop_engine = wrap("stop", e.stop_engine);
  e.download = wrap("download", e.download);
  e.start_communication = wrap("communication", e.start_communication);
  e.medium_control = wrap("medium", e.medium_control);
  e.ba.report = wrap("report", e.ba.report);
  e.ba.start = wrap("start_ba", e.ba.start);
  e.ba.stop = wrap("stop_ba", e.ba.stop);
  e.find_variable = wrap("find", e.find_variable);
  e.read_variable = wrap("read", e.read_variable);
  e.write_variable = wrap("write", e.write_variable);
  return e;
}

sim::RemoteStationConfig Station(std::uint8_t address) {
  sim::RemoteStationConfig s;
  s.name = "S" + std::to_string(address);
  s.address = address;
  return s;
}

// An arbitrator that scans the presence variables of 5 and 6, and 0x9002 when it publishes a plan.
sim::RemoteStationConfig Arbitrator(std::vector<std::uint8_t> plan = {}) {
  sim::RemoteStationConfig a = Station(9);
  a.arbitratorProgram = {"ID_DAT(1405)", "ID_DAT(1406)", "WAIT(A0)"};
  if (!plan.empty()) {
    a.arbitratorProgram.insert(a.arbitratorProgram.begin(), "ID_DAT(9002)");
    a.produces = {{.identifier = 0x9002, .length = 34, .pduType = 0x50,
                   .generator = {.kind = sim::ValueGenerator::Kind::Bytes, .bytes = std::move(plan)}}};
  }
  return a;
}

class PresenceTest : public DialogOnMachine {
 protected:
  void SetUp() override {
    DialogOnMachine::SetUp();
    folder_ = qbase::machineRoot() / "presence" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    DialogOnMachine::TearDown();
    fs::remove_all(folder_);
  }

  // Boots the machine with the stations and writes the working files of PCI board 1: the local
  // station at `local_address`, R5 and R6.
  void Prepare(std::vector<sim::RemoteStationConfig> stations, int local_address = kLocal,
               SelectedDevice device = {1, 0}) {
    sim::MachineDescription d = sim::defaultMachine();
    d.remoteStations = std::move(stations);
    boot(d);
    clock_.segment = &machine().segment();
    document_ = std::make_unique<CPlandrelDoc>(document_host_, folder_, device);
    records::Configuration& c = document_->Records();
    c.station_count = 3;
    c.stations[0] = records::make_station("Designer", static_cast<std::int16_t>(local_address));
    c.stations[1] = records::make_station("R5", 5);
    c.stations[2] = records::make_station("R6", 6);
    ASSERT_TRUE(document_->WriteAllWorkingFiles());
  }

  // Runs the dialog; `user` plays the user once it is up.
  INT_PTR Run(std::function<void(CPresenceSta&)> user, PresenceEngine engine = PresenceEngine::Corvix()) {
    timing_.Fill();
    CPresenceSta dialog(host_, *document_, timing_, nullptr, Recorded(std::move(engine), log_), clock_);
    EXPECT_TRUE(host_.open);
    const INT_PTR result = run<CPresenceSta>(dialog, [&](CPresenceSta& d) {
      ExpectStopped("opening");
      user(d);
      ExpectStopped("the user's steps");
    });
    return result;
  }
  // Every engine session started is stopped, and the board is free again.
  void ExpectStopped(const std::string& when) {
    const auto starts = std::count(log_.begin(), log_.end(), "start");
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "stop"), starts) << when;
    ActiveDeviceInfo boards[3] = {};
    GetActiveDevicesInfo(3, boards);
    EXPECT_EQ(boards[0].used, 0u) << when;
  }
  static std::string Text(CDialog& d, int id) { return d.GetDlgItemText(id); }
  static unsigned Image(CPresenceSta& d, int a) { return d.AddressButton(a)->Bitmap(); }
  fs::path MapFile() const { return AddressMapPath(folder_, document_->GetDevice()); }
  static void Click(CPresenceSta& d, int a) { d.ClickDlgItem(IDC_ADDRESS_FIRST + a); }

  fs::path folder_;
  testing::ScriptedHost document_host_;
  std::unique_ptr<CPlandrelDoc> document_;
  TimingTable timing_;
  TestClock clock_;
  Host host_;
  std::vector<std::string> log_;
};

TEST_F(PresenceTest, ListensToAnotherArbitratorAndShowsEachAddresssOutcome) {
  Prepare({Arbitrator(), Station(5), Station(6), Station(7)});
  Run([&](CPresenceSta& d) {
    EXPECT_EQ(d.TestMode(), kModeListening);
    EXPECT_EQ(d.GetWindowText(), "Stations Presence");
    EXPECT_EQ(Text(d, IDC_PRESENCE_TITLE), "There is an active arbitrator");
    EXPECT_EQ(Text(d, IDC_PRESENCE_HINT), "Choose your address configuration");
    EXPECT_FALSE(d.PlanFromBus()) << "the arbitrator publishes no plan";
    EXPECT_EQ(ReadAddressMap(MapFile()), AddressMap{}) << "a new map file, all free";
    EXPECT_TRUE(fs::exists(folder_ / "ActiviteFIP.cnf"));
    ASSERT_TRUE(d.HasGrid());
    EXPECT_EQ(d.GetDlgItemText(IDC_COLUMN_LABEL_FIRST + 10), "A");
    EXPECT_EQ(d.GetDlgItemText(IDC_ROW_LABEL_FIRST + 15), "F");
    EXPECT_EQ(Image(d, 5), kImageFree);
    EXPECT_FALSE(shown(d, IDC_PRESENCE_PROGRESS));
    EXPECT_FALSE(shown(d, IDC_LEGEND_IMAGE_3));

    for (int a : {5, 7, 8}) Click(d, a);
    Click(d, 8);  // and back
    EXPECT_EQ(Image(d, 5), kImageUsed);
    EXPECT_EQ(Image(d, 8), kImageFree);
    const std::size_t before = log_.size();
    d.ClickDlgItem(IDC_PRESENCE_START);
    EXPECT_GT(log_.size(), before);
    EXPECT_TRUE(d.TestDone());
    EXPECT_EQ(Text(d, IDC_PRESENCE_START), "Exit");
    EXPECT_EQ(Text(d, IDC_PRESENCE_TITLE), "Network address mapping");
    EXPECT_FALSE(shown(d, IDC_PRESENCE_HINT));
    EXPECT_FALSE(shown(d, IDC_PRESENCE_PROGRESS));
    // The arbitrator's traffic carried the presence of 5 and 6; 7 is never scanned.
    const std::map<int, unsigned> expected = {{kLocal, kImageLocalFree}, {5, kImageUsed},      {6, kImageFree},
                                              {7, kImageUnavailable},  {8, kImageAvailable}, {255, kImageAvailable}};
    for (const auto& [a, image] : expected) EXPECT_EQ(Image(d, a), image) << a;
    EXPECT_EQ(d.AddressState(6), 1);
    EXPECT_EQ(d.AddressState(7), 0);
    EXPECT_EQ(Text(d, IDC_LEGEND_LEFT_1), "Failed");
    EXPECT_EQ(Text(d, IDC_LEGEND_RIGHT_4), "Unavailable");
    EXPECT_EQ(Text(d, IDC_LEGEND_LOCAL), "L    for local station");
    EXPECT_TRUE(shown(d, IDC_LEGEND_IMAGE_4));
    AddressMap saved{};
    for (int a : {5, 7}) SetAddressBit(saved, a, true);
    EXPECT_EQ(ReadAddressMap(MapFile()), saved);

    Click(d, 9);  // after the test, clicks do nothing
    EXPECT_EQ(d.AddressState(9), 0);
    const std::size_t done = log_.size();
    d.ClickDlgItem(IDC_PRESENCE_START);  // Exit
    EXPECT_TRUE(d.IsEnded());
    EXPECT_EQ(log_.size(), done) << "Exit makes no engine call";
  });
  EXPECT_FALSE(host_.open);
  EXPECT_TRUE(prompts.Boxes().empty());
  // The scan listened: the board's arbitrator was started only by the detection.
  EXPECT_EQ(std::count(log_.begin(), log_.end(), "start_ba"), 1);
}

TEST_F(PresenceTest, APlanPublishedOnTheBusCannotBeChanged) {
  // The plan as machine.json describes it: 1, 5 and 6 used.
  Prepare({Arbitrator({0x80, 0x20, 0x62}), Station(5), Station(6)});
  Run([&](CPresenceSta& d) {
    ASSERT_TRUE(d.PlanFromBus());
    EXPECT_EQ(Text(d, IDC_PRESENCE_HINT), "Here is the configuration defined for the bus");
    AddressMap plan{};
    plan[0] = 0x62;
    EXPECT_EQ(d.Addresses(), plan);
    EXPECT_EQ(Image(d, 5), kImageUsed);
    Click(d, 5);
    Click(d, 7);
    EXPECT_EQ(Text(d, IDC_PRESENCE_HINT), std::string(CPresenceSta::kNoChangeAllowed));
    EXPECT_EQ(d.Addresses(), plan);
    d.ClickDlgItem(IDC_PRESENCE_START);
    EXPECT_EQ(ReadAddressMap(MapFile()), plan) << "the saved map is the bus's plan";
    EXPECT_EQ(Image(d, kLocal), kImageLocalUsed);
    EXPECT_EQ(Image(d, 5), kImageUsed);
    EXPECT_EQ(Image(d, 6), kImageUsed);
  });
}

TEST_F(PresenceTest, OnAQuietBusTheBoardArbitratesTheScan) {
  sim::RemoteStationConfig listener = Station(5);
  listener.consumes = {0x9002, 0x9008};  // to see what the board publishes
  Prepare({listener, Station(6), Station(0x42)});
  document_->Records().param.turnaround = 0x1E;
  document_->Records().param.silence = 0x20;
  ASSERT_TRUE(document_->WriteWorkingFile(records::Section::param));
  Run([&](CPresenceSta& d) {
    EXPECT_EQ(d.TestMode(), kModeArbitrating);
    EXPECT_EQ(Text(d, IDC_PRESENCE_TITLE), "No arbitrator on the bus");
    EXPECT_EQ(Text(d, IDC_PRESENCE_HINT), "Choose your address configuration");
    for (int a : {6, 9}) Click(d, a);
    clock_.waits.clear();
    d.ClickDlgItem(IDC_PRESENCE_START);
    const std::map<int, unsigned> expected = {{kLocal, kImageLocalFree}, {5, kImageFree},    {6, kImageUsed},
                                              {9, kImageUnavailable},  {0x42, kImageFree}, {0x43, kImageAvailable}};
    for (const auto& [a, image] : expected) EXPECT_EQ(Image(d, a), image) << a;
  });
  EXPECT_TRUE(prompts.Boxes().empty());
  // The scan's arbitrator published the plan and the segment's parameters.
  std::vector<std::uint8_t> plan(34, 0);
  plan[0] = 0x80;
  plan[1] = 0x20;
  plan[2] = 0x40;  // 6
  plan[3] = 0x02;  // 9
  ASSERT_TRUE(machine().segment().remoteValue(0, 0x9002));
  EXPECT_EQ(machine().segment().remoteValue(0, 0x9002)->value, plan);
  EXPECT_EQ(machine().segment().remoteValue(0, 0x9008)->value, (std::vector<std::uint8_t>{0x80, 0x04, 0x20, 0, 1, 0x1E}));
  // 500 ms twice, the start wait, then S = 256 x (0x20 x 5 + 184) / 1000.
  EXPECT_EQ(clock_.waits, (std::vector<std::uint32_t>{500, 500, 1476, 88}));
  EXPECT_EQ(std::count(log_.begin(), log_.end(), "stop_ba"), 2) << "after detection and after the scan";
}

TEST_F(PresenceTest, ABoardThatKeepsASilentBusLeavesTheModeUndetermined) {
  // A station answers 0x9002: the board's arbitrator hears an answer and keeps the bus at once.
  sim::RemoteStationConfig producer = Station(5);
  producer.produces = {{.identifier = 0x9002, .length = 34, .pduType = 0x50, .generator = {}}};
  Prepare({producer});
  Run([&](CPresenceSta& d) {
    EXPECT_EQ(d.TestMode(), kModeUndetermined);
    EXPECT_EQ(Text(d, IDC_PRESENCE_TITLE), "Echec0");
    ASSERT_TRUE(d.HasGrid());
    Click(d, 3);
    const std::size_t before = log_.size();
    d.ClickDlgItem(IDC_PRESENCE_START);
    EXPECT_EQ(log_.size(), before) << "no scan";
    EXPECT_EQ(Text(d, IDC_PRESENCE_START), "Exit");
    EXPECT_EQ(Image(d, 3), kImageUsed) << "the plan stays shown";
    EXPECT_EQ(Text(d, IDC_LEGEND_LEFT_1), "Used address");
  });
}

TEST_F(PresenceTest, OpeningFailuresLeaveADialogWithoutGridAndNoSession) {
  struct Case {
    const char* what;
    std::function<void()> damage;
    SelectedDevice device;
    std::string message;
    bool engine_called;
    std::function<void(PresenceEngine&)> fault = [](PresenceEngine&) {};
  };
  const Case cases[] = {
      {"working files missing", [&] { fs::remove(document_->GetWorkingFiles().path(records::Section::stations)); }, {1, 0},
       std::string(CPlandrelDoc::kErrorRecording), false},
      {"local address out of range",
       [&] {
         document_->Records().stations[0].physical_address = 300;
         ASSERT_TRUE(document_->WriteWorkingFile(records::Section::stations));
       },
       {1, 0}, std::string(CPlandrelDoc::kErrorRecording), false},
      {"file cannot be created", [&] { fs::create_directory(folder_ / "ActiviteFIP.cnf"); }, {1, 0},
       std::string(CPlandrelDoc::kProblemCreating), false},
      {"no such board", [] {}, {7, 0}, std::string(CPresenceSta::kErrorOnNetwork), true},
      {"the board stops answering the plan's read", [] {}, {1, 0}, std::string(CPresenceSta::kErrorOnNetwork), true,
       [](PresenceEngine& e) { e.read_variable = [](std::uint16_t, std::uint8_t*) { return 0x30000027u; }; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare({Arbitrator()}, kLocal, c.device);
    c.damage();
    prompts.Clear();
    log_.clear();
    PresenceEngine engine = PresenceEngine::Corvix();
    c.fault(engine);
    Run([](CPresenceSta& d) { EXPECT_FALSE(d.HasGrid()); }, engine);
    EXPECT_EQ(texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(!log_.empty(), c.engine_called);
    fs::remove_all(folder_ / "ActiviteFIP.cnf");
    sim::shutdownMachine();
  }
}

TEST_F(PresenceTest, StartGoesOnWithoutTheMapFileAndABoardThatStopsAnsweringFailsTheScan) {
  Prepare({Arbitrator(), Station(5)});
  PresenceEngine engine = PresenceEngine::Corvix();
  int reads = 0;
  const auto read = engine.read_variable;
  engine.read_variable = [&](std::uint16_t index, std::uint8_t* data) {
    return ++reads == 40 ? 0x30000027u : read(index, data);
  };
  Run(
      [&](CPresenceSta& d) {
        Click(d, 2);
        fs::remove(MapFile());
        fs::create_directory(MapFile());
        d.ClickDlgItem(IDC_PRESENCE_START);
        EXPECT_EQ(texts(), (std::vector<std::string>{std::string(CPresenceSta::kCannotCreateAddressFile),
                                                     std::string(CPresenceSta::kErrorOnNetwork)}));
        EXPECT_GE(reads, 40) << "the scan went on";
        EXPECT_EQ(Image(d, 2), kImageUsed) << "no all-absent grid: the plan stays";
        EXPECT_EQ(Image(d, 5), kImageFree);
        EXPECT_EQ(Text(d, IDC_PRESENCE_START), "Exit");
        EXPECT_FALSE(shown(d, IDC_PRESENCE_PROGRESS));
      },
      engine);
}

// The arbitrator's start with a scripted engine: an election that never ends, and a second start
// the board refuses.
TEST_F(PresenceTest, AnArbitratorThatNeverStartsFailsTheDetection) {
  Prepare({});
  for (const bool refuse_second : {false, true}) {
    SCOPED_TRACE(refuse_second);
    PresenceEngine engine = PresenceEngine::Corvix();
    int starts = 0;
    const auto start = engine.ba.start;
    engine.ba.start = [&, start](std::uint16_t word) { return ++starts == 2 && refuse_second ? 0x30000015u : start(word); };
    engine.ba.report = [&](std::uint8_t* state) {
      *state = refuse_second ? kBaStopped : (starts == 0 ? kBaStopped : kBaStarting);
      return 0u;
    };
    prompts.Clear();
    log_.clear();
    clock_.waits.clear();
    Run([](CPresenceSta& d) { EXPECT_FALSE(d.HasGrid()); }, engine);
    const std::string refused = ErrorText(0x30000015, "Cannot start.");
    EXPECT_EQ(texts(), refuse_second ? (std::vector<std::string>{refused, std::string(CPresenceSta::kErrorOnNetwork)})
                                     : std::vector<std::string>{std::string(CPresenceSta::kErrorOnNetwork)});
    if (!refuse_second) {
      // The start wait W = 1015 ms, then polls every 100 ms for at most 3 W.
      const std::uint32_t waited = std::accumulate(clock_.waits.begin(), clock_.waits.end(), 0u);
      EXPECT_LE(waited, 50u + 1015u + 3 * 1015u + 100u);
      EXPECT_GE(waited, 50u + 1015u + 3 * 1015u);
    }
  }
}

// ValidateTransmissionChannel from the medium status: the command it sends, what it asks, and
// whether the detection goes on (a scripted engine whose arbitrator reports IDLE).
TEST_F(PresenceTest, TheChannelIsValidatedFromTheMediumStatus) {
  Prepare({});
  struct Case {
    const char* what;
    std::uint32_t status_result;
    std::uint8_t status;
    std::uint32_t enable_result;
    int answer;
    std::vector<int> commands;
    bool goes_on;
    std::vector<std::string> shown;
  };
  const std::string no_echo(CPresenceSta::kNoEcho);
  const std::string busy = ErrorText(170, "");
  const std::string timeout = ErrorText(0x30000027, "");
  const Case cases[] = {
      {"channel 1 in service", 0, 0x01, 0, IDOK, {0}, true, {}},
      {"channel 2 in service", 0, 0x02, 0, IDOK, {0}, true, {}},
      {"none in service", 0, 0x00, 0, IDOK, {0, 5}, true, {}},
      {"echo error on 1, 2 out", 0, 0x05, 0, IDOK, {0, 5}, true, {}},
      {"echo error on 1, 2 in", 0, 0x06, 0, IDOK, {0}, true, {}},
      {"echo error on 2, 1 out", 0, 0x0A, 0, IDOK, {0, 4}, true, {}},
      {"echo error on 2, 1 in", 0, 0x09, 0, IDOK, {0}, true, {}},
      {"echo errors, OK", 0, 0x0F, 0, IDOK, {0}, true, {no_echo}},
      {"echo errors, Cancel", 0, 0x0F, 0, IDCANCEL, {0}, false, {no_echo}},
      {"enabling fails", 0, 0x00, 0x30000027, IDOK, {0, 5}, false, {timeout}},
      {"status busy", 170, 0x01, 0, IDCANCEL, {0}, false, {busy}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PresenceEngine engine = PresenceEngine::Corvix();
    std::vector<int> commands;
    engine.medium_control = [&](std::uint8_t command, std::uint8_t* status) {
      commands.push_back(command);
      *status = c.status;
      return command == 0 ? c.status_result : c.enable_result;
    };
    int reports = 0;
    engine.ba.report = [&](std::uint8_t* state) {
      *state = reports++ == 0 ? kBaStopped : kBaIdle;
      return 0u;
    };
    prompts.Clear();
    if (!c.shown.empty()) prompts.Answer(c.answer);
    log_.clear();
    Run([&](CPresenceSta& d) { EXPECT_EQ(d.HasGrid(), c.goes_on); }, engine);
    EXPECT_EQ(commands, c.commands);
    std::vector<std::string> shown = c.shown;
    std::erase(shown, "");  // a code without a text shows nothing
    EXPECT_EQ(texts(), shown);
    if (c.status_result == 170 && !busy.empty()) {
      EXPECT_EQ(prompts.Boxes().at(0).type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    }
  }
}

TEST(PresenceWaits, ScanWaitFollowsTheBitRate) {
  TimingTable timing;
  timing.Fill();
  struct Case {
    std::uint16_t speed;
    std::uint8_t clock_multiplier;
    std::uint16_t silence;
    std::uint32_t wait;
  };
  for (const Case& c : {Case{0, 0, 22, 7274},   // 256 x (22528 + 184 x 32) / 1000
                        Case{1, 0, 22, 75},     // 256 x (110 + 184) / 1000
                        Case{1, 1, 22, 227},    // the 32 us unit, the 1 us bit of index 2
                        Case{2, 0, 10, 51},     // 256 x (128 + 73.6) / 1000
                        Case{1, 0, 0, 47}}) {   // no silence: the bits alone
    records::GENERAL_PARAM p = records::new_general_param();
    records::set_speed(p, c.speed);
    p.clock_multiplier = c.clock_multiplier;
    p.silence = c.silence;
    EXPECT_EQ(PresenceScanWait(p, timing), c.wait) << c.speed << " " << int{c.clock_multiplier};
  }
}

}  // namespace
}  // namespace plandrel::testing
