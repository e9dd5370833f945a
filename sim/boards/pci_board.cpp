#include "sim/boards/pci_board.h"

#include <algorithm>

#include "sim/boards/register_window.h"

namespace sim {
namespace {

constexpr std::uint16_t kVendorId = 0x51C0;
constexpr std::uint16_t kDeviceId = 0x0F1F;
constexpr std::uint32_t kRegisterStride = 4;

void put16(std::vector<std::uint8_t>& bytes, std::uint32_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::vector<std::uint8_t>& bytes, std::uint32_t at, std::uint32_t value) {
    put16(bytes, at, static_cast<std::uint16_t>(value));
    put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::optional<MicrowireEeprom> makeEeprom(const PciBoardConfig& config) {
    if (config.eepromAddressBits == 0) return std::nullopt;
    return MicrowireEeprom(config.eepromAddressBits, eepromImage(config));
}

}  // namespace

std::vector<std::uint16_t> eepromImage(const PciBoardConfig& config) {
    const unsigned bits = config.eepromAddressBits == 6 ? 6 : 8;
    std::vector<std::uint16_t> words = config.eepromWords;
    words.resize(std::size_t{1} << bits, 0xFFFF);
    const std::uint32_t serial = serialNumberAddress(bits);
    const std::uint32_t s = config.serialNumber;
    words[serial] = static_cast<std::uint16_t>(((s & 0xFF) << 8) | ((s >> 8) & 0xFF));
    words[serial + 1] = static_cast<std::uint16_t>((((s >> 16) & 0xFF) << 8) | ((s >> 24) & 0xFF));
    const std::uint32_t word = configurationWordAddress(bits);
    words[word] = static_cast<std::uint16_t>(config.configurationWord >> 16);
    words[word + 1] = static_cast<std::uint16_t>(config.configurationWord);
    return words;
}

PciBoard::PciBoard(PciBoardConfig config)
    : config_(std::move(config)),
      controller_(card_, trace_),
      medium_(config_.dualMedium, trace_),
      bridge_(std::make_shared<PciBridge>(makeEeprom(config_), config_.configurationWord, controller_, trace_)),
      controllerRange_(std::make_shared<RegisterWindow<Fullfip2, kRegisterStride>>(Fullfip2::kRegisters, controller_)),
      mediumRange_(std::make_shared<RegisterWindow<Fielddual, kRegisterStride>>(Fielddual::kRegisters, medium_)),
      configSpace_(kConfigSpaceBytes, 0) {
    put16(configSpace_, 0x00, kVendorId);
    put16(configSpace_, 0x02, kDeviceId);
    configSpace_[0x0B] = 0x02;  // class: network controller
    put32(configSpace_, 0x10, static_cast<std::uint32_t>(config_.physicalAddress));
    put32(configSpace_, 0x14, static_cast<std::uint32_t>(config_.physicalAddress + kControllerOffset));
    put32(configSpace_, 0x18, static_cast<std::uint32_t>(config_.physicalAddress + kMediumOffset));
    put16(configSpace_, 0x2C, config_.subsystemVendor);
    put16(configSpace_, 0x2E, config_.subsystemId);
}

PciBoard::~PciBoard() { detach(); }

qk::pnp::BoardDescription PciBoard::description() const {
    qk::pnp::BoardDescription board;
    board.service = "ambrix";
    board.memory = {
        {config_.physicalAddress, bridge_->length()},
        {config_.physicalAddress + kControllerOffset, controllerRange_->length()},
        {config_.physicalAddress + kMediumOffset, mediumRange_->length()},
    };
    board.readConfigSpace = [space = configSpace_](std::uint32_t offset, std::uint32_t length) {
        if (offset >= space.size()) return std::vector<std::uint8_t>{};
        const auto end = space.begin() + std::min<std::size_t>(space.size(), std::size_t{offset} + length);
        return std::vector<std::uint8_t>(space.begin() + offset, end);
    };
    board.uiNumber = config_.uiNumber;
    board.powerChanged = [this](qk::pnp::DevicePowerState state) { power_ = state; };
    return board;
}

void PciBoard::attach() {
    if (attached_) return;
    qk::hw::attachMemory(config_.physicalAddress, bridge_);
    qk::hw::attachMemory(config_.physicalAddress + kControllerOffset, controllerRange_);
    qk::hw::attachMemory(config_.physicalAddress + kMediumOffset, mediumRange_);
    attached_ = true;
}

void PciBoard::detach() {
    if (!attached_) return;
    qk::hw::detachMemory(config_.physicalAddress);
    qk::hw::detachMemory(config_.physicalAddress + kControllerOffset);
    qk::hw::detachMemory(config_.physicalAddress + kMediumOffset);
    attached_ = false;
}

}  // namespace sim
