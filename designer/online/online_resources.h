// Identifiers of the board selection, card information and on-line dialogs, of their controls and
// of the on-line dialogs' frame icons.
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

// The on-line dialogs hosted in their frames.
inline constexpr unsigned IDD_FIP_BA = 132;
inline constexpr unsigned IDD_FIP_MES_TRANS = 133;
inline constexpr unsigned IDD_FIP_MES_RECU = 135;
inline constexpr unsigned IDD_FIP_VAR_CONS = 146;
inline constexpr unsigned IDD_FIP_VAR_PROD = 147;
inline constexpr unsigned IDD_FIP_MES_NEW = 148;
inline constexpr unsigned IDD_MEDIUM = 198;
inline constexpr unsigned IDD_FIP_APER = 200;

// Their frames' icons.
inline constexpr unsigned IDI_VAR_CONSUMED = 187;
inline constexpr unsigned IDI_VAR_PRODUCED = 188;
inline constexpr unsigned IDI_BA_CONTROL = 189;
inline constexpr unsigned IDI_MES_TRANSMITTED = 190;
inline constexpr unsigned IDI_MES_RECEIVED = 191;
inline constexpr unsigned IDI_MEDIUM = 192;
inline constexpr unsigned IDI_APERIODIC = 201;

// Bus arbitrator control.
inline constexpr int IDC_SEQUENCE_1 = 1000;
inline constexpr int IDC_SEQUENCE_2 = 1001;
inline constexpr int IDC_BA_STATE = 1009;
inline constexpr int IDC_BA_START = 1011;
inline constexpr int IDC_BA_STOP = 1012;
inline constexpr int IDC_BA_CONTINUE = 1013;
inline constexpr int IDC_BA_TOGGLE = 1014;
inline constexpr int IDC_NEXT_SEQUENCE = 1175;  // the "Next sequence" group

// Variables and messages.
inline constexpr int IDC_STATUS_LINE_1 = 1009;  // transmitted message: the two status lines
inline constexpr int IDC_STATUS_LINE_2 = 1010;
inline constexpr int IDC_CLEAR_ALL = 1016;
inline constexpr int IDC_FORMAT = 1032;
inline constexpr int IDC_STATUS = 1033;  // produced variable and send list
inline constexpr int IDC_BUFFER = 1034;
inline constexpr int IDC_MESSAGE = 1036;  // transmitted message: the text to send
inline constexpr int IDC_LENGTH = 1047;
inline constexpr int IDC_REFRESHMENT_TRUE = 1055;
inline constexpr int IDC_REFRESHMENT_FALSE = 1056;
inline constexpr int IDC_DELETE = 1060;
inline constexpr int IDC_SOURCE_IDENTIFIER = 1081;
inline constexpr int IDC_DESTINATION_IDENTIFIER = 1082;
inline constexpr int IDC_SOURCE_SEGMENT = 1084;
inline constexpr int IDC_DESTINATION_SEGMENT = 1087;
inline constexpr int IDC_PROMPTNESS_TRUE = 1137;
inline constexpr int IDC_PROMPTNESS_FALSE = 1138;
inline constexpr int IDC_SEND = 1174;
inline constexpr int IDC_RECEIVED = 1176;  // received message: the entry shown
inline constexpr int IDC_ENTRY_INDEX = 1177;
inline constexpr int IDC_DATE = 1178;
inline constexpr int IDC_HOUR = 1179;
inline constexpr int IDC_NEXT_ENTRY = 1181;      // ">>"
inline constexpr int IDC_PREVIOUS_ENTRY = 1182;  // "<<"
inline constexpr int IDC_LISTS = 1207;
// The received-message dialogs' labels, disabled with their fields.
inline constexpr int IDC_ENTRY_LABELS = 1300;  // 1300 to 1310

// Medium management: the command list and the eight fields of the state byte with their labels.
inline constexpr int IDC_MEDIUM_COMMANDS = 1188;
inline constexpr int IDC_MEDIUM_FIELDS[8] = {1197, 1196, 1195, 1194, 1193, 1192, 1191, 1187};  // bits 0 to 7
inline constexpr int IDC_MEDIUM_LABELS[8] = {1203, 1202, 1201, 1200, 1199, 1198, 1190, 1189};

}  // namespace plandrel
