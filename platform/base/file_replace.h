// Whole files written so that a reader in another process sees the old content or the new one,
// never a part of either: the bytes go to a temporary file in the target's folder, which then
// takes the target's name.
#pragma once

#include <filesystem>
#include <string_view>

namespace qbase {

// Writes all of `bytes` to the descriptor, going on after interrupted writes; false on an error.
bool writeAll(int fd, std::string_view bytes);

// Puts `bytes` in place at `file`, readable by every user (mode 0644), unless the file already
// holds exactly them: then nothing is written. False when the file could not be replaced; it is
// then as it was and no temporary file is left.
bool replaceFileIfChanged(const std::filesystem::path& file, std::string_view bytes);

}  // namespace qbase
