#include "testing/unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace qtesting {
namespace {

namespace fs = std::filesystem;

// The user to drop to: none needed when the tests do not run as the superuser.
const passwd* dropTo() { return ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr; }

}  // namespace

std::string noUnprivilegedUser() {
    if (::geteuid() != 0 || dropTo()) return {};
    return "the tests run as the superuser and there is no user \"nobody\" to drop to";
}

UnprivilegedFolder::UnprivilegedFolder() {
    std::string pattern = (fs::temp_directory_path() / "quorelle-rights-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
    handOver(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec);
}

UnprivilegedFolder::~UnprivilegedFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void UnprivilegedFolder::handOver(const fs::path& file, fs::perms mode) const {
    if (const passwd* user = dropTo()) {
        const bool given = ::chown(file.c_str(), user->pw_uid, user->pw_gid) == 0;
        static_cast<void>(given);
    }
    std::error_code ignored;
    fs::permissions(file, mode, ignored);
}

bool runUnprivileged(const std::function<bool()>& body) {
    const passwd* user = dropTo();
    const uid_t uid = user ? user->pw_uid : 0;
    const gid_t gid = user ? user->pw_gid : 0;
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        if (user && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) ::_exit(3);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace qtesting
