#include "usb_protocol.h"

#include <array>
#include <boost/crc.hpp>
#include <iterator>

namespace IProtocol {
namespace {

struct NoReply {
    std::uint8_t ctl;
    std::uint32_t code;
};
constexpr NoReply kNoReply[] = {
    {READ_MEMORY, 0x30100002},  {READ_BY_ID, 0x30100003},   {READ_SERIAL_NUMBER, 0x30100004},
    {READ_LAST_SW, 0x30100005}, {READ_ERROR, 0x30100006},   {WRITE_MEMORY, 0x30100007},
    {WRITE_BY_ID, 0x30100008},  {EXEC_BY_ID, 0x30100009},   {RESET, 0x3010000A},
    {SET_MODE, 0x3010000B},     {GET_MODE, 0x3010000C},
};
static_assert(std::size(kNoReply) == 11, "one no-reply code per request code");

struct SwEntry {
    std::uint16_t sw;
    std::uint32_t result;
};
constexpr SwEntry kStatusWords[] = {
    {0xA000, 0},          {0xB000, 0x70000001}, {0xB001, 0x70000002}, {0x2000, 0x70000003},
    {0x2001, 0x70000004}, {0x2002, 0x70000005}, {0x2003, 0x70000006}, {0x3000, 0x70000007},
    {0x3001, 0x70000008}, {0x3002, 0x70000009}, {0x3003, 0x7000000A}, {0x3004, 0x7000000B},
    {0x3005, 0x7000000C}, {0x3006, 0x7000000D}, {0x3007, 0x7000000E}, {0x3101, 0x7000000F},
    {0x4000, 0x70000010}, {0x4001, 0x70000011},
};
// Success and the StatusWordError family 0x70000001..0x70000011, one status word each.
static_assert(std::size(kStatusWords) == 1 + (0x70000011 - 0x70000001 + 1));

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// Appends LEN, the data and, when asked, the CRC of everything so far.
std::vector<std::uint8_t> finish(std::vector<std::uint8_t> frame, std::span<const std::uint8_t> data, bool crc) {
    put16(frame, static_cast<std::uint16_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    if (crc) put16(frame, UsbFrameCrc(frame));
    return frame;
}

}  // namespace

std::uint32_t no_reply_code(std::uint8_t ctl) {
    for (const NoReply& entry : kNoReply)
        if (entry.ctl == ctl) return entry.code;
    return 0;
}

std::uint16_t UsbFrameCrc(std::span<const std::uint8_t> bytes) {
    boost::crc_basic<16> crc(0x1021, 0xFFFF, 0x0000, false, false);
    crc.process_bytes(bytes.data(), bytes.size());
    return static_cast<std::uint16_t>(crc.checksum());
}

std::vector<std::uint8_t> build_request(std::uint8_t ctl, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                                        std::span<const std::uint8_t> data, bool crc) {
    std::vector<std::uint8_t> frame;
    frame.reserve(REQUEST_HEADER + data.size() + 2);
    frame.insert(frame.end(), {crc ? CLA_REQUEST_CRC : CLA_REQUEST, ctl, p1, p2, p3});
    return finish(std::move(frame), data, crc);
}

std::vector<std::uint8_t> build_reply(std::uint16_t sw, std::span<const std::uint8_t> data, bool crc) {
    std::vector<std::uint8_t> frame;
    frame.reserve(REPLY_HEADER + data.size() + 2);
    frame.push_back(crc ? CLA_REPLY_CRC : CLA_REPLY);
    put16(frame, sw);
    return finish(std::move(frame), data, crc);
}

std::vector<std::uint8_t> build_event(std::uint8_t id, std::uint8_t cp, std::uint16_t sw,
                                      std::span<const std::uint8_t> data, bool crc) {
    std::vector<std::uint8_t> frame;
    frame.reserve(EVENT_HEADER + data.size() + 2);
    frame.insert(frame.end(), {crc ? CLA_EVENT_CRC : CLA_EVENT, id, cp});
    put16(frame, sw);
    return finish(std::move(frame), data, crc);
}

bool check_reply_crc(const REPLY_FRAME& frame) {
    std::vector<std::uint8_t> bytes{frame.CLA};
    put16(bytes, frame.SW);
    put16(bytes, frame.LEN);
    bytes.insert(bytes.end(), frame.data.begin(), frame.data.end());
    return UsbFrameCrc(bytes) == frame.CRC;
}

SwResultMap sw_result_map() {
    SwResultMap table;
    for (const SwEntry& entry : kStatusWords) table.emplace(entry.sw, entry.result);
    return table;
}

std::uint32_t sw_result(const SwResultMap& table, std::uint16_t sw) {
    const auto found = table.find(sw);
    return found == table.end() ? 0 : found->second;
}

}  // namespace IProtocol
