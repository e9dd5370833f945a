// The multi-board registry values: the tables and counts, and what the registry holds when it
// refuses a write.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/machine_root.h"
#include "base/registry_store.h"
#include "kernel/registry_faults.h"
#include "multi_card.h"

namespace {

namespace reg = qbase::registry;
using multicard::Op;
using Bytes = std::vector<std::uint8_t>;

const std::string kService = "SYSTEM\\CurrentControlSet\\Services\\MultiCardTest";
const std::string kParameters = kService + "\\Parameters";
const std::wstring kServicePath = L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\MultiCardTest";

Bytes count(std::uint8_t n) { return {n, 0, 0, 0}; }
Bytes table(std::initializer_list<int> present) {
    Bytes bytes(9, 0);
    for (int i : present) bytes.at(i) = 1;
    return bytes;
}

void refuse(const std::string& valueName) {
    qk::testing::setRegistryWriteFault([valueName](const std::string&, const std::string& name) {
        return name == valueName ? STATUS_ACCESS_DENIED : STATUS_SUCCESS;
    });
}
void acceptAll() { qk::testing::setRegistryWriteFault({}); }

class MultiCard : public ::testing::Test {
protected:
    void SetUp() override {
        qbase::markMachineBooted(true);  // the registry alone, without the simulated machine's boards
        reg::deleteKey(reg::Root::LocalMachine, kService);
        ASSERT_TRUE(reg::createKey(reg::Root::LocalMachine, kService));
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, kServicePath.c_str());
        ASSERT_EQ(cards_.setParametersPath(&path), STATUS_SUCCESS);
        ASSERT_EQ(cards_.reset(), STATUS_SUCCESS);
    }
    void TearDown() override { acceptAll(); }

    static Bytes value(const std::string& name) {
        const auto v = reg::getValue(reg::Root::LocalMachine, kParameters, name);
        return v ? v->data : Bytes{};
    }

    multicard::MultiCardInformation cards_;
};

TEST_F(MultiCard, ResetCreatesTheKeyAndWritesEmptyTables) {
    EXPECT_EQ(value("Active_Cards"), count(0));
    EXPECT_EQ(value("Active_Index"), table({}));
    EXPECT_EQ(value("Used_Cards"), count(0));
    EXPECT_EQ(value("Used_Index"), table({}));
    EXPECT_EQ(cards_.update(4, Op::add), STATUS_SUCCESS);
    EXPECT_EQ(cards_.update(4, Op::add), STATUS_SUCCESS);  // already present: nothing changes
    EXPECT_EQ(value("Active_Cards"), count(1));
    EXPECT_EQ(cards_.reset(), STATUS_SUCCESS);
    EXPECT_EQ(value("Active_Index"), table({}));
    EXPECT_EQ(cards_.activeCount(), 0u);
}

TEST_F(MultiCard, ResetStopsAtTheFirstRefusedValue) {
    reg::deleteKey(reg::Root::LocalMachine, kParameters);
    refuse("Used_Cards");
    EXPECT_EQ(cards_.reset(), STATUS_ACCESS_DENIED);
    EXPECT_EQ(value("Active_Index"), table({}));
    EXPECT_EQ(value("Used_Index"), Bytes{});
}

TEST_F(MultiCard, NothingWithoutAPath) {
    cards_.forgetPath();
    ULONG index = 0;
    NTSTATUS written = STATUS_SUCCESS;
    EXPECT_EQ(cards_.reset(), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(cards_.update(0, Op::add), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(cards_.claimFreeIndex(&index, &written), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(cards_.activeCount(), 0u);
}

TEST_F(MultiCard, ClaimsTakeTheFirstFreeIndexUpToNine) {
    for (ULONG expected = 0; expected < multicard::kMaxCards; ++expected) {
        ULONG index = 99;
        NTSTATUS written = STATUS_UNSUCCESSFUL;
        ASSERT_EQ(cards_.claimFreeIndex(&index, &written), STATUS_SUCCESS);
        EXPECT_EQ(index, expected);
        EXPECT_EQ(written, STATUS_SUCCESS);
    }
    ULONG index = 0;
    NTSTATUS written = STATUS_SUCCESS;
    EXPECT_EQ(cards_.claimFreeIndex(&index, &written), STATUS_NO_MORE_ENTRIES);
    EXPECT_EQ(cards_.update(3, Op::remove), STATUS_SUCCESS);
    EXPECT_EQ(cards_.claimFreeIndex(&index, &written), STATUS_SUCCESS);
    EXPECT_EQ(index, 3u);
    EXPECT_EQ(value("Active_Cards"), count(9));
}

// A claim whose registry write is refused still takes its index: the device exists, and the next
// add must not be given the same index.
TEST_F(MultiCard, ARefusedClaimKeepsItsIndex) {
    refuse("Active_Index");
    ULONG first = 99;
    NTSTATUS written = STATUS_SUCCESS;
    ASSERT_EQ(cards_.claimFreeIndex(&first, &written), STATUS_SUCCESS);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(written, STATUS_ACCESS_DENIED);
    EXPECT_EQ(value("Active_Cards"), count(0));
    EXPECT_EQ(value("Active_Index"), table({}));
    acceptAll();
    ULONG second = 99;
    ASSERT_EQ(cards_.claimFreeIndex(&second, &written), STATUS_SUCCESS);
    EXPECT_EQ(second, 1u);
    EXPECT_EQ(value("Active_Cards"), count(2));
    EXPECT_EQ(value("Active_Index"), table({0, 1}));
}

struct RefusedWrite {
    Op set;
    Op clear;
    const char* countName;
    const char* indexName;
    const char* refused;
};

class MultiCardRefusal : public MultiCard, public ::testing::WithParamInterface<RefusedWrite> {};

// Whichever of its two values is refused, a table's pair in the registry stays as it was, the
// table in memory keeps the change, and the next accepted write publishes the whole table.
TEST_P(MultiCardRefusal, TheRegistryKeepsTheOldPairUntilTheNextWrite) {
    const RefusedWrite& c = GetParam();
    refuse(c.refused);
    EXPECT_EQ(cards_.update(0, c.set), STATUS_ACCESS_DENIED);
    EXPECT_EQ(value(c.countName), count(0));
    EXPECT_EQ(value(c.indexName), table({}));
    acceptAll();
    EXPECT_EQ(cards_.update(1, c.set), STATUS_SUCCESS);
    EXPECT_EQ(value(c.countName), count(2));
    EXPECT_EQ(value(c.indexName), table({0, 1}));

    refuse(c.refused);
    EXPECT_EQ(cards_.update(0, c.clear), STATUS_ACCESS_DENIED);
    EXPECT_EQ(value(c.countName), count(2));
    EXPECT_EQ(value(c.indexName), table({0, 1}));
    acceptAll();
    EXPECT_EQ(cards_.update(1, c.clear), STATUS_SUCCESS);
    EXPECT_EQ(value(c.countName), count(0));
    EXPECT_EQ(value(c.indexName), table({}));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, MultiCardRefusal,
    ::testing::Values(RefusedWrite{Op::add, Op::remove, "Active_Cards", "Active_Index", "Active_Cards"},
                      RefusedWrite{Op::add, Op::remove, "Active_Cards", "Active_Index", "Active_Index"},
                      RefusedWrite{Op::used, Op::unused, "Used_Cards", "Used_Index", "Used_Cards"},
                      RefusedWrite{Op::used, Op::unused, "Used_Cards", "Used_Index", "Used_Index"}));

}  // namespace
