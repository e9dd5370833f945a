#include "sim/chips/fullfip2.h"

#include <cstdio>
#include <string>

namespace sim {
namespace {

constexpr std::uint32_t kUcom = 0;
constexpr std::uint32_t kEndTestRegister = 1;
constexpr std::uint32_t kKeyHighStatus = 2;
constexpr std::uint32_t kKeyLowSize = 3;
constexpr std::uint32_t kFifo = 7;

// Commands that carry no key: their key registers are not looked at.
bool keyless(std::uint8_t command) {
    return command == cmd::kStopBa || command == cmd::kBaReport || command == cmd::kReadEvt;
}

}  // namespace

Fullfip2::Fullfip2(CardModel& card, AccessTrace& trace) : card_(card), trace_(trace) {}

std::uint8_t Fullfip2::read(std::uint32_t reg) {
    std::lock_guard lock(mutex_);
    checkThread();
    std::uint8_t value = 0;
    switch (reg) {
    case kUcom: value = readState(); break;
    case kKeyHighStatus: value = status_; break;
    case kKeyLowSize: value = size_; break;
    case kFifo: value = readFifo(); break;
    default: break;
    }
    trace_.record(Unit::Fullfip2, false, reg, value);
    return value;
}

void Fullfip2::write(std::uint32_t reg, std::uint8_t value) {
    std::lock_guard lock(mutex_);
    trace_.record(Unit::Fullfip2, true, reg, value);
    checkThread();
    switch (reg) {
    case kUcom:
        if (value == cmd::kClose)
            close();
        else
            writeCommand(value);
        break;
    case kEndTestRegister: endTestMarker_ = value; break;
    case kKeyHighStatus:
        if (t_.open) violation("key high byte written inside the open transaction of command 0x%02X", t_.command);
        if (keyLowWritten_ && !keyHighWritten_) violation("key high byte written after the low byte");
        keyHigh_ = value;
        keyHighWritten_ = true;
        break;
    case kKeyLowSize:
        if (t_.open) violation("key low byte written inside the open transaction of command 0x%02X", t_.command);
        keyLow_ = value;
        keyLowWritten_ = true;
        break;
    case kFifo: writeFifo(value); break;
    default: break;
    }
}

void Fullfip2::reset() {
    {
        std::lock_guard lock(mutex_);
        t_ = Transaction{};
        keyHigh_ = keyLow_ = 0;
        keyHighWritten_ = keyLowWritten_ = false;
        endTestMarker_ = 0;
        status_ = size_ = 0;
    }
    card_.reset();
}

void Fullfip2::setFaults(FaultKnobs knobs) {
    std::lock_guard lock(mutex_);
    faults_ = std::move(knobs);
    lateRefusalPasses_ = 0;
}

FaultKnobs Fullfip2::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

std::uint8_t Fullfip2::readState() {
    std::uint8_t state = card_.eventPending() ? ustate::kEvent : 0;
    if (t_.open) {
        state |= ustate::kBusy;
        if (!t_.answered && !faults_.noAnswer) {
            if (t_.latency == 0)
                t_.answered = true;
            else
                --t_.latency;
        }
        if (t_.answered) {
            state |= ustate::kAnswer;
            if (dataBitVisible()) state |= ustate::kData;
        }
    }
    if (faults_.busyStuck) state |= ustate::kBusy;
    return state;
}

bool Fullfip2::dataBitVisible() {
    if (!t_.dataBit) return false;
    if (t_.stallReads == 0) return true;
    if (t_.stallReads != kForever) --t_.stallReads;
    return false;
}

std::uint8_t Fullfip2::readFifo() {
    if (!t_.open || !t_.answered || !t_.dataBit || t_.stallReads != 0 || t_.answer.data != DataPhase::Read ||
        t_.moved >= t_.answer.readBytes.size()) {
        violation("FIFO read without the data bit (command 0x%02X)", t_.command);
        return 0xFF;
    }
    std::uint8_t value = t_.answer.readBytes[t_.moved];
    const auto& corruption = faults_.readBackCorruption;
    if (corruption && t_.command == cmd::kReadPhy && t_.key == corruption->page && t_.moved == corruption->offset)
        value ^= corruption->mask;
    byteMoved();
    if (t_.moved == t_.answer.readBytes.size()) t_.dataBit = false;
    return value;
}

void Fullfip2::writeFifo(std::uint8_t value) {
    if (!t_.open || !t_.answered || !t_.dataBit || t_.stallReads != 0 || t_.answer.data != DataPhase::Write ||
        t_.moved >= t_.answer.writeRoom) {
        violation("FIFO write without the data bit (command 0x%02X)", t_.command);
        return;
    }
    t_.written.push_back(value);
    byteMoved();
    if (t_.moved == t_.answer.writeRoom) {
        t_.dataBit = false;
        if (!t_.answer.commitOnClose) status_ = card_.finishWrite(t_.command, t_.key, t_.written, status_);
    }
}

void Fullfip2::byteMoved() {
    ++t_.moved;
    checkStall();
}

void Fullfip2::checkStall() {
    if (t_.stallArmed && t_.moved == faults_.stall->afterBytes) {
        t_.stallArmed = false;
        t_.stallReads = faults_.stall->reads;
    }
}

void Fullfip2::writeCommand(std::uint8_t value) {
    if (t_.open) {
        violation("command 0x%02X written while busy with command 0x%02X", value, t_.command);
        return;
    }
    if (value != cmd::kDefParam && !keyless(value) && keyLowWritten_ && !keyHighWritten_)
        violation("command 0x%02X: key low byte written without the high byte", value);
    const bool endTest = endTestMarker_ == 1;
    endTestMarker_ = 0;
    keyHighWritten_ = keyLowWritten_ = false;

    t_ = Transaction{};
    t_.open = true;
    t_.command = value;
    t_.key = static_cast<std::uint16_t>((keyHigh_ << 8) | keyLow_);
    t_.owner = std::this_thread::get_id();
    const auto& late = faults_.lateRefusal;
    const bool lateRefused = late && late->command == value && lateRefusalPasses_++ >= late->passes;
    if (const auto refused = faults_.refusal.find(value); refused != faults_.refusal.end() || lateRefused) {
        t_.answer = CardAnswer{};
        t_.answer.status = lateRefused ? late->status : refused->second;
    } else {
        t_.answer = card_.command(value, t_.key, endTest);
        if (t_.answer.status == refusal::kUnknownCommand) violation("unknown command byte 0x%02X", value);
    }
    if (const auto wrong = faults_.wrongSize.find(value); wrong != faults_.wrongSize.end()) t_.answer.size = wrong->second;
    t_.dataBit = t_.answer.data != DataPhase::None;
    if (t_.answer.data == DataPhase::Write) t_.written.reserve(t_.answer.writeRoom);
    t_.latency = faults_.answerLatencyReads;
    t_.stallArmed = faults_.stall && faults_.stall->command == value;
    checkStall();
    status_ = t_.answer.status;
    size_ = t_.answer.size;
}

void Fullfip2::close() {
    if (t_.open && t_.answer.data == DataPhase::Write && t_.answer.commitOnClose)
        status_ = card_.finishWrite(t_.command, t_.key, t_.written, status_);
    t_.open = false;
    t_.dataBit = false;
    t_.answered = false;
}

void Fullfip2::checkThread() {
    if (t_.open && t_.owner != std::this_thread::get_id())
        violation("access from a second thread inside the open transaction of command 0x%02X", t_.command);
}

void Fullfip2::violation(const char* format, unsigned a, unsigned b) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    checker_.record(text);
}

}  // namespace sim
