// Calls racing a slot's stop, shared by the relay tests over the fake engine and the stack tests
// over the simulated machine.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "spectrel.h"

namespace spectrel_testing {

// How one racing call ended, as the test's call judges it.
enum class CallOutcome { refused, right, wrong };  // refused: "not started"

struct StopRace {
    std::uint32_t stopResult = 0;  // SPX_STOP_FIP_ENGINE's code
    int refused = 0;               // calls refused as not started
    int undefined = 0;             // wrong answers, or answers to calls begun after the stop returned
};

// `threads` threads each make `calls` calls of `call` while this thread stops `slot` after `lead`.
template <typename Call>
StopRace raceCallsWithStop(std::int32_t slot, int threads, int calls, std::chrono::milliseconds lead, Call call) {
    std::atomic<bool> stopped{false};
    std::atomic<int> undefined{0}, refused{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < threads; ++t)
        callers.emplace_back([&] {
            for (int i = 0; i < calls; ++i) {
                const bool afterStop = stopped;
                const CallOutcome outcome = call();
                if (outcome == CallOutcome::refused)
                    ++refused;
                else if (outcome == CallOutcome::wrong || afterStop)
                    ++undefined;
            }
        });
    std::this_thread::sleep_for(lead);
    StopRace race;
    race.stopResult = SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr);
    stopped = true;
    for (std::thread& t : callers) t.join();
    race.refused = refused;
    race.undefined = undefined;
    return race;
}

}  // namespace spectrel_testing
