// One FULLFIP2 transaction, the steps every command handler is built from.
//
// The controller holds one transaction open from the command byte until CLOSE; one left open makes
// every later command fail as busy. A Transaction that goes out of scope still open therefore
// writes CLOSE, so every failure after the command byte closes it without further ado.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "register_accessor.h"
#include "wait_ustate.h"

namespace fullfip2 {

// A handler's result: the NT status and the number of output bytes (0 on every failure).
struct Completion {
    NtStatus status;
    std::uint32_t information;
    friend bool operator==(const Completion&, const Completion&) = default;
};

inline Completion failed(NtStatus status) { return {status, 0}; }

// 16-bit input values lie least significant byte first.
inline std::uint16_t u16At(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

class Transaction {
public:
    explicit Transaction(RegisterAccessor& board) : board_(board) {}
    ~Transaction() {
        if (open_) board_.writeFullfip(reg::kUcom, kClose);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    std::uint8_t ustate() { return board_.readFullfip(reg::kUcom); }
    bool busy() { return (ustate() & kBusy) != 0; }

    // The key's high byte goes to register 2, then its low byte to register 3.
    void key(std::uint16_t key) {
        board_.writeFullfip(reg::kKeyHigh, static_cast<std::uint8_t>(key >> 8));
        board_.writeFullfip(reg::kKeyLow, static_cast<std::uint8_t>(key & 0xFF));
    }
    void write(std::uint8_t reg, std::uint8_t value) { board_.writeFullfip(reg, value); }

    void command(std::uint8_t commandByte) {
        board_.writeFullfip(reg::kUcom, commandByte);
        open_ = true;
    }

    NtStatus waitAnswer() { return WaitUstate(board_, kAnswerReady, WaitMode::Set); }
    NtStatus waitData() { return WaitUstate(board_, kDataReady, WaitMode::Set); }

    std::uint8_t status() { return board_.readFullfip(reg::kStatus); }
    std::uint8_t varSize() { return board_.readFullfip(reg::kVarSize); }

    // Data bytes through the FIFO, each after a wait for "data byte ready".
    NtStatus readData(std::uint8_t* to, std::size_t count);
    NtStatus writeData(const std::uint8_t* from, std::size_t count);
    NtStatus writeZeros(std::size_t count);
    NtStatus drain(std::size_t count);

    // Writes CLOSE and waits until the controller is no longer busy.
    NtStatus close() {
        board_.writeFullfip(reg::kUcom, kClose);
        open_ = false;
        return WaitUstate(board_, kBusy, WaitMode::Clear);
    }

    // Ends a command with `information` output bytes once CLOSE has been written and the
    // controller is idle again (a time-out of that last wait is the command's result).
    Completion finish(std::uint32_t information) {
        const NtStatus status = close();
        return status == nt::kSuccess ? Completion{nt::kSuccess, information} : failed(status);
    }

    // Step "status": the status byte goes to output byte 0; a card refusal (bit 7) ends the
    // command successfully with that one byte.
    std::optional<Completion> takeStatus(std::uint8_t* output) {
        output[0] = status();
        if ((output[0] & kCardRefused) != 0) return finish(1);
        return std::nullopt;
    }

private:
    RegisterAccessor& board_;
    bool open_ = false;
};

}  // namespace fullfip2
