// Recursive critical sections with the debug lock-order check. Each thread keeps the list of the
// sections it holds (with their recursion counts); a ranked section entered while the thread holds
// a section of a higher rank is a violation.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "ui/critical_section.h"

namespace qui::detail {

struct CriticalSectionState {
    std::recursive_mutex mutex;
    int rank = -1;  // unranked: not checked against the others
    std::string name;
};

namespace {

struct Held {
    CriticalSectionState* state;
    int count;
};

thread_local std::vector<Held> held;

std::mutex handlerMutex;
LockOrderHandler handler;

#ifdef NDEBUG
constexpr bool kChecked = false;
#else
constexpr bool kChecked = true;
#endif

void report(const std::string& text) {
    LockOrderHandler h;
    {
        std::lock_guard lock(handlerMutex);
        h = handler;
    }
    if (h) {
        h(text);
        return;
    }
    std::fprintf(stderr, "lock order: %s\n", text.c_str());
    std::abort();
}

std::string nameOf(const CriticalSectionState* state) {
    return state->name.empty() ? std::string("unnamed section") : state->name;
}

void checkOrder(CriticalSectionState* state) {
    if (!kChecked || state->rank < 0) return;
    for (const Held& h : held) {
        if (h.state == state) return;  // re-entry is always allowed
    }
    for (const Held& h : held) {
        if (h.state->rank > state->rank) {
            report(nameOf(state) + " entered while " + nameOf(h.state) + " is held");
            return;
        }
    }
}

}  // namespace
}  // namespace qui::detail

using qui::detail::CriticalSectionState;

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    if (section) section->state = new CriticalSectionState;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    if (!section) return;
    delete section->state;
    section->state = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    using namespace qui::detail;
    if (!section || !section->state) return;
    checkOrder(section->state);
    section->state->mutex.lock();
    for (Held& h : held) {
        if (h.state == section->state) {
            ++h.count;
            return;
        }
    }
    held.push_back(Held{section->state, 1});
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    using namespace qui::detail;
    if (!section || !section->state || !section->state->mutex.try_lock()) return FALSE;
    for (Held& h : held) {
        if (h.state == section->state) {
            ++h.count;
            return TRUE;
        }
    }
    held.push_back(Held{section->state, 1});
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    using namespace qui::detail;
    if (!section || !section->state) return;
    const auto it = std::find_if(held.begin(), held.end(), [&](const Held& h) { return h.state == section->state; });
    if (it == held.end()) return;  // not held by this thread: nothing to release
    if (--it->count == 0) held.erase(it);
    section->state->mutex.unlock();
}

namespace qui {

void SetCriticalSectionRank(LPCRITICAL_SECTION section, int rank, const char* name) {
    if (!section || !section->state) return;
    section->state->rank = rank;
    section->state->name = name ? name : "";
}

int HeldCriticalSectionCount() { return static_cast<int>(detail::held.size()); }

bool LockOrderChecked() { return detail::kChecked; }

LockOrderHandler SetLockOrderHandler(LockOrderHandler newHandler) {
    std::lock_guard lock(detail::handlerMutex);
    auto previous = std::move(detail::handler);
    detail::handler = std::move(newHandler);
    return previous;
}

void CheckNoLockHeldForSend() {
    if (!detail::kChecked || detail::held.empty()) return;
    detail::report("a message sent to another thread while " + detail::nameOf(detail::held.front().state) + " is held");
}

}  // namespace qui
