// Faults that a test can inject into a FULLFIP2, each observable from the driver's side.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace sim {

inline constexpr std::uint32_t kForever = 0xFFFFFFFF;

struct FaultKnobs {
    // USTATE always shows busy (bit 7), also after CLOSE.
    bool busyStuck = false;
    // No command is ever answered: USTATE stays at busy alone.
    bool noAnswer = false;
    // The answer shows only after this many reads of USTATE that follow the command byte.
    std::uint32_t answerLatencyReads = 0;
    // Command byte -> VAR_SIZE answered in place of the card's own.
    std::map<std::uint8_t, std::uint8_t> wrongSize;
    // Command byte -> status answered in place of executing the command (a refusal has bit 7 set).
    std::map<std::uint8_t, std::uint8_t> refusal;
    // `command` is executed `passes` times from the setting of the knobs, then answered with
    // `status` in place of executing it (a fault that shows only after a run of good transactions).
    struct LateRefusal {
        std::uint8_t command;
        std::uint32_t passes;
        std::uint8_t status;
    };
    std::optional<LateRefusal> lateRefusal;
    // Once `afterBytes` data bytes of `command` have moved, the data bit stays low for `reads` reads
    // of USTATE (kForever: until CLOSE).
    struct Stall {
        std::uint8_t command;
        std::uint32_t afterBytes;
        std::uint32_t reads;
    };
    std::optional<Stall> stall;
    // Every READ_PHY of `page` gives byte `offset` XOR `mask`.
    struct Corruption {
        std::uint16_t page;
        std::uint8_t offset;
        std::uint8_t mask;
    };
    std::optional<Corruption> readBackCorruption;
};

}  // namespace sim
