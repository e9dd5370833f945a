#include <gtest/gtest.h>

#include <cstring>

#include "fake_seam.h"
#include "win32/windows.h"

namespace {

using qwin32::testing::FakeSeam;

constexpr char kBoard[] = "\\\\.\\AMBRIX1";

HANDLE openBoard(DWORD share = 0) {
    return CreateFileA(kBoard, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                       nullptr);
}

TEST(DeviceFiles, ExclusiveDeviceRefusesASecondOpenUntilClosed) {
    FakeSeam seam;
    seam.addDevice(kBoard, true);
    const HANDLE first = openBoard();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openBoard(FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(seam.openFiles(kBoard), 0);
    const HANDLE again = openBoard();
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_FALSE(CloseHandle(again));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST(DeviceFiles, UnknownDeviceAndBadDisposition) {
    FakeSeam seam;
    seam.addDevice(kBoard, true);
    EXPECT_EQ(CreateFileA("\\\\.\\AMBRIX9", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(CreateFileA(kBoard, GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(seam.openFiles(kBoard), 0);
}

TEST(DeviceFiles, ControlCopiesTheOutputAndItsLength) {
    FakeSeam seam;
    seam.addDevice(kBoard, true);
    const HANDLE board = openBoard();
    std::uint8_t in[3] = {1, 2, 3}, out[8] = {};
    DWORD returned = 99;
    ASSERT_TRUE(DeviceIoControl(board, 0x222000, in, sizeof in, out, 2, &returned, nullptr));
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 0);
    EXPECT_FALSE(DeviceIoControl(board, 0x222000, nullptr, 4, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    CloseHandle(board);
    EXPECT_FALSE(DeviceIoControl(board, 0x222000, in, sizeof in, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

struct StatusCase {
    std::uint32_t status;
    DWORD error;
};

class DeviceStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(DeviceStatus, BecomesTheCallersLastError) {
    FakeSeam seam;
    seam.addDevice(kBoard, true);
    seam.statuses[0x222004] = static_cast<qk::NTSTATUS>(GetParam().status);
    const HANDLE board = openBoard();
    std::uint8_t out[4] = {};
    DWORD returned = 7;
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(board, 0x222004, nullptr, 0, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(GetLastError(), GetParam().error);
    EXPECT_EQ(returned, 0u);
    CloseHandle(board);
}

INSTANTIATE_TEST_SUITE_P(NtStatus, DeviceStatus,
                         ::testing::Values(StatusCase{0xC00000B5, 121}, StatusCase{0xC000000D, 87},
                                           StatusCase{0x80000011, 170}, StatusCase{0xC00000BB, 50},
                                           StatusCase{0xC0000002, 1}, StatusCase{0xC0000022, 5},
                                           StatusCase{0xC0000184, 5023}, StatusCase{0xC0000023, 122},
                                           StatusCase{0xC0000001, 31}, StatusCase{0xC0001234, 31}));

TEST(DeviceFiles, ReadAndWriteAreNotDeviceCalls) {
    FakeSeam seam;
    seam.addDevice(kBoard, true);
    const HANDLE board = openBoard();
    char data[4];
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(board, data, sizeof data, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
    CloseHandle(board);
}

}  // namespace
