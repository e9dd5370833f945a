// What the on-line objects (variables, messages, bus arbitrator) ask of the program around them:
// the main frame with its tree, menus and message boxes, the dialogs that show them, the designer's
// critical sections and a clock. The session fills this in with the real windows; tests with
// stand-ins that record what was shown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace plandrel {

class OnlineVariable;
class OnlineMessage;
class BaControl;

// A tree item of the configuration tree (0 = none), and a window handle (0 = none).
using TreeItem = std::uintptr_t;
using WindowHandle = std::uintptr_t;

// The designer's window messages that the on-line objects post or send to their dialogs.
inline constexpr std::uint32_t WM_FIP_VAR_UPDATE = 0x40C;
inline constexpr std::uint32_t WM_FIP_BA_STATE = 0x40D;
inline constexpr std::uint32_t WM_FIP_BA_SEQUENCE = 0x40E;
inline constexpr std::uint32_t WM_FIP_MES_REPORT = 0x40F;
inline constexpr std::uint32_t WM_FIP_MES_SHOW = 0x410;
inline constexpr std::uint32_t WM_FIP_MES_FIRST = 0x411;
inline constexpr std::uint32_t WM_FIP_MES_MORE = 0x412;

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
// closed on the main thread; Post may be called from the session thread under the dialog's lock.
class OnlineDialogLink {
 public:
  virtual ~OnlineDialogLink() = default;
  // Activates the dialog's frame, restoring it when minimised.
  virtual void Activate() = 0;
  // Posts a window message to the dialog; never blocks.
  virtual void Post(std::uint32_t message, std::uintptr_t wparam = 0) = 0;
  // Sends WM_FIP_CLOSE_FRAME to the hosting frame: the frame goes without telling the session.
  virtual void CloseFrame() = 0;
  // The dialog's window, for messages sent after the dialog's lock is released.
  virtual WindowHandle Window() const = 0;
};

// What a consumed-variable dialog shows, left in it before WM_FIP_VAR_UPDATE.
struct VariableSnapshot {
  std::string value_text;
  bool read_ok = false;
  bool refreshment_true = false;
  bool promptness_true = false;
};

class VariableDialogLink : public OnlineDialogLink {
 public:
  virtual void SetSnapshot(const VariableSnapshot& snapshot) = 0;
};

class MessageDialogLink : public OnlineDialogLink {
 public:
  // The formatted text of the entry to show, left in the dialog before WM_FIP_MES_SHOW.
  virtual void SetText(std::string_view text) = 0;
};

class BaDialogLink : public OnlineDialogLink {
 public:
  // The state text, left in the dialog before WM_FIP_BA_STATE.
  virtual void SetStateText(std::string_view text) = 0;
};

enum class VariableDialogKind { consumed, produced };
enum class MessageDialogKind { transmitted, received, unconfigured };

// The main frame as the on-line objects see it.
class OnlineFrame {
 public:
  virtual ~OnlineFrame() = default;

  // The configuration tree, read on the main thread at Connect: the root, an item's first child
  // and next sibling (0 when none) and its item data.
  virtual TreeItem TreeRoot() const = 0;
  virtual TreeItem TreeFirstChild(TreeItem item) const = 0;
  virtual TreeItem TreeNextSibling(TreeItem item) const = 0;
  virtual std::uint32_t TreeItemData(TreeItem item) const = 0;
  // WM_TREE_SET_TEXT sent to the tree: blocks until the main thread has set the text, so the
  // caller holds no critical section.
  virtual void SetTreeText(TreeItem item, std::string_view text) = 0;
  // The frame is the application's main window (tree texts are sent only then).
  virtual bool IsMainWindow() const = 0;
  // Enables or greys message `index`'s entry of the on-line Messages menu.
  virtual void EnableMessageMenuItem(std::uint16_t index, bool enable) = 0;
  // A modal message box with OK; the calling thread waits for the answer.
  virtual void ShowMessage(std::string_view text) = 0;
  // Sends a message to a window; 0 when the window has gone.
  virtual std::intptr_t SendToWindow(WindowHandle window, std::uint32_t message) = 0;

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

// Tree lookups of the on-line objects: the first child of `parent` whose item data is `data`, and
// the local station's item (a child of the root with item data 100 + the station's index).
TreeItem FindChildWithData(const OnlineFrame& frame, TreeItem parent, std::uint32_t data);
TreeItem FindLocalStationItem(const OnlineFrame& frame, std::uint16_t local_station);

// The texts of the on-line objects' failures.
inline constexpr std::string_view kTreeManagementError = "Tree management error :\n\tAbort session.";

}  // namespace plandrel
