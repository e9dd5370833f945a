// Two designers of one working folder, each in a process of its own with its own network, run the
// presence test at the same moment: the files that both write under one name are written and
// downloaded in turn, so each detection and each scan downloads its own designer's file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/machine_root.h"
#include "testing/application.h"

namespace {

namespace fs = std::filesystem;

std::string Told(const fs::path& file) {
  std::ostringstream text;
  text << std::ifstream(file).rdbuf();
  return text.str();
}

TEST(PresencePeers, TwoDesignersTestingAtOnceInOneWorkingFolderEachGetTheirOwnResult) {
  const fs::path folder = qbase::machineRoot() / "peers";
  fs::create_directories(folder / "work");
  fs::create_directories(folder / "meeting");
  const auto run = [&](const char* side) {
    return qtesting::runProgram(PLANDREL_PRESENCE_PEER,
                                {(folder / "work").string(), (folder / "meeting").string(), side},
                                {"QUORELLE_MACHINE_ROOT=" + qbase::machineRoot().string()},
                                folder / (std::string(side) + ".txt"));
  };
  qtesting::ChildEnd b_end;
  std::thread b([&] { b_end = run("b"); });
  const qtesting::ChildEnd a_end = run("a");
  b.join();
  EXPECT_TRUE(a_end.clean()) << a_end.describe();
  EXPECT_TRUE(b_end.clean()) << b_end.describe();
  // a listens to its network's arbitrator, which polls 5 and 6; b's board arbitrates its own scan.
  EXPECT_EQ(Told(folder / "a.txt"), "detection Designer A\nmode 1\nscan Designer A\npresent 1 5 6\n");
  EXPECT_EQ(Told(folder / "b.txt"), "detection Designer B\nmode 2\nscan Designer B\npresent 5 7 8\n");
  fs::remove_all(folder);
}

}  // namespace
