#include "context.h"

#include <atomic>
#include <mutex>
#include <new>

namespace corvix {
namespace {

// Owns the calling thread's context. At thread end (for the main thread: at process exit, before
// the process's static objects go) the context is zeroed, so that its board is closed unless a
// copy shares it; the last started context may keep the zeroed object alive.
struct ThreadContextOwner {
    EngineContextPtr context;
    ThreadContextOwner() {
        try {
            context = std::make_shared<EngineContext>();
        } catch (const std::bad_alloc&) {
        }
    }
    ~ThreadContextOwner() {
        if (context) resetContext(*context);
    }
};

ThreadContextOwner& threadOwner() {
    thread_local ThreadContextOwner owner;
    return owner;
}

std::mutex lastStartedLock;
// Guarded by lastStartedLock. Never destroyed: at process exit the platform's own state may be
// gone before this library's, and the context it keeps may still hold an open board.
EngineContextPtr& lastStarted = *new EngineContextPtr;

std::atomic<std::uint32_t> pageLimit{kDefaultCardPageLimit};

}  // namespace

EngineContext* currentContext() { return threadOwner().context.get(); }
EngineContextPtr currentContextShared() { return threadOwner().context; }

EngineContextPtr lastStartedContext() {
    std::lock_guard lock(lastStartedLock);
    return lastStarted;
}

void setLastStartedContext(EngineContextPtr context) {
    std::lock_guard lock(lastStartedLock);
    lastStarted = std::move(context);
}

std::unique_lock<std::mutex> lockContexts() { return std::unique_lock(lastStartedLock); }

void resetContext(EngineContext& context) {
    EngineContext released;
    {
        std::lock_guard lock(lastStartedLock);
        std::swap(released, context);
    }
}

std::uint32_t cardPageLimit() { return pageLimit.load(std::memory_order_relaxed); }
void setCardPageLimit(std::uint32_t pages) { pageLimit.store(pages, std::memory_order_relaxed); }

}  // namespace corvix
