// The machine description, "machine.json" in the machine root: the boards the machine has and the
// versions of the installed drivers. Without a description the machine is the standard one: one
// PCI board and one dual-medium PC104 board, and on their segment the remote stations of the
// example configuration.
//
//   {
//     "boards": [
//       { "type": "pci", "slot": 3, "configurationWord": "0x1A604", "serialNumber": "0x00010001",
//         "medium": "dual", "eeprom": { "addressBits": 8, "words": [258, 772] },
//         "subsystemVendor": "0x51C0", "subsystemId": 2, "physicalAddress": "0xF0000000" },
//       { "type": "pc104", "baseAddress": "0x300", "medium": "single", "serialNumber": 42 },
//       { "type": "usb", "serialNumber": "0x30001", "medium": "dual", "firmwareVersion": "0x0201" }
//     ],
//     "driverVersions": { "ambrix": "3.1", "osprix": "1.0" },
//     "remoteStations": [ ... ], "pacedSegment": true
//   }
//
// Numbers are JSON numbers or strings in C notation ("0x300", "768"). Every field but "type" is
// optional. A USB board's "firmwareVersion" is the two bytes that identifier 6 reads, high byte
// first; USB boards are numbered in their own order (device index). "eeprom": false gives a PCI board without EEPROM. A PC104 board's medium and
// configuration word follow each other when only one is given (bits 16-17: 1 single, 2 dual).
// Unknown fields, values out of range and boards whose resources collide are errors.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "sim/boards/board_config.h"
#include "sim/segment/remote_station.h"

namespace sim {

class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using BoardConfig = std::variant<PciBoardConfig, Pc104BoardConfig, UsbBoardConfig>;

struct MachineDescription {
    std::vector<BoardConfig> boards;  // enumerated in this order
    std::string ambrixVersion = "3.1";
    std::string osprixVersion = "1.0";
    // The stations beside the boards on the machine's FIP segment (sim/segment/remote_station_description.h).
    std::vector<RemoteStationConfig> remoteStations{};
    bool pacedSegment = false;  // the segment follows the wall clock from the boot on
};

MachineDescription defaultMachine();
// The remote stations of the example configuration examples/first_network.cnf. R5 runs the bus at
// the example's settings (1 Mbit/s, turnaround 14, silence 22, slot 0) with a macrocycle of 20 ms,
// produces "Temperature" (0x0A10, a ramp) and sends "Alarm" (0x0A10 to 0x0A20) every 15 s; R6
// produces "Level" (0x0A11, a counter) and consumes "Setpoint" (0x0A20) and the message "Command".
// R5's program also scans the two stations' presence variables (0x1405, 0x1406).
std::vector<RemoteStationConfig> exampleStations();
// The machine that boots when the machine root has no description: defaultMachine()'s boards with
// exampleStations() on a segment that follows the wall clock.
MachineDescription standardMachine();
// Throws DescriptionError with a message that names the faulty field.
MachineDescription parseMachineDescription(const std::string& json);
// The most USB boards a description may hold. The engine lists the machine's USB devices in one
// table of 255 records, the D2XX library's devices first, and every simulated USB board is listed
// twice, through the D2XX library and through the USB device driver: beyond 127 boards the driver's
// entries, which are the boards the engine opens, fall out of the table (from 255 on, all of them).
inline constexpr std::size_t kMaxUsbBoards = 127;
// A description file larger than this is refused unread: one written by hand holds a few kilobytes.
inline constexpr std::size_t kLargestDescription = 4u << 20;
MachineDescription loadMachineDescription(const std::filesystem::path& file);

}  // namespace sim
