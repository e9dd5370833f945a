// libFuzzer harness for the readers of configuration and working files. Besides finding crashes
// and sanitizer reports, it checks that whatever a reader accepts writes back to bytes that read
// again to the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

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

  records::Configuration again;
  check(records::decode_configuration(records::encode_format4(configuration), again, summary) ==
        records::Status::ok);
  check(again == configuration);
  check(records::decode_configuration(records::encode_format3(configuration), again, summary) ==
        records::Status::ok);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  read_configuration(bytes);
  read_sections(bytes);
  widen(bytes);
  return 0;
}
