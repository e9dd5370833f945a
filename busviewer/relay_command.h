// The commands that a slot's worker runs: one command signal per number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spectrel {

enum class RelayCommand : std::uint8_t {
    StartFipEngine = 0,
    StopFipEngine = 1,
    StartBa = 2,
    StopBa = 3,
    BaReport = 4,
    BaProg = 5,
    ChangeBa = 6,
    ContinueBa = 7,
    StartCommunication = 8,
    MediumControl = 9,
    FipWriteVar = 10,
    FipReadVar = 11,
    DefVarEvent = 12,
    IsEvent = 13,
    ReadEvent = 14,
    DownloadCnf = 15,
    FindVarByName = 16,
    FindVarById = 17,
    SendAper = 18,
    FindMsgById = 19,
    FindMsgByName = 20,
    FipWriteMsg = 21,
    FipReadMsg = 22,
    Purge = 23,
    GetTransmissionQueue = 24,
    GetBaProgramAddr = 25,
    Wake = 26,  // no engine call: wakes the worker
    FipGetSlot = 27,
    GetLedState = 28,
    SetLedState = 29,
    GetRgbLedState = 30,
    SetRgbLedState = 31,
};

inline constexpr std::size_t kRelayCommandCount = 32;
static_assert(static_cast<std::size_t>(RelayCommand::SetRgbLedState) + 1 == kRelayCommandCount);

}  // namespace spectrel
