// The settings dialog: the installed version, and the engine's prevention of system sleep.
#pragma once

#include <cstdint>
#include <string>

#include "ui/afxwin.h"

class CHalvernDlg : public CDialog {
public:
    explicit CHalvernDlg(CWnd* parent = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override;

    // The box's check state at start (1 checked) and the count of clicks that made it equal to
    // that state minus those that made it differ: nonzero exactly when the box was changed.
    int InitialCheck() const { return initialCheck_; }
    std::int32_t ChangeCount() const { return changeCount_; }

    // Writes the sleep option when it was changed; false (after telling the user) when the engine's
    // key cannot be written.
    bool Save();

private:
    void OnSleepOptionClicked();
    std::string ReadVersion();
    static DWORD ReadDoNotPreventSystemSleep();

    HICON icon_ = nullptr;
    int initialCheck_ = 0;
    std::int32_t changeCount_ = 0;
};
