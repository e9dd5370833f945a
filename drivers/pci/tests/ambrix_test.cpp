// The PCI board driver end to end: the default machine's first PCI board through the win32 calls.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "base/clock.h"
#include "base/registry_store.h"
#include "pci_board_fixture.h"
#include "testing/cpu_time.h"

namespace {

namespace reg = qbase::registry;
constexpr char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\ambrix\\Parameters";

using ambrix::testing::openBoard;

std::vector<std::uint8_t> value(const char* name) {
    const auto v = reg::getValue(reg::Root::LocalMachine, kParameters, name);
    return v ? v->data : std::vector<std::uint8_t>{};
}

struct Reply {
    bool ok;
    DWORD error;
    DWORD returned;
};

class Ambrix : public ambrix::testing::PciBoardTest {
protected:
    Reply control(DWORD code, void* in, DWORD inLength, void* out, DWORD outLength) {
        DWORD returned = 0xFFFF;
        const bool ok = DeviceIoControl(board_, code, in, inLength, out, outLength, &returned, nullptr);
        return {ok, ok ? 0 : GetLastError(), returned};
    }
    std::uint32_t u32(DWORD code) {
        std::uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(control(code, nullptr, 0, &v, sizeof v).ok);
        return v;
    }
};

TEST_F(Ambrix, OneOpenAtATimeAndTheUsedValuesFollowIt) {
    EXPECT_EQ(openBoard(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(value("Used_Cards"), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(value("Used_Index"), (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(value("Active_Index").at(0), 1);
    CloseHandle(board_);
    board_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(value("Used_Cards"), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(value("Used_Index"), std::vector<std::uint8_t>(9, 0));
    board_ = openBoard();
    EXPECT_NE(board_, INVALID_HANDLE_VALUE);
}

TEST_F(Ambrix, BoardLevelAnswers) {
    EXPECT_EQ(u32(fdb::IOCTL_FDB_GET_CARD_TYPE), 0u);
    std::uint8_t small[2];
    EXPECT_EQ(control(fdb::IOCTL_GET_EEPROM_KIND, nullptr, 0, small, sizeof small).error, DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_FALSE(control(fdb::IOCTL_FDB_UNSUPPORTED_6400, nullptr, 0, nullptr, 0).ok);
    EXPECT_FALSE(control(fdb::IOCTL_GET_LEDS_STATE, nullptr, 0, small, sizeof small).ok);
    // The card configuration word takes exactly four bytes: any other size is refused, nothing written.
    std::uint32_t words[2] = {0xDEADBEEF, 0xDEADBEEF};
    EXPECT_EQ(control(fdb::IOCTL_GET_CARD_CONF, nullptr, 0, words, 4).returned, 4u);
    for (const DWORD size : {3u, 5u, 8u}) {
        words[0] = words[1] = 0xDEADBEEF;
        const Reply r = control(fdb::IOCTL_GET_CARD_CONF, nullptr, 0, words, size);
        EXPECT_EQ(r.error, DWORD{ERROR_INVALID_PARAMETER}) << size;
        EXPECT_EQ(r.returned, 0u);
        EXPECT_TRUE(words[0] == 0xDEADBEEF && words[1] == 0xDEADBEEF);
    }
    std::uint8_t bridge[84];
    const Reply dump = control(fdb::IOCTL_DUMP_BRIDGE_REGISTERS, nullptr, 0, bridge, sizeof bridge);
    EXPECT_TRUE(dump.ok);
    EXPECT_EQ(dump.returned, 84u);
    std::uint32_t interrupts;
    std::memcpy(&interrupts, bridge + 0x4C, 4);
    EXPECT_EQ(interrupts & (1u << 6), 0u);
    EXPECT_TRUE(control(fdb::IOCTL_FULLFIP2_RESET, nullptr, 0, nullptr, 0).ok);
}

// The software reset holds the board until the tick count has moved on by more than one tick, and
// the thread sleeps meanwhile instead of polling the count.
TEST_F(Ambrix, TheSoftwareResetHoldsTheBoardForItsTicksAsleep) {
    const std::uint32_t pulses = machine_->pciBoard(0).bridge().resetPulses();
    const std::uint64_t firstTick = qbase::kernelTickCount();
    const double cpuBefore = qtesting::threadCpuSeconds();
    EXPECT_TRUE(control(fdb::IOCTL_FULLFIP2_RESET, nullptr, 0, nullptr, 0).ok);
    const double cpuSeconds = qtesting::threadCpuSeconds() - cpuBefore;
    EXPECT_GE(qbase::kernelTickCount() - firstTick, 2u);
    EXPECT_EQ(machine_->pciBoard(0).bridge().resetPulses(), pulses + 1);
    EXPECT_LT(cpuSeconds, 0.005) << "processor time of a stall of 16 to 31 ms";
}

TEST_F(Ambrix, RegisterOffsetsStayInsideTheRange) {
    const std::uint32_t controller = machine_->pciBoard(0).controllerRange()->length();
    const std::uint32_t medium = machine_->pciBoard(0).mediumRange()->length();
    struct Case {
        DWORD code;
        std::uint32_t offset;
        bool ok;
    };
    const Case cases[] = {
        {fdb::IOCTL_FULLFIP2_READ_REGISTERS, 0, true},
        {fdb::IOCTL_FULLFIP2_READ_REGISTERS, controller - 4, true},
        {fdb::IOCTL_FULLFIP2_READ_REGISTERS, controller - 3, false},
        {fdb::IOCTL_FULLFIP2_READ_REGISTERS, 0xFFFFFFFE, false},  // wraps to 2 in 32 bits
        {fdb::IOCTL_FIELDUAL_READ_REGISTER, medium - 4, true},
        {fdb::IOCTL_FIELDUAL_READ_REGISTER, medium - 3, false},
        {fdb::IOCTL_FIELDUAL_WRITE_REGISTER, medium - 4, true},
        {fdb::IOCTL_FIELDUAL_WRITE_REGISTER, medium, false},
        {fdb::IOCTL_WRITE_CONTROL_REGISTER, 0xFFFFFFFC, false},
    };
    for (const Case& c : cases) {
        std::uint32_t buffer[2] = {c.offset, 0};
        const bool write = (c.code & 0xC000) == 0x8000;
        const Reply r = write ? control(c.code, buffer, 8, nullptr, 0) : control(c.code, buffer, 4, buffer, 4);
        EXPECT_EQ(r.ok, c.ok) << std::hex << c.code << " " << c.offset;
        if (!c.ok) {
            EXPECT_EQ(r.error, DWORD{ERROR_INVALID_PARAMETER});
        }
    }
}

TEST_F(Ambrix, EepromRoundTripAndSerialNumber) {
    qbase::VirtualClock clock;  // the bit timing stalls a clock tick at a time
    std::array<std::uint8_t, 194> write{};
    write[0] = 2;   // words
    write[1] = 10;  // address
    const std::uint8_t words[4] = {0x12, 0x34, 0xAB, 0xCD};
    std::memcpy(write.data() + 2, words, 4);
    std::uint8_t result = 0;
    ASSERT_TRUE(control(fdb::IOCTL_WRITE_EEPROM, write.data(), 194, &result, 1).ok);
    EXPECT_EQ(result, 4);
    std::array<std::uint8_t, 194> read{};
    read[0] = 2;
    read[1] = 10;
    const Reply r = control(fdb::IOCTL_READ_EEPROM, read.data(), 2, read.data(), 193);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.returned, 193u);
    EXPECT_EQ(read[0], 4);
    EXPECT_EQ(std::memcmp(read.data() + 1, words, 4), 0);
    EXPECT_EQ(control(fdb::IOCTL_READ_EEPROM, read.data(), 3, read.data(), 193).error, DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(u32(fdb::IOCTL_GET_SERIAL_NUMBER), machine_->pciBoard(0).config().serialNumber);
}

TEST_F(Ambrix, CardMemoryPageRoundTrip) {
    std::array<std::uint8_t, fdb::kWritePhyInput> page{};
    page[0] = 3;  // page 3
    for (std::size_t i = 2; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(control(fdb::IOCTL_WRITE_PHY, page.data(), page.size(), nullptr, 0).ok);
    std::array<std::uint8_t, fdb::kPageBytes> back{};
    back[0] = 3;
    const Reply r = control(fdb::IOCTL_READ_PHY, back.data(), 2, back.data(), back.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.returned, fdb::kPageBytes);
    EXPECT_EQ(std::memcmp(back.data(), page.data() + 2, back.size()), 0);
}

TEST_F(Ambrix, ACardThatNeverAnswersTimesOutAsAnError) {
    qbase::VirtualClock clock;  // the 50 s wait runs at once
    sim::FaultKnobs silent;
    silent.noAnswer = true;
    machine_->pciBoard(0).controller().setFaults(silent);
    std::array<std::uint8_t, fdb::kPageBytes> page{};
    const Reply r = control(fdb::IOCTL_READ_PHY, page.data(), 2, page.data(), page.size());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, DWORD{ERROR_SEM_TIMEOUT});
}

TEST_F(Ambrix, SurpriseRemovalThenRemovalReleasesTheBoardOnce) {
    const auto& boards = machine_->description().boards;
    std::size_t first = 0;
    while (!std::holds_alternative<sim::PciBoardConfig>(boards.at(first))) ++first;
    const qk::pnp::DeviceNodeId node = machine_->enumerations().at(first).node;
    EXPECT_EQ(qk::pnp::queryStop(node), qk::NTSTATUS(0xC0000001));
    EXPECT_EQ(qk::pnp::surpriseRemove(node), qk::NTSTATUS{0});
    EXPECT_EQ(value("Active_Index").at(0), 0);
    std::uint32_t type = 0;
    EXPECT_EQ(control(fdb::IOCTL_FDB_GET_CARD_TYPE, nullptr, 0, &type, 4).error, DWORD{433});  // no such device
    CloseHandle(board_);
    board_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(qk::pnp::remove(node), qk::NTSTATUS{0});
    EXPECT_EQ(value("Active_Index").at(0), 0);
    EXPECT_EQ(openBoard(), INVALID_HANDLE_VALUE);
}

}  // namespace
