#include "sim/chips/fielddual.h"

#include <iterator>

namespace sim {
namespace {
constexpr std::uint8_t kSelect = 255;
constexpr std::uint8_t kErrors1 = medium::kTransmissionError1 | medium::kWatchdog1;
constexpr std::uint8_t kErrors2 = medium::kTransmissionError2 | medium::kWatchdog2;
constexpr std::uint8_t kTransmissionErrors = medium::kTransmissionError1 | medium::kTransmissionError2;
}  // namespace

Fielddual::Fielddual(bool dualMedium, AccessTrace& trace)
    : dual_(dualMedium), trace_(trace), status_(channelMask()) {}

std::uint8_t Fielddual::channelMask() const {
    return dual_ ? (medium::kChannel1 | medium::kChannel2) : medium::kChannel1;
}

std::uint8_t Fielddual::read(std::uint32_t reg) {
    std::lock_guard lock(mutex_);
    std::uint8_t value = 0;
    switch (reg) {
    case 0: value = status_; break;
    case 1: status_ &= ~kTransmissionErrors; break;
    case 2: status_ &= ~kErrors1; break;
    case 3: status_ &= ~kErrors2; break;
    default: break;
    }
    trace_.record(Unit::Fielddual, false, reg, value);
    return value;
}

void Fielddual::write(std::uint32_t reg, std::uint8_t value) {
    std::lock_guard lock(mutex_);
    trace_.record(Unit::Fielddual, true, reg, value);
    if (value != kSelect) return;
    static constexpr std::uint8_t kChannels[] = {0, medium::kChannel1, medium::kChannel2,
                                                 medium::kChannel1 | medium::kChannel2};
    static_assert(std::size(kChannels) == kRegisters);
    if (reg == 0)
        loopback_ = true;
    else if (reg < kRegisters)
        status_ = static_cast<std::uint8_t>((status_ & ~(medium::kChannel1 | medium::kChannel2)) |
                                            (kChannels[reg] & channelMask()));
}

void Fielddual::raiseErrors(std::uint8_t errorBits) {
    std::lock_guard lock(mutex_);
    const std::uint8_t allowed = dual_ ? (kErrors1 | kErrors2) : kErrors1;
    status_ |= errorBits & allowed;
}

std::uint8_t Fielddual::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

bool Fielddual::loopback() const {
    std::lock_guard lock(mutex_);
    return loopback_;
}

}  // namespace sim
