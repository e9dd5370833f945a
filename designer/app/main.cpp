// The designer's entry. Until the designer's windows exist, it demonstrates what stands: it lists
// the boards, starts the engine on the first one, shows what the board says about itself and
// stops the engine again.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "corvix.h"
#include "faultra.h"

namespace {

const char* typeName(std::uint32_t type) {
    switch (type) {
        case 0: return "PCI";
        case 1: return "PC104";
        case 2: return "USB";
        default: return "unknown";
    }
}

const char* mediumName(std::uint32_t confWord) {
    switch (confWord & 0x30000u) {
        case 0x10000u: return "single medium";
        case 0x20000u: return "dual medium";
        default: return "medium unknown";
    }
}

const char* baStateName(std::uint8_t state) {
    static const char* const kNames[] = {"sending", "stopped", "starting", "idle",
                                         "message window", "aperiodic window", "waiting", "pending"};
    return state >= 8 && state <= 15 ? kNames[state - 8] : "unknown";
}

std::string errorText(std::uint32_t code) {
    std::uint32_t needed = 0;
    ERROR_MESSAGE(static_cast<std::int32_t>(code), nullptr, 0, &needed);
    std::string text(needed, '\0');
    if (needed == 0 || ERROR_MESSAGE(static_cast<std::int32_t>(code), text.data(), needed, &needed) != 0)
        return "Unknown error.";
    text.resize(text.find_first_of(std::string("\r\n\0", 3)));  // one line, without the terminator
    return text;
}

int fail(const char* what, std::uint32_t code) {
    std::printf("%s: 0x%08X %s\n", what, code, errorText(code).c_str());
    return 1;
}

}  // namespace

int main() {
    std::uint16_t count = 0;
    GetActiveDevicesCount(&count);
    std::vector<ActiveDeviceInfo> boards(count);
    GetActiveDevicesInfo(count, boards.data());
    std::printf("Boards: %u\n", static_cast<unsigned>(count));
    for (const ActiveDeviceInfo& board : boards)
        std::printf("  %s board %u%s\n", typeName(board.boardType), static_cast<unsigned>(board.boardNumber),
                    board.used ? " (in use)" : "");
    if (boards.empty()) {
        std::puts("No board to start.");
        return 0;
    }

    const ActiveDeviceInfo& first = boards.front();
    std::printf("Serial number: %u\n", GetCardrixSerialNumber(first.boardType, first.boardNumber));
    const std::uint32_t info = GetCardrixInfo(first.boardType, first.boardNumber);
    std::printf("Card information: 0x%08X (%s)\n", info, mediumName(info));
    if (first.boardType == 0) std::printf("PCI slot: %u\n", GetPCISlot(first.boardNumber));
    if (first.boardType == 1) std::printf("I/O address: 0x%X\n", GetPC104PhysicalAddress(first.boardNumber));

    if (const std::uint32_t code = START_FIP_ENGINE(first.boardNumber, first.boardType); code != 0)
        return fail("Cannot start", code);
    std::printf("Engine started on %s board %u\n", typeName(first.boardType), static_cast<unsigned>(first.boardNumber));
    std::uint8_t state = 0;
    if (const std::uint32_t code = BA_REPORT(&state); code == 0)
        std::printf("BA state: %u (%s)\n", static_cast<unsigned>(state), baStateName(state));
    else
        std::printf("BA state: 0x%08X %s\n", code, errorText(code).c_str());
    if (const std::uint32_t code = STOP_FIP_ENGINE(); code != 0) return fail("Cannot stop", code);
    std::puts("Engine stopped");
    return 0;
}
