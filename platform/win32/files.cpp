// CreateFile, ReadFile, WriteFile, DeviceIoControl, CreateDirectory and the host file calls (size,
// flush, delete, move, replace): device names go through the kernel's request seam, every other
// path to the host file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kernel/io_seam.h"
#include "win32/device_provider.h"
#include "win32/handle_table.h"
#include "win32/host_files.h"

namespace qwin32 {
namespace {

// An open file of a device; closing the last reference closes it in the kernel.
class DeviceFile final : public KernelObject {
public:
    explicit DeviceFile(qk::FileId file) : file_(file) {}
    ~DeviceFile() override { qk::ioSeam().close(file_); }
    qk::FileId file() const { return file_; }

private:
    qk::FileId file_;
};

class HostFile final : public KernelObject {
public:
    explicit HostFile(int fd) : fd_(fd) {}
    ~HostFile() override { ::close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

HANDLE failOpen(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE openDevice(const char* name, DWORD access, DWORD share, DWORD disposition) {
    if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) return failOpen(ERROR_INVALID_PARAMETER);
    for (DeviceProvider* provider : deviceProviders()) {
        if (!provider->serves(name)) continue;
        DWORD error = ERROR_FILE_NOT_FOUND;
        auto device = provider->open(name, access, share, error);
        if (!device) return failOpen(error);
        SetLastError(ERROR_SUCCESS);
        return addHandle(std::move(device));
    }
    const qk::OpenResult opened = qk::ioSeam().open(name, access, share);
    if (opened.status < 0) return failOpen(qk::ntStatusToWin32Error(opened.status));
    SetLastError(ERROR_SUCCESS);
    return addHandle(std::make_shared<DeviceFile>(opened.file));
}

HANDLE openHostFile(const char* name, DWORD access, DWORD disposition, DWORD attributes) {
    int flags = O_CLOEXEC;
    const bool reads = access & GENERIC_READ, writes = access & GENERIC_WRITE;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    default: return failOpen(ERROR_INVALID_PARAMETER);
    }
    if ((flags & O_TRUNC) && !writes) return failOpen(ERROR_ACCESS_DENIED);
    const std::string path = hostPath(name);
    bootForMachineFile(path);
    struct stat st{};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) {
        // A folder opens only for its handle's own uses (flushing its entries), never to write.
        if (!(attributes & FILE_FLAG_BACKUP_SEMANTICS) || writes || disposition != OPEN_EXISTING)
            return failOpen(ERROR_ACCESS_DENIED);
        flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return failOpen(hostError(errno, path));
    // Opening an existing file with a creating disposition succeeds with "already exists" as the note.
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
    return addHandle(std::make_shared<HostFile>(fd));
}

// ReadFile and WriteFile share their checks; `transfer` is ::read or a ::write wrapper.
template <class Transfer>
BOOL hostTransfer(HANDLE file, DWORD size, LPDWORD done, OVERLAPPED* overlapped, Transfer transfer) {
    if (done) *done = 0;
    if (overlapped) return failWith(ERROR_INVALID_PARAMETER);
    if (findHandleAs<DeviceFile>(file)) return failWith(ERROR_INVALID_FUNCTION);
    const auto host = findHandleAs<HostFile>(file);
    if (!host) return failWith(ERROR_INVALID_HANDLE);
    DWORD total = 0;
    while (total < size) {
        const ssize_t n = transfer(host->fd(), total, size - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failWith(hostError(errno, {}));
        if (n == 0) break;  // end of file
        total += static_cast<DWORD>(n);
    }
    if (done) *done = total;
    return TRUE;
}

}  // namespace
}  // namespace qwin32

using namespace qwin32;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES*,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (!fileName || !*fileName) return failOpen(ERROR_PATH_NOT_FOUND);
    if (isDevicePath(fileName)) return openDevice(fileName, desiredAccess, shareMode, creationDisposition);
    return openHostFile(fileName, desiredAccess, creationDisposition, flagsAndAttributes);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, OVERLAPPED* overlapped) {
    if (!buffer && toRead) return failWith(ERROR_INVALID_PARAMETER);
    return hostTransfer(file, toRead, read, overlapped, [buffer](int fd, DWORD offset, DWORD count) {
        return ::read(fd, static_cast<char*>(buffer) + offset, count);
    });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED* overlapped) {
    if (!buffer && toWrite) return failWith(ERROR_INVALID_PARAMETER);
    return hostTransfer(file, toWrite, written, overlapped, [buffer](int fd, DWORD offset, DWORD count) {
        const ssize_t n = ::write(fd, static_cast<const char*>(buffer) + offset, count);
        if (n == 0) errno = ENOSPC;  // a write that moves nothing is a full disk, not an end of file
        return n == 0 ? ssize_t{-1} : n;
    });
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer, DWORD outSize,
                     LPDWORD bytesReturned, OVERLAPPED* overlapped) {
    if (bytesReturned) *bytesReturned = 0;
    if (const auto provided = findHandleAs<ProvidedDevice>(device)) {
        if ((!inBuffer && inSize) || (!outBuffer && outSize)) return failWith(ERROR_INVALID_PARAMETER);
        if (overlapped) startOverlapped(overlapped);
        return provided->control(code, inBuffer, inSize, outBuffer, outSize, bytesReturned, overlapped);
    }
    const auto file = findHandleAs<DeviceFile>(device);
    if (!file) return failWith(findHandleAs<HostFile>(device) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    if (overlapped || (!inBuffer && inSize) || (!outBuffer && outSize)) return failWith(ERROR_INVALID_PARAMETER);
    const auto* in = static_cast<const std::uint8_t*>(inBuffer);
    const qk::ControlResult result =
        qk::ioSeam().deviceControl(file->file(), code, std::vector<std::uint8_t>(in, in + inSize), outSize);
    if (result.status < 0) return failWith(qk::ntStatusToWin32Error(result.status));
    const std::size_t n = std::min<std::size_t>(result.output.size(), outSize);
    if (n) std::memcpy(outBuffer, result.output.data(), n);
    if (bytesReturned) *bytesReturned = static_cast<DWORD>(n);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES*) {
    if (!path || !*path) return failWith(ERROR_PATH_NOT_FOUND);
    const std::string host = hostPath(path);
    if (::mkdir(host.c_str(), 0755) == 0) return TRUE;
    const int error = errno;
    if (error == EEXIST) return failWith(ERROR_ALREADY_EXISTS);
    // A missing parent is a missing path, whatever the last component is.
    return failWith(error == ENOENT ? ERROR_PATH_NOT_FOUND : hostError(error, host));
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    if (!size) return failWith(ERROR_INVALID_PARAMETER);
    const auto host = findHandleAs<HostFile>(file);
    if (!host) return failWith(findHandleAs<DeviceFile>(file) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    struct stat st{};
    if (::fstat(host->fd(), &st) != 0) return failWith(hostError(errno, {}));
    size->QuadPart = st.st_size;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    const auto host = findHandleAs<HostFile>(file);
    if (!host) return failWith(findHandleAs<DeviceFile>(file) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    if (::fsync(host->fd()) != 0) return failWith(hostError(errno, {}));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
    if (!path || !*path) return failWith(ERROR_PATH_NOT_FOUND);
    const std::string host = hostPath(path);
    struct stat st{};
    if (::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return failWith(ERROR_ACCESS_DENIED);
    if (::unlink(host.c_str()) != 0) return failWith(hostError(errno, host));
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    if (!existing || !*existing || !newName || !*newName) return failWith(ERROR_PATH_NOT_FOUND);
    if (flags != 0) return failWith(ERROR_INVALID_PARAMETER);
    const std::string from = hostPath(existing), to = hostPath(newName);
    struct stat st{};
    if (::lstat(to.c_str(), &st) == 0) return failWith(ERROR_ALREADY_EXISTS);
    if (::rename(from.c_str(), to.c_str()) != 0) return failWith(hostError(errno, to));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL ReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, LPVOID exclude,
                  LPVOID reserved) {
    if (!replaced || !*replaced || !replacement || !*replacement) return failWith(ERROR_PATH_NOT_FOUND);
    if (backup || exclude || reserved || flags != 0) return failWith(ERROR_INVALID_PARAMETER);
    const std::string source = hostPath(replacement);
    // The file that the name stands for, through any symbolic links.
    char* resolved = ::realpath(hostPath(replaced).c_str(), nullptr);
    if (!resolved) return failWith(hostError(errno, hostPath(replaced)));
    const std::string target = resolved;
    std::free(resolved);
    struct stat st{};
    if (::stat(target.c_str(), &st) != 0) return failWith(hostError(errno, target));
    if (!S_ISREG(st.st_mode)) return failWith(ERROR_ACCESS_DENIED);
    // Replacing is writing: a file the caller may not write stays as it is.
    const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (probe < 0) return failWith(hostError(errno, target));
    ::close(probe);
    // The owner first: a change of owner may clear mode bits that the mode then restores. Only a
    // privileged caller may give the file away, so a refusal keeps the caller as the owner.
    const bool owned = ::chown(source.c_str(), st.st_uid, st.st_gid) == 0 ||
                       ::chown(source.c_str(), static_cast<uid_t>(-1), st.st_gid) == 0;
    static_cast<void>(owned);
    if (::chmod(source.c_str(), st.st_mode & 07777) != 0) return failWith(hostError(errno, source));
    if (::rename(source.c_str(), target.c_str()) != 0)
        return failWith(errno == EXDEV ? ERROR_UNABLE_TO_MOVE_REPLACEMENT : hostError(errno, target));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
