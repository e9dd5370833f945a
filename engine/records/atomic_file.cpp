#include "records/atomic_file.h"

#include <atomic>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace records {

bool read_whole_file(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.resize(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  // A file that shrank since its size was taken gives what is there.
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

namespace {
// A name in the target's folder that no other writer, in this process or another, picks at the
// same time: the rename is atomic only within one file system.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
  static std::atomic<unsigned> sequence{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::filesystem::path temp = target;
  temp += ".tmp" + std::to_string(random()) + "." + std::to_string(sequence++);
  return temp;
}
}  // namespace

bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const std::filesystem::path temp = temporary_beside(path);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temp, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  return true;
}

}  // namespace records
