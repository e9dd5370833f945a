// Test support: simulated register and port ranges, and the kernel loaded with one test driver.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <string>

#include "base/machine_root.h"
#include "kernel/hardware.h"
#include "kernel/pnp.h"

namespace kerneltest {

// Bytes that the tests fill and read back; accesses are counted.
template <typename Base>
class Bytes final : public Base {
public:
    std::uint32_t length() const override { return static_cast<std::uint32_t>(data.size()); }
    std::uint8_t read8(std::uint32_t offset) override {
        ++reads;
        return data.at(offset);
    }
    void write8(std::uint32_t offset, std::uint8_t value) override {
        ++writes;
        data.at(offset) = value;
    }
    std::array<std::uint8_t, 64> data{};
    std::atomic<int> reads{0};
    std::atomic<int> writes{0};
};
using Memory = Bytes<qk::hw::MemoryRange>;
using Ports = Bytes<qk::hw::PortRange>;

// A probe function that a test driver exports.
inline long probe(const std::string& module, const char* name) {
    const std::string path = std::string(QUORELLE_TEST_MODULE_DIR) + "/lib" + module + ".so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return -1;
    auto function = reinterpret_cast<long (*)()>(dlsym(handle, name));
    const long value = function ? function() : -1;
    dlclose(handle);
    return value;
}

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override { qbase::markMachineBooted(true); }
    void TearDown() override {
        qk::pnp::shutdown();
        qk::hw::detachAll();
        qk::hw::clearFaults();
    }
};

}  // namespace kerneltest
