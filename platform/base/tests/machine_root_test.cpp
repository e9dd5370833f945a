#include "base/machine_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/debug_output.h"
#include "base/registry_store.h"

namespace {

namespace reg = qbase::registry;

TEST(MachineBoot, BootsOnceOnVolatileAccessAndReentersFromTheBoot) {
    std::atomic<int> boots{0};
    qbase::markMachineBooted(false);
    qbase::setMachineBooter([&] {
        ++boots;
        // The boot writes the volatile hive itself; that must not wait for the boot.
        reg::createKey(reg::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Ambrix");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    std::vector<std::thread> threads;
    std::atomic<int> seen{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            if (reg::keyExists(reg::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Ambrix")) ++seen;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(boots.load(), 1);
    EXPECT_EQ(seen.load(), 4);  // every caller waited for the boot
    EXPECT_TRUE(qbase::machineBooted());

    qbase::markMachineBooted(false);  // shut down: the next use boots afresh, with an empty volatile hive
    qbase::setMachineBooter([&] { ++boots; });
    EXPECT_FALSE(reg::keyExists(reg::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Ambrix"));
    EXPECT_EQ(boots.load(), 2);
}

TEST(MachineRoot, SystemDirectoryAndRootOverride) {
    const auto root = qbase::machineRoot();
    EXPECT_EQ(qbase::systemDirectory(), root / "system32");
    const auto other = root / "other";
    qbase::setMachineRoot(other);
    EXPECT_TRUE(std::filesystem::is_directory(other));
    ASSERT_TRUE(reg::createKey(reg::Root::CurrentUser, "Software\\X"));
    EXPECT_TRUE(std::filesystem::exists(other / "registry.reg"));
    qbase::setMachineRoot(root);
    EXPECT_FALSE(reg::keyExists(reg::Root::CurrentUser, "Software\\X"));
}

TEST(DebugOutput, CapturesLinesFromManyThreads) {
    qbase::debug::clearCaptured();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) qbase::debug::write("line");
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(qbase::debug::captured().size(), 400u);
    qbase::debug::clearCaptured();
    EXPECT_TRUE(qbase::debug::captured().empty());
}

}  // namespace
