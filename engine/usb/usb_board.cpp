#include "usb_board.h"

#include <new>

#include "dav_azuv.h"
#include "usb_enumeration.h"

namespace {

std::span<std::uint8_t> room(std::uint8_t* buffer, std::uint16_t capacity) {
    return buffer ? std::span(buffer, capacity) : std::span<std::uint8_t>{};
}

std::span<const std::uint8_t> input(const std::uint8_t* data, std::uint16_t count) {
    return data ? std::span(data, count) : std::span<const std::uint8_t>{};
}

}  // namespace

UsbBoardFlags usb_board_flags() {
    constexpr std::uint16_t kBoardVendor = 0x04B4, kBoardProduct = 0x5701;
    std::array<UsbBoardRecord, kMaxUsbBoardRecords> records{};
    std::uint8_t count = 0;
    enumerate_usb_boards(records.data(), count);
    UsbBoardFlags flags;
    for (std::uint8_t i = 0; i < count; ++i) {
        const UsbBoardRecord& r = records[i];
        if (r.vendor_id != kBoardVendor || r.product_id != kBoardProduct) continue;
        ++flags.count;
        if (r.index < flags.active.size()) {
            flags.active[r.index] = 1;
            flags.used[r.index] = r.busy;
        }
    }
    return flags;
}

CDavAzuv* create_usb_board(std::int32_t transport_kind) { return new (std::nothrow) CDavAzuv(transport_kind); }

std::int32_t delete_usb_board(CDavAzuv* board) {
    if (!board) return 0;
    board->close();
    delete board;
    return 0;
}

std::int32_t usb_board_open(CDavAzuv* board, std::uint32_t index) {
    return board ? board->open(index) : usb_error::kNoTransport;
}

std::int32_t usb_board_close(CDavAzuv* board) { return board ? board->close() : usb_error::kNoTransport; }

std::int32_t usb_read_by_id(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint16_t* length,
                            std::uint8_t* buffer, std::uint16_t capacity, bool crc) {
    if (!board) return usb_error::kNoTransport;
    std::uint16_t got = 0;
    const std::int32_t result = board->read_by_id(p1, p2, p3, got, room(buffer, capacity), crc);
    if (length) *length = got;
    return result;
}

std::int32_t usb_write_by_id(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, std::uint16_t count,
                             const std::uint8_t* data, bool crc) {
    return board ? board->write_by_id(p1, p2, input(data, count), crc) : usb_error::kNoTransport;
}

std::int32_t usb_exec_by_id(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, std::uint16_t count,
                            const std::uint8_t* data, std::uint16_t* length, std::uint8_t* buffer,
                            std::uint16_t capacity, bool crc) {
    if (!board) return usb_error::kNoTransport;
    std::uint16_t got = 0;
    const std::int32_t result = board->exec_by_id(p1, p2, input(data, count), got, room(buffer, capacity), crc);
    if (length) *length = got;
    return result;
}

std::int32_t usb_reset(CDavAzuv* board, std::uint8_t p1, std::uint8_t p2, bool crc) {
    return board ? board->reset(p1, p2, crc) : usb_error::kNoTransport;
}
