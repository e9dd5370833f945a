// The wire protocol byte by byte: frames, CRC vectors and the status-word table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "usb/usb_protocol.h"

namespace IProtocol {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAreArray;

TEST(UsbFrameCrc, MatchesTheCheckValues) {
    const std::string digits = "123456789";
    EXPECT_EQ(UsbFrameCrc(std::span(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size())), 0x29B1);
    EXPECT_EQ(UsbFrameCrc(Bytes{0x91, 0x11, 0x01, 0x05, 0x00, 0x00, 0x00}), 0x9C1D);
    EXPECT_EQ(UsbFrameCrc(Bytes{}), 0xFFFF);
}

struct FrameCase {
    const char* name;
    Bytes built;
    Bytes expected;
};

std::vector<FrameCase> frameCases() {
    const Bytes one{0x05};
    return {
        {"ReadByIdIsSevenBytes", build_request(READ_BY_ID, 1, 5, 0, {}, false), {0x90, 0x11, 0x01, 0x05, 0, 0, 0}},
        {"ReadByIdWithCrc", build_request(READ_BY_ID, 1, 5, 0, {}, true),
         {0x91, 0x11, 0x01, 0x05, 0, 0, 0, 0x9C, 0x1D}},
        {"WriteByIdOfOneByte", build_request(WRITE_BY_ID, 1, 3, 0, one, false), {0x90, 0x21, 0x01, 0x03, 0, 0x00, 0x01, 0x05}},
        {"ExecByIdCarriesItsData", build_request(EXEC_BY_ID, 1, 0x41, 0, Bytes{0x01, 0x02}, false),
         {0x90, 0x40, 0x01, 0x41, 0, 0x00, 0x02, 0x01, 0x02}},
        {"ResetKeepsP3Zero", build_request(RESET, 1, 1, 0, {}, false), {0x90, 0x30, 0x01, 0x01, 0, 0, 0}},
        {"EmptyReplyIsFiveBytes", build_reply(0xA000, {}, false), {0x80, 0xA0, 0x00, 0, 0}},
        {"EmptyReplyWithCrcIsSeven", build_reply(0xA000, {}, true),
         [] {
             Bytes b{0x81, 0xA0, 0x00, 0, 0};
             const std::uint16_t crc = UsbFrameCrc(b);
             b.push_back(static_cast<std::uint8_t>(crc >> 8));
             b.push_back(static_cast<std::uint8_t>(crc));
             return b;
         }()},
        {"ReplyHeaderIsBigEndian",
         [] {
             const Bytes reply = build_reply(0x3101, Bytes(0x102, 7), false);
             return Bytes(reply.begin(), reply.begin() + 5);
         }(),
         {0x80, 0x31, 0x01, 0x01, 0x02}},
        {"EventFrame", build_event(1, 0xFE, 0x8001, one, false), {0x40, 0x01, 0xFE, 0x80, 0x01, 0x00, 0x01, 0x05}},
    };
}

class Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Frames, AreByteExact) { EXPECT_THAT(GetParam().built, ElementsAreArray(GetParam().expected)); }

INSTANTIATE_TEST_SUITE_P(Layouts, Frames, ::testing::ValuesIn(frameCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckReplyCrc, AcceptsItsOwnCrcAndRefusesAnyChange) {
    REPLY_FRAME frame{.CLA = CLA_REPLY_CRC, .SW = 0xA000, .LEN = 3, .data = {1, 2, 3}, .CRC = 0};
    const Bytes bytes = build_reply(0xA000, frame.data, true);
    frame.CRC = static_cast<std::uint16_t>(bytes[bytes.size() - 2] << 8 | bytes.back());
    EXPECT_TRUE(check_reply_crc(frame));
    frame.data[1] ^= 0x10;
    EXPECT_FALSE(check_reply_crc(frame));
}

TEST(StatusWords, MapToTheirResultsAndUnknownOnesToSuccess) {
    const SwResultMap table = sw_result_map();
    EXPECT_EQ(table.size(), 18u);
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {
        {0xA000, 0},          {0xB000, 0x70000001}, {0xB001, 0x70000002}, {0x2000, 0x70000003},
        {0x2003, 0x70000006}, {0x3000, 0x70000007}, {0x3007, 0x7000000E}, {0x3101, 0x7000000F},
        {0x4000, 0x70000010}, {0x4001, 0x70000011}, {0x5555, 0},          {0x8001, 0},
    };
    for (const auto& [sw, result] : cases) EXPECT_EQ(sw_result(table, sw), result) << std::hex << sw;
}

TEST(NoReplyCodes, OnePerRequestCode) {
    const std::pair<std::uint8_t, std::uint32_t> cases[] = {
        {READ_MEMORY, 0x30100002}, {READ_BY_ID, 0x30100003}, {READ_SERIAL_NUMBER, 0x30100004},
        {READ_LAST_SW, 0x30100005}, {READ_ERROR, 0x30100006}, {WRITE_MEMORY, 0x30100007},
        {WRITE_BY_ID, 0x30100008}, {EXEC_BY_ID, 0x30100009}, {RESET, 0x3010000A},
        {SET_MODE, 0x3010000B}, {GET_MODE, 0x3010000C}, {0x99, 0},
    };
    for (const auto& [ctl, code] : cases) EXPECT_EQ(no_reply_code(ctl), code) << std::hex << int{ctl};
}

}  // namespace
}  // namespace IProtocol
