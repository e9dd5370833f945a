// CFipSession: the designer's connection to the selected board while it is on line.
//
// Connect (main thread) starts the engine, downloads the document's configuration, builds the
// on-line variables, messages and bus arbitrator, adds the on-line menus and starts the session
// thread FncTacheLitFip. Every 100 ms the thread supervises the medium, reports the arbitrator,
// reads the consumed variables, drains the board's events and serves its mailbox window, to
// which the main frame, the application and the on-line dialogs post their requests. Ending a
// session always goes through that window: the thread undoes what Connect built and has the
// main thread stop the engine.
//
// Threads and locks: every engine call made while the session thread exists is made under
// csEngine. No thread sends to a window of another thread while holding a critical section. The
// menus, the tree and the document belong to the main thread: the session thread reaches them by
// sent messages only. The on-line objects are freed on the main thread, so that their dialogs are
// destroyed there.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "online/fip_session.h"
#include "online/ba_control.h"
#include "online/online_host.h"
#include "online/online_message.h"
#include "online/online_variable.h"
#include "online/physical_values.h"
#include "online/refresh_data.h"
#include "online/session_host.h"
#include "ui/afxwin.h"

namespace plandrel {

class CFipAperDlg;
class CMediumDlg;
class SessionFrame;

// The texts of the session.
inline constexpr const char* kDownloadError = "Error during configuration download.";
inline constexpr const char* kNoEcho = "No echoing transmission.\nCheck connection to the bus before continuing.";
inline constexpr const char* kTooManyMessages =
    "The maximum number of messages is reached.\n A no configured received message was lost.";
inline constexpr const char* kStackFullTail = " message stack full :\nmessage may be lost.";

// At most this many messages, configured and unconfigured, while on line.
inline constexpr std::size_t kMaxOnlineMessages = 4096;
// The platform's resource-busy code: the medium error box then offers Cancel.
inline constexpr std::uint32_t kResourceBusy = 170;

// What one session pass spent, in microseconds (the benchmark and the tests read it).
struct SessionPassTimes {
  std::int64_t supervision = 0;
  std::int64_t bus_arbitrator = 0;
  std::int64_t variable_reads = 0;  // Read and PublishToDialog under csEngine
  std::int64_t tree_texts = 0;      // the main thread's part: tree texts set
  std::size_t texts_set = 0;        // tree texts that changed in the pass
  std::int64_t events = 0;
  std::int64_t requests = 0;
  std::int64_t total = 0;
  std::uint64_t passes = 0;
};

class CFipSession final : public FipSession, public ValuesDisplayHost {
 public:
  explicit CFipSession(std::unique_ptr<SessionHost> host);
  CFipSession(const CFipSession&) = delete;
  CFipSession& operator=(const CFipSession&) = delete;
  // A session still served by its thread is ended first (as an application exit).
  ~CFipSession() override;

  // --- FipSession
  bool Connect() override;
  HWND SessionWindow() const override { return session_window_.load(); }
  std::size_t VariableCount() const override;
  std::size_t MessageCount() const override { return message_count_.load(); }
  bool AperiodicUsable() const override { return aperiodic_usable_.load() != 0; }
  void OpenBaDialog() override;
  void OpenMediumDialog() override;
  void OpenAperiodicDialog() override;
  void OpenVariablesDisplay() override;
  void OpenVariableDialog(std::size_t index) override;
  void OpenMessageDialog(std::size_t position) override;

  // The lists dialog's End while on line (main thread).
  void AperiodicListsChanged(bool usable) override;

  // Undoes Connect; 1 when the main thread stopped the engine. Session thread (ending a session),
  // or main thread after a failed Connect.
  int Disconnect();

  // Session thread.
  void ReadReceivedMessage(std::uint16_t receive_key);
  OnlineMessage* AddUnconfiguredMessage(std::uint16_t source, std::uint8_t source_segment, std::uint16_t destination,
                                        std::uint8_t destination_segment);
  bool SuperviseMedium(std::uint8_t& last_status);

  // Dialog closers (notify: the session closes the dialog; else it closed itself).
  void CloseMediumDialog(bool notify);
  void CloseAperiodicDialog(bool notify);
  // Main thread: closes an open variables display, whatever its failed flag (an empty display
  // too), and ends its refresh thread before returning. Without notify it does nothing: the
  // display that closes itself hands itself back through DisplayDestroyed.
  void CloseValuesDisplay(bool notify);

  // The open medium and send-list dialogs (main thread), null when none.
  CMediumDlg* MediumDialog() const { return medium_dialog_.get(); }
  CFipAperDlg* AperiodicDialog() const { return aperiodic_dialog_.get(); }
  // Dialogs closed by the user that wait for the session thread's closed message (main thread).
  std::size_t ClosedDialogsKept() const;

  // --- ValuesDisplayHost (the variables display)
  CWnd* FrameWindow() override;
  std::string CsvPath() override;
  void OpenCsv() override;
  void SetRefreshPeriod(int milliseconds) override { refresh_period_ = milliseconds; }
  int RefreshPeriod() const override { return refresh_period_.load(); }
  void SetRefreshTarget(HWND window) override;
  HWND RefreshTarget() override;
  void SnapshotVariables() override;
  std::vector<PageVariable> Variables() override;
  void DisplayDestroyed(CPhysicalValues& display) override;
  // The open variables display, or null (main thread).
  CPhysicalValues* ValuesDisplay() const { return values_display_.get(); }

  // The on-line objects, for the main thread's dialogs: null outside the session's lists.
  OnlineVariable* Variable(std::size_t index) const;
  OnlineMessage* Message(std::size_t position) const { return MessageAt(position); }

  int BoardVariant() const { return board_variant_; }
  bool BaPresent() const { return ba_present_ != 0; }
  // The figures of the passes so far (copied under their lock).
  SessionPassTimes PassTimes() const;

 private:
  friend unsigned FncTacheLitFip(void* session);

  void StartReaderThread();
  // One pass of the session thread; false when the session ended in it.
  bool Pass(CWnd& mailbox, std::uint8_t& last_status);
  // true: the session ended (the mailbox window is destroyed).
  bool ServeRequests(CWnd& mailbox);
  void EndSession(CWnd& mailbox, WPARAM reason);
  void DrainEvents(bool ok);
  // The medium dialog's command, on the session thread's engine context; the answer is posted to
  // the dialog's window.
  void RunMediumCommand(std::uint8_t command, HWND answer_to);
  void ShowError(std::uint32_t code, bool with_fallback);
  int MessageBox(const char* text, UINT type);
  void PostEnd(WPARAM reason);
  // The message at `position` of the list, or null.
  OnlineMessage* MessageAt(std::size_t position) const;
  std::vector<OnlineMessage*> MessagesSnapshot() const;
  void AddMenus();
  void RemoveMenus();
  void FreeObjects();
  bool IsMainWindow() const;

  std::unique_ptr<SessionHost> host_;
  CMDIFrameWnd& frame_;
  OnlineLocks locks_;
  std::unique_ptr<SessionFrame> online_frame_;

  std::unique_ptr<CMenu> variables_menu_;
  std::unique_ptr<CMenu> messages_menu_;
  std::uint16_t last_phy_words_[3] = {0, 0, 0};
  bool phy_words_seen_ = false;

  std::thread reader_thread_;
  std::atomic<HWND> session_window_{nullptr};
  std::atomic<bool> thread_done_{false};
  std::mutex start_mutex_;
  std::condition_variable started_;
  bool window_ready_ = false;

  int ba_present_ = 0;
  std::unique_ptr<BaControl> ba_;
  std::vector<std::unique_ptr<OnlineVariable>> variables_;
  std::atomic<std::size_t> variable_count_{0};
  std::uint16_t configured_message_count_ = 0;
  std::atomic<std::size_t> message_count_{0};
  // The list grows on the session thread while the main thread opens dialogs from it.
  mutable std::mutex messages_mutex_;
  std::vector<std::unique_ptr<OnlineMessage>> messages_;
  int board_variant_ = 1;
  std::atomic<int> aperiodic_usable_{0};
  int medium_dialog_open_ = 0;  // guarded by csMediumDialog
  HWND medium_window_ = nullptr;  // guarded by csMediumDialog: where supervision sends the status
  std::unique_ptr<CMediumDlg> medium_dialog_;      // main thread
  std::unique_ptr<CFipAperDlg> aperiodic_dialog_;  // main thread
  std::atomic<HWND> aperiodic_window_{nullptr};    // the session thread sends to it
  // Set on the session thread when an unconfigured message could not be made: the session ends.
  bool abort_requested_ = false;
  // The variables display (main thread), and what its refresh thread reads of it.
  std::unique_ptr<CPhysicalValues> values_display_;
  int values_refresh_running_ = 0;       // guarded by csValuesDisplay
  HWND values_display_window_ = nullptr;  // guarded by csValuesDisplay
  std::atomic<int> refresh_period_{kInitialRefreshPeriod};
  // Set when Disconnect begins: no variables display opens from then on.
  std::atomic<bool> ending_{false};

  mutable std::mutex times_mutex_;
  SessionPassTimes times_;
};

// The session thread's entry: `session` is the CFipSession. Returns 0.
unsigned FncTacheLitFip(void* session);

}  // namespace plandrel
