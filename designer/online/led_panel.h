// The LED controls: CRoundButton, an owner-drawn round button that can serve as a lamp, and
// CControl3Leds, the child panel of three lamps for a PC104 board's LEDs. A click on a lamp toggles
// it and asks the panel's owner to switch that LED of its board.
#pragma once

#include <cstdint>
#include <optional>

#include "online/physical_led_switching.h"
#include "ui/afxwin.h"

namespace plandrel {

class CRoundButton : public CButton {
public:
    // Takes the dialog's control id over: owner-drawn, squared to the smaller side.
    BOOL Attach(UINT id, CWnd* parent);

    void SetLampColour(COLORREF colour);
    void ResetLampColour();  // lamp off, its colour back to the button face
    BOOL IsOn() const { return lamp_ && on_; }
    void SetOn(int on);      // redraws when the state changes
    void Toggle();
    bool IsLamp() const { return lamp_.has_value(); }

    void DrawItem(LPDRAWITEMSTRUCT item) override;

private:
    std::optional<COLORREF> lamp_;  // none: the button is no lamp
    int on_ = 0;
    int draw_focus_ = 1;
};

class CControl3Leds : public CDialog {
public:
    static constexpr COLORREF kLampColour = RGB(0x80, 0xFF, 0x00);

    CControl3Leds();
    BOOL OnInitDialog() override;
    // The panel is part of its dialog: Enter and Escape pressed inside it are the dialog's.
    void OnOK() override;
    void OnCancel() override;

    void SetOwner(IPhysicalLedSwitching* owner) { owner_ = owner; }
    // Shows a state read from the board, without calling the owner.
    void SetLed(int led, int on);
    BOOL IsLedOn(int led) const;
    // The lamp of LED 0..2 (for the dialog's keyboard handling and tests).
    CRoundButton& Lamp(int led) { return lamps_[led]; }

private:
    void OnLampClicked(int led);

    CRoundButton lamps_[3];
    IPhysicalLedSwitching* owner_ = nullptr;
};

}  // namespace plandrel
