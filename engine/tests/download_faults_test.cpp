// DOWNLOAD_CNF on a board of the simulated machine: the installed code image in card memory, the
// read-back faults that the controller can be made to show, the refused configurations and the
// card's page limit. After a failure the card holds exactly what was written before it.
#include <gtest/gtest.h>

#include <fstream>

#include "download_fixture.h"
#include "expected_card.h"
#include "sim/machine/code_image.h"

namespace corvix::testing {
namespace {

constexpr std::uint32_t kCodePages = sim::kCodeImagePages;  // the machine's kernala.dat: pages 0..95
constexpr std::uint32_t kClearWrites = kClearedPages;       // clearing card memory: one page write each
constexpr std::uint8_t kWritePhy = sim::cmd::kWritePhy, kReadPhy = sim::cmd::kReadPhy;

// T = 8, M = 4, without BA memory: the header page 128 and the descriptor pages from page 160.
records::Configuration small() {
    records::Configuration c = bareConfiguration(8, 4, false);
    for (std::uint16_t id : {0x30, 0x10, 0x20}) c.variables.push_back(variableRecord({.identifier = id}));
    c.messages = {message("tx", 1, 0, 2, 0, true)};
    return c;
}

// Its header page, by hand: the parameters of a new configuration (1 Mbit/s, slot time 0,
// turnaround 14, silence 22, election count 518, start delay 8712, WorldFIP frames).
ExpectedCard smallHeader() {
    ExpectedCard card;
    card.page(128, {{0, 0x200A}, {1, 11}, {3, 8}, {4, 10}, {5, 154}, {6, 127}, {7, 156}, {8, 127}, {9, 158},
                    {10, 127}, {11, 195}, {12, 3}, {13, 0x2800}, {16, 0x1639}, {17, 8712}, {18, 518}, {20, 6},
                    {22, 1}, {32, 114}, {33, 2}});
    return card;
}

class DownloadFaults : public DownloadOnMachine {
protected:
    void SetUp() override { start(); }
    // The machine installs its image once per machine root: a damaged one is put right for the
    // tests that follow in this process.
    void TearDown() override {
        installCodeImage(sim::codeImage());
        DownloadOnMachine::TearDown();
    }
    void installCodeImage(const std::vector<std::uint8_t>& bytes) {
        std::ofstream(machine().codeImageFolder() / "kernala.dat", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(DownloadFaults, TheInstalledCodeImageLiesInCardMemory) {
    ASSERT_EQ(download(small()), kSuccess);
    for (std::uint16_t p = 0; p < kCodePages; ++p) {
        const sim::Page page = card().page(p);
        ASSERT_TRUE(std::equal(page.begin(), page.end(), sim::codeImagePage(p).begin())) << "page " << p;
    }
    const sim::Page first = card().page(0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.data())), "QUORELLE SIMULATED FIP KERNEL");
}

TEST_F(DownloadFaults, AByteThatReadsBackChangedStopsTheCodeImage) {
    faults([](sim::FaultKnobs& k) { k.readBackCorruption = sim::FaultKnobs::Corruption{5, 9, 0x40}; });
    EXPECT_EQ(download(small()), kErrCodeImageDiffers);
    ExpectedCard().codeImageUpTo(5).expectOn(card());  // page 5 itself was written whole
}

TEST_F(DownloadFaults, AFailedReadBackStopsTheCodeImage) {
    faults([](sim::FaultKnobs& k) { k.refusal[kReadPhy] = 0x82; });
    EXPECT_EQ(download(small()), kErrCodeImageReadBack);
    ExpectedCard().codeImageUpTo(0).expectOn(card());
}

TEST_F(DownloadFaults, AFailedCodePageWriteStopsTheCodeImage) {
    faults([](sim::FaultKnobs& k) { k.lateRefusal = sim::FaultKnobs::LateRefusal{kWritePhy, kClearWrites + 3, 0x82}; });
    EXPECT_EQ(download(small()), kErrCodeImageWrite);
    ExpectedCard().codeImageUpTo(2).expectOn(card());
}

TEST_F(DownloadFaults, ATruncatedCodeImageWritesNoPartOfIt) {
    std::vector<std::uint8_t> image = sim::codeImage();
    image.pop_back();
    installCodeImage(image);
    EXPECT_EQ(download(small()), kErrCodeImageNotOpened);
    ExpectedCard().noCodeImage().expectOn(card());
    // A block count beyond the blocks present is as damaged.
    image = sim::codeImage();
    image[0] = static_cast<std::uint8_t>(kCodePages + 1);
    installCodeImage(image);
    EXPECT_EQ(download(small()), kErrCodeImageNotOpened);
    ExpectedCard().noCodeImage().expectOn(card());
}

TEST_F(DownloadFaults, AFailedHeaderWriteResetsTheBoard) {
    faults([](sim::FaultKnobs& k) {
        k.lateRefusal = sim::FaultKnobs::LateRefusal{kWritePhy, kClearWrites + kCodePages, 0x82};
    });
    const std::uint32_t resets = card().resetCount();
    EXPECT_EQ(download(small()), kErrBaPageAccess);
    EXPECT_EQ(card().resetCount(), resets + 2);  // before clearing, and after the failed write
    ExpectedCard().expectOn(card());
}

TEST_F(DownloadFaults, AFailedDescriptorWriteLeavesTheEarlierPages) {
    // The header and the first slot page are written, the second slot page is refused.
    faults([](sim::FaultKnobs& k) {
        k.lateRefusal = sim::FaultKnobs::LateRefusal{kWritePhy, kClearWrites + kCodePages + 2, 0x82};
    });
    const std::uint32_t resets = card().resetCount();
    EXPECT_EQ(download(small()), kErrBaPageAccess);
    EXPECT_EQ(card().resetCount(), resets + 1);  // no reset after a descriptor page
    ExpectedCard expected = smallHeader();
    for (int s = 0; s < 4; ++s) expected.descriptor(160, s, {0x10, 1});
    expected.expectOn(card());
}

// Refused before any page of the image is written: the card holds the code image alone.
struct RefusedCase {
    const char* name;
    std::uint16_t variableTable;
    std::uint16_t messageTable;
    int variables;
    int transmitted;
    ErrorCode code;
};

class Refused : public DownloadFaults, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, WritesNoPageOfTheImage) {
    const RefusedCase& p = GetParam();
    records::Configuration c = bareConfiguration(p.variableTable, p.messageTable, true);
    c.sequence1 = {records::make_instruction("WAIT(1)")};
    for (int i = 0; i < p.variables; ++i)
        c.variables.push_back(variableRecord({.identifier = static_cast<std::uint16_t>(i)}));
    for (int i = 0; i < p.transmitted; ++i) c.messages.push_back(message("tx", 1, 0, 2, 0, true));
    EXPECT_EQ(download(c), p.code);
    ExpectedCard().expectOn(card());
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Refused,
    ::testing::Values(RefusedCase{"TableOf4096", 4096, 4, 4095, 0, kErrVariableTableTooLarge},
                      RefusedCase{"TableOf4096Empty", 4096, 4, 0, 0, kErrVariableTableTooLarge},
                      RefusedCase{"NineInATableOfEight", 8, 4, 9, 0, kErrVariableTableTooLarge},
                      RefusedCase{"MoreTransmittedMessagesThanTheTable", 8, 4, 1, 5, kErrCardImageTooLarge}),
    [](const auto& info) { return std::string(info.param.name); });

// A file of 4096 variables, one more than the designer writes, in a table of 4095.
TEST_F(DownloadFaults, AFileOf4096VariablesIsRefused) {
    records::Configuration c = bareConfiguration(4095, 4, false);
    for (int i = 0; i < 4095; ++i) c.variables.push_back(variableRecord({.identifier = static_cast<std::uint16_t>(i)}));
    std::vector<std::uint8_t> file = records::encode_format4(c);
    // The variable count follows the magic, the BA block, two empty macro lists, no messages and
    // the 34-byte header.
    const std::size_t count = 11 + 262 + 2 + 2 + 2 + 34;
    ASSERT_EQ(file[count] | file[count + 1] << 8, 4095);
    file[count] = 0x00;
    file[count + 1] = 0x10;
    const auto extra = records::to_bytes(variableRecord({.identifier = 0x7777}));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(count + 2 + 4095 * records::VARIABLE4::size), extra.begin(),
                extra.end());
    EXPECT_EQ(downloadFile(file), kErrVariableTableTooLarge);
    ExpectedCard().expectOn(card());
}

// With BA memory a full table of 4095 slots fills pages 1024..2047; the buffer descriptors that
// follow would start at page 16 x (54 + 63 + 11) = 2048.
TEST_F(DownloadFaults, AFullTableWithBaMemoryStopsAtTheLastPage) {
    records::Configuration c = bareConfiguration(4095, 4, true);
    c.sequence1 = {records::make_instruction("WAIT(1)")};
    for (int i = 0; i < 4095; ++i) c.variables.push_back(variableRecord({.identifier = static_cast<std::uint16_t>(i)}));
    EXPECT_EQ(download(c), kErrCardImageTooLarge);
    EXPECT_EQ(wordsOf(card().page(2047))[0], 4092);
    EXPECT_EQ(wordsOf(card().page(2047))[48], 0);  // slot 4095 lies outside the table
}

// Without BA memory the marker page is H11 = ((M + T) >> 2) + 16 x (T >> 6) + 192: with T = 3648
// and M = 124 it is 2047, the card's last page; M = 128 would put it at 2048. (Without variables, so
// that no data page of a variable, from H11 + 4, lies past the card.)
records::Configuration reachingTheLimit(std::uint16_t messageTable, int variables = 0, int receivedMessages = 0) {
    records::Configuration c = bareConfiguration(3648, messageTable, false);
    for (int i = 0; i < variables; ++i)
        c.variables.push_back(variableRecord({.identifier = static_cast<std::uint16_t>(0x10 * (i + 1))}));
    for (int i = 0; i < receivedMessages; ++i) c.messages.push_back(message("rx", 1, 0, 2, 0, false));
    return c;
}

TEST_F(DownloadFaults, AnImageEndingOnTheLastPageIsWritten) {
    ASSERT_EQ(download(reachingTheLimit(124)), kSuccess);
    ExpectedCard expected;
    expected.page(128, {{0, 0xB00A}, {1, 57 + 11}, {3, 3648}, {4, 10}, {5, 154}, {6, 127}, {7, 156}, {8, 127},
                        {9, 158}, {10, 127}, {11, 2047}, {12, 3}, {13, 0x2800}, {16, 0x1639}, {17, 8712}, {18, 518},
                        {20, 6}, {22, 1}, {32, 16 * 3648 - 14}, {33, 2}});
    expected.page(2047, {{0, 2}});
    expected.expectOn(card());
}

TEST_F(DownloadFaults, AnImagePastTheLastPageIsRefusedBeforeTheWrite) {
    const std::uint32_t resets = card().resetCount();
    EXPECT_EQ(download(reachingTheLimit(128)), kErrCardImageTooLarge);
    EXPECT_EQ(wordsOf(card().page(128))[11], 2048);
    EXPECT_EQ(wordsOf(card().page(2047)), powerOnWords(2047));
    EXPECT_EQ(card().resetCount(), resets + 1);  // no final reset
    // Buffer descriptors running past the last page: (3648 + 400 + 64) / 4 + 1 = 1029 pages from
    // 16 x (57 + 11) = 1088, after 912 slot pages from 160. Those up to page 2047 are written.
    EXPECT_EQ(download(reachingTheLimit(4, 3, 400)), kErrCardImageTooLarge);
    EXPECT_EQ(wordsOf(card().page(160 + 911))[48], 0x30);
    EXPECT_EQ(wordsOf(card().page(1088))[14], 0x10);
    EXPECT_EQ(wordsOf(card().page(2047)), Words{});
}

}  // namespace
}  // namespace corvix::testing
