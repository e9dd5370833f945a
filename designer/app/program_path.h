// The path of the running program's file (empty when the platform cannot tell).
#pragma once

#include <filesystem>

namespace plandrel {

std::filesystem::path ProgramPath();

}  // namespace plandrel
