// Test support: writes a card memory image the way the engine's download lays it out (header page,
// variable and buffer descriptors, BA program 1 at page 160), and drives a card as the driver would.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/card/card_model.h"
#include "sim/segment/bus_timing.h"

namespace sim::testing {

struct ImageVariable {
    std::uint16_t identifier = 0;
    bool produced = true;
    std::uint8_t length = 2;
    std::uint8_t pduType = 0x40;
    bool refreshment = false;
    std::uint16_t refreshmentMs = 0;
    bool promptness = false;
    std::uint16_t promptnessMs = 0;
};

struct ImageLayout {
    BusSettings bus;
    bool baMemory = true;
    std::uint16_t tableSize = 0;  // 0: the variable count
    std::vector<ImageVariable> variables;  // sorted by identifier
    std::vector<std::uint16_t> program;    // BA program 1 words
};

void writeImage(CardModel& card, const ImageLayout& layout);

// Commands as the FULLFIP2 hands them to the card.
void startCircuit(CardModel& card);
void startBa(CardModel& card);
void stopBa(CardModel& card);
void writeVar(CardModel& card, std::uint16_t index, const std::vector<std::uint8_t>& value);
struct ReadVar {
    std::uint8_t status = 0;
    std::vector<std::uint8_t> bytes;
};
ReadVar readVar(CardModel& card, std::uint16_t index);
void sendMessage(CardModel& card, std::uint16_t key, std::uint16_t destination, std::uint16_t source,
                 const std::vector<std::uint8_t>& data, bool acknowledged = false);
std::vector<CardEvent> drainEvents(CardModel& card);

}  // namespace sim::testing
