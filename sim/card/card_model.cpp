#include "sim/card/card_model.h"

#include <algorithm>
#include <utility>

namespace sim {
namespace {

// Page 128: the header of the engine's memory image.
constexpr std::uint32_t kHeaderPage = 128;
constexpr std::uint32_t kDescriptorBytes = 32;  // 16 words
constexpr std::uint32_t kMaxVariables = 4096;
constexpr std::uint32_t kReceptionCounterPage = 3;
constexpr std::uint32_t kTransmissionCounterPage = 129;

constexpr std::uint8_t kEventReceived = 2;  // event kind: a message arrived (identifier = receive key)
constexpr std::uint8_t kSendRequestBytes = 10;
constexpr std::size_t kRequestControl = 8, kRequestSelector = 9;  // in the ten request bytes
constexpr std::uint8_t kReceiveHeaderBytes = 8;
constexpr std::uint8_t kReadEvtBytes = 4;
constexpr std::uint8_t kDefEvtBytes = 2;
constexpr std::uint8_t kPromptValue = 0x20;  // status bit 5: the value is refreshed

CardAnswer refused(std::uint8_t status, DataPhase data = DataPhase::None) {
    CardAnswer answer;
    answer.status = status;
    answer.data = data;
    return answer;
}

CardAnswer reading(std::vector<std::uint8_t> bytes, std::uint8_t status = 0) {
    CardAnswer answer = refused(status, DataPhase::Read);
    answer.size = static_cast<std::uint8_t>(bytes.size());
    answer.readBytes = std::move(bytes);
    return answer;
}

CardAnswer writing(std::uint8_t size, std::uint32_t room, bool commitOnClose = false) {
    CardAnswer answer = refused(0, DataPhase::Write);
    answer.size = size;
    answer.writeRoom = room;
    answer.commitOnClose = commitOnClose;
    return answer;
}

}  // namespace

struct CardModel::Handler {
    std::uint8_t commandByte;
    CardAnswer (CardModel::*run)(std::uint16_t key);
};

std::uint8_t powerOnByte(std::uint32_t page, std::uint32_t offset) {
    return (offset % 2 == 0) ? 0xA5 : static_cast<std::uint8_t>(page);
}

CardModel::CardModel() : pages_(kCardPages) {
    for (std::uint32_t p = 0; p < kCardPages; ++p)
        for (std::uint32_t i = 0; i < kPageBytes; ++i) pages_[p][i] = powerOnByte(p, i);
}

const CardModel::Handler* CardModel::findHandler(std::uint8_t commandByte) {
    static constexpr Handler kHandlers[] = {
        {cmd::kReadPhy, &CardModel::readPhy},
        {cmd::kReadVar, &CardModel::readVar},
        {cmd::kReadMsg, &CardModel::readMsg},
        {cmd::kReadEvt, &CardModel::readEvt},
        {cmd::kReceiveMsg, &CardModel::receiveMsg},
        {cmd::kPurge, &CardModel::purge},
        {cmd::kStartBa, &CardModel::startBa},
        {cmd::kSendAper, &CardModel::sendAper},
        {cmd::kSendMsg, &CardModel::sendMsg},
        {cmd::kStopBa, &CardModel::stopBa},
        {cmd::kSendAperUrgent, &CardModel::sendAper},
        {cmd::kSendMsgAcknowledged, &CardModel::sendMsg},
        {cmd::kContinueBa, &CardModel::continueBa},
        {cmd::kBaReport, &CardModel::baReport},
        {cmd::kWriteMsg, &CardModel::writeMsg},
        {cmd::kWritePhy, &CardModel::writePhy},
        {cmd::kWriteVar, &CardModel::writeVar},
        {cmd::kDefEvt, &CardModel::defEvt},
        {cmd::kDefParam, &CardModel::defParam},
        {cmd::kChangeMacroBa, &CardModel::continueBa},
        {cmd::kStartCircuit, &CardModel::startCircuit},
    };
    static_assert(std::size(kHandlers) == 21, "one handler per command byte of the board contract");
    const auto found = std::find_if(std::begin(kHandlers), std::end(kHandlers),
                                    [&](const Handler& h) { return h.commandByte == commandByte; });
    return found == std::end(kHandlers) ? nullptr : found;
}

CardAnswer CardModel::command(std::uint8_t commandByte, std::uint16_t key, bool endTestMarked) {
    std::lock_guard lock(mutex_);
    currentCommand_ = commandByte;
    if (endTestMarked && commandByte == cmd::kWriteMsg) return endTest(key);
    const Handler* handler = findHandler(commandByte);
    if (!handler) return refused(refusal::kUnknownCommand);
    return (this->*handler->run)(key);
}

std::uint8_t CardModel::finishWrite(std::uint8_t commandByte, std::uint16_t key, std::span<const std::uint8_t> data,
                                    std::uint8_t status) {
    std::lock_guard lock(mutex_);
    switch (commandByte) {
    case cmd::kWritePhy:
        if (key >= kCardPages) return status;
        std::copy_n(data.begin(), std::min<std::size_t>(data.size(), kPageBytes), pages_[key].begin());
        return status;
    case cmd::kWriteVar:
        values_[key].assign(data.begin(), data.end());
        deliveredStatus_.erase(key);
        ++writes_[key];
        return status;
    case cmd::kWriteMsg:
        pendingMessages_[key].assign(data.begin(), data.end());
        return status;
    case cmd::kSendMsg:
    case cmd::kSendMsgAcknowledged: {
        SentMessage sent;
        sent.key = key;
        sent.acknowledged = commandByte == cmd::kSendMsgAcknowledged;
        std::copy_n(data.begin(), std::min<std::size_t>(data.size(), sent.request.size()), sent.request.begin());
        if (auto pending = pendingMessages_.find(key); pending != pendingMessages_.end()) {
            sent.data = std::move(pending->second);
            pendingMessages_.erase(pending);
        }
        sent_.push_back(std::move(sent));
        return status;
    }
    case cmd::kDefEvt:
        // The input's flags byte comes first, then the parameter byte.
        if (!layoutLocked(key) && !values_.contains(key)) return refusal::kUnknownObject;
        eventDefinitions_[key] = EventDefinition{.flags = data[0], .parameter = data[1]};
        return status;
    default:
        return status;
    }
}

void CardModel::reset() {
    std::lock_guard lock(mutex_);
    values_.clear();
    deliveredStatus_.clear();
    continueWord_.reset();
    changeWord_.reset();
    eventDefinitions_.clear();
    pendingMessages_.clear();
    receiveQueues_.clear();
    events_.clear();
    sent_.clear();
    aperiodic_.clear();
    baState_ = ba::kStopped;
    baStartPage_ = 0;
    parameter_.reset();
    circuitStarted_ = false;
    testEnded_ = false;
    ++resets_;
}

// ---- command handlers (called with the lock held)

CardAnswer CardModel::readPhy(std::uint16_t page) {
    if (page >= kCardPages) return refused(refusal::kUnknownObject, DataPhase::Read);
    return reading(std::vector<std::uint8_t>(pages_[page].begin(), pages_[page].end()));
}

CardAnswer CardModel::writePhy(std::uint16_t page) {
    if (page >= kCardPages) return refused(refusal::kUnknownObject, DataPhase::Write);
    return writing(kPageBytes, kPageBytes);
}

CardAnswer CardModel::readVar(std::uint16_t index) {
    const auto layout = layoutLocked(index);
    const auto value = values_.find(index);
    if (value == values_.end()) return refused(layout ? refusal::kNoValue : refusal::kUnknownObject);
    if (const auto delivered = deliveredStatus_.find(index); delivered != deliveredStatus_.end())
        return reading(value->second, delivered->second);
    std::vector<std::uint8_t> bytes = value->second;
    if (layout) bytes.resize(layout->length);
    return reading(std::move(bytes), kPromptValue);
}

CardAnswer CardModel::writeVar(std::uint16_t index) {
    const auto layout = layoutLocked(index);
    if (!layout) return refused(refusal::kUnknownObject);
    return writing(layout->length, layout->length);
}

CardAnswer CardModel::defParam(std::uint16_t key) {
    parameter_ = static_cast<std::uint8_t>(key & 0xFF);
    return {};
}

CardAnswer CardModel::startCircuit(std::uint16_t) {
    circuitStarted_ = true;
    return {};
}

CardAnswer CardModel::endTest(std::uint16_t) {
    testEnded_ = true;
    return {};
}

CardAnswer CardModel::startBa(std::uint16_t page) {
    if (baState_ != ba::kStopped) return refused(refusal::kWrongBaState);
    baState_ = ba::kStarting;
    baStartPage_ = page;
    ++baStarts_;
    return {};
}

CardAnswer CardModel::stopBa(std::uint16_t) {
    if (baState_ == ba::kStopped) return refused(refusal::kWrongBaState);
    baState_ = ba::kStopped;
    return {};
}

CardAnswer CardModel::baReport(std::uint16_t) {
    const std::uint8_t report = baState_;
    if (baState_ == ba::kStarting) baState_ = ba::kSending;  // reported once as starting, then running
    return refused(report);
}

CardAnswer CardModel::continueBa(std::uint16_t word) {
    // CONTINUE_BA and CHANGE_MACRO_BA act on a running arbitrator only.
    if (baState_ == ba::kStopped) return refused(refusal::kWrongBaState);
    (currentCommand_ == cmd::kChangeMacroBa ? changeWord_ : continueWord_) = word;
    return {};
}

CardAnswer CardModel::defEvt(std::uint16_t) { return writing(kDefEvtBytes, kDefEvtBytes); }

CardAnswer CardModel::receiveMsg(std::uint16_t key) {
    const auto queue = receiveQueues_.find(key);
    if (queue == receiveQueues_.end() || queue->second.empty()) return refused(refusal::kQueueEmpty);
    const ReceivedMessage& m = queue->second.front();
    std::vector<std::uint8_t> header = {
        0,
        static_cast<std::uint8_t>(m.data.size()),
        static_cast<std::uint8_t>(m.address.destination >> 8),
        static_cast<std::uint8_t>(m.address.destination),
        m.address.destinationSegment,
        static_cast<std::uint8_t>(m.address.source >> 8),
        static_cast<std::uint8_t>(m.address.source),
        m.address.sourceSegment,
    };
    static_assert(kReceiveHeaderBytes == 8);
    return reading(std::move(header));
}

CardAnswer CardModel::readMsg(std::uint16_t key) {
    const auto queue = receiveQueues_.find(key);
    if (queue == receiveQueues_.end() || queue->second.empty()) return refused(refusal::kQueueEmpty);
    std::vector<std::uint8_t> data = std::move(queue->second.front().data);
    queue->second.pop_front();
    return reading(std::move(data));
}

CardAnswer CardModel::writeMsg(std::uint16_t) {
    // The card announces 251 bytes but takes up to 252; the message is as long as what arrived.
    return writing(kMaxReceivedBytes, kMaxMessageBytes, true);
}

CardAnswer CardModel::sendMsg(std::uint16_t) { return writing(kSendRequestBytes, kSendRequestBytes); }

CardAnswer CardModel::purge(std::uint16_t word) {
    // The purge word names a channel as its messages' requests do: the control byte, then the
    // channel selector with bit 0 set. Messages the segment has not taken yet are dropped.
    const auto control = static_cast<std::uint8_t>(word >> 8);
    const auto selector = static_cast<std::uint8_t>(word & 0xFE);
    std::erase_if(sent_, [&](const SentMessage& m) {
        return m.request[kRequestControl] == control && m.request[kRequestSelector] == selector;
    });
    return {};
}

CardAnswer CardModel::readEvt(std::uint16_t) {
    if (events_.empty()) return refused(refusal::kQueueEmpty);
    const CardEvent e = events_.pop();
    static_assert(kReadEvtBytes == 4);
    return reading({e.eventByte, e.parameter, static_cast<std::uint8_t>(e.identifier >> 8),
                    static_cast<std::uint8_t>(e.identifier)});
}

CardAnswer CardModel::sendAper(std::uint16_t index) {
    aperiodic_.push_back(AperiodicRequest{.index = index, .urgent = currentCommand_ == cmd::kSendAperUrgent});
    return {};
}

// ---- memory image

std::uint16_t CardModel::word(std::uint32_t page, std::uint32_t index) const {
    return static_cast<std::uint16_t>((pages_[page][2 * index] << 8) | pages_[page][2 * index + 1]);
}

std::optional<VariableLayout> CardModel::layoutLocked(std::uint16_t index) const {
    const std::uint32_t tableSize = word(kHeaderPage, 3);
    if (tableSize == 0 || tableSize >= kMaxVariables || index >= tableSize) return std::nullopt;
    const std::uint32_t offset = 16u * word(kHeaderPage, 1) * kPageBytes + index * kDescriptorBytes;
    const std::uint32_t page = offset / kPageBytes;
    if (page >= kCardPages) return std::nullopt;
    const std::uint16_t w0 = word(page, (offset % kPageBytes) / 2);
    const std::uint8_t length = static_cast<std::uint8_t>(w0 & 0xFF);
    if (length == 0 || length > 128) return std::nullopt;
    switch (w0 >> 8) {
    case 0x1: return VariableLayout{VariableKind::Produced, length};
    case 0x2:
    case 0xA: return VariableLayout{VariableKind::Consumed, length};
    default: return std::nullopt;
    }
}

// ---- inspection and stimulus

Page CardModel::page(std::uint32_t number) const {
    std::lock_guard lock(mutex_);
    return pages_.at(number);
}

void CardModel::setPage(std::uint32_t number, const Page& bytes) {
    std::lock_guard lock(mutex_);
    pages_.at(number) = bytes;
}

std::optional<VariableLayout> CardModel::variableLayout(std::uint16_t index) const {
    std::lock_guard lock(mutex_);
    return layoutLocked(index);
}

std::optional<std::vector<std::uint8_t>> CardModel::variableValue(std::uint16_t index) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(index);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

void CardModel::setVariableValue(std::uint16_t index, std::vector<std::uint8_t> value) {
    std::lock_guard lock(mutex_);
    values_[index] = std::move(value);
}

std::optional<EventDefinition> CardModel::eventDefinition(std::uint16_t index) const {
    std::lock_guard lock(mutex_);
    const auto found = eventDefinitions_.find(index);
    if (found == eventDefinitions_.end()) return std::nullopt;
    return found->second;
}

void CardModel::pushEvent(const CardEvent& event) {
    std::lock_guard lock(mutex_);
    events_.push(event);
}

void CardModel::deliverMessage(std::uint16_t receiveKey, ReceivedMessage message) {
    std::lock_guard lock(mutex_);
    if (message.data.size() > kMaxReceivedBytes) message.data.resize(kMaxReceivedBytes);
    receiveQueues_[receiveKey].push_back(std::move(message));
    events_.push(CardEvent{.eventByte = kEventReceived, .parameter = 0, .identifier = receiveKey});
}

std::vector<SentMessage> CardModel::sentMessages() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<AperiodicRequest> CardModel::aperiodicRequests() const {
    std::lock_guard lock(mutex_);
    return aperiodic_;
}

std::uint8_t CardModel::baState() const {
    std::lock_guard lock(mutex_);
    return baState_;
}

std::uint16_t CardModel::baStartPage() const {
    std::lock_guard lock(mutex_);
    return baStartPage_;
}

std::optional<std::uint8_t> CardModel::communicationParameter() const {
    std::lock_guard lock(mutex_);
    return parameter_;
}

bool CardModel::circuitStarted() const {
    std::lock_guard lock(mutex_);
    return circuitStarted_;
}

bool CardModel::testEnded() const {
    std::lock_guard lock(mutex_);
    return testEnded_;
}

std::uint32_t CardModel::resetCount() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

void CardModel::deliverValue(std::uint16_t index, std::vector<std::uint8_t> bytes, std::uint8_t status) {
    std::lock_guard lock(mutex_);
    if (bytes.size() > kPageBytes) bytes.resize(kPageBytes);  // READ_VAR gives at most 128 bytes
    values_[index] = std::move(bytes);
    deliveredStatus_[index] = status;
}

void CardModel::setValueStatus(std::uint16_t index, std::uint8_t status) {
    std::lock_guard lock(mutex_);
    if (auto found = deliveredStatus_.find(index); found != deliveredStatus_.end()) found->second = status;
}

std::uint32_t CardModel::writeCount(std::uint16_t index) const {
    std::lock_guard lock(mutex_);
    const auto found = writes_.find(index);
    return found == writes_.end() ? 0 : found->second;
}

void CardModel::countMediumError(int channel) {
    if (channel != 1 && channel != 2) return;
    std::lock_guard lock(mutex_);
    const auto bump = [&](std::uint32_t page, std::uint32_t index) {
        const std::uint16_t count = static_cast<std::uint16_t>(word(page, index) + 1);
        pages_[page][2 * index] = static_cast<std::uint8_t>(count >> 8);
        pages_[page][2 * index + 1] = static_cast<std::uint8_t>(count);
    };
    bump(kReceptionCounterPage, 1 + static_cast<std::uint32_t>(channel));
    bump(kTransmissionCounterPage, 2 + static_cast<std::uint32_t>(channel));
}

std::vector<SentMessage> CardModel::takeSentMessages() {
    std::lock_guard lock(mutex_);
    return std::exchange(sent_, {});
}

std::vector<AperiodicRequest> CardModel::takeAperiodicRequests() {
    std::lock_guard lock(mutex_);
    return std::exchange(aperiodic_, {});
}

void CardModel::setBaState(std::uint8_t state) {
    std::lock_guard lock(mutex_);
    if (baState_ != ba::kStopped) baState_ = state;
}

std::uint32_t CardModel::baStartCount() const {
    std::lock_guard lock(mutex_);
    return baStarts_;
}

std::optional<std::uint16_t> CardModel::takeContinueWord() {
    std::lock_guard lock(mutex_);
    return std::exchange(continueWord_, std::nullopt);
}

std::optional<std::uint16_t> CardModel::takeChangeWord() {
    std::lock_guard lock(mutex_);
    return std::exchange(changeWord_, std::nullopt);
}

}  // namespace sim
