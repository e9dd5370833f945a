#include "session_host_app.h"

#include "main_frame.h"
#include "online/online_session.h"
#include "plandrel_app.h"

namespace plandrel {

CMDIFrameWnd& AppSessionHost::Frame() { return frame_; }
bool AppSessionHost::IsMainWindow() const { return app_.m_pMainWnd == &frame_; }
CTreeCtrl* AppSessionHost::Tree() { return frame_.Tree(); }

void AppSessionHost::ExpandLocalStation() {
  if (CArbreCtrl* tree = frame_.Tree()) tree->ExpandLocalStation();
}

void AppSessionHost::SendTreeToBottom() {
  if (CArbreCtrl* tree = frame_.Tree()) tree->SendFrameToBottom();
}

void AppSessionHost::EnableMessageMenuItem(int position, bool enable) { frame_.EnableMessageMenuItem(position, enable); }
void AppSessionHost::OpenCsv() { frame_.OpenCsv(); }
std::string AppSessionHost::CsvPath() const { return frame_.CsvPath(); }
CPlandrelDoc* AppSessionHost::Document() { return app_.Document(); }
SelectedDevice AppSessionHost::Device() const { return app_.GetSelectedDevice(); }
const TimingTable& AppSessionHost::Timing() const { return app_.GetTimingTable(); }
bool AppSessionHost::IsOnline() const { return app_.IsOnline(); }
void AppSessionHost::SetOnline(bool online) { app_.SetOnline(online); }

void InstallSessionFactory(CPlandrelApp& app) {
  app.SetSessionFactory([&app](CMainFrame& frame) {
    return std::make_unique<CFipSession>(std::make_unique<AppSessionHost>(frame, app));
  });
}

}  // namespace plandrel
