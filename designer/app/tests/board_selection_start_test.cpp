// Start-up with the real board selection dialog over the simulated machine: refused, the single
// free board taken at once, a board chosen among several, and the Card information command.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "frame_resources.h"
#include "main_frame.h"
#include "online/attach_to_card.h"
#include "online/card_info_dlg.h"
#include "online/online_resources.h"
#include "plandrel_app.h"
#include "sim/machine/machine.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;

sim::MachineDescription machineOf(std::vector<sim::BoardConfig> boards) {
  sim::MachineDescription d;
  d.boards = std::move(boards);
  return d;
}

class BoardSelectionStart : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "start" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(folder_);
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    RegisterFrameResources();
    app_ = std::make_unique<CPlandrelApp>();
  }
  void TearDown() override {
    if (started_) app_->ExitInstance();
    qui::SetModalRunner({});
    app_.reset();
    unsetenv("XDG_DATA_HOME");
    qui::ClearResources();
    sim::shutdownMachine();
    fs::remove_all(folder_);
  }
  // InitInstance with `user` playing the user in each dialog shown.
  BOOL start(std::function<void(CDialog&)> user) {
    qui::SetModalRunner(std::move(user));
    started_ = true;
    return app_->InitInstance();
  }

  qui::testing::ScriptedPrompts prompts_;
  fs::path folder_;
  std::unique_ptr<CPlandrelApp> app_;
  bool started_ = false;
};

TEST_F(BoardSelectionStart, CancelOrClosingTheDialogEndsTheProgramBeforeAnyWindow) {
  sim::bootMachine(sim::defaultMachine());
  const std::function<void(CDialog&)> refusals[] = {
      [](CDialog& d) { d.ClickDlgItem(IDCANCEL); },
      [](CDialog& d) { d.PressEscape(); },
      [](CDialog& d) { d.SendMessage(WM_CLOSE); },
  };
  for (const auto& refuse : refusals) {
    int shown = 0;
    EXPECT_FALSE(start([&](CDialog& d) {
      ++shown;
      EXPECT_EQ(d.TemplateId(), IDD_ATTACH_TO_CARD);
      refuse(d);
    }));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(app_->m_pMainWnd, nullptr);
    EXPECT_EQ(app_->MainFrame(), nullptr);
    EXPECT_EQ(app_->Document(), nullptr);
    EXPECT_EQ(app_->GetBoardNumber(), 0);
    app_->ExitInstance();
    started_ = false;
  }
  EXPECT_TRUE(prompts_.Boxes().empty());
}

TEST_F(BoardSelectionStart, NoBoardEndsTheProgramWithTheMessage) {
  sim::bootMachine(machineOf({}));
  EXPECT_FALSE(start([](CDialog&) { ADD_FAILURE() << "no dialog is shown"; }));
  EXPECT_EQ(app_->m_pMainWnd, nullptr);
  ASSERT_EQ(prompts_.Boxes().size(), 1u);
  EXPECT_EQ(prompts_.Boxes()[0].text, kNoDeviceText);
}

TEST_F(BoardSelectionStart, TheSingleFreeBoardIsTakenWithoutADialog) {
  sim::bootMachine(machineOf({sim::Pc104BoardConfig{}}));
  ASSERT_TRUE(start([](CDialog&) { ADD_FAILURE() << "no dialog is shown"; }));
  EXPECT_EQ(app_->GetSelectedDevice(), (SelectedDevice{1, kBoardTypePc104}));
  EXPECT_NE(app_->MainFrame(), nullptr);
}

TEST_F(BoardSelectionStart, TheChosenBoardIsTheApplicationsAndItsCardInformation) {
  sim::bootMachine(sim::defaultMachine());
  ASSERT_TRUE(start([](CDialog& d) {
    d.SelectDlgItem(IDC_DEVICE_LIST, 1);  // PC104 #1
    d.ClickDlgItem(IDOK);
  }));
  EXPECT_EQ(app_->GetSelectedDevice(), (SelectedDevice{1, kBoardTypePc104}));
  ASSERT_NE(app_->MainFrame(), nullptr);

  int shown = 0;
  qui::SetModalRunner([&](CDialog& d) {
    ++shown;
    EXPECT_EQ(d.TemplateId(), IDD_CARD_INFO);
    EXPECT_EQ(d.GetDlgItemText(IDC_BOARD_NAME), "Osprix card");
    EXPECT_EQ(d.GetDlgItemText(IDC_SLOT), "0x300");
    d.ClickDlgItem(IDOK);
  });
  EXPECT_TRUE(app_->MainFrame()->RunCommand(ID_CARD_INFO));
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(prompts_.Boxes().empty());
}

}  // namespace
}  // namespace plandrel
