// The board list as the engine enumerates it on the simulated machine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "machine_fixture.h"
#include "win32/windows.h"
#include "online/board_list.h"

namespace plandrel::testing {
namespace {

std::vector<std::string> entries(const BoardList& list) {
    std::vector<std::string> texts;
    for (const ActiveDeviceInfo& d : list.Devices()) texts.push_back(BoardEntryText(d) + (d.used ? " used" : ""));
    return texts;
}

TEST_F(OnMachine, DefaultMachineListsPciThenPc104ThenUsbAllFree) {
    boot();
    BoardList list;
    ASSERT_EQ(list.Load(), 0u);
    EXPECT_THAT(entries(list), ::testing::ElementsAre("PCI #1", "PC104 #1", "USB #1"));
    EXPECT_EQ(list.FreeCount(), 3);
    EXPECT_EQ(list.FirstFree(), 0);
    EXPECT_EQ(list.Find(kBoardTypePc104, 1), 1);
    EXPECT_EQ(list.Find(kBoardTypePc104, 2), -1);
}

TEST_F(OnMachine, BoardsInUseAreListedAndSkippedForTheFirstFree) {
    boot(machineOf({pciBoard(), pc104Board(), pciBoard(sim::kPciWord8BitEeprom, 2, 0xE0000000)}));
    const HANDLE holder = CreateFileA("\\\\.\\AMBRIX1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardTypePc104), 0u);
    BoardList list;
    ASSERT_EQ(list.Load(), 0u);
    EXPECT_THAT(entries(list), ::testing::ElementsAre("PCI #1 used", "PCI #2", "PC104 #1 used"));
    EXPECT_EQ(list.FreeCount(), 1);
    EXPECT_EQ(list.FirstFree(), 1);
    EXPECT_FALSE(list.IsFree(0));
    EXPECT_TRUE(list.IsFree(1));
    EXPECT_FALSE(list.IsFree(3));
    EXPECT_FALSE(list.IsFree(-1));

    ASSERT_EQ(STOP_FIP_ENGINE(), 0u);
    CloseHandle(holder);
    ASSERT_EQ(list.Load(), 0u);
    EXPECT_EQ(list.FreeCount(), 3);
    EXPECT_EQ(list.FirstFree(), 0);
}

TEST_F(OnMachine, MachineWithoutBoardsGivesAnEmptyList) {
    boot(machineOf({}));
    BoardList list;
    ASSERT_EQ(list.Load(), 0u);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.FirstFree(), -1);
}

TEST(BoardEntry, NamesTheTypeAndTheNumber) {
    EXPECT_EQ(BoardEntryText({0, 1, 0, 0}), "PCI #1");
    EXPECT_EQ(BoardEntryText({1, 9, 0, 1}), "PC104 #9");
    EXPECT_EQ(BoardEntryText({2, 3, 0, 0}), "USB #3");
    EXPECT_EQ(BoardEntryText({5, 2, 0, 0}), "Unknown #2");
}

}  // namespace
}  // namespace plandrel::testing
