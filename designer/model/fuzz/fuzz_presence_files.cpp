// libFuzzer harness for the presence test's reading of the param and stations working files,
// which come from the working folder as any earlier run (or hand) left them. The input is a kind
// byte, a length byte (the param file's, 255 for no param file), then the param file's bytes and
// the stations file's bytes (an empty rest: no stations file). Besides crashes and sanitizer
// reports, it checks that a generation that succeeds has the size its kind calls for and that the
// local address it takes lies in 0..255.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "model/presence_configuration.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto kind = static_cast<plandrel::PresenceKind>(data[0] % 3);
  const std::span<const std::uint8_t> rest(data + 2, size - 2);
  std::optional<std::span<const std::uint8_t>> param, stations;
  std::size_t used = 0;
  if (data[1] != 0xFF) {
    used = std::min<std::size_t>(data[1], rest.size());
    param = rest.first(used);
  }
  if (used < rest.size()) stations = rest.subspan(used);
  plandrel::PresenceSettings settings;
  const plandrel::PresenceFile file = plandrel::BuildPresenceConfiguration(kind, param, stations, settings);
  check(settings.local_address >= 0 && settings.local_address < plandrel::kPhysicalAddresses);
  if (file.result == plandrel::PresenceFileResult::ok) {
    const std::size_t lines[] = {1, 256, 268}, variables[] = {1, 257, 258};
    const auto k = static_cast<std::size_t>(kind);
    check(file.bytes.size() == 11 + 262 + 2 + 15 * lines[k] + 2 + 2 + 34 + 2 + 122 * variables[k] + 4 + 35 + 2);
  }
  return 0;
}
