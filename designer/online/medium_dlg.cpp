#include "online/medium_dlg.h"

#include <array>

#include "online/designer_messages.h"
#include "online/error_text.h"
#include "online/online_resources.h"

namespace plandrel {

namespace {

constexpr std::array<MediumCommand, 8> kCommands = {{
    {0, "Get the status byte"},
    {1, "Delete errors (reception/transmission)"},
    {2, "Reset medium 1"},
    {3, "Reset medium 2"},
    {4, "Enable medium 1 (2 disabled)"},
    {5, "Enable medium 2 (1 disabled)"},
    {6, "Enable mediums 1 and 2"},
    {7, "Loop transmission on reception"},
}};
constexpr std::array<MediumCommand, 2> kVariant2Commands = {{kCommands[0], kCommands[1]}};
constexpr std::array<MediumCommand, 4> kVariant3Commands = {{kCommands[0], kCommands[1], kCommands[4], kCommands[7]}};

// Bits greyed per variant: ER2, EW2, EW1, ET2, CH2 for variant 2; the same but EW1 for variant 3.
constexpr std::uint8_t kVariant2Greyed = 0xBA;
constexpr std::uint8_t kVariant3Greyed = 0xAA;

}  // namespace

std::span<const MediumCommand> MediumCommandsOf(int variant) {
  switch (variant) {
    case 1: return kCommands;
    case 2: return kVariant2Commands;
    case 3: return kVariant3Commands;
    default: return {};
  }
}

bool MediumBitDisabled(int variant, int bit) {
  const std::uint8_t greyed = variant == 2 ? kVariant2Greyed : variant == 3 ? kVariant3Greyed : 0;
  return (greyed >> bit) & 1;
}

std::string MediumCaption(int variant) {
  return variant >= 1 && variant <= 3 ? FrameCaption(kFrameMedium) : std::string();
}

CMediumDlg::CMediumDlg(int board_variant, CommandRequest request)
    : CHostedLinkDlg(IDD_MEDIUM, kFrameMedium), variant_(board_variant), request_(std::move(request)) {
  MapNotify(IDC_MEDIUM_COMMANDS, LBN_DBLCLK, [this] { OnOK(); });
  MapMessage(WM_FIP_MEDIUM_STATUS, [this](WPARAM status, LPARAM) -> LRESULT {
    last_status_ = static_cast<std::uint8_t>(status);
    ShowStatus(last_status_);
    return 0;
  });
  MapMessage(WM_FIP_MEDIUM_ANSWER, [this](WPARAM status, LPARAM code) -> LRESULT {
    OnAnswer(static_cast<std::uint8_t>(status), static_cast<std::uint32_t>(code));
    return 0;
  });
}

BOOL CMediumDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (int bit = 0; bit < 8; ++bit) {
    if (!MediumBitDisabled(variant_, bit)) continue;
    for (int id : {IDC_MEDIUM_FIELDS[bit], IDC_MEDIUM_LABELS[bit]})
      if (CWnd* control = GetDlgItem(id)) control->EnableWindow(FALSE);
  }
  CListBox& list = Item<CListBox>(IDC_MEDIUM_COMMANDS);
  for (const MediumCommand& command : MediumCommandsOf(variant_))
    list.SetItemData(list.AddString(std::string(command.text).c_str()), command.number);
  Request(0);
  return TRUE;
}

void CMediumDlg::OnOK() {
  const CListBox& list = Item<CListBox>(IDC_MEDIUM_COMMANDS);
  const int selected = list.GetCurSel();
  if (selected < 0) {
    MessageBox(kSelectACommand, nullptr, MB_OK);
    return;
  }
  Request(static_cast<std::uint8_t>(list.GetItemData(selected)));
}

void CMediumDlg::Request(std::uint8_t command) {
  if (!request_ || !request_(command, DialogWindow())) ShowFailed();
}

void CMediumDlg::OnAnswer(std::uint8_t status, std::uint32_t code) {
  if (code == 0) {
    last_status_ = status;
    ShowStatus(status);
    return;
  }
  // A failed command wrote no status byte: the last one is kept, and the fields say it is unknown.
  ShowFailed();
  const std::string text = ErrorText(code, "");
  if (!text.empty()) MessageBox(text.c_str(), nullptr, MB_OK);
}

void CMediumDlg::ShowStatus(std::uint8_t status) {
  for (int bit = 0; bit < 8; ++bit) SetDlgItemText(IDC_MEDIUM_FIELDS[bit], (status >> bit) & 1 ? "1" : "0");
}

void CMediumDlg::ShowFailed() {
  for (int bit = 0; bit < 8; ++bit) SetDlgItemText(IDC_MEDIUM_FIELDS[bit], "x");
}

}  // namespace plandrel
