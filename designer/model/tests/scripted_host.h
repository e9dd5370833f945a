// A DocumentHost for tests: answers come from queues the test fills, everything shown is kept.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/document_host.h"

namespace plandrel::testing {

class ScriptedHost : public DocumentHost {
 public:
  struct Shown {
    std::string text;
    MessageButtons buttons;
    MessageIcon icon;
  };

  // Answers to the message boxes that ask something, in order; an empty queue answers cancel
  // (a box with only OK answers ok).
  std::deque<MessageAnswer> answers;
  std::deque<std::optional<FileDialogResult>> open_paths;
  std::deque<std::optional<FileDialogResult>> save_paths;

  std::vector<Shown> shown;
  std::vector<FileDialogRequest> open_requests;
  std::vector<FileDialogRequest> save_requests;
  std::vector<std::string> titles;
  std::vector<std::filesystem::path> recent;

  MessageAnswer ShowMessage(std::string_view text, MessageButtons buttons,
                            MessageIcon icon) override {
    shown.push_back({std::string(text), buttons, icon});
    if (buttons == MessageButtons::ok) return MessageAnswer::ok;
    if (answers.empty()) return MessageAnswer::cancel;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest& request) override {
    open_requests.push_back(request);
    return take(open_paths);
  }
  std::optional<FileDialogResult> AskSavePath(const FileDialogRequest& request) override {
    save_requests.push_back(request);
    return take(save_paths);
  }
  void SetMainTitle(std::string_view title) override { titles.emplace_back(title); }
  void AddToRecentFiles(const std::filesystem::path& path) override { recent.push_back(path); }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Shown& s : shown) out.push_back(s.text);
    return out;
  }
  std::string last_title() const { return titles.empty() ? std::string() : titles.back(); }

 private:
  static std::optional<FileDialogResult> take(std::deque<std::optional<FileDialogResult>>& queue) {
    if (queue.empty()) return std::nullopt;
    auto answer = queue.front();
    queue.pop_front();
    return answer;
  }
};

}  // namespace plandrel::testing
