// Advisory file locks: two locks of one process exclude each other as two processes' locks do,
// shared locks admit each other, and the query takes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/file_lock.h"
#include "base/machine_root.h"
#include "testing/unprivileged.h"

namespace {

using qbase::FileLock;

TEST(FileLock, LocksOfOneProcessExcludeEachOtherAndTheQueryTakesNothing) {
    const std::filesystem::path file = qbase::machineRoot() / "locks" / "board";
    EXPECT_FALSE(FileLock::isHeld(file)) << "no file yet";

    FileLock first = FileLock::tryTake(file, FileLock::Kind::exclusive);
    ASSERT_TRUE(first.held()) << "the folder and the file are made";
    EXPECT_TRUE(FileLock::isHeld(file));
    bool conflict = false;
    EXPECT_FALSE(FileLock::tryTake(file, FileLock::Kind::exclusive, &conflict).held());
    EXPECT_TRUE(conflict);
    EXPECT_FALSE(FileLock::tryTake(file, FileLock::Kind::shared).held());

    FileLock moved = std::move(first);
    EXPECT_FALSE(first.held());
    EXPECT_TRUE(FileLock::isHeld(file)) << "the lock moves with its holder";
    moved.release();
    EXPECT_FALSE(FileLock::isHeld(file));

    FileLock reader = FileLock::tryTake(file, FileLock::Kind::shared);
    FileLock other = FileLock::tryTake(file, FileLock::Kind::shared);
    EXPECT_TRUE(reader.held() && other.held());
    EXPECT_TRUE(FileLock::isHeld(file));
    EXPECT_FALSE(FileLock::tryTake(file, FileLock::Kind::exclusive).held());
    reader.release();
    other.release();
    EXPECT_TRUE(FileLock::wait(file, FileLock::Kind::exclusive).held());
}

TEST(FileLock, AFileThatCannotBeOpenedIsNeitherHeldNorAConflict) {
    const std::filesystem::path file = qbase::machineRoot() / "plain";
    ASSERT_TRUE(FileLock::tryTake(file, FileLock::Kind::exclusive).held());
    bool conflict = true;
    EXPECT_FALSE(FileLock::tryTake(file / "below", FileLock::Kind::exclusive, &conflict).held());
    EXPECT_FALSE(conflict) << "not another holder's";
    EXPECT_FALSE(FileLock::isHeld(file / "below"));
}

// A lock file is made for every user to open read-write, whatever the umask. One that this user
// may only read (another user's, where the test can arrange it) is held and seen as any other:
// another holder's lock is a conflict, and the file can be held itself, against other takers.
TEST(FileLock, AFileThatMayOnlyBeReadIsHeldAndSeen) {
    namespace fs = std::filesystem;
    if (const std::string why = qtesting::noUnprivilegedUser(); !why.empty()) GTEST_SKIP() << why;
    const qtesting::UnprivilegedFolder folder;
    const fs::path file = folder.path() / "board";
    const mode_t umask = ::umask(077);
    FileLock holder = FileLock::tryTake(file, FileLock::Kind::exclusive);
    ::umask(umask);
    ASSERT_TRUE(holder.held());
    const fs::perms everyone = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms everyoneWrites = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    EXPECT_EQ(fs::status(file).permissions(), everyone | everyoneWrites);
    fs::permissions(file, everyone);

    const auto refusedWhileHeld = [&] {
        bool exclusive = false, shared = false;
        return FileLock::isHeld(file) && !FileLock::tryTake(file, FileLock::Kind::exclusive, &exclusive).held() &&
               !FileLock::tryTake(file, FileLock::Kind::shared, &shared).held() && exclusive && shared;
    };
    EXPECT_TRUE(qtesting::runUnprivileged(refusedWhileHeld));
    holder.release();
    EXPECT_TRUE(qtesting::runUnprivileged([&] {
        const FileLock own = FileLock::tryTake(file, FileLock::Kind::exclusive);
        bool conflict = false;
        return own.held() && FileLock::isHeld(file) &&
               !FileLock::tryTake(file, FileLock::Kind::exclusive, &conflict).held() && conflict;
    }));
    EXPECT_FALSE(FileLock::isHeld(file));
    EXPECT_TRUE(FileLock::tryTake(file, FileLock::Kind::exclusive).held()) << "what the other user held is let go";
}

}  // namespace
