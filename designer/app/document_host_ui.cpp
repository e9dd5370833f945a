#include "document_host_ui.h"

#include "ui/afxdlgs.h"
#include "ui/afxwin.h"

#include <string>

namespace plandrel {

namespace {

UINT box_type(MessageButtons buttons, MessageIcon icon) {
  UINT type = MB_OK;
  switch (buttons) {
    case MessageButtons::ok: type = MB_OK; break;
    case MessageButtons::ok_cancel: type = MB_OKCANCEL; break;
    case MessageButtons::yes_no: type = MB_YESNO; break;
    case MessageButtons::yes_no_cancel: type = MB_YESNOCANCEL; break;
  }
  switch (icon) {
    case MessageIcon::none: break;
    case MessageIcon::information: type |= MB_ICONINFORMATION; break;
    case MessageIcon::question: type |= MB_ICONQUESTION; break;
    case MessageIcon::warning: type |= MB_ICONEXCLAMATION; break;
    case MessageIcon::error: type |= MB_ICONERROR; break;
  }
  return type;
}

std::optional<FileDialogResult> ask(bool open, const FileDialogRequest& request, DWORD flags) {
  CFileDialog dialog(open ? TRUE : FALSE, request.default_extension.c_str(),
                     request.file_name.empty() ? nullptr : request.file_name.c_str(), flags,
                     request.filter.c_str(), AfxGetMainWnd());
  if (dialog.DoModal() != IDOK) return std::nullopt;
  return FileDialogResult{dialog.GetPathName(), dialog.m_ofn.filterIndex};
}

}  // namespace

MessageAnswer UiDocumentHost::ShowMessage(std::string_view text, MessageButtons buttons,
                                          MessageIcon icon) {
  switch (AfxMessageBox(std::string(text).c_str(), box_type(buttons, icon))) {
    case IDYES: return MessageAnswer::yes;
    case IDNO: return MessageAnswer::no;
    case IDOK: return MessageAnswer::ok;
    default: return MessageAnswer::cancel;
  }
}

std::optional<FileDialogResult> UiDocumentHost::AskOpenPath(const FileDialogRequest& request) {
  return ask(true, request, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
}

std::optional<FileDialogResult> UiDocumentHost::AskSavePath(const FileDialogRequest& request) {
  return ask(false, request, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
}

void UiDocumentHost::SetMainTitle(std::string_view title) {
  if (CWnd* main = AfxGetMainWnd()) main->SetWindowText(std::string(title).c_str());
}

void UiDocumentHost::AddToRecentFiles(const std::filesystem::path& path) {
  if (CWinApp* app = AfxGetApp()) app->AddToRecentFileList(path.string().c_str());
}

}  // namespace plandrel
