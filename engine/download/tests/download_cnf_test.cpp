// DOWNLOAD_CNF and BA_PROG through the engine's board commands, on a scripted board whose card
// memory is a table of pages.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/machine_root.h"
#include "base/registry_store.h"
#include "corvix.h"
#include "engine_errors.h"
#include "fdb_ioctl.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "tests/engine_fixture.h"

namespace corvix::testing {
namespace {

using Page = std::array<std::uint8_t, 128>;

// Card memory behind IOCTL_WRITE_PHY and IOCTL_READ_PHY; `corrupt` flips one bit of a read page.
struct CardMemory {
    std::map<int, Page> pages;
    int corrupt = -1;

    explicit CardMemory(ScriptedBoard& board) {
        board.answer(fdb::IOCTL_WRITE_PHY, [this](const Request& r) {
            Page& page = pages[r.input[0] | r.input[1] << 8];
            std::copy(r.input.begin() + 2, r.input.end(), page.begin());
            return qk::ControlResult{0, {}};
        });
        board.answer(fdb::IOCTL_READ_PHY, [this](const Request& r) {
            const int n = r.input[0] | r.input[1] << 8;
            Page page = pages[n];
            if (n == corrupt) page[5] ^= 0x10;
            return qk::ControlResult{0, std::vector<std::uint8_t>(page.begin(), page.end())};
        });
    }
    std::uint16_t word(int page, int index) { return static_cast<std::uint16_t>(pages[page][2 * index] << 8 | pages[page][2 * index + 1]); }
};

std::filesystem::path writeBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const auto path = qbase::machineRoot() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A code image of three blocks for pages 1, 2 and 3, installed where Dllpath names it.
void installCodeImage() {
    std::vector<std::uint8_t> image{3, 0};
    for (int block = 1; block <= 3; ++block) {
        image.push_back(static_cast<std::uint8_t>((128 * block) & 0xFF));
        image.push_back(static_cast<std::uint8_t>((128 * block) >> 8));
        for (int b = 0; b < 128; ++b) image.push_back(static_cast<std::uint8_t>(block * 16 + b));
    }
    writeBytes("kernala.dat", image);
    using qbase::registry::Root;
    qbase::registry::createKey(Root::LocalMachine, "Software\\Talvenor\\Corvix");
    qbase::registry::setValue(Root::LocalMachine, "Software\\Talvenor\\Corvix", "Dllpath",
                              qbase::registry::stringValue(qbase::machineRoot().string()));
}

records::Configuration configuration(bool ba) {
    records::Configuration c = records::new_configuration();
    c.param.variable_table_size = 8;
    c.param.message_table_size = 4;
    c.param.ba_size = ba ? 1 : 0;
    if (ba) c.sequence1 = {records::make_instruction("ID_DAT(30)"), records::make_instruction("SEND_APER(FFF)")};
    for (std::uint16_t id : {0x30, 0x10, 0x20}) c.variables.push_back(variable(id, ("v" + std::to_string(id)).c_str()));
    c.variables[2].flags = 0x01;  // receives messages
    c.messages = {message("out", 0x10, 0, 0x99, 0, true)};
    return c;
}

class DownloadCnf : public EngineOnScriptedBoard {
protected:
    void SetUp() override {
        EngineOnScriptedBoard::SetUp();
        installCodeImage();
    }
    std::uint32_t download(const records::Configuration& c) {
        const auto path = writeBytes("trv", records::encode_format4(c));
        return DOWNLOAD_CNF(path.c_str());
    }
    CardMemory card{board};
};

TEST_F(DownloadCnf, BringsTheBoardToTheConfiguredState) {
    ASSERT_EQ(download(configuration(true)), kSuccess);
    const auto codes = board.codes();
    ASSERT_GE(codes.size(), 10u);
    EXPECT_EQ(codes[0], fdb::IOCTL_FULLFIP2_RESET);
    EXPECT_EQ(codes[1], fdb::IOCTL_FDB_FIP_RAZ_MEM);
    for (int block = 0; block < 3; ++block) {
        EXPECT_EQ(codes[2 + 2 * block], fdb::IOCTL_WRITE_PHY);
        EXPECT_EQ(codes[3 + 2 * block], fdb::IOCTL_READ_PHY);
    }
    EXPECT_EQ(codes.back(), fdb::IOCTL_FULLFIP2_RESET);
    EXPECT_EQ(card.pages[2][0], 32);  // code image block 2

    // Header with BA memory; program 1 at page 160 with its slot on page 1021.
    EXPECT_EQ(card.word(128, 9), 1022);
    EXPECT_EQ(card.word(160, 0), 0x7030);
    EXPECT_EQ(card.word(160, 2), 64 * 1022 - 2);
    EXPECT_EQ(card.word(1021, 62), 0x30);
    std::int16_t program1 = 0, program2 = 0;
    GET_BA_PROGRAM_ADDR(&program1, &program2);
    EXPECT_EQ(program1, 160 * 64);
    EXPECT_EQ(program2, 0);

    // Variables sorted by identifier on the card and in the tables.
    EXPECT_EQ(card.word(1024, 0), 0x10);
    EXPECT_EQ(card.word(1024 + 1, 48), 0x30);  // slot 7
    std::int16_t index = -1, length = 0;
    std::uint8_t flags = 0;
    char name[33] = {};
    ASSERT_EQ(FIND_VAR_BY_ID(0x30, &index, name, &length, &flags), 1u);
    EXPECT_EQ(index, 2);
    EXPECT_STREQ(name, "v48");
    ASSERT_EQ(FIND_VAR_BY_ID(0x10, &index, name, &length, &flags), 1u);
    EXPECT_EQ(index, 0);

    // A variable receives messages: the message keys start at T + 64.
    EXPECT_EQ(context().messageKeyOffset, 1u);
    std::int16_t key = 0;
    ASSERT_EQ(FIND_MSG_BY_ID(0x10, 0, 0x99, 0, name, &key), 1u);
    EXPECT_EQ(key, 8 + 64);
}

TEST_F(DownloadCnf, WithoutBaMemoryNoProgramIsPlaced) {
    auto c = configuration(false);
    c.variables[2].flags = 0;
    ASSERT_EQ(download(c), kSuccess);
    EXPECT_EQ(card.word(128, 9), 158);
    EXPECT_EQ(card.word(160, 0), 0x10);  // variable descriptors at page 160
    EXPECT_EQ(context().messageKeyOffset, 0u);
    EXPECT_EQ(context().baProgram1Page, 0);
    std::int16_t key = 0;
    char name[33] = {};
    ASSERT_EQ(FIND_MSG_BY_ID(0x10, 0, 0x99, 0, name, &key), 1u);
    EXPECT_EQ(key, 8);
}

TEST_F(DownloadCnf, CodeImageFaultsStopTheDownload) {
    card.corrupt = 2;
    EXPECT_EQ(download(configuration(false)), kErrCodeImageDiffers);
    EXPECT_EQ(card.pages.count(128), 0u);
    card.corrupt = -1;
    board.fail(fdb::IOCTL_READ_PHY, kStatusInvalidDeviceRequest);
    EXPECT_EQ(download(configuration(false)), kErrCodeImageReadBack);
    board.fail(fdb::IOCTL_WRITE_PHY, kStatusInvalidDeviceRequest);
    EXPECT_EQ(download(configuration(false)), kErrCodeImageWrite);
}

TEST_F(DownloadCnf, MissingCodeImage) {
    std::filesystem::remove(qbase::machineRoot() / "kernala.dat");
    EXPECT_EQ(download(configuration(false)), kErrCodeImageNotOpened);
    EXPECT_EQ(board.codes(), (std::vector<std::uint32_t>{fdb::IOCTL_FULLFIP2_RESET, fdb::IOCTL_FDB_FIP_RAZ_MEM}));
}

TEST_F(DownloadCnf, ResetTimeOut) {
    board.fail(fdb::IOCTL_FULLFIP2_RESET, kStatusIoTimeout);
    EXPECT_EQ(download(configuration(false)), kErrDeviceTimeout);
    // The tables are loaded all the same.
    EXPECT_EQ(context().variableCount, 3);
}

TEST_F(DownloadCnf, FileThatCannotBeOpenedDoesNotTouchTheBoard) {
    EXPECT_EQ(DOWNLOAD_CNF((qbase::machineRoot() / "absent.cnf").c_str()), kErrConfigFileNotOpened);
    EXPECT_EQ(DOWNLOAD_CNF(nullptr), kErrConfigFileNotOpened);
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(DownloadCnf, TooManyVariablesWritesNoImagePage) {
    auto c = configuration(false);
    c.param.variable_table_size = 2;
    EXPECT_EQ(download(c), kErrVariableTableTooLarge);
    EXPECT_EQ(card.pages.count(128), 0u);
}

TEST_F(DownloadCnf, BaProgFromATextFile) {
    ASSERT_EQ(download(configuration(true)), kSuccess);
    const auto text = writeBytes("program.ba", {'B', 'E', 'G', 'I', 'N', ' ', 'W', 'A', 'I', 'T', '(', '2', ')', ' ',
                                                'E', 'N', 'D'});
    ASSERT_EQ(BA_PROG(text.c_str()), kSuccess);
    EXPECT_EQ(card.word(160, 0), 0x26);
    EXPECT_EQ(context().baProgram1Page, 160);
    EXPECT_EQ(BA_PROG((qbase::machineRoot() / "none.ba").c_str()), kErrBaTextNotOpened);
    EXPECT_EQ(context().baProgram1Page, 0);
}

TEST_F(DownloadCnf, ConfigurationNamingABaTextFile) {
    auto c = configuration(true);
    const auto text = writeBytes("seq.ba", {'B', 'E', 'G', 'I', 'N', ' ', 'W', 'A', 'I', 'T', '(', '3', ')', ' ',
                                            'E', 'N', 'D'});
    c.ba.program_from_file = 1;
    records::set_text(c.ba.program_path, text.string());
    ASSERT_EQ(download(c), kSuccess);
    EXPECT_EQ(card.word(160, 0), 0x36);
    EXPECT_EQ(context().baFromFile, 1u);
}

}  // namespace
}  // namespace corvix::testing
