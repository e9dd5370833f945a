// The designer's working folder: where the working files, the download image and the crash files
// go. The user's local application data folder, else the user's documents folder, each followed by
// "Talvenor/Quorelle/" and created with its missing parents; else the current directory.
#pragma once

#include <filesystem>

namespace plandrel {

// Never fails: a source whose folder cannot be found or created gives way to the next one.
std::filesystem::path ChooseWorkingFolder();

}  // namespace plandrel
