#include "online/attach_to_card.h"

#include "corvix.h"
#include "online/online_dialogs.h"
#include "online/online_resources.h"

namespace plandrel {

CAttachToCard::CAttachToCard(SelectedDevice& selected, CWnd* parent)
    : CBoardDialog(IDD_ATTACH_TO_CARD, parent), target_(selected) {
    MapNotify(IDC_DEVICE_LIST, CBN_SELCHANGE, [this] { OnSelChangeDeviceList(); });
}

void CAttachToCard::HoldWorkingFiles(const std::filesystem::path& working_folder, WorkingFilesHold& hold) {
    working_folder_ = working_folder;
    hold_ = &hold;
    devices_ = BoardList(working_folder);
}

BOOL CAttachToCard::OnInitDialog() {
    CBoardDialog::OnInitDialog();
    if (CWnd* help = GetDlgItem(IDC_HELP)) {
        help->ShowWindow(SW_SHOW);
        help->EnableWindow(TRUE);
    }
    HideLedControls();

    if (devices_.Load() != 0 || devices_.Count() == 0) {
        MessageBox(kNoDeviceText, nullptr, MB_OK | MB_ICONERROR);
        EndDialog(kNoBoardResult);
        return TRUE;
    }

    const int firstFree = devices_.FirstFree();
    if (devices_.Count() == 1 && firstFree == 0) {
        selected_ = 0;
        selected_number_ = devices_.Devices()[0].boardNumber;
        SetLedBoard(devices_.Devices()[0].boardType, selected_number_);
        OnOK();
        if (IsEnded()) return TRUE;
        // The board went away or was taken meanwhile: OnOK said so and refilled the list.
    } else {
        FillDeviceList(0, 0);
    }

    // The colour list is filled after the selection, so the colour read there selected nothing:
    // the highlighted board's RGB LED starts black.
    FillColourList();
    Item<CComboBox>(IDC_COLOUR_LIST).SetCurSel(0);
    if (selected_number_ != 0) OnColourChange();
    return TRUE;
}

void CAttachToCard::FillDeviceList(std::uint32_t preferType, std::uint16_t preferNumber) {
    auto& list = Item<CComboBox>(IDC_DEVICE_LIST);
    list.ResetContent();
    selected_ = -1;
    selected_number_ = 0;
    SetLedBoard(0, 0);
    const int firstFree = devices_.FirstFree();
    if (CWnd* noCard = GetDlgItem(IDC_NO_CARD)) noCard->ShowWindow(firstFree < 0 ? SW_SHOW : SW_HIDE);
    if (firstFree < 0) {
        // Nothing to choose: no entry, no characteristics, no LED controls.
        ShowCharacteristics(false);
        if (CWnd* inUse = GetDlgItem(IDC_CARD_IN_USE)) inUse->ShowWindow(SW_HIDE);
        HideLedControls();
        return;
    }
    for (const ActiveDeviceInfo& device : devices_.Devices()) list.AddString(BoardEntryText(device).c_str());
    const int preferred = devices_.Find(preferType, preferNumber);
    list.SetCurSel(preferred >= 0 && preferNumber != 0 ? preferred : firstFree);
    OnSelChangeDeviceList();
}

void CAttachToCard::OnSelChangeDeviceList() {
    const int index = Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel();
    if (index < 0 || index == selected_ || static_cast<std::size_t>(index) >= devices_.Count()) return;
    selected_ = index;
    if (CWnd* ok = GetDlgItem(IDOK)) ok->EnableWindow(TRUE);
    const ActiveDeviceInfo& device = devices_.Devices()[index];
    SetLedBoard(device.boardType, device.boardNumber);
    CWnd* message = GetDlgItem(IDC_CARD_IN_USE);

    const CardInfo info = device.used ? CardInfo{} : BuildCardInfo(device.boardType, device.boardNumber);
    if (device.used || !info.valid) {
        ShowCharacteristics(false);
        SetDlgItemText(IDC_CARD_IN_USE, device.used ? kCardInUseText : kCardNotFreeText);
        if (message) message->ShowWindow(SW_SHOW);
        HideLedControls();
    } else {
        if (message) message->ShowWindow(SW_HIDE);
        ShowCharacteristics(true);
        FillCharacteristics(info);
        ShowLedControls(device.boardType);
    }
    selected_number_ = device.boardNumber;
}

bool CAttachToCard::SelectedBoardStillFree() {
    const ActiveDeviceInfo chosen = devices_.Devices()[selected_];
    BoardList now(working_folder_);
    if (now.Load() != 0) return false;
    const int index = now.Find(chosen.boardType, chosen.boardNumber);
    return now.IsFree(index) && GetCardrixInfo(chosen.boardType, chosen.boardNumber) != 0;
}

int SelectBoardAtStart(SelectedDevice& device, const std::filesystem::path& working_folder, WorkingFilesHold& hold) {
    RegisterOnlineDialogs();
    CAttachToCard dialog(device);
    dialog.HoldWorkingFiles(working_folder, hold);
    return static_cast<int>(dialog.DoModal());
}

void CAttachToCard::OnOK() {
    if (selected_number_ != 0 && devices_.IsFree(selected_)) {
        const ActiveDeviceInfo& device = devices_.Devices()[selected_];
        if (SelectedBoardStillFree() &&
            (hold_ == nullptr || hold_->Take(working_folder_, device.boardType, device.boardNumber))) {
            target_.board_number = device.boardNumber;
            target_.board_type = static_cast<decltype(target_.board_type)>(device.boardType);
            EndDialog(IDOK);
            return;
        }
        // Taken or gone since it was listed: say so, and show the boards as they are now.
        MessageBox(kSelectUnusedText, nullptr, MB_OK | MB_ICONERROR);
        const ActiveDeviceInfo chosen = devices_.Devices()[selected_];
        devices_.Load();
        FillDeviceList(chosen.boardType, chosen.boardNumber);
        return;
    }
    MessageBox(kSelectUnusedText, nullptr, MB_OK | MB_ICONERROR);
}

}  // namespace plandrel
