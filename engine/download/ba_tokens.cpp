#include "ba_tokens.h"

#include <array>

#include "engine_errors.h"

namespace corvix::download {
namespace {

constexpr std::array<Macro, 8> kMacros{{
    {"ID_DAT", MacroKind::IdDat, 0},
    {"ID_MSG", MacroKind::IdMsg, 0},
    {"SEND_MSG", MacroKind::Coded, 4},
    {"SEND_APER", MacroKind::Coded, 5},
    {"NEXT_MACRO_1", MacroKind::Coded, 1},
    {"NEXT_MACRO_2", MacroKind::NextMacro2, 2},
    {"SUSPEND", MacroKind::Suspend, 7},
    {"WAIT", MacroKind::Coded, 6},
}};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseHex16(std::string_view text, std::uint16_t& value) {
    if (text.empty()) return false;
    std::uint32_t v = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<std::uint32_t>(d);
        if (v > 0xFFFF) return false;
    }
    value = static_cast<std::uint16_t>(v);
    return true;
}

}  // namespace

std::vector<std::string_view> splitWords(std::string_view text) {
    struct In {
        std::string_view text;
        std::size_t at = 0;
        int peek() const { return at < text.size() ? static_cast<unsigned char>(text[at]) : -1; }
        void take() { ++at; }
    } in{text};
    std::vector<std::string_view> words;
    while (skipToWord(in)) {
        const std::size_t begin = in.at;
        takeWord(in, [](char) {});
        words.push_back(text.substr(begin, in.at - begin));
    }
    return words;
}

std::string_view firstWordOfLine(const std::uint8_t* line) {
    const char* text = reinterpret_cast<const char*>(line);
    std::size_t i = 0;
    while (i < kBaLineBytes && isBlank(text[i])) ++i;
    const std::size_t begin = i;
    while (i < kBaLineBytes && text[i] != '\0' && !isBlank(text[i])) ++i;
    return {text + begin, i - begin};
}

ErrorCode parseMacroToken(std::string_view token, MacroToken& out) {
    const std::size_t open = token.find('(');
    if (open == std::string_view::npos) return kErrBaUnknownMacro;
    const std::string_view name = token.substr(0, open);
    const Macro* macro = nullptr;
    for (const Macro& m : kMacros)
        if (m.name == name) macro = &m;
    if (!macro || token.back() != ')') return kErrBaUnknownMacro;
    out.macro = macro;
    out.argument = 0;
    if (macro->kind == MacroKind::NextMacro2) return 0;
    const std::string_view argument = token.substr(open + 1, token.size() - open - 2);
    return parseHex16(argument, out.argument) ? 0 : kErrBaBadArgument;
}

}  // namespace corvix::download
