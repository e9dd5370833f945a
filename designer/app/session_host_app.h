// The on-line session's host in the program: the main frame, its configuration tree and the
// application object, as the session reaches them; and the factory that gives the main frame a
// session at Connect.
#pragma once

#include "online/session_host.h"

namespace plandrel {

class CMainFrame;
class CPlandrelApp;

class AppSessionHost final : public SessionHost {
 public:
  AppSessionHost(CMainFrame& frame, CPlandrelApp& app) : frame_(frame), app_(app) {}

  CMDIFrameWnd& Frame() override;
  bool IsMainWindow() const override;
  CTreeCtrl* Tree() override;
  void ExpandLocalStation() override;
  void SendTreeToBottom() override;
  void EnableMessageMenuItem(int position, bool enable) override;
  void OpenCsv() override;
  std::string CsvPath() const override;
  CPlandrelDoc* Document() override;
  SelectedDevice Device() const override;
  const TimingTable& Timing() const override;
  bool IsOnline() const override;
  void SetOnline(bool online) override;

 private:
  CMainFrame& frame_;
  CPlandrelApp& app_;
};

// Installs the factory that gives the main frame a CFipSession at Connect.
void InstallSessionFactory(CPlandrelApp& app);

}  // namespace plandrel
