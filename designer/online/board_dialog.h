// What the board selection dialog and the card information dialog share: the "Characteristics"
// group, the LED panel of a PC104 board, the RGB LED colour list of a USB board, and the switching
// of the board's LEDs. Every engine call that fails here is reported in a message box; a lamp whose
// switching failed shows the board's state again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "online/card_info.h"
#include "online/led_panel.h"
#include "online/physical_led_switching.h"
#include "ui/afxwin.h"

namespace plandrel {

class CBoardDialog : public CDialog, public IPhysicalLedSwitching {
public:
    CBoardDialog(UINT templateId, CWnd* parent);
    ~CBoardDialog() override;

    // Switches LED led of the dialog's board (SetLedState).
    void SwitchLed(std::uint8_t led, int on) override;

    // The LED panel, null until a PC104 board needed it.
    CControl3Leds* LedPanel() const { return led_panel_.get(); }

protected:
    // The board that the LED controls act on (type, number 0 for none).
    void SetLedBoard(std::uint32_t boardType, std::uint16_t boardNumber);

    void ShowCharacteristics(bool show);
    void FillCharacteristics(const CardInfo& info);
    void FillColourList();
    // Shows the LED controls of the board's type and reads their state from the board.
    void ShowLedControls(std::uint32_t boardType);
    void HideLedControls();
    // Colour list change: SetRgbLedState with the selection.
    void OnColourChange();
    // A message box "what" followed by the error's text.
    void ReportFailure(const char* what, std::uint32_t code);

    std::uint32_t led_board_type_ = 0;
    std::uint16_t led_board_number_ = 0;

private:
    void ShowLedPanel();

    std::unique_ptr<CControl3Leds> led_panel_;
};

// Texts of the engine failures reported by both dialogs.
inline constexpr const char* kLedReadFailed = "Cannot read the state of the card's LEDs:\n";
inline constexpr const char* kLedSwitchFailed = "Cannot switch the card's LED:\n";
inline constexpr const char* kRgbReadFailed = "Cannot read the colour of the card's RGB LED:\n";
inline constexpr const char* kRgbSetFailed = "Cannot set the colour of the card's RGB LED:\n";

}  // namespace plandrel
