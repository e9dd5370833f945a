// The board dialogs run headless over the simulated machine: the modal runner plays the user, a
// recording stand-in answers the message boxes and keeps their texts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "online/online_dialogs.h"
#include "ui/afxwin.h"
#include "ui/prompts.h"

namespace plandrel::testing {

class RecordedPrompts : public qui::UserPrompts {
public:
    int ShowMessageBox(HWND, const std::string& text, const std::string&, UINT type) override {
        texts.push_back(text);
        types.push_back(type);
        return IDOK;
    }
    void Beep(UINT) override {}
    bool ChooseFile(HWND, qui::FileDialogRequest&) override { return false; }
    UINT TrackPopupMenu(const CMenu&, POINT, HWND) override { return 0; }

    std::vector<std::string> texts;
    std::vector<UINT> types;
};

class DialogOnMachine : public OnMachine {
protected:
    void SetUp() override {
        RegisterOnlineDialogs();
        previous_ = qui::SetUserPrompts(&prompts);
    }
    void TearDown() override {
        qui::SetModalRunner({});
        qui::SetUserPrompts(previous_);
        OnMachine::TearDown();
    }
    // DoModal with `user` playing the user once the dialog is up.
    template <class Dialog>
    INT_PTR run(Dialog& dialog, std::function<void(Dialog&)> user) {
        qui::SetModalRunner([&user](CDialog& d) { user(static_cast<Dialog&>(d)); });
        return dialog.DoModal();
    }
    static bool shown(CDialog& d, int id) { return d.GetDlgItem(id) && d.GetDlgItem(id)->IsWindowVisible(); }

    RecordedPrompts prompts;

private:
    qui::UserPrompts* previous_ = nullptr;
};

}  // namespace plandrel::testing
