// An on-line dialog's frame on real widgets (Qt's offscreen platform): the user minimises it, the
// session's open raises it again, restored, and the main title follows both changes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiSubWindow>
#include <filesystem>

#include "model/plandrel_doc.h"
#include "model/timing_table.h"
#include "online/frame_dlg.h"
#include "online/session_host.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

constexpr UINT kMainMenu = 128, kTemplate = 146;

class TitleHost final : public DocumentHost {
 public:
  MessageAnswer ShowMessage(std::string_view, MessageButtons, MessageIcon) override { return MessageAnswer::ok; }
  std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileDialogResult> AskSavePath(const FileDialogRequest&) override { return std::nullopt; }
  void SetMainTitle(std::string_view) override { ++titles; }
  void AddToRecentFiles(const std::filesystem::path&) override {}
  int titles = 0;
};

class FrameHost final : public SessionHost {
 public:
  explicit FrameHost(CPlandrelDoc& document) : document_(document) {}
  CMDIFrameWnd& Frame() override { return frame; }
  bool IsMainWindow() const override { return false; }
  CTreeCtrl* Tree() override { return nullptr; }
  void ExpandLocalStation() override {}
  void SendTreeToBottom() override {}
  void EnableMessageMenuItem(int, bool) override {}
  void OpenCsv() override {}
  std::string CsvPath() const override { return {}; }
  CPlandrelDoc* Document() override { return &document_; }
  SelectedDevice Device() const override { return {}; }
  const TimingTable& Timing() const override { return timing_; }
  bool IsOnline() const override { return true; }
  void SetOnline(bool) override {}
  CMDIFrameWnd frame;

 private:
  CPlandrelDoc& document_;
  TimingTable timing_{};
};

class FrameDlgWidgets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qui::testing::StartOffscreenApplication("plandrel_frame_dlg_widgets_test"); }
  static void TearDownTestSuite() { qui::testing::EndOffscreenApplication(); }
  void SetUp() override {
    qui::RegisterMenu(kMainMenu, {{"&File", 0, {{"E&xit", ID_APP_EXIT}}}});
    qui::RegisterDialog({kTemplate, 200, 60, "", "MS Shell Dlg", 8, qui::kChild,
                         {{1032, qui::ControlKind::Edit, 40, 8, 120, 12, ""}}});
  }
  void TearDown() override { qui::ClearResources(); }
};

TEST_F(FrameDlgWidgets, AMinimisedDialogIsRestoredWhenOpenedAgain) {
  TitleHost titles;
  CPlandrelDoc document(titles, std::filesystem::temp_directory_path(), SelectedDevice{});
  FrameHost host(document);
  ASSERT_TRUE(host.frame.LoadFrame(kMainMenu));
  host.frame.ShowWindow(SW_SHOW);
  CHostedDlg dialog(kTemplate, kFrameVarConsumed);
  ASSERT_TRUE(dialog.Open(host, FrameCaption(kFrameVarConsumed, "Temperature")));
  auto* sub = qobject_cast<QMdiSubWindow*>(dialog.Frame().widget());
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->windowTitle().toStdString(), "Temperature, consumed.");
  const QRect placed = sub->geometry();

  int before = titles.titles;
  sub->showMinimized();  // the user's minimise box
  EXPECT_GT(titles.titles, before);
  before = titles.titles;
  dialog.ActivateFrame();  // the session's open, with the dialog already there
  EXPECT_FALSE(sub->isMinimized());
  EXPECT_EQ(sub->geometry(), placed);
  EXPECT_EQ(host.frame.MDIGetActive(), &dialog.Frame());
  EXPECT_GT(titles.titles, before);
  dialog.DestroyWindow();
  dialog.Frame().DestroyWindow();
  host.frame.DestroyWindow();
}

}  // namespace
}  // namespace plandrel
