#include "records/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "win32/windows.h"

namespace records {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

bool open_regular(const std::filesystem::path& path, std::ifstream& in) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  in.open(path, std::ios::binary);
  return static_cast<bool>(in);
}

}  // namespace

FileRead read_whole_file(const std::filesystem::path& path, std::size_t max_bytes,
                         std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::ifstream in;
  if (!open_regular(path, in)) return FileRead::cannot_open;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return FileRead::cannot_open;
  if (size > max_bytes) return FileRead::too_large;
  bytes.reserve(static_cast<std::size_t>(size));
  std::size_t total = 0;
  // Read up to one byte past the largest, so that a file grown since its size was taken is seen.
  while (total <= max_bytes) {
    const std::size_t chunk = std::min(kReadChunk, max_bytes + 1 - total);
    bytes.resize(total + chunk);
    in.read(reinterpret_cast<char*>(bytes.data() + total), static_cast<std::streamsize>(chunk));
    total += static_cast<std::size_t>(in.gcount());
    if (!in) break;
  }
  bytes.resize(total);
  if (in.bad()) {
    bytes.clear();
    return FileRead::cannot_open;
  }
  if (total > max_bytes) {
    bytes.clear();
    return FileRead::too_large;
  }
  return FileRead::ok;
}

bool read_file_head(const std::filesystem::path& path, std::size_t count,
                    std::vector<std::uint8_t>& bytes) {
  bytes.assign(count, 0);
  std::ifstream in;
  if (!open_regular(path, in)) {
    bytes.clear();
    return false;
  }
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) bytes.clear();
  return !in.bad();
}

namespace {

// A name in the target's folder that no other writer, in this process or another, picks at the
// same time: the replacement is atomic only within one file system.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
  static std::atomic<unsigned> sequence{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::filesystem::path temp = target;
  temp += ".tmp" + std::to_string(random()) + "." + std::to_string(sequence++);
  return temp;
}

// The file that `path` names through any chain of symbolic links (the link's target need not
// exist yet). A chain that loops is left as it stands, and its replacement then fails.
std::filesystem::path followed_links(std::filesystem::path path) {
  constexpr int kMostLinks = 40;
  for (int hop = 0; hop < kMostLinks; ++hop) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) break;
    const std::filesystem::path to = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
  return path;
}

bool write_flushed(const std::string& file, std::span<const std::uint8_t> bytes) {
  const HANDLE handle =
      CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    ok = WriteFile(handle, bytes.data(), chunk, &written, nullptr) && written == chunk;
    bytes = bytes.subspan(chunk);
  }
  ok = ok && FlushFileBuffers(handle);
  return CloseHandle(handle) && ok;
}

}  // namespace

bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const std::string target = followed_links(path).string();
  const std::string temp = temporary_beside(target).string();
  bool ok = write_flushed(temp, bytes);
  if (ok) {
    // An existing file is replaced keeping its mode; only a file that is not there is created.
    ok = ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);
    if (!ok && GetLastError() == ERROR_FILE_NOT_FOUND)
      ok = MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
  }
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace records
