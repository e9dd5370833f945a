// Replies paired with requests on a misbehaving USB board: the simulated firmware answering late
// or losing replies, through the board object, the bulk transport and the USB device driver.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include "stack_fixture.h"
#include "usb/dav_azuv.h"
#include "usb/usb_board.h"

namespace corvix::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::uint32_t kSerial = 0x00C0FFEE;
constexpr std::uint16_t kReplyTimeoutMs = 200;

class UsbReplyPairing : public EngineOnMachine {
protected:
    void SetUp() override {
        sim::MachineDescription d;
        sim::UsbBoardConfig usb;
        usb.serialNumber = kSerial;
        d.boards = {usb};
        boot(d);
        board_ = create_usb_board(1);
        ASSERT_EQ(usb_board_open(board_, 0), 0);
        board_->set_reply_timeout(kReplyTimeoutMs);
    }
    void TearDown() override {
        delete_usb_board(board_);
        EngineOnMachine::TearDown();
    }
    sim::UsbBoard& firmware() { return machine().usbBoard(0); }

    // Read by identifier: the identifier's own data, as the firmware keeps it.
    struct Read {
        std::int32_t result;
        Bytes data;
    };
    Read read(std::uint8_t id) {
        std::array<std::uint8_t, 64> buffer{};
        std::uint16_t length = 0;
        const std::int32_t result = board_->read_by_id(1, id, 0, length, buffer);
        return {result, Bytes(buffer.begin(), buffer.begin() + length)};
    }
    static Bytes expected(std::uint8_t id) {
        switch (id) {
        case 4: return {0xEE, 0xFF, 0xC0, 0x00};                               // serial number
        case 5: return {0x04, 0xA6, 0x02, 0x00};                               // information word
        default: return {sim::UsbBoardConfig{}.firmwareMajor, sim::UsbBoardConfig{}.firmwareMinor};  // firmware
        }
    }

    CDavAzuv* board_ = nullptr;
};

// A board answering 240-340 ms late under a 200 ms reply time-out: every request's reply is late,
// so each request returns its no-reply code or, when the reply wins the race after all, its own
// data; none returns another request's data. The latest reply stays 60 ms inside the two time-outs
// that the pairing relies on, so that a loaded machine's scheduling delays do not push it out.
TEST_F(UsbReplyPairing, ALateBoardNeverAnswersAnotherRequest) {
    firmware().setFaults({.replyDelayMin = 240ms, .replyDelayMax = 340ms});
    int wrong = 0;
    for (int n = 0; n < 12; ++n) {
        const std::uint8_t id = static_cast<std::uint8_t>(4 + n % 3);
        const Read r = read(id);
        const bool own = r.result == 0 && r.data == expected(id);
        if (!own && r.result != 0x30100003) ++wrong;
    }
    EXPECT_EQ(wrong, 0);

    // The last late reply is still on its way: the next request waits for it, then is answered.
    firmware().setFaults({});
    const Read r = read(4);
    EXPECT_EQ(r.result, 0) << "heard again once the board answers in time";
    EXPECT_EQ(r.data, expected(4));
}

// A reply the board never sends, after it carried out the write: the write reports no reply, and
// the next request, answered at once, waits out one reply time-out and gets its own data.
TEST_F(UsbReplyPairing, ALostReplyCostsTheNextRequestOneTimeOut) {
    firmware().setFaults({.loseReplies = 1});
    EXPECT_EQ(board_->write_by_id(1, 3, Bytes{5}), 0x30100008);
    EXPECT_EQ(firmware().rgbLed(), 5) << "the board carried the write out all the same";

    const auto start = std::chrono::steady_clock::now();
    const Read r = read(4);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.data, expected(4));
    EXPECT_GE(took, std::chrono::milliseconds(kReplyTimeoutMs) - 10ms);
    EXPECT_LT(took, 2 * std::chrono::milliseconds(kReplyTimeoutMs));

    for (std::uint8_t id : {5, 6, 4}) EXPECT_EQ(read(id).data, expected(id)) << "in step again: " << int(id);
}

}  // namespace
}  // namespace corvix::testing
