// A designer's presence test in a process of its own, for the tests of two designers that share a
// working folder. It boots a machine of two PCI boards with its own network on the segment, writes
// the working files of its board in the working folder and runs the presence test, detection then
// scan, as a user would. It meets the other designer's process through marker files in MEETING:
// before the test opens, before Start, and between each file's write and its download (the
// engine's start), where it waits a second at most for the other's write: two processes that are
// not kept apart both write before either downloads. Its standard error tells, in order:
//   "detection <local station named by the file downloaded>", "mode <test mode>",
//   "scan <local station named by the file downloaded>", "present <addresses found>".
//
//   plandrel_presence_peer WORKING_FOLDER MEETING a|b
//
// Designer a works on PCI board 1 as station 1, beside an arbitrator that polls stations 5 and 6;
// designer b on PCI board 2 as station 5, with stations 7 and 8 and no arbitrator.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "corvix.h"
#include "machine_fixture.h"
#include "model/plandrel_doc.h"
#include "model/tests/scripted_host.h"
#include "online/online_dialogs.h"
#include "online/presence_resources.h"
#include "online/presence_sta.h"
#include "records/atomic_file.h"
#include "ui/testing.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SegmentClock final : public plandrel::PresenceClock {
 public:
  explicit SegmentClock(sim::Segment& segment) : segment_(segment) {}
  std::uint32_t NowMs() override { return now_; }
  void Wait(std::uint32_t ms) override {
    now_ += ms;
    segment_.run(static_cast<sim::Nanoseconds>(ms) * 1000000);
  }

 private:
  sim::Segment& segment_;
  std::uint32_t now_ = 0;
};

// Leaves this side's mark of `step` and waits for the other side's, `patience` at most.
void Meet(const fs::path& meeting, const std::string& side, const std::string& step,
          std::chrono::milliseconds patience) {
  std::ofstream(meeting / (side + "." + step)).put('.');
  const fs::path other = meeting / ((side == "a" ? "b." : "a.") + step);
  for (const auto deadline = std::chrono::steady_clock::now() + patience;
       !fs::exists(other) && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(5ms);
}

// The local station that a presence file names: its one station record comes right before the
// empty list section, and starts with the name.
std::string LocalStationOf(const fs::path& file) {
  std::vector<std::uint8_t> bytes;
  if (records::read_whole_file(file, 1u << 20, bytes) != records::FileRead::ok ||
      bytes.size() < 2 + records::STATION4::size)
    return "?";
  const auto name = bytes.end() - 2 - static_cast<std::ptrdiff_t>(records::STATION4::size);
  return std::string(name, std::find(name, name + 33, std::uint8_t{0}));
}

sim::RemoteStationConfig Station(std::uint8_t address) {
  sim::RemoteStationConfig s;
  s.name = "S" + std::to_string(address);
  s.address = address;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const fs::path folder = argv[1], meeting = argv[2];
  const std::string side = argv[3];
  const bool a = side == "a";

  sim::MachineDescription machine = plandrel::testing::machineOf(
      {plandrel::testing::pciBoard(), plandrel::testing::pciBoard(sim::kPciWord8BitEeprom, 2, 0xF0100000, 0x00010002)});
  if (a) {
    sim::RemoteStationConfig arbitrator = Station(9);
    arbitrator.arbitratorProgram = {"ID_DAT(1405)", "ID_DAT(1406)", "WAIT(A0)"};
    machine.remoteStations = {arbitrator, Station(5), Station(6)};
  } else {
    machine.remoteStations = {Station(7), Station(8)};
  }
  sim::Machine& running = sim::bootMachine(machine);
  if (!running.problems().empty()) return 3;

  plandrel::testing::ScriptedHost host;
  plandrel::CPlandrelDoc document(host, folder, plandrel::SelectedDevice{static_cast<std::uint16_t>(a ? 1 : 2), 0});
  document.Records().station_count = 1;
  document.Records().stations[0] = records::make_station(a ? "Designer A" : "Designer B", a ? 1 : 5);
  if (!document.WriteAllWorkingFiles()) return 4;

  plandrel::PresenceEngine engine = plandrel::PresenceEngine::Corvix();
  std::string step = "detection";
  engine.start_engine = [&, start = engine.start_engine](std::uint16_t number, std::uint32_t type) {
    Meet(meeting, side, step, 1000ms);
    return start(number, type);
  };
  engine.download = [&, download = engine.download](const char* path) {
    std::fprintf(stderr, "%s %s\n", step.c_str(), LocalStationOf(path).c_str());
    return download(path);
  };

  class : public plandrel::PresenceHost {
    void SetPresenceTestOpen(bool) override {}
  } presence_host;
  plandrel::TimingTable timing;
  timing.Fill();
  SegmentClock clock(running.segment());
  qui::testing::ScriptedPrompts prompts;
  plandrel::RegisterOnlineDialogs();
  plandrel::CPresenceSta dialog(presence_host, document, timing, nullptr, engine, clock);
  qui::SetModalRunner([&](CDialog&) {
    std::fprintf(stderr, "mode %d\n", dialog.TestMode());
    Meet(meeting, side, "start", 60s);
    step = "scan";
    dialog.ClickDlgItem(plandrel::IDC_PRESENCE_START);
    std::string present = "present";
    for (int address = 0; address < plandrel::kPhysicalAddresses; ++address)
      if (plandrel::AddressBit(dialog.Presence(), address)) present += " " + std::to_string(address);
    std::fprintf(stderr, "%s\n", present.c_str());
    dialog.ClickDlgItem(plandrel::IDC_PRESENCE_START);  // Exit
  });
  Meet(meeting, side, "ready", 60s);
  dialog.DoModal();
  for (const qui::testing::ShownBox& box : prompts.Boxes()) std::fprintf(stderr, "shown: %s\n", box.text.c_str());
  STOP_FIP_ENGINE();
  sim::shutdownMachine();
  return 0;
}
