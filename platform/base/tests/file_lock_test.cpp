// Advisory file locks: two locks of one process exclude each other as two processes' locks do,
// shared locks admit each other, and the query takes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/file_lock.h"
#include "base/machine_root.h"

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

}  // namespace
