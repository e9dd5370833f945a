#include "online/card_info_dlg.h"

#include "online/online_resources.h"

namespace plandrel {
namespace {

struct BoardName {
    const char* name;
    const char* maker;
};

const BoardName* boardNameOf(std::uint32_t boardType) {
    static constexpr BoardName kNames[] = {
        {"Ambrix card", "Talvenor"}, {"Osprix card", "Talvenor"}, {"Ulmrix card", "Talvenor"}};
    return boardType < std::size(kNames) ? &kNames[boardType] : nullptr;
}

}  // namespace

CQuorelleInfoDlg::CQuorelleInfoDlg(const SelectedDevice& device, CWnd* parent)
    : CBoardDialog(IDD_CARD_INFO, parent), device_(device) {}

BOOL CQuorelleInfoDlg::OnInitDialog() {
    CBoardDialog::OnInitDialog();
    const auto type = static_cast<std::uint32_t>(device_.board_type);
    SetLedBoard(type, device_.board_number);
    const CardInfo info = BuildCardInfo(type, device_.board_number);

    if (const BoardName* name = boardNameOf(type)) {
        SetDlgItemText(IDC_BOARD_NAME, name->name);
        SetDlgItemText(IDC_MAKER, name->maker);
    } else {
        for (int id : {IDC_BOARD_NAME, IDC_MAKER})
            if (CWnd* c = GetDlgItem(id)) c->ShowWindow(SW_HIDE);
    }
    FillCharacteristics(info);
    FillColourList();
    ShowLedControls(type);
    return TRUE;
}

void OnCardInfo(const SelectedDevice& device, CWnd* parent) {
    CQuorelleInfoDlg dialog(device, parent);
    dialog.DoModal();
}

}  // namespace plandrel
