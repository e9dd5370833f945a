// The bus viewer's application object: the table of the 12 board slots and the process-wide relay
// lock, which it owns and guards.
//
// A slot's worker thread is created by the slot's first start and lives until the process ends.
// It waits on the slot's 32 command signals (manual-reset events) and runs the call handed over
// with the signal that fired. A caller relays a call under the relay lock: it checks that the slot
// is started, hands its call to the slot, fires the command's signal and waits for the completion
// of that very call, which the worker reports in the call's own record. So at most one engine
// call runs at a time in the process, and a result cannot reach another call than its own.
//
// Started and running flags change only under the relay lock; the exports may read them without
// it for a first refusal, and every relay reads them again under the lock.
//
// Both sides of a hand-off spin briefly before they block (base/spin_wait.h): the caller for its
// completion, the worker for the next call. A call relayed in a loop then costs no thread
// wake-up, while a worker left idle sleeps on its signals after the spin.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <type_traits>

#include "relay_command.h"
#include "win32/windows.h"

namespace spectrel {

using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kErrNotStarted = 0x3000002B;   // "FIP Network not started."
inline constexpr ErrorCode kErrBoardOutOfRange = 0x30000029;
inline constexpr int kSlotCount = 12;
inline constexpr std::uint16_t kBoardsPerType = 4;
inline constexpr std::uint32_t kBoardTypes = 3;  // PCI, PC104, USB

// slot = board number + 4 x type - 1; -1 for a board outside the slots.
constexpr int slotOf(std::uint16_t boardNumber, std::uint32_t boardType) {
    if (boardNumber < 1 || boardNumber > kBoardsPerType || boardType >= kBoardTypes) return -1;
    return static_cast<int>(boardNumber + kBoardsPerType * boardType) - 1;
}
constexpr std::uint32_t boardTypeOf(int slot) { return static_cast<std::uint32_t>(slot) / kBoardsPerType; }
constexpr std::uint16_t boardNumberOf(int slot) { return static_cast<std::uint16_t>(slot % kBoardsPerType + 1); }

// One relayed call: what the worker runs, and its completion. Lives on the caller's stack until
// its completion; `result` and `done` are written under the slot's hand-over lock, `done` last, so
// that a caller who sees `done` (also while it spins, without the lock) reads the result.
struct RelayedCall {
    RelayCommand command;
    ErrorCode (*run)(void* call);
    void* callable;
    ErrorCode result = 0;
    std::atomic<bool> done{false};
};

// The process-wide relay lock: a lock that serves its callers in the order they came, so that a
// thread that calls now and then (a stop, say) is not starved by threads that call in a loop.
// It belongs to the application object, which is created once, by whichever thread calls first,
// under the language's thread-safe initialisation of a static.
class RelayLock {
public:
    void lock() {
        std::unique_lock guard(mutex_);
        const std::uint64_t ticket = next_++;
        turn_.wait(guard, [&] { return serving_ == ticket; });
    }
    void unlock() {
        {
            std::lock_guard guard(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t next_ = 0;     // the next caller's ticket
    std::uint64_t serving_ = 0;  // the ticket that holds the lock
};

class CSpectrelApp {
public:
    // The process's one application object, created with a zeroed slot table at first use.
    static CSpectrelApp& instance();

    // The slot lies in 0..11, has a worker and is started (without the relay lock).
    bool isReady(int slot) const;

    // Runs `call` on the slot's worker when the slot is ready, checked under the relay lock;
    // nullopt (nothing relayed) when it is not.
    template <class Call>
    std::optional<ErrorCode> relay(int slot, RelayCommand command, Call&& call) {
        std::lock_guard lock(relayLock_);
        RelayedCall relayed = relayedCall(command, call);
        return handOver(slot, relayed);
    }

    // Starts the slot (its worker at the first start) and relays `startEngine` (command 0), all
    // under the relay lock. A first start that the engine refuses leaves the slot not started.
    template <class Call>
    ErrorCode start(int slot, Call&& startEngine) {
        std::lock_guard lock(relayLock_);
        const bool wasStarted = slots_[slot].started.load();
        if (const ErrorCode code = startSlot(slot); code != 0) return code;
        RelayedCall relayed = relayedCall(RelayCommand::StartFipEngine, startEngine);
        const ErrorCode result = handOver(slot, relayed).value_or(kErrNotStarted);
        if (result != 0 && !wasStarted) slots_[slot].started = false;
        return result;
    }

    // Relays `stopEngine` (command 1); its success ends the slot's started state under the same
    // hold of the relay lock, so that no call reaches the engine after the stop.
    template <class Call>
    std::optional<ErrorCode> stop(int slot, Call&& stopEngine) {
        std::lock_guard lock(relayLock_);
        RelayedCall relayed = relayedCall(RelayCommand::StopFipEngine, stopEngine);
        const auto result = handOver(slot, relayed);
        if (result == 0u) slots_[slot].started = false;
        return result;
    }

private:
    struct BoardSlot {
        std::atomic<bool> running{false};  // a worker exists; never cleared once the worker runs
        std::atomic<bool> started{false};
        std::array<HANDLE, kRelayCommandCount> signals{};  // created at the first start, never closed
        std::mutex handOver;
        std::condition_variable completed;
        RelayedCall* call = nullptr;  // the call handed over, until its completion; under handOver
        // Set once the call's signal has fired, cleared by the worker when it takes the signal:
        // what the worker's spin watches (the signal itself lies behind the platform's lock).
        std::atomic<bool> signalled{false};
    };

    CSpectrelApp() = default;
    template <class Call>
    static RelayedCall relayedCall(RelayCommand command, Call& call) {
        using Callable = std::remove_reference_t<Call>;
        return RelayedCall{command, [](void* c) -> ErrorCode { return (*static_cast<Callable*>(c))(); },
                           const_cast<void*>(static_cast<const void*>(&call)), 0, false};
    }
    // Relay lock held: creates the worker and the signals at the slot's first start.
    ErrorCode startSlot(int slot);
    // Relay lock held: hands `call` to the ready slot's worker and waits for its completion.
    std::optional<ErrorCode> handOver(int slot, RelayedCall& call);
    void runWorker(int slot);

    RelayLock relayLock_;
    std::array<BoardSlot, kSlotCount> slots_;
};

}  // namespace spectrel
