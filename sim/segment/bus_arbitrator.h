// The bus arbitrator: runs a BA macro program, word by word, as the board's code runs the program
// words that the engine's assembler writes into BA memory:
//   0x7030, id, slot   ID_DAT: scan the identifier (ID_DAT frame, the producer's RP_DAT)
//   0x1050, id, 0      ID_MSG: ask the identifier's producer for its queued message
//   16 x + 4           SEND_MSG: message window until date x
//   16 x + 5           SEND_APER: aperiodic variable window until date x
//   16 x + 6           WAIT: wait until date x; the next elementary cycle starts there
//   16 x + 7           SUSPEND: stop with event x until CONTINUE_BA gives the word to go on with
//   16 x + 1           NEXT_MACRO_1: end of macrocycle, go on with the program at word address 16 x
//   16 x + 2           NEXT_MACRO_2: end of macrocycle, start the current program again
// At the end of a macrocycle the program that CHANGE_MACRO_BA named, if any, takes over.
//   0 and any other    padding, skipped
// Dates count BA units from the start of the elementary cycle. Every step takes at least one bit
// time, so that a program of control words alone still lets bus time pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/card/card_model.h"
#include "sim/segment/bus_timing.h"

namespace sim {

// What the arbitrator asks of the segment; each call returns the bus time it used.
class ArbitratedBus {
public:
    virtual ~ArbitratedBus() = default;
    virtual Nanoseconds scanVariable(std::uint16_t identifier) = 0;
    virtual Nanoseconds scanMessage(std::uint16_t identifier) = 0;
    // Serve queued requests while the window lasts (`room` of bus time); stop when none is left.
    virtual Nanoseconds serveMessages(Nanoseconds room) = 0;
    virtual Nanoseconds serveAperiodic(Nanoseconds room) = 0;
    // SUSPEND(eventNumber) at a word of the 16-word block that starts at `blockAddress`.
    virtual void suspended(std::uint16_t eventNumber, std::uint16_t blockAddress) = 0;
};

inline constexpr std::uint32_t kWordsPerCardPage = kPageBytes / 2;
inline constexpr std::uint32_t kCardWords = kCardPages * kWordsPerCardPage;

class BusArbitrator {
public:
    // `memory`: the card's whole word space (kCardWords words, other words zero); `start`: the
    // program's word address.
    BusArbitrator(std::vector<std::uint16_t> memory, std::uint16_t start, BusTiming timing);

    // Runs one program step at bus time `now`; returns the time it took (0 while suspended).
    Nanoseconds step(ArbitratedBus& bus, Nanoseconds now);
    std::uint8_t state() const { return state_; }  // BaState
    bool isSuspended() const { return state_ == ba::kPending; }
    void resume(std::uint16_t word);  // CONTINUE_BA: word & 0xFFF0, 0 = after the SUSPEND
    void change(std::uint16_t word) { pendingStart_ = static_cast<std::uint16_t>(word & 0xFFF0); }
    std::uint64_t macrocycles() const { return macrocycles_; }
    const BusTiming& timing() const { return timing_; }

private:
    std::uint16_t fetch() { return memory_[pc_++ % kCardWords]; }
    void endMacrocycle(std::optional<std::uint16_t> jump, Nanoseconds now);

    std::vector<std::uint16_t> memory_;
    std::uint16_t start_;
    std::uint16_t pendingStart_ = 0;
    std::uint32_t pc_;
    BusTiming timing_;
    Nanoseconds cycleStart_ = 0;
    bool started_ = false;
    std::uint8_t state_ = ba::kSending;
    std::uint64_t macrocycles_ = 0;
};

// Program words of macro lines ("ID_DAT(100)", "WAIT(C8)") placed at word address `start`, closed
// with NEXT_MACRO_2 (a remote station's arbitrator program). Lines that do not read are skipped.
std::vector<std::uint16_t> programWords(const std::vector<std::string>& lines);

}  // namespace sim
