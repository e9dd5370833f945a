// CQuorelleInfoDlg: the card information dialog of the application's Card information command,
// for the board chosen at start-up: its name and maker, its characteristics and its LED controls.
#pragma once

#include "online/board_dialog.h"
#include "model/selected_device.h"

namespace plandrel {

class CQuorelleInfoDlg : public CBoardDialog {
public:
    explicit CQuorelleInfoDlg(const SelectedDevice& device, CWnd* parent = nullptr);
    BOOL OnInitDialog() override;

private:
    SelectedDevice device_;
};

// The Card information command (OnCardInfo): the dialog, modal, for the selected board.
void OnCardInfo(const SelectedDevice& device, CWnd* parent = nullptr);

}  // namespace plandrel
