#include "download/config_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/machine_root.h"
#include "engine_errors.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/format3.h"

namespace corvix::download {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string writeFile(const Bytes& bytes, const std::string& name = "config.cnf") {
    const std::filesystem::path path = qbase::machineRoot() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

template <class Record>
Bytes tableOf(const std::vector<Record>& records) {
    Bytes out;
    for (const Record& r : records) {
        const auto bytes = records::to_bytes(r);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

records::Configuration sample() {
    records::Configuration c = records::new_configuration();
    c.sequence1 = {records::make_instruction("ID_DAT(10)"), records::make_instruction("WAIT(5)")};
    c.sequence2 = {records::make_instruction("SEND_APER(FFFF)")};
    records::MESSAGE4 m;
    m.source_identifier = 0x10;
    m.destination_identifier = 0x20;
    m.source_segment = 3;
    m.transmitted = 1;
    records::set_text(m.name, "message one");
    c.messages = {m, m};
    c.messages[1].transmitted = 0;
    for (std::uint16_t id : {0x30, 0x10, 0x20}) {
        records::VARIABLE4 v;
        v.identifier = id;
        v.length = 4;
        v.channel = -1;
        v.flags = 0x41;
        v.refreshment_period = 100;
        records::set_text(v.name, "variable " + std::to_string(id));
        c.variables.push_back(v);
    }
    c.param.variable_table_size = 4;
    c.param.message_table_size = 4;
    return c;
}

TEST(ConfigLoader, Format4BlocksAsTheyStand) {
    records::Configuration c = sample();
    c.ba.program_from_file = 1;
    records::set_text(c.ba.program_path, "C:\\ba\\program.ba");
    LoadedConfiguration loaded;
    ASSERT_EQ(loadConfiguration(writeFile(records::encode_format4(c)).c_str(), loaded), 0u);
    EXPECT_TRUE(loaded.baFromFile);
    EXPECT_EQ(loaded.baPath.size(), 261u);
    EXPECT_STREQ(loaded.baPath.data(), "C:\\ba\\program.ba");
    EXPECT_EQ(loaded.list1Count, 2u);
    EXPECT_EQ(loaded.list2Count, 1u);
    EXPECT_EQ(loaded.list1, tableOf(c.sequence1));
    EXPECT_EQ(loaded.list2, tableOf(c.sequence2));
    EXPECT_EQ(loaded.messageCount, 2);
    EXPECT_EQ(loaded.messages, tableOf(c.messages));
    const auto header = records::to_bytes(c.param);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), loaded.header.begin()));
    EXPECT_EQ(loaded.variableCount, 3);
    EXPECT_EQ(loaded.variables, tableOf(c.variables));
}

TEST(ConfigLoader, Format3RecordsAreWidenedFieldByField) {
    records::Configuration c = sample();
    Bytes file = records::encode_format3(c);
    LoadedConfiguration loaded;
    ASSERT_EQ(loadConfiguration(writeFile(file).c_str(), loaded), 0u);
    EXPECT_FALSE(loaded.baFromFile);
    EXPECT_EQ(loaded.list1Count, 2u);
    ASSERT_EQ(loaded.messageCount, 2);
    ASSERT_EQ(loaded.messages.size(), 2u * 83);
    const std::uint8_t* m = loaded.messages.data();
    EXPECT_EQ(m[0], 0x10);
    EXPECT_EQ(m[2], 0x20);
    EXPECT_EQ(m[8], 0);  // segments do not exist in format 3
    EXPECT_EQ(m[9], 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(m + 10), "message one");
    EXPECT_EQ(m[78], 1);
    EXPECT_EQ(m[81], 0);  // no key
    ASSERT_EQ(loaded.variableCount, 3);
    const std::uint8_t* v = loaded.variables.data();
    EXPECT_EQ(v[0], 0x30);
    EXPECT_STREQ(reinterpret_cast<const char*>(v + 2), "variable 48");
    EXPECT_EQ(v[70], 4);
    EXPECT_EQ(v[115], 0x41);
    EXPECT_EQ(v[116], 100);
    EXPECT_EQ(v[120], 0);
}

TEST(ConfigLoader, Format3NamesOfThirtyCharactersGetTheirTerminator) {
    records::Configuration c = sample();
    c.variables.resize(1);
    c.messages.clear();
    Bytes file = records::encode_format3(c);
    // The variable's name field (30 bytes after its identifier) filled without a zero byte.
    const std::size_t variable = file.size() - 78;
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(variable + 2), 30, 'N');
    LoadedConfiguration loaded;
    ASSERT_EQ(loadConfiguration(writeFile(file).c_str(), loaded), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.variables.data() + 2)), std::string(30, 'N'));
}

struct PathCase {
    bool format3;
    std::size_t length;
    ErrorCode code;
};

class BaPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(BaPathTest, BoundedByTheHeader) {
    const PathCase& p = GetParam();
    records::Configuration c = sample();
    Bytes file = p.format3 ? records::encode_format3(c) : records::encode_format4(c);
    const std::size_t room = p.format3 ? 127 : 261;
    file[11] = 1;
    std::fill_n(file.begin() + 12, room, 0);
    std::fill_n(file.begin() + 12, p.length, 'p');
    LoadedConfiguration loaded;
    EXPECT_EQ(loadConfiguration(writeFile(file).c_str(), loaded), p.code);
    EXPECT_EQ(loaded.baFromFile, p.code == 0);
    if (p.code == 0) {
        EXPECT_EQ(std::string(loaded.baPath.data()), std::string(p.length, 'p'));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, BaPathTest, ::testing::Values(
    PathCase{false, 0, kErrBaFilePath}, PathCase{false, 1, 0}, PathCase{false, 260, 0},
    PathCase{false, 261, kErrBaFilePath}, PathCase{true, 0, kErrBaFilePath}, PathCase{true, 126, 0},
    PathCase{true, 127, kErrBaFilePath}));

TEST(ConfigLoader, WrongMagic) {
    for (const char* magic : {"VERAM 5.00", "VERAM 4.0 ", "veram 4.00"}) {
        Bytes file = records::encode_format4(sample());
        std::copy_n(magic, 10, file.begin());
        LoadedConfiguration loaded;
        EXPECT_EQ(loadConfiguration(writeFile(file).c_str(), loaded), kErrConfigFileMagic) << magic;
        EXPECT_EQ(loaded.variableCount, 0);
    }
    Bytes noZero = records::encode_format4(sample());
    noZero[10] = ' ';
    LoadedConfiguration loaded;
    EXPECT_EQ(loadConfiguration(writeFile(noZero).c_str(), loaded), kErrConfigFileMagic);
}

TEST(ConfigLoader, EveryShortReadIsAReadFailure) {
    for (const bool format3 : {false, true}) {
        const records::Configuration c = sample();
        const Bytes whole = format3 ? records::encode_format3(c) : records::encode_format4(c);
        // Format 4 carries stations and lists after the variables, which the loader does not read.
        const std::size_t needed = format3 ? whole.size() : whole.size() - (2 + 2 + 35 + 2);
        for (std::size_t cut = 0; cut < needed; cut += (cut < 300 ? 7 : 1)) {
            LoadedConfiguration loaded;
            const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_EQ(loadConfiguration(writeFile(part).c_str(), loaded), kErrConfigFileRead)
                << (format3 ? "format 3, " : "format 4, ") << cut;
        }
        LoadedConfiguration loaded;
        const Bytes exact(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(needed));
        EXPECT_EQ(loadConfiguration(writeFile(exact).c_str(), loaded), 0u);
    }
}

TEST(ConfigLoader, MissingFile) {
    LoadedConfiguration loaded;
    EXPECT_EQ(loadConfiguration((qbase::machineRoot() / "absent.cnf").c_str(), loaded), kErrConfigFileNotOpened);
}

}  // namespace
}  // namespace corvix::download
