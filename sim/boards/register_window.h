// A memory range over a chip of byte registers, register n at byte offset Stride x n (the PCI
// board's FULLFIP2 and FIELDUAL ranges). Offsets between registers read 0 and ignore writes; a
// 32-bit access at a register's offset is one access of that register (its low byte), so that a
// FIFO is not read four times. The chip is called directly: every access of a board's registers
// passes here.
#pragma once

#include <cstdint>

#include "kernel/hardware.h"

namespace sim {

// Chip: std::uint8_t read(std::uint32_t reg) and void write(std::uint32_t reg, std::uint8_t value).
template <typename Chip, std::uint32_t Stride>
class RegisterWindow final : public qk::hw::MemoryRange {
public:
    RegisterWindow(std::uint32_t registers, Chip& chip) : registers_(registers), chip_(chip) {}

    std::uint32_t length() const override { return registers_ * Stride; }
    std::uint8_t read8(std::uint32_t offset) override {
        return isRegister(offset) ? chip_.read(offset / Stride) : 0;
    }
    void write8(std::uint32_t offset, std::uint8_t value) override {
        if (isRegister(offset)) chip_.write(offset / Stride, value);
    }
    std::uint32_t read32(std::uint32_t offset) override { return read8(offset); }
    void write32(std::uint32_t offset, std::uint32_t value) override {
        write8(offset, static_cast<std::uint8_t>(value));
    }

private:
    bool isRegister(std::uint32_t offset) const { return offset % Stride == 0 && offset / Stride < registers_; }

    std::uint32_t registers_;
    Chip& chip_;
};

}  // namespace sim
