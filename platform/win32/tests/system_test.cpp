#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/debug_output.h"
#include "base/machine_root.h"
#include "win32/testing.h"
#include "win32/windows.h"

namespace {

namespace fs = std::filesystem;

class SystemMessages : public ::testing::TestWithParam<DWORD> {};

TEST_P(SystemMessages, TextEndsWithLineBreakAndFitsExactly) {
    char text[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetParam(), 0,
                                   text, sizeof text, nullptr);
    ASSERT_GT(n, 2u);
    EXPECT_EQ(std::strlen(text), n);
    EXPECT_EQ(std::string(text + n - 2), "\r\n");
    EXPECT_NE(text[0], ' ');
    char exact[512];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, GetParam(), 0, exact, n + 1, nullptr), n);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, GetParam(), 0, exact, n, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
}

INSTANTIATE_TEST_SUITE_P(Codes, SystemMessages, ::testing::Values(0, 2, 3, 5, 6, 8, 31, 87, 121, 122, 170, 1167));

TEST(SystemMessagesUnknown, FailsWithMessageNotFound) {
    char text[256] = "unchanged";
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x30000027, 0, text, sizeof text, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MR_MID_NOT_FOUND});
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 4242, 0, text, sizeof text, nullptr), 0u);
    EXPECT_EQ(FormatMessageA(0, nullptr, 2, 0, text, sizeof text, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(PlatformFacts, NtSixOneWithoutEmulation) {
    OSVERSIONINFOA info{};
    EXPECT_FALSE(GetVersionExA(&info));
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, DWORD{VER_PLATFORM_WIN32_NT});
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
}

TEST(PlatformFacts, SystemDirectorySizeConvention) {
    const std::string expected = qbase::systemDirectory().string();
    EXPECT_EQ(GetSystemDirectoryA(nullptr, 0), expected.size() + 1);
    std::string small(expected.size(), 'x');
    EXPECT_EQ(GetSystemDirectoryA(small.data(), static_cast<UINT>(small.size())), expected.size() + 1);
    char folder[MAX_PATH * 4];
    EXPECT_EQ(GetSystemDirectoryA(folder, sizeof folder), expected.size());
    EXPECT_EQ(folder, expected);
}

TEST(PlatformFacts, ModuleFileNameIsTheRunningProgram) {
    char path[4096];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(fs::path(path).filename(), "win32_system_test");
    char shortPath[4];
    EXPECT_EQ(GetModuleFileNameA(nullptr, shortPath, sizeof shortPath), sizeof shortPath);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(shortPath[3], '\0');
}

TEST(PlatformFacts, KnownFoldersFollowXdg) {
    const fs::path root = qbase::machineRoot();
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root / "docs").c_str(), 1);
    char path[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path), S_OK);
    EXPECT_EQ(fs::path(path), root / "data");
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path), S_OK);
    EXPECT_EQ(fs::path(path), root / "docs");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", (root / "home").c_str(), 1);
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path), S_OK);
    EXPECT_EQ(fs::path(path), root / "home" / ".local" / "share");
    EXPECT_EQ(SHGetFolderPathA(nullptr, 0x26, nullptr, 0, path), E_FAIL);
}

TEST(ExecutionState, RecordsTheContinuousState) {
    using qwin32::testing::currentExecutionState;
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED), EXECUTION_STATE{ES_CONTINUOUS});
    EXPECT_EQ(currentExecutionState(), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    SetThreadExecutionState(ES_DISPLAY_REQUIRED);  // one-off: the continuous state stays
    EXPECT_EQ(currentExecutionState(), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(SetThreadExecutionState(0x100), 0u);
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(currentExecutionState(), EXECUTION_STATE{ES_CONTINUOUS});
}

TEST(DebugOutput, LinesReachTheSink) {
    qbase::debug::clearCaptured();
    OutputDebugStringA("[ERROR] DavAzuv - no reply\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(qbase::debug::captured(), (std::vector<std::string>{"[ERROR] DavAzuv - no reply\n", ""}));
}

TEST(HostFiles, CreateWriteReadWithPlatformSeparators) {
    const std::string folder = (qbase::machineRoot() / "work").string() + "\\Talvenor";
    ASSERT_TRUE(CreateDirectoryA((qbase::machineRoot() / "work").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
    EXPECT_FALSE(CreateDirectoryA((folder + "\\a\\b").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});

    const std::string file = folder + "\\trv";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "abcdef", 6, &done, nullptr));
    EXPECT_EQ(done, 6u);
    CloseHandle(h);
    EXPECT_EQ(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});

    h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 6u);
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_FALSE(DeviceIoControl(h, 0x222000, nullptr, 0, nullptr, 0, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
    CloseHandle(h);

    EXPECT_EQ(CreateFileA((folder + "\\missing").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(CreateFileA((folder + "\\none\\x").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

}  // namespace
