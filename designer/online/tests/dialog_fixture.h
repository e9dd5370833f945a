// The board dialogs run headless over the simulated machine: the modal runner plays the user, the
// layer's scripted prompts answer the message boxes and keep their texts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "online/online_dialogs.h"
#include "ui/afxwin.h"
#include "ui/testing.h"

namespace plandrel::testing {

class DialogOnMachine : public OnMachine {
protected:
    void SetUp() override {
        RegisterOnlineDialogs();
    }
    void TearDown() override {
        qui::SetModalRunner({});
        OnMachine::TearDown();
    }
    // DoModal with `user` playing the user once the dialog is up.
    template <class Dialog>
    INT_PTR run(Dialog& dialog, std::function<void(Dialog&)> user) {
        qui::SetModalRunner([&user](CDialog& d) { user(static_cast<Dialog&>(d)); });
        return dialog.DoModal();
    }
    static bool shown(CDialog& d, int id) { return d.GetDlgItem(id) && d.GetDlgItem(id)->IsWindowVisible(); }

    // The texts of the message boxes shown so far.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& box : prompts.Boxes()) out.push_back(box.text);
        return out;
    }

    qui::testing::ScriptedPrompts prompts;
};

}  // namespace plandrel::testing
