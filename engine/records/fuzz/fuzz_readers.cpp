// libFuzzer harness for the readers of configuration and working files and for the bounded
// whole-file read. Besides finding crashes and sanitizer reports, it checks that whatever a reader
// accepts writes back to bytes that read again to the same records, and that records whose
// consistency Open accepts are accepted again after a save in either format.
#include <cstddef>
#include <cstdint>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/format3.h"
#include "records/sections.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void read_configuration(std::span<const std::uint8_t> bytes) {
  records::Configuration configuration;
  records::LoadSummary summary;
  const records::Status status = records::decode_configuration(bytes, configuration, summary);
  if (status != records::Status::ok) return;

  const bool consistent = records::check_consistency(configuration) == records::Status::ok;
  records::Configuration again;
  check(records::decode_configuration(records::encode_format4(configuration), again, summary) ==
        records::Status::ok);
  check(again == configuration);
  check(records::decode_configuration(records::encode_format3(configuration), again, summary) ==
        records::Status::ok);
  check(!consistent || records::check_consistency(again) == records::Status::ok);
}

void read_sections(std::span<const std::uint8_t> bytes) {
  for (records::Section section : records::kSections) {
    records::Configuration configuration;
    std::size_t consumed = 0;
    if (records::decode_section(section, bytes, configuration, consumed) != records::Status::ok)
      continue;
    check(consumed <= bytes.size());
    std::vector<std::uint8_t> encoded;
    records::encode_section(section, configuration, encoded);
    check(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(consumed)) ==
          encoded);
  }
}

void widen(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= records::MESSAGE3::size) {
    const auto m = records::from_bytes<records::MESSAGE3>(bytes.first<records::MESSAGE3::size>());
    (void)records::widen_for_download(m);
    (void)records::widen_for_designer(m, 0);
  }
  if (bytes.size() >= records::VARIABLE3::size) {
    const auto v = records::from_bytes<records::VARIABLE3>(bytes.first<records::VARIABLE3::size>());
    records::ChannelNumbering channels;
    (void)records::widen_for_download(v);
    (void)records::widen_for_designer(v, 0, channels);
  }
}

// The bounded whole-file read of the bytes as a file: taken whole at their own size, refused
// unread one byte below it.
void read_file(std::span<const std::uint8_t> bytes) {
  // In memory where the system offers it: rewriting a file on the disk costs milliseconds.
  static const std::string path =
      (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string()) +
      "/fuzz_records_" + std::to_string(getpid());
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::vector<std::uint8_t> read;
  check(records::read_whole_file(path, bytes.size(), read) == records::FileRead::ok);
  check(std::equal(read.begin(), read.end(), bytes.begin(), bytes.end()));
  if (bytes.empty()) return;
  check(records::read_whole_file(path, bytes.size() - 1, read) == records::FileRead::too_large);
  check(read.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  read_configuration(bytes);
  read_sections(bytes);
  widen(bytes);
  read_file(bytes);
  return 0;
}
