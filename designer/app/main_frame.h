// CMainFrame: the designer's main window. It routes the menu and toolbar commands to the document,
// the editors or, on line, the session; shows the two medium states in its status bar; and closes
// only through the session-ended message, so that it never closes while a session is connected.
#pragma once

#include "ui/afxwin.h"

#include <memory>
#include <string>

#include "arbre_ctrl.h"
#include "frame_commands.h"
#include "frame_host.h"
#include "model/record_commands.h"

namespace plandrel {

class CMainFrame : public CMDIFrameWnd {
 public:
  explicit CMainFrame(FrameHost& host);
  ~CMainFrame() override;

  int OnCreate(LPCREATESTRUCT cs) override;
  BOOL OnCreateClient(LPCREATESTRUCT cs) override;
  void OnClose() override;
  void GetMessageString(UINT id, std::string& message) const override;

  // Creates the configuration tree in the client area (the application's start-up); false when it
  // cannot be created or its images not made. A tree that was created is kept either way.
  bool CreateTree();
  CArbreCtrl* Tree() const { return tree_.get(); }

  // Greys or enables entry `position` of the on-line "Messages" popup (the fourth popup's sixth
  // entry).
  void EnableMessageMenuItem(int position, bool enable);
  // The Open .csv command, for the variables display.
  void OpenCsv();
  const std::string& CsvPath() const { return csv_path_; }

  // The state the enabling rules look at.
  FrameState State() const;
  HICON MediumIcon(int medium) const;  // 1 or 2: the icon its pane shows

 private:
  void MapCommands();
  void MapMessages();
  void RebuildTree();
  void OnNew();
  void OnOpen();
  void OnCurrentConfiguration();
  void OnEditLists();
  // The list dialog of `kind`, modal.
  void RunListDialog(ListKind kind);
  // A tree context command (32785-32795): the list dialog's operation on the tree's record.
  void OnTreeCommand(std::uint16_t id);
  void OnConfiguration();
  void OnToggleBar(CControlBar& bar, bool toolbar);
  void OnIconSize(int size);
  void OnConnect();
  void OnPresenceTest();
  // Posts an end request to the session window; false when there is no window to take it.
  bool EndSession(SessionEndReason reason);
  void SetMediumIcons(HICON medium1, HICON medium2);
  LRESULT OnSessionEnded(WPARAM reason);
  LRESULT OnStopEngine();

  FrameHost& host_;
  int toolbar_visible_ = 1;
  std::unique_ptr<CArbreCtrl> tree_;
  HICON icon_on_ = nullptr;
  HICON icon_neutral_ = nullptr;
  HICON icon_off_ = nullptr;
  std::string csv_path_;
  CStatusBar status_bar_;
  CToolBar toolbar_;
  bool ending_ = false;  // a close waits for the session to end
};

}  // namespace plandrel
