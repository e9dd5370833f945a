// A scripted FULLFIP2 + FIELDUAL behind the register accessor: USTATE follows the transaction
// (idle until a command byte, `openState` until CLOSE), the status, VAR_SIZE and FIFO bytes come
// from the script, and every access is logged.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "register_accessor.h"

namespace fullfip2::testing {

struct Access {
    bool write;
    bool fieldual;
    std::uint8_t reg;
    std::uint8_t value;
    friend bool operator==(const Access&, const Access&) = default;
};

class FakeController final : public RegisterAccessor {
public:
    std::uint8_t idleState = 0x00;
    std::uint8_t openState = 0x98;  // answer and data ready, data request bit set
    std::optional<std::uint8_t> idleAfterClose;  // the idle USTATE once CLOSE has been written
    std::uint8_t status = 0x00;
    std::uint8_t varSize = 0;
    std::deque<std::uint8_t> fifoOut;  // bytes the controller gives
    std::vector<std::uint8_t> fifoIn;  // bytes the controller took
    std::uint8_t fieldual[4] = {0x33, 0, 0, 0};
    std::vector<Access> log;

    std::uint8_t readFullfip(std::uint8_t reg) override {
        std::uint8_t value = 0;
        switch (reg) {
        case 0: value = open_ ? openState : idleState; break;
        case 2: value = status; break;
        case 3: value = varSize; break;
        case 7:
            if (!fifoOut.empty()) {
                value = fifoOut.front();
                fifoOut.pop_front();
            }
            break;
        default: break;
        }
        if (reg != 0) log.push_back({false, false, reg, value});  // USTATE polls are not logged
        return value;
    }
    void writeFullfip(std::uint8_t reg, std::uint8_t value) override {
        log.push_back({true, false, reg, value});
        if (reg == 0) open_ = value != 0;
        if (reg == 0 && value == 0 && idleAfterClose) idleState = *idleAfterClose;
        if (reg == 7) fifoIn.push_back(value);
    }
    std::uint8_t readFieldual(std::uint8_t reg) override {
        log.push_back({false, true, reg, fieldual[reg & 3]});
        return fieldual[reg & 3];
    }
    void writeFieldual(std::uint8_t reg, std::uint8_t value) override {
        log.push_back({true, true, reg, value});
        fieldual[reg & 3] = value;
    }

    bool transactionOpen() const { return open_; }
    std::vector<std::uint8_t> commands() const {  // UCOM writes, CLOSE included
        std::vector<std::uint8_t> result;
        for (const Access& a : log)
            if (a.write && !a.fieldual && a.reg == 0) result.push_back(a.value);
        return result;
    }
    std::size_t writes() const {
        std::size_t n = 0;
        for (const Access& a : log) n += a.write ? 1 : 0;
        return n;
    }

private:
    bool open_ = false;
};

}  // namespace fullfip2::testing
