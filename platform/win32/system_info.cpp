// Platform facts: an NT 6.1 system without 32-bit emulation, the machine root's system directory,
// the running program's path and the known folders on their XDG counterparts.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/machine_root.h"
#include "win32/handle_table.h"

namespace qwin32 {
namespace {

constexpr DWORD kMajorVersion = 6, kMinorVersion = 1, kBuildNumber = 7601;
constexpr char kServicePack[] = "Service Pack 1";
constexpr int kCsidlFlagCreate = 0x8000;

// Copies `text` with its terminator when it fits; returns the length, or the size needed
// (terminator included) when it does not, the convention of the directory calls.
UINT copyWhenFits(const std::string& text, LPSTR buffer, UINT size) {
    if (!buffer || text.size() >= size) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

std::string envOr(const char* name, const std::string& fallbackBelowHome) {
    if (const char* value = std::getenv(name); value && *value) return value;
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    return std::string(home) + "/" + fallbackBelowHome;
}

}  // namespace
}  // namespace qwin32

using namespace qwin32;

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return failWith(ERROR_INVALID_PARAMETER);
    info->dwMajorVersion = kMajorVersion;
    info->dwMinorVersion = kMinorVersion;
    info->dwBuildNumber = kBuildNumber;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::memcpy(info->szCSDVersion, kServicePack, sizeof kServicePack);
    return TRUE;
}

HANDLE GetCurrentProcess() { return INVALID_HANDLE_VALUE; }  // the platform's pseudo handle, -1

BOOL IsWow64Process(HANDLE process, BOOL* wow64) {
    if (!wow64) return failWith(ERROR_INVALID_PARAMETER);
    if (process != GetCurrentProcess()) return failWith(ERROR_INVALID_HANDLE);
    *wow64 = FALSE;
    return TRUE;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    // Its files are the machine's: installed when the machine boots.
    qbase::ensureMachineBooted();
    return copyWhenFits(qbase::systemDirectory().string(), buffer, size);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (module) return failWith(ERROR_INVALID_HANDLE);  // only the running program is known by handle
    if (!buffer || size == 0) return failWith(ERROR_INSUFFICIENT_BUFFER);
    std::error_code error;
    const std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error) return failWith(ERROR_GEN_FAILURE);
    if (path.size() >= size) {
        // The platform truncates, terminates and returns the buffer's size.
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

HRESULT SHGetFolderPathA(HANDLE, int folder, HANDLE, DWORD, LPSTR path) {
    if (!path) return E_FAIL;
    std::string found;
    switch (folder & ~kCsidlFlagCreate) {
    case CSIDL_LOCAL_APPDATA: found = envOr("XDG_DATA_HOME", ".local/share"); break;
    case CSIDL_PERSONAL: found = envOr("XDG_DOCUMENTS_DIR", "Documents"); break;
    default: return E_FAIL;
    }
    if (found.empty() || found.size() >= MAX_PATH) return E_FAIL;
    if (folder & kCsidlFlagCreate) {
        std::error_code ignored;
        std::filesystem::create_directories(found, ignored);
    }
    std::memcpy(path, found.c_str(), found.size() + 1);
    return S_OK;
}
