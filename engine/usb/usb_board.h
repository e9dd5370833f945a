// The flat entry points of the USB board object, as the engine's board access calls them. Every
// entry takes the object; a null object gives 0x30100001 (delete accepts it and returns 0).
// Buffers that receive reply data come with their capacity: a longer reply is cut to it and the
// request returns 0x3010000D.
#pragma once

#include <array>
#include <cstdint>

class CDavAzuv;

CDavAzuv* create_usb_board(std::int32_t transport_kind);
std::int32_t delete_usb_board(CDavAzuv* board);
std::int32_t usb_board_open(CDavAzuv* board, std::uint32_t index);
std::int32_t usb_board_close(CDavAzuv* board);
std::int32_t usb_read_by_id(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint16_t* length,
                            std::uint8_t* buffer, std::uint16_t capacity, bool crc);
std::int32_t usb_write_by_id(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, std::uint16_t count,
                             const std::uint8_t* data, bool crc);
std::int32_t usb_exec_by_id(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, std::uint16_t count,
                            const std::uint8_t* data, std::uint16_t* length, std::uint8_t* buffer,
                            std::uint16_t capacity, bool crc);
std::int32_t usb_reset(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, bool crc);

// The USB boards among the enumerated USB devices (vendor 0x04B4, product 0x5701): how many, and
// for each device index below 9 whether a board is there and whether it is in use.
struct UsbBoardFlags {
    std::uint16_t count = 0;
    std::array<std::uint8_t, 9> active{};
    std::array<std::uint8_t, 9> used{};
};
UsbBoardFlags usb_board_flags();
