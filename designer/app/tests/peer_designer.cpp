// Another designer of the same user, in a process of its own: it starts with the real board
// selection, taking the board that the selection highlights (Cancel when OK is refused), opens the
// configuration named on its command line, connects when asked to, and ends. Its standard error
// tells what it did: "selected <board type> <board number>" or "not started", then "connected",
// "not connected" or, when Connect has not returned within 30 s, "Connect blocked" (and the process
// ends at once), then each message shown.
//
//   plandrel_peer_designer CONFIGURATION [connect]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

#include "frame_commands.h"
#include "frame_resources.h"
#include "main_frame.h"
#include "plandrel_app.h"
#include "session_host_app.h"
#include "ui/testing.h"

namespace {

// Connect on the main thread, watched: a Connect that never returns ends the process.
bool ConnectWatched(plandrel::CPlandrelApp& app) {
  std::atomic<bool> returned{false};
  std::thread watch([&returned] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!returned.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (returned.load()) return;
    std::fprintf(stderr, "Connect blocked\n");
    ::_exit(4);
  });
  app.MainFrame()->RunCommand(plandrel::kCmdConnect);
  returned = true;
  watch.join();
  return app.IsOnline();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 3 && std::string(argv[2]) == "connect")) return 2;
  qui::testing::ScriptedPrompts prompts;
  plandrel::RegisterFrameResources();
  plandrel::CPlandrelApp app;
  plandrel::InstallSessionFactory(app);
  app.arguments = {argv[1]};
  qui::SetModalRunner([](CDialog& d) {
    d.ClickDlgItem(IDOK);
    if (!d.IsEnded()) d.ClickDlgItem(IDCANCEL);
  });
  const bool started = app.InitInstance() != FALSE;
  if (started) {
    const plandrel::SelectedDevice device = app.GetSelectedDevice();
    std::fprintf(stderr, "selected %u %u\n", static_cast<unsigned>(device.board_type),
                 static_cast<unsigned>(device.board_number));
    if (argc == 3) std::fprintf(stderr, ConnectWatched(app) ? "connected\n" : "not connected\n");
  } else {
    std::fprintf(stderr, "not started\n");
  }
  app.ExitInstance();
  for (const qui::testing::ShownBox& box : prompts.Boxes()) std::fprintf(stderr, "%s\n", box.text.c_str());
  return 0;
}
