// The working folder and its fallbacks: local application data, then documents, then the current
// directory.
#include "working_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace plandrel {
namespace {

namespace fs = std::filesystem;

TEST(WorkingFolder, SourcesInOrder) {
  const char* root_text = std::getenv("QUORELLE_MACHINE_ROOT");
  const fs::path root = fs::path(root_text ? root_text : fs::temp_directory_path().c_str()) / "wf";
  fs::create_directories(root);
  std::ofstream(root / "plain-file") << "x";
  const std::string too_long(300, 'x');  // beyond the platform's path limit: the lookup fails
  const fs::path cwd = fs::current_path();

  struct Case {
    std::string what;
    std::string data_home;
    std::string documents;
    fs::path expected;
  };
  const std::vector<Case> cases{
      {"local application data", (root / "data").string(), (root / "docs").string(),
       root / "data" / "Talvenor" / "Quorelle" / ""},
      {"documents when the data folder cannot be found", too_long, (root / "docs").string(),
       root / "docs" / "Talvenor" / "Quorelle" / ""},
      {"documents when the data folder cannot be made", (root / "plain-file" / "data").string(),
       (root / "docs2").string(), root / "docs2" / "Talvenor" / "Quorelle" / ""},
      {"the current directory when neither is found", too_long, too_long, cwd},
  };
  for (const Case& k : cases) {
    setenv("XDG_DATA_HOME", k.data_home.c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", k.documents.c_str(), 1);
    const fs::path folder = ChooseWorkingFolder();
    EXPECT_EQ(folder, k.expected) << k.what;
    EXPECT_TRUE(fs::is_directory(folder)) << k.what;
  }
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_DOCUMENTS_DIR");
}

}  // namespace
}  // namespace plandrel
