// The FIELDUAL medium (line) interface at register level.
//
// Register 0: read the medium status byte (bit 0 CH1, bit 1 CH2: channel in service; bits 2-3
// ET1/ET2 transmission errors; bits 4-5 EW1/EW2 watchdog errors); write 255 to select test mode
// (loopback). Registers 1-3: a read of 1 clears the transmission errors, of 2 resets channel 1, of
// 3 resets channel 2 (its error bits); writing 255 to 1, 2 or 3 puts channel 1 alone, channel 2
// alone, or both in service. A single-medium interface has no channel 2: its bits stay clear.
// Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

#include "sim/chips/access_trace.h"

namespace sim {

namespace medium {
inline constexpr std::uint8_t kChannel1 = 0x01;
inline constexpr std::uint8_t kChannel2 = 0x02;
inline constexpr std::uint8_t kTransmissionError1 = 0x04;
inline constexpr std::uint8_t kTransmissionError2 = 0x08;
inline constexpr std::uint8_t kWatchdog1 = 0x10;
inline constexpr std::uint8_t kWatchdog2 = 0x20;
}  // namespace medium

class Fielddual {
public:
    static constexpr std::uint32_t kRegisters = 4;

    Fielddual(bool dualMedium, AccessTrace& trace);

    std::uint8_t read(std::uint32_t reg);
    void write(std::uint32_t reg, std::uint8_t value);

    // Stimulus and inspection (tests, the FIP segment).
    void raiseErrors(std::uint8_t errorBits);  // ET and EW bits
    std::uint8_t status() const;
    bool loopback() const;
    bool dualMedium() const { return dual_; }

private:
    std::uint8_t channelMask() const;

    const bool dual_;
    AccessTrace& trace_;
    mutable std::mutex mutex_;
    std::uint8_t status_;
    bool loopback_ = false;
};

}  // namespace sim
