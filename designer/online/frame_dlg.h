// CFrameDlg: the MDI child frame of the main window in which an on-line dialog lives, and
// CHostedDlg, the base of the dialogs it hosts. The frame gives its dialog a caption, an icon and
// a size; the user cannot resize or maximise it. When the user closes it, it first runs what its
// maker gave it (the owner's open flag cleared, the dialog taken from its owner and the session
// told), then goes at once. WM_FIP_CLOSE_FRAME, sent by the session when it closes a dialog
// itself, makes it go without that.
//
// Main thread only. The session thread reaches a hosted dialog only through its window handle
// (posted updates), which stays fixed from creation on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "online/online_host.h"
#include "ui/afxwin.h"

namespace plandrel {

class SessionHost;

// The kinds of hosted on-line dialogs.
enum FrameDlgKind : std::uint32_t {
  kFrameBaControl = 0,
  kFrameVarProduced = 1,
  kFrameVarConsumed = 2,
  kFrameMesTransmitted = 3,
  kFrameMesReceived = 4,
  kFrameMedium = 5,
  kFrameAperiodic = 6,
};
inline constexpr std::size_t kFrameDlgKinds = 7;

// What a kind's frame shows, and the message it posts to the session window when the user closes it.
struct FrameDlgKindInfo {
  std::string_view caption;  // the caption, or what follows the object's name and ", "
  bool named;                // the caption begins with the object's name
  UINT icon;
  UINT closed_message;
};
const FrameDlgKindInfo& FrameKindInfo(FrameDlgKind kind);
// "Bus arbitrator control", "NAME, consumed.", ...
std::string FrameCaption(FrameDlgKind kind, std::string_view name = {});

class CFrameDlg final : public CMDIChildWnd {
 public:
  // Child, visible, clip children, caption, system menu and minimise box: no resizing border, no
  // maximise box.
  static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

  CFrameDlg(UINT template_id, FrameDlgKind kind);
  ~CFrameDlg() override;

  // Creates the frame in the host's main frame with `caption` and its kind's big icon, hidden
  // until Host shows it.
  bool CreateFrame(SessionHost& host, const std::string& caption);
  // The dialog just made in this frame: the frame is sized so that its client area is the
  // dialog's rectangle, keeps its default position and shows.
  void Host(CDialog& dialog);
  // What a close by the user does before the frame goes.
  void OnUserClose(std::function<void()> close) { on_user_close_ = std::move(close); }

  void OnClose() override;
  void OnMDIActivate(BOOL activate, CWnd* activated, CWnd* deactivated) override;
  BOOL DestroyWindow() override;

  UINT TemplateId() const { return template_id_; }
  CDialog* Hosted() const { return dialog_; }
  FrameDlgKind Kind() const { return kind_; }

 private:
  void RefreshTitle();

  UINT template_id_;
  CDialog* dialog_ = nullptr;  // not owned
  FrameDlgKind kind_;
  SessionHost* host_ = nullptr;
  std::function<void()> on_user_close_;
};

// The base of the dialogs hosted in a CFrameDlg. It owns its frame; both windows go with it.
class CHostedDlg : public CDialog {
 public:
  CHostedDlg(UINT template_id, FrameDlgKind kind);
  ~CHostedDlg() override;

  // Creates the frame with `caption` in the host's main frame, then this dialog in it. False when
  // either window cannot be made.
  bool Open(SessionHost& host, const std::string& caption);

  // Escape never ends a hosted dialog, nor Enter where the template has no default button.
  void OnOK() override {}
  void OnCancel() override {}

  CFrameDlg& Frame() { return frame_; }
  // Fixed from Open on, so that the session thread may post to them.
  HWND DialogWindow() const { return window_; }
  HWND FrameWindow() const { return frame_window_; }

  // The frame, found by its handle: activated and restored when minimised; nothing when it has gone.
  void ActivateFrame();
  // WM_FIP_CLOSE_FRAME to the frame: it goes without telling the session.
  void CloseFrameWindow();

 protected:
  CFrameDlg frame_;

 private:
  HWND window_ = nullptr;
  HWND frame_window_ = nullptr;
};

// A hosted dialog as its on-line object drives it (Activate, CloseFrame, Window).
template <class Link>
class CHostedLinkDlg : public CHostedDlg, public Link {
 public:
  using CHostedDlg::CHostedDlg;
  void Activate() override { ActivateFrame(); }
  void CloseFrame() override { CloseFrameWindow(); }
  WindowHandle Window() const override { return reinterpret_cast<WindowHandle>(DialogWindow()); }
};

}  // namespace plandrel
