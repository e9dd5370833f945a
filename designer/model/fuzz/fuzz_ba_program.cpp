// libFuzzer harness for the BA program editor's readers: the 15-byte macro lines of a configuration
// file and the numbers a user types. The input's first 15 bytes are a stored line, the next four
// choose a slot and a speed constant, the rest is typed text. Besides crashes and sanitizer reports,
// it checks that a date line is stored again as it was read, that every unit count stays within
// its bounds and that a fitted count never leaves its range.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/ba_program.h"
#include "model/general_settings.h"
#include "model/typed_value.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view stored = input.substr(0, std::min<std::size_t>(input.size(), 15));
  const std::string_view rest = input.substr(stored.size());
  const auto byte = [&](std::size_t i) { return i < rest.size() ? static_cast<std::uint8_t>(rest[i]) : std::uint8_t{0}; };
  const auto slot = static_cast<std::uint16_t>(byte(0) % 6);  // 4 and 5: outside the table
  const auto speed_constant = static_cast<std::uint16_t>(byte(1) | (byte(2) << 8));
  const std::string_view typed = rest.substr(std::min<std::size_t>(rest.size(), 3));
  const float unit = plandrel::BaTimeUnit(slot, speed_constant);
  const float other = plandrel::BaTimeUnit(static_cast<std::uint16_t>(byte(0) / 6 % 4), 64);

  plandrel::BaLine line = plandrel::BaLine::FromInstruction(records::make_instruction(stored));
  check(line.Stored().size() <= 15);
  (void)line.Display(unit);
  if (line.IsDate()) {
    check(line.Units() >= 0 && line.Units() <= 0xFFFF);
    check(plandrel::BaLine::FromStored(line.Stored()) == line);
    line.Requantise(unit, other);
    check(line.Units() >= 0 && line.Units() <= 0xFFFF);
  }

  if (const auto time = plandrel::ReadTypedReal(typed)) {
    const std::int32_t units = plandrel::QuantiseBaUnits(plandrel::StoredSingle(*time), unit);
    check(units >= -plandrel::kBaMaxUnits && units <= plandrel::kBaMaxUnits);
    const plandrel::FittedCount fitted = plandrel::FitTypedTime(*time, {1.25, 0.625}, 14, 63);
    check(fitted.count >= 14 && fitted.count <= 63);
  }
  if (const auto value = plandrel::ReadTypedHex(typed)) check(*value >= -(std::int64_t{1} << 40) && *value <= (std::int64_t{1} << 40));
  return 0;
}
