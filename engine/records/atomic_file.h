// Whole-file reads and writes. A write goes to a temporary file in the target's folder, which is
// renamed over the target only once every byte is written, so a failed write keeps the old file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace records {

// False when the file cannot be opened or read; `bytes` then holds nothing.
bool read_whole_file(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);

// False when any step fails; the target is then as it was and no temporary file is left.
bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace records
