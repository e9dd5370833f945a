#include "win32/host_files.h"

#include <cerrno>
#include <algorithm>
#include <filesystem>

#include "base/machine_root.h"

namespace qwin32 {

std::string hostPath(std::string_view path) {
    std::string host(path);
    for (char& c : host) {
        if (c == '\\') c = '/';
    }
    return host;
}

DWORD hostError(int error, const std::string& path) {
    constexpr DWORD kDiskFull = 112;
    switch (error) {
    case ENOENT: {
        std::error_code ignored;
        const auto parent = std::filesystem::path(path).parent_path();
        return parent.empty() || std::filesystem::is_directory(parent, ignored) ? ERROR_FILE_NOT_FOUND
                                                                                 : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: return kDiskFull;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

void bootForMachineFile(const std::string& hostPath) {
    namespace fs = std::filesystem;
    std::error_code failed;
    const fs::path file = fs::absolute(hostPath, failed).lexically_normal();
    if (failed) return;
    const fs::path root = fs::absolute(qbase::machineRoot(), failed).lexically_normal();
    if (failed) return;
    // A root ending in a separator has an empty last element, which no file path matches.
    auto rootEnd = root.end();
    if (!root.has_filename() && rootEnd != root.begin()) --rootEnd;
    if (std::mismatch(root.begin(), rootEnd, file.begin(), file.end()).first == rootEnd) qbase::ensureMachineBooted();
}

bool isDevicePath(std::string_view path) { return path.starts_with("\\\\.\\") || path.starts_with("\\\\?\\"); }

}  // namespace qwin32
