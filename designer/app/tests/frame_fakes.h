// Stand-ins around the main frame without a display: a document host that says No, a session with
// a mailbox window of its own, and a host whose on-line flag the test sets.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "online/designer_messages.h"
#include "frame_host.h"
#include "model/plandrel_doc.h"
#include "ui/afxwin.h"

namespace plandrel::testing {

class QuietDocumentHost : public DocumentHost {
 public:
  MessageAnswer ShowMessage(std::string_view text, MessageButtons, MessageIcon) override {
    shown.emplace_back(text);
    return MessageAnswer::no;
  }
  std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileDialogResult> AskSavePath(const FileDialogRequest&) override { return save_as; }
  void SetMainTitle(std::string_view title) override { this->title = std::string(title); }
  void AddToRecentFiles(const std::filesystem::path&) override {}
  std::vector<std::string> shown;
  std::string title;
  std::optional<FileDialogResult> save_as;  // the file chosen in "Save As"; none: cancelled
};

class FakeSession : public FipSession {
 public:
  FakeSession() { mailbox.Create(nullptr, "", WS_CHILD | WS_DISABLED, CRect(0, 0, 100, 100), nullptr, 0); }
  ~FakeSession() override {
    if (mailbox.m_hWnd) mailbox.DestroyWindow();
    if (deleted) *deleted = true;
  }
  bool Connect() override { return connects; }
  HWND SessionWindow() const override { return mailbox.m_hWnd; }
  std::size_t VariableCount() const override { return 3; }
  std::size_t MessageCount() const override { return 1; }
  bool AperiodicUsable() const override { return aperiodic_usable; }
  void AperiodicListsChanged(bool usable) override {
    aperiodic_usable = usable;
    opened.push_back("lists changed");
  }
  void OpenBaDialog() override { opened.push_back("ba"); }
  void OpenMediumDialog() override { opened.push_back("medium"); }
  void OpenAperiodicDialog() override { opened.push_back("aperiodic"); }
  void OpenVariablesDisplay() override { opened.push_back("display"); }
  void OpenVariableDialog(std::size_t index) override { opened.push_back("variable " + std::to_string(index)); }
  void OpenMessageDialog(std::size_t index) override { opened.push_back("message " + std::to_string(index)); }

  // The end requests that reached the mailbox, by reason.
  std::vector<WPARAM> EndRequests() {
    std::vector<WPARAM> reasons;
    MSG msg;
    while (PeekMessage(&msg, mailbox.m_hWnd, 0, 0, PM_REMOVE))
      if (msg.message == WM_FIP_END_SESSION) reasons.push_back(msg.wParam);
    return reasons;
  }

  CWnd mailbox;
  bool connects = true;
  bool aperiodic_usable = false;
  bool* deleted = nullptr;
  std::vector<std::string> opened;
};

class FakeHost : public FrameHost {
 public:
  FakeHost() { timing.Fill(); }
  CPlandrelDoc* Document() override { return document; }
  bool IsOnline() const override { return online; }
  bool IsPresenceTestRunning() const override { return false; }
  const TimingTable& Timing() const override { return timing; }
  FipSession* Session() override { return session.get(); }
  void SetSession(std::unique_ptr<FipSession> next) override { session = std::move(next); }
  std::unique_ptr<FipSession> MakeSession(CMainFrame&) override {
    ++sessions_made;
    auto made = std::make_unique<FakeSession>();
    made->connects = connect_succeeds;
    if (connect_succeeds) online = true;
    return made;
  }
  int IconSize() const override { return icon_size; }
  void SetIconSize(int size) override { icon_size = size; }
  void RunPresenceTest(CMainFrame&) override { ++presence_tests; }

  CPlandrelDoc* document = nullptr;
  int presence_tests = 0;
  TimingTable timing;
  bool online = false;
  bool connect_succeeds = true;
  int sessions_made = 0;
  int icon_size = 0;
  std::unique_ptr<FipSession> session;
};

}  // namespace plandrel::testing
