// The boards that the engine enumerates, as the board selection dialog lists them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "corvix.h"
#include "model/selected_device.h"

namespace plandrel {

// "PCI", "PC104", "USB", "Unknown".
const char* BoardTypeName(std::uint32_t boardType);
// The list entry of a board: "PCI #1".
std::string BoardEntryText(const ActiveDeviceInfo& device);

// The LED controls of a board type: three LEDs on a PC104 board, the RGB LED of a USB board.
enum class LedControls { None, ThreeLeds, Rgb };
LedControls LedControlsOf(std::uint32_t boardType);

// The colours of the RGB LED, by index (bit 2 red, bit 1 green, bit 0 blue).
inline constexpr const char* kRgbLedColourNames[] = {"Black", "Blue",    "Green",  "Blue Sky",
                                                     "Red",   "Fuschia", "Yellow", "White"};

class BoardList {
public:
    // With a working folder, a board whose working files another designer holds there is listed
    // as used (working_files_hold.h).
    explicit BoardList(std::filesystem::path working_folder = {}) : working_folder_(std::move(working_folder)) {}

    // Reads the list afresh: GetActiveDevicesCount, then GetActiveDevicesInfo. Returns 0 or the
    // engine's code; on failure the list is empty. Records left blank because a board went away
    // between the two calls (board number 0) are dropped.
    std::uint32_t Load();

    const std::vector<ActiveDeviceInfo>& Devices() const { return devices_; }
    std::size_t Count() const { return devices_.size(); }
    int FreeCount() const;
    // Index of the first free board, -1 when every board is used.
    int FirstFree() const;
    // Index of a board by its type and number, -1 when it is not listed.
    int Find(std::uint32_t boardType, std::uint16_t boardNumber) const;
    // The board at index is listed and free.
    bool IsFree(int index) const;

private:
    std::filesystem::path working_folder_;
    std::vector<ActiveDeviceInfo> devices_;
};

}  // namespace plandrel
