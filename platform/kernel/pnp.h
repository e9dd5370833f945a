// The Plug and Play surface that the simulated machine uses to boot: loading drivers, enumerating
// boards with their resources, and the removal and power transitions a board goes through.
// Only the machine boot (sim/) and tests call it; the drivers see the ordinary WDM and KMDF calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io_seam.h"

namespace qk::pnp {

struct MemoryResource {
    std::uint64_t physicalAddress;
    std::uint32_t length;
};
struct PortResource {
    std::uint32_t firstPort;
    std::uint32_t length;
};

enum class DevicePowerState { D0 = 1, D1 = 2, D2 = 3, D3 = 4 };

// What a bus driver knows of a board: its resources (in the order the PnP manager lists them),
// its PCI configuration space (read by the function driver's read-configuration request; empty for
// boards that have none), its UI number (the slot), and whom to tell when it powers the board:
// D0 at start, the state of each device set-power request that reaches it, D3 at removal.
struct BoardDescription {
    std::string service;  // "ambrix" or "osprix": the driver that serves the board
    std::vector<MemoryResource> memory;
    std::vector<PortResource> ports;
    std::function<std::vector<std::uint8_t>(std::uint32_t offset, std::uint32_t length)> readConfigSpace;
    std::uint32_t uiNumber = 0;
    std::function<void(DevicePowerState)> powerChanged;
};

using DeviceNodeId = std::uint32_t;

// Loads the driver module (lib<Module>.so from the module folder), calls its DriverEntry with the
// registry path "\Registry\Machine\SYSTEM\CurrentControlSet\Services\<service>", and keeps it
// for the boards of that service. Returns the driver entry's status.
NTSTATUS loadDriver(const std::string& service, const std::string& moduleName);
// Unloads every board of the driver first, then calls its unload routine (or KMDF clean-up).
void unloadDriver(const std::string& service);

// Enumerates a board: AddDevice, then the start request with its translated resources. The node
// exists even when add-device or start fails; the status says which.
struct EnumerateResult {
    NTSTATUS addStatus;
    NTSTATUS startStatus;
    DeviceNodeId node;
};
EnumerateResult enumerateBoard(const BoardDescription& board);

NTSTATUS queryRemove(DeviceNodeId node);
NTSTATUS cancelRemove(DeviceNodeId node);
NTSTATUS queryStop(DeviceNodeId node);
NTSTATUS surpriseRemove(DeviceNodeId node);
NTSTATUS remove(DeviceNodeId node);

enum class SystemPowerState { Working = 1, Sleeping3 = 4, Hibernate = 5 };
// Sends a set-power IRP for the system state to every started device, as the power manager does,
// and waits for each. Returns the first failure.
NTSTATUS setSystemPower(SystemPowerState state);
// Sends a query-power IRP for the system state to every started device and waits for each. When
// one refuses, every device is set back to the working state, as the power manager does after a
// refused query; the refusal is returned. On success the caller goes on with setSystemPower.
NTSTATUS querySystemPower(SystemPowerState state);
// Asks for a device set-power IRP for a started board (PoRequestPowerIrp on its physical device),
// as the power manager does when it powers down an idle device, and waits for its completion.
NTSTATUS setDevicePower(DeviceNodeId node, DevicePowerState state);

// Tears everything down: removes every node and unloads every driver (tests, machine shutdown).
void shutdown();

}  // namespace qk::pnp
