#include "sim/segment/bus_arbitrator.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>

namespace sim {
namespace {

constexpr std::uint16_t kIdDat = 0x7030;
constexpr std::uint16_t kIdMsg = 0x1050;

enum Op : std::uint8_t {
    kNextMacro1 = 1,
    kNextMacro2 = 2,
    kSendMsg = 4,
    kSendAper = 5,
    kWaitOp = 6,
    kSuspend = 7,
};

struct MacroName {
    std::string_view name;
    std::uint16_t op;  // low nibble, or the first word of a three-word macro
};
constexpr std::array<MacroName, 8> kMacros = {{
    {"ID_DAT", kIdDat},
    {"ID_MSG", kIdMsg},
    {"SEND_MSG", kSendMsg},
    {"SEND_APER", kSendAper},
    {"NEXT_MACRO_1", kNextMacro1},
    {"NEXT_MACRO_2", kNextMacro2},
    {"WAIT", kWaitOp},
    {"SUSPEND", kSuspend},
}};

}  // namespace

BusArbitrator::BusArbitrator(std::vector<std::uint16_t> memory, std::uint16_t start, BusTiming timing)
    : memory_(std::move(memory)), start_(start), pc_(start), timing_(timing) {
    memory_.resize(kCardWords, 0);
}

void BusArbitrator::resume(std::uint16_t word) {
    if (state_ != ba::kPending) return;
    if ((word & 0xFFF0) != 0) pc_ = word & 0xFFF0;
    state_ = ba::kSending;
}

void BusArbitrator::endMacrocycle(std::optional<std::uint16_t> jump, Nanoseconds now) {
    ++macrocycles_;
    if (pendingStart_ != 0)
        start_ = std::exchange(pendingStart_, 0);
    else if (jump)
        start_ = *jump;
    pc_ = start_;
    cycleStart_ = now;
}

Nanoseconds BusArbitrator::step(ArbitratedBus& bus, Nanoseconds now) {
    if (state_ == ba::kPending) return 0;
    if (!started_) {
        started_ = true;
        cycleStart_ = now;
    }
    // Time left until the date of a window or WAIT word.
    const auto room = [&](std::uint16_t word) -> Nanoseconds {
        const Nanoseconds deadline = cycleStart_ + Nanoseconds{static_cast<std::uint16_t>(word >> 4)} * timing_.baUnit;
        return deadline > now ? deadline - now : 0;
    };

    const std::uint16_t word = fetch();
    Nanoseconds used = 0;
    if (word == kIdDat) {
        const std::uint16_t identifier = fetch();
        fetch();  // slot address
        state_ = ba::kSending;
        used = bus.scanVariable(identifier);
    } else if (word == kIdMsg) {
        const std::uint16_t identifier = fetch();
        fetch();
        state_ = ba::kSending;
        used = bus.scanMessage(identifier);
    } else {
        switch (word & 0xF) {
        case kSendMsg:
            state_ = ba::kMessageWindow;
            used = bus.serveMessages(room(word));
            break;
        case kSendAper:
            state_ = ba::kAperiodicWindow;
            used = bus.serveAperiodic(room(word));
            break;
        case kWaitOp:
            state_ = ba::kWait;
            used = room(word);
            cycleStart_ = now + used;
            break;
        case kSuspend:
            state_ = ba::kPending;
            bus.suspended(static_cast<std::uint16_t>(word >> 4), static_cast<std::uint16_t>((pc_ - 1) & ~15u));
            pc_ = (pc_ + 15) & ~15u;  // the assembler pads the rest of the 16-word block
            return timing_.bit;
        case kNextMacro1:
            endMacrocycle(static_cast<std::uint16_t>(word & 0xFFF0), now);
            break;
        case kNextMacro2:
            endMacrocycle(std::nullopt, now);
            break;
        default:
            break;  // padding
        }
    }
    return std::max(used, timing_.bit);
}

std::vector<std::uint16_t> programWords(const std::vector<std::string>& lines) {
    std::vector<std::uint16_t> words;
    std::uint16_t last = 0;
    for (const std::string& line : lines) {
        const std::size_t open = line.find('(');
        const std::size_t close = line.find(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        const std::string_view name(line.data(), open);
        const auto macro = std::find_if(kMacros.begin(), kMacros.end(), [&](const MacroName& m) { return m.name == name; });
        std::uint32_t argument = 0;
        const auto parsed = std::from_chars(line.data() + open + 1, line.data() + close, argument, 16);
        if (macro == kMacros.end() || parsed.ec != std::errc{} || argument > 0xFFFF) continue;
        if (macro->op == kNextMacro2) {
            words.push_back(static_cast<std::uint16_t>(16 * last + kNextMacro2));
            continue;
        }
        last = static_cast<std::uint16_t>(argument);
        if (macro->op == kIdDat || macro->op == kIdMsg) {
            words.insert(words.end(), {macro->op, last, 0});
        } else {
            words.push_back(static_cast<std::uint16_t>(16 * argument + macro->op));
            if (macro->op == kSuspend) words.resize((words.size() + 15) & ~std::size_t{15}, 0);
        }
    }
    words.push_back(static_cast<std::uint16_t>(16 * last + kNextMacro2));
    return words;
}

}  // namespace sim
