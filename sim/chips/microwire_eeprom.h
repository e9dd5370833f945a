// A serial Microwire EEPROM of 16-bit words (the PCI bridge's configuration memory), driven pin by
// pin: chip select, clock, data in; data out is sampled by the reader.
//
// Instructions (clocked in on rising clock edges while chip select is high, after a start bit 1):
// READ 10 + address (a dummy 0, then the words most significant bit first, continuing with the
// next addresses for as long as the clock runs), WRITE 01 + address + 16 data bits (programmed
// when chip select falls, only while writes are enabled), ERASE 11 + address, and the 00 group
// chosen by the first two address bits: 11 write enable, 00 write disable. A write enable is taken
// as soon as its first two address bits arrive, whatever the address width.
// After a write, data out reads 0 (busy) for a few samples with chip select high, then 1 (ready).
// Not thread-safe: the bridge that owns it serialises the accesses.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

class MicrowireEeprom {
public:
    static constexpr std::uint32_t kProgrammingSamples = 2;

    // addressBits: 6 (64 words) or 8 (256 words); `words` is padded with 0xFFFF (erased).
    MicrowireEeprom(unsigned addressBits, std::vector<std::uint16_t> words);

    void drive(bool chipSelect, bool clock, bool dataIn);
    bool dataOut();  // one sample of the data-out pin (counts down the programming time)

    unsigned addressBits() const { return addressBits_; }
    const std::vector<std::uint16_t>& words() const { return words_; }
    bool writeEnabled() const { return writeEnabled_; }

private:
    enum class Phase { Idle, Opcode, Address, ReadData, WriteData, Ignore };

    void risingEdge(bool dataIn);
    void commandComplete();
    void endOfCommand();

    unsigned addressBits_;
    std::vector<std::uint16_t> words_;
    bool chipSelect_ = false;
    bool clock_ = false;
    bool writeEnabled_ = false;
    Phase phase_ = Phase::Idle;
    std::uint32_t opcode_ = 0;
    std::uint32_t address_ = 0;
    std::uint32_t shift_ = 0;
    unsigned bits_ = 0;
    bool out_ = true;
    bool writePending_ = false;
    std::uint32_t busySamples_ = 0;
};

}  // namespace sim
