#include "sim/boards/pci_bridge.h"

namespace sim {
namespace {
constexpr std::uint32_t kReadOnly = bridge::kDataOut | bridge::kEepromPresent | bridge::kReload;
}  // namespace

std::uint32_t serialNumberAddress(unsigned addressBits) { return addressBits == 6 ? 62 : 94; }
std::uint32_t configurationWordAddress(unsigned addressBits) { return serialNumberAddress(addressBits) - 2; }

PciBridge::PciBridge(std::optional<MicrowireEeprom> eeprom, std::uint32_t fixedConfigurationWord,
                     Fullfip2& controller, AccessTrace& trace)
    : eeprom_(std::move(eeprom)), fixedWord_(fixedConfigurationWord), controller_(controller), trace_(trace) {
    registers_[bridge::kInterruptControl / 4] = bridge::kInterruptEnable;
    reload();
}

void PciBridge::reload() {
    std::uint32_t word = fixedWord_;
    if (eeprom_) {
        const auto& words = eeprom_->words();
        const std::uint32_t at = configurationWordAddress(eeprom_->addressBits());
        word = (std::uint32_t{words[at]} << 16) | words[at + 1];
    }
    registers_[bridge::kConfigurationWord / 4] = word;
}

std::uint32_t PciBridge::read32(std::uint32_t offset) {
    std::lock_guard lock(mutex_);
    const std::uint32_t value = readLocked(offset);
    trace_.record(Unit::Bridge, false, offset, value);
    return value;
}

void PciBridge::write32(std::uint32_t offset, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    trace_.record(Unit::Bridge, true, offset, value);
    writeLocked(offset, value);
}

std::uint8_t PciBridge::read8(std::uint32_t offset) {
    std::lock_guard lock(mutex_);
    const auto value = static_cast<std::uint8_t>(readLocked(offset & ~3u) >> (8 * (offset & 3)));
    trace_.record(Unit::Bridge, false, offset, value);
    return value;
}

void PciBridge::write8(std::uint32_t offset, std::uint8_t value) {
    std::lock_guard lock(mutex_);
    trace_.record(Unit::Bridge, true, offset, value);
    const std::uint32_t shift = 8 * (offset & 3);
    const std::uint32_t aligned = offset & ~3u;
    if (aligned >= bridge::kLength) return;
    const std::uint32_t old = registers_[aligned / 4];
    writeLocked(aligned, (old & ~(0xFFu << shift)) | (std::uint32_t{value} << shift));
}

std::uint32_t PciBridge::readLocked(std::uint32_t offset) {
    if (offset % 4 != 0 || offset >= bridge::kLength) return 0;
    std::uint32_t value = registers_[offset / 4];
    if (offset == bridge::kControl) {
        if (eeprom_) value |= bridge::kEepromPresent;
        if (!eeprom_ || eeprom_->dataOut()) value |= bridge::kDataOut;
    }
    return value;
}

void PciBridge::writeLocked(std::uint32_t offset, std::uint32_t value) {
    if (offset % 4 != 0 || offset >= bridge::kLength) return;
    if (offset != bridge::kControl) {
        registers_[offset / 4] = value;
        return;
    }
    const std::uint32_t old = registers_[offset / 4];
    registers_[offset / 4] = value & ~kReadOnly;
    if (eeprom_)
        eeprom_->drive((value & bridge::kChipSelect) != 0, (value & bridge::kClock) != 0,
                       (value & bridge::kDataIn) != 0);
    if (value & bridge::kReload) reload();
    if ((value & bridge::kReset) && !(old & bridge::kReset)) {
        ++resets_;
        controller_.reset();
    }
}

std::optional<std::vector<std::uint16_t>> PciBridge::eepromWords() const {
    std::lock_guard lock(mutex_);
    if (!eeprom_) return std::nullopt;
    return eeprom_->words();
}

std::uint32_t PciBridge::resetPulses() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

}  // namespace sim
