// Platform paths on the host file system: "\" and "/" both separate folders, and host error
// numbers become the platform's error codes here, where the host call is made.
#pragma once

#include <string>
#include <string_view>

#include "win32/windows.h"

namespace qwin32 {

std::string hostPath(std::string_view path);
// The error code for a failed host call; `path` tells a missing file from a missing folder.
DWORD hostError(int error, const std::string& path);

// Boots the machine when `hostPath` lies inside the machine root: its files (the system directory,
// the installed files) are written by the boot.
void bootForMachineFile(const std::string& hostPath);

// "\\.\NAME" device names and "\\?\..." device-interface paths reach the request seam.
bool isDevicePath(std::string_view path);

}  // namespace qwin32
