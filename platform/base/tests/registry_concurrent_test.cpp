#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/machine_root.h"
#include "base/registry_store.h"

namespace {

namespace reg = qbase::registry;

TEST(RegistryThreads, WritesFromManyThreadsAllLand) {
    qbase::setMachineBooter([] {});
    constexpr int kThreads = 4, kWrites = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string key = "Software\\Talvenor\\T" + std::to_string(t);
            reg::createKey(reg::Root::CurrentUser, key);
            for (int i = 0; i < kWrites; ++i) reg::setValue(reg::Root::CurrentUser, key, "v" + std::to_string(i), reg::dwordValue(i));
            reg::createKey(reg::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\T" + std::to_string(t));
        });
    }
    for (auto& th : threads) th.join();
    reg::reloadPersisted();
    for (int t = 0; t < kThreads; ++t) {
        const std::string key = "Software\\Talvenor\\T" + std::to_string(t);
        for (int i = 0; i < kWrites; ++i) EXPECT_TRUE(reg::getValue(reg::Root::CurrentUser, key, "V" + std::to_string(i)));
        EXPECT_TRUE(reg::keyExists(reg::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\T" + std::to_string(t)));
    }
}

}  // namespace
