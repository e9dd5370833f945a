#include "engine_card.h"

#include "board_commands.h"

namespace corvix::download {

bool BoardCard::readPage(std::uint16_t page, PageBytes& bytes) {
    return board::readPage(device_, page, bytes) == kSuccess;
}

bool BoardCard::writePage(std::uint16_t page, const PageBytes& bytes) {
    return board::writePage(device_, page, bytes) == kSuccess;
}

ErrorCode BoardCard::reset() { return board::reset(device_); }

}  // namespace corvix::download
