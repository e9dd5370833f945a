// Another designer of the same user, in a process of its own: it starts with the real board
// selection, taking the board that the selection highlights (Cancel when OK is refused), opens the
// configuration named on its command line and ends. Its standard error tells what it did:
// "selected <board type> <board number>" or "not started", then each message shown.
//
//   plandrel_peer_designer CONFIGURATION
#include <cstdio>

#include "frame_resources.h"
#include "plandrel_app.h"
#include "ui/testing.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qui::testing::ScriptedPrompts prompts;
  plandrel::RegisterFrameResources();
  plandrel::CPlandrelApp app;
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
  } else {
    std::fprintf(stderr, "not started\n");
  }
  for (const qui::testing::ShownBox& box : prompts.Boxes()) std::fprintf(stderr, "%s\n", box.text.c_str());
  app.ExitInstance();
  return 0;
}
