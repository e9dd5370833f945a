// The designer's entry: the program's resources, then the application object's run (start-up,
// message loop, shutdown) on the class-library layer.
#include "about_dlg.h"
#include "editor_dialogs.h"
#include "frame_resources.h"
#include "online/online_session.h"
#include "plandrel_app.h"

int main(int argc, char** argv) {
  plandrel::RegisterFrameResources();
  plandrel::RegisterAboutDialog();
  plandrel::RegisterEditorDialogs();
  plandrel::CPlandrelApp app;
  plandrel::InstallSessionFactory(app);
  return AfxWinMain(argc, argv);
}
