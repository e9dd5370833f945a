#include "sim/boards/pc104_board.h"

namespace sim {

class Pc104Board::Ports final : public qk::hw::PortRange {
public:
    explicit Ports(Pc104Board& board) : board_(board) {}
    std::uint32_t length() const override { return pc104::kPorts; }
    std::uint8_t read8(std::uint32_t offset) override { return board_.readPort(offset); }
    void write8(std::uint32_t offset, std::uint8_t value) override { board_.writePort(offset, value); }

private:
    Pc104Board& board_;
};

Pc104Board::Pc104Board(Pc104BoardConfig config)
    : config_(std::move(config)),
      controller_(card_, trace_),
      medium_(config_.dualMedium, trace_),
      ports_(std::make_shared<Ports>(*this)) {}

Pc104Board::~Pc104Board() { detach(); }

qk::pnp::BoardDescription Pc104Board::description() const {
    qk::pnp::BoardDescription board;
    board.service = "osprix";
    board.ports = {{config_.basePort, pc104::kPorts}};
    return board;
}

void Pc104Board::attach() {
    if (attached_) return;
    qk::hw::attachPorts(config_.basePort, ports_);
    attached_ = true;
}

void Pc104Board::detach() {
    if (!attached_) return;
    qk::hw::detachPorts(config_.basePort);
    attached_ = false;
}

std::uint8_t Pc104Board::readPort(std::uint32_t offset) {
    if (offset < Fullfip2::kRegisters) return controller_.read(offset);
    if (offset < pc104::kFielddual + Fielddual::kRegisters) return medium_.read(offset - pc104::kFielddual);
    std::lock_guard lock(mutex_);
    std::uint8_t value = 0xFF;
    if (offset >= pc104::kSerialNumber && offset < pc104::kConfigurationWord)
        value = readWindow(offset - pc104::kSerialNumber, config_.serialNumber, serialNext_);
    else if (offset >= pc104::kConfigurationWord && offset < pc104::kControl)
        value = readWindow(offset - pc104::kConfigurationWord, config_.configurationWord, wordNext_);
    else if (offset == pc104::kControl)
        value = control_;
    trace_.record(Unit::BoardPorts, false, offset, value);
    return value;
}

std::uint8_t Pc104Board::readWindow(std::uint32_t offset, std::uint32_t word, std::uint32_t& next) {
    if (offset == 0) {
        next = 0;
        return 0;
    }
    if (next >= 4) return 0xFF;
    return static_cast<std::uint8_t>(word >> (8 * (3 - next++)));
}

void Pc104Board::writePort(std::uint32_t offset, std::uint8_t value) {
    if (offset < Fullfip2::kRegisters) return controller_.write(offset, value);
    if (offset < pc104::kFielddual + Fielddual::kRegisters) return medium_.write(offset - pc104::kFielddual, value);
    bool reset = false;
    {
        std::lock_guard lock(mutex_);
        trace_.record(Unit::BoardPorts, true, offset, value);
        if (offset != pc104::kControl) return;
        reset = (value & pc104::kReset) != 0;
        control_ = static_cast<std::uint8_t>(value & ~pc104::kReset);
        if (reset) ++resets_;
    }
    if (reset) controller_.reset();
}

std::uint8_t Pc104Board::leds() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint8_t>((control_ & pc104::kLeds) >> 4);
}

std::uint8_t Pc104Board::controlRegister() const {
    std::lock_guard lock(mutex_);
    return control_;
}

std::uint32_t Pc104Board::resetPulses() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

}  // namespace sim
