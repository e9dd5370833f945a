// Whole-file reads with their bound, and writes that keep what makes the replaced file what it is:
// its rights, its mode, the link that names it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "records/atomic_file.h"
#include "records/config_format.h"
#include "testing/unprivileged.h"

namespace records {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes contents(const fs::path& file) {
  Bytes bytes;
  EXPECT_EQ(read_whole_file(file, 1 << 20, bytes), FileRead::ok) << file;
  return bytes;
}

std::size_t entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class AtomicFile : public ::testing::Test {
 protected:
  qtesting::UnprivilegedFolder folder_;
  fs::path file(const char* name) const { return folder_.path() / name; }
};

TEST_F(AtomicFile, TheReplacedFileKeepsItsModeAndALinkKeepsNamingIt) {
  for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                               fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read}) {
    const fs::path target = file("private.cnf");
    ASSERT_TRUE(write_file_atomically(target, Bytes{1}));
    fs::permissions(target, mode);
    ASSERT_TRUE(write_file_atomically(target, Bytes{2, 3}));
    EXPECT_EQ(contents(target), (Bytes{2, 3}));
    EXPECT_EQ(fs::status(target).permissions(), mode);
  }

  // Saved through a link: the link stays, the file it names takes the content.
  fs::create_directory(file("real"));
  ASSERT_TRUE(write_file_atomically(file("real") / "net.cnf", Bytes{1}));
  fs::create_symlink("real/net.cnf", file("link.cnf"));
  ASSERT_TRUE(write_file_atomically(file("link.cnf"), Bytes{4, 5, 6}));
  EXPECT_TRUE(fs::is_symlink(file("link.cnf")));
  EXPECT_EQ(contents(file("real") / "net.cnf"), (Bytes{4, 5, 6}));
  // A link to a file not there yet creates that file.
  fs::create_symlink("real/new.cnf", file("ahead.cnf"));
  ASSERT_TRUE(write_file_atomically(file("ahead.cnf"), Bytes{7}));
  EXPECT_TRUE(fs::is_symlink(file("ahead.cnf")));
  EXPECT_EQ(contents(file("real") / "new.cnf"), Bytes{7});
  EXPECT_EQ(entries(folder_.path()), 4u);
  EXPECT_EQ(entries(file("real")), 2u);
}

TEST_F(AtomicFile, AFileTheUserMayNotWriteIsLeftAsItIs) {
  if (const std::string why = qtesting::noUnprivilegedUser(); !why.empty()) GTEST_SKIP() << why;
  const fs::path target = file("read-only.cnf");
  std::ofstream(target, std::ios::binary) << "old";
  const fs::perms read_only = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  folder_.handOver(target, read_only);

  EXPECT_TRUE(qtesting::runUnprivileged([&] { return !write_file_atomically(target, Bytes{'n', 'e', 'w'}); }));
  EXPECT_EQ(contents(target), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(fs::status(target).permissions(), read_only);
  EXPECT_EQ(entries(folder_.path()), 1u) << "a temporary file was left";
}

TEST_F(AtomicFile, AReadStopsAtItsBoundBeforeReadingAnything) {
  const fs::path target = file("data");
  ASSERT_TRUE(write_file_atomically(target, Bytes(100, 9)));
  Bytes bytes;
  EXPECT_EQ(read_whole_file(target, 100, bytes), FileRead::ok);
  EXPECT_EQ(bytes, Bytes(100, 9));
  EXPECT_EQ(read_whole_file(target, 99, bytes), FileRead::too_large);
  EXPECT_TRUE(bytes.empty());

  // 64 GiB that the file system does not hold: refused from its size, at once.
  const fs::path sparse = file("sparse.cnf");
  std::ofstream(sparse, std::ios::binary) << std::string(kMagic4);
  fs::resize_file(sparse, std::uintmax_t{64} << 30);
  EXPECT_EQ(read_whole_file(sparse, kLargestConfigurationFile, bytes), FileRead::too_large);
  Bytes head;
  ASSERT_TRUE(read_file_head(sparse, kMagicSize, head));
  EXPECT_EQ(format_of(head), Format::v4);

  EXPECT_EQ(read_whole_file(file("absent"), 100, bytes), FileRead::cannot_open);
  EXPECT_EQ(read_whole_file(folder_.path(), 100, bytes), FileRead::cannot_open);
  EXPECT_FALSE(read_file_head(folder_.path(), kMagicSize, head));
}

}  // namespace
}  // namespace records
