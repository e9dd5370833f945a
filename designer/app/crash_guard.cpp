#include "crash_guard.h"

#include "crash_report.h"
#include "online/thread_guard.h"
#include "seh/seh.h"
#include "ui/afxwin.h"

namespace plandrel {
namespace {

LONG CrashFilter(EXCEPTION_POINTERS* pointers, void* label) {
  return WriteCrashReport(pointers, static_cast<const char*>(label));
}

struct ThreadCall {
  unsigned (*body)(void*);
  void* parameter;
};

}  // namespace

unsigned GuardThread(const char* label, unsigned (*body)(void*), void* parameter) {
  ThreadCall call{body, parameter};
  const int result = seh::Guard(
      [](void* self) {
        auto& c = *static_cast<ThreadCall*>(self);
        return static_cast<int>(c.body(c.parameter));
      },
      &call, CrashFilter, const_cast<char*>(label));
  return static_cast<unsigned>(result);
}

int AfxWinMain(int argc, char** argv) {
  PrepareCrashReport();
  SetThreadGuard(GuardThread);
  auto sequence = [argc, argv] { return ::AfxWinMain(argc, argv); };
  return seh::Guard(sequence, CrashFilter, const_cast<char*>(kEntryGuardLabel));
}

}  // namespace plandrel
