// The simulated USB board's firmware on its own: request frames cut anywhere in the byte stream,
// the status words of bad requests, CRC requests, the identifiers, and its bulk pipes' open rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/crc.hpp>
#include <mutex>

#include "sim/boards/usb_board.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

std::uint16_t crc16(const Bytes& b) {
    boost::crc_basic<16> crc(0x1021, 0xFFFF, 0, false, false);
    crc.process_bytes(b.data(), b.size());
    return static_cast<std::uint16_t>(crc.checksum());
}

Bytes request(std::uint8_t ctl, std::uint8_t p1, std::uint8_t p2, const Bytes& data = {}, bool crc = false) {
    Bytes f{static_cast<std::uint8_t>(crc ? 0x91 : 0x90), ctl, p1, p2, 0, static_cast<std::uint8_t>(data.size() >> 8),
            static_cast<std::uint8_t>(data.size())};
    f.insert(f.end(), data.begin(), data.end());
    if (crc) {
        const std::uint16_t c = crc16(f);
        f.push_back(static_cast<std::uint8_t>(c >> 8));
        f.push_back(static_cast<std::uint8_t>(c));
    }
    return f;
}

class UsbFirmware : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(board.open([this](std::span<const std::uint8_t> chunk) {
            std::lock_guard lock(mutex);
            received.insert(received.end(), chunk.begin(), chunk.end());
        }));
    }
    // What the host received since the last call.
    Bytes take() {
        std::lock_guard lock(mutex);
        Bytes out;
        out.swap(received);
        return out;
    }
    // The status word of the one reply received.
    std::uint16_t sw() {
        const Bytes r = take();
        return r.size() >= 5 ? static_cast<std::uint16_t>(r[1] << 8 | r[2]) : 0;
    }

    UsbBoard board{UsbBoardConfig{.serialNumber = 0x11223344}};
    std::mutex mutex;
    Bytes received;
};

TEST_F(UsbFirmware, AnswersTheIdentifiers) {
    board.bulkOut(request(0x11, 1, 4));
    EXPECT_THAT(take(), ElementsAre(0x80, 0xA0, 0x00, 0, 4, 0x44, 0x33, 0x22, 0x11));
    board.bulkOut(request(0x11, 1, 6));
    EXPECT_THAT(take(), ElementsAre(0x80, 0xA0, 0x00, 0, 2, 0x02, 0x01));
    board.bulkOut(request(0x21, 1, 3, {0xFE}));
    EXPECT_EQ(sw(), 0xA000);
    EXPECT_EQ(board.rgbLed(), 6);
    board.bulkOut(request(0x32, 1, 0));
    EXPECT_THAT(take(), ElementsAre(0x80, 0xA0, 0x00, 0, 1, 2));
}

struct BadRequest {
    const char* name;
    Bytes bytes;
    std::uint16_t sw;
};

class BadRequests : public UsbFirmware, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(BadRequests, AreAnsweredWithTheirStatusWord) {
    board.bulkOut(GetParam().bytes);
    EXPECT_EQ(sw(), GetParam().sw);
    board.bulkOut(request(0x11, 1, 5));
    EXPECT_EQ(sw(), 0xA000) << "the firmware goes on";
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, BadRequests,
    ::testing::Values(BadRequest{"BadCla", Bytes{0x12, 0x34}, 0x3001},
                      BadRequest{"WrongCrc",
                                 [] {
                                     Bytes f = request(0x11, 1, 4, {}, true);
                                     f.back() ^= 1;
                                     return f;
                                 }(),
                                 0x3007},
                      BadRequest{"BadP1", request(0x40, 2, 0x41, {0, 1}), 0x3003},
                      BadRequest{"UnknownIdentifier", request(0x11, 1, 9), 0x4001},
                      BadRequest{"WriteWithoutData", request(0x21, 1, 3), 0x3005},
                      BadRequest{"UnsupportedRequest", request(0x17, 1, 0), 0x3101}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UsbFirmware, ACrcRequestIsAnsweredWithACrcReply) {
    board.bulkOut(request(0x11, 1, 5, {}, true));
    const Bytes r = take();
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r[0], 0x81);
    EXPECT_EQ(crc16(Bytes(r.begin(), r.end() - 2)), static_cast<std::uint16_t>(r[9] << 8 | r[10]));
}

TEST_F(UsbFirmware, ReassemblesRequestsWhereverTheStreamIsCut) {
    const Bytes a = request(0x11, 1, 6), b = request(0x40, 1, 0xCB, {0, 0});
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    for (std::size_t cut = 0; cut <= both.size(); ++cut) {
        board.bulkOut(std::span(both).first(cut));
        board.bulkOut(std::span(both).subspan(cut));
        EXPECT_THAT(take(), ElementsAre(0x80, 0xA0, 0, 0, 2, 2, 1, 0x80, 0xA0, 0, 0, 1, 0)) << cut;
    }
    EXPECT_EQ(board.requests().size(), 2 * (both.size() + 1));
}

TEST_F(UsbFirmware, OneHostAtATimeAndNothingAfterClose) {
    EXPECT_FALSE(board.open([](std::span<const std::uint8_t>) {}));
    board.close();
    EXPECT_FALSE(board.bulkOut(request(0x11, 1, 4)));
    board.sendEvent(1, 0xA000, {});
    EXPECT_TRUE(take().empty());
    EXPECT_TRUE(board.open([](std::span<const std::uint8_t>) {}));
}

TEST_F(UsbFirmware, HeldRepliesLeaveInOrderOnRelease) {
    board.setFaults({.holdReplies = true});
    board.bulkOut(request(0x11, 1, 6));
    board.bulkOut(request(0x32, 1, 0));
    EXPECT_TRUE(take().empty());
    board.releaseHeldReplies();
    EXPECT_THAT(take(), ElementsAre(0x80, 0xA0, 0, 0, 2, 2, 1, 0x80, 0xA0, 0, 0, 1, 2));
}

}  // namespace
}  // namespace sim
