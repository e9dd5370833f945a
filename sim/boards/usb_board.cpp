#include "sim/boards/usb_board.h"

#include <algorithm>
#include <boost/crc.hpp>

namespace sim {
namespace {

constexpr std::uint8_t kRequest = 0x90, kRequestCrc = 0x91;
constexpr std::uint8_t kReply = 0x80, kReplyCrc = 0x81;
constexpr std::uint8_t kEvent = 0x40;
constexpr std::size_t kRequestHeader = 7;
constexpr std::size_t kRequestLog = 1024;

// Request codes.
constexpr std::uint8_t kReadById = 0x11, kWriteById = 0x21, kReset = 0x30, kSetMode = 0x31, kGetMode = 0x32,
                       kExecById = 0x40;
// Identifiers of read and write by ID.
constexpr std::uint8_t kIdRgb = 3, kIdSerial = 4, kIdConfiguration = 5, kIdFirmware = 6;
// Exec-by-id command bytes that are the firmware's own, not the controller's.
constexpr std::uint8_t kMediumAccess = 0x50, kEndTest = 0xCA, kIsEvent = 0xCB, kClearMemory = 0xCC;
constexpr std::uint16_t kControllerPages = 1024;

// Status words.
constexpr std::uint16_t kSuccess = 0xA000, kDataTooShort = 0x3005, kBadCla = 0x3001, kBadP1 = 0x3003,
                        kBadCrc = 0x3007, kNotSupported = 0x3101, kIdNotExist = 0x4001;

std::uint16_t frameCrc(std::span<const std::uint8_t> bytes) {
    boost::crc_basic<16> crc(0x1021, 0xFFFF, 0, false, false);
    crc.process_bytes(bytes.data(), bytes.size());
    return static_cast<std::uint16_t>(crc.checksum());
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

std::vector<std::uint8_t> le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 24)};
}

// The medium operations 0..7 on the FIELDUAL, as the drivers run them.
void mediumOperation(Fielddual& medium, std::uint8_t operation) {
    static constexpr struct {
        bool write;
        std::uint8_t reg;
    } kOperations[8] = {{false, 0}, {false, 1}, {false, 2}, {false, 3}, {true, 1}, {true, 2}, {true, 3}, {true, 0}};
    if (operation == 0 || operation >= 8) return;
    if (kOperations[operation].write)
        medium.write(kOperations[operation].reg, 0xFF);
    else
        (void)medium.read(kOperations[operation].reg);
}

}  // namespace

UsbBoard::UsbBoard(UsbBoardConfig config) : config_(config), medium_(config.dualMedium, trace_) {}

UsbBoard::~UsbBoard() {
    {
        std::lock_guard lock(mutex_);
        courierStop_ = true;
    }
    courierWake_.notify_all();
    if (courier_.joinable()) courier_.join();
}

qusb::DeviceIdentity UsbBoard::identity() const {
    return {config_.vendorId, config_.productId, 0x0200, "USB FIP board"};
}

bool UsbBoard::open(qusb::Receiver receiver) {
    std::lock_guard lock(mutex_);
    if (receiver_) return false;
    receiver_ = std::move(receiver);
    pending_.clear();
    held_.clear();
    eventWasPending_ = card_.eventPending();
    return true;
}

void UsbBoard::close() {
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
    pending_.clear();
    held_.clear();
    delayed_.clear();
}

bool UsbBoard::isOpen() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(receiver_);
}

bool UsbBoard::bulkOut(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (!receiver_) return false;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (at < pending_.size()) {
        if (pending_[at] != kRequest && pending_[at] != kRequestCrc) {
            // Bytes that cannot start a request: answered once, then skipped up to the next CLA.
            while (at < pending_.size() && pending_[at] != kRequest && pending_[at] != kRequestCrc) ++at;
            if (!faults_.silent) reply(kBadCla, {}, false);
            continue;
        }
        if (pending_.size() - at < kRequestHeader) break;
        const std::size_t length = std::size_t{pending_[at + 5]} << 8 | pending_[at + 6];
        const std::size_t total = kRequestHeader + length + (pending_[at] == kRequestCrc ? 2 : 0);
        if (pending_.size() - at < total) break;
        const Bytes frame(pending_.begin() + static_cast<std::ptrdiff_t>(at),
                          pending_.begin() + static_cast<std::ptrdiff_t>(at + total));
        at += total;
        if (requests_.size() >= kRequestLog) requests_.erase(requests_.begin());
        requests_.push_back(frame);
        if (!faults_.silent) serve(frame);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

void UsbBoard::serve(const Bytes& frame) {
    const bool crc = frame[0] == kRequestCrc;
    const std::uint8_t ctl = frame[1], p1 = frame[2], p2 = frame[3];
    const std::span<const std::uint8_t> data(frame.data() + kRequestHeader, frame.size() - kRequestHeader - (crc ? 2 : 0));
    if (crc) {
        const std::uint16_t received = static_cast<std::uint16_t>(frame[frame.size() - 2] << 8 | frame.back());
        if (frameCrc(std::span(frame).first(frame.size() - 2)) != received) return reply(kBadCrc, {}, crc);
    }
    std::uint16_t sw = kSuccess;
    Bytes out;
    switch (ctl) {
    case kReadById: out = readById(p2, sw); break;
    case kWriteById:
        if (p2 != kIdRgb)
            sw = kIdNotExist;
        else if (data.empty())
            sw = kDataTooShort;
        else
            rgb_ = data[0] & 7;
        break;
    case kReset:
        card_.reset();
        break;
    case kSetMode: mode_ = p2; break;
    case kGetMode: out = {mode_}; break;
    case kExecById:
        if (p1 != 1)
            sw = kBadP1;
        else
            out = execById(p2, data);
        break;
    default: sw = kNotSupported; break;
    }
    reply(sw, out, crc);
    // An event that became pending while this request ran is announced after its reply.
    const bool pending = card_.eventPending();
    if (pending && !eventWasPending_) {
        Bytes event{kEvent, 1, eventCounter_++};
        put16(event, kSuccess);
        put16(event, 1);
        event.push_back(controllerState());
        toHost(std::move(event));
    }
    eventWasPending_ = pending;
}

UsbBoard::Bytes UsbBoard::readById(std::uint8_t id, std::uint16_t& sw) const {
    switch (id) {
    case kIdRgb: return {rgb_};
    case kIdSerial: return le32(config_.serialNumber);
    case kIdConfiguration: return le32(config_.configurationWord);
    case kIdFirmware: return {config_.firmwareMajor, config_.firmwareMinor};
    default: sw = kIdNotExist; return {};
    }
}

std::uint8_t UsbBoard::controllerState() const { return card_.eventPending() ? 0x20 : 0x00; }

// One FULLFIP2 transaction on the card, the way the drivers run it, with the reply data laid out
// as: controller state, status byte, output.
UsbBoard::Bytes UsbBoard::execById(std::uint8_t command, std::span<const std::uint8_t> data) {
    const std::uint16_t key = data.size() >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
    const auto input = data.size() > 2 ? data.subspan(2) : std::span<const std::uint8_t>{};
    switch (command) {
    case kIsEvent: return {controllerState()};
    case kMediumAccess: {
        mediumOperation(medium_, data.size() >= 2 ? data[1] : 0);
        return {controllerState(), medium_.read(0)};
    }
    case kClearMemory: {
        const Bytes zeros(kPageBytes, 0);
        for (std::uint16_t page = 0; page < kControllerPages; ++page) {
            const CardAnswer a = card_.command(cmd::kWritePhy, page, false);
            card_.finishWrite(cmd::kWritePhy, page, zeros, a.status);
        }
        return {controllerState(), 0};
    }
    case cmd::kDefParam: {
        const CardAnswer a = card_.command(command, data.size() >= 2 ? data[1] : 0, false);
        return {controllerState(), a.status};
    }
    default: break;
    }
    const bool endTest = command == kEndTest;
    const CardAnswer a = card_.command(endTest ? cmd::kWriteMsg : command, key, endTest);
    Bytes out{controllerState(), a.status};
    if (a.status & 0x80) return out;  // refused: the status alone
    switch (a.data) {
    case DataPhase::Read:
        // PURGE's data phase drains the messages' bytes; nothing of it goes to the host.
        if (command != cmd::kPurge) out.insert(out.end(), a.readBytes.begin(), a.readBytes.end());
        break;
    case DataPhase::Write: {
        // DEF_EVT's input already has the flags before the parameter, as the controller takes them.
        const Bytes written(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(input.size(), a.writeRoom)));
        out[1] = card_.finishWrite(command, key, written, a.status);
        break;
    }
    case DataPhase::None: break;
    }
    return out;
}

void UsbBoard::reply(std::uint16_t sw, std::span<const std::uint8_t> data, bool crc) {
    Bytes frame{crc ? kReplyCrc : kReply};
    put16(frame, sw);
    put16(frame, static_cast<std::uint16_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    if (crc) put16(frame, frameCrc(frame));
    if (faults_.loseReplies > 0) {
        --faults_.loseReplies;
        return;
    }
    if (faults_.holdReplies) {
        held_.push_back(std::move(frame));
        return;
    }
    toHost(std::move(frame));
}

void UsbBoard::toHost(Bytes frame) {
    if (faults_.fillers) frame.push_back(0xFF);
    if (faults_.replyDelayMax.count() <= 0) return send(frame);
    const auto low = faults_.replyDelayMin.count(), high = std::max(low, faults_.replyDelayMax.count());
    const auto delay = std::chrono::milliseconds(std::uniform_int_distribution<long long>(low, high)(delays_));
    lastDue_ = std::max(lastDue_, std::chrono::steady_clock::now() + delay);
    delayed_.emplace_back(lastDue_, std::move(frame));
    if (!courier_.joinable()) courier_ = std::thread(&UsbBoard::runCourier, this);
    courierWake_.notify_all();
}

void UsbBoard::runCourier() {
    std::unique_lock lock(mutex_);
    while (!courierStop_) {
        if (delayed_.empty()) {
            courierWake_.wait(lock);
            continue;
        }
        const auto due = delayed_.front().first;
        if (std::chrono::steady_clock::now() < due) {
            courierWake_.wait_until(lock, due);
            continue;
        }
        const Bytes frame = std::move(delayed_.front().second);
        delayed_.pop_front();
        send(frame);
    }
}

void UsbBoard::send(std::span<const std::uint8_t> bytes) {
    if (!receiver_) return;
    const std::size_t step = faults_.chunkBytes ? faults_.chunkBytes : bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += step) receiver_(bytes.subspan(at, std::min(step, bytes.size() - at)));
}

void UsbBoard::setFaults(UsbFirmwareFaults faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

void UsbBoard::releaseHeldReplies() {
    std::lock_guard lock(mutex_);
    while (!held_.empty()) {
        Bytes frame = std::move(held_.front());
        held_.pop_front();
        toHost(std::move(frame));
    }
}

void UsbBoard::sendRaw(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (receiver_ && !bytes.empty()) receiver_(bytes);
}

void UsbBoard::sendEvent(std::uint8_t id, std::uint16_t sw, std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    Bytes event{kEvent, id, eventCounter_++};
    put16(event, sw);
    put16(event, static_cast<std::uint16_t>(data.size()));
    event.insert(event.end(), data.begin(), data.end());
    toHost(std::move(event));
}

std::uint8_t UsbBoard::rgbLed() const {
    std::lock_guard lock(mutex_);
    return rgb_;
}

std::uint8_t UsbBoard::boardMode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

void UsbBoard::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

std::vector<std::vector<std::uint8_t>> UsbBoard::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace sim
