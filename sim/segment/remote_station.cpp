#include "sim/segment/remote_station.h"

#include <algorithm>

namespace sim {

std::vector<std::uint8_t> generateValue(const ValueGenerator& g, std::uint8_t length, std::uint64_t n) {
    std::uint64_t v = g.start;
    switch (g.kind) {
    case ValueGenerator::Kind::Constant:
        return std::vector<std::uint8_t>(length, static_cast<std::uint8_t>(g.start));
    case ValueGenerator::Kind::Bytes: {
        std::vector<std::uint8_t> bytes(g.bytes.begin(), g.bytes.begin() + std::min<std::size_t>(g.bytes.size(), length));
        bytes.resize(length, 0);
        return bytes;
    }
    case ValueGenerator::Kind::Counter:
        v = g.start + g.step * n;
        break;
    case ValueGenerator::Kind::Ramp: {
        const std::uint64_t span = g.limit > g.start ? g.limit - g.start : 0;
        const std::uint64_t steps = g.step == 0 || span == 0 ? 1 : span / g.step + 1;
        v = g.start + g.step * (n % steps);
        break;
    }
    }
    std::vector<std::uint8_t> bytes(length, 0);
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) bytes[bytes.size() - 1 - i] = static_cast<std::uint8_t>(v >> (8 * i));
    return bytes;
}

RemoteStation::RemoteStation(RemoteStationConfig config)
    : config_(std::move(config)), productions_(config_.produces.size(), 0), sent_(config_.sends.size(), 0) {}

std::vector<std::pair<const RemoteMessage*, std::vector<std::uint8_t>>> RemoteStation::messagesDue(std::uint64_t cycle) {
    std::vector<std::pair<const RemoteMessage*, std::vector<std::uint8_t>>> due;
    for (std::size_t i = 0; i < config_.sends.size(); ++i) {
        const RemoteMessage& m = config_.sends[i];
        if (m.period == 0 || cycle % m.period != 0) continue;
        due.emplace_back(&m, generateValue(m.generator, m.length, sent_[i]++));
    }
    return due;
}

std::optional<std::vector<std::uint8_t>> RemoteStation::produce(std::uint16_t identifier) {
    for (std::size_t i = 0; i < config_.produces.size(); ++i) {
        const RemoteProduction& p = config_.produces[i];
        if (p.identifier != identifier) continue;
        std::vector<std::uint8_t> frame = {p.pduType, p.length};
        const auto value = generateValue(p.generator, p.length, productions_[i]++);
        frame.insert(frame.end(), value.begin(), value.end());
        return frame;
    }
    if (config_.presence && identifier == presenceIdentifier())
        return std::vector<std::uint8_t>{0x50, 2, config_.address, 0};  // presence: the station's address
    return std::nullopt;
}

bool RemoteStation::consumes(std::uint16_t identifier) const {
    return std::find(config_.consumes.begin(), config_.consumes.end(), identifier) != config_.consumes.end();
}

bool RemoteStation::addressed(std::uint16_t identifier) const {
    return consumes(identifier) || std::any_of(config_.produces.begin(), config_.produces.end(),
                                               [&](const RemoteProduction& p) { return p.identifier == identifier; });
}

void RemoteStation::hold(std::uint16_t identifier, HeldValue value) {
    const auto found = std::find_if(held_.begin(), held_.end(), [&](const auto& h) { return h.first == identifier; });
    if (found == held_.end()) {
        value.count = 1;
        held_.emplace_back(identifier, std::move(value));
    } else {
        value.count = found->second.count + 1;
        found->second = std::move(value);
    }
}

std::optional<HeldValue> RemoteStation::held(std::uint16_t identifier) const {
    const auto found = std::find_if(held_.begin(), held_.end(), [&](const auto& h) { return h.first == identifier; });
    if (found == held_.end()) return std::nullopt;
    return found->second;
}

}  // namespace sim
