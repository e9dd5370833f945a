// Kept apart from the windows' files: the platform's API header and the class library's would
// declare the same types twice.
#include "program_path.h"

#include <string>

#include "win32/windows.h"

namespace plandrel {

std::filesystem::path ProgramPath() {
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::filesystem::path(std::string(buffer, length));
}

}  // namespace plandrel
