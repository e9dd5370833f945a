// Card memory as a test expects it after a download, compared page by page with a simulated card.
//
// Pages are given word by word (the card stores each word most significant byte first). Every page
// that the expectation does not give is expected as the download leaves a page it does not write:
// the machine's installed code image below its end, zero up to the 1024 pages that clearing card
// memory zeroes, and the power-on pattern above.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <utility>

#include "sim/card/card_model.h"

namespace corvix::testing {

inline constexpr int kWordsPerPage = 64;
inline constexpr int kClearedPages = 1024;  // what IOCTL_FDB_FIP_RAZ_MEM zeroes

using Words = std::array<std::uint16_t, kWordsPerPage>;
using Descriptor = std::array<std::uint16_t, 16>;

Words wordsOf(const sim::Page& page);
Words powerOnWords(std::uint32_t page);
Words codeImageWords(std::uint32_t page);

class ExpectedCard {
public:
    // Page `page` holds these words, zero elsewhere.
    ExpectedCard& page(std::uint32_t page, std::initializer_list<std::pair<int, std::uint16_t>> words = {});
    // Page `page` holds these words from word 0, zero after them.
    ExpectedCard& pageWords(std::uint32_t page, std::initializer_list<std::uint16_t> words);
    // Pages first..last hold zero (written so, or cleared).
    ExpectedCard& zeroPages(std::uint32_t first, std::uint32_t last);
    // Entry `entry` of the table of 16-word descriptors that starts at page `firstPage`; the other
    // words of the pages such entries fall in are zero unless given.
    ExpectedCard& descriptor(std::uint32_t firstPage, std::uint32_t entry, const Descriptor& d);
    // The code image pages are zero: the download stopped before or while writing them.
    ExpectedCard& noCodeImage();
    // Pages 0..last carry the code image, those above to the end of the image zero.
    ExpectedCard& codeImageUpTo(std::uint32_t last);

    Words at(std::uint32_t page) const;
    // One failure per page that differs (at most a few, with the first differing word).
    void expectOn(const sim::CardModel& card) const;

private:
    Words& writable(std::uint32_t page);

    std::map<std::uint32_t, Words> pages_;
    bool codeImage_ = true;
};

}  // namespace corvix::testing
