// HostedDialogs: the on-line dialogs that one session opens in their frames, and the ones the user
// closed. A dialog that the user closes is taken from its owner at once, under the owner's lock
// (so that the next open makes a new dialog and the session thread no longer reaches it), and
// kept here until the session thread serves the closed message that carries its token; a late
// closed message therefore never deletes a dialog opened since. What is still kept when the
// session ends goes with it. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "online/frame_dlg.h"
#include "online/online_host.h"

namespace plandrel {

class SessionHost;

class HostedDialogs {
 public:
  // Gives the dialog up when it is still its owner's: its open flag cleared under the owner's lock.
  using Detach = std::function<std::unique_ptr<OnlineDialogLink>(const OnlineDialogLink* dialog)>;

  HostedDialogs(SessionHost& host, std::function<HWND()> session_window)
      : host_(host), session_window_(std::move(session_window)) {}

  // Makes `dialog` in its frame with `caption`; none when a window cannot be made. When the user
  // closes it: detach, then the kind's closed message (index, token) to the session window.
  template <class Dialog>
  std::unique_ptr<Dialog> Open(std::unique_ptr<Dialog> dialog, const std::string& caption, WPARAM index, Detach detach) {
    if (!dialog || !dialog->Open(host_, caption)) return nullptr;
    Watch(*dialog, *dialog, index, std::move(detach));
    return dialog;
  }

  // The closed message with `token` was served: its dialog goes (nothing for an unknown token).
  void Release(std::uint32_t token) { closed_.erase(token); }
  void ReleaseAll() { closed_.clear(); }
  std::size_t ClosedKept() const { return closed_.size(); }

 private:
  void Watch(CHostedDlg& hosted, const OnlineDialogLink& link, WPARAM index, Detach detach);

  SessionHost& host_;
  std::function<HWND()> session_window_;
  std::uint32_t last_token_ = 0;
  std::map<std::uint32_t, std::unique_ptr<OnlineDialogLink>> closed_;
};

}  // namespace plandrel
