// The BA macro assembler: turns one BA program into card words and writes its pages.
//
// A program fills pages from `start` upward; the distinct identifiers named by ID_DAT live in a
// slot table at the top of the program's memory, just below `end` (32 two-word slots per page,
// identifier k at word address 64 x end - 2 x (k + 1)). Every page from start to end - 1 is zeroed
// first. Diagnostics go to the debugger output only.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "card_pages.h"

namespace corvix::download {

struct AssembledProgram {
    std::uint16_t nextPage = 0;  // the page after the last program page
    std::uint16_t slotPage = 0;  // the lowest slot page written
};

// Assembles macro tokens. With `closeList` the closing word 16 x last + 2 follows the tokens (a
// configuration macro list); a text file's author ends the program with his own macro.
ErrorCode assembleTokens(CardPages& card, const std::vector<std::string_view>& tokens, bool closeList, int start,
                         int end, AssembledProgram* out = nullptr);

// A configuration macro list: `count` lines of 15 bytes, the first word of each is its token.
ErrorCode assembleMacroList(CardPages& card, const std::uint8_t* lines, std::uint32_t count, int start, int end,
                            AssembledProgram* out = nullptr);

// A BA text: words before "BEGIN" are skipped, the words up to "END" are the program; a text
// without "BEGIN" or without "END" gives 0x3000000D.
ErrorCode assembleText(CardPages& card, std::string_view text, int start, int end, AssembledProgram* out = nullptr);

// A BA program text file; a file that cannot be read gives 0x3000000C.
ErrorCode assembleFile(CardPages& card, const char* path, int start, int end, AssembledProgram* out = nullptr);

}  // namespace corvix::download
