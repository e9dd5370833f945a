// A simulated PC104 FIP board: one range of 32 I/O ports.
//
//   +0 .. +7    FULLFIP2 registers 0..7
//   +8 .. +11   FIELDUAL registers 0..3
//   +16 .. +19  serial number, +20 .. +23 card configuration word: each a serial EEPROM read
//               window. A read of its first port restarts the word at its most significant byte;
//               each read of one of its other three ports gives the next byte (0xFF after the
//               fourth), so the reads +1, +2, +3, +3 give the word from its top byte down.
//   +24         control register: bit 0 resets the FULLFIP2 when it is set (the board clears it
//               once the reset is done), bits 4-6 the three LEDs, the other bits kept as written
//   other ports read 0xFF and ignore writes
// Thread-safe. Usage as for the PCI board: attach(), then qk::pnp::enumerateBoard(description()).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "kernel/hardware.h"
#include "kernel/pnp.h"
#include "sim/boards/board_config.h"
#include "sim/card/card_model.h"
#include "sim/chips/access_trace.h"
#include "sim/chips/fielddual.h"
#include "sim/chips/fullfip2.h"

namespace sim {

namespace pc104 {
inline constexpr std::uint32_t kPorts = 32;
inline constexpr std::uint32_t kFielddual = 8;
inline constexpr std::uint32_t kSerialNumber = 16;
inline constexpr std::uint32_t kConfigurationWord = 20;
inline constexpr std::uint32_t kControl = 24;
inline constexpr std::uint8_t kReset = 0x01;
inline constexpr std::uint8_t kLeds = 0x70;
}  // namespace pc104

class Pc104Board {
public:
    explicit Pc104Board(Pc104BoardConfig config);
    ~Pc104Board();
    Pc104Board(const Pc104Board&) = delete;
    Pc104Board& operator=(const Pc104Board&) = delete;

    const Pc104BoardConfig& config() const { return config_; }
    qk::pnp::BoardDescription description() const;
    void attach();
    void detach();

    std::shared_ptr<qk::hw::PortRange> ports() const { return ports_; }
    std::uint8_t leds() const;  // bits 0-2: the three LEDs
    std::uint8_t controlRegister() const;
    std::uint32_t resetPulses() const;

    Fullfip2& controller() { return controller_; }
    Fielddual& medium() { return medium_; }
    CardModel& card() { return card_; }
    AccessTrace& trace() { return trace_; }

private:
    class Ports;
    friend class Ports;

    std::uint8_t readPort(std::uint32_t offset);
    void writePort(std::uint32_t offset, std::uint8_t value);
    std::uint8_t readWindow(std::uint32_t offset, std::uint32_t word, std::uint32_t& next);

    Pc104BoardConfig config_;
    AccessTrace trace_;
    CardModel card_;
    Fullfip2 controller_;
    Fielddual medium_;
    std::shared_ptr<qk::hw::PortRange> ports_;
    mutable std::mutex mutex_;  // the board's own ports: windows and control register
    std::uint8_t control_ = 0;
    std::uint32_t serialNext_ = 4;
    std::uint32_t wordNext_ = 4;
    std::uint32_t resets_ = 0;
    bool attached_ = false;
};

}  // namespace sim
