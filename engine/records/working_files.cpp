#include "records/working_files.h"

#include <array>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "records/atomic_file.h"

namespace records {

WorkingFiles::WorkingFiles(std::filesystem::path folder, int board_type, int board_number)
    : folder_(std::move(folder)), board_type_(board_type), board_number_(board_number) {}

std::filesystem::path WorkingFiles::path(Section section) const {
  std::string name(section_name(section));
  name += std::to_string(board_type_) + std::to_string(board_number_) + ".trv";
  return folder_ / name;
}

std::filesystem::path WorkingFiles::download_image() const { return folder_ / "trv"; }

bool WorkingFiles::exist() const {
  for (Section section : kSections) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path(section), error) ||
        !std::ifstream(path(section), std::ios::binary))
      return false;
  }
  return true;
}

Status WorkingFiles::write(Section section, const Configuration& configuration) const {
  std::vector<std::uint8_t> bytes;
  encode_section(section, configuration, bytes);
  return write_file_atomically(path(section), bytes) ? Status::ok
                                                     : Status::cannot_create_working_file;
}

Status WorkingFiles::write_all(const Configuration& configuration) const {
  std::array<std::vector<std::uint8_t>, kSections.size()> bytes;
  std::array<FileWrite, kSections.size()> files;
  for (std::size_t i = 0; i < kSections.size(); ++i) {
    encode_section(kSections[i], configuration, bytes[i]);
    files[i] = {path(kSections[i]), bytes[i]};
  }
  return write_files_atomically(files) ? Status::ok : Status::cannot_create_working_file;
}

namespace {

// A working file holds one section, never more than a whole configuration.
Status read_bounded(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes) {
  switch (read_whole_file(file, kLargestConfigurationFile, bytes)) {
    case FileRead::ok: return Status::ok;
    case FileRead::too_large: return Status::too_large;
    case FileRead::cannot_open: break;
  }
  return Status::cannot_open;
}

}  // namespace

Status WorkingFiles::read(Section section, Configuration& configuration) const {
  std::vector<std::uint8_t> bytes;
  if (Status s = read_bounded(path(section), bytes); s != Status::ok) return s;
  std::size_t consumed = 0;
  return decode_section(section, bytes, configuration, consumed);
}

Status WorkingFiles::read_all(Configuration& configuration) const {
  for (Section section : kSections)
    if (Status s = read(section, configuration); s != Status::ok) return s;
  return Status::ok;
}

Status WorkingFiles::write_format4(const std::filesystem::path& destination) const {
  std::vector<std::uint8_t> image(kMagic4.begin(), kMagic4.end());
  for (Section section : kSections) {
    std::vector<std::uint8_t> bytes;
    if (Status s = read_bounded(path(section), bytes); s != Status::ok) return s;
    // Decoding checks the section and finds its end: exactly its counted records are copied.
    Configuration scratch;
    std::size_t consumed = 0;
    if (Status s = decode_section(section, bytes, scratch, consumed); s != Status::ok) return s;
    image.insert(image.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(consumed));
  }
  return write_file_atomically(destination, image) ? Status::ok : Status::cannot_write;
}

Status WorkingFiles::write_format3(const std::filesystem::path& destination) const {
  Configuration configuration;
  if (Status s = read_all(configuration); s != Status::ok) return s;
  return write_file_atomically(destination, encode_format3(configuration)) ? Status::ok
                                                                          : Status::cannot_write;
}

Status load_configuration_file(const std::filesystem::path& file, const WorkingFiles& working,
                               Configuration& configuration, LoadSummary& summary) {
  std::vector<std::uint8_t> bytes;
  if (Status s = read_bounded(file, bytes); s != Status::ok) return s;
  const Status decoded = decode_configuration(bytes, configuration, summary);
  if (decoded != Status::ok && decoded != Status::memory_full) return decoded;
  if (Status s = working.write_all(configuration); s != Status::ok) return s;
  return decoded;
}

}  // namespace records
