// The calls that a filter may make, outside any filter: dates, folders, files, memory reads that
// cannot fault, the module snapshot and starting a program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "seh/seh.h"
#include "testing/application.h"

namespace {

namespace fs = std::filesystem;

FILETIME fileTime(std::uint64_t unixSeconds) {
    const std::uint64_t ticks = unixSeconds * 10000000ull + 116444736000000000ull;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TEST(DosDateTime, SplitsTheDateAndKeepsTwoSecondSteps) {
    struct Case {
        std::uint64_t seconds;
        bool ok;
        WORD date, time;
    };
    const Case cases[] = {
        {315532800, true, 0x0021, 0x0000},                                   // 1980-01-01 00:00:00
        {315532799, false, 0, 0},                                            // 1979-12-31 23:59:59
        {951868800 + 13 * 3600 + 45 * 60 + 59, true, (20 << 9) | (3 << 5) | 1, (13 << 11) | (45 << 5) | 29},  // 2000-03-01 13:45:59
        {1709164800, true, (44 << 9) | (2 << 5) | 29, 0},                    // 2024-02-29
        {4354819199, true, (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},  // 2107-12-31 23:59:59
        {4354819200, false, 0, 0},                                           // 2108-01-01
    };
    for (const Case& c : cases) {
        const FILETIME time = fileTime(c.seconds);
        WORD date = 0xFFFF, clock = 0xFFFF;
        EXPECT_EQ(seh::FileTimeToDosDateTime(&time, &date, &clock) != FALSE, c.ok) << c.seconds;
        if (!c.ok) continue;
        EXPECT_EQ(date, c.date) << c.seconds;
        EXPECT_EQ(clock, c.time) << c.seconds;
    }
}

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("seh-calls-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

TEST_F(FolderTest, FoldersAreMadeWithTheirMissingParents) {
    const std::string nested = (root_ / "a" / "b" / "Dump").string() + "\\";
    EXPECT_EQ(seh::SHCreateDirectoryExA(nullptr, nested.c_str(), nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_directory(root_ / "a" / "b" / "Dump"));
    EXPECT_EQ(seh::SHCreateDirectoryExA(nullptr, nested.c_str(), nullptr), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(seh::GetFileAttributesA(nested.c_str()), FILE_ATTRIBUTE_DIRECTORY);

    std::ofstream(root_ / "file") << "x";
    EXPECT_NE(seh::SHCreateDirectoryExA(nullptr, (root_ / "file" / "below").c_str(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(seh::GetFileAttributesA((root_ / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FolderTest, AFileIsCreatedTruncatedWrittenAndDescribed) {
    const std::string path = (root_ / "report.txt").string();
    std::ofstream(path) << "an older and longer content";
    HANDLE file = seh::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_WRITE_THROUGH, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(seh::WriteFile(file, "line\r\n", 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    EXPECT_TRUE(seh::CloseHandle(file));

    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(seh::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 6u);
    FILETIME now;
    seh::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    EXPECT_LE(ticks(data.ftLastWriteTime), ticks(now));
    EXPECT_GT(ticks(data.ftLastWriteTime) + 600000000ull, ticks(now));  // within a minute

    EXPECT_EQ(seh::CreateFileA((root_ / "no" / "such").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(seh::GetFileAttributesExA((root_ / "missing").c_str(), GetFileExInfoStandard, &data));
}

TEST(ReadProcessMemory, StopsAtTheFirstUnreadableByteWithoutFaulting) {
    qtesting::GuardedBytes bytes(10);
    for (int i = 0; i < 10; ++i) bytes.data()[i] = static_cast<char>('a' + i);
    char copy[32] = {};
    SIZE_T read = 99;
    EXPECT_FALSE(seh::ReadProcessMemory(INVALID_HANDLE_VALUE, bytes.data(), copy, 20, &read));
    EXPECT_EQ(read, 10u);
    EXPECT_EQ(std::string(copy, 10), "abcdefghij");
    EXPECT_TRUE(seh::ReadProcessMemory(INVALID_HANDLE_VALUE, bytes.data(), copy, 10, &read));
    EXPECT_FALSE(seh::ReadProcessMemory(INVALID_HANDLE_VALUE, nullptr, copy, 4, &read));
    EXPECT_EQ(read, 0u);
}

TEST(Modules, TheSnapshotListsTheImagesOfTheProcessOnceEach) {
    HANDLE snapshot = seh::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    EXPECT_EQ(seh::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0), INVALID_HANDLE_VALUE) << "one at a time";
    const auto here = reinterpret_cast<std::uintptr_t>(&seh::FileTimeToDosDateTime);
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::vector<std::string> paths;
    bool selfHoldsCode = false;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = seh::Module32First(snapshot, &entry); more; more = seh::Module32Next(snapshot, &entry)) {
        paths.push_back(entry.szExePath);
        EXPECT_GT(entry.modBaseSize, 0u);
        EXPECT_EQ(std::string(entry.szModule), fs::path(entry.szExePath).filename().string());
        const auto base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
        if (entry.szExePath == self) selfHoldsCode = here >= base && here < base + entry.modBaseSize;
    }
    EXPECT_TRUE(seh::CloseHandle(snapshot));
    EXPECT_TRUE(selfHoldsCode);
    std::vector<std::string> sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "each image once";
    EXPECT_NE(std::find_if(paths.begin(), paths.end(), [](const std::string& p) { return p.find("libc.so") != std::string::npos; }),
              paths.end());
    // A new snapshot can be taken once the first is closed.
    snapshot = seh::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
    seh::CloseHandle(snapshot);
}

TEST_F(FolderTest, AProgramStartsWithTheWordsOfItsCommandLine) {
    const fs::path script = root_ / "XCrashReport.exe";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$0.args\"\n"
                             "mv \"$0.args\" \"$0.out\"\n";
    fs::permissions(script, fs::perms::owner_all);
    struct Case {
        std::string line;
        std::string words;
    };
    const std::string program = script.string();
    const Case cases[] = {
        {" \"" + program + " \" \"Plandrel \" \"/w/Dump/ \"", "[Plandrel ]\n[/w/Dump/ ]\n"},
        {program + " a  b\t\"c d\"", "[a]\n[b]\n[c d]\n"},
        {program + " a\\\\b \\\"q\\\" x\\\\\\\"y \"in \"\"side\"", "[a\\\\b]\n[\"q\"]\n[x\\\"y]\n[in \"side]\n"},
    };
    for (const Case& c : cases) {
        fs::remove(program + ".out");
        std::string line = c.line;
        STARTUPINFOA startup{sizeof startup, STARTF_USESHOWWINDOW, SW_SHOW};
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(seh::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                        &process))
            << c.line;
        EXPECT_NE(process.dwProcessId, 0u);
        for (int i = 0; i < 500 && !fs::exists(program + ".out"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::stringstream words;
        words << std::ifstream(program + ".out").rdbuf();
        EXPECT_EQ(words.str(), c.words) << c.line;
    }
    std::string missing = " \"" + (root_ / "none.exe").string() + " \"";
    STARTUPINFOA startup{sizeof startup, STARTF_USESHOWWINDOW, SW_SHOW};
    PROCESS_INFORMATION process{};
    EXPECT_FALSE(seh::CreateProcessA(nullptr, missing.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
}

}  // namespace
