#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "win32/windows.h"

namespace {

namespace fs = std::filesystem;

// The driver file's "FileVersion", read the way the engine reads it: the first translation pair,
// then the string under that language and code page. Empty when there is none.
std::string readFileVersion(const std::string& file) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoA(file.c_str(), handle, size, block.data())) return {};
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) ||
        length < 4) {
        return {};
    }
    char path[64];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
    char* text = nullptr;
    if (!VerQueryValueA(block.data(), path, reinterpret_cast<LPVOID*>(&text), &length)) return {};
    return text;
}

std::string systemFile(const std::string& relative) {
    char folder[MAX_PATH];
    const UINT n = GetSystemDirectoryA(folder, sizeof folder);
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, sizeof folder);
    return std::string(folder) + relative;
}

// The tests lay out the machine's files themselves: no machine boots over them.
struct NoBoot : ::testing::Environment {
    void SetUp() override { qbase::markMachineBooted(true); }
};
const auto* const noBoot = ::testing::AddGlobalTestEnvironment(new NoBoot);

void install(const std::string& relative, const char* version) {
    const fs::path file = qbase::systemDirectory() / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "driver";
    if (version) std::ofstream(file.string() + ".version") << version << "\r\nsecond line\n";
}

class VersionStrings : public ::testing::TestWithParam<const char*> {};

TEST_P(VersionStrings, ReadThroughTheTranslationTable) {
    install("drivers/ambrix.sys", GetParam());
    EXPECT_EQ(readFileVersion(systemFile("\\drivers\\ambrix.sys")), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Drivers, VersionStrings, ::testing::Values("1.0", "3.0", "3.10", "2.4.0.17"));

TEST(VersionInfo, FileWithoutVersionOrMissingHasNone) {
    install("drivers/osprix.sys", nullptr);
    DWORD handle = 5;
    EXPECT_EQ(GetFileVersionInfoSizeA(systemFile("\\drivers\\osprix.sys").c_str(), &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA(systemFile("\\drivers\\missing.sys").c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST(VersionInfo, QueriesOutsideTheBlockFail) {
    install("drivers/ambrix.sys", "3.1");
    const std::string file = systemFile("\\drivers\\ambrix.sys");
    std::vector<BYTE> block(GetFileVersionInfoSizeA(file.c_str(), nullptr));
    EXPECT_FALSE(GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size() - 1), block.data()));
    ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    LPVOID out = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040704b0\\FileVersion", &out, &length));
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName", &out, &length));
    std::vector<BYTE> garbage(32, 0xAB);
    EXPECT_FALSE(VerQueryValueA(garbage.data(), "\\VarFileInfo\\Translation", &out, &length));
}

}  // namespace
