// A station of the segment that is not a board of the machine: it produces identifiers with a
// value generator, consumes identifiers, answers its presence variable and may act as the bus
// arbitrator with a macro program of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/segment/bus_timing.h"

namespace sim {

// The value a remote producer sends: each production gives the next value.
//   constant: `start` in every byte;
//   counter:  a big-endian counter from `start`, + `step` per production, wrapping at its width;
//   ramp:     like counter, but from `start` up to `limit` and back to `start`;
//   bytes:    `bytes` as they stand, then zeros up to the length (a table such as the address plan
//             that a bus arbitrator publishes in identifier 0x9002).
struct ValueGenerator {
    enum class Kind { Constant, Counter, Ramp, Bytes };
    Kind kind = Kind::Constant;
    std::uint64_t start = 0;
    std::uint64_t step = 1;
    std::uint64_t limit = 0xFF;
    std::vector<std::uint8_t> bytes{};
};

struct RemoteProduction {
    std::uint16_t identifier = 0;
    std::uint8_t length = 1;  // 1..128
    std::uint8_t pduType = 0x40;
    ValueGenerator generator;
};

// A message the station sends by itself: every `period` macrocycles of the running arbitrator,
// unacknowledged, from `source` to `destination` (segments 0), `length` bytes of the generator.
struct RemoteMessage {
    std::uint16_t source = 0;
    std::uint16_t destination = 0;
    std::uint8_t length = 1;  // 1..252
    ValueGenerator generator;
    std::uint32_t period = 10;  // 1..
};

struct RemoteStationConfig {
    std::string name;
    std::uint8_t address = 0;  // physical address: its presence variable is 0x1400 + address
    bool presence = true;
    std::vector<RemoteProduction> produces;
    std::vector<std::uint16_t> consumes;
    std::vector<RemoteMessage> sends;
    // Arbitrator: macro lines as the designer writes them ("ID_DAT(100)", "WAIT(C8)"); the program
    // repeats from its start. Empty: the station is no arbitrator.
    std::vector<std::string> arbitratorProgram;
    BusSettings bus;  // the bus settings the station's arbitrator runs with
};

struct HeldValue {
    std::vector<std::uint8_t> value;
    bool refreshed = false;    // the producer's refreshment status
    Nanoseconds received = 0;  // bus time of the last RP_DAT
    std::uint64_t count = 0;   // RP_DAT frames received
};

class RemoteStation {
public:
    explicit RemoteStation(RemoteStationConfig config);

    const RemoteStationConfig& config() const { return config_; }
    std::uint16_t presenceIdentifier() const { return static_cast<std::uint16_t>(0x1400 + config_.address); }
    // The RP_DAT data of one production of `identifier` (pdu type, length, value), or nothing
    // when the station does not produce it.
    std::optional<std::vector<std::uint8_t>> produce(std::uint16_t identifier);
    bool consumes(std::uint16_t identifier) const;
    void hold(std::uint16_t identifier, HeldValue value);
    std::optional<HeldValue> held(std::uint16_t identifier) const;
    // Messages received, in order (destination address = one of the identifiers it consumes or produces).
    struct Message {
        std::uint16_t source = 0;
        std::vector<std::uint8_t> data;
    };
    const std::vector<Message>& messages() const { return messages_; }
    void receive(Message message) { messages_.push_back(std::move(message)); }
    bool addressed(std::uint16_t identifier) const;
    // The messages of `sends` due at macrocycle `cycle` (from 1), with their data.
    std::vector<std::pair<const RemoteMessage*, std::vector<std::uint8_t>>> messagesDue(std::uint64_t cycle);

private:
    RemoteStationConfig config_;
    std::vector<std::uint64_t> productions_;  // per entry of config_.produces
    std::vector<std::pair<std::uint16_t, HeldValue>> held_;
    std::vector<Message> messages_;
    std::vector<std::uint64_t> sent_;  // per entry of config_.sends
};

// The value bytes of production number `n` (0-based) of a generator, `length` bytes.
std::vector<std::uint8_t> generateValue(const ValueGenerator& generator, std::uint8_t length, std::uint64_t n);

}  // namespace sim
