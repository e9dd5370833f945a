#include "fake_engine.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "corvix.h"

namespace fake {
namespace {

struct Board {
    std::uint16_t number = 0;
    std::uint32_t type = 0;
};
thread_local Board threadBoard;

struct State {
    std::mutex lock;
    std::vector<Call> calls;
    std::map<std::string, std::uint32_t> results;
    std::deque<std::uint8_t> baReports;
    std::chrono::microseconds duration{0};
};
State& state() {
    static State s;
    return s;
}
std::atomic<int> inFlight{0};
std::atomic<int> maxSeen{0};

// One engine call: recorded, counted while in flight, lasting the set duration.
class Scope {
public:
    // START_FIP_ENGINE records the board it is asked for; every other call its thread's board.
    explicit Scope(const char* name, Board board = threadBoard) : name_(name) {
        const int now = ++inFlight;
        int seen = maxSeen.load();
        while (now > seen && !maxSeen.compare_exchange_weak(seen, now)) {
        }
        std::chrono::microseconds duration;
        {
            State& s = state();
            std::lock_guard lock(s.lock);
            s.calls.push_back({name, std::this_thread::get_id(), board.number, board.type});
            duration = s.duration;
        }
        if (duration.count() > 0) std::this_thread::sleep_for(duration);
    }
    ~Scope() { --inFlight; }

    bool hasBoard() const { return threadBoard.number != 0; }
    // The set result, or kNoBoard on a thread without a board.
    std::uint32_t result() const {
        if (!hasBoard()) return kNoBoard;
        return configured();
    }
    std::uint32_t configured() const {
        State& s = state();
        std::lock_guard lock(s.lock);
        const auto it = s.results.find(name_);
        return it == s.results.end() ? 0 : it->second;
    }

private:
    std::string name_;
};

}  // namespace

void reset() {
    State& s = state();
    std::lock_guard lock(s.lock);
    s.calls.clear();
    s.results.clear();
    s.baReports.clear();
    s.duration = std::chrono::microseconds(0);
    maxSeen = 0;
}

std::vector<Call> calls() {
    State& s = state();
    std::lock_guard lock(s.lock);
    return s.calls;
}

std::vector<Call> callsNamed(const std::string& name) {
    std::vector<Call> all = calls();
    std::erase_if(all, [&](const Call& c) { return c.name != name; });
    return all;
}

int maxInFlight() { return maxSeen.load(); }

void setCallDuration(std::chrono::microseconds duration) {
    State& s = state();
    std::lock_guard lock(s.lock);
    s.duration = duration;
}

void setResult(const std::string& name, std::uint32_t code) {
    State& s = state();
    std::lock_guard lock(s.lock);
    s.results[name] = code;
}

void setBaReports(std::vector<std::uint8_t> reports) {
    State& s = state();
    std::lock_guard lock(s.lock);
    s.baReports.assign(reports.begin(), reports.end());
}

}  // namespace fake

using fake::Scope;

// The boards that threads hold. A held board answers the board queries on its own thread only (as
// a PCI board's exclusive handle does); elsewhere it "cannot be opened".
namespace {
std::mutex heldLock;
std::vector<std::pair<std::uint16_t, std::uint32_t>> held;

void hold(bool on) {
    const std::pair board{fake::threadBoard.number, fake::threadBoard.type};
    std::lock_guard lock(heldLock);
    if (on)
        held.push_back(board);
    else
        std::erase(held, board);
}
}  // namespace

extern "C" {

std::uint32_t START_FIP_ENGINE(std::uint16_t boardNumber, std::uint32_t boardType) {
    Scope call("START_FIP_ENGINE", {boardNumber, boardType});
    const std::uint32_t result = call.configured();
    if (result == 0) {
        fake::threadBoard = {boardNumber, boardType};
        hold(true);
    }
    return result;
}

std::uint32_t STOP_FIP_ENGINE() {
    Scope call("STOP_FIP_ENGINE");
    const std::uint32_t result = call.result();
    if (call.hasBoard() && result == 0) {
        hold(false);
        fake::threadBoard = {};
    }
    return result;
}

std::uint32_t DOWNLOAD_CNF(const char*) { return Scope("DOWNLOAD_CNF").result(); }
std::uint32_t START_COMMUNICATION() { return Scope("START_COMMUNICATION").result(); }

std::uint32_t MEDIUM_CONTROL(std::uint8_t command, std::uint8_t* status) {
    Scope call("MEDIUM_CONTROL");
    if (call.hasBoard() && status) *status = command;
    return call.result();
}

std::uint32_t FIP_READ_VAR(std::uint16_t index, std::uint8_t* data, std::uint8_t* status) {
    Scope call("FIP_READ_VAR");
    if (!call.hasBoard()) return fake::kNoBoard;
    if (!data || !status) return 87;
    const std::uint8_t answer[fake::kAnswerBytes] = {static_cast<std::uint8_t>(index),
                                                     static_cast<std::uint8_t>(index >> 8),
                                                     static_cast<std::uint8_t>(fake::threadBoard.number),
                                                     static_cast<std::uint8_t>(fake::threadBoard.type)};
    std::memcpy(data, answer, sizeof answer);
    *status = static_cast<std::uint8_t>(index);
    return call.result();
}

std::uint32_t FIP_WRITE_VAR(std::uint16_t, const std::uint8_t*) { return Scope("FIP_WRITE_VAR").result(); }

std::uint32_t FIP_READ_MSG(std::uint16_t, void*, std::uint16_t*, std::uint16_t*, std::uint8_t*, std::uint16_t*,
                           std::uint8_t*, std::uint8_t*) {
    return Scope("FIP_READ_MSG").result();
}

std::uint32_t FIP_WRITE_MSG(std::uint16_t, std::uint16_t, std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t,
                            std::uint8_t, std::uint16_t, std::uint8_t, const std::uint8_t*) {
    return Scope("FIP_WRITE_MSG").result();
}

std::uint32_t FIP_GET_SLOT(std::uint32_t* slot) {
    Scope call("FIP_GET_SLOT");
    if (call.hasBoard() && slot) *slot = 3;
    return call.result();
}

std::uint32_t DEF_VAR_EVENT(std::uint8_t, std::uint8_t, std::uint8_t, std::uint16_t) {
    return Scope("DEF_VAR_EVENT").result();
}
std::uint32_t READ_EVENT(std::uint8_t*, std::uint8_t*, std::uint8_t*, std::uint8_t*, std::uint16_t*) {
    return Scope("READ_EVENT").result();
}
std::uint32_t IS_EVENT(std::uint32_t*) { return Scope("IS_EVENT").result(); }
std::uint32_t PURGE(std::uint8_t) { return Scope("PURGE").result(); }
std::uint32_t SEND_APER(std::uint8_t, std::uint16_t) { return Scope("SEND_APER").result(); }
std::uint32_t GET_TRANSMISSION_QUEUE(std::uint32_t, TransmissionQueueRecord*, std::uint32_t, std::uint32_t*) {
    return Scope("GET_TRANSMISSION_QUEUE").result();
}

std::uint32_t BA_PROG(const char*) { return Scope("BA_PROG").result(); }

std::uint32_t BA_REPORT(std::uint8_t* state) {
    Scope call("BA_REPORT");
    std::uint8_t report = 0x09;
    {
        fake::State& s = fake::state();
        std::lock_guard lock(s.lock);
        if (!s.baReports.empty()) {
            report = s.baReports.front();
            s.baReports.pop_front();
        }
    }
    if (call.hasBoard() && state) *state = report;
    return call.result();
}

std::uint32_t START_BA(std::uint16_t) { return Scope("START_BA").result(); }
std::uint32_t STOP_BA() { return Scope("STOP_BA").result(); }
std::uint32_t CONTINUE_BA(std::uint8_t, std::uint16_t) { return Scope("CONTINUE_BA").result(); }
std::uint32_t CHANGE_BA(std::uint16_t) { return Scope("CHANGE_BA").result(); }

std::uint32_t GET_BA_PROGRAM_ADDR(std::int16_t* program1, std::int16_t* program2) {
    Scope call("GET_BA_PROGRAM_ADDR");
    if (program1) *program1 = call.hasBoard() ? 160 * 64 : 0;
    if (program2) *program2 = 0;
    return 0;
}

// The lookups find identifier 0x0100, named "V0100", at index 0.
std::uint32_t FIND_VAR_BY_ID(std::uint16_t identifier, std::int16_t* index, char* name, std::int16_t* length,
                             std::uint8_t*) {
    Scope call("FIND_VAR_BY_ID");
    if (!call.hasBoard() || identifier != 0x0100) return 0;
    if (index) *index = 0;
    if (name) std::strcpy(name, "V0100");
    if (length) *length = 2;
    return 1;
}

std::uint32_t FIND_VAR_BY_NAME(const char* name, std::int16_t* index, std::uint16_t* identifier,
                               std::int16_t* length, std::uint8_t* flags) {
    Scope call("FIND_VAR_BY_NAME");
    if (!call.hasBoard() || !name || std::strcmp(name, "V0100") != 0) return 0;
    if (index) *index = 0;
    if (identifier) *identifier = 0x0100;
    if (length) *length = 2;
    if (flags) *flags = static_cast<std::uint8_t>((*flags & ~0x03u) | 0x01);
    return 1;
}

std::uint32_t FIND_MSG_BY_ID(std::uint16_t, std::uint8_t, std::uint16_t, std::uint8_t, char*, std::int16_t*) {
    return Scope("FIND_MSG_BY_ID").hasBoard() ? 1 : 0;
}
std::uint32_t FIND_MSG_BY_NAME(const char*, std::int16_t*, std::uint16_t*, std::uint8_t*, std::uint16_t*,
                               std::uint8_t*) {
    return Scope("FIND_MSG_BY_NAME").hasBoard() ? 1 : 0;
}


std::uint32_t GetActiveDevicesCount(std::uint16_t* count) {
    Scope call("GetActiveDevicesCount");
    if (!count) return 87;
    *count = 2;
    return 0;
}

std::uint32_t GetActiveDevicesInfo(std::uint16_t count, ActiveDeviceInfo* records) {
    Scope call("GetActiveDevicesInfo");
    if (count == 0) return 0;
    if (!records) return 87;
    const ActiveDeviceInfo listed[2] = {{0, 1, 0, 1}, {1, 2, 0, 0}};
    for (std::uint16_t i = 0; i < count && i < 2; ++i) records[i] = listed[i];
    return 0;
}

std::uint32_t GetLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led, std::uint32_t* on) {
    Scope call("GetLedState");
    if (!on) return 87;
    const bool own = fake::threadBoard.number == boardNumber && fake::threadBoard.type == boardType;
    const bool heldElsewhere = !own && [&] {
        std::lock_guard lock(heldLock);
        return std::find(held.begin(), held.end(), std::pair{boardNumber, boardType}) != held.end();
    }();
    if (heldElsewhere) return 0x30000001;
    *on = led & 1;
    return 0;
}

std::uint32_t SetLedState(std::uint32_t, std::uint16_t, std::uint32_t, std::uint32_t) {
    return Scope("SetLedState").configured();
}
std::uint32_t GetRgbLedState(std::uint32_t, std::uint16_t, std::uint8_t*) {
    return Scope("GetRgbLedState").configured();
}
std::uint32_t SetRgbLedState(std::uint32_t, std::uint16_t, std::uint8_t) {
    return Scope("SetRgbLedState").configured();
}

}  // extern "C"
