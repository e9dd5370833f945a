// An application thread of its own: runs engine calls one at a time on its thread, so that the
// calls work on that thread's engine context. The thread stops its engine when it ends.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "corvix.h"

namespace corvix::testing {

class EngineThread {
public:
    EngineThread() : thread_([this] { loop(); }) {}
    ~EngineThread() {
        run([] { STOP_FIP_ENGINE(); });
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    // Runs `f` on the thread and returns its result once it has run.
    template <class F>
    auto run(F f) -> decltype(f()) {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        {
            std::lock_guard lock(mutex_);
            tasks_.emplace_back([&task] { task(); });
        }
        wake_.notify_all();
        return result.get();
    }

private:
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return done_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool done_ = false;
    std::thread thread_;  // last: starts once the members above exist
};

}  // namespace corvix::testing
