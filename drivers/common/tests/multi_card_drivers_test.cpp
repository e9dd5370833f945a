// Both board drivers when the registry refuses Active_Index at add: the PCI driver keeps its device
// (its add does not fail on the registry), the PC104 driver fails its add and undoes its mark, and
// either way the registry holds a count that agrees with its table.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/registry_store.h"
#include "kernel/pnp.h"
#include "kernel/registry_faults.h"
#include "sim/machine/machine.h"
#include "win32/windows.h"

namespace {

namespace reg = qbase::registry;
using Bytes = std::vector<std::uint8_t>;

const std::string kAmbrix = "SYSTEM\\CurrentControlSet\\Services\\ambrix\\Parameters";
const std::string kOsprix = "SYSTEM\\CurrentControlSet\\Services\\osprix\\Parameters";
constexpr qk::NTSTATUS kAccessDenied = static_cast<qk::NTSTATUS>(0xC0000022);

Bytes value(const std::string& key, const char* name) {
    const auto v = reg::getValue(reg::Root::LocalMachine, key, name);
    return v ? v->data : Bytes{};
}

// Lets each key's first Active_Index write through (the reset at driver entry), refuses the others.
void refuseActiveIndexAfterEntry() {
    auto writes = std::make_shared<std::map<std::string, int>>();
    qk::testing::setRegistryWriteFault([writes](const std::string& key, const std::string& name) {
        if (name != "Active_Index") return qk::NTSTATUS{0};
        return ++(*writes)[key] > 1 ? kAccessDenied : qk::NTSTATUS{0};
    });
}

class MultiCardDrivers : public ::testing::Test {
protected:
    void TearDown() override {
        qk::testing::setRegistryWriteFault({});
        sim::shutdownMachine();
    }
};

TEST_F(MultiCardDrivers, ARefusedWriteAtAddLeavesAConsistentRegistry) {
    sim::PciBoardConfig second;
    second.physicalAddress = 0xF0100000;
    second.uiNumber = 2;
    refuseActiveIndexAfterEntry();
    sim::Machine& machine =
        sim::bootMachine(sim::MachineDescription{.boards = {sim::PciBoardConfig{}, second, sim::Pc104BoardConfig{}}});
    qk::testing::setRegistryWriteFault({});

    ASSERT_EQ(machine.enumerations().size(), 3u);
    EXPECT_EQ(machine.enumerations()[0].addStatus, 0);
    EXPECT_EQ(machine.enumerations()[1].addStatus, 0);
    EXPECT_EQ(machine.enumerations()[2].addStatus, kAccessDenied);
    for (const std::string& key : {kAmbrix, kOsprix}) {
        EXPECT_EQ(value(key, "Active_Cards"), Bytes(4, 0)) << key;
        EXPECT_EQ(value(key, "Active_Index"), Bytes(9, 0)) << key;
    }

    // The second PCI board kept index 1: the first one's index was not handed out again.
    const HANDLE board = CreateFileA("\\\\.\\AMBRIX2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(board, INVALID_HANDLE_VALUE);
    EXPECT_EQ(value(kAmbrix, "Used_Index"), (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0}));
    CloseHandle(board);

    // The next accepted write of the table publishes all of it.
    const qk::pnp::DeviceNodeId first = machine.enumerations()[0].node;
    EXPECT_EQ(qk::pnp::surpriseRemove(first), 0);
    EXPECT_EQ(value(kAmbrix, "Active_Cards"), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(value(kAmbrix, "Active_Index"), (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
