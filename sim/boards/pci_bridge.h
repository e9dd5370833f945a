// The PCI board's bridge: its local configuration registers (range 0 of the board, 32-bit
// registers) with the serial EEPROM wired to the control register.
//
//   0x48  card configuration word, loaded from the EEPROM at power-on and on reload (no EEPROM:
//         the board's fixed word)
//   0x4C  interrupt control (bit 6: board interrupts on; set at power-on)
//   0x50  control: bit 24 EEPROM clock, 25 chip select, 26 data to the EEPROM, 27 data from the
//         EEPROM (read-only), 28 EEPROM present (read-only), 29 reload the configuration from the
//         EEPROM (clears itself), 30 software reset of the FULLFIP2 (taken on the rising edge)
// Thread-safe: one lock; a reset calls into the controller with it held (bridge before controller).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

#include "kernel/hardware.h"
#include "sim/chips/access_trace.h"
#include "sim/chips/fullfip2.h"
#include "sim/chips/microwire_eeprom.h"

namespace sim {

namespace bridge {
inline constexpr std::uint32_t kLength = 0x80;
inline constexpr std::uint32_t kConfigurationWord = 0x48;
inline constexpr std::uint32_t kInterruptControl = 0x4C;
inline constexpr std::uint32_t kControl = 0x50;
inline constexpr std::uint32_t kClock = 1u << 24;
inline constexpr std::uint32_t kChipSelect = 1u << 25;
inline constexpr std::uint32_t kDataIn = 1u << 26;
inline constexpr std::uint32_t kDataOut = 1u << 27;
inline constexpr std::uint32_t kEepromPresent = 1u << 28;
inline constexpr std::uint32_t kReload = 1u << 29;
inline constexpr std::uint32_t kReset = 1u << 30;
inline constexpr std::uint32_t kInterruptEnable = 1u << 6;
}  // namespace bridge

// Word addresses of the serial number (two words, its bytes lowest first, each word high byte
// first) and of the configuration word (two words, most significant first) in the EEPROM.
std::uint32_t serialNumberAddress(unsigned addressBits);
std::uint32_t configurationWordAddress(unsigned addressBits);

class PciBridge final : public qk::hw::MemoryRange {
public:
    PciBridge(std::optional<MicrowireEeprom> eeprom, std::uint32_t fixedConfigurationWord, Fullfip2& controller,
              AccessTrace& trace);

    std::uint32_t length() const override { return bridge::kLength; }
    std::uint8_t read8(std::uint32_t offset) override;
    void write8(std::uint32_t offset, std::uint8_t value) override;
    std::uint32_t read32(std::uint32_t offset) override;
    void write32(std::uint32_t offset, std::uint32_t value) override;

    std::optional<std::vector<std::uint16_t>> eepromWords() const;
    std::uint32_t resetPulses() const;

private:
    std::uint32_t readLocked(std::uint32_t offset);
    void writeLocked(std::uint32_t offset, std::uint32_t value);
    void reload();

    mutable std::mutex mutex_;
    std::optional<MicrowireEeprom> eeprom_;
    std::uint32_t fixedWord_;
    Fullfip2& controller_;
    AccessTrace& trace_;
    std::array<std::uint32_t, bridge::kLength / 4> registers_{};
    std::uint32_t resets_ = 0;
};

}  // namespace sim
