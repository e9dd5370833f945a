// The designer's board access over the simulated machine: a machine booted from a description,
// the real drivers and the engine library, shut down after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "corvix.h"
#include "sim/machine/machine.h"

namespace plandrel::testing {

inline sim::PciBoardConfig pciBoard(std::uint32_t word = sim::kPciWord8BitEeprom, std::uint32_t slot = 1,
                                    std::uint64_t address = 0xF0000000, std::uint32_t serial = 0x00010001) {
    sim::PciBoardConfig c;
    c.configurationWord = word;
    c.eepromAddressBits = (word & 0x30000u) == 0x10000u ? 8 : 6;  // the driver reads the width from the word
    c.uiNumber = slot;
    c.physicalAddress = address;
    c.serialNumber = serial;
    return c;
}

inline sim::Pc104BoardConfig pc104Board(std::uint32_t word = sim::kPc104DualMediumWord, std::uint32_t port = 0x300,
                                        std::uint32_t serial = 0x00020001) {
    sim::Pc104BoardConfig c;
    c.configurationWord = word;
    c.dualMedium = (word & 0x30000u) != 0x10000u;
    c.basePort = port;
    c.serialNumber = serial;
    return c;
}

inline sim::MachineDescription machineOf(std::vector<sim::BoardConfig> boards, std::string ambrixVersion = "3.1") {
    sim::MachineDescription d;
    d.boards = std::move(boards);
    d.ambrixVersion = std::move(ambrixVersion);
    return d;
}

class OnMachine : public ::testing::Test {
protected:
    void boot(const sim::MachineDescription& description = sim::defaultMachine()) {
        machine_ = &sim::bootMachine(description);
        ASSERT_TRUE(machine_->problems().empty());
    }
    void TearDown() override {
        STOP_FIP_ENGINE();
        sim::shutdownMachine();
    }
    sim::Machine& machine() { return *machine_; }

private:
    sim::Machine* machine_ = nullptr;
};

}  // namespace plandrel::testing
