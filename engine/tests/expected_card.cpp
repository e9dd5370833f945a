#include "expected_card.h"

#include <gtest/gtest.h>

#include "sim/machine/code_image.h"

namespace corvix::testing {

Words wordsOf(const sim::Page& page) {
    Words words{};
    for (int i = 0; i < kWordsPerPage; ++i) words[i] = static_cast<std::uint16_t>(page[2 * i] << 8 | page[2 * i + 1]);
    return words;
}

Words powerOnWords(std::uint32_t page) {
    sim::Page bytes{};
    for (std::uint32_t i = 0; i < sim::kPageBytes; ++i) bytes[i] = sim::powerOnByte(page, i);
    return wordsOf(bytes);
}

Words codeImageWords(std::uint32_t page) {
    const auto bytes = sim::codeImagePage(static_cast<std::uint16_t>(page));
    sim::Page p{};
    std::copy(bytes.begin(), bytes.end(), p.begin());
    return wordsOf(p);
}

Words& ExpectedCard::writable(std::uint32_t page) { return pages_.try_emplace(page, Words{}).first->second; }

ExpectedCard& ExpectedCard::page(std::uint32_t page, std::initializer_list<std::pair<int, std::uint16_t>> words) {
    Words& w = writable(page);
    for (const auto& [index, value] : words) w.at(static_cast<std::size_t>(index)) = value;
    return *this;
}

ExpectedCard& ExpectedCard::pageWords(std::uint32_t page, std::initializer_list<std::uint16_t> words) {
    Words& w = writable(page);
    std::size_t i = 0;
    for (const std::uint16_t value : words) w.at(i++) = value;
    return *this;
}

ExpectedCard& ExpectedCard::zeroPages(std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t p = first; p <= last; ++p) writable(p);
    return *this;
}

ExpectedCard& ExpectedCard::descriptor(std::uint32_t firstPage, std::uint32_t entry, const Descriptor& d) {
    Words& w = writable(firstPage + entry / 4);
    std::copy(d.begin(), d.end(), w.begin() + 16 * (entry % 4));
    return *this;
}

ExpectedCard& ExpectedCard::noCodeImage() {
    codeImage_ = false;
    return *this;
}

ExpectedCard& ExpectedCard::codeImageUpTo(std::uint32_t last) {
    for (std::uint32_t p = 0; p <= last; ++p) pages_[p] = codeImageWords(p);
    codeImage_ = false;
    return *this;
}

Words ExpectedCard::at(std::uint32_t page) const {
    if (const auto found = pages_.find(page); found != pages_.end()) return found->second;
    if (codeImage_ && page < sim::kCodeImagePages) return codeImageWords(page);
    if (page < kClearedPages) return Words{};
    return powerOnWords(page);
}

void ExpectedCard::expectOn(const sim::CardModel& card) const {
    constexpr int kReported = 8;
    int reported = 0;
    for (std::uint32_t p = 0; p < sim::kCardPages && reported < kReported; ++p) {
        const Words expected = at(p), seen = wordsOf(card.page(p));
        for (int w = 0; w < kWordsPerPage; ++w) {
            if (expected[w] == seen[w]) continue;
            ADD_FAILURE() << "page " << p << " word " << w << ": 0x" << std::hex << seen[w] << ", expected 0x"
                          << expected[w];
            ++reported;
            break;
        }
    }
}

}  // namespace corvix::testing
