// Reading BA macro text into words, and one macro token into its name and argument.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "card_pages.h"

namespace corvix::download {

inline constexpr std::size_t kBaLineBytes = 15;  // one configuration macro line
inline constexpr std::size_t kBaWordMax = 127;   // longest word read from a BA text file

// The C locale's white space, as a formatted read of words sees it.
constexpr bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One word of BA text from a source of characters (`In`: int peek(), -1 at the end, and void
// take()): skipWord passes the blanks before it and is false at the end of the text; takeWord
// hands its characters to `keep`, at most kBaWordMax of them, so that a longer word is read as
// several.
template <class In>
bool skipToWord(In& in) {
    int c;
    while ((c = in.peek()) >= 0 && isBlank(static_cast<char>(c))) in.take();
    return c >= 0;
}
template <class In, class Keep>
void takeWord(In& in, Keep keep) {
    for (std::size_t n = 0; n < kBaWordMax; ++n) {
        const int c = in.peek();
        if (c < 0 || isBlank(static_cast<char>(c))) return;
        keep(static_cast<char>(c));
        in.take();
    }
}

// Whitespace-separated words of a BA text; a longer word is read as several of kBaWordMax.
std::vector<std::string_view> splitWords(std::string_view text);

// The first word of a 15-byte macro line. The line need not hold a terminating zero (a macro of
// 15 characters fills it) and may be padded with zeros or blanks after the word.
std::string_view firstWordOfLine(const std::uint8_t* line);

enum class MacroKind : std::uint8_t { IdDat, IdMsg, Coded, NextMacro2, Suspend };

struct Macro {
    std::string_view name;
    MacroKind kind;
    std::uint16_t code;  // low nibble of the coded word 16 x argument + code
};

struct MacroToken {
    const Macro* macro = nullptr;
    std::uint16_t argument = 0;
};

// NAME(hex): no "(", an unknown name or no closing ")" give 0x3000000E; an argument that is not
// hexadecimal or lies above 0xFFFF gives 0x3000000F. NEXT_MACRO_2's argument is not read.
ErrorCode parseMacroToken(std::string_view token, MacroToken& out);

}  // namespace corvix::download
