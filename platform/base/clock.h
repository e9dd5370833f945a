// The machine's clock: system time, tick count, sleeps and timed waits.
//
// Every time-dependent call of the platform stand-ins (Win32 Sleep, WaitForSingleObject, tick
// counts; kernel system time, tick count, delays, timed event waits) goes through here, so that a
// test can install a virtual clock and a 20-second or 50-second wait runs instantly.
//
// Real clock (the default): steady time since the process first asked; sleeps and waits block.
// Virtual clock (tests): time starts at 0 and moves only forward:
//   - every read of the time advances it by the read quantum (so that a loop that polls the time
//     until a limit, such as a driver's 50 s register wait, ends after a bounded number of reads);
//   - a sleep advances it by the sleep's length at once;
//   - a timed wait whose condition does not hold advances it to the wait's deadline at once and
//     reports a time-out; a condition that already holds is reported without advancing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace qbase {

// System time in 100 ns units (the kernel's unit); 0 at the clock's start.
std::uint64_t systemTime100ns();
// Milliseconds since the clock's start, wrapping at 2^32 as the platform's tick count does.
std::uint32_t tickCountMs();
// Length of one kernel clock tick in 100 ns units (the kernel's time increment): 156250 (15.625 ms).
std::uint32_t timeIncrement100ns();
// Kernel tick count: system time / time increment.
std::uint64_t kernelTickCount();

void sleep100ns(std::uint64_t duration);
inline void sleepMs(std::uint32_t ms) { sleep100ns(std::uint64_t{ms} * 10000); }

// Waits on `cv` (with `lock` held on entry and exit) until `ready()` holds or `timeout100ns` has
// passed on the machine clock. UINT64_MAX waits without limit. Returns ready()'s final value.
bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
             std::uint64_t timeout100ns, const std::function<bool()>& ready);

// Installs a virtual clock for its lifetime (tests). Not nestable; the real clock returns after it.
class VirtualClock {
public:
    explicit VirtualClock(std::uint64_t readQuantum100ns = 1000);  // 100 us per read by default
    ~VirtualClock();
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    void advance(std::uint64_t duration100ns);
    std::uint64_t now() const;  // the time without advancing it
    void setReadQuantum(std::uint64_t quantum100ns);
};

}  // namespace qbase
