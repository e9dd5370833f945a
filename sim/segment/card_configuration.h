// What a board's card knows of the network, read from card memory as the engine's memory image
// leaves it (the card's own code reads the same words):
//   page 128, the header: word 0 low bits = first page / 16 of the variable descriptors, word 1 =
//     first page / 16 of the buffer descriptors, word 3 = variable table size T, word 2 = BA memory
//     granted, word 9 = end page of BA memory, word 13 = word address of the first BA program,
//     word 16 = slot index << 14 | silence << 8 | turnaround << 2 | speed code (3 = 31.25 kbit/s,
//     1 = 1 Mbit/s, 0 = 2.5 Mbit/s), word 20 = clock multiplier (bit 0), WorldFIP frames (bits 1-2);
//   variable descriptor (16 words) per slot: word 0 identifier, word 1 kind (low bits 1 produced,
//     2 consumed; 8 refreshment, 0x200 messages), word 2 (produced) or 3 (consumed) = 16 x buffer
//     index, word 6 refreshment period in BA units;
//   buffer descriptor (16 words) per variable: word 0 = kind << 8 | length (0x1 produced, 0x2
//     consumed, 0xA consumed with promptness), word 9 = PDU type << 8 | frame bytes, word 10
//     promptness period in BA units, word 14 identifier.
// Leading slots repeat the first variable; each variable is listed once, by buffer index.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/card/card_model.h"
#include "sim/segment/bus_timing.h"

namespace sim {

struct CardVariable {
    std::uint16_t identifier = 0;
    std::uint16_t index = 0;  // the buffer index: READ_VAR / WRITE_VAR key
    VariableKind kind = VariableKind::Produced;
    std::uint8_t length = 0;  // value bytes
    std::uint8_t pduType = 0;
    bool refreshment = false;  // produced: refreshment period given; consumed: status byte kept
    Nanoseconds refreshmentPeriod = 0;
    bool promptness = false;
    Nanoseconds promptnessPeriod = 0;
    bool messaging = false;
};

struct CardConfiguration {
    BusSettings settings;
    BusTiming timing;
    bool baMemory = false;
    std::uint16_t programWord = 0;  // word address of BA program 1
    std::uint16_t baEndPage = 0;
    std::vector<CardVariable> variables;  // by buffer index
    // Positions in `variables` ordered by identifier and kind: the segment looks a variable up
    // for every frame it carries.
    std::vector<std::uint16_t> byIdentifier;

    const CardVariable* find(std::uint16_t identifier, VariableKind kind) const;
    const CardVariable* at(std::uint16_t index) const;  // by buffer index
};

// Reads the configuration from page 128 and the descriptor pages; nothing when the header page
// holds no image (power-on content, damaged words or descriptors outside card memory).
std::optional<CardConfiguration> readCardConfiguration(const CardModel& card);

}  // namespace sim
