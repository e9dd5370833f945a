// Card memory of the thread's board, through the board command layer.
#pragma once

#include "board_device.h"
#include "card_pages.h"

namespace corvix::download {

class BoardCard : public CardPages {
public:
    explicit BoardCard(BoardDevice& device) : device_(device) {}
    bool readPage(std::uint16_t page, PageBytes& bytes) override;
    bool writePage(std::uint16_t page, const PageBytes& bytes) override;
    ErrorCode reset() override;

private:
    BoardDevice& device_;
};

}  // namespace corvix::download
