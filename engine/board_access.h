// Opening boards, listing the boards that the drivers report, and the board variant.
#pragma once

#include <cstdint>
#include <vector>

#include "board_device.h"
#include "context.h"
#include "corvix.h"

namespace corvix {

// Opens board `number` (1..9) of `type`: PC104 through its device interface (member index
// number - 1), USB as a USB board object on the bulk USB transport (device index number - 1),
// every other type as the exclusive PCI device "\\.\AMBRIX<number>". Null when the board cannot
// be opened; the platform's last error says why.
BoardDevicePtr openBoard(std::uint32_t type, std::uint16_t number);

// The device for a board query: the calling thread's own device when it is that board, else one
// opened for the query and closed when the query ends.
class QueryDevice {
public:
    QueryDevice(std::uint32_t type, std::uint16_t number);
    ~QueryDevice();
    QueryDevice(const QueryDevice&) = delete;
    QueryDevice& operator=(const QueryDevice&) = delete;

    BoardDevice* get() const { return device_.get(); }

private:
    BoardDevicePtr device_;
    bool temporary_ = false;
};

// The boards that the drivers and the USB enumeration report, PCI first, then PC104, then USB,
// each in board-number order. A PCI or PC104 board is used when this process's driver marks it,
// or, with `otherProcesses`, when another process of the machine holds it open.
std::vector<ActiveDeviceInfo> activeDevices(bool otherProcesses = true);

// BoardVariant of the context's device: 1 PCI board or failed type query, 2 single-medium PC104
// board, 1 dual-medium PC104 board, 0 unknown (no device, or an information word with both or
// neither medium bit). `current` is kept when the PC104 information word cannot be read.
std::uint32_t detectVariant(const EngineContext& context, std::uint32_t current);

}  // namespace corvix
