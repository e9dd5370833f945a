// The main frame without a display, over a document in a temporary working folder.
#pragma once

#include <gtest/gtest.h>

#include "ui/afxwin.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "frame_fakes.h"
#include "frame_resources.h"
#include "main_frame.h"
#include "model/plandrel_doc.h"

namespace plandrel::testing {

// Dispatches every post waiting for the thread's windows.
inline void pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test its own folder, in its process's own machine root.
    folder_ = qbase::machineRoot() / "frame_test" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
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
    delete frame_;  // a closed frame's window is gone; its object is the test's
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
