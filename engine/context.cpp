#include "context.h"

#include <atomic>
#include <mutex>
#include <new>

namespace corvix {
namespace {

// Owns the calling thread's context; its destructor at thread end releases the thread's
// reference (the last started context may keep the object alive).
struct ThreadContextOwner {
    EngineContextPtr context;
    ThreadContextOwner() {
        try {
            context = std::make_shared<EngineContext>();
        } catch (const std::bad_alloc&) {
        }
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

std::uint32_t cardPageLimit() { return pageLimit.load(std::memory_order_relaxed); }
void setCardPageLimit(std::uint32_t pages) { pageLimit.store(pages, std::memory_order_relaxed); }

}  // namespace corvix
