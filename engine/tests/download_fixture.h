// DOWNLOAD_CNF over the simulated machine: configurations built from records, written as the
// designer writes them (format 4) and downloaded into a started board of the default machine.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "board_device.h"
#include "corvix.h"
#include "engine_errors.h"
#include "records/atomic_file.h"
#include "records/config_format.h"
#include "stack_fixture.h"
#include "test_records.h"

namespace corvix::testing {

// A configuration with the given table sizes and BA memory, and nothing else.
inline records::Configuration bareConfiguration(std::uint16_t variableTable, std::uint16_t messageTable, bool ba) {
    records::Configuration c = records::new_configuration();
    c.param.variable_table_size = variableTable;
    c.param.message_table_size = messageTable;
    c.param.ba_size = ba ? 1 : 0;
    return c;
}

class DownloadOnMachine : public EngineOnMachine {
protected:
    // Boots the default machine and starts the engine on its board of `type`.
    void start(std::uint32_t type = kBoardPci) {
        boot();
        type_ = type;
        ASSERT_EQ(START_FIP_ENGINE(1, type), kSuccess);
    }
    ErrorCode download(const records::Configuration& c) { return downloadFile(records::encode_format4(c)); }
    ErrorCode downloadFile(const std::vector<std::uint8_t>& file) {
        const std::filesystem::path path = qbase::machineRoot() / "trv";
        if (!records::write_file_atomically(path, file)) return ~0u;
        return DOWNLOAD_CNF(path.string().c_str());
    }
    sim::CardModel& card() { return type_ == kBoardPci ? pci().card() : pc104().card(); }
    sim::Fullfip2& controller() { return pci().controller(); }  // PCI board only
    void faults(const std::function<void(sim::FaultKnobs&)>& change) {
        sim::FaultKnobs k = controller().faults();
        change(k);
        controller().setFaults(k);
    }

private:
    std::uint32_t type_ = kBoardPci;
};

}  // namespace corvix::testing
