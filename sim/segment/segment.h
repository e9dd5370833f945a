// One FIP segment: the boards of the machine and remote stations on one bus, with the bus
// arbitrator of whichever station runs it.
//
// A board takes part once its card holds a configuration image and START_CIRCUIT has run; its
// arbitrator runs from the moment START_BA is accepted (program 1, header word 13) until STOP_BA.
// One arbitrator runs the bus at a time, and the one that runs keeps it: a board's BA that starts
// while another one (a board's or a remote station's) runs reports IDLE, and takes over when the
// board's that ran stops. A remote station's arbitrator starts when no board's runs and never stops.
//
// A board's BA that takes a bus on which nothing answers its first macrocycle (no RP_DAT, no
// message) stops there, STOPPED: alone on the bus, a board cannot tell an empty bus from a cut
// cable, so it does not keep a bus on one silent macrocycle. Started again before any reset, it
// keeps the bus (the application confirms the bus is its own). The designer relies on both: its
// arbitrator control and its presence test send a second START_BA when the first one left the
// arbitrator STOPPED, and the presence test reads "no arbitrator on the bus" from exactly this. A BA
// whose first macrocycle is answered (a board's own production counts) keeps the bus at once.
//
// Traffic as the arbitrator's program makes it:
//   - ID_DAT: the producer's value (a board: its last WRITE_VAR value; a remote station: its
//     generator) reaches every consumer; a board's consumed value reads back as the RP_DAT bytes
//     (PDU type, length, value, and the refreshment byte, 5 when the producer refreshed it within
//     its refreshment period) with status bit 5 while the promptness period has not run out;
//   - SEND_MSG windows and ID_MSG: messages of SEND_MSG reach the stations addressed by their
//     destination identifier (receive key 0, "message received" event) and the sender gets a send
//     report event (kind 1, identifier = the message key, parameter = the request's channel byte,
//     value = the report code: 0 not acknowledged, 4 acknowledged, 8 no acknowledgement because
//     nobody received it);
//   - SEND_APER windows: requested variables are scanned (urgent ones first), then the requesting
//     board gets an "aperiodic sent" event (kind 0, identifier = the variable index);
//   - a remote station's own messages (RemoteStationConfig::sends) join the message queue at the
//     macrocycles they are due, unacknowledged and without a send report;
//   - SUSPEND raises a BA event (kind 3, parameter = the event number, identifier = the word
//     address of the SUSPEND's 16-word block, so that the program goes on at identifier + 16).
// A board carries traffic on the channels its FIELDUAL has in service (MEDIUM_CONTROL 4, 5, 6) that
// are not faulty. A medium fault on a channel in service raises that channel's transmission error
// in the FIELDUAL and moves the card's error counters of that channel (CardModel::countMediumError)
// while the board's circuit runs; with no channel left the board neither sends nor hears.
//
// Time is simulated bus time: run() advances it deterministically; startPaced() runs a thread of
// the simulator that follows the wall clock. Thread-safe: every member takes the segment's lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sim/card/card_model.h"
#include "sim/chips/fielddual.h"
#include "sim/segment/bus_arbitrator.h"
#include "sim/segment/card_configuration.h"
#include "sim/segment/remote_station.h"

namespace sim {

struct SegmentCounters {
    std::uint64_t identifierFrames = 0;
    std::uint64_t responseFrames = 0;
    std::uint64_t silences = 0;  // identifiers nobody answered
    std::uint64_t messages = 0;
    std::uint64_t aperiodic = 0;
    std::uint64_t macrocycles = 0;
};

class Segment : private ArbitratedBus {
public:
    Segment() = default;
    ~Segment() override;
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    // The card and medium outlive the segment. Returns the board's number on the segment.
    std::size_t attachBoard(CardModel& card, Fielddual* medium = nullptr);
    std::size_t addRemoteStation(RemoteStationConfig config);
    void setMediumFault(std::size_t board, int channel, bool faulty);  // channel 1 or 2

    void run(Nanoseconds duration);
    Nanoseconds now() const;
    // Follows the wall clock, `rate` bus seconds per wall second, until stopPaced() or destruction.
    // A step makes up for at most 10 ms of wall time: when the simulator cannot keep the rate, bus
    // time runs slower than asked.
    void startPaced(double rate = 1.0);
    void stopPaced();

    std::optional<HeldValue> remoteValue(std::size_t station, std::uint16_t identifier) const;
    std::vector<RemoteStation::Message> remoteMessages(std::size_t station) const;
    SegmentCounters counters() const;
    // The arbitrator that runs the bus: board number, or nothing (a remote station or none).
    std::optional<std::size_t> arbitratingBoard() const;

private:
    struct Board {
        CardModel* card = nullptr;
        Fielddual* medium = nullptr;
        bool fault[2] = {false, false};
        std::optional<CardConfiguration> config;
        std::uint32_t seenResets = ~0u;
        std::uint32_t seenStarts = 0;
        bool seenCircuit = false;
        std::map<std::uint16_t, std::uint32_t> seenWrites;
        std::map<std::uint16_t, Nanoseconds> lastWrite;
        std::map<std::uint16_t, Nanoseconds> lastReceived;  // consumed values with promptness
        std::uint8_t inService = medium::kChannel1 | medium::kChannel2;  // the FIELDUAL's CH bits at the last look
        bool gaveUpSilentBus = false;  // its BA stopped after a silent first macrocycle, no reset since
        bool dualMedium() const;
        bool carries(int channel) const;  // 0 or 1: in service and not faulty
        bool onBus() const;
    };
    static constexpr std::size_t kRemoteSender = static_cast<std::size_t>(-1);
    struct QueuedMessage {
        std::size_t board;  // kRemoteSender: a remote station's own message
        SentMessage message;
    };
    struct QueuedAperiodic {
        std::size_t board;
        AperiodicRequest request;
    };
    struct Arbitrator {
        std::optional<std::size_t> board;  // else the remote station `remote`
        std::size_t remote = 0;
        std::unique_ptr<BusArbitrator> ba;
        std::uint64_t answersAtStart = 0;  // response frames and messages when it took the bus
    };

    void runLocked(Nanoseconds duration);
    void sync();
    void pickArbitrator();
    bool controlArbitrator();  // false: the running arbitrator stopped
    bool keepsBusAfterFirstMacrocycle();  // false: a board's BA gave up a silent bus
    std::uint64_t answers() const { return counters_.responseFrames + counters_.messages; }
    std::vector<std::uint16_t> baMemory(const Board& board) const;

    Nanoseconds scanVariable(std::uint16_t identifier) override;
    Nanoseconds scanMessage(std::uint16_t identifier) override;
    Nanoseconds serveMessages(Nanoseconds room) override;
    Nanoseconds serveAperiodic(Nanoseconds room) override;
    void suspended(std::uint16_t eventNumber, std::uint16_t blockAddress) override;
    Nanoseconds transfer(const QueuedMessage& queued);
    bool arbitratorHeard() const;
    void queueRemoteMessages();

    mutable std::mutex mutex_;
    std::vector<Board> boards_;
    std::vector<RemoteStation> remotes_;
    std::deque<QueuedMessage> messages_;
    std::deque<QueuedAperiodic> aperiodic_;
    std::optional<Arbitrator> arbitrator_;
    BusTiming timing_;  // the running arbitrator's
    Nanoseconds now_ = 0;
    SegmentCounters counters_;
    std::uint64_t syncedCycle_ = 0;

    std::thread paced_;
    std::mutex pacedMutex_;
    std::condition_variable pacedStop_;
    bool pacing_ = false;
};

}  // namespace sim
