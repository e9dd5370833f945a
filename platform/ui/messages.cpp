// Window handles and the thread queues. A handle is (generation << 32 | slot + 1); a slot's
// generation grows when its window is destroyed, so an old handle never names a new window. One
// table lock guards the slots; each queue has its own lock and never nests with another queue's.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "base/spin_wait.h"
#include "ui_internal.h"
#include "win32/device_notify.h"

namespace qui::detail {
namespace {

struct Queue;

struct PendingSend {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<Queue> sender;
    LRESULT result = 0;           // guarded by sender->mutex
    std::atomic<bool> done{false};  // written under sender->mutex after result; the sender's spin reads it
};

struct Queue {
    DWORD threadId = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<MSG> posts;
    std::deque<std::shared_ptr<PendingSend>> sends;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    // Posts and sends queued so far, and when a send from another thread was last served (steady
    // clock): the main thread's spin before it blocks watches them without the lock.
    std::atomic<std::uint64_t> arrivals{0};
    std::atomic<std::int64_t> lastSendServed{std::numeric_limits<std::int64_t>::min() / 2};
    // Main thread only: how Qt is woken, and whether a wake is on its way.
    std::function<void()> waker;
    bool wakePending = false;
};

struct Slot {
    std::uint32_t generation = 1;
    CWnd* window = nullptr;
    std::shared_ptr<Queue> owner;
};

std::mutex tableMutex;
std::vector<Slot> slots;
std::vector<std::uint32_t> freeSlots;
std::atomic<DWORD> nextThreadId{1};
std::atomic<DWORD> mainThreadId{0};
PreTranslate preTranslate;

HWND makeHandle(std::uint32_t index, std::uint32_t generation) {
    return reinterpret_cast<HWND>((static_cast<std::uintptr_t>(generation) << 32) | (index + 1));
}

bool splitHandle(HWND window, std::uint32_t& index, std::uint32_t& generation) {
    const auto value = reinterpret_cast<std::uintptr_t>(window);
    const std::uint32_t low = static_cast<std::uint32_t>(value & 0xFFFFFFFFu);
    if (low == 0) return false;
    index = low - 1;
    generation = static_cast<std::uint32_t>(value >> 32);
    return true;
}

void complete(const std::shared_ptr<PendingSend>& send, LRESULT result) {
    {
        std::lock_guard lock(send->sender->mutex);
        send->result = result;
        send->done = true;
    }
    send->sender->wake.notify_all();
}

// Wakes the queue's thread after something was added (called without the queue's lock).
void wakeQueue(Queue& queue) {
    bool callWaker = false;
    {
        std::lock_guard lock(queue.mutex);
        if (queue.waker && !queue.wakePending) {
            queue.wakePending = true;
            callWaker = true;
        }
    }
    queue.wake.notify_all();
    if (callWaker) queue.waker();
}

void dropWindowMessages(Queue& queue, HWND window);

// The queue of the calling thread. When the thread ends its windows die with it.
struct ThreadQueue {
    std::shared_ptr<Queue> queue = std::make_shared<Queue>();
    ThreadQueue() { queue->threadId = nextThreadId.fetch_add(1); }
    ~ThreadQueue() {
        std::vector<HWND> owned;
        {
            std::lock_guard lock(tableMutex);
            for (std::uint32_t i = 0; i < slots.size(); ++i) {
                if (slots[i].owner == queue) owned.push_back(makeHandle(i, slots[i].generation));
            }
        }
        for (HWND window : owned) DestroyHandle(window);
        std::deque<std::shared_ptr<PendingSend>> sends;
        {
            std::lock_guard lock(queue->mutex);
            queue->alive = false;
            sends.swap(queue->sends);
            queue->posts.clear();
        }
        for (auto& send : sends) complete(send, 0);
    }
};

std::shared_ptr<Queue>& currentQueue() {
    thread_local ThreadQueue threadQueue;
    return threadQueue.queue;
}

// The owner queue and the object of a live handle.
std::shared_ptr<Queue> ownerOf(HWND window, CWnd** object = nullptr) {
    std::uint32_t index = 0, generation = 0;
    if (!splitHandle(window, index, generation)) return nullptr;
    std::lock_guard lock(tableMutex);
    if (index >= slots.size() || slots[index].generation != generation || !slots[index].window) return nullptr;
    if (object) *object = slots[index].window;
    return slots[index].owner;
}

void dropWindowMessages(Queue& queue, HWND window) {
    std::deque<std::shared_ptr<PendingSend>> cancelled;
    {
        std::lock_guard lock(queue.mutex);
        std::erase_if(queue.posts, [window](const MSG& m) { return m.hwnd == window; });
        for (auto it = queue.sends.begin(); it != queue.sends.end();) {
            if ((*it)->window == window) {
                cancelled.push_back(*it);
                it = queue.sends.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& send : cancelled) complete(send, 0);
}

LRESULT callWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* object = nullptr;
    if (!ownerOf(window, &object) || !object) return 0;
    return object->WindowProc(message, wParam, lParam);
}

std::int64_t steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Serves one send waiting for the calling thread; false when none waits.
bool serveOneSend(Queue& queue) {
    std::shared_ptr<PendingSend> send;
    {
        std::lock_guard lock(queue.mutex);
        if (queue.sends.empty()) return false;
        send = std::move(queue.sends.front());
        queue.sends.pop_front();
    }
    complete(send, callWindow(send->window, send->message, send->wParam, send->lParam));
    queue.lastSendServed = steadyNow();
    return true;
}

bool matches(const MSG& m, HWND window, UINT first, UINT last) {
    if (window && m.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return m.message >= first && m.message <= last;
}

bool takePost(Queue& queue, MSG* msg, HWND window, UINT first, UINT last, bool remove) {
    std::lock_guard lock(queue.mutex);
    for (auto it = queue.posts.begin(); it != queue.posts.end(); ++it) {
        if (!matches(*it, window, first, last)) continue;
        if (msg) *msg = *it;
        if (remove) queue.posts.erase(it);
        return true;
    }
    if (queue.quit && !window) {
        if (msg) *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, 0, {0, 0}};
        if (remove) queue.quit = false;
        return true;
    }
    return false;
}

DWORD tickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Device notifications of the platform reach windows as sends.
[[maybe_unused]] const bool g_deviceNotices = (qwin32::setWindowMessageSender([](HANDLE window, UINT message,
                                                                                ULONG_PTR wParam, std::intptr_t lParam) {
                                                  SendMessage(static_cast<HWND>(window), message, wParam, lParam);
                                              }),
                                              true);

}  // namespace

HWND CreateHandle(CWnd* window) {
    auto owner = currentQueue();
    std::lock_guard lock(tableMutex);
    std::uint32_t index;
    if (!freeSlots.empty()) {
        index = freeSlots.back();
        freeSlots.pop_back();
    } else {
        index = static_cast<std::uint32_t>(slots.size());
        slots.emplace_back();
    }
    slots[index].window = window;
    slots[index].owner = std::move(owner);
    return makeHandle(index, slots[index].generation);
}

void DestroyHandle(HWND window) {
    std::shared_ptr<Queue> owner;
    {
        std::uint32_t index = 0, generation = 0;
        if (!splitHandle(window, index, generation)) return;
        std::lock_guard lock(tableMutex);
        if (index >= slots.size() || slots[index].generation != generation || !slots[index].window) return;
        owner = std::move(slots[index].owner);
        slots[index].window = nullptr;
        slots[index].owner.reset();
        // Generation 0 is never handed out, so a zeroed handle value never matches.
        if (++slots[index].generation == 0) slots[index].generation = 1;
        freeSlots.push_back(index);
    }
    if (owner) dropWindowMessages(*owner, window);
}

CWnd* LookupWindow(HWND window, DWORD* ownerThread) {
    CWnd* object = nullptr;
    auto owner = ownerOf(window, &object);
    if (!owner) return nullptr;
    if (ownerThread) *ownerThread = owner->threadId;
    return object;
}

void SetMainThread(std::function<void()> waker) {
    auto& queue = currentQueue();
    mainThreadId = waker ? queue->threadId : 0;
    bool pending = false;
    {
        std::lock_guard lock(queue->mutex);
        queue->waker = std::move(waker);
        queue->wakePending = false;
        pending = queue->waker && (!queue->posts.empty() || !queue->sends.empty());
    }
    if (pending) wakeQueue(*queue);
}

DWORD MainThreadId() { return mainThreadId.load(); }

void SpinBeforeBlocking() {
    auto& queue = currentQueue();
    // Only while other threads are sending: a send served within the last millisecond says that
    // the next one is likely to follow at once. Otherwise the loop blocks straight away.
    constexpr std::int64_t kRecentSendNs = 1'000'000;
    if (steadyNow() - queue->lastSendServed.load() > kRecentSendNs) return;
    const std::uint64_t seen = queue->arrivals.load();
    // Work that arrives meanwhile has already woken the loop (the waker): it does not block.
    qbase::spinUntil([&queue, seen] { return queue->arrivals.load() != seen; });
}

void SetPreTranslate(PreTranslate hook) { preTranslate = std::move(hook); }

bool RunPreTranslate(MSG* msg) { return preTranslate && preTranslate(msg); }

void DrainMainQueue(int maxPosts) {
    auto queue = currentQueue();
    {
        std::lock_guard lock(queue->mutex);
        queue->wakePending = false;
    }
    int dispatched = 0;
    for (;;) {
        while (serveOneSend(*queue)) {
        }
        if (dispatched >= maxPosts) break;
        MSG msg;
        if (!takePost(*queue, &msg, nullptr, 0, 0, true)) break;
        if (msg.message == WM_QUIT) {
            std::lock_guard lock(queue->mutex);
            queue->quit = true;  // left for the loop that waits for it
            break;
        }
        ++dispatched;
        if (!RunPreTranslate(&msg)) DispatchMessage(&msg);
    }
    bool more = false;
    {
        std::lock_guard lock(queue->mutex);
        more = !queue->posts.empty() || !queue->sends.empty();
    }
    if (more) wakeQueue(*queue);
}

bool TakeQuit(int& code) {
    auto queue = currentQueue();
    std::lock_guard lock(queue->mutex);
    if (!queue->quit) return false;
    queue->quit = false;
    code = queue->quitCode;
    return true;
}

}  // namespace qui::detail

using namespace qui::detail;

DWORD GetCurrentThreadId() { return currentQueue()->threadId; }

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto owner = ownerOf(window);
    if (!owner) return FALSE;
    {
        std::lock_guard lock(owner->mutex);
        if (!owner->alive) return FALSE;
        owner->posts.push_back(MSG{window, message, wParam, lParam, tickCount(), {0, 0}});
        ++owner->arrivals;
    }
    wakeQueue(*owner);
    return TRUE;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* object = nullptr;
    auto owner = ownerOf(window, &object);
    if (!owner) return 0;
    auto self = currentQueue();
    if (owner == self) return object->WindowProc(message, wParam, lParam);

    qui::CheckNoLockHeldForSend();
    auto send = std::make_shared<PendingSend>(window, message, wParam, lParam, self);
    {
        std::lock_guard lock(owner->mutex);
        if (!owner->alive) return 0;
        owner->sends.push_back(send);
        ++owner->arrivals;
    }
    wakeQueue(*owner);
    // The window may have died between the lookup and the queueing: its cleanup ran before our
    // send was queued, so complete it here.
    if (!ownerOf(window)) dropWindowMessages(*owner, window);
    // The owner usually answers within microseconds (base/spin_wait.h). Sends addressed to this
    // thread meanwhile wait at most the spin.
    qbase::spinUntil([&send] { return send->done.load(); });
    for (;;) {
        {
            std::unique_lock lock(self->mutex);
            self->wake.wait(lock, [&] { return send->done.load() || !self->sends.empty(); });
            if (send->done) return send->result;
        }
        serveOneSend(*self);
    }
}

BOOL PeekMessage(MSG* msg, HWND window, UINT first, UINT last, UINT remove) {
    auto queue = currentQueue();
    while (serveOneSend(*queue)) {
    }
    return takePost(*queue, msg, window, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL WaitMessageTimeout(DWORD milliseconds) {
    auto queue = currentQueue();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        while (serveOneSend(*queue)) {
        }
        std::unique_lock lock(queue->mutex);
        if (!queue->posts.empty() || queue->quit) return TRUE;
        if (milliseconds != INFINITE) {
            if (!queue->wake.wait_until(lock, deadline, [&] { return !queue->posts.empty() || !queue->sends.empty() || queue->quit; }))
                return FALSE;
        } else {
            queue->wake.wait(lock, [&] { return !queue->posts.empty() || !queue->sends.empty() || queue->quit; });
        }
    }
}

BOOL GetMessage(MSG* msg, HWND window, UINT first, UINT last) {
    if (window && !ownerOf(window)) return -1;
    auto queue = currentQueue();
    for (;;) {
        while (serveOneSend(*queue)) {
        }
        if (takePost(*queue, msg, window, first, last, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
        if (window && !ownerOf(window)) return -1;
        std::unique_lock lock(queue->mutex);
        queue->wake.wait(lock, [&] { return !queue->posts.empty() || !queue->sends.empty() || queue->quit; });
    }
}

LRESULT DispatchMessage(const MSG* msg) {
    if (!msg) return 0;
    CWnd* object = nullptr;
    auto owner = ownerOf(msg->hwnd, &object);
    if (!owner || owner != currentQueue()) return 0;
    return object->WindowProc(msg->message, msg->wParam, msg->lParam);
}

BOOL IsWindow(HWND window) { return ownerOf(window) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND window) {
    CWnd* object = LookupWindow(window);
    if (!object) return FALSE;
    return object->DestroyWindow();
}

void PostQuitMessage(int exitCode) {
    auto queue = currentQueue();
    {
        std::lock_guard lock(queue->mutex);
        queue->quit = true;
        queue->quitCode = exitCode;
    }
    wakeQueue(*queue);
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
    if (processId) *processId = 1;
    auto owner = ownerOf(window);
    return owner ? owner->threadId : 0;
}
