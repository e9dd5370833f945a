// The session thread reaches the tree and the main frame only through sent messages, which run on
// the main thread while it serves its queue.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "frame_fixture.h"
#include "sample_network.h"

namespace plandrel {
namespace {

using testing::MainFrameTest;

TEST_F(MainFrameTest, ASessionThreadsTextsAndIconsRunOnTheMainThread) {
  document_->Records() = sample_network();
  CArbreCtrl& tree = *frame_->Tree();
  ASSERT_EQ(tree.BuildTree(), 0u);
  const HTREEITEM pump_speed = tree.FindLocalItem(5000);
  ASSERT_NE(pump_speed, nullptr);
  const HWND tree_window = tree.m_hWnd;
  const HWND frame_window = frame_->m_hWnd;

  std::atomic<bool> done{false};
  std::thread session([&] {
    std::string text;
    for (int i = 0; i < 200; ++i) {
      text = "Pump speed (" + std::to_string(i) + ")";
      SendMessage(tree_window, WM_TREE_SET_TEXT, reinterpret_cast<WPARAM>(pump_speed), reinterpret_cast<LPARAM>(text.c_str()));
      SendMessage(frame_window, WM_FIP_MEDIUM_ICONS, static_cast<WPARAM>(i % 4), 0);
    }
    done = true;
  });
  while (!done) {
    WaitMessageTimeout(5);
    testing::pump();
  }
  session.join();
  EXPECT_EQ(tree.GetItemText(pump_speed), "Pump speed (199)");
  EXPECT_EQ(frame_->MediumIcon(1), app_.LoadIcon(kIconOn));   // 199 % 4 == 3
  EXPECT_EQ(frame_->MediumIcon(2), app_.LoadIcon(kIconOn));
}

}  // namespace
}  // namespace plandrel
