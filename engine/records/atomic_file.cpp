#include "records/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <system_error>

#include "win32/windows.h"

namespace records {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// An open file for reading, closed with the last error kept, so that a caller can tell why a
// read failed.
class Reader {
 public:
  explicit Reader(const std::filesystem::path& path) {
    // Only a regular file: opening a pipe or a device of the host would wait for a writer.
    std::error_code error;
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return;
    }
    handle_ = CreateFileA(path.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~Reader() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    const DWORD error = GetLastError();
    CloseHandle(handle_);
    SetLastError(error);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool size(std::uint64_t& bytes) const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size)) return false;
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return true;
  }
  // Reads up to `count` bytes into `out`; `read` is less at the end of the file.
  bool read(std::uint8_t* out, std::size_t count, std::size_t& read) const {
    read = 0;
    while (read < count) {
      const DWORD chunk = static_cast<DWORD>(std::min(count - read, kReadChunk));
      DWORD got = 0;
      if (!ReadFile(handle_, out + read, chunk, &got, nullptr)) return false;
      if (got == 0) break;
      read += got;
    }
    return true;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

FileRead read_whole_file(const std::filesystem::path& path, std::size_t max_bytes,
                         std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  const Reader in(path);
  std::uint64_t size = 0;
  if (!in.is_open() || !in.size(size)) return FileRead::cannot_open;
  if (size > max_bytes) return FileRead::too_large;
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t total = 0;
  bool ok = in.read(bytes.data(), bytes.size(), total);
  // A file that grew since its size was taken is read on, up to one byte past the largest.
  while (ok && total == bytes.size() && total <= max_bytes) {
    bytes.resize(total + std::min(kReadChunk, max_bytes + 1 - total));
    std::size_t more = 0;
    ok = in.read(bytes.data() + total, bytes.size() - total, more);
    total += more;
    if (more == 0) break;
  }
  bytes.resize(total);
  if (!ok || total > max_bytes) {
    bytes.clear();
    return ok ? FileRead::too_large : FileRead::cannot_open;
  }
  return FileRead::ok;
}

bool read_file_head(const std::filesystem::path& path, std::size_t count,
                    std::vector<std::uint8_t>& bytes) {
  bytes.assign(count, 0);
  const Reader in(path);
  std::size_t read = 0;
  if (!in.is_open() || !in.read(bytes.data(), count, read)) {
    bytes.clear();
    return false;
  }
  bytes.resize(read);
  return true;
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

// Puts the file's new content in place; its folder's entry is not yet on the disk.
bool replace(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const std::string target = followed_links(path).string();
  const std::string temp = temporary_beside(target).string();
  bool ok = write_flushed(temp, bytes);
  if (ok) {
    // An existing file is replaced keeping its mode; only a file that is not there is created.
    ok = ReplaceFileA(target.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr);
    if (!ok && GetLastError() == ERROR_FILE_NOT_FOUND) ok = MoveFileExA(temp.c_str(), target.c_str(), 0);
  }
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

bool flush_folder(const std::filesystem::path& folder) {
  const std::string name = folder.empty() ? std::string(".") : folder.string();
  const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(handle);
  return CloseHandle(handle) && flushed;
}

}  // namespace

bool write_files_atomically(std::span<const FileWrite> files) {
  std::vector<std::filesystem::path> folders;
  bool ok = true;
  for (const FileWrite& file : files) {
    if (!(ok = replace(file.path, file.bytes))) break;
    const std::filesystem::path folder = followed_links(file.path).parent_path();
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  }
  // The folders of the files replaced, failure or not: what was replaced is on the disk.
  for (const std::filesystem::path& folder : folders) ok = flush_folder(folder) && ok;
  return ok;
}

bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const FileWrite file{path, bytes};
  return write_files_atomically(std::span(&file, 1));
}

}  // namespace records
