#include "online/card_info.h"

#include <cstdio>
#include <vector>

#include "corvix.h"
#include "win32/windows.h"

namespace plandrel {
namespace {

constexpr std::uint32_t kMediumBits = 0x30000u;
constexpr std::uint32_t kSingleMedium = 0x10000u;
// GetPCISlot and GetPC104PhysicalAddress give 0xFFFFFFFF when the board cannot be asked; drivers
// that know no slot give 0xFFFF.
constexpr std::uint32_t kQueryFailed = 0xFFFFFFFFu;
constexpr std::uint32_t kNoSlot = 0xFFFFu;
constexpr const char* kUnknown = "unknown";

std::string hex(std::uint32_t value, const char* prefix) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%X", prefix, value);
    return text;
}

// Reads a decimal number at text[pos]; nothing when no digit is there. Stops at six digits: no
// driver version is that long, and the value cannot overflow.
std::optional<unsigned> decimalAt(std::string_view text, std::size_t pos) {
    unsigned value = 0;
    std::size_t digits = 0;
    while (pos + digits < text.size() && digits < 6 && text[pos + digits] >= '0' && text[pos + digits] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[pos + digits] - '0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return value;
}

std::string pciSlotText(std::uint16_t boardNumber, const DriverVersion* version) {
    if (!version || !DriverReportsPciSlot(*version)) return kUnknown;
    const std::uint32_t slot = GetPCISlot(boardNumber);
    if (slot == kNoSlot || slot == kQueryFailed) return kUnknown;
    return hex(slot, "");
}

}  // namespace

std::string CardVersionText(std::uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "v %u.%u%s", (word >> 13) & 0x7u, (word >> 9) & 0xFu, word & 0x100u ? "b" : "");
    return text;
}

std::string CardSpeedText(std::uint32_t word) {
    switch (word & 6u) {
        case 2: return "31.25 kbps";
        case 4: return "1 Mbps";
        case 6: return "2.5 Mbps";
        default: return kUnknown;
    }
}

std::optional<DriverVersion> ParseDriverVersion(std::string_view text) {
    const auto major = decimalAt(text, 0);
    if (!major) return std::nullopt;
    DriverVersion version{*major, 0};
    const auto dot = text.find('.');
    if (dot != std::string_view::npos) version.minor = decimalAt(text, dot + 1).value_or(0);
    return version;
}

bool DriverReportsPciSlot(const DriverVersion& version) {
    return version.major > 2 || (version.major == 2 && version.minor >= 4);
}

std::optional<std::string> FileVersionString(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::nullopt;
    LPVOID translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) || length < 4)
        return std::nullopt;
    const auto* pair = static_cast<const WORD*>(translation);
    char subBlock[64];
    std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\FileVersion", pair[0], pair[1]);
    LPVOID value = nullptr;
    if (!VerQueryValueA(block.data(), subBlock, &value, &length)) return std::nullopt;
    const auto* chars = static_cast<const char*>(value);
    std::size_t n = 0;
    while (n < length && chars[n] != '\0') ++n;  // the length counts the terminator, when there is one
    return std::string(chars, n);
}

int IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? 1 : 0;
}

SlotLine SlotLineOf(const CardInfo& info) {
    if (info.has_pci_slot) return {true, "Slot:", info.pci_slot};
    if (info.has_pc104_address) return {true, "Address:", info.pc104_address};
    return {};
}

CardInfo BuildCardInfo(std::uint32_t boardType, std::uint16_t boardNumber) {
    CardInfo info;
    const std::uint32_t word = GetCardrixInfo(boardType, boardNumber);
    if (word == 0) return info;
    info.valid = 1;
    info.index = std::to_string(boardNumber);
    info.version = CardVersionText(word);
    info.speed = CardSpeedText(word);
    info.serial = hex(GetCardrixSerialNumber(boardType, boardNumber), "0x");

    if (boardType == kBoardTypePci) {
        char systemDirectory[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryA(systemDirectory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return info;
        const std::string driver =
            std::string(systemDirectory) + (IsWow64() ? "\\drivers\\ambrix64.sys" : "\\drivers\\ambrix.sys");
        const auto text = FileVersionString(driver);
        if (!text) return info;
        const auto version = ParseDriverVersion(*text);
        info.has_pci_slot = 1;
        info.pci_slot = pciSlotText(boardNumber, version ? &*version : nullptr);
    } else if (boardType == kBoardTypePc104) {
        info.has_pc104_address = 1;
        const std::uint32_t address = GetPC104PhysicalAddress(boardNumber);
        info.pc104_address = address == kQueryFailed ? kUnknown : hex(address, "0x");
    }
    return info;
}

int GetBoardVariant(const SelectedDevice& device) {
    if (device.board_type != kBoardTypePc104) return 1;
    const std::uint32_t word = GetCardrixInfo(device.board_type, device.board_number);
    return word != 0 && (word & kMediumBits) == kSingleMedium ? 2 : 1;
}

}  // namespace plandrel
