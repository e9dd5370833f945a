// A simulated PCI FIP board: bridge (range 0), FULLFIP2 (range 1) and FIELDUAL (range 2) memory
// ranges, PCI configuration space with the subsystem identifiers at 0x2C, and the UI number.
//
// Usage (tests of a driver): create the board, attach() its ranges to the kernel's hardware seam,
// and hand description() to qk::pnp::enumerateBoard(). The board detaches its ranges when it is
// destroyed; it must outlive the driver's use of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "kernel/pnp.h"
#include "sim/boards/board_config.h"
#include "sim/boards/pci_bridge.h"
#include "sim/card/card_model.h"
#include "sim/chips/access_trace.h"
#include "sim/chips/fielddual.h"
#include "sim/chips/fullfip2.h"

namespace sim {

class PciBoard {
public:
    static constexpr std::uint64_t kControllerOffset = 0x1000;  // physical address of range 1 - range 0
    static constexpr std::uint64_t kMediumOffset = 0x2000;
    static constexpr std::uint32_t kConfigSpaceBytes = 256;

    explicit PciBoard(PciBoardConfig config);
    ~PciBoard();
    PciBoard(const PciBoard&) = delete;
    PciBoard& operator=(const PciBoard&) = delete;

    const PciBoardConfig& config() const { return config_; }
    qk::pnp::BoardDescription description() const;
    void attach();
    void detach();

    std::shared_ptr<qk::hw::MemoryRange> bridgeRange() const { return bridge_; }
    std::shared_ptr<qk::hw::MemoryRange> controllerRange() const { return controllerRange_; }
    std::shared_ptr<qk::hw::MemoryRange> mediumRange() const { return mediumRange_; }
    const std::vector<std::uint8_t>& configSpace() const { return configSpace_; }
    // The power state the bus last put the board in (D0 when it powers on).
    qk::pnp::DevicePowerState powerState() const { return power_; }

    Fullfip2& controller() { return controller_; }
    Fielddual& medium() { return medium_; }
    CardModel& card() { return card_; }
    AccessTrace& trace() { return trace_; }
    PciBridge& bridge() { return *bridge_; }

private:
    PciBoardConfig config_;
    AccessTrace trace_;
    CardModel card_;
    Fullfip2 controller_;
    Fielddual medium_;
    std::shared_ptr<PciBridge> bridge_;
    std::shared_ptr<qk::hw::MemoryRange> controllerRange_;
    std::shared_ptr<qk::hw::MemoryRange> mediumRange_;
    std::vector<std::uint8_t> configSpace_;
    bool attached_ = false;
    mutable std::atomic<qk::pnp::DevicePowerState> power_{qk::pnp::DevicePowerState::D0};  // set by the bus
};

// The EEPROM content a board of this configuration powers on with: the given words, erased
// (0xFFFF) beyond them, with the configuration word and the serial number written in.
std::vector<std::uint16_t> eepromImage(const PciBoardConfig& config);

}  // namespace sim
