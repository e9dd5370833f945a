#include "online/thread_guard.h"

#include <atomic>

namespace plandrel {
namespace {

std::atomic<ThreadGuard> installed_guard{nullptr};

}  // namespace

void SetThreadGuard(ThreadGuard guard) { installed_guard = guard; }

unsigned RunGuardedThread(const char* label, ThreadBody body, void* parameter) {
  const ThreadGuard guard = installed_guard.load();
  return guard != nullptr ? guard(label, body, parameter) : body(parameter);
}

}  // namespace plandrel
