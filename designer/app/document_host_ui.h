// The document's DocumentHost over the class-library layer: message boxes, file dialogs, the main
// window's title and the application's recent-file list.
#pragma once

#include "model/document_host.h"

namespace plandrel {

class UiDocumentHost : public DocumentHost {
 public:
  MessageAnswer ShowMessage(std::string_view text, MessageButtons buttons,
                            MessageIcon icon) override;
  std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest& request) override;
  std::optional<FileDialogResult> AskSavePath(const FileDialogRequest& request) override;
  void SetMainTitle(std::string_view title) override;
  void AddToRecentFiles(const std::filesystem::path& path) override;
};

}  // namespace plandrel
