#include "online/online_session.h"
#include "online/thread_guard.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <unordered_map>
#include <string>

#include "corvix.h"
#include "model/check_codes.h"
#include "model/config_checks.h"
#include "model/item_codes.h"
#include "model/plandrel_doc.h"
#include "online/aperiodic_dlg.h"
#include "online/ba_dlg.h"
#include "online/card_info.h"
#include "online/critical_section_lock.h"
#include "online/critical_sections.h"
#include "online/designer_messages.h"
#include "online/download_turn.h"
#include "online/error_text.h"
#include "online/hosted_dialogs.h"
#include "online/medium_dlg.h"
#include "online/message_dlgs.h"
#include "online/variable_dlgs.h"
#include "records/byte_codec.h"
#include "win32/windows.h"

namespace plandrel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFipPopup = 3;        // the fourth popup of the menu bar
constexpr UINT kVariablesEntry = 4;  // positions of the on-line popups in it
constexpr UINT kMessagesEntry = 5;
constexpr DWORD kPassWait = 100;    // ms between passes
constexpr std::uint16_t kPhysicalStatusPage = 129;
// A private message of the session's main-thread window: run the function wParam points to.
constexpr UINT kRunOnMainThread = WM_APP + 0x51;

std::int64_t MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

CriticalSectionLock& Lock(CRITICAL_SECTION& section) {
  // One adapter per section for the whole run: the on-line objects keep references to them.
  static std::map<CRITICAL_SECTION*, std::unique_ptr<CriticalSectionLock>> locks;
  static std::mutex mutex;
  std::lock_guard guard(mutex);
  auto& lock = locks[&section];
  if (!lock) lock = std::make_unique<CriticalSectionLock>(section);
  return *lock;
}

// Every item of the tree, each once.
void VisitTreeItems(const CTreeCtrl& tree, const std::function<void(HTREEITEM)>& visit) {
  std::vector<HTREEITEM> pending;
  for (HTREEITEM item = tree.GetRootItem(); item != nullptr; item = tree.GetNextSiblingItem(item))
    pending.push_back(item);
  while (!pending.empty()) {
    HTREEITEM item = pending.back();
    pending.pop_back();
    visit(item);
    for (HTREEITEM child = tree.GetChildItem(item); child != nullptr; child = tree.GetNextSiblingItem(child))
      pending.push_back(child);
  }
}

std::string HexName(std::uint16_t source, std::uint16_t destination) {
  char name[16];
  std::snprintf(name, sizeof name, "%Xto%X", source, destination);
  return name;
}

}  // namespace

// The main frame as the on-line objects see it. The tree, the menus and the document belong to
// the main thread: calls from the session thread are carried there by a window of the main thread
// (a sent message, so the caller must hold no critical section, as for every send).
class SessionFrame final : public OnlineFrame {
 public:
  SessionFrame(SessionHost& host, const OnlineLocks& locks, std::function<HWND()> session_window)
      : host_(host), frame_(host.Frame()), locks_(locks), dialogs_(host, std::move(session_window)) {}
  ~SessionFrame() override {
    if (caller_.m_hWnd) caller_.DestroyWindow();
  }

  // Main thread, at Connect.
  bool Create() {
    main_thread_ = GetCurrentThreadId();
    return caller_.Create(nullptr, "", WS_CHILD | WS_DISABLED, CRect(0, 0, 0, 0), &frame_, 0) != FALSE;
  }

  // Runs fn on the main thread and waits for it.
  void OnMainThread(const std::function<void()>& fn) {
    if (GetCurrentThreadId() == main_thread_ || caller_.m_hWnd == nullptr) {
      fn();
      return;
    }
    ::SendMessage(caller_.m_hWnd, kRunOnMainThread, reinterpret_cast<WPARAM>(&fn), 0);
  }

  CTreeCtrl* Tree() const { return host_.Tree(); }

  // The items of the on-line objects come from maps of item data to item under the local station,
  // read from the tree once on the main thread and again only after the session changed the tree
  // (an unconfigured message inserted, Disconnect): each look-up at Connect costs no walk of the
  // tree and no window message.
  TreeItem BusArbitratorItem() const override {
    TreeItem item = 0;
    const_cast<SessionFrame*>(this)->OnMainThread([&] {
      CTreeCtrl* tree = Tree();
      const HTREEITEM root = tree ? tree->GetRootItem() : nullptr;
      const HTREEITEM first = root ? tree->GetChildItem(root) : nullptr;
      if (first && tree->GetItemData(first) == kBusArbitratorCode) item = reinterpret_cast<TreeItem>(first);
    });
    return item;
  }
  TreeItem LocalVariableItem(std::uint16_t local_station, std::uint32_t key) const override {
    return FindLocal(local_station, key, &LocalItems::variables);
  }
  TreeItem LocalMessageItem(std::uint16_t local_station, std::uint32_t key) const override {
    return FindLocal(local_station, key, &LocalItems::messages);
  }
  // The session changed the tree: the maps are read again at the next look-up.
  void TreeChanged() {
    std::lock_guard guard(items_mutex_);
    local_.valid = false;
    ++tree_generation_;
  }

  // A text equal to the one last set is not sent again; in a batch the texts are kept and set
  // together on the main thread at its end.
  void SetTreeText(TreeItem item, std::string_view text) override {
    if (item == 0) return;
    {
      std::lock_guard guard(texts_mutex_);
      auto [place, inserted] = texts_.try_emplace(item, text);
      if (!inserted) {
        if (place->second == text) return;
        place->second = text;
      }
      if (batching_ && GetCurrentThreadId() == batch_thread_) {
        batch_.emplace_back(item, std::string(text));
        return;
      }
    }
    SendText(item, std::string(text));
  }
  // The texts set since are shown as they are now, whatever was set before (Disconnect).
  void ForgetTexts() {
    std::lock_guard guard(texts_mutex_);
    texts_.clear();
  }
  void BeginBatch() {
    std::lock_guard guard(texts_mutex_);
    batching_ = true;
    batch_thread_ = GetCurrentThreadId();
  }
  // Returns the microseconds spent on the main thread; `count` the texts set.
  std::int64_t EndBatch(std::size_t& count) {
    std::vector<std::pair<TreeItem, std::string>> batch;
    {
      std::lock_guard guard(texts_mutex_);
      batching_ = false;
      batch.swap(batch_);
    }
    count = batch.size();
    if (batch.empty()) return 0;
    std::int64_t spent = 0;
    OnMainThread([&] {
      const auto start = Clock::now();
      if (CTreeCtrl* tree = Tree(); tree && tree->m_hWnd)
        for (const auto& [item, text] : batch)
          ::SendMessage(tree->m_hWnd, WM_TREE_SET_TEXT, item, reinterpret_cast<LPARAM>(text.c_str()));
      spent = MicrosecondsSince(start);
    });
    return spent;
  }

  bool IsMainWindow() const override { return host_.IsMainWindow(); }
  void EnableMessageMenuItem(std::uint16_t index, bool enable) override {
    OnMainThread([&] { host_.EnableMessageMenuItem(index, enable); });
  }
  void ShowMessage(std::string_view text) override { frame_.MessageBox(std::string(text).c_str(), nullptr, MB_OK); }
  int AskSequence(WindowHandle window) override {
    return static_cast<int>(::SendMessage(reinterpret_cast<HWND>(window), WM_FIP_BA_SEQUENCE, 0, 0));
  }
  // The on-line objects' dialogs, each in its frame (main thread).
  std::unique_ptr<VariableDialogLink> CreateVariableDialog(OnlineVariable& variable, VariableDialogKind kind) override {
    const std::string name(records::text_of(variable.Record().name));
    const auto detach = [&variable](const OnlineDialogLink* dialog) { return variable.DetachDialog(dialog); };
    if (kind == VariableDialogKind::consumed)
      return dialogs_.Open(std::make_unique<CFipVarConsDlg>(variable, locks_), FrameCaption(kFrameVarConsumed, name),
                           variable.Index(), detach);
    return dialogs_.Open(std::make_unique<CFipVarProdDlg>(variable), FrameCaption(kFrameVarProduced, name),
                         variable.Index(), detach);
  }
  std::unique_ptr<MessageDialogLink> CreateMessageDialog(OnlineMessage& message, MessageDialogKind kind) override {
    const std::string name(records::text_of(message.Record().name));
    const auto detach = [&message](const OnlineDialogLink* dialog) { return message.DetachDialog(dialog); };
    if (kind == MessageDialogKind::transmitted)
      return dialogs_.Open(std::make_unique<CFipMesTransDlg>(message), FrameCaption(kFrameMesTransmitted, name),
                           message.Index(), detach);
    const std::string caption = FrameCaption(kFrameMesReceived, name);
    if (kind == MessageDialogKind::received)
      return dialogs_.Open(std::make_unique<CFipMesRecuDlg>(message, locks_), caption, message.Index(), detach);
    return dialogs_.Open(std::make_unique<CFipMesNewDlg>(message, locks_), caption, message.Index(), detach);
  }
  std::unique_ptr<BaDialogLink> CreateBaDialog(BaControl& ba, bool own_program) override {
    return dialogs_.Open(std::make_unique<CFipBaDlg>(ba, locks_, own_program), FrameCaption(kFrameBaControl), 0,
                         [&ba](const OnlineDialogLink* dialog) { return ba.DetachDialog(dialog); });
  }
  HostedDialogs& Dialogs() { return dialogs_; }

  // Deletes every item of the tree whose item data is `data` (main thread).
  void DeleteTreeItems(std::uint32_t data) {
    OnMainThread([&] {
      CTreeCtrl* tree = Tree();
      if (tree == nullptr || tree->m_hWnd == nullptr) return;
      std::vector<HTREEITEM> found;
      VisitTreeItems(*tree, [&](HTREEITEM item) {
        if (tree->GetItemData(item) == data) found.push_back(item);
      });
      for (HTREEITEM item : found) ::SendMessage(tree->m_hWnd, WM_TREE_DELETE_ITEM, reinterpret_cast<WPARAM>(item), 0);
    });
    TreeChanged();
  }

 private:
  class Caller final : public CWnd {
   public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      if (message == kRunOnMainThread) {
        (*reinterpret_cast<const std::function<void()>*>(wParam))();
        return 1;
      }
      return CWnd::WindowProc(message, wParam, lParam);
    }
  };

  using ItemsByData = std::unordered_map<std::uint32_t, TreeItem>;
  struct LocalItems {
    bool valid = false;
    std::uint16_t station = 0;
    ItemsByData variables;  // the children of the local station's item
    ItemsByData messages;   // their children, the first in order for a key shown twice
  };

  TreeItem FindLocal(std::uint16_t station, std::uint32_t key, ItemsByData LocalItems::*which) const {
    const auto find = [&](const LocalItems& items) -> TreeItem {
      const auto it = (items.*which).find(key);
      return it != (items.*which).end() ? it->second : 0;
    };
    std::uint64_t generation = 0;
    {
      std::lock_guard guard(items_mutex_);
      if (local_.valid && local_.station == station) return find(local_);
      generation = tree_generation_;
    }
    // Read on the main thread without the lock: no thread sends while holding one.
    LocalItems read = const_cast<SessionFrame*>(this)->ReadLocalItems(station);
    const TreeItem found = find(read);
    std::lock_guard guard(items_mutex_);
    if (generation == tree_generation_) local_ = std::move(read);
    return found;
  }
  LocalItems ReadLocalItems(std::uint16_t station) {
    LocalItems items;
    items.valid = true;
    items.station = station;
    OnMainThread([&] {
      CTreeCtrl* tree = Tree();
      const HTREEITEM root = tree ? tree->GetRootItem() : nullptr;
      if (root == nullptr) return;
      HTREEITEM local = tree->GetChildItem(root);
      while (local && tree->GetItemData(local) != station_code(station)) local = tree->GetNextSiblingItem(local);
      if (local == nullptr) return;
      const auto add = [&](ItemsByData& map, HTREEITEM item) {
        map.try_emplace(static_cast<std::uint32_t>(tree->GetItemData(item)), reinterpret_cast<TreeItem>(item));
      };
      for (HTREEITEM variable = tree->GetChildItem(local); variable; variable = tree->GetNextSiblingItem(variable)) {
        add(items.variables, variable);
        for (HTREEITEM message = tree->GetChildItem(variable); message; message = tree->GetNextSiblingItem(message))
          add(items.messages, message);
      }
    });
    return items;
  }
  void SendText(TreeItem item, const std::string& text) {
    CTreeCtrl* tree = Tree();
    if (tree && tree->m_hWnd)
      ::SendMessage(tree->m_hWnd, WM_TREE_SET_TEXT, item, reinterpret_cast<LPARAM>(text.c_str()));
  }

  SessionHost& host_;
  CMDIFrameWnd& frame_;
  OnlineLocks locks_;
  HostedDialogs dialogs_;
  Caller caller_;
  DWORD main_thread_ = 0;
  mutable std::mutex items_mutex_;
  mutable LocalItems local_;
  std::uint64_t tree_generation_ = 0;
  std::mutex texts_mutex_;
  std::map<TreeItem, std::string> texts_;
  bool batching_ = false;
  DWORD batch_thread_ = 0;
  std::vector<std::pair<TreeItem, std::string>> batch_;
};

// ---------------------------------------------------------------------------------------------

CFipSession::CFipSession(std::unique_ptr<SessionHost> host)
    : host_(std::move(host)),
      frame_(host_->Frame()),
      locks_{Lock(csEngine),        Lock(csVariableFormat), Lock(csMessageFormat), Lock(csVariableDialog),
             Lock(csMessageDialog), Lock(csMessageStack),   Lock(csBaDialog)},
      online_frame_(std::make_unique<SessionFrame>(*host_, locks_, [this] { return session_window_.load(); })) {}

CFipSession::~CFipSession() {
  CloseValuesDisplay(true);
  if (reader_thread_.joinable()) {
    // Still served: the session ends as at exit. The thread may send to this (main) thread while
    // it ends, so the wait serves those sends.
    if (!thread_done_.load()) PostEnd(kEndApplicationExit);
    while (!thread_done_.load()) WaitMessageTimeout(10);
    reader_thread_.join();
  }
}

std::size_t CFipSession::VariableCount() const { return variable_count_.load(); }

OnlineVariable* CFipSession::Variable(std::size_t index) const {
  std::lock_guard dialog(locks_.variable_dialog);
  return index < variables_.size() ? variables_[index].get() : nullptr;
}

bool CFipSession::IsMainWindow() const { return host_->IsMainWindow(); }

int CFipSession::MessageBox(const char* text, UINT type) { return frame_.MessageBox(text, nullptr, type); }

void CFipSession::ShowError(std::uint32_t code, bool with_fallback) {
  const std::string text = ErrorText(code, with_fallback ? "Unknown error." : "");
  if (!text.empty()) MessageBox(text.c_str(), MB_OK);
}

void CFipSession::PostEnd(WPARAM reason) {
  if (HWND window = session_window_.load()) ::PostMessage(window, WM_FIP_END_SESSION, reason, 0);
}

OnlineMessage* CFipSession::MessageAt(std::size_t position) const {
  std::lock_guard guard(messages_mutex_);
  return position < messages_.size() ? messages_[position].get() : nullptr;
}

std::vector<OnlineMessage*> CFipSession::MessagesSnapshot() const {
  std::lock_guard guard(messages_mutex_);
  std::vector<OnlineMessage*> list;
  list.reserve(messages_.size());
  for (const auto& m : messages_) list.push_back(m.get());
  return list;
}

SessionPassTimes CFipSession::PassTimes() const {
  std::lock_guard guard(times_mutex_);
  return times_;
}

// ---- Connect

bool CFipSession::Connect() {
  CPlandrelDoc* document = host_->Document();
  if (document == nullptr) return false;
  const records::Configuration& config = document->Records();

  // 1. The engine, on the main thread.
  const SelectedDevice device = host_->Device();
  if (const std::uint32_t code = START_FIP_ENGINE(device.board_number, device.board_type); code != 0) {
    ShowError(code, true);
    return false;
  }
  if (!online_frame_->Create()) {
    MessageBox(kTreeManagementError.data(), MB_OK);
    Disconnect();
    return false;
  }

  // 2.-3. The download image and its download, in the image's turn of the working folder; the
  // failures are told once the turn is over.
  const std::string image = document->DownloadImagePath().string();
  std::uint32_t downloaded = 0;
  if (!WriteAndDownload(
          image, [document] { return document->WriteDownloadImage(); },
          [&] { downloaded = DOWNLOAD_CNF(image.c_str()); })) {
    MessageBox(kDownloadError, MB_OK);
    Disconnect();
    return false;
  }
  if (downloaded != 0) {
    ShowError(downloaded, true);
    Disconnect();
    return false;
  }

  // 4. The variables; the first failure has shown its message.
  variables_.reserve(config.variables.size());
  for (std::size_t i = 0; i < config.variables.size(); ++i) {
    auto variable = std::make_unique<OnlineVariable>(*online_frame_, locks_);
    const bool ok = variable->Init(config.variables[i], static_cast<std::uint16_t>(i), config.local_station);
    variables_.push_back(std::move(variable));
    if (!ok) {
      variable_count_ = variables_.size();
      Disconnect();
      return false;
    }
  }
  variable_count_ = variables_.size();

  // 5. The configured messages; the list ends before the one that failed.
  configured_message_count_ = static_cast<std::uint16_t>(config.messages.size());
  for (std::size_t i = 0; i < config.messages.size(); ++i) {
    auto message = std::make_unique<OnlineMessage>(*online_frame_, locks_);
    if (!message->Init(true, config.messages[i], static_cast<std::uint16_t>(i), config.local_station)) {
      configured_message_count_ = static_cast<std::uint16_t>(i);
      message_count_ = i;
      Disconnect();
      return false;
    }
    std::lock_guard guard(messages_mutex_);
    messages_.push_back(std::move(message));
  }
  message_count_ = configured_message_count_;

  // 6.
  aperiodic_usable_ = CountAperiodicRequestVariables(config, nullptr) != 0 && !config.lists.empty() ? 1 : 0;

  // 7.-8.
  if (const std::uint32_t code = START_COMMUNICATION(); code != 0) {
    ShowError(code, true);
    Disconnect();
    return false;
  }
  for (const auto& variable : variables_)
    if (variable->Record().direction == 0) variable->InitialWrite();

  // 9.-11.
  board_variant_ = GetBoardVariant(device);
  host_->SetOnline(true);
  if (config.param.ba_size != 0) {
    ba_present_ = 1;
    ba_ = std::make_unique<BaControl>(*online_frame_, locks_, config.param, host_->Timing(),
                                      config.ba.program_from_file == 0);
  } else {
    ba_present_ = 0;
  }

  // 12.-14.
  host_->ExpandLocalStation();
  AddMenus();
  StartReaderThread();
  return true;
}

void CFipSession::AddMenus() {
  CMenu* bar = frame_.GetMenu();
  CMenu* fip = bar ? bar->GetSubMenu(kFipPopup) : nullptr;
  if (fip == nullptr) return;
  auto variables = std::make_unique<CMenu>();
  if (variables->CreatePopupMenu()) {
    variables_menu_ = std::move(variables);
    if (fip->InsertMenu(kVariablesEntry, MF_BYPOSITION | MF_POPUP,
                        reinterpret_cast<UINT_PTR>(variables_menu_->m_hMenu), "Variables")) {
      for (std::size_t i = 0; i < variables_.size(); ++i) {
        const std::string text = std::string(records::text_of(variables_[i]->Record().name)) + "...";
        variables_menu_->InsertMenu(static_cast<UINT>(i), MF_BYPOSITION | MF_STRING,
                                    kVariableMenuBase + i, text.c_str());
      }
    }
  }
  auto messages = std::make_unique<CMenu>();
  if (messages->CreatePopupMenu()) {
    messages_menu_ = std::move(messages);
    if (fip->InsertMenu(kMessagesEntry, MF_BYPOSITION | MF_POPUP,
                        reinterpret_cast<UINT_PTR>(messages_menu_->m_hMenu), "Messages")) {
      if (configured_message_count_ != 0) {
        const auto list = MessagesSnapshot();
        for (std::size_t i = 0; i < configured_message_count_ && i < list.size(); ++i) {
          const std::string text = std::string(records::text_of(list[i]->Record().name)) + "...";
          UINT flags = MF_BYPOSITION | MF_STRING;
          if (list[i]->Record().transmitted == 0) flags |= MF_GRAYED;
          messages_menu_->InsertMenu(static_cast<UINT>(i), flags, kMessageMenuBase + i, text.c_str());
        }
      } else {
        fip->EnableMenuItem(kMessagesEntry, MF_BYPOSITION | MF_GRAYED);
      }
    }
  }
  frame_.DrawMenuBar();
}

void CFipSession::StartReaderThread() {
  // An exception escaping the thread reaches the crash guard under the thread's label; once the
  // report is written the process ends (the thread may hold csEngine and the other locks).
  reader_thread_ = std::thread([this] { RunGuardedThread(kSessionThreadLabel, FncTacheLitFip, this); });
  // No request may be posted before the window that takes it exists.
  std::unique_lock lock(start_mutex_);
  started_.wait(lock, [this] { return window_ready_; });
}

// ---- The session thread

unsigned FncTacheLitFip(void* parameter) {
  auto& session = *static_cast<CFipSession*>(parameter);
  CWnd mailbox;
  const auto started = [&session] {
    {
      std::lock_guard lock(session.start_mutex_);
      session.window_ready_ = true;
    }
    session.started_.notify_all();
  };
  {
    if (!mailbox.Create(nullptr, "", WS_CHILD | WS_DISABLED, CRect(0, 0, 100, 100), &session.frame_, 0)) {
      // Without a window no request could end the session: it ends at once.
      started();
      session.Disconnect();
      session.host_->SetOnline(false);
      session.frame_.PostMessage(WM_FIP_SESSION_ENDED, kEndDisconnect, 0);
      session.thread_done_ = true;
      return 0;
    }
    session.session_window_ = mailbox.m_hWnd;
    {
      std::lock_guard engine(session.locks_.engine);
      INIT_STORAGE();
    }
    started();
    std::uint8_t last_status = 0;
    bool ended = false;
    while (!ended && session.host_->IsOnline()) ended = !session.Pass(mailbox, last_status);
    if (!ended) {
      session.session_window_ = nullptr;
      mailbox.DestroyWindow();
    }
  }
  session.thread_done_ = true;
  return 0;
}

bool CFipSession::Pass(CWnd& mailbox, std::uint8_t& last_status) {
  const auto pass_start = Clock::now();
  SessionPassTimes pass;
  // With neither variables nor a bus arbitrator a pass only serves the session window.
  const bool polls = !variables_.empty() || ba_present_ != 0;
  auto start = Clock::now();
  const bool ok = polls && SuperviseMedium(last_status);
  pass.supervision = MicrosecondsSince(start);

  start = Clock::now();
  if (ba_present_ && ba_ && ok) {
    {
      std::lock_guard engine(locks_.engine);
      ba_->Report();
      ba_->PushStateToDialog();
    }
    ba_->UpdateTreeText();
  }
  pass.bus_arbitrator = MicrosecondsSince(start);

  if (!variables_.empty() && ok) {
    start = Clock::now();
    online_frame_->BeginBatch();
    for (const auto& variable : variables_) {
      if (variable->Record().direction != 1) continue;
      {
        std::lock_guard engine(locks_.engine);
        variable->Read();
        variable->PublishToDialog();
      }
      variable->UpdateTreeText();
    }
    pass.tree_texts = online_frame_->EndBatch(pass.texts_set);
    pass.variable_reads = MicrosecondsSince(start) - pass.tree_texts;
  }

  start = Clock::now();
  if (polls) DrainEvents(ok);
  pass.events = MicrosecondsSince(start);

  start = Clock::now();
  const bool ended = ServeRequests(mailbox);
  pass.requests = MicrosecondsSince(start);
  pass.total = MicrosecondsSince(pass_start);
  {
    std::lock_guard guard(times_mutex_);
    const std::uint64_t passes = times_.passes + 1;
    times_ = pass;
    times_.passes = passes;
  }
  if (ended) return false;

  // The wait ends early when a request comes, so that an end request is served at once.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kPassWait);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    if (WaitMessageTimeout(static_cast<DWORD>(left))) break;
  }
  return true;
}

void CFipSession::DrainEvents(bool ok) {
  std::uint32_t pending = 0;
  std::uint32_t result = 0;
  {
    std::lock_guard engine(locks_.engine);
    result = IS_EVENT(&pending);
  }
  while (result == 0 && pending != 0 && ok && !abort_requested_) {
    std::uint8_t flag = 0, value = 0, kind = 0, parameter = 0;
    std::uint16_t identifier = 0;
    {
      std::lock_guard engine(locks_.engine);
      if (READ_EVENT(&flag, &value, &kind, &parameter, &identifier) != 0) return;
    }
    switch (kind) {
      case 0:  // an aperiodic list was sent
        if (HWND dialog = aperiodic_window_.load()) ::SendMessage(dialog, WM_FIP_APER_SENT, 0, 0);
        break;
      case 1: {
        const auto list = MessagesSnapshot();
        for (std::size_t i = 0; i < configured_message_count_ && i < list.size(); ++i)
          if (list[i]->OnSendReport(identifier, parameter, value)) break;
        break;
      }
      case 2: ReadReceivedMessage(identifier); break;
      case 3:
        if (ba_) ba_->OnEvent(identifier);
        break;
      default: break;
    }
    std::lock_guard engine(locks_.engine);
    result = IS_EVENT(&pending);
  }
}

bool CFipSession::ServeRequests(CWnd& mailbox) {
  MSG msg;
  while (PeekMessage(&msg, mailbox.m_hWnd, 0, 0, PM_REMOVE)) {
    switch (msg.message) {
      case WM_FIP_END_SESSION: EndSession(mailbox, msg.wParam); return true;
      // A dialog that the user closed was taken from its object at once; the request carries its
      // token, and the dialog goes on the main thread, where it lives. A dialog opened since is
      // another's token and stays.
      case WM_FIP_BA_DLG_CLOSED:
      case WM_FIP_VAR_DLG_CLOSED:
      case WM_FIP_MES_DLG_CLOSED:
      case WM_FIP_MEDIUM_DLG_CLOSED:
      case WM_FIP_APER_DLG_CLOSED:
        online_frame_->OnMainThread([this, token = static_cast<std::uint32_t>(msg.lParam)] {
          online_frame_->Dialogs().Release(token);
        });
        break;
      case WM_FIP_MEDIUM_COMMAND:
        RunMediumCommand(static_cast<std::uint8_t>(msg.wParam), reinterpret_cast<HWND>(msg.lParam));
        break;
      default: break;
    }
  }
  return false;
}

void CFipSession::EndSession(CWnd& mailbox, WPARAM reason) {
  Disconnect();
  host_->SetOnline(false);
  // The window goes before the end is told: the frame deletes the session on that message.
  session_window_ = nullptr;
  mailbox.DestroyWindow();
  frame_.PostMessage(WM_FIP_SESSION_ENDED, reason, 0);
}

// ---- Medium supervision

bool CFipSession::SuperviseMedium(std::uint8_t& last_status) {
  std::uint8_t status = 0;
  std::uint32_t code = 0;
  {
    std::lock_guard engine(locks_.engine);
    code = MEDIUM_CONTROL(0, &status);
  }
  if (code != 0) {
    const std::string text = ErrorText(code, "");
    if (code == kResourceBusy) {
      if (!text.empty() && MessageBox(text.c_str(), MB_OKCANCEL) == IDCANCEL) PostEnd(kEndDisconnect);
      return true;
    }
    // Any other failure means the board no longer answers: the session ends with the reason shown,
    // rather than telling it again every pass.
    if (!text.empty()) MessageBox(text.c_str(), MB_OK);
    PostEnd(kEndDisconnect);
    return false;
  }
  if (status != last_status) ::SendMessage(frame_.m_hWnd, WM_FIP_MEDIUM_ICONS, status, 0);
  last_status = status;
  // The open medium dialog gets every status byte. The main thread takes csMediumDialog when the
  // dialog closes: the window is read under it and the status sent after it is released.
  HWND medium = nullptr;
  EnterCriticalSection(&csMediumDialog);
  if (medium_dialog_open_ != 0) medium = medium_window_;
  LeaveCriticalSection(&csMediumDialog);
  if (medium != nullptr) ::SendMessage(medium, WM_FIP_MEDIUM_STATUS, status, 0);

  const auto medium_command = [this](std::uint8_t command) {
    std::uint8_t ignored = 0;
    std::uint32_t failed = 0;
    {
      std::lock_guard engine(locks_.engine);
      failed = MEDIUM_CONTROL(command, &ignored);
    }
    if (failed != 0) ShowError(failed, false);
  };
  const auto echo_warning = [this] {
    if (MessageBox(kNoEcho, MB_OKCANCEL) != IDCANCEL) return true;
    PostEnd(kEndDisconnect);
    return false;
  };
  if (board_variant_ == 1) {
    const bool ch1 = status & 0x01, ch2 = status & 0x02, et1 = status & 0x04, et2 = status & 0x08;
    if (et1 && et2) {
      if (!echo_warning()) return false;
    } else if (et1 && !ch2) {
      medium_command(5);
    } else if (!et1 && !ch1) {
      if (et2)
        medium_command(4);
      else if (!ch2)
        medium_command(5);
    }
  } else {
    std::uint8_t page[128] = {};
    std::uint32_t read = 0;
    {
      std::lock_guard engine(locks_.engine);
      read = FIP_READ_PHY(kPhysicalStatusPage, page);
    }
    // A page that could not be read says nothing about the medium.
    if (read != 0) {
      const auto word = [&page](int at) { return static_cast<std::uint16_t>(page[at] | page[at + 1] << 8); };
      const std::uint16_t words[3] = {word(6), word(8), word(10)};
      const bool changed = words[0] != last_phy_words_[0] || words[1] != last_phy_words_[1] ||
                           words[2] != last_phy_words_[2];
      if (changed) {
        for (int i = 0; i < 3; ++i) last_phy_words_[i] = words[i];
        if (!echo_warning()) return false;
      }
    }
  }
  return true;
}

void CFipSession::RunMediumCommand(std::uint8_t command, HWND answer_to) {
  std::uint8_t status = 0;
  std::uint32_t code = 0;
  {
    std::lock_guard engine(locks_.engine);
    code = MEDIUM_CONTROL(command, &status);
  }
  // A failed command wrote no status byte: none is sent.
  ::PostMessage(answer_to, WM_FIP_MEDIUM_ANSWER, code == 0 ? status : 0, static_cast<LPARAM>(code));
}

// ---- Received messages

void CFipSession::ReadReceivedMessage(std::uint16_t receive_key) {
  MES_PILE entry;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(entry.date.data(), entry.date.size(), "%d/%m/%Y", &local);
  std::strftime(entry.time.data(), entry.time.size(), "%H:%M:%S", &local);

  std::uint16_t length = 0, destination = 0, source = 0;
  std::uint8_t destination_segment = 0, source_segment = 0;
  std::vector<std::uint8_t> data(OnlineMessage::kDataBytes + 4, 0);
  {
    std::lock_guard engine(locks_.engine);
    if (FIP_READ_MSG(receive_key, nullptr, &length, &destination, &destination_segment, &source, &source_segment,
                     data.data()) != 0)
      return;
  }
  length = static_cast<std::uint16_t>(std::min<std::size_t>(length, OnlineMessage::kDataBytes));
  entry.length = length;
  entry.data.assign(data.begin(), data.begin() + length);

  OnlineMessage* target = nullptr;
  for (OnlineMessage* message : MessagesSnapshot()) {
    const records::MESSAGE4& r = message->Record();
    if (r.transmitted == 0 && r.source_identifier == source && r.source_segment == source_segment &&
        r.destination_identifier == destination && r.destination_segment == destination_segment) {
      target = message;
      break;
    }
  }
  if (target == nullptr) {
    if (message_count_.load() >= kMaxOnlineMessages) {
      MessageBox(kTooManyMessages, MB_OK);
      return;
    }
    target = AddUnconfiguredMessage(source, source_segment, destination, destination_segment);
    if (target == nullptr) return;
  }
  // A full stack drops the entry; the message tells the loss (the first at once, then one in eleven).
  if (!target->Push(std::move(entry))) target->NoteLostReception();
}

OnlineMessage* CFipSession::AddUnconfiguredMessage(std::uint16_t source, std::uint8_t source_segment,
                                                   std::uint16_t destination, std::uint8_t destination_segment) {
  const std::size_t index = message_count_.load();
  records::MESSAGE4 record;
  record.source_identifier = source;
  record.destination_identifier = destination;
  record.channel = 0;
  record.event_number = 1;
  record.source_segment = source_segment;
  record.destination_segment = destination_segment;
  record.acknowledged = 0;
  record.aperiodic = 1;
  record.transmitted = 0;
  record.remote_station = -1;
  record.key = static_cast<std::uint32_t>(35000 + index);
  records::set_text(record.format, "%h");
  std::string name = HexName(source, destination);

  // The document and the tree are the main thread's.
  std::uint16_t local_station = 0;
  online_frame_->OnMainThread([&] {
    CPlandrelDoc* document = host_->Document();
    records::set_text(record.name, name);
    if (document == nullptr) return;
    local_station = document->Records().local_station;
    while (CheckMessageNames(document->Records(), &record) == kCheckMessageNameInUse) {
      const std::string unique = document->MakeUniqueMessageName(name);
      if (unique == name) break;
      name = unique;
      records::set_text(record.name, name);
    }
  });
  if (IsMainWindow())
    if (CTreeCtrl* tree = host_->Tree(); tree && tree->m_hWnd)
      ::SendMessage(tree->m_hWnd, WM_TREE_INSERT_MESSAGE, reinterpret_cast<WPARAM>(&record), 0);
  online_frame_->TreeChanged();

  auto message = std::make_unique<OnlineMessage>(*online_frame_, locks_);
  if (!message->Init(false, record, static_cast<std::uint16_t>(index), local_station)) {
    // Its text ("Tree management error :\n\tAbort session.") has been shown: whatever the tree
    // took of the message goes, and the session ends, rather than telling it at every reception.
    online_frame_->DeleteTreeItems(record.key);
    abort_requested_ = true;
    PostEnd(kEndDisconnect);
    return nullptr;
  }
  OnlineMessage* added = message.get();
  {
    std::lock_guard guard(messages_mutex_);
    messages_.push_back(std::move(message));
  }
  message_count_ = index + 1;

  online_frame_->OnMainThread([&] {
    CMenu* bar = frame_.GetMenu();
    CMenu* fip = bar ? bar->GetSubMenu(kFipPopup) : nullptr;
    if (fip == nullptr || !messages_menu_) return;
    if (index == 0) fip->EnableMenuItem(kMessagesEntry, MF_BYPOSITION | MF_ENABLED);
    messages_menu_->InsertMenu(static_cast<UINT>(index), MF_BYPOSITION | MF_STRING, kMessageMenuBase + index,
                               name.c_str());
  });
  return added;
}

// ---- Disconnect

int CFipSession::Disconnect() {
  ending_ = true;
  // 1. A sending arbitrator is stopped.
  if (ba_) {
    std::uint8_t state = 0;
    {
      std::lock_guard engine(locks_.engine);
      state = ba_->Report();
    }
    if (state != 0 && state != kBaStopped && state != kBaStarting) ba_->Stop();
  }

  // 2. The on-line dialogs, closed and destroyed on the main thread where they live.
  const auto list = MessagesSnapshot();
  online_frame_->OnMainThread([&] {
    if (ba_) ba_->CloseDialog(true);
    CloseMediumDialog(true);
    CloseValuesDisplay(true);
    for (const auto& variable : variables_) variable->CloseDialog(true);
    for (OnlineMessage* message : list) message->CloseDialog(true);
    CloseAperiodicDialog(true);
  });

  // 3. The tree texts as they were off line; the unconfigured messages leave the tree.
  online_frame_->ForgetTexts();
  if (ba_present_ && ba_) online_frame_->SetTreeText(ba_->Item(), BaControl::kTreeText);
  for (const auto& variable : variables_)
    if (variable->Initialised()) online_frame_->SetTreeText(variable->Item(), records::text_of(variable->Record().name));
  CTreeCtrl* tree = host_->Tree();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i < configured_message_count_) {
      online_frame_->SetTreeText(list[i]->Item(), records::text_of(list[i]->Record().name));
    } else if (tree && tree->m_hWnd) {
      ::SendMessage(tree->m_hWnd, WM_TREE_DELETE_ITEM, list[i]->Item(), 0);
    }
  }
  online_frame_->TreeChanged();

  // 4.-5. Menus and objects go on the main thread, where their dialogs live.
  online_frame_->OnMainThread([this] {
    RemoveMenus();
    FreeObjects();
  });

  // 6. The engine stops on the main thread, which started it.
  if (::SendMessage(frame_.m_hWnd, WM_FIP_STOP_ENGINE, 0, 0) != 1) return 0;
  if (IsMainWindow()) ::SendMessage(frame_.m_hWnd, WM_FIP_MEDIUM_RESET, 0, 0);
  return 1;
}

void CFipSession::RemoveMenus() {
  CMenu* bar = frame_.GetMenu();
  CMenu* fip = bar ? bar->GetSubMenu(kFipPopup) : nullptr;
  if (messages_menu_) {
    if (fip) fip->DeleteMenu(kMessagesEntry, MF_BYPOSITION);
    messages_menu_->Detach();
    messages_menu_.reset();
  }
  if (variables_menu_) {
    if (fip) fip->DeleteMenu(kVariablesEntry, MF_BYPOSITION);
    variables_menu_->Detach();
    variables_menu_.reset();
  }
  frame_.DrawMenuBar();
}

void CFipSession::FreeObjects() {
  // The variables display reads the variables: it and its thread go first.
  CloseValuesDisplay(true);
  std::vector<std::unique_ptr<OnlineVariable>> variables;
  std::vector<std::unique_ptr<OnlineMessage>> messages;
  std::unique_ptr<BaControl> ba;
  {
    std::lock_guard dialog(locks_.variable_dialog);
    variables.swap(variables_);
    variable_count_ = 0;
  }
  {
    std::lock_guard dialog(locks_.message_dialog);
    std::lock_guard guard(messages_mutex_);
    messages.swap(messages_);
    message_count_ = 0;
  }
  {
    std::lock_guard dialog(locks_.ba_dialog);
    ba.swap(ba_);
  }
  online_frame_->Dialogs().ReleaseAll();
}

// ---- Dialogs (main thread)

void CFipSession::OpenVariableDialog(std::size_t index) {
  std::lock_guard dialog(locks_.variable_dialog);
  if (index < variables_.size()) variables_[index]->OpenDialog();
}

void CFipSession::OpenMessageDialog(std::size_t position) {
  std::lock_guard dialog(locks_.message_dialog);
  if (OnlineMessage* message = MessageAt(position)) message->OpenDialog();
}

void CFipSession::OpenBaDialog() {
  std::lock_guard dialog(locks_.ba_dialog);
  if (!ba_) return;
  ba_->OpenDialog();
  ba_->PushStateToDialog();
}

void CFipSession::OpenMediumDialog() {
  if (medium_dialog_) {
    medium_dialog_->Activate();
    return;
  }
  auto request = [this](std::uint8_t command, HWND answer_to) {
    const HWND window = session_window_.load();
    return window != nullptr &&
           ::PostMessage(window, WM_FIP_MEDIUM_COMMAND, command, reinterpret_cast<LPARAM>(answer_to)) != FALSE;
  };
  auto detach = [this](const OnlineDialogLink* dialog) -> std::unique_ptr<OnlineDialogLink> {
    if (medium_dialog_.get() != dialog) return nullptr;
    EnterCriticalSection(&csMediumDialog);
    medium_dialog_open_ = 0;
    medium_window_ = nullptr;
    LeaveCriticalSection(&csMediumDialog);
    return std::move(medium_dialog_);
  };
  medium_dialog_ = online_frame_->Dialogs().Open(std::make_unique<CMediumDlg>(board_variant_, std::move(request)),
                                                 MediumCaption(board_variant_), 0, std::move(detach));
  if (!medium_dialog_) return;
  EnterCriticalSection(&csMediumDialog);
  medium_dialog_open_ = 1;
  medium_window_ = medium_dialog_->DialogWindow();
  LeaveCriticalSection(&csMediumDialog);
}

void CFipSession::OpenAperiodicDialog() {
  if (aperiodic_dialog_) {
    aperiodic_dialog_->Activate();
    return;
  }
  auto lists = [this]() -> const std::vector<records::LISTE_APER>* {
    CPlandrelDoc* document = host_->Document();
    return document != nullptr ? &document->Records().lists : nullptr;
  };
  auto detach = [this](const OnlineDialogLink* dialog) -> std::unique_ptr<OnlineDialogLink> {
    if (aperiodic_dialog_.get() != dialog) return nullptr;
    aperiodic_window_ = nullptr;
    return std::move(aperiodic_dialog_);
  };
  aperiodic_dialog_ = online_frame_->Dialogs().Open(std::make_unique<CFipAperDlg>(std::move(lists), locks_.engine),
                                                    FrameCaption(kFrameAperiodic), 0, std::move(detach));
  if (aperiodic_dialog_) aperiodic_window_ = aperiodic_dialog_->DialogWindow();
}

void CFipSession::OpenVariablesDisplay() {
  if (ending_.load()) return;
  if (values_display_) {
    values_display_->ShowWindow(values_display_->IsIconic() ? SW_RESTORE : SW_SHOW);
    return;
  }
  auto display = std::make_unique<CPhysicalValues>(*this);
  if (display->Failed()) return;  // no usable interpretation file: the message has been shown
  CPhysicalValues* opened = display.get();
  values_display_ = std::move(display);
  // Creating the window parses the file, sets the running flag and the window, and starts the
  // refresh thread.
  if (!opened->Create(IDD_PHYSICAL_VALUES, &frame_)) {
    values_display_.reset();
    return;
  }
  opened->ShowWindow(SW_SHOW);
}

void CFipSession::CloseMediumDialog(bool notify) {
  EnterCriticalSection(&csMediumDialog);
  medium_dialog_open_ = 0;
  medium_window_ = nullptr;
  LeaveCriticalSection(&csMediumDialog);
  if (!medium_dialog_) return;
  if (notify) medium_dialog_->CloseFrame();
  medium_dialog_.reset();
}

void CFipSession::CloseAperiodicDialog(bool notify) {
  aperiodic_window_ = nullptr;
  if (!aperiodic_dialog_) return;
  if (notify) aperiodic_dialog_->CloseFrame();
  aperiodic_dialog_.reset();
}

std::size_t CFipSession::ClosedDialogsKept() const { return online_frame_->Dialogs().ClosedKept(); }

void CFipSession::AperiodicListsChanged(bool usable) {
  aperiodic_usable_ = usable ? 1 : 0;
  if (HWND dialog = aperiodic_window_.load()) ::PostMessage(dialog, WM_FIP_APER_LISTS_CHANGED, 0, 0);
}

void CFipSession::CloseValuesDisplay(bool notify) {
  if (!notify || !values_display_) return;
  EnterCriticalSection(&csValuesDisplay);
  values_refresh_running_ = 0;
  LeaveCriticalSection(&csValuesDisplay);
  // The window's end joins the thread and hands the object back (DisplayDestroyed).
  CPhysicalValues* display = values_display_.get();
  if (display->m_hWnd) display->SendMessage(WM_CLOSE);
  else values_display_.reset();
}

// ---- The variables display's host

CWnd* CFipSession::FrameWindow() { return &frame_; }
std::string CFipSession::CsvPath() { return host_->CsvPath(); }
void CFipSession::OpenCsv() { host_->OpenCsv(); }

void CFipSession::SetRefreshTarget(HWND window) {
  EnterCriticalSection(&csValuesDisplay);
  values_refresh_running_ = window != nullptr ? 1 : 0;
  values_display_window_ = window;
  LeaveCriticalSection(&csValuesDisplay);
}

HWND CFipSession::RefreshTarget() {
  EnterCriticalSection(&csValuesDisplay);
  const HWND window = values_refresh_running_ != 0 ? values_display_window_ : nullptr;
  LeaveCriticalSection(&csValuesDisplay);
  return window;
}

void CFipSession::SnapshotVariables() { TakeSnapshots(variables_, locks_.engine); }

std::vector<PageVariable> CFipSession::Variables() {
  std::vector<PageVariable> list;
  list.reserve(variables_.size());
  for (const auto& variable : variables_) {
    const auto& snapshot = variable->SnapshotValue();
    list.push_back(PageVariable{variable->Record().identifier, variable->Record().length,
                                snapshot ? &*snapshot : nullptr});
  }
  return list;
}

void CFipSession::DisplayDestroyed(CPhysicalValues& display) {
  if (values_display_.get() != &display) return;
  std::unique_ptr<CPhysicalValues> closed = std::move(values_display_);
}

}  // namespace plandrel
