// The engine over the whole stack: the simulated machine booted from a description, the real
// drivers and the I/O manager, with access to the boards' card models and controller traces.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/clock.h"
#include "corvix.h"
#include "sim/chips/access_trace.h"
#include "sim/machine/machine.h"

namespace corvix::testing {

// One FULLFIP2 transaction as the controller saw it: the key registers at the command byte, the
// command byte and the bytes written to the data FIFO.
struct ControllerCommand {
    std::uint8_t command = 0;
    std::uint16_t key = 0;
    std::vector<std::uint8_t> written;
};

inline std::vector<ControllerCommand> controllerCommands(const sim::AccessTrace& trace) {
    constexpr std::uint32_t kCommandRegister = 0, kKeyHigh = 2, kKeyLow = 3, kFifo = 7;
    std::vector<ControllerCommand> commands;
    std::uint16_t key = 0;
    bool open = false;
    for (const sim::Access& a : trace.entries()) {
        if (a.unit != sim::Unit::Fullfip2 || !a.write) continue;
        if (a.reg == kKeyHigh) key = static_cast<std::uint16_t>((key & 0x00FF) | (a.value & 0xFF) << 8);
        if (a.reg == kKeyLow) key = static_cast<std::uint16_t>((key & 0xFF00) | (a.value & 0xFF));
        if (a.reg == kFifo && open) commands.back().written.push_back(static_cast<std::uint8_t>(a.value));
        if (a.reg == kCommandRegister) {
            open = a.value != 0;
            if (open) commands.push_back({static_cast<std::uint8_t>(a.value), key, {}});
        }
    }
    return commands;
}

class EngineOnMachine : public ::testing::Test {
protected:
    void boot(const sim::MachineDescription& description = sim::defaultMachine()) {
        machine_ = &sim::bootMachine(description);
        ASSERT_EQ(machine_->driverStatus("ambrix"), 0);
        ASSERT_EQ(machine_->driverStatus("osprix"), 0);
    }
    void TearDown() override {
        STOP_FIP_ENGINE();
        sim::shutdownMachine();
    }
    sim::Machine& machine() { return *machine_; }
    sim::PciBoard& pci(std::size_t i = 0) { return machine_->pciBoard(i); }
    sim::Pc104Board& pc104(std::size_t i = 0) { return machine_->pc104Board(i); }

    qbase::VirtualClock clock;

private:
    sim::Machine* machine_ = nullptr;
};

}  // namespace corvix::testing
