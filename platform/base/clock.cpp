// The machine clock: the real steady clock, or a virtual clock that only reads, sleeps and timed
// waits move forward. The virtual state lives in atomics so that reads from many threads stay cheap.
#include "base/clock.h"

#include <atomic>
#include <limits>
#include <thread>

namespace qbase {
namespace {

constexpr std::uint32_t kTimeIncrement100ns = 156250;

// Longer real waits than a century are waits without limit (and would overflow the steady clock).
constexpr std::uint64_t kLongestRealWait = 100ull * 365 * 24 * 3600 * 10'000'000;

std::atomic<bool> virtualActive{false};
std::atomic<std::uint64_t> virtualNow{0};
std::atomic<std::uint64_t> virtualQuantum{0};

using Steady = std::chrono::steady_clock;
using Ticks100ns = std::chrono::duration<std::uint64_t, std::ratio<1, 10'000'000>>;

Steady::time_point realStart() {
    static const Steady::time_point start = Steady::now();
    return start;
}

std::uint64_t realNow() {
    return std::chrono::duration_cast<Ticks100ns>(Steady::now() - realStart()).count();
}

// Moves the virtual time to at least `target` (another thread may already be further on).
void advanceVirtualTo(std::uint64_t target) {
    std::uint64_t current = virtualNow.load();
    while (current < target && !virtualNow.compare_exchange_weak(current, target)) {
    }
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

}  // namespace

std::uint64_t systemTime100ns() {
    if (virtualActive.load()) return virtualNow.fetch_add(virtualQuantum.load());
    return realNow();
}

std::uint32_t tickCountMs() { return static_cast<std::uint32_t>(systemTime100ns() / 10000); }

std::uint32_t timeIncrement100ns() { return kTimeIncrement100ns; }

std::uint64_t kernelTickCount() { return systemTime100ns() / kTimeIncrement100ns; }

void sleep100ns(std::uint64_t duration) {
    if (virtualActive.load()) {
        advanceVirtualTo(saturatingAdd(virtualNow.load(), duration));
        return;
    }
    if (duration > kLongestRealWait) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));  // a sleep without end
    }
    std::this_thread::sleep_for(Ticks100ns(duration));
}

bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, std::uint64_t timeout100ns,
             const std::function<bool()>& ready) {
    if (timeout100ns == std::numeric_limits<std::uint64_t>::max()) {
        cv.wait(lock, ready);
        return true;
    }
    if (virtualActive.load()) {
        if (ready()) return true;
        advanceVirtualTo(saturatingAdd(virtualNow.load(), timeout100ns));
        return ready();
    }
    if (timeout100ns > kLongestRealWait) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_until(lock, Steady::now() + std::chrono::duration_cast<Steady::duration>(Ticks100ns(timeout100ns)),
                         ready);
}

VirtualClock::VirtualClock(std::uint64_t readQuantum100ns) {
    virtualNow.store(0);
    virtualQuantum.store(readQuantum100ns);
    virtualActive.store(true);
}

VirtualClock::~VirtualClock() { virtualActive.store(false); }

void VirtualClock::advance(std::uint64_t duration100ns) { virtualNow.fetch_add(duration100ns); }

std::uint64_t VirtualClock::now() const { return virtualNow.load(); }

void VirtualClock::setReadQuantum(std::uint64_t quantum100ns) { virtualQuantum.store(quantum100ns); }

}  // namespace qbase
