// The designer started as the program starts (resources, application object, the entry with its
// crash guard) on the simulated machine, with PCI board 1 selected; once start-up is done it raises
// the exception that its first argument names.
//
//   plandrel_crash_child KIND [FOLDER]
//
// "twice" runs no application: it calls the filter twice with made-up exceptions, the crash files
// going to FOLDER.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "about_dlg.h"
#include "crash_guard.h"
#include "crash_report.h"
#include "frame_resources.h"
#include "online/thread_guard.h"
#include "plandrel_app.h"

namespace {

std::string kind;
std::atomic<int> ready{0};

// A null pointer that the compiler cannot see as null: the write is done, not optimised away.
volatile int* volatile null_pointer = nullptr;
volatile int zero = 0, seven = 7;

// The undefined-behaviour checker would stop these faults before they happen.
#define FAULTS __attribute__((noinline, no_sanitize("undefined")))

FAULTS void WriteNull() { *null_pointer = 1; }

volatile bool deeper = true;  // always: the stack overflows

[[gnu::noinline]] int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return deeper ? Recurse(depth + 1) + frame[0] : 0;
}

unsigned FaultTogether(void*) {
  ++ready;
  while (ready.load() < 2) {
  }
  WriteNull();
  return 0;
}

FAULTS void Raise() {
  if (kind == "null-write") {
    WriteNull();
  } else if (kind == "stack-overflow") {
    Recurse(0);
  } else if (kind == "divide") {
    std::exit(seven / zero);
  } else if (kind == "abort") {
    std::abort();
  } else if (kind == "throw") {
    throw std::runtime_error("nobody catches this");
  } else if (kind == "session-thread") {
    std::thread([] { plandrel::RunGuardedThread(plandrel::kSessionThreadLabel, [](void*) -> unsigned { WriteNull(); return 0; }, nullptr); })
        .join();
  } else if (kind == "two-threads") {
    std::thread first([] { plandrel::RunGuardedThread(plandrel::kSessionThreadLabel, FaultTogether, nullptr); });
    std::thread second([] { plandrel::RunGuardedThread("Second thread", FaultTogether, nullptr); });
    first.join();
    second.join();
  } else if (kind == "deleted-module") {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::read_symlink("/proc/self/exe", ignored), ignored);
    WriteNull();
  } else if (kind == "bad-stack") {
    // A stack pointer into unmapped memory, then a write there.
    asm volatile("mov $0x10000, %%rsp\n\tmovl $1, (%%rsp)" ::: "memory");
  }
}

class CrashingApp : public plandrel::CPlandrelApp {
 public:
  BOOL InitInstance() override {
    if (!CPlandrelApp::InitInstance()) return FALSE;
    Raise();
    return TRUE;
  }
};

LONG MadeUp(DWORD code) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = code;
  CONTEXT context{};
  EXCEPTION_POINTERS pointers{&record, &context};
  return plandrel::WriteCrashReport(&pointers, "made up");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  kind = argv[1];
  if (kind == "twice") {
    plandrel::PrepareCrashReport();
    if (argc > 2) plandrel::SetCrashReportFolder(argv[2]);
    const LONG first = MadeUp(EXCEPTION_INT_DIVIDE_BY_ZERO);
    const LONG second = MadeUp(EXCEPTION_ACCESS_VIOLATION);
    return first == EXCEPTION_CONTINUE_SEARCH && second == EXCEPTION_CONTINUE_SEARCH ? 0 : 1;
  }
  plandrel::RegisterFrameResources();
  plandrel::RegisterAboutDialog();
  CrashingApp app;
  app.SetBoardSelection([](plandrel::SelectedDevice& device) {
    device = {1, plandrel::kBoardTypePci};
    return IDOK;
  });
  // The kind is not a file for the command line to open.
  return plandrel::AfxWinMain(1, argv);
}
