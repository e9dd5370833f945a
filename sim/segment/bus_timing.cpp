#include "sim/segment/bus_timing.h"

#include <array>

namespace sim {
namespace {

// The timing table, indexed by bit rate x 2 + clock multiplier, in nanoseconds.
struct TimingRow {
    Nanoseconds silenceUnit;
    Nanoseconds silenceOffset;
    Nanoseconds turnaroundUnit;
    Nanoseconds bit;
};
constexpr std::array<TimingRow, 6> kTimingTable = {{
    {1024000, 64000, 128000, 32000},
    {1024000, 64000, 128000, 32000},
    {5000, 40000, 625, 1000},
    {32000, 40000, 4000, 1000},
    {12800, 32000, 1600, 400},
    {12800, 32000, 1600, 400},
}};

constexpr std::array<Nanoseconds, 4> kSlotBase = {4000000, 16000000, 40000000, 160000000};  // ns x speed constant
constexpr std::array<Nanoseconds, 3> kSpeedConstant = {40, 64, 80};

constexpr std::uint32_t kWorldFipIdentifierBits = 64;
constexpr std::uint32_t kWorldFipResponseOverheadBytes = 8;
constexpr std::uint32_t kFipFrameOverheadBits = 61;

}  // namespace

BusTiming busTiming(const BusSettings& s) {
    const auto speed = static_cast<std::size_t>(s.bitRate);
    const TimingRow& row = kTimingTable.at(speed * 2 + (s.clockMultiplier ? 1 : 0));
    BusTiming t;
    t.bit = row.bit;
    t.turnaround = s.turnaroundCount * row.turnaroundUnit + row.bit * 5 / 4;
    t.silence = s.silenceCount * row.silenceUnit + row.silenceOffset;
    t.baUnit = kSlotBase.at(s.slotIndex & 3) / kSpeedConstant.at(speed);
    t.worldFipFrames = s.worldFipFrames;
    return t;
}

Nanoseconds BusTiming::identifierFrame() const {
    return bit * (worldFipFrames ? kWorldFipIdentifierBits : kFipFrameOverheadBits);
}

Nanoseconds BusTiming::responseFrame(std::uint32_t bytes) const {
    const std::uint32_t bits = worldFipFrames ? 8 * (bytes + kWorldFipResponseOverheadBytes)
                                              : 8 * bytes + kFipFrameOverheadBits;
    return bit * bits;
}

}  // namespace sim
