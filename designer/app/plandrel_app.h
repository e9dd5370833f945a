// CPlandrelApp: the designer's application object, one for the whole run. It selects the board,
// prepares the working folder, the profile and the timing table, creates the main window, the one
// document and the configuration tree, and tears them down at exit in the order the session's
// threads need: the session first, then the critical sections, then the document.
//
// It also holds what the board access and the on-line session share with the editing side: the
// selected board, the on-line and presence-test flags and the session object.
#pragma once

#include "ui/afxwin.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "frame_host.h"
#include "model/document_host.h"
#include "model/plandrel_doc.h"
#include "model/selected_device.h"
#include "model/timing_table.h"
#include "online/presence_sta.h"
#include "online/working_files_hold.h"

namespace plandrel {

class CMainFrame;

// Command identifiers of the application object.
inline constexpr UINT ID_CARD_INFO = 32801;

class CPlandrelApp : public CWinApp, public FrameHost, public PresenceHost {
 public:
  // Shows the board selection and stores the chosen board; IDOK (1) to go on, −1, IDCANCEL (2)
  // or 3 (no board) to end the program.
  using BoardSelection = std::function<int(SelectedDevice& device)>;

  CPlandrelApp();
  ~CPlandrelApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;
  // The splash window sees each message first.
  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OpenDocumentFile(LPCSTR path) override;
  BOOL SaveAllModified() override;

  // --- What start-up uses, replaceable before InitInstance (tests, the board selection dialog).
  void SetBoardSelection(BoardSelection selection) { board_selection_ = std::move(selection); }
  // Where the document's messages, file dialogs and titles go (default: the class-library layer).
  void SetDocumentHost(DocumentHost* host) { document_host_ = host; }
  // Makes the on-line session for the main frame; without one, Connect has nothing to start.
  void SetSessionFactory(SessionFactory factory) { session_factory_ = std::move(factory); }

  // --- FrameHost
  CPlandrelDoc* Document() override { return document_.get(); }
  bool IsOnline() const override { return online_ != 0; }
  bool IsPresenceTestRunning() const override { return presence_test_ != 0; }
  const TimingTable& Timing() const override { return timing_; }
  FipSession* Session() override { return session_.get(); }
  void SetSession(std::unique_ptr<FipSession> session) override { session_ = std::move(session); }
  std::unique_ptr<FipSession> MakeSession(CMainFrame& frame) override;
  int IconSize() const override { return icon_size_; }
  void SetIconSize(int size) override;
  void RunPresenceTest(CMainFrame& frame) override;

  // --- PresenceHost
  void SetPresenceTestOpen(bool open) override { SetPresenceTest(open); }

  // --- State shared with the on-line side
  void SetOnline(bool online) { online_ = online ? 1 : 0; }
  void SetPresenceTest(bool running) { presence_test_ = running ? 1 : 0; }
  SelectedDevice GetSelectedDevice() const { return device_; }
  std::uint16_t GetBoardNumber() const { return device_.board_number; }
  int GetDeviceType() const { return static_cast<int>(device_.board_type); }
  void SetDeviceType(int type) { device_.board_type = static_cast<std::uint32_t>(type); }
  void SetBoardNumber(std::uint16_t number) { device_.board_number = number; }
  const std::filesystem::path& GetWorkingFolder() const { return working_folder_; }
  const TimingTable& GetTimingTable() const { return timing_; }
  // Whether the command line asks for the splash window.
  bool ShowSplash() const { return show_splash_; }
  // 1 when the designer runs as a 32-bit program on a 64-bit system.
  int IsWow64() const;
  CMainFrame* MainFrame() const;

  // --- Commands
  void OnAppAbout();
  void OnAppExit();
  void OnUpdateRecentFileMenu(CCmdUI* ui);

 private:
  DocumentHost& Host();

  std::unique_ptr<CPlandrelDoc> document_;
  std::filesystem::path working_folder_;
  TimingTable timing_;
  int icon_size_ = 0;
  std::atomic<int> online_{0};  // read by the session thread
  int presence_test_ = 0;
  SelectedDevice device_;
  WorkingFilesHold hold_;  // the selected board's working files, held for the whole run
  std::unique_ptr<FipSession> session_;
  void* power_notification_ = nullptr;

  BoardSelection board_selection_;
  SessionFactory session_factory_;
  DocumentHost* document_host_ = nullptr;
  std::unique_ptr<DocumentHost> ui_host_;
  std::unique_ptr<CMainFrame> main_frame_;
  bool show_splash_ = true;
  bool sections_created_ = false;
};

// The one application object of the program (null before it is constructed).
CPlandrelApp* GetPlandrelApp();

}  // namespace plandrel
