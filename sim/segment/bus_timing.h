// Bit rate, turnaround and silence of a FIP segment, and how long its frames last on the wire.
//
// Times are in nanoseconds of simulated bus time. The counts and the slot index are those a
// configuration holds; the units per bit rate and clock multiplier are the timing table's:
//   turnaround = count x turnaround unit + 1.25 bit times   (gap between two frames)
//   silence    = count x silence unit + silence offset      (how long a station waits for an answer)
//   BA unit    = {4000, 16000, 40000, 160000}[slot] / {40, 64, 80}[speed] us (WAIT and window dates,
//                refreshment and promptness periods)
// Frame lengths follow the frame kind: WorldFIP frames carry 64 bits per identifier frame and
// 8 x (bytes + 8) bits per response frame, FIP frames 61 bits and 8 x bytes + 61 bits.
#pragma once

#include <cstdint>

namespace sim {

using Nanoseconds = std::uint64_t;

enum class BitRate : std::uint8_t { k31k25 = 0, k1M = 1, k2M5 = 2 };

struct BusSettings {
    BitRate bitRate = BitRate::k1M;
    bool clockMultiplier = false;
    std::uint8_t turnaroundCount = 14;
    std::uint8_t silenceCount = 22;
    std::uint8_t slotIndex = 0;  // 0..3
    bool worldFipFrames = true;
};

struct BusTiming {
    Nanoseconds bit = 1000;
    Nanoseconds turnaround = 0;
    Nanoseconds silence = 0;
    Nanoseconds baUnit = 0;
    bool worldFipFrames = true;

    Nanoseconds identifierFrame() const;
    // A response frame (RP_DAT, RP_MSG, RP_ACK, RP_FIN) with `bytes` bytes of user data.
    Nanoseconds responseFrame(std::uint32_t bytes) const;
};

BusTiming busTiming(const BusSettings& settings);

}  // namespace sim
