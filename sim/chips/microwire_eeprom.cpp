#include "sim/chips/microwire_eeprom.h"

namespace sim {
namespace {
constexpr std::uint32_t kRead = 0b10;
constexpr std::uint32_t kWrite = 0b01;
constexpr std::uint32_t kErase = 0b11;
constexpr std::uint32_t kGroup = 0b00;
constexpr std::uint32_t kEnable = 0b11;
constexpr std::uint32_t kDisable = 0b00;
}  // namespace

MicrowireEeprom::MicrowireEeprom(unsigned addressBits, std::vector<std::uint16_t> words)
    : addressBits_(addressBits == 6 ? 6 : 8), words_(std::move(words)) {
    words_.resize(std::size_t{1} << addressBits_, 0xFFFF);
}

void MicrowireEeprom::drive(bool chipSelect, bool clock, bool dataIn) {
    if (chipSelect_ && !chipSelect) endOfCommand();
    if (!chipSelect_ && chipSelect) {
        phase_ = Phase::Idle;
        out_ = true;
    }
    chipSelect_ = chipSelect;
    if (chipSelect && clock && !clock_) risingEdge(dataIn);
    clock_ = clock;
}

bool MicrowireEeprom::dataOut() {
    if (!chipSelect_) return true;  // released line, pulled up
    if (phase_ == Phase::Idle && busySamples_ > 0) {
        --busySamples_;
        return false;
    }
    return out_;
}

void MicrowireEeprom::risingEdge(bool dataIn) {
    const std::uint32_t bit = dataIn ? 1 : 0;
    switch (phase_) {
    case Phase::Idle:
        if (bit) {
            phase_ = Phase::Opcode;
            opcode_ = 0;
            bits_ = 0;
        }
        break;
    case Phase::Opcode:
        opcode_ = (opcode_ << 1) | bit;
        if (++bits_ == 2) {
            phase_ = Phase::Address;
            address_ = 0;
            bits_ = 0;
        }
        break;
    case Phase::Address:
        address_ = (address_ << 1) | bit;
        ++bits_;
        if (opcode_ == kGroup && bits_ == 2) {
            if (address_ == kEnable) writeEnabled_ = true;
            if (address_ == kDisable) writeEnabled_ = false;
            phase_ = Phase::Ignore;
        } else if (bits_ == addressBits_) {
            commandComplete();
        }
        break;
    case Phase::ReadData:
        out_ = (shift_ >> 15) & 1;
        shift_ = (shift_ << 1) & 0xFFFF;
        if (++bits_ == 16) {
            address_ = (address_ + 1) % words_.size();
            shift_ = words_[address_];
            bits_ = 0;
        }
        break;
    case Phase::WriteData:
        shift_ = ((shift_ << 1) | bit) & 0xFFFF;
        if (++bits_ == 16) {
            writePending_ = true;
            phase_ = Phase::Ignore;
        }
        break;
    case Phase::Ignore: break;
    }
}

void MicrowireEeprom::commandComplete() {
    bits_ = 0;
    switch (opcode_) {
    case kRead:
        phase_ = Phase::ReadData;
        shift_ = words_[address_];
        out_ = false;  // the dummy bit
        break;
    case kWrite:
        phase_ = Phase::WriteData;
        shift_ = 0;
        break;
    case kErase:
        shift_ = 0xFFFF;
        writePending_ = true;
        phase_ = Phase::Ignore;
        break;
    default: phase_ = Phase::Ignore; break;
    }
}

void MicrowireEeprom::endOfCommand() {
    if (writePending_ && writeEnabled_) {
        words_[address_] = static_cast<std::uint16_t>(shift_);
        busySamples_ = kProgrammingSamples;
    }
    writePending_ = false;
    phase_ = Phase::Idle;
    out_ = true;
}

}  // namespace sim
