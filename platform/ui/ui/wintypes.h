// Window types, window message numbers and the window messages between threads.
//
// A window handle carries a generation: once the window is destroyed its handle names nothing, and
// every call given it returns 0 (FALSE, an empty result). Each thread has one message queue, made
// when the thread first needs it.
//   - PostMessage never blocks: it queues and returns.
//   - SendMessage to a window of the calling thread calls its window procedure directly. To a window
//     of another thread it queues the send and waits; while it waits the caller serves the sends
//     addressed to its own windows, so two threads may send to each other.
//   - Destroying a window drops its queued posts and completes its pending sends with 0; a thread
//     that ends does so for every window it owns.
//   - The main thread (the one that runs the application, see afxwin.h) is woken through Qt's event
//     loop, so a nested modal loop (dialog, message box) keeps serving posts and sends.
//   - A worker drains its mailbox window with PeekMessage(&msg, hwnd, 0, 0, PM_REMOVE), which first
//     serves the sends waiting for the thread's windows.
#pragma once

#include <cstdint>

#include "win32/windows.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using COLORREF = DWORD;
using DWORD_PTR = std::uintptr_t;
using LPINT = int*;
using LPCTSTR = const char*;

struct HWND__;
using HWND = HWND__*;
struct HICON__;
using HICON = HICON__*;
struct HTREEITEM__;
using HTREEITEM = HTREEITEM__*;

// Accelerator tables: a key (a virtual key with FVIRTKEY, else a character) with its modifiers
// runs a command.
#define FVIRTKEY 0x01
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10
struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
struct HACCEL__;
using HACCEL = HACCEL__*;

// Virtual keys ('0'..'9' and 'A'..'Z' are their characters).
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F12 0x7B

struct POINT {
    LONG x;
    LONG y;
};
struct SIZE {
    LONG cx;
    LONG cy;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;
using LPPOINT = POINT*;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

#define RGB(r, g, b) \
    (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<DWORD>(static_cast<BYTE>(g)) << 8) | \
                           (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(c) (static_cast<BYTE>(c))
#define GetGValue(c) (static_cast<BYTE>((c) >> 8))
#define GetBValue(c) (static_cast<BYTE>((c) >> 16))
#define LOWORD(l) (static_cast<WORD>(static_cast<std::uintptr_t>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<std::uintptr_t>(l) >> 16) & 0xFFFF))
#define MAKELONG(a, b) (static_cast<LONG>(static_cast<WORD>(a) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))

// ---- window messages
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETREDRAW 0x000B
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SHOWWINDOW 0x0018
#define WM_NCDESTROY 0x0082
#define WM_NCLBUTTONDOWN 0x00A1
#define WM_NCRBUTTONDOWN 0x00A4
#define WM_NCMBUTTONDOWN 0x00A7
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_INITMENUPOPUP 0x0117
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MBUTTONDOWN 0x0207
#define WM_POWERBROADCAST 0x0218
#define WM_MDIACTIVATE 0x0222
#define WM_GETMINMAXINFO 0x0024
#define WM_DROPFILES 0x0233
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_POWERBROADCAST events (wParam).
#define PBT_APMSUSPEND 0x0004
#define PBT_APMRESUMESUSPEND 0x0007
#define PBT_APMRESUMEAUTOMATIC 0x0012

// WM_SIZE types (wParam).
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

// WM_MDIACTIVATE, WM_ACTIVATE
#define WA_INACTIVE 0
#define WA_ACTIVE 1

// Notification codes in the high word of WM_COMMAND's wParam.
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_EDITCHANGE 5
#define CBN_KILLFOCUS 4

// PeekMessage
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// ---- the calls
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Serves the sends waiting for the calling thread's windows, then takes the first post for window
// (any window of the thread when null) whose number lies in [first, last] (all when both are 0).
BOOL PeekMessage(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
// As PeekMessage, but waits for a post; FALSE on WM_QUIT, -1 for a bad window.
BOOL GetMessage(MSG* msg, HWND window, UINT first, UINT last);
// Waits until the calling thread has a post or a send (serving the sends), or the time-out passes.
// TRUE when a post waits.
BOOL WaitMessageTimeout(DWORD milliseconds);
LRESULT DispatchMessage(const MSG* msg);
BOOL IsWindow(HWND window);
BOOL DestroyWindow(HWND window);
void PostQuitMessage(int exitCode);
// The thread that owns the window (0 when the handle names no window).
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);
DWORD GetCurrentThreadId();
// Window geometry by handle (the window's thread): client rectangle from (0, 0), window rectangle on
// the screen. FALSE for a dead handle.
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL GetWindowRect(HWND window, LPRECT rect);
// Grows a client rectangle to the window rectangle of a window of that style: its border and, with
// WS_CAPTION, its title bar (as the display's style draws a child frame's; fixed sizes without one).
BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);

// ---- message boxes and beeps (see prompts.h for the replaceable interface behind them)
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONMASK 0x000000F0u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON2 0x00000100u
#define MB_APPLMODAL 0x00000000u
#define MB_SETFOREGROUND 0x00010000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDC_STATIC (-1)

int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL MessageBeep(UINT type);
BOOL Beep(DWORD frequency, DWORD duration);

// ---- system colours
#define COLOR_WINDOW 5
#define COLOR_WINDOWTEXT 8
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_HIGHLIGHT 13
DWORD GetSysColor(int index);
