// Kernel run-time calls: waits on the machine clock, events and mutexes, IRQL checks, counted
// strings, the trace formatter and the registry calls.
#include <gtest/gtest.h>

#include <thread>

#include "base/clock.h"
#include "base/registry_store.h"
#include "kernel/wdm.h"
#include "kernel_fixture.h"

namespace {

LARGE_INTEGER relative(LONGLONG units) {
    LARGE_INTEGER t;
    t.QuadPart = -units;
    return t;
}

TEST(KernelWait, TimedWaitsEndAtOnceOnTheVirtualClock) {
    qbase::VirtualClock clock;
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    LARGE_INTEGER fiftySeconds = relative(500000000);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &fiftySeconds), STATUS_TIMEOUT);
    EXPECT_GE(clock.now(), 500000000u);
    LARGE_INTEGER delay = relative(50000);
    const auto before = clock.now();
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &delay), STATUS_SUCCESS);
    EXPECT_GE(clock.now() - before, 50000u);
    LARGE_INTEGER time;
    KeQuerySystemTime(&time);
    EXPECT_GE(static_cast<std::uint64_t>(time.QuadPart), clock.now() - 1000);
}

TEST(KernelWait, SynchronizationEventsWakeOneWaitAndReset) {
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, TRUE);
    LARGE_INTEGER poll{};
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT);
    EXPECT_EQ(KeSetEvent(&event, 0, FALSE), 0);
    EXPECT_EQ(KeReadStateEvent(&event), 1);
    KEVENT notification;
    KeInitializeEvent(&notification, NotificationEvent, TRUE);
    EXPECT_EQ(KeWaitForSingleObject(&notification, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&notification, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeResetEvent(&notification), 1);
}

TEST(KernelWait, EventSetOnAnotherThreadWakesAnUnboundedWait) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    std::thread setter([&] { KeSetEvent(&event, 0, FALSE); });
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    setter.join();
}

TEST(KernelWait, MutexesExcludeOtherThreadsAndNestForTheOwner) {
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    FAST_MUTEX fast;
    ExInitializeFastMutex(&fast);
    long counter = 0;
    long fastCounter = 0;  // each counter has its own lock
    auto work = [&] {
        for (int i = 0; i < 2000; ++i) {
            KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
            KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
            ++counter;
            KeReleaseMutex(&mutex, FALSE);
            KeReleaseMutex(&mutex, FALSE);
            ExAcquireFastMutex(&fast);
            EXPECT_EQ(KeGetCurrentIrql(), APC_LEVEL);
            ++fastCounter;
            ExReleaseFastMutex(&fast);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 4000);
    EXPECT_EQ(fastCounter, 4000);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST(KernelWait, SpinLocksRaiseToDispatchAndRestore) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    EXPECT_EQ(old, PASSIVE_LEVEL);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

using KernelIrqlDeathTest = ::testing::Test;

TEST(KernelIrqlDeathTest, PassiveOnlyCallsStopAtDispatchLevel) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            KIRQL old;
            KeRaiseIrql(DISPATCH_LEVEL, &old);
            PAGED_CODE();
        },
        "IRQL 2");
    EXPECT_DEATH(
        {
            KIRQL old;
            KeRaiseIrql(DISPATCH_LEVEL, &old);
            KEVENT e;
            KeInitializeEvent(&e, NotificationEvent, FALSE);
            KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, nullptr);
        },
        "KeWaitForSingleObject");
}

struct IntegerCase {
    ULONG value;
    ULONG base;
    const wchar_t* text;
};

class KernelIntegerText : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(KernelIntegerText, WritesDigitsInTheBase) {
    WCHAR buffer[40];
    UNICODE_STRING s{0, sizeof buffer, buffer};
    ASSERT_EQ(RtlIntegerToUnicodeString(GetParam().value, GetParam().base, &s), STATUS_SUCCESS);
    EXPECT_EQ(std::wstring(s.Buffer, s.Length / sizeof(WCHAR)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Bases, KernelIntegerText,
                         ::testing::Values(IntegerCase{0, 10, L"0"}, IntegerCase{8, 0, L"8"},
                                           IntegerCase{4294967295u, 10, L"4294967295"}, IntegerCase{255, 16, L"FF"},
                                           IntegerCase{5, 2, L"101"}));

TEST(KernelStrings, AppendAndCopyStayWithinTheBuffer) {
    WCHAR buffer[8];
    UNICODE_STRING s{0, sizeof buffer, buffer};
    EXPECT_EQ(RtlAppendUnicodeToString(&s, L"ABC"), STATUS_SUCCESS);
    EXPECT_EQ(RtlAppendUnicodeToString(&s, L"DEFGHI"), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(std::wstring(buffer, s.Length / sizeof(WCHAR)), L"ABC");
    UNICODE_STRING longer;
    RtlInitUnicodeString(&longer, L"0123456789");
    RtlCopyUnicodeString(&s, &longer);
    EXPECT_EQ(s.Length, sizeof buffer);
    UNICODE_STRING a = RTL_CONSTANT_STRING(L"\\Device\\X");
    UNICODE_STRING b = RTL_CONSTANT_STRING(L"\\DEVICE\\x");
    EXPECT_TRUE(RtlEqualUnicodeString(&a, &b, TRUE));
    EXPECT_FALSE(RtlEqualUnicodeString(&a, &b, FALSE));
    WCHAR small[2];
    UNICODE_STRING tiny{0, sizeof small, small};
    EXPECT_EQ(RtlIntegerToUnicodeString(123, 10, &tiny), STATUS_BUFFER_OVERFLOW);
}

TEST(KernelTrace, DbgPrintFormatsThePlatformsConversionsWithoutCrashing) {
    UNICODE_STRING name = RTL_CONSTANT_STRING(L"\\Device\\AMBRIX0");
    EXPECT_EQ(DbgPrint("%s %d %u %X %lx %I64x %ws %wZ %S %p %c %5.2f %% %q %", "text", -1, 2u, 0xABu, 7u,
                       0x123456789ULL, L"wide", &name, static_cast<const wchar_t*>(nullptr), &name, 'c', 1.5),
              0u);
}

class KernelRegistry : public kerneltest::KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        qbase::registry::createKey(qbase::registry::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services");
        for (const char* key : {"SYSTEM\\CurrentControlSet\\Services\\qkreg", "SYSTEM\\CurrentControlSet\\Services\\qkzw"})
            qbase::registry::deleteKey(qbase::registry::Root::LocalMachine, key);
    }
};

TEST_F(KernelRegistry, AbsolutePathsReachTheMachineHive) {
    WCHAR key[] = L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qkreg";
    EXPECT_EQ(RtlCheckRegistryKey(RTL_REGISTRY_ABSOLUTE, key), STATUS_OBJECT_NAME_NOT_FOUND);
    ULONG value = 9;
    EXPECT_EQ(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, key, L"V", REG_DWORD, &value, 4), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(RtlCreateRegistryKey(RTL_REGISTRY_ABSOLUTE, key), STATUS_SUCCESS);
    EXPECT_EQ(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, key, L"V", REG_DWORD, &value, 4), STATUS_SUCCESS);
    const UCHAR bytes[9] = {1, 0, 1};
    EXPECT_EQ(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, key, L"B", REG_BINARY, const_cast<UCHAR*>(bytes), 9), STATUS_SUCCESS);
    const char* path = "SYSTEM\\CurrentControlSet\\Services\\qkreg";
    using qbase::registry::Root;
    EXPECT_EQ(qbase::registry::getValue(Root::LocalMachine, path, "V")->data, (std::vector<std::uint8_t>{9, 0, 0, 0}));
    EXPECT_EQ(qbase::registry::getValue(Root::LocalMachine, path, "B")->data.size(), 9u);
    WCHAR outside[] = L"\\Registry\\User\\X";
    EXPECT_EQ(RtlCreateRegistryKey(RTL_REGISTRY_ABSOLUTE, outside), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(KernelRegistry, KeyHandlesCreateOpenAndSetValues) {
    UNICODE_STRING name = RTL_CONSTANT_STRING(L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\qkzw");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE key;
    EXPECT_EQ(ZwOpenKey(&key, KEY_READ, &attributes), STATUS_OBJECT_NAME_NOT_FOUND);
    ULONG disposition = 0;
    ASSERT_EQ(ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, REG_OPTION_VOLATILE, &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    UNICODE_STRING value = RTL_CONSTANT_STRING(L"Text");
    WCHAR text[] = L"abc";
    EXPECT_EQ(ZwSetValueKey(key, &value, 0, REG_SZ, text, sizeof text), STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(key), STATUS_INVALID_HANDLE);
    const auto stored = qbase::registry::getValue(qbase::registry::Root::LocalMachine,
                                                  "SYSTEM\\CurrentControlSet\\Services\\qkzw", "Text");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->data, (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
}

}  // namespace
