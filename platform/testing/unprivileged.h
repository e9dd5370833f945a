// Tests of file rights: a user without rights over other users' files is needed even where the
// tests run as the superuser, who may write any file.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace qtesting {

// Why no unprivileged user can be had, or empty when one can: running as the superuser needs the
// user "nobody" to drop to.
std::string noUnprivilegedUser();

// A fresh folder under the system's temporary folder, owned by the user that runUnprivileged runs
// as, removed at destruction. It lies outside the machine root, whose folder only its creator may
// enter.
class UnprivilegedFolder {
public:
    UnprivilegedFolder();
    ~UnprivilegedFolder();
    UnprivilegedFolder(const UnprivilegedFolder&) = delete;
    UnprivilegedFolder& operator=(const UnprivilegedFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Gives a file made in the folder to the unprivileged user, with `mode`.
    void handOver(const std::filesystem::path& file, std::filesystem::perms mode) const;

private:
    std::filesystem::path path_;
};

// Runs `body` in a child process as an unprivileged user ("nobody" when the tests run as the
// superuser, else the tests' own user) and gives its result; false when the child could not run
// it. The child shares nothing with the test but the file system.
bool runUnprivileged(const std::function<bool()>& body);

}  // namespace qtesting
