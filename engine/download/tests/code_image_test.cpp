#include "download/code_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/machine_root.h"
#include "base/registry_store.h"
#include "engine_errors.h"
#include "memory_card.h"

namespace corvix::download {
namespace {

using testing::MemoryCard;

// A code image of `count` blocks: block i goes to byte address 128 x (i + 1) + 5 (page i + 1) and
// holds bytes i, i + 1, ...
std::string codeImage(int count) {
    std::string file{static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)};
    for (int i = 0; i < count; ++i) {
        const int address = 128 * (i + 1) + 5;
        file += static_cast<char>(address & 0xFF);
        file += static_cast<char>(address >> 8);
        for (int b = 0; b < 128; ++b) file += static_cast<char>(i + b);
    }
    return file;
}

std::string writeFile(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = qbase::machineRoot() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

TEST(CodeImageParse, BlocksGoToTheirPages) {
    std::vector<CodeBlock> blocks;
    ASSERT_TRUE(parseCodeImage(codeImage(3), blocks));
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[2].page, 3);
    EXPECT_EQ(blocks[2].bytes[0], 2);
    EXPECT_EQ(blocks[2].bytes[127], 129 & 0xFF);
    ASSERT_TRUE(parseCodeImage(codeImage(0), blocks));
    EXPECT_TRUE(blocks.empty());
}

TEST(CodeImageParse, DamagedImagesAreRefusedWhole) {
    const std::string good = codeImage(3);
    std::vector<CodeBlock> blocks;
    for (const std::string& bad : {std::string(), std::string(1, '\x01'), good.substr(0, good.size() - 1),
                                   good.substr(0, 2 + 130)}) {
        EXPECT_FALSE(parseCodeImage(bad, blocks)) << bad.size();
        EXPECT_TRUE(blocks.empty());
    }
}

// Only the counted blocks are read: bytes after them (a partial block, a whole one) do not count.
TEST(CodeImageParse, BytesAfterTheCountedBlocksAreLeftUnread) {
    const std::string good = codeImage(3);
    std::vector<CodeBlock> blocks;
    for (const std::string& longer : {good + "x", good + codeImage(1).substr(2)}) {
        ASSERT_TRUE(parseCodeImage(longer, blocks)) << longer.size();
        ASSERT_EQ(blocks.size(), 3u);
        EXPECT_EQ(blocks[2].page, 3);
    }
}

TEST(CodeImageDownload, WritesAndVerifiesEveryBlock) {
    MemoryCard card;
    ASSERT_EQ(downloadCodeImage(card, writeFile("kernala.dat", codeImage(4)).c_str()), 0u);
    EXPECT_EQ(card.writes, (std::vector<std::uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(card.memory[4][127], (3 + 127) & 0xFF);
}

// Only the counted blocks are read from the file, however large it is: 64 GiB of zeros after them
// (holding no room on the disk) cost nothing, and a count beyond the blocks present is refused.
TEST(CodeImageDownload, ReadsTheCountedBlocksOfAFileOfAnySize) {
    MemoryCard card;
    const std::string path = writeFile("kernala.dat", codeImage(4));
    std::filesystem::resize_file(path, std::uintmax_t{64} << 30);
    ASSERT_EQ(downloadCodeImage(card, path.c_str()), 0u);
    EXPECT_EQ(card.writes, (std::vector<std::uint16_t>{1, 2, 3, 4}));

    std::string promising = codeImage(4);
    promising[0] = '\xFF';
    promising[1] = '\xFF';
    EXPECT_EQ(downloadCodeImage(card, writeFile("kernala.dat", promising).c_str()), kErrCodeImageNotOpened);
    EXPECT_EQ(card.writes.size(), 4u);
}

struct FaultCase {
    const char* what;
    int failWrite, failRead, corrupt;  // page or -1
    ErrorCode code;
    std::size_t writes;                // pages written before the download stopped
};

class CodeImageFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CodeImageFault, StopsAtTheFailingBlock) {
    const FaultCase& f = GetParam();
    MemoryCard card;
    if (f.failWrite >= 0) card.failWriteAt = {f.failWrite};
    if (f.failRead >= 0) card.failReadAt = {f.failRead};
    if (f.corrupt >= 0) {
        card.corruptReadAt = {f.corrupt};
        card.corruptByte = 77;
    }
    EXPECT_EQ(downloadCodeImage(card, writeFile("kernala.dat", codeImage(4)).c_str()), f.code) << f.what;
    EXPECT_EQ(card.writes.size(), f.writes) << f.what;
}

INSTANTIATE_TEST_SUITE_P(Faults, CodeImageFault, ::testing::Values(
    FaultCase{"page write failed", 3, -1, -1, kErrCodeImageWrite, 2},
    FaultCase{"read-back failed", -1, 2, -1, kErrCodeImageReadBack, 2},
    FaultCase{"one byte differs", -1, -1, 4, kErrCodeImageDiffers, 4}));

TEST(CodeImageDownload, MissingOrTruncatedFileWritesNothing) {
    MemoryCard card;
    EXPECT_EQ(downloadCodeImage(card, (qbase::machineRoot() / "none.dat").c_str()), kErrCodeImageNotOpened);
    const std::string truncated = codeImage(4).substr(0, 300);
    EXPECT_EQ(downloadCodeImage(card, writeFile("short.dat", truncated).c_str()), kErrCodeImageNotOpened);
    EXPECT_TRUE(card.writes.empty());
}

TEST(CodeImagePath, FromDllpathElseThePlainName) {
    qbase::markMachineBooted(true);  // the test writes the engine's key itself
    using qbase::registry::Root;
    qbase::registry::deleteKey(Root::LocalMachine, "Software\\Talvenor\\Corvix");
    EXPECT_EQ(codeImagePath(), "kernala.dat");
    ASSERT_TRUE(qbase::registry::setValue(Root::LocalMachine, "Software\\Talvenor\\Corvix", "Dllpath",
                                          qbase::registry::stringValue("C:\\Corvix")) ||
                (qbase::registry::createKey(Root::LocalMachine, "Software\\Talvenor\\Corvix") &&
                 qbase::registry::setValue(Root::LocalMachine, "Software\\Talvenor\\Corvix", "Dllpath",
                                           qbase::registry::stringValue("C:\\Corvix"))));
    EXPECT_EQ(codeImagePath(), "C:\\Corvix\\kernala.dat");
    qbase::registry::setValue(Root::LocalMachine, "Software\\Talvenor\\Corvix", "Dllpath",
                              qbase::registry::dwordValue(1));
    EXPECT_EQ(codeImagePath(), "kernala.dat");
}

}  // namespace
}  // namespace corvix::download
