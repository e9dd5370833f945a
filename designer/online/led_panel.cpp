#include "online/led_panel.h"

#include <cmath>
#include <cstring>

#include "online/online_resources.h"
#include "online/round_lamp.h"

namespace plandrel {
namespace {

constexpr int kLampIds[3] = {IDC_LED_PANEL, IDC_LED_2, IDC_LED_3};
constexpr COLORREF kBlack = RGB(0, 0, 0);

void plotCircle(CDC& dc, int cx, int cy, int r, COLORREF colour) {
    for (const LampPoint& p : MidpointCircle(cx, cy, r)) dc.SetPixel(p.x, p.y, colour);
}

// A ring shaded from colour a at the upper left to b at the lower right.
void plotShadedCircle(CDC& dc, int cx, int cy, int r, COLORREF a, COLORREF b) {
    for (const LampPoint& p : MidpointCircle(cx, cy, r)) dc.SetPixel(p.x, p.y, RingColour(p.x - cx, p.y - cy, a, b));
}

void fillDisc(CDC& dc, int cx, int cy, int r, COLORREF colour) {
    for (int dy = -r; dy <= r; ++dy) {
        const int half = static_cast<int>(std::sqrt(static_cast<double>(r * r - dy * dy)));
        dc.FillSolidRect(cx - half, cy + dy, 2 * half + 1, 1, colour);
    }
}

}  // namespace

BOOL CRoundButton::Attach(UINT id, CWnd* parent) {
    if (!SubclassDlgItem(id, parent)) return FALSE;
    SetButtonStyle(BS_OWNERDRAW, FALSE);
    RECT client;
    GetClientRect(&client);
    const LampCircle circle = LampCircleOf(client.right - client.left, client.bottom - client.top);
    RECT window;
    GetWindowRect(&window);
    POINT topLeft{window.left, window.top};
    parent->ScreenToClient(&topLeft);
    MoveWindow(topLeft.x, topLeft.y, circle.side, circle.side, FALSE);
    // Only the lamp's disc is drawn and takes the mouse.
    CRgn disc;
    disc.CreateEllipticRgn(0, 0, circle.side, circle.side);
    SetWindowRgn(&disc, FALSE);
    return TRUE;
}

void CRoundButton::SetLampColour(COLORREF colour) {
    lamp_ = colour;
    Invalidate();
}

void CRoundButton::ResetLampColour() {
    lamp_ = GetSysColor(COLOR_BTNFACE);
    on_ = 0;
    Invalidate();
}

void CRoundButton::SetOn(int on) {
    const int state = on ? 1 : 0;
    if (state == on_) return;
    on_ = state;
    Invalidate();
}

void CRoundButton::Toggle() {
    on_ = !on_;
    Invalidate();
}

void CRoundButton::DrawItem(LPDRAWITEMSTRUCT item) {
    if (!item || !item->pDC) return;
    CDC& dc = *item->pDC;
    const CRect rect(item->rcItem);
    const LampCircle circle = LampCircleOf(rect.Width(), rect.Height());
    const int cx = rect.left + circle.cx, cy = rect.top + circle.cy;
    const bool pressed = (item->itemState & ODS_SELECTED) != 0;
    const bool focus = (item->itemState & ODS_FOCUS) != 0 && draw_focus_ == 1;
    const bool disabled = (item->itemState & ODS_DISABLED) != 0;

    dc.FillSolidRect(&rect, GetSysColor(COLOR_BTNFACE));
    int r = circle.radius;
    if (focus) {
        plotCircle(dc, cx, cy, r, kBlack);
        --r;
    }
    if (GetButtonStyle() & BS_FLAT) {
        plotCircle(dc, cx, cy, r, kBlack);
        plotCircle(dc, cx, cy, r - 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    } else {
        COLORREF outerA = GetSysColor(COLOR_BTNHIGHLIGHT), outerB = GetSysColor(COLOR_3DDKSHADOW);
        COLORREF innerA = GetSysColor(COLOR_3DLIGHT), innerB = GetSysColor(COLOR_BTNSHADOW);
        if (pressed) {
            std::swap(outerA, outerB);
            std::swap(innerA, innerB);
        }
        plotShadedCircle(dc, cx, cy, r, outerA, outerB);
        plotShadedCircle(dc, cx, cy, r - 1, innerA, innerB);
    }
    if (IsOn()) fillDisc(dc, cx, cy, circle.radius, *lamp_);

    const std::string text = GetWindowText();
    if (!text.empty()) {
        // The layer draws text from its top left; a digit of the dialog font is about 6 x 13 pixels.
        const int shift = pressed ? 1 : 0;
        const int width = 6 * static_cast<int>(text.size()), height = 13;
        const LampRect inner = InnerDisc(circle, rect.left, rect.top);
        CRgn clip;
        clip.CreateEllipticRgn(inner.left, inner.top, inner.right, inner.bottom);
        dc.SelectClipRgn(&clip);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(disabled ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_BTNTEXT));
        dc.TextOut(cx - width / 2 + shift, cy - height / 2 + shift, text.c_str());
        dc.SelectClipRgn(nullptr);
    }
    if (focus) {
        const auto points = MidpointCircle(cx, cy, r - 3);
        for (std::size_t i = 0; i < points.size(); i += 2) dc.SetPixel(points[i].x, points[i].y, kBlack);
    }
}

CControl3Leds::CControl3Leds() : CDialog(IDD_CONTROL_3LEDS) {
    for (int led = 0; led < 3; ++led) MapNotify(kLampIds[led], BN_CLICKED, [this, led] { OnLampClicked(led); });
}

BOOL CControl3Leds::OnInitDialog() {
    CDialog::OnInitDialog();
    for (int led = 0; led < 3; ++led) {
        lamps_[led].Attach(kLampIds[led], this);
        lamps_[led].SetLampColour(kLampColour);
    }
    return TRUE;
}

void CControl3Leds::OnOK() {
    if (auto* dialog = dynamic_cast<CDialog*>(GetParent())) dialog->PressEnter();
}

void CControl3Leds::OnCancel() {
    if (auto* dialog = dynamic_cast<CDialog*>(GetParent())) dialog->PressEscape();
}

void CControl3Leds::SetLed(int led, int on) {
    if (led >= 0 && led < 3) lamps_[led].SetOn(on);
}

BOOL CControl3Leds::IsLedOn(int led) const { return led >= 0 && led < 3 && lamps_[led].IsOn(); }

void CControl3Leds::OnLampClicked(int led) {
    lamps_[led].Toggle();
    if (owner_) owner_->SwitchLed(static_cast<std::uint8_t>(led), lamps_[led].IsOn());
}

}  // namespace plandrel
