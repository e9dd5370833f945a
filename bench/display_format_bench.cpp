// Display format: Format of a 128-byte value and Parse of its text, with a run of hexadecimal
// bytes and with a format that uses every letter. Target: at most 2 us each (median).
#include "model/display_format.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

// 128 bytes: every letter once, then the rest as hexadecimal bytes.
constexpr const char* kMixedFormat = "%c%h%4s%i%u%z%l%t%f%w%g%96h";

std::array<std::uint8_t, 128> Value() {
  std::array<std::uint8_t, 128> value{};
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i * 37 + 11);
  // printable characters for s, and ordinary numbers for f, w, g
  value[2] = 'F', value[3] = 'I', value[4] = 'P', value[5] = '!';
  const std::uint8_t floats[12] = {0x3F, 0xC0, 0, 0, 0, 0, 0xC0, 0x3F, 0x42, 0xF6, 0xE9, 0x79};
  for (std::size_t i = 0; i < 12; ++i) value[20 + i] = floats[i];
  return value;
}

void Format(benchmark::State& state, const char* format) {
  const auto value = Value();
  for (auto _ : state) {
    auto text = plandrel::FormatValue(format, value);
    benchmark::DoNotOptimize(text);
  }
}

void Parse(benchmark::State& state, const char* format) {
  const auto value = Value();
  const std::string text = *plandrel::FormatValue(format, value);
  std::array<std::uint8_t, 128> out{};
  for (auto _ : state) {
    auto parsed = plandrel::ParseValue(format, text, out);
    benchmark::DoNotOptimize(parsed);
    benchmark::DoNotOptimize(out);
  }
  if (out != value) state.SkipWithError("the parsed bytes differ from the formatted ones");
}

BENCHMARK_CAPTURE(Format, hex128, "%128h")->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(Format, every_letter, kMixedFormat)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(Parse, hex128, "%128h")->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(Parse, every_letter, kMixedFormat)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
