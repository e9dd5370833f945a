#include "spectrel_app.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>

#include "base/spin_wait.h"

namespace spectrel {

CSpectrelApp& CSpectrelApp::instance() {
    // Never destroyed: the workers wait on their slots until the process ends.
    static CSpectrelApp& app = *new CSpectrelApp;
    return app;
}

bool CSpectrelApp::isReady(int slot) const {
    if (slot < 0 || slot >= kSlotCount) return false;
    const BoardSlot& s = slots_[static_cast<std::size_t>(slot)];
    return s.running.load() && s.started.load();
}

ErrorCode CSpectrelApp::startSlot(int slot) {
    BoardSlot& s = slots_[static_cast<std::size_t>(slot)];
    if (s.running) {
        if (!s.started) {
            s.started = true;
            SetEvent(s.signals[static_cast<std::size_t>(RelayCommand::Wake)]);
        }
        return 0;
    }
    // Created once and kept for the life of the process; a failure creates nothing.
    std::array<HANDLE, kRelayCommandCount> signals{};
    for (HANDLE& signal : signals) {
        signal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!signal) {
            const DWORD error = GetLastError();
            for (HANDLE created : signals)
                if (created) CloseHandle(created);
            return error ? error : ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    s.signals = signals;
    s.running = true;  // before the worker runs: it serves while the flag is set
    try {
        std::thread(&CSpectrelApp::runWorker, this, slot).detach();
    } catch (const std::system_error&) {
        s.running = false;
        for (HANDLE created : signals) CloseHandle(created);
        s.signals = {};
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    s.started = true;
    return 0;
}

std::optional<ErrorCode> CSpectrelApp::handOver(int slot, RelayedCall& call) {
    if (!isReady(slot)) return std::nullopt;
    BoardSlot& s = slots_[static_cast<std::size_t>(slot)];
    {
        std::lock_guard lock(s.handOver);
        s.call = &call;
    }
    if (!SetEvent(s.signals[static_cast<std::size_t>(call.command)])) {
        std::lock_guard lock(s.handOver);
        s.call = nullptr;
        return GetLastError();
    }
    s.signalled = true;
    if (!qbase::spinUntil([&call] { return call.done.load(); })) {
        std::unique_lock lock(s.handOver);
        s.completed.wait(lock, [&] { return call.done.load(); });
    }
    return call.result;
}

void CSpectrelApp::runWorker(int slot) {
    BoardSlot& s = slots_[static_cast<std::size_t>(slot)];
    while (s.running) {
        // A caller relaying in a loop hands the next call over within microseconds.
        qbase::spinUntil([&s] { return s.signalled.load(); });
        const DWORD fired = WaitForMultipleObjects(kRelayCommandCount, s.signals.data(), FALSE, INFINITE);
        if (fired >= WAIT_OBJECT_0 + kRelayCommandCount) {
            // The slot's signals are gone: no call of the slot could ever complete.
            const DWORD error = GetLastError();
            std::fflush(nullptr);
            std::_Exit(static_cast<int>(error));
        }
        ResetEvent(s.signals[fired]);
        s.signalled = false;
        RelayedCall* call = nullptr;
        {
            std::lock_guard lock(s.handOver);
            call = s.call;
        }
        // The wake-up command, and a signal without its call, run nothing.
        if (!call || static_cast<DWORD>(call->command) != fired) continue;
        const ErrorCode result = call->run(call->callable);
        {
            std::lock_guard lock(s.handOver);
            call->result = result;
            call->done = true;
            s.call = nullptr;
        }
        s.completed.notify_all();
    }
}

}  // namespace spectrel
