// Test support: prompts that record what is shown and answer from a script.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ui/afxwin.h"

namespace qui::testing {

struct ShownBox {
    std::string text;
    std::string caption;
    UINT type;
};

// Installed for its lifetime. Message boxes take the next scripted answer (IDOK, IDYES...), or the
// first button's when the script is empty; file dialogs take the next scripted path (an empty path
// cancels); popup menus the next scripted command. Safe to use from several threads.
class ScriptedPrompts final : public UserPrompts {
public:
    ScriptedPrompts() : previous_(SetUserPrompts(this)) {}
    ~ScriptedPrompts() override { SetUserPrompts(previous_); }

    void Answer(int result) {
        std::lock_guard lock(mutex_);
        answers_.push_back(result);
    }
    void ChooseFileAnswer(std::string path) {
        std::lock_guard lock(mutex_);
        files_.push_back(std::move(path));
    }
    void MenuAnswer(UINT command) {
        std::lock_guard lock(mutex_);
        menus_.push_back(command);
    }
    std::vector<ShownBox> Boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    std::vector<FileDialogRequest> FileRequests() const {
        std::lock_guard lock(mutex_);
        return fileRequests_;
    }
    int Beeps() const {
        std::lock_guard lock(mutex_);
        return beeps_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        boxes_.clear();
        fileRequests_.clear();
        beeps_ = 0;
    }

    int ShowMessageBox(HWND, const std::string& text, const std::string& caption, UINT type) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back(ShownBox{text, caption, type});
        if (!answers_.empty()) {
            const int answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        switch (type & MB_TYPEMASK) {
            case MB_YESNO:
            case MB_YESNOCANCEL: return IDYES;
            case MB_RETRYCANCEL: return IDRETRY;
            default: return IDOK;
        }
    }
    void Beep(UINT) override {
        std::lock_guard lock(mutex_);
        ++beeps_;
    }
    bool ChooseFile(HWND, FileDialogRequest& request) override {
        std::lock_guard lock(mutex_);
        fileRequests_.push_back(request);
        if (files_.empty()) return false;
        request.fileName = files_.front();
        files_.pop_front();
        return !request.fileName.empty();
    }
    UINT TrackPopupMenu(const CMenu&, POINT, HWND) override {
        std::lock_guard lock(mutex_);
        if (menus_.empty()) return 0;
        const UINT command = menus_.front();
        menus_.pop_front();
        return command;
    }

private:
    UserPrompts* previous_;
    mutable std::mutex mutex_;
    std::deque<int> answers_;
    std::deque<std::string> files_;
    std::deque<UINT> menus_;
    std::vector<ShownBox> boxes_;
    std::vector<FileDialogRequest> fileRequests_;
    int beeps_ = 0;
};

// Scripts the dialogs DoModal runs for its lifetime (see SetModalRunner).
class ScriptedDialogs {
public:
    explicit ScriptedDialogs(ModalRunner runner) : previous_(SetModalRunner(std::move(runner))) {}
    ~ScriptedDialogs() { SetModalRunner(std::move(previous_)); }

private:
    ModalRunner previous_;
};

// Makes the running QApplication's thread the main thread of the layer (tests that create their
// own QApplication instead of running AfxWinMain).
void AttachMainThread();
void DetachMainThread();
// A test suite's own QApplication on the offscreen platform, attached as the main thread: made by
// StartOffscreenApplication (in SetUpTestSuite, the program named `name`) and ended by
// EndOffscreenApplication.
void StartOffscreenApplication(const char* name);
void EndOffscreenApplication();
// Starts watching the login manager's signal, as AfxWinMain does.
void WatchPowerBroadcast();

}  // namespace qui::testing
