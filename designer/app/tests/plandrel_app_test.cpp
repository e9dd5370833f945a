// The application object without a display: start-up and its refusals, the command line and the
// title, Exit off and on line, the shutdown order, the profile and the about box's version line.
#include "plandrel_app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "about_dlg.h"
#include "base/machine_root.h"
#include "base/registry_store.h"
#include "online/critical_sections.h"
#include "online/designer_messages.h"
#include "frame_fakes.h"
#include "frame_resources.h"
#include "main_frame.h"
#include "records/atomic_file.h"
#include "records/config_format.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;
namespace reg = qbase::registry;

void pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message != WM_QUIT) DispatchMessage(&msg);
}

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "app" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    RegisterFrameResources();
    RegisterAboutDialog();
    app_ = std::make_unique<CPlandrelApp>();
    app_->SetBoardSelection([this](SelectedDevice& device) {
      ++selections_;
      device = SelectedDevice{2, kBoardTypePc104};
      return selection_result_;
    });
  }
  void TearDown() override {
    if (started_) app_->ExitInstance();
    pump();
    app_.reset();
    unsetenv("XDG_DATA_HOME");
    qui::ClearResources();
    fs::remove_all(folder_);
  }

  BOOL start(std::vector<std::string> arguments = {}) {
    app_->arguments = std::move(arguments);
    started_ = true;
    return app_->InitInstance();
  }
  std::string main_title() const {
    return app_->m_pMainWnd ? app_->m_pMainWnd->GetWindowText() : std::string();
  }
  fs::path file_with(const std::vector<std::uint8_t>& bytes, std::string_view name) {
    const fs::path path = folder_ / name;
    EXPECT_TRUE(records::write_file_atomically(path, bytes));
    return path;
  }

  qui::testing::ScriptedPrompts prompts_;
  fs::path folder_;
  std::unique_ptr<CPlandrelApp> app_;
  int selection_result_ = IDOK;
  int selections_ = 0;
  bool started_ = false;
};

TEST_F(AppTest, ARefusedBoardSelectionEndsTheProgramBeforeAnyWindow) {
  for (int result : {-1, IDCANCEL, 3}) {
    selection_result_ = result;
    EXPECT_FALSE(start()) << result;
    EXPECT_EQ(app_->m_pMainWnd, nullptr) << result;
    EXPECT_EQ(app_->MainFrame(), nullptr) << result;
    EXPECT_EQ(app_->Document(), nullptr) << result;
    app_->ExitInstance();
  }
  EXPECT_EQ(selections_, 3);
}

TEST_F(AppTest, StartUpBuildsTheWindowTheDocumentAndTheWorkingFolder) {
  ASSERT_TRUE(start());
  ASSERT_NE(app_->MainFrame(), nullptr);
  EXPECT_EQ(app_->m_pMainWnd, app_->MainFrame());
  ASSERT_NE(app_->MainFrame()->Tree(), nullptr);
  ASSERT_NE(app_->Document(), nullptr);
  EXPECT_TRUE(app_->Document()->IsUntouched());
  EXPECT_EQ(app_->GetSelectedDevice(), (SelectedDevice{2, kBoardTypePc104}));
  EXPECT_EQ(app_->GetWorkingFolder(), folder_ / "data" / "Talvenor" / "Quorelle" / "");
  EXPECT_TRUE(fs::is_directory(app_->GetWorkingFolder()));
  EXPECT_FALSE(app_->IsOnline());
  EXPECT_EQ(app_->Session(), nullptr);
  EXPECT_EQ(app_->IconSize(), 0);  // no "IconSize" in the profile: small icons
  EXPECT_EQ(app_->GetTimingTable().bytes[TimingTable::kMinTurnaround][2], 14);
  for (CRITICAL_SECTION* section : DesignerCriticalSections()) EXPECT_NE(section->state, nullptr);
  EXPECT_TRUE(prompts_.Boxes().empty());

  // The working files are the selected board's: PC104 board 2.
  ASSERT_TRUE(app_->Document()->New());
  EXPECT_TRUE(fs::exists(app_->GetWorkingFolder() / "variables12.trv"));
  EXPECT_EQ(main_title(), "Plandrel - untitled");

  app_->SetIconSize(1);
  EXPECT_EQ(app_->GetProfileInt("GUI", "IconSize", 0), 1u);
}

TEST_F(AppTest, AFileOnTheCommandLineIsOpenedAndNamesTheWindow) {
  const fs::path path = file_with(records::encode_format4(records::new_configuration()), "net.cnf");
  ASSERT_TRUE(start({path.string()}));
  EXPECT_EQ(main_title(), "Plandrel - net.cnf");
  EXPECT_FALSE(app_->Document()->IsUntouched());
  EXPECT_EQ(app_->Document()->GetPathName(), path);
  ASSERT_FALSE(app_->RecentFiles().empty());
  EXPECT_EQ(app_->RecentFiles().front(), path.string());
}

TEST_F(AppTest, ABadFileOnTheCommandLineLeavesTheProgramRunning) {
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::string text;
  };
  auto truncated = records::encode_format4(records::new_configuration());
  truncated.resize(200);
  for (const Case& k :
       {Case{"foreign.cnf", {'G', 'I', 'F', '8', '9', 'a'}, "Cannot open file : invalid format."},
        Case{"truncated.cnf", truncated, "Cannot open file : invalid format."},
        Case{"", {}, "Error recording configuration."}}) {
    const fs::path path = k.name.empty() ? folder_ / "absent.cnf" : file_with(k.bytes, k.name);
    prompts_.Clear();
    ASSERT_TRUE(start({path.string()})) << k.text;
    ASSERT_EQ(prompts_.Boxes().size(), 1u);
    EXPECT_EQ(prompts_.Boxes()[0].text, k.text);
    ASSERT_NE(app_->MainFrame(), nullptr);
    // The document is usable: a new configuration can be made and saved.
    EXPECT_TRUE(app_->Document()->IsUntouched());
    EXPECT_TRUE(app_->Document()->New());
    prompts_.ChooseFileAnswer((folder_ / "saved.cnf").string());
    EXPECT_TRUE(app_->Document()->SaveAs());
    EXPECT_TRUE(fs::exists(folder_ / "saved.cnf"));
    app_->ExitInstance();
    pump();
  }
  started_ = false;
}

TEST_F(AppTest, ExitOffLineClosesThroughTheSessionEndedMessage) {
  ASSERT_TRUE(start());
  const HWND main = app_->m_pMainWnd->m_hWnd;
  ASSERT_TRUE(app_->MainFrame()->RunCommand(ID_APP_EXIT));
  EXPECT_TRUE(IsWindow(main));  // nothing closes before the message is served
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, main, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_FIP_SESSION_ENDED);
  EXPECT_EQ(msg.wParam, 1u);
  pump();
  EXPECT_FALSE(IsWindow(main));
}

TEST_F(AppTest, ExitOnLinePostsTheEndOfTheSession) {
  ASSERT_TRUE(start());
  auto session = std::make_unique<testing::FakeSession>();
  testing::FakeSession& fake = *session;
  app_->SetSession(std::move(session));
  app_->SetOnline(true);
  const HWND main = app_->m_pMainWnd->m_hWnd;
  ASSERT_TRUE(app_->MainFrame()->RunCommand(ID_APP_EXIT));
  EXPECT_EQ(fake.EndRequests(), std::vector<WPARAM>{1});
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, main, 0, 0, PM_NOREMOVE));
  EXPECT_TRUE(IsWindow(main));
}

// A session that notes, when it is deleted, whether the locks and the document still stand.
class WitnessSession : public testing::FakeSession {
 public:
  WitnessSession(CPlandrelApp& app, std::vector<std::string>& notes) : app_(app), notes_(notes) {}
  ~WitnessSession() override {
    notes_.push_back(csEngine.state != nullptr && csValuesDisplay.state != nullptr ? "locks"
                                                                                   : "no locks");
    notes_.push_back(app_.Document() != nullptr ? "document" : "no document");
  }

 private:
  CPlandrelApp& app_;
  std::vector<std::string>& notes_;
};

TEST_F(AppTest, ShutdownDeletesTheSessionThenTheLocksThenTheDocument) {
  ASSERT_TRUE(start());
  std::vector<std::string> notes;
  app_->SetSession(std::make_unique<WitnessSession>(*app_, notes));
  app_->ExitInstance();
  started_ = false;
  EXPECT_EQ(notes, (std::vector<std::string>{"locks", "document"}));
  for (CRITICAL_SECTION* section : DesignerCriticalSections()) EXPECT_EQ(section->state, nullptr);
  EXPECT_EQ(app_->Document(), nullptr);
  EXPECT_EQ(app_->Session(), nullptr);
}

TEST_F(AppTest, OnLineTheRecentFilesAreGreyed) {
  ASSERT_TRUE(start());
  CMenu* file = app_->MainFrame()->GetMenu()->GetSubMenu(0);
  ASSERT_NE(file, nullptr);
  app_->AddToRecentFileList((folder_ / "a.cnf").c_str());
  app_->SetOnline(true);
  CCmdUI ui;
  ui.m_nID = ID_FILE_MRU_FILE1;
  ui.m_pMenu = file;
  app_->OnUpdateRecentFileMenu(&ui);
  bool greyed_any = false;
  for (UINT position = 8; position < file->GetMenuItemCount(); ++position) {
    const UINT id = file->GetMenuItemID(static_cast<int>(position));
    if (id == ID_APP_EXIT) {
      EXPECT_FALSE(file->GetMenuState(position, MF_BYPOSITION) & MF_GRAYED);
      break;
    }
    EXPECT_TRUE(file->GetMenuState(position, MF_BYPOSITION) & MF_GRAYED) << position;
    greyed_any = true;
  }
  EXPECT_TRUE(greyed_any);
}

TEST(AboutBox, VersionLineFromDistrib) {
  const char* key = "SOFTWARE\\Talvenor\\Quorelle 5";
  qbase::ensureMachineBooted();  // its keys in place before the test shapes its own
  reg::deleteKey(reg::Root::LocalMachine, "SOFTWARE\\Talvenor");
  EXPECT_EQ(AboutVersionLine(), "Quorelle");  // no key
  ASSERT_TRUE(reg::createKey(reg::Root::LocalMachine, key));
  EXPECT_EQ(AboutVersionLine(), "Quorelle");  // no value
  const std::string distrib = "5.0.2";
  reg::Value value{reg::ValueType::String,
                   std::vector<std::uint8_t>(distrib.begin(), distrib.end())};
  value.data.push_back(0);
  ASSERT_TRUE(reg::setValue(reg::Root::LocalMachine, key, "Distrib", value));
  EXPECT_EQ(AboutVersionLine(), "Quorelle version 5.0.2");
  reg::deleteKey(reg::Root::LocalMachine, "SOFTWARE\\Talvenor");
}

}  // namespace
}  // namespace plandrel
