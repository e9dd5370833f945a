#include "online/board_dialog.h"

#include "corvix.h"
#include "online/board_list.h"
#include "online/error_text.h"
#include "online/online_resources.h"

namespace plandrel {
namespace {

constexpr int kCharacteristics[] = {IDC_INDEX_LABEL,  IDC_INDEX,  IDC_VERSION_LABEL, IDC_VERSION, IDC_SPEED_LABEL,
                                    IDC_SPEED,        IDC_SERIAL_LABEL, IDC_SERIAL, IDC_SLOT_LABEL, IDC_SLOT};

}  // namespace

CBoardDialog::CBoardDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
    MapNotify(IDC_COLOUR_LIST, CBN_SELCHANGE, [this] { OnColourChange(); });
}

CBoardDialog::~CBoardDialog() = default;

void CBoardDialog::SetLedBoard(std::uint32_t boardType, std::uint16_t boardNumber) {
    led_board_type_ = boardType;
    led_board_number_ = boardNumber;
}

void CBoardDialog::ShowCharacteristics(bool show) {
    for (int id : kCharacteristics)
        if (CWnd* c = GetDlgItem(id)) c->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CBoardDialog::FillCharacteristics(const CardInfo& info) {
    SetDlgItemText(IDC_INDEX, info.index.c_str());
    SetDlgItemText(IDC_VERSION, info.version.c_str());
    SetDlgItemText(IDC_SPEED, info.speed.c_str());
    SetDlgItemText(IDC_SERIAL, info.serial.c_str());
    const SlotLine slot = SlotLineOf(info);
    if (slot.shown) {
        SetDlgItemText(IDC_SLOT_LABEL, slot.label.c_str());
        SetDlgItemText(IDC_SLOT, slot.value.c_str());
    }
    for (int id : {IDC_SLOT_LABEL, IDC_SLOT})
        if (CWnd* c = GetDlgItem(id)) c->ShowWindow(slot.shown ? SW_SHOW : SW_HIDE);
}

void CBoardDialog::FillColourList() {
    auto& colours = Item<CComboBox>(IDC_COLOUR_LIST);
    colours.ResetContent();
    for (const char* name : kRgbLedColourNames) colours.AddString(name);
}

void CBoardDialog::HideLedControls() {
    for (int id : {IDC_LEDS_LABEL, IDC_RGB_LABEL, IDC_COLOUR_LIST, IDC_LED_PANEL})
        if (CWnd* c = GetDlgItem(id)) c->ShowWindow(SW_HIDE);
    if (led_panel_) led_panel_->ShowWindow(SW_HIDE);
}

void CBoardDialog::ShowLedPanel() {
    if (!led_panel_) {
        led_panel_ = std::make_unique<CControl3Leds>();
        led_panel_->Create(IDD_CONTROL_3LEDS, this);
        // The new panel takes the focus to its first lamp: give it back to where the user was.
        if (CWnd* focused = GetDlgItem(GetFocusedId())) GotoDlgCtrl(focused);
        // At the placeholder's place, at the panel's own size.
        if (CWnd* placeholder = GetDlgItem(IDC_LED_PANEL)) {
            RECT at;
            placeholder->GetWindowRect(&at);
            POINT topLeft{at.left, at.top};
            ScreenToClient(&topLeft);
            led_panel_->SetWindowPos(nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
        led_panel_->SetOwner(this);
    }
    led_panel_->ShowWindow(SW_SHOW);
}

void CBoardDialog::ShowLedControls(std::uint32_t boardType) {
    HideLedControls();
    switch (LedControlsOf(boardType)) {
        case LedControls::ThreeLeds: {
            if (CWnd* label = GetDlgItem(IDC_LEDS_LABEL)) label->ShowWindow(SW_SHOW);
            ShowLedPanel();
            // The panel serves every PC104 board: a board that does not answer shows its LEDs dark,
            // not the previous board's.
            std::uint32_t on[3] = {};
            for (std::uint32_t led = 0; led < 3; ++led) {
                if (const std::uint32_t code = GetLedState(led_board_type_, led_board_number_, led, &on[led]);
                    code != 0) {
                    ReportFailure(kLedReadFailed, code);
                    on[0] = on[1] = on[2] = 0;
                    break;
                }
            }
            for (int led = 0; led < 3; ++led) led_panel_->SetLed(led, on[led] ? 1 : 0);
            break;
        }
        case LedControls::Rgb: {
            for (int id : {IDC_RGB_LABEL, IDC_COLOUR_LIST})
                if (CWnd* c = GetDlgItem(id)) c->ShowWindow(SW_SHOW);
            std::uint8_t colour = 0;
            if (const std::uint32_t code = GetRgbLedState(led_board_type_, led_board_number_, &colour); code != 0) {
                ReportFailure(kRgbReadFailed, code);
                break;
            }
            Item<CComboBox>(IDC_COLOUR_LIST).SetCurSel(colour & 7);
            break;
        }
        case LedControls::None: break;
    }
}

void CBoardDialog::SwitchLed(std::uint8_t led, int on) {
    if (const std::uint32_t code = SetLedState(led_board_type_, led_board_number_, led, on ? 1 : 0); code != 0) {
        ReportFailure(kLedSwitchFailed, code);
        // Show what the board has, when it still answers.
        std::uint32_t state = 0;
        const bool read = GetLedState(led_board_type_, led_board_number_, led, &state) == 0;
        if (led_panel_) led_panel_->SetLed(led, read ? static_cast<int>(state) : !on);
    }
}

void CBoardDialog::OnColourChange() {
    const int colour = Item<CComboBox>(IDC_COLOUR_LIST).GetCurSel();
    if (colour < 0 || led_board_number_ == 0) return;
    if (const std::uint32_t code = SetRgbLedState(led_board_type_, led_board_number_, static_cast<std::uint8_t>(colour));
        code != 0)
        ReportFailure(kRgbSetFailed, code);
}

void CBoardDialog::ReportFailure(const char* what, std::uint32_t code) {
    const std::string text = what + ErrorText(code);
    MessageBox(text.c_str(), nullptr, MB_OK | MB_ICONERROR);
}

}  // namespace plandrel
