// Version resources. The machine installs a file F with a version by writing the text file
// "F.version" beside it; its first line is F's "FileVersion" string, listed under the one
// translation US English / Unicode (0x0409, 0x04B0).
//
// The block handed to the caller is this stand-in's own layout, read only by VerQueryValueA:
//   offset 0: "QVER"; 4: DWORD block size; 8: WORD language, WORD code page; 12: the string + '\0'.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "base/machine_root.h"
#include "win32/handle_table.h"
#include "win32/host_files.h"

namespace qwin32 {
namespace {

constexpr char kMagic[4] = {'Q', 'V', 'E', 'R'};
constexpr WORD kLanguage = 0x0409, kCodePage = 0x04B0;
constexpr std::size_t kTranslationOffset = 8, kStringOffset = 12;
constexpr DWORD kResourceTypeNotFound = 1813;

// The file's version string, or the error that says why there is none.
std::optional<std::string> fileVersion(LPCSTR fileName, DWORD& error) {
    if (!fileName) {
        error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    // The machine installs its files with their versions when it boots.
    qbase::ensureMachineBooted();
    const std::string path = hostPath(fileName);
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        error = ERROR_FILE_NOT_FOUND;
        return std::nullopt;
    }
    std::ifstream in(path + ".version");
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = kResourceTypeNotFound;
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

DWORD blockSize(const std::string& version) { return static_cast<DWORD>(kStringOffset + version.size() + 1); }

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

}  // namespace
}  // namespace qwin32

using namespace qwin32;

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
    if (handle) *handle = 0;
    DWORD error = 0;
    const auto version = fileVersion(fileName, error);
    if (!version) return failWith(error);
    return blockSize(*version);
}

BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD size, LPVOID data) {
    if (!data) return failWith(ERROR_INVALID_PARAMETER);
    DWORD error = 0;
    const auto version = fileVersion(fileName, error);
    if (!version) return failWith(error);
    const DWORD total = blockSize(*version);
    if (size < total) return failWith(ERROR_INSUFFICIENT_BUFFER);
    auto* block = static_cast<std::uint8_t*>(data);
    std::memcpy(block, kMagic, sizeof kMagic);
    std::memcpy(block + 4, &total, sizeof total);
    std::memcpy(block + kTranslationOffset, &kLanguage, sizeof kLanguage);
    std::memcpy(block + kTranslationOffset + 2, &kCodePage, sizeof kCodePage);
    std::memcpy(block + kStringOffset, version->c_str(), version->size() + 1);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length) {
    if (!block || !subBlock || !buffer || !length) return failWith(ERROR_INVALID_PARAMETER);
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    DWORD total = 0;
    std::memcpy(&total, bytes + 4, sizeof total);
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0 || total <= kStringOffset) {
        return failWith(ERROR_INVALID_PARAMETER);
    }
    auto* writable = const_cast<std::uint8_t*>(bytes);  // the platform hands out pointers into the block
    if (equalsIgnoringCase(subBlock, "\\VarFileInfo\\Translation")) {
        *buffer = writable + kTranslationOffset;
        *length = 4;
        return TRUE;
    }
    char fileVersionPath[64];
    std::snprintf(fileVersionPath, sizeof fileVersionPath, "\\StringFileInfo\\%04x%04x\\FileVersion", kLanguage,
                  kCodePage);
    if (equalsIgnoringCase(subBlock, fileVersionPath)) {
        *buffer = writable + kStringOffset;
        *length = static_cast<UINT>(total - kStringOffset);  // characters, terminator included
        return TRUE;
    }
    return failWith(kResourceTypeNotFound);
}
