// A recording fake of the engine's exports (corvix.h), linked in place of the engine library.
//
// Like the engine, it binds a board to the thread that started it: START_FIP_ENGINE records the
// board on the calling thread, and a call on a thread without a board answers
// kNoBoard. Every call is recorded with its thread and that thread's board, and the fake counts
// the calls in flight at once. FIP_READ_VAR answers with its arguments, so that every caller can
// recognise its own answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace fake {

inline constexpr std::uint32_t kNoBoard = 6;  // the engine's code for a thread without a board

struct Call {
    std::string name;
    std::thread::id thread;
    // The board of the calling thread (0: none); for START_FIP_ENGINE the board asked for.
    std::uint16_t boardNumber = 0;
    std::uint32_t boardType = 0;
};

// Forgets the calls and the settings.
void reset();
std::vector<Call> calls();
std::vector<Call> callsNamed(const std::string& name);
// The most calls that were ever in flight at once.
int maxInFlight();
// Every call lasts this long, so that concurrent callers overlap.
void setCallDuration(std::chrono::microseconds duration);
// The result of every later call of that export (0 by default).
void setResult(const std::string& name, std::uint32_t code);
// The bytes of the next BA_REPORT calls, in order (then 0x09: stopped).
void setBaReports(std::vector<std::uint8_t> reports);

// FIP_READ_VAR's answer: data[0..1] the index, data[2] the board number, data[3] the type;
// status the index's low byte.
inline constexpr std::size_t kAnswerBytes = 4;

}  // namespace fake
