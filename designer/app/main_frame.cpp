#include "main_frame.h"

#include <optional>

#include "corvix.h"
#include "editor_dialogs.h"
#include "faultra.h"
#include "liste_dlg.h"
#include "model/config_checks.h"
#include "model/plandrel_doc.h"
#include "online/designer_messages.h"
#include "settings_dialogs.h"
#include "splash_wnd.h"
#include "tree_codes.h"

namespace plandrel {
namespace {

constexpr const char* kTreeProblem = "Warning :\nProblem in tree view management.";
constexpr const char* kNoAperiodicRequests = "No variable configured for aperiocal variable requests.";
constexpr const char* kPowerDown = "System power down has stopped FIP connection";
constexpr const char* kUnknownError = "Unknown error.";
constexpr const char* kCsvFilter = "Files Plandrel(*.csv)|*.csv||";

constexpr UINT kFirstBorderlessPane = 1;
constexpr UINT kLastBorderlessPane = 5;

// The error library's text for a code, or "Unknown error." when it has none.
std::string error_text(std::uint32_t code) {
  std::uint32_t size = 0;
  ERROR_MESSAGE(static_cast<std::int32_t>(code), nullptr, 0, &size);
  if (size == 0) return kUnknownError;
  std::string text(size, '\0');
  if (ERROR_MESSAGE(static_cast<std::int32_t>(code), text.data(), size, &size) != 0) return kUnknownError;
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return text;
}

}  // namespace

CMainFrame::CMainFrame(FrameHost& host) : host_(host) {
  MapCommands();
  MapMessages();
}

CMainFrame::~CMainFrame() {
  tree_.reset();
  if (m_hWnd) DestroyWindow();
}

FrameState CMainFrame::State() const {
  FrameState state;
  CPlandrelDoc* document = host_.Document();
  state.document = document != nullptr;
  state.untouched = document == nullptr || document->IsUntouched();
  state.online = host_.IsOnline();
  state.presence_test = host_.IsPresenceTestRunning();
  state.bus_arbitrator = document != nullptr && document->Records().param.ba_size != 0;
  state.working_files = document != nullptr && document->WorkingFilesExist();
  const FipSession* session = host_.Session();
  state.aperiodic_usable = session != nullptr && session->AperiodicUsable();
  return state;
}

void CMainFrame::MapCommands() {
  // One update handler per command: its enabled state, and for the view entries their check mark.
  const auto check_of = [this](UINT id) -> std::optional<int> {
    switch (id) {
      case kCmdSmallIcons: return host_.IconSize() == 0 ? 1 : 0;
      case kCmdLargeIcons:
      case kCmdIconSize: return host_.IconSize() == 1 ? 1 : 0;
      case kCmdViewToolbar: return toolbar_.IsWindowVisible() ? 1 : 0;
      case kCmdViewStatusBar: return status_bar_.IsWindowVisible() ? 1 : 0;
      default: return std::nullopt;
    }
  };
  for (const CommandEntry& entry : frame_commands()) {
    const EnableRule rule = entry.rule;
    const UINT id = entry.id;
    MapUpdateCommand(id, [this, rule, id, check_of](CCmdUI* ui) {
      ui->Enable(rule_enables(rule, State()));
      if (const auto check = check_of(id)) ui->SetCheck(*check);
    });
  }

  const auto document_command = [this](bool (CPlandrelDoc::*operation)()) {
    return [this, operation] {
      if (CPlandrelDoc* document = host_.Document()) (document->*operation)();
    };
  };
  MapCommand(kCmdFileNew, [this] { OnNew(); });
  MapCommand(kCmdFileOpen, [this] { OnOpen(); });
  MapCommand(kCmdCurrentConfiguration, [this] { OnCurrentConfiguration(); });
  MapCommand(kCmdFileSave, document_command(&CPlandrelDoc::Save));
  MapCommand(kCmdFileSaveAs, document_command(&CPlandrelDoc::SaveAs));
  MapCommand(kCmdOpenCsv, [this] { OpenCsv(); });
  MapCommand(kCmdEditLists, [this] { OnEditLists(); });
  MapCommand(kCmdViewToolbar, [this] { OnToggleBar(toolbar_, true); });
  MapCommand(kCmdViewStatusBar, [this] { OnToggleBar(status_bar_, false); });
  MapCommand(kCmdSmallIcons, [this] { OnIconSize(0); });
  MapCommand(kCmdLargeIcons, [this] { OnIconSize(1); });
  MapCommand(kCmdIconSize, [this] { OnIconSize(host_.IconSize() == 0 ? 1 : 0); });
  MapCommand(kCmdExpand, [this] {
    if (tree_) tree_->ExpandAll();
  });
  MapCommand(kCmdConnect, [this] { OnConnect(); });
  MapCommand(kCmdDisconnect, [this] { EndSession(kEndDisconnect); });
  MapCommand(kCmdPresenceTest, [this] { OnPresenceTest(); });

  const auto session_command = [this](void (FipSession::*operation)()) {
    return [this, operation] {
      if (FipSession* session = host_.Session(); session && host_.IsOnline()) (session->*operation)();
    };
  };
  MapCommand(kCmdBaControl, session_command(&FipSession::OpenBaDialog));
  MapCommand(kCmdMedium, session_command(&FipSession::OpenMediumDialog));
  MapCommand(kCmdSendList, session_command(&FipSession::OpenAperiodicDialog));
  MapCommand(kCmdVariablesDisplay, session_command(&FipSession::OpenVariablesDisplay));
  MapCommandRange(kVariableMenuBase, kVariableMenuLast, [this](UINT id) {
    FipSession* session = host_.Session();
    if (session && host_.IsOnline() && id - kVariableMenuBase < session->VariableCount())
      session->OpenVariableDialog(id - kVariableMenuBase);
  });
  MapCommandRange(kMessageMenuBase, kMessageMenuLast, [this](UINT id) {
    FipSession* session = host_.Session();
    if (session && host_.IsOnline() && id - kMessageMenuBase < session->MessageCount())
      session->OpenMessageDialog(id - kMessageMenuBase);
  });

  MapCommand(kCmdGeneralSettings, [this] { RunGeneralSettings(this, host_, tree_.get()); });
  MapCommand(kCmdBusArbitrator, [this] {
    if (rule_enables(EnableRule::edit_ba, State())) RunBaProgramEditor(this, host_);
  });
  MapCommand(kCmdConfiguration, [this] { OnConfiguration(); });
  MapCommand(kCmdEditStations, [this] { RunListDialog(ListKind::stations); });
  MapCommand(kCmdEditVariables, [this] { RunListDialog(ListKind::variables); });
  MapCommand(kCmdEditMessages, [this] { RunListDialog(ListKind::messages); });
  MapCommandRange(kCmdStationNew, kCmdMessageCopy, [this](UINT id) { OnTreeCommand(static_cast<std::uint16_t>(id)); });
}

void CMainFrame::MapMessages() {
  MapMessage(WM_FIP_SESSION_ENDED, [this](WPARAM reason, LPARAM) { return OnSessionEnded(reason); });
  MapMessage(WM_FIP_STOP_ENGINE, [this](WPARAM, LPARAM) { return OnStopEngine(); });
  MapMessage(WM_FIP_MEDIUM_ICONS, [this](WPARAM status, LPARAM) -> LRESULT {
    const MediumIcons icons = medium_icons(static_cast<std::uint8_t>(status));
    SetMediumIcons(icons.medium1 == MediumIcon::on ? icon_on_ : icon_off_,
                   icons.medium2 == MediumIcon::on ? icon_on_ : icon_off_);
    return 0;
  });
  MapMessage(WM_FIP_MEDIUM_RESET, [this](WPARAM, LPARAM) -> LRESULT {
    SetMediumIcons(icon_neutral_, icon_neutral_);
    return 0;
  });
  MapMessage(WM_POWERBROADCAST, [this](WPARAM event, LPARAM) -> LRESULT {
    if (event == kPowerSuspend && host_.IsOnline()) EndSession(kEndSuspend);
    return TRUE;
  });
  MapMessage(WM_SIZE, [this](WPARAM type, LPARAM size) -> LRESULT {
    RecalcLayout();
    if (tree_ && (type == SIZE_RESTORED || type == SIZE_MAXIMIZED)) {
      CRect client;
      GetClientRect(&client);
      tree_->ResizeTree(client.Width(), client.Height());
    }
    (void)size;
    if (CPlandrelDoc* document = host_.Document()) document->UpdateTitle();
    return 0;
  });
}

int CMainFrame::OnCreate(LPCREATESTRUCT cs) {
  if (CMDIFrameWnd::OnCreate(cs) == -1) return -1;
  CenterWindow();

  if (!toolbar_.CreateEx(this, TBSTYLE_FLAT, WS_CHILD | WS_VISIBLE | CBRS_TOP) || !toolbar_.LoadToolBar(128))
    return -1;
  toolbar_.SetBarStyle(toolbar_.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY | CBRS_SIZE_DYNAMIC);
  toolbar_.EnableDocking(CBRS_ALIGN_ANY);
  EnableDocking(CBRS_ALIGN_ANY);
  DockControlBar(&toolbar_);

  const auto panes = status_pane_ids();
  std::array<UINT, kStatusPaneCount> indicators{};
  std::copy(panes.begin(), panes.end(), indicators.begin());
  if (!status_bar_.Create(this) || !status_bar_.SetIndicators(indicators.data(), static_cast<int>(indicators.size())))
    return -1;
  if (CWinApp* app = AfxGetApp()) {
    icon_on_ = app->LoadIcon(kIconOn);
    icon_neutral_ = app->LoadIcon(kIconNeutral);
    icon_off_ = app->LoadIcon(kIconOff);
  }
  status_bar_.GetStatusBarCtrl().SetMinHeight(kStatusBarMinHeight);
  for (UINT pane = kFirstBorderlessPane; pane <= kLastBorderlessPane; ++pane) {
    UINT id = 0, style = 0;
    int width = 0;
    status_bar_.GetPaneInfo(static_cast<int>(pane), id, style, width);
    status_bar_.SetPaneInfo(static_cast<int>(pane), id, SBPS_NOBORDERS, pane == kMedium1Pane || pane == kMedium2Pane ? 16 : width);
  }
  SetMediumIcons(icon_neutral_, icon_neutral_);

  CSplashWnd::ShowSplash(this);
  return 0;
}

BOOL CMainFrame::OnCreateClient(LPCREATESTRUCT cs) { return CMDIFrameWnd::OnCreateClient(cs); }

bool CMainFrame::CreateTree() {
  tree_ = std::make_unique<CArbreCtrl>(host_, toolbar_.IsWindowVisible() ? 1 : 0,
                                       status_bar_.IsWindowVisible() ? 1 : 0);
  return tree_->CreateTree(*this) != 0;
}

HICON CMainFrame::MediumIcon(int medium) const {
  const auto& panes = status_bar_.panes_;
  const std::size_t pane = medium == 1 ? kMedium1Pane : kMedium2Pane;
  return pane < panes.size() ? panes[pane].icon : nullptr;
}

void CMainFrame::SetMediumIcons(HICON medium1, HICON medium2) {
  status_bar_.GetStatusBarCtrl().SetIcon(static_cast<int>(kMedium1Pane), medium1);
  status_bar_.GetStatusBarCtrl().SetIcon(static_cast<int>(kMedium2Pane), medium2);
}

void CMainFrame::GetMessageString(UINT id, std::string& message) const {
  const FipSession* session = host_.Session();
  const bool online = host_.IsOnline() && session != nullptr;
  if (const auto prompt = online_prompt(static_cast<std::uint16_t>(id), online, online ? session->VariableCount() : 0,
                                        online ? session->MessageCount() : 0)) {
    message = std::string(*prompt);
    return;
  }
  CMDIFrameWnd::GetMessageString(id, message);
}

void CMainFrame::RebuildTree() {
  if (!tree_ || tree_->BuildTree() != 0) MessageBox(kTreeProblem);
}

void CMainFrame::OnNew() {
  CPlandrelDoc* document = host_.Document();
  if (document && document->New()) RebuildTree();
}

void CMainFrame::OnOpen() {
  CPlandrelDoc* document = host_.Document();
  if (document == nullptr || !document->Open()) return;
  if (document->IsModified()) {
    document->SetModifiedFlag(false);
    document->UpdateTitle();
  }
  RebuildTree();
}

void CMainFrame::OnCurrentConfiguration() {
  CPlandrelDoc* document = host_.Document();
  if (document == nullptr) return;
  document->ReloadWorkingFiles();
  RebuildTree();
}

void CMainFrame::OnEditLists() {
  CPlandrelDoc* document = host_.Document();
  if (document == nullptr) return;
  if (CountAperiodicRequestVariables(document->Records(), nullptr) == 0) {
    MessageBox(kNoAperiodicRequests);
    return;
  }
  RunListDialog(ListKind::lists);
}

void CMainFrame::RunListDialog(ListKind kind) {
  CPlandrelDoc* document = host_.Document();
  if (document == nullptr || !rule_enables(EnableRule::edit, State())) return;
  CListeDlg dialog(this, {*document, tree_.get(), host_.IsOnline()}, kind, 0, host_.Session());
  dialog.DoModal();
}

void CMainFrame::OnTreeCommand(std::uint16_t id) {
  const std::optional<TreeCommand> command = tree_command(id);
  CPlandrelDoc* document = host_.Document();
  if (!command || !tree_ || document == nullptr || !rule_enables(EnableRule::edit, State())) return;
  static constexpr ListKind kKinds[] = {ListKind::stations, ListKind::variables, ListKind::messages};
  static constexpr ItemKind kItems[] = {ItemKind::station, ItemKind::variable, ItemKind::message};
  static constexpr std::uint32_t kBases[] = {kStationCodeBase, kVariableCodeBase, kMessageCodeBase};
  const auto k = static_cast<std::size_t>(command->kind);
  CListeDlg list(this, {*document, tree_.get(), host_.IsOnline()}, kKinds[k], 1, host_.Session());
  // The record is the item whose menu was opened, when it is one of the command's kind.
  const std::uint32_t code = tree_->GetContextItem();
  if (kind_of_code(code) == kItems[k]) list.SetTreeRecord(code - kBases[k]);
  switch (command->operation) {
    case RecordOperation::create: list.OnNew(); break;
    case RecordOperation::edit: list.OnEdit(); break;
    case RecordOperation::remove: list.OnDelete(); break;
    case RecordOperation::copy: list.OnDuplicate(); break;
  }
}

void CMainFrame::OnConfiguration() {
  CPlandrelDoc* document = host_.Document();
  if (!tree_ || document == nullptr) return;
  // The editor of the item last right-clicked, view-only while on line. A code beyond the records
  // (a message the session added) opens nothing.
  const std::uint32_t code = tree_->GetContextItem();
  const EditorContext context{*document, tree_.get(), host_.IsOnline()};
  switch (kind_of_code(code)) {
    case ItemKind::root: RunGeneralSettings(this, host_, tree_.get()); break;
    case ItemKind::bus_arbitrator: RunBaProgramEditor(this, host_); break;
    case ItemKind::station: EditStation(context, this, code - kStationCodeBase); break;
    case ItemKind::variable: EditVariable(context, this, code - kVariableCodeBase, false); break;
    case ItemKind::message: EditMessage(context, this, code - kMessageCodeBase); break;
  }
}

void CMainFrame::OnToggleBar(CControlBar& bar, bool toolbar) {
  const bool show = !bar.IsWindowVisible();
  ShowControlBar(&bar, show, FALSE);
  if (toolbar) toolbar_visible_ = show ? 1 : 0;
  if (tree_) {
    if (toolbar)
      tree_->SetToolbarShown(show ? 1 : 0);
    else
      tree_->SetStatusBarShown(show ? 1 : 0);
  }
  if (CPlandrelDoc* document = host_.Document()) document->UpdateTitle();
}

void CMainFrame::OnIconSize(int size) {
  if (host_.IconSize() == size) return;
  if (tree_) tree_->ToggleIconSize();
  host_.SetIconSize(size);
}

void CMainFrame::OnConnect() {
  CPlandrelDoc* document = host_.Document();
  if (document == nullptr || !rule_enables(EnableRule::connect, State())) return;
  if (!CheckBeforeConnect(*document)) return;
  document->SizeTables();
  std::unique_ptr<FipSession> session = host_.MakeSession(*this);
  if (!session) return;
  FipSession* started = session.get();
  host_.SetSession(std::move(session));
  if (!started->Connect()) host_.SetSession(nullptr);
}

void CMainFrame::OnPresenceTest() {
  CPlandrelDoc* document = host_.Document();
  if (document == nullptr || !rule_enables(EnableRule::connect, State()) || !CheckBeforeConnect(*document)) return;
  host_.RunPresenceTest(*this);
}

bool CMainFrame::EndSession(SessionEndReason reason) {
  const FipSession* session = host_.Session();
  const HWND window = session ? session->SessionWindow() : nullptr;
  return window != nullptr && ::PostMessage(window, WM_FIP_END_SESSION, reason, 0);
}

void CMainFrame::OnClose() {
  if (ending_) return;  // the session is ending; its end closes the window
  if (host_.IsOnline()) {
    ending_ = true;
    if (EndSession(kEndWindowClosed)) return;
    // No session window takes the request (its thread is gone): the session has ended already.
  }
  host_.SetSession(nullptr);
  PostMessage(WM_FIP_SESSION_ENDED, kEndWindowClosed, 0);
}

LRESULT CMainFrame::OnSessionEnded(WPARAM reason) {
  host_.SetSession(nullptr);
  // A close asked for while the session ended for another reason (a Disconnect already on its
  // way) is not lost: its own end request found no session window left.
  const bool close_asked = ending_;
  ending_ = false;
  if (close_asked && reason != kEndApplicationExit) reason = kEndWindowClosed;
  switch (reason) {
    case kEndApplicationExit:
    case kEndWindowClosed:
      // The class library's close: the save question, and Cancel keeps the window. It does not come
      // back through OnClose, so a close does not loop.
      CMDIFrameWnd::OnClose();
      break;
    case kEndSuspend: MessageBox(kPowerDown, nullptr, MB_OK | MB_ICONINFORMATION); break;
    default: break;
  }
  return 0;
}

LRESULT CMainFrame::OnStopEngine() {
  const std::uint32_t code = STOP_FIP_ENGINE();
  if (code == 0) return 1;
  MessageBox(error_text(code).c_str());
  return 0;
}

void CMainFrame::EnableMessageMenuItem(int position, bool enable) {
  CMenu* bar = GetMenu();
  CMenu* fip = bar ? bar->GetSubMenu(3) : nullptr;
  CMenu* messages = fip ? fip->GetSubMenu(5) : nullptr;
  if (messages) messages->EnableMenuItem(static_cast<UINT>(position), MF_BYPOSITION | (enable ? MF_ENABLED : MF_GRAYED));
}

void CMainFrame::OpenCsv() {
  qui::FileDialogRequest request;
  request.open = true;
  request.defaultExtension = "csv";
  request.filter = kCsvFilter;
  if (qui::GetUserPrompts().ChooseFile(m_hWnd, request)) csv_path_ = request.fileName;
}

}  // namespace plandrel
