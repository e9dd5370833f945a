#include "base/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace qbase {
namespace {

constexpr mode_t kLockFileMode = 0666;

struct flock wholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;  // to the end, however long the file grows
    return range;
}

// Opens the lock file read-write, or for reading only when this user may not write it (another
// user's file). A file made here may be opened read-write by every user, whatever the umask. Only
// a missing file is opened with O_CREAT, which the system may refuse for another user's existing
// file in a shared folder.
int openForLock(const std::filesystem::path& file, bool& writable) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        writable = true;
        int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) return fd;
        if (errno == EACCES || errno == EROFS) {
            writable = false;
            return ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (errno != ENOENT) return -1;
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kLockFileMode);
        if (fd >= 0) {
            static_cast<void>(::fchmod(fd, kLockFileMode));
            return fd;
        }
        if (errno != EEXIST) return -1;  // else made meanwhile by another taker: opened as it is
    }
    return -1;
}

// Sets a record lock, going on after interrupted calls; false with errno set on failure.
bool setLock(int fd, short type, bool waitForIt) {
    struct flock range = wholeFile(type);
    int result;
    while ((result = ::fcntl(fd, waitForIt ? F_OFD_SETLKW : F_OFD_SETLK, &range)) != 0 && errno == EINTR) {
    }
    return result == 0;
}

// Whether a lock of another open file conflicts with an exclusive one on `fd`.
bool otherLock(int fd) {
    struct flock range = wholeFile(F_WRLCK);
    return ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

bool isConflict(int error) { return error == EAGAIN || error == EACCES; }

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
    bool writable = false;
    const int fd = openForLock(file, writable);
    if (fd < 0) return {};
    if (kind == Kind::shared || writable) {
        if (setLock(fd, kind == Kind::exclusive ? F_WRLCK : F_RDLCK, waitForIt)) return FileLock(fd);
        if (conflict) *conflict = isConflict(errno);
        ::close(fd);
        return {};
    }
    // A file this user may only read carries no exclusive lock: a shared one stands in for it,
    // kept only when no other holder has a lock, so that every other taker and isHeld see it.
    for (;;) {
        if (!setLock(fd, F_RDLCK, waitForIt)) {
            if (conflict) *conflict = isConflict(errno);
            break;
        }
        if (!otherLock(fd)) return FileLock(fd);
        setLock(fd, F_UNLCK, false);
        if (!waitForIt) {
            if (conflict) *conflict = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
    return {};
}

FileLock FileLock::wait(const std::filesystem::path& file, Kind kind) { return take(file, kind, true, nullptr); }

FileLock FileLock::tryTake(const std::filesystem::path& file, Kind kind, bool* conflict) {
    return take(file, kind, false, conflict);
}

bool FileLock::isHeld(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // An exclusive request conflicts with every lock of another open file description; asking
    // takes nothing.
    const bool held = otherLock(fd);
    ::close(fd);
    return held;
}

}  // namespace qbase
