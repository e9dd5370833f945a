// Device notifications between the stand-ins: the window layer delivers them, the device providers
// raise them (RegisterDeviceNotificationA in windows.h is the system's side).
//
// Contract: the announcements send to each registered window in turn, with no lock of this module
// held, and return once every window has handled its message (sent, not posted: the broadcast
// record lives on the announcer's stack). Call them holding no lock that a window procedure takes.
#pragma once

#include <cstdint>
#include <string>

#include "win32/handle_table.h"

namespace qwin32 {

// Sends one message to a window and returns when it was handled. Installed by the window layer
// when it loads (tests may put their own in its place); without one, notifications reach nobody.
// Returns the sender it replaces.
using WindowMessageSender = void (*)(HANDLE window, UINT message, ULONG_PTR wParam, std::intptr_t lParam);
WindowMessageSender setWindowMessageSender(WindowMessageSender sender);

// A device interface of `interfaceClass` at `path` arrived (DBT_DEVICEARRIVAL) or left
// (DBT_DEVICEREMOVECOMPLETE): every window registered for the class hears it.
void announceDeviceInterface(const GUID& interfaceClass, const std::string& path, DWORD event);
// The device behind `device` (the object of its open handles) left: every window registered on a
// handle of it hears DBT_DEVICEREMOVECOMPLETE.
void announceDeviceRemoved(const KernelObject& device);

}  // namespace qwin32
