#include "online/online_dialogs.h"

#include "online/attach_to_card.h"
#include "online/online_resources.h"
#include "online/physical_values.h"
#include "online/presence_resources.h"
#include "ui/resources.h"

namespace plandrel {
namespace {

using qui::ControlKind;
using qui::ControlTemplate;

// The "Characteristics" group, its labels at x and values at x + 47, from y down in steps of 13.
std::vector<ControlTemplate> characteristics(int x, int y) {
    const std::pair<int, const char*> labels[] = {{IDC_INDEX_LABEL, "Index:"},
                                                  {IDC_VERSION_LABEL, "Version :"},
                                                  {IDC_SPEED_LABEL, "Speed:"},
                                                  {IDC_SERIAL_LABEL, "Serial Nb:"},
                                                  {IDC_SLOT_LABEL, "Slot:"}};
    const int values[] = {IDC_INDEX, IDC_VERSION, IDC_SPEED, IDC_SERIAL, IDC_SLOT};
    std::vector<ControlTemplate> controls{{IDC_STATIC, ControlKind::GroupBox, x, y, 150, 82, "Characteristics"}};
    for (int i = 0; i < 5; ++i) {
        controls.push_back({labels[i].first, ControlKind::Static, x + 8, y + 13 + 13 * i, 45, 9, labels[i].second});
        controls.push_back({values[i], ControlKind::Static, x + 55, y + 13 + 13 * i, 90, 9, ""});
    }
    return controls;
}

// The LED controls at (x, y): the labels over the LED panel's placeholder or the colour list.
std::vector<ControlTemplate> ledControls(int x, int y) {
    return {{IDC_LEDS_LABEL, ControlKind::Static, x, y, 80, 9, "Leds control:", qui::kHidden},
            {IDC_RGB_LABEL, ControlKind::Static, x, y, 80, 9, "RGB LED control:", qui::kHidden},
            {IDC_LED_PANEL, ControlKind::Static, x, y + 12, 50, 13, "O O O", qui::kHidden},
            {IDC_COLOUR_LIST, ControlKind::ComboBox, x, y + 12, 80, 90, "",
             qui::kDropDownList | qui::kVerticalScroll | qui::kHidden}};
}

void append(std::vector<ControlTemplate>& to, std::vector<ControlTemplate> more) {
    to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

qui::DialogTemplate attachToCard() {
    qui::DialogTemplate d;
    d.id = IDD_ATTACH_TO_CARD;
    d.cx = 262;
    d.cy = 170;
    d.caption = "FIP Card Selection";
    d.controls = {
        {IDC_STATIC, ControlKind::Static, 7, 7, 200, 9, "Choice of the FIP card to be driven"},
        {IDC_STATIC, ControlKind::Static, 7, 22, 90, 9, "Available FIP cards"},
        {IDC_DEVICE_LIST, ControlKind::ComboBox, 7, 33, 96, 90, "", qui::kDropDownList | qui::kVerticalScroll},
        {IDC_NO_CARD, ControlKind::Static, 110, 35, 100, 9, "No available card!", qui::kRedText},
    };
    append(d.controls, characteristics(7, 54));
    d.controls.push_back({IDC_CARD_IN_USE, ControlKind::Static, 15, 67, 134, 40, kCardInUseText,
                          qui::kCenter | qui::kHidden});
    append(d.controls, ledControls(168, 58));
    append(d.controls, {{IDOK, ControlKind::PushButton, 95, 149, 50, 14, "OK", qui::kDefault},
                        {IDCANCEL, ControlKind::PushButton, 150, 149, 50, 14, "Cancel"},
                        {IDC_HELP, ControlKind::PushButton, 205, 149, 50, 14, "Help", qui::kHidden | qui::kDisabled}});
    return d;
}

qui::DialogTemplate cardInfo() {
    qui::DialogTemplate d;
    d.id = IDD_CARD_INFO;
    d.cx = 262;
    d.cy = 150;
    d.caption = "Card information";
    d.controls = {
        {IDC_BOARD_NAME, ControlKind::Static, 7, 7, 150, 9, ""},
        {IDC_MAKER, ControlKind::Static, 7, 18, 150, 9, ""},
    };
    append(d.controls, characteristics(7, 34));
    append(d.controls, ledControls(168, 38));
    append(d.controls, {{IDOK, ControlKind::PushButton, 150, 129, 50, 14, "OK", qui::kDefault},
                        {IDC_HELP, ControlKind::PushButton, 205, 129, 50, 14, "Help"}});
    return d;
}

qui::DialogTemplate threeLeds() {
    qui::DialogTemplate d;
    d.id = IDD_CONTROL_3LEDS;
    d.cx = 50;
    d.cy = 13;
    d.style = qui::kChild;
    d.controls = {{IDC_LED_PANEL, ControlKind::OwnerDrawButton, 1, 0, 14, 13, "1"},
                  {IDC_LED_2, ControlKind::OwnerDrawButton, 18, 0, 14, 13, "2"},
                  {IDC_LED_3, ControlKind::OwnerDrawButton, 35, 0, 14, 13, "3"}};
    return d;
}

}  // namespace

void RegisterOnlineDialogs() {
    qui::RegisterDialog(attachToCard());
    qui::RegisterDialog(cardInfo());
    qui::RegisterDialog(threeLeds());
    RegisterSessionDialogs();
    RegisterPhysicalValuesResources();
    RegisterPresenceResources();
}

}  // namespace plandrel
