#include "sim/segment/segment.h"

#include <algorithm>
#include <chrono>

namespace sim {
namespace {

constexpr std::uint8_t kRefreshedByte = 0x05;
constexpr std::uint8_t kPromptStatus = 0x20;
constexpr std::uint32_t kMessageAddressBytes = 6;
constexpr std::uint16_t kReceiveKey = 0;
constexpr std::uint32_t kBaMemoryFirstPage = 160;
constexpr auto kPacedSlice = std::chrono::milliseconds(1);
// The most wall time one paced step makes up for: a simulator slower than the rate asked for falls
// behind the wall clock instead of taking ever longer steps (and ever longer to stop).
constexpr auto kMaxPacedCatchUp = std::chrono::milliseconds(10);

// Event bytes: bits 0-1 the kind, bits 2-4 the value. A send report's value is the report code
// that the designer's message dialog reads (0 without acknowledge, 4 positive acknowledge without
// retry, 8 no acknowledge after retries).
constexpr std::uint8_t kEventAperiodicSent = 0;
constexpr std::uint8_t kEventMessageSent = 1;
constexpr std::uint8_t kEventBa = 3;
constexpr std::uint8_t kReportNoAcknowledge = 0;
constexpr std::uint8_t kReportAcknowledged = 4;
constexpr std::uint8_t kReportNoAcknowledgeAfterRetries = 8;
constexpr std::size_t kRequestChannelByte = 1;

std::uint16_t be16(const std::array<std::uint8_t, 10>& b, std::size_t i) {
    return static_cast<std::uint16_t>(b[i] << 8 | b[i + 1]);
}

}  // namespace

bool Segment::Board::dualMedium() const { return medium == nullptr || medium->dualMedium(); }

bool Segment::Board::carries(int channel) const {
    constexpr std::uint8_t kChannelBit[2] = {medium::kChannel1, medium::kChannel2};
    return (inService & kChannelBit[channel]) != 0 && !fault[channel] && (channel == 0 || dualMedium());
}

bool Segment::Board::onBus() const { return carries(0) || carries(1); }

Segment::~Segment() { stopPaced(); }

std::size_t Segment::attachBoard(CardModel& card, Fielddual* medium) {
    std::lock_guard lock(mutex_);
    Board board;
    board.card = &card;
    board.medium = medium;
    board.seenStarts = card.baStartCount();
    boards_.push_back(std::move(board));
    return boards_.size() - 1;
}

std::size_t Segment::addRemoteStation(RemoteStationConfig config) {
    std::lock_guard lock(mutex_);
    remotes_.emplace_back(std::move(config));
    return remotes_.size() - 1;
}

void Segment::setMediumFault(std::size_t board, int channel, bool faulty) {
    std::lock_guard lock(mutex_);
    if (channel == 1 || channel == 2) boards_.at(board).fault[channel - 1] = faulty;
}

Nanoseconds Segment::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

SegmentCounters Segment::counters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

std::optional<std::size_t> Segment::arbitratingBoard() const {
    std::lock_guard lock(mutex_);
    return arbitrator_ ? arbitrator_->board : std::nullopt;
}

std::optional<HeldValue> Segment::remoteValue(std::size_t station, std::uint16_t identifier) const {
    std::lock_guard lock(mutex_);
    return remotes_.at(station).held(identifier);
}

std::vector<RemoteStation::Message> Segment::remoteMessages(std::size_t station) const {
    std::lock_guard lock(mutex_);
    return remotes_.at(station).messages();
}

void Segment::run(Nanoseconds duration) {
    std::lock_guard lock(mutex_);
    runLocked(duration);
}

void Segment::runLocked(Nanoseconds duration) {
    const Nanoseconds end = now_ + duration;
    sync();
    while (now_ < end) {
        if (!arbitrator_ || !controlArbitrator()) pickArbitrator();
        if (!arbitrator_ || arbitrator_->ba->isSuspended()) {
            now_ = end;
            break;
        }
        now_ += arbitrator_->ba->step(*this, now_);
        if (arbitrator_->board) boards_[*arbitrator_->board].card->setBaState(arbitrator_->ba->state());
        if (arbitrator_->ba->macrocycles() != syncedCycle_) {
            syncedCycle_ = arbitrator_->ba->macrocycles();
            ++counters_.macrocycles;
            if (syncedCycle_ == 1 && !keepsBusAfterFirstMacrocycle()) {
                arbitrator_.reset();
                sync();
                continue;
            }
            queueRemoteMessages();
            sync();
        }
    }
    sync();
}

// Takes what the boards' applications asked for since the last look, and reads configurations anew
// after a reset or a start of communication.
void Segment::sync() {
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        Board& b = boards_[i];
        if (b.medium) b.inService = b.medium->status() & (medium::kChannel1 | medium::kChannel2);
        const std::uint32_t resets = b.card->resetCount();
        const bool circuit = b.card->circuitStarted();
        if (resets != b.seenResets || circuit != b.seenCircuit) {
            if (resets != b.seenResets) {
                // The reset board's requests that the segment holds die with the board's queues.
                std::erase_if(messages_, [&](const QueuedMessage& q) { return q.board == i; });
                std::erase_if(aperiodic_, [&](const QueuedAperiodic& q) { return q.board == i; });
            }
            if (resets != b.seenResets) b.gaveUpSilentBus = false;
            b.seenResets = resets;
            b.seenCircuit = circuit;
            b.config = readCardConfiguration(*b.card);
            b.lastReceived.clear();
            b.lastWrite.clear();
        }
        for (SentMessage& m : b.card->takeSentMessages()) messages_.push_back({i, std::move(m)});
        for (const AperiodicRequest& r : b.card->takeAperiodicRequests()) {
            const auto at = r.urgent ? std::find_if(aperiodic_.begin(), aperiodic_.end(),
                                                    [](const QueuedAperiodic& q) { return !q.request.urgent; })
                                     : aperiodic_.end();
            aperiodic_.insert(at, {i, r});
        }
        if (!b.config) continue;
        // A board's BA that starts while another arbitrator runs waits as IDLE.
        const std::uint8_t state = b.card->baState();
        if (arbitrator_ && arbitrator_->board != std::optional<std::size_t>(i) && state != ba::kStopped && state != ba::kIdle)
            b.card->setBaState(ba::kIdle);
        for (const auto& [index, received] : b.lastReceived) {
            const CardVariable* v = b.config->at(index);
            if (v && now_ - received > v->promptnessPeriod) b.card->setValueStatus(index, 0);
        }
        if (circuit) {
            constexpr std::uint8_t kTransmissionError[2] = {medium::kTransmissionError1, medium::kTransmissionError2};
            constexpr std::uint8_t kChannelBit[2] = {medium::kChannel1, medium::kChannel2};
            for (int c = 0; c < 2; ++c) {
                // A channel out of service sends nothing, so it fails nothing.
                if (!b.fault[c] || (b.inService & kChannelBit[c]) == 0 || (c == 1 && !b.dualMedium())) continue;
                if (b.medium) b.medium->raiseErrors(kTransmissionError[c]);
                b.card->countMediumError(c + 1);
            }
        }
    }
}

std::vector<std::uint16_t> Segment::baMemory(const Board& board) const {
    std::vector<std::uint16_t> words(kCardWords, 0);
    const std::uint32_t end = std::min<std::uint32_t>(kCardPages, std::max<std::uint32_t>(board.config->baEndPage + 2, kBaMemoryFirstPage));
    for (std::uint32_t p = kBaMemoryFirstPage; p < end; ++p) {
        const Page page = board.card->page(p);
        for (std::uint32_t w = 0; w < kWordsPerCardPage; ++w)
            words[p * kWordsPerCardPage + w] = static_cast<std::uint16_t>(page[2 * w] << 8 | page[2 * w + 1]);
    }
    return words;
}

// A board's BA that took the bus checks its first macrocycle: silent, it stops unless it stopped so
// once already (since the board's last reset) and was started again.
bool Segment::keepsBusAfterFirstMacrocycle() {
    if (!arbitrator_->board) return true;
    Board& b = boards_[*arbitrator_->board];
    if (answers() != arbitrator_->answersAtStart || b.gaveUpSilentBus) {
        b.gaveUpSilentBus = false;
        return true;
    }
    b.gaveUpSilentBus = true;
    b.card->setBaState(ba::kStopped);
    return false;
}

// Keeps the running board arbitrator in step with its card: STOP_BA, a new START_BA, CONTINUE_BA
// and CHANGE_MACRO_BA.
bool Segment::controlArbitrator() {
    if (!arbitrator_->board) return true;  // a remote arbitrator keeps the bus
    Board& b = boards_[*arbitrator_->board];
    if (b.card->baState() == ba::kStopped || b.card->baStartCount() != b.seenStarts || !b.config) {
        arbitrator_.reset();
        return false;
    }
    if (const auto word = b.card->takeContinueWord()) arbitrator_->ba->resume(*word);
    if (const auto word = b.card->takeChangeWord()) arbitrator_->ba->change(*word);
    return true;
}

void Segment::pickArbitrator() {
    arbitrator_.reset();
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        Board& b = boards_[i];
        if (!b.config || !b.seenCircuit || !b.config->baMemory || b.card->baState() == ba::kStopped) continue;
        if (arbitrator_) {
            b.card->setBaState(ba::kIdle);
            continue;
        }
        b.seenStarts = b.card->baStartCount();
        b.card->takeContinueWord();
        b.card->takeChangeWord();
        arbitrator_ = Arbitrator{i, 0, std::make_unique<BusArbitrator>(baMemory(b), b.config->programWord, b.config->timing),
                                 answers()};
    }
    if (!arbitrator_) {
        for (std::size_t r = 0; r < remotes_.size(); ++r) {
            const RemoteStationConfig& c = remotes_[r].config();
            if (c.arbitratorProgram.empty()) continue;
            std::vector<std::uint16_t> words = programWords(c.arbitratorProgram);
            constexpr std::uint16_t kStart = kBaMemoryFirstPage * kWordsPerCardPage;
            words.insert(words.begin(), kStart, 0);
            arbitrator_ = Arbitrator{std::nullopt, r, std::make_unique<BusArbitrator>(std::move(words), kStart, busTiming(c.bus)),
                                     answers()};
            break;
        }
    }
    if (arbitrator_) {
        timing_ = arbitrator_->ba->timing();
        syncedCycle_ = 0;
    }
}

// The remote stations' own messages due at this macrocycle join the queue; they have no sender board.
void Segment::queueRemoteMessages() {
    for (RemoteStation& r : remotes_) {
        for (auto& [m, data] : r.messagesDue(counters_.macrocycles)) {
            QueuedMessage q{kRemoteSender, SentMessage{}};
            q.message.request[2] = static_cast<std::uint8_t>(m->destination >> 8);
            q.message.request[3] = static_cast<std::uint8_t>(m->destination);
            q.message.request[5] = static_cast<std::uint8_t>(m->source >> 8);
            q.message.request[6] = static_cast<std::uint8_t>(m->source);
            q.message.data = std::move(data);
            messages_.push_back(std::move(q));
        }
    }
}

bool Segment::arbitratorHeard() const { return !arbitrator_->board || boards_[*arbitrator_->board].onBus(); }

Nanoseconds Segment::scanVariable(std::uint16_t identifier) {
    ++counters_.identifierFrames;
    Nanoseconds used = timing_.identifierFrame();
    // The producer's RP_DAT: PDU type, length, value; and whether the value is refreshed.
    std::optional<std::vector<std::uint8_t>> frame;
    bool refreshed = true;
    if (arbitratorHeard()) {
        for (Board& b : boards_) {
            if (!b.config || !b.seenCircuit || !b.onBus()) continue;
            const CardVariable* v = b.config->find(identifier, VariableKind::Produced);
            if (!v) continue;
            auto value = b.card->variableValue(v->index);
            if (!value) continue;
            const std::uint32_t writes = b.card->writeCount(v->index);
            auto& seen = b.seenWrites[v->index];
            const bool fresh = writes != seen;
            if (fresh) b.lastWrite[v->index] = now_;
            seen = writes;
            const auto last = b.lastWrite.find(v->index);
            refreshed = !v->refreshment || (last != b.lastWrite.end() &&
                                            (v->refreshmentPeriod == 0 ? fresh : now_ - last->second <= v->refreshmentPeriod));
            value->resize(v->length, 0);
            frame = std::vector<std::uint8_t>{v->pduType, v->length};
            frame->insert(frame->end(), value->begin(), value->end());
            break;
        }
        for (std::size_t r = 0; !frame && r < remotes_.size(); ++r) frame = remotes_[r].produce(identifier);
    }
    if (!frame) {
        ++counters_.silences;
        return used + timing_.silence;
    }
    ++counters_.responseFrames;
    used += 2 * timing_.turnaround + timing_.responseFrame(static_cast<std::uint32_t>(frame->size() - 2));
    const Nanoseconds at = now_ + used;
    const std::vector<std::uint8_t> value(frame->begin() + 2, frame->end());
    for (Board& b : boards_) {
        if (!b.config || !b.seenCircuit || !b.onBus()) continue;
        const CardVariable* v = b.config->find(identifier, VariableKind::Consumed);
        if (!v) continue;
        std::vector<std::uint8_t> bytes = {(*frame)[0], v->length};
        bytes.insert(bytes.end(), value.begin(), value.end());
        bytes.resize(2u + v->length, 0);
        if (v->refreshment) bytes.push_back(refreshed ? kRefreshedByte : 0);
        b.card->deliverValue(v->index, std::move(bytes), kPromptStatus);
        if (v->promptness) b.lastReceived[v->index] = at;
    }
    for (RemoteStation& r : remotes_)
        if (r.consumes(identifier)) r.hold(identifier, HeldValue{value, refreshed, at, 0});
    return used;
}

Nanoseconds Segment::scanMessage(std::uint16_t identifier) {
    const auto queued = std::find_if(messages_.begin(), messages_.end(), [&](const QueuedMessage& q) {
        return be16(q.message.request, 5) == identifier;
    });
    if (queued == messages_.end()) {
        ++counters_.identifierFrames;
        ++counters_.silences;
        return timing_.identifierFrame() + timing_.silence;
    }
    const QueuedMessage message = std::move(*queued);
    messages_.erase(queued);
    return transfer(message);
}

Nanoseconds Segment::serveMessages(Nanoseconds room) {
    Nanoseconds used = 0;
    while (!messages_.empty() && used < room) {
        const QueuedMessage message = std::move(messages_.front());
        messages_.pop_front();
        used += transfer(message);
    }
    return used;
}

// ID_MSG, RP_MSG, RP_ACK when acknowledged, RP_FIN; the message reaches every station addressed by
// its destination identifier.
Nanoseconds Segment::transfer(const QueuedMessage& queued) {
    const SentMessage& m = queued.message;
    Board* sender = queued.board == kRemoteSender ? nullptr : &boards_[queued.board];
    ++counters_.identifierFrames;
    ++counters_.messages;
    Nanoseconds used = timing_.identifierFrame() + 2 * timing_.turnaround +
                       timing_.responseFrame(kMessageAddressBytes + static_cast<std::uint32_t>(m.data.size())) +
                       timing_.responseFrame(0) + timing_.turnaround;
    if (m.acknowledged) used += timing_.responseFrame(0) + timing_.turnaround;
    const MessageAddress address{be16(m.request, 2), m.request[4], be16(m.request, 5), m.request[7]};
    bool received = false;
    if (arbitratorHeard() && (sender == nullptr || sender->onBus())) {
        for (std::size_t i = 0; i < boards_.size(); ++i) {
            Board& b = boards_[i];
            if (i == queued.board || !b.config || !b.seenCircuit || !b.onBus()) continue;
            const bool addressed = std::any_of(b.config->variables.begin(), b.config->variables.end(),
                                               [&](const CardVariable& v) { return v.identifier == address.destination; });
            if (!addressed) continue;
            b.card->deliverMessage(kReceiveKey, ReceivedMessage{address, m.data});
            received = true;
        }
        for (RemoteStation& r : remotes_) {
            if (!r.addressed(address.destination)) continue;
            r.receive({address.source, m.data});
            received = true;
        }
    }
    const std::uint8_t report = !m.acknowledged ? kReportNoAcknowledge
                                : received      ? kReportAcknowledged
                                                : kReportNoAcknowledgeAfterRetries;
    // The parameter is the channel byte of the request, so that the sender tells its report apart.
    if (sender == nullptr) return used;
    sender->card->pushEvent(CardEvent{.eventByte = static_cast<std::uint8_t>(kEventMessageSent | report),
                                     .parameter = m.request[kRequestChannelByte],
                                     .identifier = m.key});
    return used;
}

Nanoseconds Segment::serveAperiodic(Nanoseconds room) {
    Nanoseconds used = 0;
    while (!aperiodic_.empty() && used < room) {
        const QueuedAperiodic q = aperiodic_.front();
        aperiodic_.pop_front();
        const Board& b = boards_[q.board];
        if (!b.config) continue;
        const CardVariable* v = b.config->at(q.request.index);
        if (!v) continue;
        ++counters_.aperiodic;
        used += scanVariable(v->identifier);
        b.card->pushEvent(CardEvent{.eventByte = kEventAperiodicSent, .parameter = 0, .identifier = q.request.index});
    }
    return used;
}

void Segment::suspended(std::uint16_t eventNumber, std::uint16_t blockAddress) {
    if (!arbitrator_->board) return;
    boards_[*arbitrator_->board].card->pushEvent(
        CardEvent{.eventByte = kEventBa, .parameter = static_cast<std::uint8_t>(eventNumber), .identifier = blockAddress});
}

void Segment::startPaced(double rate) {
    std::lock_guard pacedLock(pacedMutex_);
    if (pacing_) return;
    pacing_ = true;
    paced_ = std::thread([this, rate] {
        auto last = std::chrono::steady_clock::now();
        // The bus time the wall clock asks for. A step of the arbitrator (a WAIT to the end of the
        // elementary cycle) may run past it; the next slices then run only what is still due, so
        // that bus time does not run ahead of the wall clock.
        Nanoseconds target = now();
        const Nanoseconds maxCatchUp = std::chrono::duration_cast<std::chrono::nanoseconds>(kMaxPacedCatchUp).count();
        std::unique_lock lock(pacedMutex_);
        while (!pacedStop_.wait_for(lock, kPacedSlice, [this] { return !pacing_; })) {
            const auto wall = std::chrono::steady_clock::now();
            const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::min<std::chrono::steady_clock::duration>(wall - last, kMaxPacedCatchUp))
                                     .count();
            last = wall;
            lock.unlock();
            const Nanoseconds current = now();
            // When the simulator cannot keep the rate, bus time runs slower than asked.
            target = std::min(target + static_cast<Nanoseconds>(static_cast<double>(elapsed) * rate), current + maxCatchUp);
            if (target > current) run(target - current);
            lock.lock();
        }
    });
}

void Segment::stopPaced() {
    {
        std::lock_guard pacedLock(pacedMutex_);
        if (!pacing_) return;
        pacing_ = false;
    }
    pacedStop_.notify_all();
    paced_.join();
}

}  // namespace sim
