#include "sim/segment/card_configuration.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace sim {
namespace {

constexpr std::uint32_t kHeaderPage = 128;
constexpr std::uint32_t kWordsPerPage = kPageBytes / 2;
constexpr std::uint32_t kDescriptorWords = 16;
constexpr std::uint32_t kMaxTable = 4096;
constexpr std::uint16_t kHeaderMark12 = 3;
constexpr std::uint16_t kHeaderMark33 = 2;

// Reads big-endian words of card memory, one page copy at a time.
class WordReader {
public:
    explicit WordReader(const CardModel& card) : card_(card) {}
    std::optional<std::uint16_t> word(std::uint32_t address) {
        const std::uint32_t page = address / kWordsPerPage;
        if (page >= kCardPages) return std::nullopt;
        if (page != cachedPage_) {
            cached_ = card_.page(page);
            cachedPage_ = page;
        }
        const std::uint32_t i = (address % kWordsPerPage) * 2;
        return static_cast<std::uint16_t>(cached_[i] << 8 | cached_[i + 1]);
    }

private:
    const CardModel& card_;
    Page cached_{};
    std::uint32_t cachedPage_ = kCardPages;
};

BitRate bitRateOfCode(std::uint16_t code) {
    switch (code) {
    case 3: return BitRate::k31k25;
    case 1: return BitRate::k1M;
    default: return BitRate::k2M5;
    }
}

auto lookupKey(const CardVariable& v) { return std::pair{v.identifier, v.kind}; }

}  // namespace

const CardVariable* CardConfiguration::find(std::uint16_t identifier, VariableKind kind) const {
    const auto key = std::pair{identifier, kind};
    const auto found = std::lower_bound(byIdentifier.begin(), byIdentifier.end(), key,
                                        [&](std::uint16_t at, const auto& k) { return lookupKey(variables[at]) < k; });
    return found != byIdentifier.end() && lookupKey(variables[*found]) == key ? &variables[*found] : nullptr;
}

const CardVariable* CardConfiguration::at(std::uint16_t index) const {
    const auto found = std::lower_bound(variables.begin(), variables.end(), index,
                                        [](const CardVariable& v, std::uint16_t i) { return v.index < i; });
    return found != variables.end() && found->index == index ? &*found : nullptr;
}

std::optional<CardConfiguration> readCardConfiguration(const CardModel& card) {
    WordReader memory(card);
    const Page header = card.page(kHeaderPage);
    const auto h = [&](std::uint32_t i) { return static_cast<std::uint16_t>(header[2 * i] << 8 | header[2 * i + 1]); };
    if (h(12) != kHeaderMark12 || h(33) != kHeaderMark33) return std::nullopt;
    const std::uint32_t tableSize = h(3);
    if (tableSize >= kMaxTable) return std::nullopt;

    CardConfiguration c;
    const std::uint16_t timingWord = h(16);
    c.settings.bitRate = bitRateOfCode(timingWord & 3);
    c.settings.turnaroundCount = static_cast<std::uint8_t>((timingWord & 0xFC) >> 2);
    c.settings.silenceCount = static_cast<std::uint8_t>((timingWord >> 8) & 0x3F);
    c.settings.slotIndex = static_cast<std::uint8_t>(timingWord >> 14);
    c.settings.clockMultiplier = (h(20) & 1) != 0;
    c.settings.worldFipFrames = (h(20) & 6) == 6;
    c.timing = busTiming(c.settings);
    c.baMemory = h(2) == 1;
    c.programWord = h(13);
    c.baEndPage = h(9);

    const std::uint32_t variableBase = 16u * (h(0) & 0x3FF) * kWordsPerPage;
    const std::uint32_t bufferBase = 16u * h(1) * kWordsPerPage;
    std::map<std::uint16_t, CardVariable> byIndex;
    for (std::uint32_t slot = 0; slot < tableSize; ++slot) {
        const std::uint32_t v = variableBase + slot * kDescriptorWords;
        const auto identifier = memory.word(v), kindWord = memory.word(v + 1), producedIndex = memory.word(v + 2),
                   consumedIndex = memory.word(v + 3), refreshPeriod = memory.word(v + 6);
        if (!refreshPeriod) return std::nullopt;  // descriptors outside card memory
        CardVariable var;
        var.identifier = *identifier;
        switch (*kindWord & 3) {
        case 1: var.kind = VariableKind::Produced; var.index = *producedIndex / 16; break;
        case 2: var.kind = VariableKind::Consumed; var.index = *consumedIndex / 16; break;
        default: continue;
        }
        if (byIndex.contains(var.index)) continue;
        const std::uint32_t b = bufferBase + var.index * kDescriptorWords;
        const auto bufferKind = memory.word(b), frame = memory.word(b + 9), promptPeriod = memory.word(b + 10);
        if (!promptPeriod) return std::nullopt;
        var.length = static_cast<std::uint8_t>(*bufferKind & 0xFF);
        if (var.length == 0 || var.length > 128) continue;
        var.pduType = static_cast<std::uint8_t>(*frame >> 8);
        var.messaging = (*kindWord & 0x200) != 0;
        if (var.kind == VariableKind::Produced) {
            var.refreshment = (*kindWord & 8) != 0;
            var.refreshmentPeriod = Nanoseconds{*refreshPeriod} * c.timing.baUnit;
        } else {
            var.refreshment = (*frame & 0xFF) == var.length + 3;
            var.promptness = (*bufferKind >> 8) == 0xA;
            var.promptnessPeriod = Nanoseconds{*promptPeriod} * c.timing.baUnit;
        }
        byIndex.emplace(var.index, var);
    }
    for (auto& [index, var] : byIndex) c.variables.push_back(var);
    c.byIdentifier.resize(c.variables.size());
    std::iota(c.byIdentifier.begin(), c.byIdentifier.end(), std::uint16_t{0});
    std::stable_sort(c.byIdentifier.begin(), c.byIdentifier.end(), [&](std::uint16_t a, std::uint16_t b) {
        return lookupKey(c.variables[a]) < lookupKey(c.variables[b]);
    });
    return c;
}

}  // namespace sim
