// The lock of a simulated chip's register path. It is held for a few hundred instructions per
// access and almost never contended (one driver thread runs a board's transaction), so taking it
// is one exchange and releasing it one store; a thread that finds it taken yields until it is free.
#pragma once

#include <atomic>
#include <thread>

namespace sim {

class RegisterLock {
public:
    void lock() noexcept {
        while (taken_.exchange(true, std::memory_order_acquire))
            while (taken_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
    bool try_lock() noexcept { return !taken_.exchange(true, std::memory_order_acquire); }
    void unlock() noexcept { taken_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> taken_{false};
};

}  // namespace sim
