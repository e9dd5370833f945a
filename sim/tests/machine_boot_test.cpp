// Booting the machine: the installed files and registry values, the boards, and the devices the
// drivers create for them.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "base/debug_output.h"
#include "base/machine_root.h"
#include "base/registry_store.h"
#include "quorelle_config.h"
#include "sim/machine/code_image.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

namespace fs = std::filesystem;
namespace reg = qbase::registry;

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::uint32_t> dword(const std::string& key, const std::string& name) {
    const auto value = reg::getValue(reg::Root::LocalMachine, key, name);
    if (!value || value->data.size() != 4) return std::nullopt;
    return value->data[0] | value->data[1] << 8 | value->data[2] << 16 | std::uint32_t{value->data[3]} << 24;
}

class MachineBoot : public ::testing::Test {
protected:
    void TearDown() override {
        shutdownMachine();
        std::error_code ignored;
        fs::remove(qbase::machineRoot() / "machine.json", ignored);
    }
};

TEST_F(MachineBoot, InstallsDriversCodeImageAndDllpath) {
    Machine& machine = bootMachine(defaultMachine());
    EXPECT_TRUE(qbase::machineBooted());
    EXPECT_TRUE(machine.problems().empty());
    const fs::path drivers = qbase::systemDirectory() / "drivers";
    EXPECT_TRUE(fs::exists(drivers / "ambrix.sys"));
    EXPECT_EQ(fileText(drivers / "ambrix.sys.version"), "3.1\n");
    EXPECT_TRUE(fs::exists(drivers / "osprix.sys"));
    EXPECT_EQ(fileText(drivers / "osprix.sys.version"), "1.0\n");

    const auto image = codeImage();
    EXPECT_EQ(fileText(machine.codeImageFolder() / "kernala.dat"), std::string(image.begin(), image.end()));
    const auto dllpath = reg::getValue(reg::Root::LocalMachine, "Software\\Talvenor\\Corvix", "Dllpath");
    ASSERT_TRUE(dllpath);
    EXPECT_EQ(dllpath->type, reg::ValueType::String);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dllpath->data.data())), machine.codeImageFolder().string());

    EXPECT_EQ(machine.pciBoardCount(), 1u);
    ASSERT_EQ(machine.pc104BoardCount(), 1u);
    EXPECT_TRUE(machine.pc104Board(0).medium().dualMedium());
    EXPECT_EQ(machine.enumerations().size(), 2u);
}

TEST_F(MachineBoot, DescriptionOverridesDriverVersions) {
    MachineDescription d;
    d.ambrixVersion = "2.3";
    bootMachine(d);
    EXPECT_EQ(fileText(qbase::systemDirectory() / "drivers" / "ambrix.sys.version"), "2.3\n");
    EXPECT_EQ(runningMachine()->pciBoardCount(), 0u);
}

TEST_F(MachineBoot, DefaultMachineCreatesDevicesAndRegistryValues) {
    Machine& machine = bootMachine(defaultMachine());
    if (machine.driverStatus("ambrix") != 0 || machine.driverStatus("osprix") != 0)
        GTEST_SKIP() << "the driver modules are not built yet";
    for (const auto& result : machine.enumerations()) {
        EXPECT_EQ(result.addStatus, 0);
        EXPECT_EQ(result.startStatus, 0);
    }
    for (const char* service : {"ambrix", "osprix"}) {
        const std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\") + service + "\\Parameters";
        EXPECT_EQ(dword(key, "Active_Cards"), 1u) << service;
        EXPECT_EQ(dword(key, "Used_Cards"), 0u) << service;
        const auto index = reg::getValue(reg::Root::LocalMachine, key, "Active_Index");
        ASSERT_TRUE(index) << service;
        EXPECT_EQ(index->data, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0})) << service;
    }
    EXPECT_EQ(machine.pciBoard(0).bridgeRange()->read32(bridge::kInterruptControl) & bridge::kInterruptEnable, 0u);
}

TEST_F(MachineBoot, FirstUseBootsTheConfiguredMachine) {
    std::ofstream(qbase::machineRoot() / "machine.json") << R"({"boards": [{"type": "pc104", "medium": "single"}]})";
    shutdownMachine();
    qbase::markMachineBooted(false);
    qbase::ensureMachineBooted();
    ASSERT_NE(runningMachine(), nullptr);
    EXPECT_EQ(runningMachine()->pciBoardCount(), 0u);
    ASSERT_EQ(runningMachine()->pc104BoardCount(), 1u);
    EXPECT_FALSE(runningMachine()->pc104Board(0).medium().dualMedium());
}

// Without a description (or with one that cannot be read) the standard machine boots: the default
// boards and the example's remote stations on a paced segment.
TEST_F(MachineBoot, WithoutADescriptionTheStandardMachineBoots) {
    std::filesystem::remove(qbase::machineRoot() / "machine.json");
    const MachineDescription d = configuredMachine();
    EXPECT_EQ(d.boards.size(), 3u) << "PCI, PC104 and USB";
    ASSERT_EQ(d.remoteStations.size(), exampleStations().size());
    EXPECT_EQ(d.remoteStations[0].name, "R5");
    EXPECT_FALSE(d.remoteStations[0].arbitratorProgram.empty());
    EXPECT_TRUE(d.pacedSegment);
    EXPECT_TRUE(defaultMachine().remoteStations.empty());
}

TEST_F(MachineBoot, BrokenDescriptionIsReportedAndTheDefaultMachineBoots) {
    std::ofstream(qbase::machineRoot() / "machine.json") << R"({"boards": [{"type": "isa"}]})";
    qbase::debug::clearCaptured();
    const MachineDescription d = configuredMachine();
    EXPECT_EQ(d.boards.size(), 3u);
    EXPECT_TRUE(d.pacedSegment);
    const auto lines = qbase::debug::captured();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("boards[0].type"), std::string::npos) << lines[0];
}

// Whatever makes the description unusable is said on standard error, at every boot.
TEST_F(MachineBoot, AnUnusableDescriptionSaysWhyOnStandardError) {
    const fs::path file = qbase::machineRoot() / "machine.json";
    struct Case {
        const char* name;
        std::function<void()> make;
        const char* mentions;
    };
    const Case cases[] = {
        {"syntax", [&] { std::ofstream(file) << R"({"boards": [)"; }, "syntax"},
        {"unknown field", [&] { std::ofstream(file) << R"({"board": []})"; }, "unknown field \"board\""},
        {"colliding boards",
         [&] { std::ofstream(file) << R"({"boards": [{"type": "pc104"}, {"type": "pc104", "baseAddress": "0x310"}]})"; },
         "port range overlaps"},
        {"larger than any description",
         [&] {
             std::ofstream(file) << "{}";
             fs::resize_file(file, kLargestDescription + 1);
         },
         "larger than"},
        {"a folder", [&] { fs::create_directory(file); }, "cannot read"},
    };
    for (const Case& k : cases) {
        fs::remove_all(file);
        k.make();
        for (int boot = 0; boot < 2; ++boot) {
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(configuredMachine().boards.size(), 3u) << k.name;
            const std::string said = ::testing::internal::GetCapturedStderr();
            EXPECT_NE(said.find(k.mentions), std::string::npos) << k.name << ": " << said;
            EXPECT_NE(said.find("booting the standard machine"), std::string::npos) << said;
        }
    }
    fs::remove_all(file);
}

// The product is installed in a new machine root only: what a root's installation records stays.
TEST_F(MachineBoot, InstallsOnceAndKeepsWhatTheInstallationRecords) {
    const std::string engine = "Software\\Talvenor\\Corvix", product = "SOFTWARE\\Talvenor\\Quorelle 5";
    const auto text = [](const std::string& key, const char* name) {
        const auto value = reg::getValue(reg::Root::LocalMachine, key, name);
        return value ? std::string(reinterpret_cast<const char*>(value->data.data())) : std::string("(none)");
    };
    Machine& first = bootMachine(defaultMachine());
    EXPECT_EQ(text(engine, "Dllpath"), first.codeImageFolder().string());
    EXPECT_EQ(text(product, "Distrib"), QUORELLE_VERSION_STRING);
    ASSERT_TRUE(fs::exists(first.codeImageFolder() / "kernala.dat"));

    // Another version installed elsewhere, its code image gone, then a value removed: all kept.
    ASSERT_TRUE(reg::setValue(reg::Root::LocalMachine, engine, "Dllpath", reg::stringValue("C:\\Old")));
    ASSERT_TRUE(reg::setValue(reg::Root::LocalMachine, product, "Distrib", reg::stringValue("5.0.3")));
    fs::remove(first.codeImageFolder() / "kernala.dat");
    Machine& second = bootMachine(defaultMachine());
    EXPECT_EQ(text(engine, "Dllpath"), "C:\\Old");
    EXPECT_EQ(text(product, "Distrib"), "5.0.3");
    EXPECT_FALSE(fs::exists(second.codeImageFolder() / "kernala.dat"));
    ASSERT_TRUE(reg::deleteValue(reg::Root::LocalMachine, product, "Distrib"));
    const Machine& third = bootMachine(defaultMachine());
    EXPECT_EQ(text(product, "Distrib"), "(none)");
    EXPECT_TRUE(third.problems().empty());
}

TEST_F(MachineBoot, ShutdownLetsTheNextUseBootAgain) {
    bootMachine(defaultMachine());
    shutdownMachine();
    EXPECT_EQ(runningMachine(), nullptr);
    EXPECT_FALSE(qbase::machineBooted());
}

}  // namespace
}  // namespace sim
