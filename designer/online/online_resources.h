// Identifiers of the board selection and card information dialogs and of their controls.
#pragma once

namespace plandrel {

inline constexpr unsigned IDD_CONTROL_3LEDS = 104;
inline constexpr unsigned IDD_CARD_INFO = 237;
inline constexpr unsigned IDD_ATTACH_TO_CARD = 279;

inline constexpr int IDC_LEDS_LABEL = 1004;          // "Leds control:"
inline constexpr int IDC_NO_CARD = 1010;             // "No available card!"
inline constexpr int IDC_CARD_IN_USE = 1011;         // the used board's text, hidden at start
inline constexpr int IDC_INDEX_LABEL = 1012;
inline constexpr int IDC_INDEX = 1013;
inline constexpr int IDC_VERSION_LABEL = 1014;
inline constexpr int IDC_VERSION = 1015;
inline constexpr int IDC_SPEED_LABEL = 1016;
inline constexpr int IDC_SPEED = 1017;
inline constexpr int IDC_SERIAL_LABEL = 1018;
inline constexpr int IDC_SERIAL = 1019;
inline constexpr int IDC_SLOT = 1020;
inline constexpr int IDC_LED_PANEL = 1021;           // placeholder of the LED panel; in the panel, LED 1
inline constexpr int IDC_LED_2 = 1022;
inline constexpr int IDC_LED_3 = 1023;
inline constexpr int IDC_BOARD_NAME = 1023;          // card information: the board's name
inline constexpr int IDC_MAKER = 1024;               // card information: the maker
inline constexpr int IDC_SLOT_LABEL = 1025;          // "Slot:" or "Address:"
inline constexpr int IDC_DEVICE_LIST = 1209;
inline constexpr int IDC_RGB_LABEL = 1210;           // "RGB LED control:"
inline constexpr int IDC_COLOUR_LIST = 1211;
inline constexpr int IDC_HELP = 57670;

}  // namespace plandrel
