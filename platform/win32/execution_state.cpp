// SetThreadExecutionState and OutputDebugString: recorded for tests rather than acted on.
#include <atomic>

#include "base/debug_output.h"
#include "win32/testing.h"

namespace qwin32 {
namespace {

constexpr EXECUTION_STATE kKnownFlags = ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED | ES_AWAYMODE_REQUIRED | ES_CONTINUOUS;

std::atomic<EXECUTION_STATE> continuousState{ES_CONTINUOUS};

}  // namespace

EXECUTION_STATE testing::currentExecutionState() { return continuousState.load(); }

}  // namespace qwin32

EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags) {
    if (flags & ~qwin32::kKnownFlags) return 0;  // the platform's failure result
    // Without ES_CONTINUOUS the call only resets the idle timers once; the continuous state stays.
    if (!(flags & ES_CONTINUOUS)) return qwin32::continuousState.load();
    return qwin32::continuousState.exchange(flags);
}

void OutputDebugStringA(LPCSTR text) { qbase::debug::write(text ? text : ""); }
