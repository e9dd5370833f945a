#include "plandrel_app.h"

#include <string>

#include "about_dlg.h"
#include "corvix.h"
#include "crash_report.h"
#include "document_host_ui.h"
#include "main_frame.h"
#include "online/attach_to_card.h"
#include "online/card_info_dlg.h"
#include "online/critical_sections.h"
#include "online/designer_messages.h"
#include "online/online_dialogs.h"
#include "splash_wnd.h"
#include "working_folder.h"
#include "win32/windows.h"

namespace plandrel {

namespace {

CPlandrelApp* the_app = nullptr;

constexpr UINT kMainFrameResource = 128;
constexpr LPCSTR kTreeProblem = "Warning :\nProblem in tree view management.";
constexpr int kSessionEndExit = 1;  // SessionEndReason: application exit
// The recent-file entries of the File menu start at this position and run up to the Exit entry.
constexpr UINT kFirstRecentFilePosition = 8;

}  // namespace

CPlandrelApp* GetPlandrelApp() { return the_app; }

CPlandrelApp::CPlandrelApp() : CWinApp("Plandrel") {
  the_app = this;
  MapCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
  MapCommand(ID_APP_EXIT, [this] { OnAppExit(); });
  MapCommand(ID_CARD_INFO, [this] { OnCardInfo(device_, m_pMainWnd); });
  MapUpdateCommand(ID_FILE_MRU_FILE1, [this](CCmdUI* ui) { OnUpdateRecentFileMenu(ui); });
}

CPlandrelApp::~CPlandrelApp() {
  if (the_app == this) the_app = nullptr;
}

DocumentHost& CPlandrelApp::Host() {
  if (document_host_ != nullptr) return *document_host_;
  if (!ui_host_) ui_host_ = std::make_unique<UiDocumentHost>();
  return *ui_host_;
}

CMainFrame* CPlandrelApp::MainFrame() const { return main_frame_.get(); }

BOOL CPlandrelApp::InitInstance() {
  // 1. The critical sections exist before anything else, and before any thread.
  for (CRITICAL_SECTION* section : DesignerCriticalSections()) InitializeCriticalSection(section);
  qui::SetCriticalSectionRank(&csEngine, 0, "csEngine");
  for (CRITICAL_SECTION* section : DesignerCriticalSections())
    if (section != &csEngine) qui::SetCriticalSectionRank(section, 1, "designer");
  sections_created_ = true;

  // 2.
  AfxInitRichEdit2();

  // 6. The working folder comes before the board: a board whose working files another designer
  // holds there is not offered, and the chosen board's are held for the whole run.
  working_folder_ = ChooseWorkingFolder();
  SetCrashReportFolder(working_folder_);

  // 3. The board: refused or absent ends the program before any window exists.
  RegisterOnlineDialogs();
  const BoardSelection select =
      board_selection_ ? board_selection_
                       : [this](SelectedDevice& device) { return SelectBoardAtStart(device, working_folder_, hold_); };
  if (select(device_) != IDOK) return FALSE;
  // A selection that left the working files free takes them now; another designer's hold ends the
  // start as a refused selection does.
  if (!hold_.Held() && !hold_.Take(working_folder_, device_.board_type, device_.board_number)) return FALSE;
  // The crash report names the board; its serial number is read now, never at a crash.
  SetCrashReportBoard(device_.board_type, device_.board_number,
                      GetCardrixSerialNumber(device_.board_type, device_.board_number));

  // 4., 5., 7.
  online_ = 0;
  presence_test_ = 0;
  SetRegistryKey("Talvenor");
  LoadStdProfileSettings(4);
  icon_size_ = static_cast<int>(GetProfileInt("GUI", "IconSize", 0));

  // 8. The command line decides on the splash window.
  CCommandLineInfo command_line;
  ParseCommandLine(command_line);
  show_splash_ = command_line.m_bShowSplash != FALSE;
  CSplashWnd::EnableSplash(show_splash_);

  // 9.
  timing_.Fill();

  // 10.-11. The main window.
  document_.reset();
  main_frame_ = std::make_unique<CMainFrame>(*this);
  if (!main_frame_->LoadFrame(kMainFrameResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE)) {
    main_frame_.reset();
    return FALSE;
  }
  m_pMainWnd = main_frame_.get();
  main_frame_->DragAcceptFiles();
  main_frame_->ShowWindow(m_nCmdShow);
  main_frame_->UpdateWindow();

  // 12. The one document.
  document_ = std::make_unique<CPlandrelDoc>(Host(), working_folder_, device_);

  // 13. The configuration tree: a failure is told and start-up goes on.
  session_.reset();
  if (!main_frame_->CreateTree())
    Host().ShowMessage(kTreeProblem, MessageButtons::ok, MessageIcon::information);

  // 14. The away-mode power setting notification: this platform's layer offers no registration,
  // so none is made (power_notification_ stays null); suspend and resume still reach the main
  // window through the layer's power broadcast.

  // 15. A file named on the command line. A file that cannot be opened has been reported and
  // leaves the program running with its document, as an Open would.
  if (command_line.m_nShellCommand == CCommandLineInfo::FileOpen)
    OpenDocumentFile(command_line.m_strFileName.c_str());
  return TRUE;
}

int CPlandrelApp::ExitInstance() {
  power_notification_ = nullptr;
  // The session's threads use the critical sections and the document: it goes first.
  session_.reset();
  if (sections_created_) {
    for (CRITICAL_SECTION* section : DesignerCriticalSections()) DeleteCriticalSection(section);
    sections_created_ = false;
  }
  document_.reset();
  main_frame_.reset();
  m_pMainWnd = nullptr;
  return CWinApp::ExitInstance();
}

BOOL CPlandrelApp::PreTranslateMessage(MSG* msg) {
  if (CSplashWnd::SplashTakesMessage(msg)) return TRUE;
  return CWinApp::PreTranslateMessage(msg);
}

BOOL CPlandrelApp::OpenDocumentFile(LPCSTR path) {
  if (!document_ || path == nullptr) return FALSE;
  if (!document_->ReadConfiguration(path)) return FALSE;
  CArbreCtrl* tree = main_frame_ ? main_frame_->Tree() : nullptr;
  if (tree == nullptr || tree->BuildTree() != 0)
    Host().ShowMessage(kTreeProblem, MessageButtons::ok, MessageIcon::warning);
  document_->UpdateTitle();
  AddToRecentFileList(document_->GetPathName().string().c_str());
  return TRUE;
}

BOOL CPlandrelApp::SaveAllModified() {
  return !document_ || document_->SaveModified() ? TRUE : FALSE;
}

std::unique_ptr<FipSession> CPlandrelApp::MakeSession(CMainFrame& frame) {
  return session_factory_ ? session_factory_(frame) : nullptr;
}

void CPlandrelApp::SetIconSize(int size) {
  icon_size_ = size;
  WriteProfileInt("GUI", "IconSize", size);
}

void CPlandrelApp::RunPresenceTest(CMainFrame& frame) {
  if (document_) RunPresenceTestDialog(*this, *document_, timing_, &frame);
}

int CPlandrelApp::IsWow64() const {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? 1 : 0;
}

void CPlandrelApp::OnAppAbout() {
  CAboutDlg about;
  about.DoModal();
}

void CPlandrelApp::OnAppExit() {
  if (online_ != 0 && session_ && session_->SessionWindow() != nullptr) {
    // The session ends first; its end brings the session-ended message that closes the window.
    ::PostMessage(session_->SessionWindow(), WM_FIP_END_SESSION, kSessionEndExit, 0);
    return;
  }
  if (m_pMainWnd != nullptr) m_pMainWnd->PostMessage(WM_FIP_SESSION_ENDED, kSessionEndExit, 0);
}

void CPlandrelApp::OnUpdateRecentFileMenu(CCmdUI* ui) {
  if (online_ == 0 || ui->m_pMenu == nullptr) {
    UpdateRecentFileMenu(ui);
    return;
  }
  CMenu* menu = ui->m_pMenu;
  const UINT count = menu->GetMenuItemCount();
  for (UINT position = kFirstRecentFilePosition; position < count; ++position) {
    if (menu->GetMenuItemID(static_cast<int>(position)) == ID_APP_EXIT) break;
    menu->EnableMenuItem(position, MF_BYPOSITION | MF_GRAYED);
  }
  ui->handled = true;
}

}  // namespace plandrel
