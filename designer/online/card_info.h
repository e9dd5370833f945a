// What the designer tells a user about a board: the CardInfo record built from the engine's board
// queries, shown by the board selection dialog and the card information dialog, and the board
// variant that chooses the session's medium supervision.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/selected_device.h"

namespace plandrel {

struct CardInfo {
    int valid = 0;              // 1 when GetCardrixInfo gave a nonzero word
    int has_pci_slot = 0;       // 1 when the slot line was computed (a PCI driver with a version)
    int has_pc104_address = 0;  // 1 for a PC104 board
    std::string index;
    std::string version;
    std::string speed;
    std::string serial;
    std::string pci_slot;
    std::string pc104_address;
};

// The last line of the characteristics: "Slot:" with the PCI slot, "Address:" with the PC104
// address, or no line.
struct SlotLine {
    bool shown = false;
    std::string label;
    std::string value;
};
SlotLine SlotLineOf(const CardInfo& info);

// Reads the board (type, number) through the engine. A board that does not answer gives valid 0
// and empty texts.
CardInfo BuildCardInfo(std::uint32_t boardType, std::uint16_t boardNumber);

// 1 or 2 for the selected board: 2 for a PC104 board whose word says single medium, else 1.
int GetBoardVariant(const SelectedDevice& device);

// The CardConfWord's fields as the dialogs show them: "v 5.3b", "1 Mbps".
std::string CardVersionText(std::uint32_t cardConfWord);
std::string CardSpeedText(std::uint32_t cardConfWord);

// A driver "FileVersion" string, "2.4.0.1" -> {2, 4}: the decimal number before the first "." and
// the one right after it. Nothing when the text does not start with a number.
struct DriverVersion {
    unsigned major = 0;
    unsigned minor = 0;
};
std::optional<DriverVersion> ParseDriverVersion(std::string_view text);
// The PCI driver reports the slot from version 2.4 on.
bool DriverReportsPciSlot(const DriverVersion& version);

// The "FileVersion" of a file's version resource; nothing when the file has none.
std::optional<std::string> FileVersionString(const std::string& path);

// 1 when this 32-bit program runs on a 64-bit system: the driver files then carry "64" in their
// names.
int IsWow64();

}  // namespace plandrel
