#include "working_folder.h"

#include <system_error>

#include "win32/windows.h"

namespace plandrel {

std::filesystem::path ChooseWorkingFolder() {
  for (int folder : {CSIDL_LOCAL_APPDATA, CSIDL_PERSONAL}) {
    char base[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, folder, nullptr, 0, base) != S_OK) continue;
    // The trailing separator is part of the folder's name as the working files are named from it.
    const std::filesystem::path working =
        std::filesystem::path(base) / "Talvenor" / "Quorelle" / "";
    std::error_code error;
    std::filesystem::create_directories(working, error);
    if (!error && std::filesystem::is_directory(working, error)) return working;
  }
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::filesystem::path(".") : current;
}

}  // namespace plandrel
