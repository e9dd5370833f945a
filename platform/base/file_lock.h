// Advisory locks on files, shared by the processes of the machine: an open file description lock
// (Linux "OFD" record lock over the whole file). It belongs to the open file, not to the process:
// two opens of one file in one process exclude each other as two processes do, and the system
// releases the lock when the file is closed or its process ends, a crash included. A lock file
// is made so that every user may open it read-write; one that this user may only read (another
// user's, made otherwise) still shows another holder's lock as a conflict.
#pragma once

#include <filesystem>

namespace qbase {

class FileLock {
public:
    enum class Kind { shared, exclusive };

    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock on `file` (created when missing, with its folder), waiting while another
    // holder's lock conflicts. An unheld lock when the file cannot be opened.
    static FileLock wait(const std::filesystem::path& file, Kind kind);
    // Takes the lock without waiting: an unheld lock when another holder's lock conflicts (then
    // *conflict, when given, is set) or the file cannot be opened.
    static FileLock tryTake(const std::filesystem::path& file, Kind kind, bool* conflict = nullptr);
    // Whether some holder (another process, or another lock of this one) holds a lock on `file`,
    // asked without taking one. False when the file does not exist.
    static bool isHeld(const std::filesystem::path& file);

    bool held() const { return fd_ >= 0; }
    void release();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    static FileLock take(const std::filesystem::path& file, Kind kind, bool waitForIt, bool* conflict);
    int fd_ = -1;
};

}  // namespace qbase
