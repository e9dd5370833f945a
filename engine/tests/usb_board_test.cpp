// The engine on USB boards over the simulated machine: the start with its firmware check, the
// board queries and the RGB LED, the card commands as exec-by-id requests byte for byte, the
// IS_EVENT rule, a board that falls silent, and the stop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <future>
#include <vector>

#include "engine_calls.h"
#include "engine_thread.h"
#include "road_network.h"
#include "stack_fixture.h"

namespace corvix::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::Contains;
using ::testing::ElementsAre;

constexpr std::uint32_t kUsb = 2;
constexpr std::uint32_t kNotSupported = 50;  // the platform's ERROR_NOT_SUPPORTED

sim::UsbBoardConfig usbBoard(std::uint16_t firmware, std::uint32_t serial) {
    sim::UsbBoardConfig c;
    c.firmwareMajor = static_cast<std::uint8_t>(firmware >> 8);
    c.firmwareMinor = static_cast<std::uint8_t>(firmware);
    c.serialNumber = serial;
    return c;
}

// USB board 1 speaks the engine's firmware; USB board 2 does not. R5 beside them on the segment.
sim::MachineDescription usbMachine() {
    sim::MachineDescription d = machineWithRemoteStation();
    d.boards = {usbBoard(0x0201, 0x00C0FFEE), usbBoard(0x0302, 0x00BADBAD)};
    return d;
}

class UsbEngine : public EngineOnMachine {
protected:
    void SetUp() override { boot(usbMachine()); }
    sim::UsbBoard& usb(std::size_t i = 0) { return machine().usbBoard(i); }
    // The request frames the board received since the last call.
    std::vector<Bytes> requestsSince() {
        const auto all = usb().requests();
        usb().clearRequests();
        return all;
    }
};

TEST_F(UsbEngine, StartChecksTheFirmwareVersion) {
    EXPECT_EQ(START_FIP_ENGINE(2, kUsb), kErrUsbFirmware) << "second version byte above 1";
    EXPECT_EQ(START_FIP_ENGINE(3, kUsb), kErrBoardNotOpened) << "no third USB board";
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    EXPECT_THAT(usb().requests(), Contains(ElementsAre(0x90, 0x11, 0x01, 0x06, 0, 0, 0)));
    EXPECT_FALSE(usb(1).isOpen()) << "the firmware check's board object is gone";
    EXPECT_TRUE(usb().isOpen());
    EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    EXPECT_FALSE(usb().isOpen());
    EXPECT_THAT(usb().requests().back(), ElementsAre(0x90, 0x30, 0x01, 0x01, 0, 0, 0)) << "the reset request";
}

TEST_F(UsbEngine, AnswersTheBoardQueriesOnAnyUsbBoard) {
    EXPECT_EQ(GetCardrixSerialNumber(kUsb, 1), 0x00C0FFEEu) << "on a board opened for the query";
    EXPECT_EQ(GetCardrixSerialNumber(kUsb, 2), 0x00BADBADu);
    EXPECT_EQ(GetCardrixInfo(kUsb, 1), sim::kUsbDualMediumWord);
    EXPECT_EQ(GetCardrixSerialNumber(kUsb, 3), 0u);
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    EXPECT_EQ(GetCardrixSerialNumber(kUsb, 1), 0x00C0FFEEu) << "on the thread's own board";
    EXPECT_EQ(GetCardrixInfo(kUsb, 2), sim::kUsbDualMediumWord) << "beside the thread's board";

    EXPECT_EQ(SetRgbLedState(kUsb, 1, 0x0D), kSuccess);
    EXPECT_EQ(usb().rgbLed(), 5) << "the low three bits";
    std::uint8_t colour = 0xEE;
    EXPECT_EQ(GetRgbLedState(kUsb, 1, &colour), kSuccess);
    EXPECT_EQ(colour, 5);
    EXPECT_EQ(SetRgbLedState(kUsb, 2, 3), kSuccess);
    EXPECT_EQ(usb(1).rgbLed(), 3);
    EXPECT_EQ(GetRgbLedState(kUsb, 3, &colour), kErrBoardNotOpened);
    colour = 0x77;
    EXPECT_EQ(GetRgbLedState(0, 1, &colour), kSuccess);
    EXPECT_EQ(colour, 0x77) << "a PCI board has no RGB LED";
    EXPECT_EQ(SetRgbLedState(1, 1, 2), kSuccess);

    // What a USB board does not have: refused without a request.
    const std::size_t before = usb().requests().size();
    std::uint32_t on = 9, slot = 9;
    EXPECT_EQ(GetLedState(kUsb, 1, 0, &on), kNotSupported);
    EXPECT_EQ(FIP_GET_SLOT(&slot), kNotSupported);
    EXPECT_EQ(on, 9u);
    EXPECT_EQ(usb().requests().size(), before);
}

// DOWNLOAD_CNF, START_COMMUNICATION and FIP_READ_VAR of R5's variable: every card command is an
// exec-by-id request with its input high byte first.
TEST_F(UsbEngine, CardCommandsAreExecByIdRequests) {
    const std::string file = writeNetwork(roadNetwork(), "road");
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    ASSERT_EQ(DOWNLOAD_CNF(file.c_str()), kSuccess);
    usb().clearRequests();
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    EXPECT_THAT(requestsSince(),
                ElementsAre(ElementsAre(0x90, 0x30, 1, 1, 0, 0, 0),                 // reset
                            ElementsAre(0x90, 0x40, 1, 0x50, 0, 0, 2, 0, 2),         // medium 2, 3 and 6,
                            ElementsAre(0x90, 0x40, 1, 0x40, 0, 0, 2, 0, 3),         // each with page 3
                            ElementsAre(0x90, 0x40, 1, 0x50, 0, 0, 2, 0, 3),
                            ElementsAre(0x90, 0x40, 1, 0x40, 0, 0, 2, 0, 3),
                            ElementsAre(0x90, 0x40, 1, 0x50, 0, 0, 2, 0, 6),
                            ElementsAre(0x90, 0x40, 1, 0x40, 0, 0, 2, 0, 3),
                            ElementsAre(0x90, 0x40, 1, 0x50, 0, 0, 2, 0, 1),         // medium 1
                            ElementsAre(0x90, 0x40, 1, 0x40, 0, 0, 2, 0, 3),
                            ElementsAre(0x90, 0x40, 1, 0xFF, 0, 0, 2, 0x06, 0x00),   // START_CIRCUIT
                            ElementsAre(0x90, 0x40, 1, 0xCA, 0, 0, 2, 0, 0),         // END_TEST
                            ElementsAre(0x90, 0x40, 1, 0xDB, 0, 0, 2, 0, 7)));       // DEF_PARAM 7
    ASSERT_EQ(START_BA(160 * 64), kSuccess);
    machine().segment().run(2 * kCycle);

    usb().clearRequests();
    const Value v = readVariable(1, 5);
    EXPECT_EQ(v.code, kSuccess);
    EXPECT_THAT(v.bytes, ElementsAre(kPduType, 2, 0, ::testing::Gt(6), kRefreshedByte));
    EXPECT_EQ(v.status, kPromptStatus);
    EXPECT_THAT(requestsSince(), ElementsAre(ElementsAre(0x90, 0x40, 1, 0x41, 0, 0, 2, 0x00, 0x01)));

    const std::array<std::uint8_t, 2> value{0xAB, 0xCD};
    usb().clearRequests();
    EXPECT_EQ(FIP_WRITE_VAR(0, value.data()), kSuccess);
    EXPECT_THAT(requestsSince(), ElementsAre(ElementsAre(0x90, 0x40, 1, 0xC5, 0, 0, 4, 0, 0, 0xAB, 0xCD)));
    EXPECT_THAT(*usb().card().variableValue(0), ElementsAre(0xAB, 0xCD));

    std::array<std::uint8_t, 128> page{};
    EXPECT_NE(FIP_READ_PHY(128, page.data()), 0u);
    EXPECT_EQ(page[7], usb().card().page(128)[7]);
    std::uint8_t state = 0;
    EXPECT_EQ(BA_REPORT(&state), kSuccess);
    EXPECT_NE(state, 9);
}

// IS_EVENT on a USB board reads reply data byte 0 whatever its status word; an event the card
// raises is also announced by an event frame after the reply.
TEST_F(UsbEngine, IsEventReadsTheControllerStateAndTheBoardAnnouncesEvents) {
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    std::uint32_t pending = 7;
    EXPECT_EQ(IS_EVENT(&pending), kSuccess);
    EXPECT_EQ(pending, 0u);
    usb().card().pushEvent({.eventByte = 0x81, .parameter = 2, .identifier = 0x0102});
    EXPECT_EQ(IS_EVENT(&pending), kSuccess);
    EXPECT_EQ(pending, 1u);
    const auto events = pollEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].identifier, 0x0102);
    std::uint8_t flag, value, kind, parameter;
    std::uint16_t identifier;
    EXPECT_EQ(READ_EVENT(&flag, &value, &kind, &parameter, &identifier), 0x60000004u) << "queue empty, as on PCI";
}

// A board that stops answering: the requests give their no-reply code after the reply time-out,
// IS_EVENT included (no reply is no state), and the board is heard again once it answers.
TEST_F(UsbEngine, ABoardThatFallsSilentGivesTheNoReplyCode) {
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    usb().setFaults({.silent = true});
    std::uint32_t pending = 0;
    EXPECT_EQ(IS_EVENT(&pending), 0x30100009u);
    usb().setFaults({});
    std::uint8_t state = 0;
    ErrorCode code = BA_REPORT(&state);
    if (code != kSuccess) code = BA_REPORT(&state);  // at most one reply owed to the silent request
    EXPECT_EQ(code, kSuccess);
    EXPECT_EQ(state, 9);
}

// Replies cut into small chunks with fillers between frames change nothing.
TEST_F(UsbEngine, RepliesInSmallChunksWithFillers) {
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    usb().setFaults({.chunkBytes = 3, .fillers = true});
    std::array<std::uint8_t, 128> page{};
    for (std::uint16_t p : {0, 3, 129, 2047}) {
        ASSERT_NE(FIP_READ_PHY(p, page.data()), 0u) << p;
        EXPECT_EQ(page[1], static_cast<std::uint8_t>(p));
    }
    EXPECT_EQ(GetCardrixSerialNumber(kUsb, 1), 0x00C0FFEEu);
}

// A context shared by INIT_STORAGE: after the starting thread's stop, the copy's calls fail with
// the closed transport's code instead of reaching a board object that is gone.
TEST_F(UsbEngine, ACopiedContextOutlivesTheStopSafely) {
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    EngineThread other;
    EXPECT_EQ(other.run([] { return INIT_STORAGE(); }), kSuccess);
    std::uint8_t state = 0;
    EXPECT_EQ(other.run([&] { return BA_REPORT(&state); }), kSuccess);
    EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    EXPECT_EQ(other.run([&] { return BA_REPORT(&state); }), 0x30101000u);
    EXPECT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess) << "the board is free again";
}

// Two threads on one USB board (INIT_STORAGE) calling at once: the board object serialises their
// requests, and each gets the answer to its own.
TEST_F(UsbEngine, ThreadsSharingTheBoardEachGetTheirOwnAnswers) {
    ASSERT_EQ(START_FIP_ENGINE(1, kUsb), kSuccess);
    usb().card().setVariableValue(0, Bytes(4, 0x11));
    usb().card().setVariableValue(1, Bytes(9, 0x22));
    EngineThread first, second;
    ASSERT_EQ(first.run([] { return INIT_STORAGE(); }), kSuccess);
    ASSERT_EQ(second.run([] { return INIT_STORAGE(); }), kSuccess);
    const auto reads = [](std::uint16_t index, std::uint8_t expected, std::size_t size) {
        int wrong = 0;
        for (int i = 0; i < 200; ++i) {
            std::array<std::uint8_t, 128> data{};
            std::uint8_t status = 0;
            if (FIP_READ_VAR(index, data.data(), &status) != kSuccess || data[0] != expected ||
                data[size - 1] != expected || data[size] != 0)
                ++wrong;
        }
        return wrong;
    };
    auto a = std::async(std::launch::async, [&] { return first.run([&] { return reads(0, 0x11, 4); }); });
    auto b = std::async(std::launch::async, [&] { return second.run([&] { return reads(1, 0x22, 9); }); });
    EXPECT_EQ(a.get(), 0);
    EXPECT_EQ(b.get(), 0);
}

}  // namespace
}  // namespace corvix::testing
