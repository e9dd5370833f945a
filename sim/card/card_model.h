// The card behind the FULLFIP2 controller: what the board's firmware keeps and how it answers each
// command byte. One model serves every board kind (PCI, PC104, and later the USB board's firmware).
//
// The controller (chips/fullfip2.h) hands each command to the card when its command byte is
// written: the card decides the status byte, VAR_SIZE and the data phase at that moment. Writing
// commands get their data afterwards through finishWrite(), which may change the status (DEF_EVT
// reads its status after the data).
//
// Card memory: 2048 pages of 128 bytes, filled with powerOnByte() when the card is created and kept
// across resets. The variables' layout is the one the engine's memory image writes: page 128 is the
// header (word 1 = first page / 16 of the buffer descriptors, word 3 = variable table size) and
// buffer descriptor i gives variable i's kind and length in its word 0. Until the FIP segment
// exists, variable values are kept per index on the card.
//
// Thread-safe: every member takes the card's lock, except eventPending(), which reads a flag that
// the event queue keeps beside it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace sim {

inline constexpr std::uint32_t kCardPages = 2048;
inline constexpr std::uint32_t kPageBytes = 128;
inline constexpr std::uint32_t kMaxMessageBytes = 252;   // what WRITE_MSG takes
inline constexpr std::uint32_t kMaxReceivedBytes = 251;  // what READ_MSG gives

// Command bytes of the FULLFIP2 (board command contract).
namespace cmd {
inline constexpr std::uint8_t kClose = 0x00;
inline constexpr std::uint8_t kReadPhy = 0x40;
inline constexpr std::uint8_t kReadVar = 0x41;
inline constexpr std::uint8_t kReadMsg = 0x42;
inline constexpr std::uint8_t kReadEvt = 0x43;
inline constexpr std::uint8_t kReceiveMsg = 0x4D;
inline constexpr std::uint8_t kPurge = 0x5E;
inline constexpr std::uint8_t kStartBa = 0x87;
inline constexpr std::uint8_t kSendAper = 0x88;
inline constexpr std::uint8_t kSendMsg = 0x89;
inline constexpr std::uint8_t kStopBa = 0x97;
inline constexpr std::uint8_t kSendAperUrgent = 0x98;
inline constexpr std::uint8_t kSendMsgAcknowledged = 0x99;
inline constexpr std::uint8_t kContinueBa = 0xA7;
inline constexpr std::uint8_t kBaReport = 0xB7;
inline constexpr std::uint8_t kWriteMsg = 0xC2;  // END_TEST when register 1 was set to 1 before
inline constexpr std::uint8_t kWritePhy = 0xC4;
inline constexpr std::uint8_t kWriteVar = 0xC5;
inline constexpr std::uint8_t kDefEvt = 0xC6;
inline constexpr std::uint8_t kDefParam = 0xDB;
inline constexpr std::uint8_t kChangeMacroBa = 0xE7;
inline constexpr std::uint8_t kStartCircuit = 0xFF;
}  // namespace cmd

// Status bytes of a refusal (bit 7 set; the low nibble is the card's error number).
namespace refusal {
inline constexpr std::uint8_t kUnknownCommand = 0x81;
inline constexpr std::uint8_t kUnknownObject = 0x82;   // no such variable or page
inline constexpr std::uint8_t kNoValue = 0x83;         // variable never refreshed
inline constexpr std::uint8_t kQueueEmpty = 0x84;      // no event or message waiting
inline constexpr std::uint8_t kWrongBaState = 0x85;
}  // namespace refusal

// BaState values of the BA report byte.
namespace ba {
inline constexpr std::uint8_t kSending = 8;
inline constexpr std::uint8_t kStopped = 9;
inline constexpr std::uint8_t kStarting = 10;
inline constexpr std::uint8_t kIdle = 11;  // another arbitrator runs the bus
inline constexpr std::uint8_t kMessageWindow = 12;
inline constexpr std::uint8_t kAperiodicWindow = 13;
inline constexpr std::uint8_t kWait = 14;
inline constexpr std::uint8_t kPending = 15;  // suspended until CONTINUE_BA
}  // namespace ba

enum class DataPhase { None, Read, Write };

struct CardAnswer {
    std::uint8_t status = 0;
    std::uint8_t size = 0;  // VAR_SIZE
    DataPhase data = DataPhase::None;
    std::vector<std::uint8_t> readBytes;  // DataPhase::Read: the bytes the FIFO gives
    std::uint32_t writeRoom = 0;          // DataPhase::Write: the most bytes the card takes
    bool commitOnClose = false;           // Write: the data counts at CLOSE, however many arrived
};

struct CardEvent {
    std::uint8_t eventByte = 0;  // bit 7 flag, bits 2-4 value, bits 0-1 kind
    std::uint8_t parameter = 0;
    std::uint16_t identifier = 0;
};

struct MessageAddress {
    std::uint16_t destination = 0;
    std::uint8_t destinationSegment = 0;
    std::uint16_t source = 0;
    std::uint8_t sourceSegment = 0;
};

struct ReceivedMessage {
    MessageAddress address;
    std::vector<std::uint8_t> data;  // at most kMaxReceivedBytes
};

struct SentMessage {
    std::uint16_t key = 0;
    bool acknowledged = false;
    std::array<std::uint8_t, 10> request{};  // the ten request bytes of SEND_MSG
    std::vector<std::uint8_t> data;          // what WRITE_MSG left for the key
};

struct AperiodicRequest {
    std::uint16_t index = 0;
    bool urgent = false;
};

struct EventDefinition {
    std::uint8_t flags = 0;  // bit 7 on, bits 0-1 kind
    std::uint8_t parameter = 0;
};

enum class VariableKind { Produced, Consumed };
struct VariableLayout {
    VariableKind kind;
    std::uint8_t length;  // 1..128
};

using Page = std::array<std::uint8_t, kPageBytes>;

// The byte a page holds at power-on: 0xA5 in even bytes and the page number's low byte in odd ones.
std::uint8_t powerOnByte(std::uint32_t page, std::uint32_t offset);

class CardModel {
public:
    CardModel();

    // Controller side (called by the FULLFIP2 at its command byte and after a write's data phase).
    CardAnswer command(std::uint8_t commandByte, std::uint16_t key, bool endTestMarked);
    // The write of `commandByte` received `data`; returns the status byte to show from now on.
    std::uint8_t finishWrite(std::uint8_t commandByte, std::uint16_t key, std::span<const std::uint8_t> data,
                             std::uint8_t status);
    bool eventPending() const { return events_.pending(); }
    // Board reset: BA stopped, transaction state, events, queues (received, and the messages and
    // aperiodic requests not yet sent) and values cleared; pages kept.
    void reset();

    // Inspection and stimulus (tests, the FIP segment).
    Page page(std::uint32_t number) const;
    void setPage(std::uint32_t number, const Page& bytes);
    std::optional<VariableLayout> variableLayout(std::uint16_t index) const;
    std::optional<std::vector<std::uint8_t>> variableValue(std::uint16_t index) const;
    void setVariableValue(std::uint16_t index, std::vector<std::uint8_t> value);
    std::optional<EventDefinition> eventDefinition(std::uint16_t index) const;
    void pushEvent(const CardEvent& event);
    // Queues a received message under its receive key and raises the "message received" event.
    void deliverMessage(std::uint16_t receiveKey, ReceivedMessage message);
    // Messages sent and not yet taken by the segment (PURGE drops those of its channel).
    std::vector<SentMessage> sentMessages() const;
    std::vector<AperiodicRequest> aperiodicRequests() const;
    std::uint8_t baState() const;
    std::uint16_t baStartPage() const;
    std::optional<std::uint8_t> communicationParameter() const;  // DEF_PARAM's byte
    bool circuitStarted() const;
    bool testEnded() const;
    std::uint32_t resetCount() const;

    // FIP segment hooks. A consumed value delivered by the segment is read back as it stands (the
    // RP_DAT bytes the card keeps) with its own status byte; setValueStatus changes only that byte
    // (promptness expiring). writeCount counts WRITE_VAR data phases of an index (refreshment).
    void deliverValue(std::uint16_t index, std::vector<std::uint8_t> bytes, std::uint8_t status);
    void setValueStatus(std::uint16_t index, std::uint8_t status);
    std::uint32_t writeCount(std::uint16_t index) const;
    // One frame lost on a faulty channel (1 or 2). The card counts them in card memory, where the
    // engine's MEDIUM_CONTROL compares them with its references: page 3 word 1 + channel counts
    // the frames not heard, page 129 word 2 + channel the transmissions that failed (16 bits, wrapping).
    void countMediumError(int channel);
    std::vector<SentMessage> takeSentMessages();
    std::vector<AperiodicRequest> takeAperiodicRequests();
    // The arbitrator's state as the segment runs it; startCount grows with every accepted START_BA.
    // A stopped arbitrator (STOP_BA, reset) stays stopped: a state from a step that was under way
    // when it stopped is dropped.
    void setBaState(std::uint8_t state);
    std::uint32_t baStartCount() const;
    // CONTINUE_BA and CHANGE_MACRO_BA words not yet taken by the arbitrator.
    std::optional<std::uint16_t> takeContinueWord();
    std::optional<std::uint16_t> takeChangeWord();

private:
    struct Handler;
    static const Handler* findHandler(std::uint8_t commandByte);

    CardAnswer readPhy(std::uint16_t page);
    CardAnswer writePhy(std::uint16_t page);
    CardAnswer readVar(std::uint16_t index);
    CardAnswer writeVar(std::uint16_t index);
    CardAnswer defParam(std::uint16_t key);
    CardAnswer startCircuit(std::uint16_t key);
    CardAnswer endTest(std::uint16_t key);
    CardAnswer startBa(std::uint16_t page);
    CardAnswer stopBa(std::uint16_t key);
    CardAnswer baReport(std::uint16_t key);
    CardAnswer continueBa(std::uint16_t word);
    CardAnswer defEvt(std::uint16_t index);
    CardAnswer receiveMsg(std::uint16_t key);
    CardAnswer readMsg(std::uint16_t key);
    CardAnswer writeMsg(std::uint16_t key);
    CardAnswer sendMsg(std::uint16_t key);
    CardAnswer purge(std::uint16_t word);
    CardAnswer readEvt(std::uint16_t key);
    CardAnswer sendAper(std::uint16_t index);

    std::uint16_t word(std::uint32_t page, std::uint32_t index) const;  // big-endian word of a page
    std::optional<VariableLayout> layoutLocked(std::uint16_t index) const;

    mutable std::mutex mutex_;
    std::vector<Page> pages_;
    std::map<std::uint16_t, std::vector<std::uint8_t>> values_;
    std::map<std::uint16_t, EventDefinition> eventDefinitions_;
    std::map<std::uint16_t, std::vector<std::uint8_t>> pendingMessages_;  // WRITE_MSG data by key
    std::map<std::uint16_t, std::deque<ReceivedMessage>> receiveQueues_;
    // The event queue with its pending flag, which eventPending() reads without the lock; every
    // change goes through here (with the lock held), so that the two agree.
    class Events {
    public:
        bool empty() const { return queue_.empty(); }
        bool pending() const { return pending_.load(std::memory_order_acquire); }
        void push(const CardEvent& event) {
            queue_.push_back(event);
            publish();
        }
        CardEvent pop() {
            const CardEvent event = queue_.front();
            queue_.pop_front();
            publish();
            return event;
        }
        void clear() {
            queue_.clear();
            publish();
        }

    private:
        void publish() { pending_.store(!queue_.empty(), std::memory_order_release); }
        std::deque<CardEvent> queue_;
        std::atomic<bool> pending_{false};
    };
    Events events_;
    std::vector<SentMessage> sent_;
    std::vector<AperiodicRequest> aperiodic_;
    std::uint8_t baState_ = ba::kStopped;
    std::uint16_t baStartPage_ = 0;
    std::optional<std::uint8_t> parameter_;
    bool circuitStarted_ = false;
    bool testEnded_ = false;
    std::uint32_t resets_ = 0;
    std::uint8_t currentCommand_ = 0;  // the command being answered (SEND_MSG and SEND_APER variants)
    std::map<std::uint16_t, std::uint8_t> deliveredStatus_;  // consumed values the segment delivered
    std::map<std::uint16_t, std::uint32_t> writes_;
    std::uint32_t baStarts_ = 0;
    std::optional<std::uint16_t> continueWord_;
    std::optional<std::uint16_t> changeWord_;
};

}  // namespace sim
