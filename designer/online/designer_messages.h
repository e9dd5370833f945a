// The designer's own window messages (from WM_USER, 0x400), shared by the configuration tree, the
// main frame, the session's mailbox window and the on-line dialogs; why a session ends; and the
// commands of the on-line menus.
#pragma once

#include <cstdint>

namespace plandrel {

inline constexpr unsigned WM_TREE_SET_TEXT = 0x400;        // tree item, text
inline constexpr unsigned WM_TREE_DELETE_ITEM = 0x401;     // tree item
inline constexpr unsigned WM_TREE_INSERT_MESSAGE = 0x402;  // const MESSAGE4*
inline constexpr unsigned WM_FIP_END_SESSION = 0x403;      // SessionEndReason, to the session window
inline constexpr unsigned WM_FIP_BA_DLG_CLOSED = 0x404;
inline constexpr unsigned WM_FIP_VAR_DLG_CLOSED = 0x405;
inline constexpr unsigned WM_FIP_MES_DLG_CLOSED = 0x406;
inline constexpr unsigned WM_FIP_MEDIUM_DLG_CLOSED = 0x407;
inline constexpr unsigned WM_FIP_APER_DLG_CLOSED = 0x408;
inline constexpr unsigned WM_FIP_SESSION_ENDED = 0x409;    // SessionEndReason, to the main frame
inline constexpr unsigned WM_FIP_STOP_ENGINE = 0x40A;      // sent to the main frame: 1 stopped, 0 not
inline constexpr unsigned WM_FIP_CLOSE_FRAME = 0x40B;
inline constexpr unsigned WM_FIP_VAR_UPDATE = 0x40C;
inline constexpr unsigned WM_FIP_BA_STATE = 0x40D;
inline constexpr unsigned WM_FIP_BA_SEQUENCE = 0x40E;
inline constexpr unsigned WM_FIP_MES_REPORT = 0x40F;
inline constexpr unsigned WM_FIP_MES_SHOW = 0x410;
inline constexpr unsigned WM_FIP_MES_FIRST = 0x411;
inline constexpr unsigned WM_FIP_MES_MORE = 0x412;
inline constexpr unsigned WM_FIP_APER_SENT = 0x413;
inline constexpr unsigned WM_FIP_APER_LISTS_CHANGED = 0x414;
inline constexpr unsigned WM_FIP_MEDIUM_STATUS = 0x415;
inline constexpr unsigned WM_FIP_MEDIUM_ICONS = 0x416;     // MediumStatus byte, to the main frame
inline constexpr unsigned WM_FIP_MEDIUM_RESET = 0x417;     // to the main frame
inline constexpr unsigned WM_FIP_VALUES_REFRESH = 0x419;

// The medium dialog's commands run on the session thread: the dialog posts WM_FIP_MEDIUM_COMMAND
// (the command, the dialog's window) to the session window, which posts WM_FIP_MEDIUM_ANSWER (the
// status byte, the MEDIUM_CONTROL result) back to the dialog.
inline constexpr unsigned WM_FIP_MEDIUM_COMMAND = 0x8052;  // WM_APP + 0x52
inline constexpr unsigned WM_FIP_MEDIUM_ANSWER = 0x8053;

// Why a session ended (wParam of the end-session and session-ended messages).
enum SessionEndReason : std::uint32_t {
  kEndDisconnect = 0,
  kEndApplicationExit = 1,
  kEndWindowClosed = 2,
  kEndSuspend = 3,
};

// On-line menu ranges: 33000 + variable index, 40000 + message index.
inline constexpr std::uint16_t kVariableMenuBase = 33000;
inline constexpr std::uint16_t kVariableMenuLast = 37095;
inline constexpr std::uint16_t kMessageMenuBase = 40000;
inline constexpr std::uint16_t kMessageMenuLast = 44096;

}  // namespace plandrel
