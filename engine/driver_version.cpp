#include "driver_version.h"

#include <cstdio>
#include <string>
#include <vector>

#include "board_device.h"
#include "win32/windows.h"

namespace corvix {
namespace {

struct DriverFile {
    const char* name;      // under the system directory
    const char* wow64Name;  // when the process runs under WOW64
    FileVersion minimum;
};

constexpr DriverFile kDriverFiles[] = {
    {"\\drivers\\ambrix.sys", "\\drivers\\ambrix64.sys", {3, 1}},  // kBoardPci
    {"\\drivers\\osprix.sys", "\\drivers\\osprix64.sys", {1, 0}},  // kBoardPc104
};
static_assert(std::size(kDriverFiles) == kBoardPc104 + 1);

unsigned leadingNumber(std::string_view text) {
    unsigned value = 0;
    for (std::size_t i = 0; i < text.size() && i < 3 && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    return value;
}

// The "FileVersion" string of a file's version resource, empty when it has none.
std::string fileVersionString(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return {};
    LPVOID translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) || length < 4)
        return {};
    const auto* pair = static_cast<const WORD*>(translation);
    char subBlock[64];
    std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\FileVersion", pair[0], pair[1]);
    LPVOID text = nullptr;
    if (!VerQueryValueA(block.data(), subBlock, &text, &length) || length == 0) return {};
    const auto* chars = static_cast<const char*>(text);
    std::size_t n = 0;
    while (n < length && chars[n] != '\0') ++n;
    return std::string(chars, n);
}

}  // namespace

FileVersion parseFileVersion(std::string_view text) {
    FileVersion version;
    const auto dot = text.find('.');
    version.major = leadingNumber(text.substr(0, dot));
    if (dot != std::string_view::npos) version.minor = leadingNumber(text.substr(dot + 1));
    return version;
}

bool driverVersionSufficient(std::uint32_t boardType) {
    if (boardType >= std::size(kDriverFiles)) return false;
    const DriverFile& driver = kDriverFiles[boardType];
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    char systemDirectory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::string text = fileVersionString(std::string(systemDirectory) + (wow64 ? driver.wow64Name : driver.name));
    if (text.empty()) return false;
    const FileVersion version = parseFileVersion(text);
    if (version.major != driver.minimum.major) return version.major > driver.minimum.major;
    return version.minor >= driver.minimum.minor;
}

}  // namespace corvix
