// The FULLFIP2 FIP communication controller at register level, in front of a card model.
//
// Registers (one byte each):
//   0  write UCOM, the command byte (0 = CLOSE); read USTATE
//   1  write 1 before END_TEST (a one-shot marker consumed by the next command byte)
//   2  write key high byte; read the status byte (captured when the command byte is written)
//   3  write key low byte (DEF_PARAM's parameter); read VAR_SIZE
//   7  data FIFO, one byte per access
// USTATE: bit 7 busy (a transaction is open, from the command byte until CLOSE), bit 4 answer
// ready, bit 3 data byte ready (reads) or wanted (writes), bit 5 an event is pending on the card.
// The data bit rises with the answer of every command that has a data phase and drops after its
// last byte; a command answered with an empty data phase keeps it until CLOSE.
//
// Thread-safe: one register lock per controller; the protocol checker flags a second thread that
// touches the registers while a transaction is open.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "sim/card/card_model.h"
#include "sim/chips/access_trace.h"
#include "sim/chips/fault_knobs.h"
#include "sim/chips/protocol_checker.h"
#include "sim/chips/register_lock.h"

namespace sim {

namespace ustate {
inline constexpr std::uint8_t kBusy = 0x80;
inline constexpr std::uint8_t kEvent = 0x20;
inline constexpr std::uint8_t kAnswer = 0x10;
inline constexpr std::uint8_t kData = 0x08;
}  // namespace ustate

class Fullfip2 {
public:
    static constexpr std::uint32_t kRegisters = 8;

    Fullfip2(CardModel& card, AccessTrace& trace);

    std::uint8_t read(std::uint32_t reg);
    void write(std::uint32_t reg, std::uint8_t value);
    // Hardware reset: the open transaction is dropped, the registers cleared and the card reset.
    void reset();

    void setFaults(FaultKnobs knobs);
    FaultKnobs faults() const;
    ProtocolChecker& checker() { return checker_; }
    CardModel& card() { return card_; }

private:
    struct Transaction {
        bool open = false;
        std::uint8_t command = 0;
        std::uint16_t key = 0;
        CardAnswer answer;
        bool answered = false;
        std::uint32_t latency = 0;  // USTATE reads left before the answer shows
        bool dataBit = false;
        bool stallArmed = false;
        std::uint32_t stallReads = 0;
        std::uint32_t moved = 0;
        std::vector<std::uint8_t> written;
        std::thread::id owner;
    };

    std::uint8_t readState();
    std::uint8_t readFifo();
    void writeFifo(std::uint8_t value);
    void writeCommand(std::uint8_t value);
    void close();
    void byteMoved();
    void checkStall();
    bool dataBitVisible();
    void checkThread();
    void violation(const char* format, unsigned a = 0, unsigned b = 0);

    CardModel& card_;
    AccessTrace& trace_;
    ProtocolChecker checker_;
    mutable RegisterLock mutex_;
    FaultKnobs faults_;
    std::uint32_t lateRefusalPasses_ = 0;  // executions of the late refusal's command so far
    Transaction t_;
    std::uint8_t keyHigh_ = 0;
    std::uint8_t keyLow_ = 0;
    bool keyHighWritten_ = false;
    bool keyLowWritten_ = false;
    std::uint8_t endTestMarker_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t size_ = 0;
};

}  // namespace sim
