// Drives a FULLFIP2 register by register, the way a driver's command layer does, so that the tests
// read as transactions: key, command byte, answer wait, status, VAR_SIZE, data bytes, CLOSE.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/card/card_model.h"
#include "sim/chips/fullfip2.h"

namespace sim::testing {

struct Outcome {
    bool answered = false;  // the answer (and, for data phases, each data byte) came in time
    std::uint8_t status = 0;
    std::uint8_t size = 0;
    std::vector<std::uint8_t> data;
};

class RegisterScript {
public:
    static constexpr int kPolls = 64;

    explicit RegisterScript(Fullfip2& chip) : chip_(chip) {}

    bool waitSet(std::uint8_t mask) {
        for (int i = 0; i < kPolls; ++i)
            if ((chip_.read(0) & mask) == mask) return true;
        return false;
    }
    bool waitClear(std::uint8_t mask) {
        for (int i = 0; i < kPolls; ++i)
            if ((chip_.read(0) & mask) == 0) return true;
        return false;
    }
    void key(std::uint16_t key) {
        chip_.write(2, static_cast<std::uint8_t>(key >> 8));
        chip_.write(3, static_cast<std::uint8_t>(key));
    }
    void close() { chip_.write(0, 0); }

    // A reading command: answer, status, VAR_SIZE, VAR_SIZE bytes (none after a refusal), CLOSE.
    Outcome read(std::uint8_t command, std::optional<std::uint16_t> key = std::nullopt) {
        Outcome out;
        if (key) this->key(*key);
        chip_.write(0, command);
        out.answered = waitSet(0x90);
        if (out.answered) {
            out.status = chip_.read(2);
            out.size = chip_.read(3);
            if (!(out.status & 0x80))
                for (std::uint8_t i = 0; i < out.size && out.answered; ++i) {
                    out.answered = waitSet(0x98);
                    if (out.answered) out.data.push_back(chip_.read(7));
                }
        }
        close();
        waitClear(0x80);
        return out;
    }

    // A writing command: answer, status, VAR_SIZE, the bytes (unless refused), status again, CLOSE.
    Outcome write(std::uint8_t command, std::optional<std::uint16_t> key, const std::vector<std::uint8_t>& bytes) {
        Outcome out;
        if (key) this->key(*key);
        chip_.write(0, command);
        out.answered = waitSet(0x90);
        if (out.answered) {
            out.status = chip_.read(2);
            out.size = chip_.read(3);
            if (!(out.status & 0x80))
                for (std::uint8_t b : bytes) {
                    out.answered = waitSet(0x98);
                    if (!out.answered) break;
                    chip_.write(7, b);
                }
            out.status = chip_.read(2);
        }
        close();
        waitClear(0x80);
        return out;
    }

private:
    Fullfip2& chip_;
};

// Writes the parts of an engine memory image that give the card its variables: header page 128
// (word 1: buffer descriptors at page 16 x 20 = 320; word 3: the table size) and one buffer
// descriptor per variable (word 0: 0x100 + length produced, 0x200 + length consumed).
inline void installVariables(CardModel& card, const std::vector<std::pair<bool, std::uint8_t>>& producedAndLength) {
    Page header{};
    header[2] = 0;
    header[3] = 20;
    header[7] = static_cast<std::uint8_t>(producedAndLength.size());
    card.setPage(128, header);
    for (std::size_t i = 0; i < producedAndLength.size(); ++i) {
        const std::uint32_t page = 320 + static_cast<std::uint32_t>(i / 4);
        Page descriptors = card.page(page);
        const std::size_t at = (i % 4) * 32;
        descriptors[at] = producedAndLength[i].first ? 0x01 : 0x02;
        descriptors[at + 1] = producedAndLength[i].second;
        card.setPage(page, descriptors);
    }
}

}  // namespace sim::testing
