// The USB board's wire protocol: request, reply and event frames, the frame CRC, the request codes
// and the mapping of a reply's status word to a result code.
//
// All multi-byte fields are big-endian. Bit 0 of a frame's class byte (CLA) set means that the
// frame ends with a two-byte CRC over every byte from CLA through the last data byte.
//   request  CLA(0x90/0x91) CTL P1 P2 P3 LEN(2) data [CRC]
//   reply    CLA(0x80/0x81) SW(2) LEN(2) data [CRC]
//   event    CLA(0x40/0x41) ID CP SW(2) LEN(2) data [CRC]
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace IProtocol {

inline constexpr std::uint8_t CLA_REQUEST = 0x90;
inline constexpr std::uint8_t CLA_REQUEST_CRC = 0x91;
inline constexpr std::uint8_t CLA_REPLY = 0x80;
inline constexpr std::uint8_t CLA_REPLY_CRC = 0x81;
inline constexpr std::uint8_t CLA_EVENT = 0x40;
inline constexpr std::uint8_t CLA_EVENT_CRC = 0x41;
inline constexpr std::uint8_t FILLER = 0xFF;      // may follow a frame in the same chunk
inline constexpr std::uint16_t NO_CRC = 0xEEEE;   // CRC field of a frame that carries none
inline constexpr std::uint16_t SW_SUCCESS = 0xA000;

inline constexpr std::size_t REQUEST_HEADER = 7;
inline constexpr std::size_t REPLY_HEADER = 5;
inline constexpr std::size_t EVENT_HEADER = 7;

struct REPLY_FRAME {
    std::uint8_t CLA = 0;
    std::uint16_t SW = 0;
    std::uint16_t LEN = 0;
    std::vector<std::uint8_t> data;
    std::uint16_t CRC = NO_CRC;
};

struct EVENT_FRAME {
    std::uint8_t CLA = 0;
    std::uint8_t ID = 0;
    std::uint8_t CP = 0;
    std::uint16_t SW = 0;
    std::uint16_t LEN = 0;
    std::vector<std::uint8_t> data;
    std::uint16_t CRC = NO_CRC;
};

using ReplyFramePtr = boost::shared_ptr<REPLY_FRAME>;
using EventFramePtr = boost::shared_ptr<EVENT_FRAME>;

// Request codes (CTL).
enum RequestCode : std::uint8_t {
    READ_MEMORY = 0x10,
    READ_BY_ID = 0x11,
    READ_SERIAL_NUMBER = 0x15,
    READ_LAST_SW = 0x16,
    READ_ERROR = 0x17,
    WRITE_MEMORY = 0x20,
    WRITE_BY_ID = 0x21,
    RESET = 0x30,
    SET_MODE = 0x31,
    GET_MODE = 0x32,
    EXEC_BY_ID = 0x40,
};

// What a request returns when no reply arrives within the reply time-out; 0 for a code that is
// not a request code.
std::uint32_t no_reply_code(std::uint8_t ctl);

// CRC-16, polynomial 0x1021, initial 0xFFFF, no reflection, no final XOR (check value 0x29B1).
std::uint16_t UsbFrameCrc(std::span<const std::uint8_t> bytes);

// The request frame as written to the transport in one write. A frame's LEN is 16 bits: callers
// pass at most 65535 data bytes.
std::vector<std::uint8_t> build_request(std::uint8_t ctl, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                                        std::span<const std::uint8_t> data, bool crc);

// Frames as the board sends them (the simulated firmware and the tests build them so).
std::vector<std::uint8_t> build_reply(std::uint16_t sw, std::span<const std::uint8_t> data, bool crc);
std::vector<std::uint8_t> build_event(std::uint8_t id, std::uint8_t cp, std::uint16_t sw,
                                      std::span<const std::uint8_t> data, bool crc);

// True when the reply's CRC field is the CRC of its bytes.
bool check_reply_crc(const REPLY_FRAME& frame);

// The status word table: SW to result code (0xA000 to 0, the others to 0x70000001..0x70000011).
using SwResultMap = std::map<std::uint32_t, std::uint32_t>;
SwResultMap sw_result_map();
// The table's result for a status word; 0 for a status word that the table does not hold.
std::uint32_t sw_result(const SwResultMap& table, std::uint16_t sw);

}  // namespace IProtocol
