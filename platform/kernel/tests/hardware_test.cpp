// Hardware access: token mappings decode to the attached range; a direct dereference faults.
#include <gtest/gtest.h>

#include <thread>

#include "kernel/wdm.h"
#include "kernel_fixture.h"

namespace {

using namespace kerneltest;

class KernelHardware : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        qk::hw::attachMemory(0x10000, memory);
    }
    PVOID map(LONGLONG address, SIZE_T length) {
        PHYSICAL_ADDRESS physical;
        physical.QuadPart = address;
        return MmMapIoSpace(physical, length, MmNonCached);
    }
    std::shared_ptr<Memory> memory = std::make_shared<Memory>();
};

TEST_F(KernelHardware, MappingsOfARangeDecodeToItsOffsets) {
    auto* whole = static_cast<volatile UCHAR*>(map(0x10000, 64));
    auto* tail = static_cast<volatile UCHAR*>(map(0x10020, 32));
    ASSERT_NE(whole, nullptr);
    ASSERT_NE(tail, nullptr);
    EXPECT_NE(whole, tail);
    WRITE_REGISTER_UCHAR(tail + 1, 0x77);
    EXPECT_EQ(memory->data[0x21], 0x77);
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(whole + 4), 0x04030201);
    EXPECT_EQ(memory->data[4], 1);
    EXPECT_EQ(memory->data[7], 4);
    EXPECT_EQ(READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(whole + 4)), 0x04030201u);
    EXPECT_TRUE(qk::hw::faults().empty());
    MmUnmapIoSpace(const_cast<UCHAR*>(tail), 32);
    EXPECT_EQ(READ_REGISTER_UCHAR(tail), 0xFF);  // unmapped: a fault
    EXPECT_EQ(qk::hw::faults().size(), 1u);
    MmUnmapIoSpace(const_cast<UCHAR*>(whole), 64);
}

TEST_F(KernelHardware, NothingMapsOutsideAnAttachedRange) {
    EXPECT_EQ(map(0x10030, 32), nullptr);  // runs past the end
    EXPECT_EQ(map(0x20000, 4), nullptr);
    EXPECT_EQ(map(0x10000, 0), nullptr);
}

TEST_F(KernelHardware, DetachedRangeReadsAsAbsentHardware) {
    auto* reg = static_cast<volatile UCHAR*>(map(0x10000, 64));
    qk::hw::detachMemory(0x10000);
    EXPECT_EQ(READ_REGISTER_UCHAR(reg), 0xFF);
    EXPECT_EQ(memory->reads.load(), 0);
    MmUnmapIoSpace(const_cast<UCHAR*>(reg), 64);
}

// A range that has just been reached is let go as soon as the tables change.
TEST_F(KernelHardware, DetachAfterAnAccessFaultsTheNextOne) {
    auto* reg = static_cast<volatile UCHAR*>(map(0x10000, 64));
    memory->data[3] = 0x42;
    EXPECT_EQ(READ_REGISTER_UCHAR(reg + 3), 0x42);
    qk::hw::detachMemory(0x10000);
    EXPECT_EQ(READ_REGISTER_UCHAR(reg + 3), 0xFF);
    WRITE_REGISTER_UCHAR(reg + 3, 0x11);
    EXPECT_EQ(memory->reads.load(), 1);
    EXPECT_EQ(memory->writes.load(), 0);
    EXPECT_EQ(qk::hw::faults().size(), 2u);
    MmUnmapIoSpace(const_cast<UCHAR*>(reg), 64);
}

TEST_F(KernelHardware, ATokenMappedAgainReachesTheNewRange) {
    auto* first = static_cast<volatile UCHAR*>(map(0x10000, 64));
    WRITE_REGISTER_UCHAR(first, 1);
    MmUnmapIoSpace(const_cast<UCHAR*>(first), 64);
    auto other = std::make_shared<Memory>();
    qk::hw::attachMemory(0x30000, other);
    auto* second = static_cast<volatile UCHAR*>(map(0x30000, 64));
    ASSERT_EQ(second, first);  // the freed token region is handed out again
    WRITE_REGISTER_UCHAR(second, 2);
    EXPECT_EQ(memory->data[0], 1);
    EXPECT_EQ(other->data[0], 2);
    MmUnmapIoSpace(const_cast<UCHAR*>(second), 64);
}

TEST_F(KernelHardware, PortsFollowTheirAttachedRange) {
    auto first = std::make_shared<Ports>();
    auto second = std::make_shared<Ports>();
    const auto port = reinterpret_cast<PUCHAR>(std::uintptr_t{0x300});
    qk::hw::attachPorts(0x300, first);
    WRITE_PORT_UCHAR(port, 1);
    qk::hw::detachPorts(0x300);
    EXPECT_EQ(READ_PORT_UCHAR(port), 0xFF);
    qk::hw::attachPorts(0x300, second);
    WRITE_PORT_UCHAR(port, 2);
    EXPECT_EQ(first->data[0], 1);
    EXPECT_EQ(second->data[0], 2);
    EXPECT_EQ(qk::hw::faults().size(), 1u);
}

// Accesses on one thread while another detaches and attaches the range: each access either
// reaches the range or faults, and none reaches it once the range is detached for good.
TEST_F(KernelHardware, AccessesRaceWithDetach) {
    auto* reg = static_cast<volatile UCHAR*>(map(0x10000, 64));
    std::atomic<bool> done{false};
    std::thread accessor([&] {
        while (!done.load()) static_cast<void>(READ_REGISTER_UCHAR(reg + 1));
    });
    for (int i = 0; i < 200; ++i) {
        qk::hw::detachMemory(0x10000);
        qk::hw::attachMemory(0x10000, memory);
        MmUnmapIoSpace(const_cast<UCHAR*>(reg), 64);
        ASSERT_EQ(map(0x10000, 64), reg);
    }
    qk::hw::detachMemory(0x10000);
    const int reads = memory->reads.load();
    done = true;
    accessor.join();
    EXPECT_LE(memory->reads.load(), reads + 1);  // at most the one in flight at detach
    EXPECT_EQ(READ_REGISTER_UCHAR(reg + 1), 0xFF);
    MmUnmapIoSpace(const_cast<UCHAR*>(reg), 64);
}

using KernelHardwareDeathTest = KernelHardware;

TEST_F(KernelHardwareDeathTest, DereferencingATokenFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto* reg = static_cast<volatile UCHAR*>(map(0x10000, 64));
    EXPECT_DEATH(static_cast<void>(*reg), "");
    MmUnmapIoSpace(const_cast<UCHAR*>(reg), 64);
}

}  // namespace
