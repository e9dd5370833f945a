// Whole-file reads and writes: the configuration and working files, and any other file that comes
// from outside (machine descriptions, bitmaps, interpretation files).
//
// Reads are bounded: the caller names the largest file it can use, and a larger one is refused
// from its size, before any byte is read, so that no file can make its reader allocate without
// limit. A write goes to a temporary file beside the target, flushed to the disk, which then takes
// the target's place with the target's mode (and owner, where the caller may give it); a failed
// write keeps the old file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace records {

enum class FileRead : std::uint8_t {
  ok,
  cannot_open,  // missing, not a regular file, or unreadable
  too_large,    // more than the caller's largest
};

// Reads the file whole into `bytes`, unless it holds more than `max_bytes`. A file that grows while
// it is read is caught too: no more than max_bytes + 1 bytes are ever read. On failure `bytes` is
// empty, and after cannot_open the platform's last error says why. Reading goes through the
// platform's file calls; any reader of the system's may use it whatever it reads.
FileRead read_whole_file(const std::filesystem::path& path, std::size_t max_bytes,
                         std::vector<std::uint8_t>& bytes);

// The first `count` bytes of the file, fewer when it is shorter; false when it cannot be opened or
// read.
bool read_file_head(const std::filesystem::path& path, std::size_t count,
                    std::vector<std::uint8_t>& bytes);

// Replaces the file at `path`, or creates it. A symbolic link is followed and the file it names is
// replaced. An existing file that the caller may not write is refused and left as it is. The new
// content and then the folder's entry are flushed to the disk before the call returns true. False
// when any step fails; the target is then as it was and no temporary file is left.
bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Several files written as write_file_atomically writes one, in order, with each folder flushed
// once at the end. False at the first file that fails; the files before it are replaced.
struct FileWrite {
  std::filesystem::path path;
  std::span<const std::uint8_t> bytes;
};
bool write_files_atomically(std::span<const FileWrite> files);

}  // namespace records
