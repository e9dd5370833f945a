// DocumentHost: what the document asks of the windows around it. The model links no widgets; the
// program implements this seam with the class-library layer, tests with a scripted stand-in that
// records the texts shown and gives the answers the test chose.
//
// Every call is made on the main thread and may block until the user answers.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plandrel {

enum class MessageButtons { ok, ok_cancel, yes_no, yes_no_cancel };
enum class MessageIcon { none, information, question, warning, error };
enum class MessageAnswer { ok, cancel, yes, no };

// A file dialog as the document asks for it. `filter` is in the class library's form
// ("text|pattern|text|pattern||"); `file_name` is the proposed name (empty for none).
struct FileDialogRequest {
  std::string default_extension;
  std::string file_name;
  std::string filter;
};

// The chosen file and the 1-based index of the filter that was selected.
struct FileDialogResult {
  std::filesystem::path path;
  int filter_index = 1;
};

class DocumentHost {
 public:
  virtual ~DocumentHost() = default;

  // A modal message box; its answer (ok for a box with only OK).
  virtual MessageAnswer ShowMessage(std::string_view text, MessageButtons buttons,
                                    MessageIcon icon) = 0;
  // Open dialog for an existing file; none when cancelled.
  virtual std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest& request) = 0;
  // Save dialog with the overwrite prompt; none when cancelled.
  virtual std::optional<FileDialogResult> AskSavePath(const FileDialogRequest& request) = 0;
  // Sets the main window's title.
  virtual void SetMainTitle(std::string_view title) = 0;
  // Adds a path to the head of the recent-file list.
  virtual void AddToRecentFiles(const std::filesystem::path& path) = 0;
};

}  // namespace plandrel
