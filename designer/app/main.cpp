// The designer's entry: the program's resources, then the application object's run (start-up,
// message loop, shutdown) on the class-library layer, inside the crash guard.
#include "about_dlg.h"
#include "crash_guard.h"
#include "frame_resources.h"
#include "plandrel_app.h"
#include "session_host_app.h"

int main(int argc, char** argv) {
  plandrel::RegisterFrameResources();
  plandrel::RegisterAboutDialog();
  plandrel::CPlandrelApp app;
  plandrel::InstallSessionFactory(app);
  return plandrel::AfxWinMain(argc, argv);
}
