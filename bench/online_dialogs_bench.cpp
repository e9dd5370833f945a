// The designer on line with its widgets (the example network on the standard simulated machine):
// opening each on-line dialog in its frame, the consumed-variable dialog's update from the session
// thread's message as the main thread handles it, and Connect/Disconnect cycles with the resident
// size after 10 and after 50 of them. Run with QT_QPA_PLATFORM=offscreen where no display is at
// hand.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "about_dlg.h"
#include "base/machine_root.h"
#include "first_network.h"
#include "frame_commands.h"
#include "frame_resources.h"
#include "main_frame.h"
#include "online/critical_sections.h"
#include "online/designer_messages.h"
#include "online/frame_dlg.h"
#include "online/online_message.h"
#include "online/online_session.h"
#include "online/variable_dlgs.h"
#include "plandrel_app.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/instruction.h"
#include "session_host_app.h"
#include "sim/machine/machine.h"
#include "ui/testing.h"

namespace {

using namespace std::chrono_literals;
constexpr std::size_t kTemperature = 0, kSetpoint = 2, kCommand = 0, kAlarm = 1;

plandrel::CPlandrelApp* g_app = nullptr;

void Pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message != WM_QUIT) DispatchMessage(&msg);
  QCoreApplication::processEvents();
  // Outside the application's loop the widgets' deferred deletions wait for this.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    Pump();
    if (done()) return true;
    WaitMessageTimeout(2);
  }
  return done();
}

plandrel::CFipSession* Session() { return dynamic_cast<plandrel::CFipSession*>(g_app->Session()); }

bool Connect() {
  g_app->MainFrame()->RunCommand(plandrel::kCmdConnect);
  return Session() != nullptr && PumpUntil([] { return Session()->PassTimes().passes >= 2; });
}

bool Disconnect() {
  g_app->MainFrame()->RunCommand(plandrel::kCmdDisconnect);
  return PumpUntil([] { return g_app->Session() == nullptr; });
}

// The example with a local bus arbitrator of its own (left stopped: R5 runs the bus), so that every
// dialog has its object.
records::Configuration Network() {
  records::Configuration n = examples::first_network();
  for (const char* line : {"ID_DAT(A10)", "ID_DAT(A11)", "ID_DAT(A20)", "SEND_MSG(C0)", "WAIT(140)"})
    n.sequence1.push_back(records::make_instruction(line));
  records::size_tables(n, records::instruction_cost(n.sequence1, n.sequence2));
  n.param.ba_size = 1;
  n.variables[kSetpoint].flags |= records::VARIABLE4::kAperiodicVariableRequests;
  records::LISTE_APER list;
  records::set_text(list.name, "Levels");
  list.identifiers = {0x0A11};
  n.lists = {list};
  records::renumber_keys(n);
  return n;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Opens one kind of dialog and closes it again (the user's close), the frame and its widgets made
// and shown each time; the close is served by the session thread between iterations.
void OpenDialog(benchmark::State& state, const std::function<void()>& open, const std::string& caption) {
  if (!Connect()) {
    state.SkipWithError("the session does not connect");
    return;
  }
  const auto frame_of = [&caption]() -> plandrel::CFrameDlg* {
    for (CMDIChildWnd* child : g_app->MainFrame()->MDIChildren())
      if (auto* f = dynamic_cast<plandrel::CFrameDlg*>(child); f && f->GetWindowText() == caption) return f;
    return nullptr;
  };
  for (auto _ : state) {
    open();
    QCoreApplication::processEvents();
    state.PauseTiming();
    Pump();
    plandrel::CFrameDlg* frame = frame_of();
    if (frame == nullptr) {
      state.SkipWithError(("no frame " + caption).c_str());
      break;
    }
    frame->SendMessage(WM_CLOSE);
    PumpUntil([] { return Session()->ClosedDialogsKept() == 0; });
    state.ResumeTiming();
  }
  Disconnect();
}

void BM_OpenDialog(benchmark::State& state) {
  struct Kind {
    std::function<void()> open;
    const char* caption;
  };
  const Kind kinds[] = {
      {[] { Session()->OpenVariableDialog(kTemperature); }, "Temperature, consumed."},
      {[] { Session()->OpenVariableDialog(kSetpoint); }, "Setpoint, produced."},
      {[] { Session()->OpenMessageDialog(kCommand); }, "Command, transmitted."},
      {[] {
         // A received message's dialog shows an entry of its stack.
         if (Session()->Message(kAlarm)->StackSize() == 0) {
           plandrel::MES_PILE entry;
           entry.length = 4;
           entry.data = {1, 2, 3, 4};
           Session()->Message(kAlarm)->Push(std::move(entry));
         }
         Session()->OpenMessageDialog(kAlarm);
       },
       "Alarm, received."},
      {[] { Session()->OpenBaDialog(); }, "Bus arbitrator control"},
      {[] { Session()->OpenMediumDialog(); }, "Medium management"},
      {[] { Session()->OpenAperiodicDialog(); }, "Aperiodical sending"},
  };
  const Kind& kind = kinds[state.range(0)];
  state.SetLabel(kind.caption);
  OpenDialog(state, kind.open, kind.caption);
}
BENCHMARK(BM_OpenDialog)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->Iterations(20);

// The consumed-variable dialog's handling of WM_FIP_VAR_UPDATE with a new value each time (the
// value text of 128 bytes in hexadecimal), and the widgets catching up.
void BM_ConsumedUpdate(benchmark::State& state) {
  if (!Connect()) {
    state.SkipWithError("the session does not connect");
    return;
  }
  Session()->OpenVariableDialog(kTemperature);
  plandrel::CFipVarConsDlg* dialog = nullptr;
  for (CMDIChildWnd* child : g_app->MainFrame()->MDIChildren())
    if (auto* f = dynamic_cast<plandrel::CFrameDlg*>(child))
      dialog = dynamic_cast<plandrel::CFipVarConsDlg*>(f->Hosted());
  if (dialog == nullptr) {
    state.SkipWithError("no dialog");
    return;
  }
  std::string text;
  for (int i = 0; i < 128; ++i) text += "A5 ";
  int turn = 0;
  for (auto _ : state) {
    state.PauseTiming();
    text[0] = static_cast<char>('0' + turn++ % 10);
    // What the session thread does, under the variable dialogs' lock.
    EnterCriticalSection(&plandrel::csVariableDialog);
    dialog->Update({text, true, turn % 2 == 0, true});
    LeaveCriticalSection(&plandrel::csVariableDialog);
    state.ResumeTiming();
    ::SendMessage(dialog->DialogWindow(), plandrel::WM_FIP_VAR_UPDATE, 0, 0);
    QCoreApplication::processEvents();
  }
  Disconnect();
}
BENCHMARK(BM_ConsumedUpdate)->Unit(benchmark::kMicrosecond);

void BM_ConnectDisconnectCycles(benchmark::State& state) {
  for (auto _ : state) {
    long after10 = 0;
    for (int cycle = 1; cycle <= 50; ++cycle) {
      if (!Connect()) {
        state.SkipWithError("the session does not connect");
        return;
      }
      Session()->OpenVariableDialog(kTemperature);
      Session()->OpenMediumDialog();
      Pump();
      if (!Disconnect()) {
        state.SkipWithError("the session does not end");
        return;
      }
      if (cycle == 10) after10 = ResidentKb();
    }
    const long after50 = ResidentKb();
    state.counters["rss_after_10_kB"] = static_cast<double>(after10);
    state.counters["rss_after_50_kB"] = static_cast<double>(after50);
    state.counters["growth_kB"] = static_cast<double>(after50 - after10);
  }
}
BENCHMARK(BM_ConnectDisconnectCycles)->Unit(benchmark::kMillisecond)->Iterations(1);

class BenchApp : public plandrel::CPlandrelApp {
 public:
  BOOL InitInstance() override {
    SetBoardSelection([](plandrel::SelectedDevice& device) {
      device = plandrel::SelectedDevice{1, plandrel::kBoardTypePci};
      return IDOK;
    });
    if (!CPlandrelApp::InitInstance()) return FALSE;
    const std::filesystem::path file = std::filesystem::path(std::getenv("QUORELLE_MACHINE_ROOT")) / "example.cnf";
    if (!records::write_file_atomically(file, records::encode_format4(Network())) || !OpenDocumentFile(file.c_str()))
      return FALSE;
    g_app = this;
    benchmark::RunSpecifiedBenchmarks();
    g_app = nullptr;
    return FALSE;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string root = (std::filesystem::temp_directory_path() / "quorelle-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 2;
  setenv("QUORELLE_MACHINE_ROOT", root.c_str(), 1);
  setenv("XDG_DATA_HOME", root.c_str(), 1);
  qbase::setMachineRoot(root);
  benchmark::Initialize(&argc, argv);
  plandrel::RegisterFrameResources();
  plandrel::RegisterAboutDialog();
  qui::testing::ScriptedPrompts prompts;
  sim::bootMachine(sim::standardMachine());
  {
    BenchApp app;
    plandrel::InstallSessionFactory(app);
    AfxWinMain(1, argv);
  }
  sim::shutdownMachine();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return 0;
}
