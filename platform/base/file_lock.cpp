#include "base/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace qbase {
namespace {

struct flock wholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;  // to the end, however long the file grows
    return range;
}

}  // namespace

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void FileLock::release() {
    if (fd_ >= 0) ::close(fd_);  // closing the open file description releases its lock
    fd_ = -1;
}

FileLock FileLock::take(const std::filesystem::path& file, Kind kind, bool waitForIt, bool* conflict) {
    if (conflict) *conflict = false;
    std::error_code ignored;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return {};
    struct flock range = wholeFile(kind == Kind::exclusive ? F_WRLCK : F_RDLCK);
    int result;
    while ((result = ::fcntl(fd, waitForIt ? F_OFD_SETLKW : F_OFD_SETLK, &range)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        if (conflict) *conflict = errno == EAGAIN || errno == EACCES;
        ::close(fd);
        return {};
    }
    return FileLock(fd);
}

FileLock FileLock::wait(const std::filesystem::path& file, Kind kind) { return take(file, kind, true, nullptr); }

FileLock FileLock::tryTake(const std::filesystem::path& file, Kind kind, bool* conflict) {
    return take(file, kind, false, conflict);
}

bool FileLock::isHeld(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // An exclusive request conflicts with every lock of another open file description.
    struct flock range = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

}  // namespace qbase
