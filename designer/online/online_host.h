// What the on-line objects (variables, messages, bus arbitrator) ask of the program around them:
// the main frame with its tree, menus and message boxes, the dialogs that show them, the designer's
// critical sections and a clock. The session fills this in with the real windows; tests with
// stand-ins that record what was shown.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace plandrel {

class OnlineVariable;
class OnlineMessage;
class BaControl;

// A tree item of the configuration tree (0 = none), and a window handle (0 = none).
using TreeItem = std::uintptr_t;
using WindowHandle = std::uintptr_t;

// A critical section as the on-line objects take it (BasicLockable, recursive). csEngine is taken
// before any other; the others guard only formats, dialog pointers and open flags, and stacks.
class SectionLock {
 public:
  virtual ~SectionLock() = default;
  virtual void lock() = 0;
  virtual void unlock() = 0;
};

// The designer's critical sections that the on-line objects use. The application owns them.
struct OnlineLocks {
  SectionLock& engine;
  SectionLock& variable_format;
  SectionLock& message_format;
  SectionLock& variable_dialog;
  SectionLock& message_dialog;
  SectionLock& message_stack;
  SectionLock& ba_dialog;
};

// An on-line dialog hosted in its frame, as its on-line object drives it. Created, activated and
// closed on the main thread. The updates leave their data in the dialog and post it the matching
// window message (WM_FIP_VAR_UPDATE, WM_FIP_BA_STATE, WM_FIP_MES_REPORT, WM_FIP_MES_SHOW,
// WM_FIP_MES_FIRST, WM_FIP_MES_MORE): they never block, and the session thread makes them under
// the dialog's lock.
class OnlineDialogLink {
 public:
  virtual ~OnlineDialogLink() = default;
  // Activates the dialog's frame, restoring it when minimised.
  virtual void Activate() = 0;
  // Sends WM_FIP_CLOSE_FRAME to the hosting frame: the frame goes without telling the session.
  virtual void CloseFrame() = 0;
  // The dialog's window, for messages sent after the dialog's lock is released.
  virtual WindowHandle Window() const = 0;
};

// What a consumed-variable dialog shows.
struct VariableSnapshot {
  std::string value_text;
  bool read_ok = false;
  bool refreshment_true = false;
  bool promptness_true = false;
};

class VariableDialogLink : public OnlineDialogLink {
 public:
  // The snapshot, then WM_FIP_VAR_UPDATE.
  virtual void Update(const VariableSnapshot& snapshot) = 0;
};

class MessageDialogLink : public OnlineDialogLink {
 public:
  // WM_FIP_MES_REPORT with the send report code.
  virtual void Report(std::uint8_t code) = 0;
  // The formatted text of the entry to show, then WM_FIP_MES_SHOW.
  virtual void Show(std::string_view text) = 0;
  // WM_FIP_MES_FIRST (a first entry on an empty stack) or WM_FIP_MES_MORE (one more).
  virtual void EntryAdded(bool first) = 0;
};

class BaDialogLink : public OnlineDialogLink {
 public:
  // The state text, then WM_FIP_BA_STATE.
  virtual void State(std::string_view text) = 0;
};

enum class VariableDialogKind { consumed, produced };
enum class MessageDialogKind { transmitted, received, unconfigured };

// Closes an on-line object's dialog: clears its open flag under the dialog's lock, closes the frame
// too when the session closes it (`close_frame`; otherwise the dialog closed itself), and deletes
// the dialog after the lock is released.
template <typename Link>
void CloseOnlineDialog(std::unique_ptr<Link>& dialog, bool& open, SectionLock& lock, bool close_frame) {
  if (!dialog) return;
  {
    std::lock_guard guard(lock);
    open = false;
  }
  if (close_frame) dialog->CloseFrame();
  std::unique_ptr<Link> closing;  // deleted after the lock is released
  std::lock_guard guard(lock);
  closing = std::move(dialog);
}

// The dialog that the user closed, given up by its object under the dialog's lock, its open flag
// cleared: the next open makes a new dialog. None when `which` is no longer the object's dialog.
template <typename Link>
std::unique_ptr<Link> DetachOnlineDialog(std::unique_ptr<Link>& dialog, bool& open, SectionLock& lock,
                                         const OnlineDialogLink* which) {
  std::lock_guard guard(lock);
  if (!dialog || dialog.get() != which) return nullptr;
  open = false;
  return std::move(dialog);
}

// The main frame as the on-line objects see it.
class OnlineFrame {
 public:
  virtual ~OnlineFrame() = default;

  // The configuration tree's items that the on-line objects show their state in, by item data
  // (0 when there is none): the bus arbitrator's item, the root's first child when its data is 1;
  // and under the local station's item (the root's child with data 100 + local_station) a
  // variable's item, its child with data `key`, or a message's item, the first child with data
  // `key` of its children in order.
  virtual TreeItem BusArbitratorItem() const = 0;
  virtual TreeItem LocalVariableItem(std::uint16_t local_station, std::uint32_t key) const = 0;
  virtual TreeItem LocalMessageItem(std::uint16_t local_station, std::uint32_t key) const = 0;
  // WM_TREE_SET_TEXT sent to the tree: blocks until the main thread has set the text, so the
  // caller holds no critical section.
  virtual void SetTreeText(TreeItem item, std::string_view text) = 0;
  // The frame is the application's main window (tree texts are sent only then).
  virtual bool IsMainWindow() const = 0;
  // Enables or greys message `index`'s entry of the on-line Messages menu.
  virtual void EnableMessageMenuItem(std::uint16_t index, bool enable) = 0;
  // A modal message box with OK; the calling thread waits for the answer.
  virtual void ShowMessage(std::string_view text) = 0;
  // Sends WM_FIP_BA_SEQUENCE to a BA dialog's window: the sequence it shows (1 or 2), 0 when the
  // window has gone. The caller holds no critical section.
  virtual int AskSequence(WindowHandle window) = 0;

  // The on-line dialogs in new frames (main thread); none when a dialog cannot be created.
  virtual std::unique_ptr<VariableDialogLink> CreateVariableDialog(OnlineVariable& variable,
                                                                   VariableDialogKind kind) = 0;
  virtual std::unique_ptr<MessageDialogLink> CreateMessageDialog(OnlineMessage& message,
                                                                 MessageDialogKind kind) = 0;
  virtual std::unique_ptr<BaDialogLink> CreateBaDialog(BaControl& ba, bool own_program) = 0;
};

// The clock of the bus arbitrator's start wait.
class OnlineClock {
 public:
  virtual ~OnlineClock() = default;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The machine's clock (the platform's Sleep).
OnlineClock& SystemClock();

// The texts of the on-line objects' failures.
inline constexpr std::string_view kTreeManagementError = "Tree management error :\n\tAbort session.";

}  // namespace plandrel
