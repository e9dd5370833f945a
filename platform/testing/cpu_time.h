// Processor time of the calling thread, for tests that check that a thread waits without spinning.
#pragma once

#include <time.h>

namespace qtesting {

inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace qtesting
