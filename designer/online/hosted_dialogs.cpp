#include "online/hosted_dialogs.h"

namespace plandrel {

void HostedDialogs::Watch(CHostedDlg& hosted, const OnlineDialogLink& link, WPARAM index, Detach detach) {
  const std::uint32_t token = ++last_token_;
  const UINT closed = FrameKindInfo(hosted.Frame().Kind()).closed_message;
  hosted.Frame().OnUserClose([this, dialog = &link, detach = std::move(detach), closed, index, token] {
    if (std::unique_ptr<OnlineDialogLink> taken = detach(dialog)) closed_.emplace(token, std::move(taken));
    // With no session window left, the dialog stays until the session goes.
    if (HWND window = session_window_()) ::PostMessage(window, closed, index, static_cast<LPARAM>(token));
  });
}

}  // namespace plandrel
