// The crash report and the dump of a process of 50 MB, as the filter writes them on a guarded
// thread: the report's 14 groups with every module, the dump with the thread's stack and the
// module list, both written through to the disk. Target: both within 1 s of the exception.
#include <benchmark/benchmark.h>

#include <ucontext.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "crash_report.h"
#include "seh/seh.h"

namespace {

namespace fs = std::filesystem;

void CrashFiles(benchmark::State& state) {
  // 50 MB of data that the process uses.
  std::vector<char> memory(50u << 20);
  std::memset(memory.data(), 0x5A, memory.size());
  const fs::path folder = fs::temp_directory_path() / ("plandrel-crash-bench-" + std::to_string(::getpid()));
  plandrel::PrepareCrashReport();
  plandrel::SetCrashReportFolder(folder);

  // An exception as the guard gives it: the registers of this thread here.
  ucontext_t here;
  getcontext(&here);
  CONTEXT context{};
  context.Rsp = static_cast<DWORD64>(here.uc_mcontext.gregs[REG_RSP]);
  context.Rip = static_cast<DWORD64>(here.uc_mcontext.gregs[REG_RIP]);
  context.SegCs = 0x33;
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 1;
  EXCEPTION_POINTERS pointers{&record, &context};

  for (auto _ : state) benchmark::DoNotOptimize(plandrel::WriteCrashFiles(&pointers, "benchmark"));
  state.counters["report_bytes"] = static_cast<double>(fs::file_size(folder / "Dump" / plandrel::kCrashReportFile));
  state.counters["dump_bytes"] = static_cast<double>(fs::file_size(folder / "Dump" / plandrel::kCrashDumpFile));
  benchmark::DoNotOptimize(memory.data());
  fs::remove_all(folder);
}
BENCHMARK(CrashFiles)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // On a guarded thread, as the filter runs: its stack is known to the report and the dump.
  auto run = [] {
    benchmark::RunSpecifiedBenchmarks();
    return 0;
  };
  return seh::Guard(run, [](EXCEPTION_POINTERS*, void*) -> LONG { return EXCEPTION_CONTINUE_SEARCH; }, nullptr);
}
