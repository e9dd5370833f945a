// Start-up with the real board selection dialog over the simulated machine: refused, the single
// free board taken at once, a board chosen among several, the Card information command, and a
// second designer of the same user beside this one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "frame_resources.h"
#include "main_frame.h"
#include "online/attach_to_card.h"
#include "online/card_info_dlg.h"
#include "online/online_resources.h"
#include "base/machine_root.h"
#include "plandrel_app.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "sim/machine/machine.h"
#include "testing/application.h"
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

  // Runs another designer on `machine_root`, with this one's working folder, on `configuration`;
  // returns what it tells.
  std::string RunPeerDesigner(const fs::path& configuration, const fs::path& machine_root) {
    const fs::path told = folder_ / "peer.txt";
    const qtesting::ChildEnd end = qtesting::runProgram(
        PLANDREL_PEER_DESIGNER, {configuration.string()},
        {"QT_QPA_PLATFORM=offscreen", "QUORELLE_MACHINE_ROOT=" + machine_root.string(),
         "XDG_DATA_HOME=" + (folder_ / "data").string()},
        told);
    EXPECT_TRUE(end.clean()) << end.describe();
    std::ostringstream text;
    text << std::ifstream(told).rdbuf();
    return text.str();
  }

  qui::testing::ScriptedPrompts prompts_;
  fs::path folder_;
  std::unique_ptr<CPlandrelApp> app_;
  bool started_ = false;
};

// A configuration file whose one variable is named `name`.
fs::path ConfigurationWith(const fs::path& path, std::string_view name) {
  records::Configuration c = records::new_configuration();
  records::VARIABLE4 v;
  records::set_text(v.name, name);
  records::set_text(v.format, "%h");
  v.identifier = 0x0100;
  v.length = 1;
  v.channel = -1;
  c.variables.push_back(v);
  EXPECT_TRUE(records::write_file_atomically(path, records::encode_format4(c)));
  return path;
}

std::vector<std::string> VariableNames(const fs::path& file) {
  std::vector<std::uint8_t> bytes;
  records::read_whole_file(file, records::kLargestConfigurationFile, bytes);
  records::Configuration c;
  records::LoadSummary summary;
  EXPECT_EQ(records::decode_configuration(bytes, c, summary), records::Status::ok);
  std::vector<std::string> names;
  for (const records::VARIABLE4& v : c.variables) names.emplace_back(records::text_of(v.name));
  return names;
}

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

// A second designer of the user, on this machine or on another one with the same working folder,
// finds this designer's board in use, takes the next one, and leaves this designer's working files
// alone: the next save writes this designer's records only.
TEST_F(BoardSelectionStart, ASecondDesignerTakesAnotherBoardAndLeavesTheFirstsWorkingFilesAlone) {
  sim::bootMachine(sim::defaultMachine());
  ASSERT_TRUE(start([](CDialog& d) { d.ClickDlgItem(IDOK); }));
  ASSERT_EQ(app_->GetSelectedDevice(), (SelectedDevice{1, kBoardTypePci}));
  const fs::path mine = ConfigurationWith(folder_ / "mine.cnf", "Mine");
  const fs::path theirs = ConfigurationWith(folder_ / "theirs.cnf", "Theirs");
  ASSERT_TRUE(app_->OpenDocumentFile(mine.c_str()));

  for (const fs::path& machine_root : {qbase::machineRoot(), folder_ / "another-machine"}) {
    EXPECT_EQ(RunPeerDesigner(theirs, machine_root), "selected 1 1\n") << machine_root;
    ASSERT_TRUE(app_->Document()->Save());
    EXPECT_THAT(VariableNames(mine), ::testing::ElementsAre("Mine")) << machine_root;
  }
}

}  // namespace
}  // namespace plandrel
