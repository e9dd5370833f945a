// The on-line session end to end without a display: the application, its main frame and tree, the
// real engine on the simulated machine, and the remote stations of the example configuration on a
// segment that follows the wall clock. The test thread is the main thread: it serves the session
// thread's sends while it waits.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "arbre_ctrl.h"
#include "corvix.h"
#include "first_network.h"
#include "frame_commands.h"
#include "frame_resources.h"
#include "main_frame.h"
#include "online/designer_messages.h"
#include "online/online_session.h"
#include "plandrel_app.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "session_host_app.h"
#include "sim/machine/machine.h"
#include "ui/testing.h"

namespace plandrel::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kTemperature = 0, kLevel = 1, kSetpoint = 2;  // variable indexes of the example
constexpr std::size_t kCommand = 0, kAlarm = 1;                      // message positions
constexpr std::size_t kR5 = 0, kR6 = 1;                              // remote stations

inline void Pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message != WM_QUIT) DispatchMessage(&msg);
}

// Serves the main thread's messages until `done` or the time-out.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    Pump();
    if (done()) return true;
    WaitMessageTimeout(5);
  }
  Pump();
  return done();
}

inline bool BoardUsed(std::uint16_t number) {
  std::uint16_t count = 0;
  if (GetActiveDevicesCount(&count) != 0) return false;
  std::vector<ActiveDeviceInfo> boards(count);
  if (GetActiveDevicesInfo(count, boards.data()) != 0) return false;
  for (const ActiveDeviceInfo& b : boards)
    if (b.boardType == kBoardTypePci && b.boardNumber == number) return b.used != 0;
  return false;
}

class SessionTest : public ::testing::Test {
 public:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "session" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    RegisterFrameResources();
  }
  void TearDown() override {
    if (app_) {
      if (app_->IsOnline()) {
        app_->MainFrame()->RunCommand(kCmdDisconnect);
        PumpUntil([this] { return app_->Session() == nullptr; });
      }
      app_->ExitInstance();
      Pump();
      app_.reset();
    }
    sim::shutdownMachine();
    unsetenv("XDG_DATA_HOME");
    qui::ClearResources();
    fs::remove_all(folder_);
  }

  // Boots the machine, starts the designer on the PCI board 1 and opens `configuration`.
  void Start(const records::Configuration& configuration, sim::MachineDescription machine = sim::standardMachine()) {
    StartWithFile(records::encode_format4(configuration), machine);
  }
  // The same with the configuration file's bytes.
  void StartWithFile(const std::vector<std::uint8_t>& bytes, sim::MachineDescription machine = sim::standardMachine()) {
    machine_ = &sim::bootMachine(machine);
    app_ = std::make_unique<CPlandrelApp>();
    app_->SetBoardSelection([this](SelectedDevice& device) {
      device = device_;
      return IDOK;
    });
    InstallSessionFactory(*app_);
    app_->arguments = {};
    ASSERT_TRUE(app_->InitInstance());
    const fs::path file = folder_ / "network.cnf";
    ASSERT_TRUE(records::write_file_atomically(file, bytes));
    ASSERT_TRUE(app_->OpenDocumentFile(file.c_str()));
  }

  CMainFrame& frame() { return *app_->MainFrame(); }
  CFipSession* session() { return dynamic_cast<CFipSession*>(app_->Session()); }
  CMenu* FipPopup() { return frame().GetMenu()->GetSubMenu(3); }
  std::string Text(std::uint32_t code) {
    HTREEITEM item = frame().Tree()->FindLocalItem(code);
    return item ? frame().Tree()->GetItemText(item) : std::string("<no item>");
  }
  std::string VariableText(std::size_t index) { return Text(static_cast<std::uint32_t>(5000 + index)); }
  std::string MessageText(std::size_t index) { return Text(static_cast<std::uint32_t>(35000 + index)); }

  bool Connect() {
    frame().RunCommand(kCmdConnect);
    const bool online = app_->IsOnline() && session() != nullptr;
    for (const auto& box : prompts_.Boxes())
      if (!online) std::fprintf(stderr, "shown: %s\n", box.text.c_str());
    return online;
  }
  // Waits until R6 has received a message from `source` carrying `data`.
  bool R6Receives(std::uint16_t source, const std::vector<std::uint8_t>& data) {
    return PumpUntil([&] {
      for (const auto& m : machine_->segment().remoteMessages(kR6))
        if (m.source == source) return m.data == data;
      return false;
    });
  }
  // Ends the session by `end` and waits for the frame to delete it.
  bool EndBy(const std::function<void()>& end) {
    end();
    return PumpUntil([this] { return app_->Session() == nullptr && !app_->IsOnline(); });
  }

  qui::testing::ScriptedPrompts prompts_;
  SelectedDevice device_{1, kBoardTypePci};
  fs::path folder_;
  std::unique_ptr<CPlandrelApp> app_;
  sim::Machine* machine_ = nullptr;
};

}  // namespace plandrel::testing
