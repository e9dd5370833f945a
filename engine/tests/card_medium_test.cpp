// MEDIUM_CONTROL per board variant and the START_COMMUNICATION sequence, on a scripted board whose
// card pages 3 and 129 hold the medium error counters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "corvix.h"
#include "engine_errors.h"
#include "engine_fixture.h"
#include "fdb_ioctl.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class Medium : public EngineOnScriptedBoard {
protected:
    void SetUp() override {
        EngineOnScriptedBoard::SetUp();
        pages[3].resize(128, 0);
        pages[129].resize(128, 0);
        board.answer(fdb::IOCTL_READ_PHY, [this](const Request& r) {
            const int page = r.input[0] | r.input[1] << 8;
            return qk::ControlResult{0, pages.count(page) ? pages[page] : Bytes(128, 0)};
        });
        board.answer(fdb::IOCTL_FDB_MEDIUM_ACCESS, Bytes{0xFF});
    }
    // Card words are stored most significant byte first.
    void setWord(int page, int word, std::uint16_t value) {
        pages[page][2 * word] = static_cast<std::uint8_t>(value >> 8);
        pages[page][2 * word + 1] = static_cast<std::uint8_t>(value);
    }
    std::uint8_t control(std::uint8_t command, ErrorCode expected = kSuccess) {
        std::uint8_t status = 0xEE;
        EXPECT_EQ(MEDIUM_CONTROL(command, &status), expected) << int(command);
        return status;
    }
    std::map<int, Bytes> pages;
};

TEST_F(Medium, CommandAboveSevenAndUnknownVariantAreRefusedUntouched) {
    control(8, kErrMediumCommand);
    context().boardVariant = 0;
    for (std::uint8_t command = 0; command <= 7; ++command) control(command, kErrUnknownVariant);
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(Medium, DualMediumReportsTheRegisterAndWhichCounterMoved) {
    setWord(3, 2, 0x0100);
    setWord(3, 3, 0x0200);
    EXPECT_EQ(control(1), 0x3F);  // the references are taken: nothing moved
    EXPECT_EQ(board.requests()[0].input, Bytes{1});
    EXPECT_EQ(control(0), 0x3F);
    setWord(3, 3, 0x0201);
    EXPECT_EQ(control(0), 0xBF);
    setWord(3, 2, 0x0101);
    EXPECT_EQ(control(7), 0xFF);
    EXPECT_EQ(control(1), 0x3F);
    for (std::uint8_t command = 2; command <= 7; ++command) control(command);
}

TEST_F(Medium, SingleMediumBoardAllowsOnlyStatusAndClearAndSendsNoMediumCommand) {
    context().boardVariant = 2;
    for (std::uint8_t command = 2; command <= 7; ++command) control(command, kErrMediumNotAllowed);
    setWord(3, 2, 0x0010);
    setWord(129, 4, 0x0020);
    EXPECT_EQ(control(1), 0x01);
    EXPECT_EQ(control(0), 0x01);
    setWord(3, 2, 0x0011);
    EXPECT_EQ(control(0), 0x41);
    setWord(129, 5, 0x0001);
    EXPECT_EQ(control(0), 0x45);
    for (const Request& r : board.requests()) EXPECT_EQ(r.code, fdb::IOCTL_READ_PHY);
}

TEST_F(Medium, AFailedPageReadIsThePlatformError) {
    board.fail(fdb::IOCTL_READ_PHY, kStatusIoTimeout);
    control(0, kErrDeviceTimeout);
}

TEST_F(Medium, StartCommunicationOnADualMediumBoard) {
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    std::vector<std::pair<std::uint32_t, Bytes>> seen;
    for (const Request& r : board.requests()) seen.emplace_back(r.code, r.input);
    const Bytes page3{3, 0};
    EXPECT_THAT(seen, ElementsAre(std::pair{fdb::IOCTL_FULLFIP2_RESET, Bytes{}},
                                  std::pair{fdb::IOCTL_FDB_MEDIUM_ACCESS, Bytes{2}}, std::pair{fdb::IOCTL_READ_PHY, page3},
                                  std::pair{fdb::IOCTL_FDB_MEDIUM_ACCESS, Bytes{3}}, std::pair{fdb::IOCTL_READ_PHY, page3},
                                  std::pair{fdb::IOCTL_FDB_MEDIUM_ACCESS, Bytes{6}}, std::pair{fdb::IOCTL_READ_PHY, page3},
                                  std::pair{fdb::IOCTL_FDB_MEDIUM_ACCESS, Bytes{1}}, std::pair{fdb::IOCTL_READ_PHY, page3},
                                  std::pair{fdb::IOCTL_FDB_START_CIRCUIT, Bytes{0x00, 0x06}},
                                  std::pair{fdb::IOCTL_FDB_END_TEST, Bytes{}},
                                  std::pair{fdb::IOCTL_FDB_DEF_PARAM, Bytes{7}}));
}

TEST_F(Medium, StartCommunicationOnASingleMediumBoard) {
    context().boardVariant = 2;
    setWord(129, 3, 0x4444);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    EXPECT_THAT(board.codes(), ElementsAre(fdb::IOCTL_FULLFIP2_RESET, fdb::IOCTL_READ_PHY, fdb::IOCTL_READ_PHY,
                                           fdb::IOCTL_FDB_START_CIRCUIT, fdb::IOCTL_FDB_END_TEST,
                                           fdb::IOCTL_FDB_DEF_PARAM));
    EXPECT_EQ(board.requests().back().input, Bytes{5});
    EXPECT_EQ(context().mediumRefC, 0x4444);
}

TEST_F(Medium, StartCommunicationFailures) {
    context().boardVariant = 0;
    EXPECT_EQ(START_COMMUNICATION(), kErrUnknownVariant);
    EXPECT_THAT(board.codes(), ElementsAre(fdb::IOCTL_FULLFIP2_RESET));
    context().boardVariant = 1;
    board.fail(fdb::IOCTL_FDB_END_TEST, kStatusIoTimeout);
    EXPECT_EQ(START_COMMUNICATION(), kErrDeviceTimeout);
    board.answer(fdb::IOCTL_FDB_END_TEST, Bytes{});
    board.answer(fdb::IOCTL_FDB_DEF_PARAM, Bytes{0x8C});
    EXPECT_EQ(START_COMMUNICATION(), 0x6000000Cu);
    board.fail(fdb::IOCTL_FULLFIP2_RESET, kStatusIoTimeout);
    board.clear();
    EXPECT_EQ(START_COMMUNICATION(), kErrDeviceTimeout);
    EXPECT_EQ(board.requests().size(), 1u);
}

}  // namespace
}  // namespace corvix::testing
