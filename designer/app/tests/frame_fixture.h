// The main frame without a display: a document over a temporary working folder, a host whose
// on-line flag the test sets, and a session stand-in with a mailbox window of its own.
#pragma once

#include <gtest/gtest.h>

#include "ui/afxwin.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "designer_messages.h"
#include "frame_resources.h"
#include "main_frame.h"
#include "model/plandrel_doc.h"

namespace plandrel::testing {

class QuietDocumentHost : public DocumentHost {
 public:
  MessageAnswer ShowMessage(std::string_view text, MessageButtons, MessageIcon) override {
    shown.emplace_back(text);
    return MessageAnswer::no;
  }
  std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileDialogResult> AskSavePath(const FileDialogRequest&) override { return std::nullopt; }
  void SetMainTitle(std::string_view title) override { this->title = std::string(title); }
  void AddToRecentFiles(const std::filesystem::path&) override {}
  std::vector<std::string> shown;
  std::string title;
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
  bool AperiodicUsable() const override { return false; }
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
  bool* deleted = nullptr;
  std::vector<std::string> opened;
};

class FakeHost : public FrameHost {
 public:
  CPlandrelDoc* Document() override { return document; }
  bool IsOnline() const override { return online; }
  bool IsPresenceTestRunning() const override { return false; }
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

  CPlandrelDoc* document = nullptr;
  bool online = false;
  bool connect_succeeds = true;
  int sessions_made = 0;
  int icon_size = 0;
  std::unique_ptr<FipSession> session;
};

// Dispatches every post waiting for the thread's windows.
inline void pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::path(::testing::TempDir()) / "frame_test";
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    RegisterFrameResources();
    document_ = std::make_unique<CPlandrelDoc>(document_host_, folder_, SelectedDevice{});
    host_.document = document_.get();
    frame_ = new CMainFrame(host_);
    ASSERT_TRUE(frame_->LoadFrame(kMainFrameResource));
    frame_window_ = frame_->m_hWnd;
    app_.m_pMainWnd = frame_;
    ASSERT_TRUE(frame_->CreateTree());
  }
  void TearDown() override {
    host_.session.reset();
    pump();
    if (frame_alive()) delete frame_;
    app_.m_pMainWnd = nullptr;
    std::filesystem::remove_all(folder_);
  }
  bool frame_alive() const { return app_.m_pMainWnd != nullptr && IsWindow(frame_window_); }

  bool enabled(UINT id) {
    CCmdUI ui;
    ui.m_nID = id;
    frame_->OnCmdMsg(id, &ui);
    return ui.enabled;
  }
  int checked(UINT id) {
    CCmdUI ui;
    ui.m_nID = id;
    frame_->OnCmdMsg(id, &ui);
    return ui.checked;
  }
  FakeSession& go_on_line() {
    EXPECT_TRUE(document_->New());
    host_.session = std::make_unique<FakeSession>();
    host_.online = true;
    return static_cast<FakeSession&>(*host_.session);
  }

  CWinApp app_;
  std::filesystem::path folder_;
  QuietDocumentHost document_host_;
  std::unique_ptr<CPlandrelDoc> document_;
  FakeHost host_;
  CMainFrame* frame_ = nullptr;
  HWND frame_window_ = nullptr;
};

}  // namespace plandrel::testing
