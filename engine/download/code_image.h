// The card code image "kernala.dat": a u16 block count, then per block a u16 byte address in card
// memory and the 128 bytes of the page at address >> 7 (little-endian).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "card_pages.h"

namespace corvix::download {

struct CodeBlock {
    std::uint16_t page = 0;
    PageBytes bytes{};
};

// Decodes a whole image; false when the file is shorter or longer than its block count says.
bool parseCodeImage(std::string_view file, std::vector<CodeBlock>& blocks);

// The image's path: the folder of the REG_SZ value Dllpath under HKEY_LOCAL_MACHINE
// "Software\Talvenor\Corvix", "\" and "kernala.dat"; the plain name when the value cannot be read.
std::string codeImagePath();

// Writes every block and reads it back. A file that cannot be opened, read or decoded gives
// 0x30000004 before any page is written; then 0x30000005 (write), 0x30000006 (read-back) or
// 0x30000007 (read-back differs) at the first failing block.
ErrorCode downloadCodeImage(CardPages& card, const char* path);

}  // namespace corvix::download
