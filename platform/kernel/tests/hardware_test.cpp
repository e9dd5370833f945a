// Hardware access: token mappings decode to the attached range; a direct dereference faults.
#include <gtest/gtest.h>

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

using KernelHardwareDeathTest = KernelHardware;

TEST_F(KernelHardwareDeathTest, DereferencingATokenFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto* reg = static_cast<volatile UCHAR*>(map(0x10000, 64));
    EXPECT_DEATH(static_cast<void>(*reg), "");
    MmUnmapIoSpace(const_cast<UCHAR*>(reg), 64);
}

}  // namespace
