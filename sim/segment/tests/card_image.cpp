#include "sim/segment/tests/card_image.h"

#include <array>

namespace sim::testing {
namespace {

constexpr std::uint32_t kWords = 64;

struct Memory {
    CardModel& card;
    void put(std::uint32_t address, std::uint16_t value) {
        Page p = card.page(address / kWords);
        p[2 * (address % kWords)] = static_cast<std::uint8_t>(value >> 8);
        p[2 * (address % kWords) + 1] = static_cast<std::uint8_t>(value);
        card.setPage(address / kWords, p);
    }
};

std::uint16_t units(std::uint16_t ms, const BusTiming& timing) {
    return static_cast<std::uint16_t>(std::uint64_t{ms} * 1000000 / timing.baUnit);
}

}  // namespace

void writeImage(CardModel& card, const ImageLayout& layout) {
    Memory m{card};
    const BusTiming timing = busTiming(layout.bus);
    const auto count = static_cast<std::uint16_t>(layout.variables.size());
    const std::uint16_t t = layout.tableSize ? layout.tableSize : count;
    const std::uint16_t b = layout.baMemory ? 64 : 10;
    const std::uint16_t e = b - 10;
    std::uint16_t g = 0;
    if (t >= 2)
        for (g = 1; (1u << g) < t; ++g) {
        }
    for (std::uint32_t w = 0; w < kWords; ++w) m.put(128 * kWords + w, 0);
    const std::uint16_t h1 = static_cast<std::uint16_t>(e + (t >> 6) + 11);
    const std::uint16_t h11 = static_cast<std::uint16_t>((t >> 2) + 16 * (t >> 6) + 16 * e + 192);
    static constexpr std::array<std::uint16_t, 3> kSpeedCode = {3, 1, 0};
    const std::array<std::pair<std::uint32_t, std::uint16_t>, 13> header = {{
        {0, static_cast<std::uint16_t>(((g - 1) << 12) | b)},
        {1, h1},
        {2, layout.baMemory ? 1 : 0},
        {3, t},
        {4, static_cast<std::uint16_t>(b & 0x1FF)},
        {9, static_cast<std::uint16_t>(16 * b - 2)},
        {11, h11},
        {12, 3},
        {13, 0x2800},
        {16, static_cast<std::uint16_t>(layout.bus.slotIndex << 14 | (layout.bus.silenceCount & 0x3F) << 8 |
                                        ((layout.bus.turnaroundCount * 4) & 0xFF) |
                                        kSpeedCode[static_cast<std::size_t>(layout.bus.bitRate)])},
        {20, static_cast<std::uint16_t>((layout.bus.clockMultiplier ? 1 : 0) + (layout.bus.worldFipFrames ? 6 : 0))},
        {22, 1},
        {33, 2},
    }};
    for (const auto& [word, value] : header) m.put(128 * kWords + word, value);

    for (std::uint16_t slot = 0; slot < t && count > 0; ++slot) {
        const std::uint16_t r = slot + count > t ? static_cast<std::uint16_t>(slot - (t - count)) : 0;
        const ImageVariable& v = layout.variables[r];
        const std::uint32_t d = 16u * b * kWords + 16u * slot;
        for (std::uint32_t w = 0; w < 16; ++w) m.put(d + w, 0);
        m.put(d, v.identifier);
        if (v.produced) {
            m.put(d + 1, v.refreshment ? 9 : 1);
            m.put(d + 2, static_cast<std::uint16_t>(16 * r));
            m.put(d + 6, units(v.refreshmentMs, timing));
        } else {
            m.put(d + 1, 2);
            m.put(d + 3, static_cast<std::uint16_t>(16 * r));
        }
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        const ImageVariable& v = layout.variables[i];
        const std::uint32_t d = 16u * h1 * kWords + 16u * i;
        for (std::uint32_t w = 0; w < 16; ++w) m.put(d + w, 0);
        std::uint16_t frame = static_cast<std::uint16_t>(v.pduType << 8);
        if (v.produced) {
            m.put(d, static_cast<std::uint16_t>(0x100 + v.length));
            frame |= static_cast<std::uint16_t>(v.length + (v.refreshment ? 1 : 0));
        } else {
            m.put(d, static_cast<std::uint16_t>((v.promptness ? 0xA00 : 0x200) + v.length));
            if (v.promptness) m.put(d + 10, units(v.promptnessMs, timing));
            frame |= static_cast<std::uint16_t>(v.length + 2 + (v.refreshment ? 1 : 0));
        }
        m.put(d + 9, frame);
        m.put(d + 14, v.identifier);
        m.put(d + 3, static_cast<std::uint16_t>(h11 + i + 4));
        m.put(d + 1, i);
    }
    for (std::size_t w = 0; w < layout.program.size(); ++w) m.put(static_cast<std::uint32_t>(160 * kWords + w), layout.program[w]);
}

void startCircuit(CardModel& card) { card.command(cmd::kStartCircuit, 0x0600, false); }
void startBa(CardModel& card) { card.command(cmd::kStartBa, 0, false); }
void stopBa(CardModel& card) { card.command(cmd::kStopBa, 0, false); }

void writeVar(CardModel& card, std::uint16_t index, const std::vector<std::uint8_t>& value) {
    const CardAnswer answer = card.command(cmd::kWriteVar, index, false);
    card.finishWrite(cmd::kWriteVar, index, value, answer.status);
}

ReadVar readVar(CardModel& card, std::uint16_t index) {
    const CardAnswer answer = card.command(cmd::kReadVar, index, false);
    return {answer.status, answer.readBytes};
}

void sendMessage(CardModel& card, std::uint16_t key, std::uint16_t destination, std::uint16_t source,
                 const std::vector<std::uint8_t>& data, bool acknowledged) {
    card.command(cmd::kWriteMsg, key, false);
    card.finishWrite(cmd::kWriteMsg, key, data, 0);
    const std::uint8_t command = acknowledged ? cmd::kSendMsgAcknowledged : cmd::kSendMsg;
    const std::vector<std::uint8_t> request = {0x01, 0, static_cast<std::uint8_t>(destination >> 8), static_cast<std::uint8_t>(destination), 0,
                                               static_cast<std::uint8_t>(source >> 8), static_cast<std::uint8_t>(source), 0, 0x21, 0x90};
    card.command(command, key, false);
    card.finishWrite(command, key, request, 0);
}

std::vector<CardEvent> drainEvents(CardModel& card) {
    std::vector<CardEvent> events;
    for (CardAnswer a = card.command(cmd::kReadEvt, 0, false); a.status == 0; a = card.command(cmd::kReadEvt, 0, false))
        events.push_back(CardEvent{a.readBytes[0], a.readBytes[1], static_cast<std::uint16_t>(a.readBytes[2] << 8 | a.readBytes[3])});
    return events;
}

}  // namespace sim::testing
