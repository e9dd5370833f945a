// Bounded spinning before a thread blocks, for the hand-offs between threads (a request and the
// thread that answers it, a worker and the next call handed to it).
//
// A waiter that blocks pays a wake-up when its condition comes true: on an idle machine the
// scheduler takes tens of microseconds to run a sleeping thread again (its core has gone to
// sleep), far more than the work handed over. So a waiter first watches its condition for a
// short while and blocks only when it has not come true.
//
// The spin lasts at most kSpinBudget (50 us), about what one block and wake-up costs on an idle
// machine: a hand-off answered within the budget costs no wake-up, and a longer wait costs at most
// the budget on top of the wake-up it pays anyway (never more than twice the best choice made in
// hindsight). It backs off with pause instructions between checks, their number doubling up to
// 64. It never yields the processor: on a machine whose cores are all busy, a yield hands the
// core to another runnable thread for the rest of its time slice (milliseconds), which is what
// the hand-off was meant to save; the thread being waited for, when woken, preempts a busy
// thread elsewhere instead. A thread that waits long thus burns at most the budget per wait, then
// sleeps.
//
// The condition is read without the waiter's lock: it must be an atomic (or read only atomics),
// and the waiter must check it again under its lock before it blocks.
#pragma once

#include <algorithm>
#include <chrono>

namespace qbase {

inline constexpr std::chrono::microseconds kSpinBudget{50};

// One pause of the processor inside a spin loop (lets the core's other thread run, saves power).
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    asm volatile("yield");
#endif
}

// Watches `ready` for up to `budget` of real time, backing off as above. Returns ready()'s last
// value: true when the condition came true during the spin (the caller need not block).
template <class Ready>
bool spinUntil(Ready&& ready, std::chrono::microseconds budget = kSpinBudget) {
    if (ready()) return true;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    unsigned pauses = 1;
    for (;;) {
        const Clock::duration spent = Clock::now() - start;
        if (spent >= budget) return ready();
        for (unsigned i = 0; i < pauses; ++i) cpuRelax();
        pauses = std::min(pauses * 2, 64u);
        if (ready()) return true;
    }
}

}  // namespace qbase
