// The drivers' FULLFIP2 command layer against the simulated board: every command family end to
// end, with the protocol checker watching, and the faults as the driver sees them.
#include <gtest/gtest.h>

#include <vector>

#include "base/clock.h"
#include "command_handlers.h"
#include "fdb_ioctl.h"
#include "sim/boards/pc104_board.h"
#include "sim/machine/code_image.h"
#include "sim/tests/register_script.h"

namespace sim {
namespace {

using fullfip2::Completion;
namespace nt = fullfip2::nt;

class BoardAccessor final : public fullfip2::RegisterAccessor {
public:
    explicit BoardAccessor(Pc104Board& board) : ports_(*board.ports()) {}
    std::uint8_t readFullfip(std::uint8_t reg) override { return ports_.read8(reg); }
    void writeFullfip(std::uint8_t reg, std::uint8_t value) override { ports_.write8(reg, value); }
    std::uint8_t readFieldual(std::uint8_t reg) override { return ports_.read8(pc104::kFielddual + reg); }
    void writeFieldual(std::uint8_t reg, std::uint8_t value) override { ports_.write8(pc104::kFielddual + reg, value); }

private:
    qk::hw::PortRange& ports_;
};

class CommandLayer : public ::testing::Test {
protected:
    qbase::VirtualClock clock;
    Pc104Board board{Pc104BoardConfig{}};
    BoardAccessor accessor{board};

    Completion run(std::uint32_t code, std::vector<std::uint8_t>& buffer, std::uint32_t in, std::uint32_t out) {
        buffer.resize(std::max<std::size_t>({buffer.size(), in, out}));
        return fullfip2::findHandler(code)(accessor, in, out, buffer.data());
    }
    void TearDown() override {
        const auto v = board.controller().checker().violations();
        EXPECT_TRUE(v.empty()) << v.front();
    }
};

TEST_F(CommandLayer, PagesAndClearingCardMemory) {
    std::vector<std::uint8_t> page = {7, 0};
    const auto image = codeImagePage(7);
    page.insert(page.end(), image.begin(), image.end());
    EXPECT_EQ(run(fdb::IOCTL_WRITE_PHY, page, 130, 0), (Completion{nt::kSuccess, 0}));
    std::vector<std::uint8_t> read = {7, 0};
    EXPECT_EQ(run(fdb::IOCTL_READ_PHY, read, 2, 128), (Completion{nt::kSuccess, 128}));
    EXPECT_EQ(std::vector<std::uint8_t>(read.begin(), read.begin() + 128), image);

    std::vector<std::uint8_t> none;
    EXPECT_EQ(run(fdb::IOCTL_FDB_FIP_RAZ_MEM, none, 0, 0).status, nt::kSuccess);
    EXPECT_EQ(board.card().page(7), Page{});
    EXPECT_EQ(board.card().page(1023), Page{});
    EXPECT_EQ(board.card().page(1024)[0], 0xA5);  // beyond the cleared half
}

TEST_F(CommandLayer, VariablesThroughWriteAndRead) {
    testing::installVariables(board.card(), {{true, 3}});
    std::vector<std::uint8_t> write(130, 0);
    write[2] = 0x11, write[3] = 0x22, write[4] = 0x33;
    EXPECT_EQ(run(fdb::IOCTL_FDB_WRITE_VAR, write, 130, 1), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(write[0], 0);
    std::vector<std::uint8_t> read = {0, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_READ_VAR, read, 2, 133), (Completion{nt::kSuccess, 5}));
    EXPECT_EQ(std::vector<std::uint8_t>(read.begin(), read.begin() + 5), (std::vector<std::uint8_t>{0x20, 3, 0x11, 0x22, 0x33}));
    std::vector<std::uint8_t> unknown = {9, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_READ_VAR, unknown, 2, 133), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(unknown[0], refusal::kUnknownObject);
}

TEST_F(CommandLayer, MessagesAndEvents) {
    std::vector<std::uint8_t> write(256, 0);
    write[0] = 70, write[2] = 252;
    for (int i = 0; i < 252; ++i) write[4 + i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(run(fdb::IOCTL_FDB_WRITE_MSG, write, 256, 1), (Completion{nt::kSuccess, 1}));
    std::vector<std::uint8_t> send = {70, 0, 1, 1, 0, 0, 5, 0, 0, 6, 0, 0x21, 0x90, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_SEND_MSG, send, 14, 1), (Completion{nt::kSuccess, 1}));
    ASSERT_EQ(board.card().sentMessages().size(), 1u);
    EXPECT_EQ(board.card().sentMessages()[0].data.size(), 252u);

    board.card().deliverMessage(3, ReceivedMessage{{0x0102, 0, 0x0304, 0}, {9, 8, 7}});
    std::vector<std::uint8_t> pending;
    EXPECT_EQ(run(fdb::IOCTL_FDB_IS_EVT, pending, 0, 1), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(pending[0] & 0x20, 0x20);
    std::vector<std::uint8_t> event;
    EXPECT_EQ(run(fdb::IOCTL_FDB_READ_EVT, event, 0, 5), (Completion{nt::kSuccess, 5}));
    EXPECT_EQ(event[1], 2);
    EXPECT_EQ(event[4], 3);
    std::vector<std::uint8_t> header = {3, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_RECEIVE_MSG, header, 2, 9), (Completion{nt::kSuccess, 9}));
    EXPECT_EQ(header[2], 3);
    std::vector<std::uint8_t> data = {3, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_READ_MSG, data, 2, 252), (Completion{nt::kSuccess, 4}));
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + 1, data.begin() + 4), (std::vector<std::uint8_t>{9, 8, 7}));
}

TEST_F(CommandLayer, StartOfCommunicationAndTheBusArbitrator) {
    std::vector<std::uint8_t> circuit = {0x00, 0x06};
    EXPECT_EQ(run(fdb::IOCTL_FDB_START_CIRCUIT, circuit, 2, 0).status, nt::kSuccess);
    std::vector<std::uint8_t> none;
    EXPECT_EQ(run(fdb::IOCTL_FDB_END_TEST, none, 0, 0).status, nt::kSuccess);
    std::vector<std::uint8_t> param = {7};
    EXPECT_EQ(run(fdb::IOCTL_FDB_DEF_PARAM, param, 1, 1), (Completion{nt::kSuccess, 1}));
    EXPECT_TRUE(board.card().circuitStarted());
    EXPECT_TRUE(board.card().testEnded());
    EXPECT_EQ(board.card().communicationParameter(), 7);

    std::vector<std::uint8_t> report;
    run(fdb::IOCTL_FDB_BA_REPORT, report, 0, 1);
    EXPECT_EQ(report[0], ba::kStopped);
    std::vector<std::uint8_t> start = {160, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_START_BA, start, 2, 1), (Completion{nt::kSuccess, 1}));
    run(fdb::IOCTL_FDB_BA_REPORT, report, 0, 1);
    EXPECT_EQ(report[0], ba::kStarting);
    std::vector<std::uint8_t> stop;
    EXPECT_EQ(run(fdb::IOCTL_FDB_STOP_BA, stop, 0, 1), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(board.card().baState(), ba::kStopped);
}

TEST_F(CommandLayer, MediumAccessOnTheFielddual) {
    std::vector<std::uint8_t> op = {4};
    EXPECT_EQ(run(fdb::IOCTL_FDB_MEDIUM_ACCESS, op, 1, 1), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(op[0], medium::kChannel1);
}

TEST_F(CommandLayer, FaultsReachTheDriverAsItsStatuses) {
    FaultKnobs knobs;
    knobs.busyStuck = true;
    board.controller().setFaults(knobs);
    std::vector<std::uint8_t> report;
    EXPECT_EQ(run(fdb::IOCTL_FDB_BA_REPORT, report, 0, 1).status, nt::kDeviceBusy);

    knobs = FaultKnobs{};
    knobs.wrongSize[cmd::kReadPhy] = 64;
    board.controller().setFaults(knobs);
    std::vector<std::uint8_t> page = {1, 0};
    EXPECT_EQ(run(fdb::IOCTL_READ_PHY, page, 2, 128).status, nt::kInvalidDeviceState);

    knobs = FaultKnobs{};
    knobs.stall = FaultKnobs::Stall{cmd::kReadPhy, 64, kForever};
    board.controller().setFaults(knobs);
    EXPECT_EQ(fullfip2::completionStatus(run(fdb::IOCTL_READ_PHY, page, 2, 128).status), nt::kIoTimeout);
    EXPECT_EQ(board.ports()->read8(0) & 0x80, 0);  // CLOSE was written

    knobs = FaultKnobs{};
    knobs.refusal[cmd::kStartBa] = 0x86;
    board.controller().setFaults(knobs);
    std::vector<std::uint8_t> start = {160, 0};
    EXPECT_EQ(run(fdb::IOCTL_FDB_START_BA, start, 2, 1), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(start[0], 0x86);
}

}  // namespace
}  // namespace sim
