// GoogleTest main for every test executable: the process gets a fresh temporary machine root,
// removed at exit, so that no test reads or writes the user's machine, and the user's data folder
// (the designer's working folder) inside it, so that tests running side by side never hold each
// other's boards or working files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "base/machine_root.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "quorelle-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 2;
    const std::filesystem::path root = pattern;
    setenv("QUORELLE_MACHINE_ROOT", root.c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    qbase::setMachineRoot(root);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return result;
}
