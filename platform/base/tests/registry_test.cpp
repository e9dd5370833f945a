#include "base/registry_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/machine_root.h"
#include "base/registry_testing.h"

namespace {

namespace reg = qbase::registry;
using reg::Root;

std::string fileText() {
    std::ifstream in(qbase::machineRoot() / "registry.reg");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::uint32_t> dword(Root root, const std::string& path, const std::string& name) {
    const auto v = reg::getValue(root, path, name);
    if (!v || v->data.size() != 4) return std::nullopt;
    return v->data[0] | v->data[1] << 8 | v->data[2] << 16 | std::uint32_t{v->data[3]} << 24;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        qbase::setMachineBooter([] {});
        reg::deleteKey(Root::LocalMachine, "SOFTWARE\\Talvenor");
        reg::deleteKey(Root::CurrentUser, "Software\\Talvenor");
    }
};

struct Spelling {
    const char* created;
    const char* queried;
};

class RegistrySpelling : public Registry, public ::testing::WithParamInterface<Spelling> {};

TEST_P(RegistrySpelling, PathsAndValueNamesIgnoreCase) {
    for (Root root : {Root::LocalMachine, Root::CurrentUser}) {
        ASSERT_TRUE(reg::createKey(root, GetParam().created));
        ASSERT_TRUE(reg::setValue(root, GetParam().created, "DoNotPreventSystemSleep", reg::dwordValue(7)));
        EXPECT_TRUE(reg::keyExists(root, GetParam().queried));
        EXPECT_EQ(dword(root, GetParam().queried, "donotpreventsystemsleep"), 7u);
    }
}

INSTANTIATE_TEST_SUITE_P(Spellings, RegistrySpelling,
                         ::testing::Values(Spelling{"SOFTWARE\\Talvenor\\Corvix", "Software\\Talvenor\\Corvix"},
                                           Spelling{"Software\\talvenor\\corvix", "SOFTWARE\\TALVENOR\\CORVIX"},
                                           Spelling{"Software\\Talvenor\\Corvix", "\\Software\\Talvenor\\Corvix\\"},
                                           Spelling{"SYSTEM\\CurrentControlSet\\Services\\Ambrix",
                                                    "system\\currentcontrolset\\SERVICES\\ambrix"}),
                         [](const ::testing::TestParamInfo<Spelling>& info) { return "Case" + std::to_string(info.index); });

TEST_F(Registry, KeepsFirstSpellingAndListsSubkeys) {
    ASSERT_TRUE(reg::createKey(Root::LocalMachine, "SOFTWARE\\Talvenor\\Quorelle 5"));
    ASSERT_TRUE(reg::createKey(Root::LocalMachine, "software\\TALVENOR\\corvix"));
    EXPECT_EQ(reg::subkeys(Root::LocalMachine, "Software\\Talvenor"),
              (std::vector<std::string>{"corvix", "Quorelle 5"}));
    EXPECT_NE(fileText().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvenor\\Quorelle 5]"), std::string::npos);
}

TEST_F(Registry, VolatileHiveIsNotPersistedAndClearsAtBoot) {
    const std::string services = "SYSTEM\\CurrentControlSet\\Services\\Ambrix\\Parameters";
    ASSERT_TRUE(reg::createKey(Root::LocalMachine, services));
    ASSERT_TRUE(reg::setValue(Root::LocalMachine, services, "Active_Cards", reg::dwordValue(2)));
    ASSERT_TRUE(reg::createKey(Root::LocalMachine, "SOFTWARE\\Talvenor\\Corvix"));
    ASSERT_TRUE(reg::setValue(Root::LocalMachine, "SOFTWARE\\Talvenor\\Corvix", "Dllpath", reg::stringValue("C:\\x")));
    EXPECT_EQ(fileText().find("CurrentControlSet"), std::string::npos);
    EXPECT_TRUE(reg::keyExists(Root::LocalMachine, "SYSTEM"));
    const auto systemKeys = reg::subkeys(Root::LocalMachine, "SYSTEM");
    EXPECT_NE(std::find(systemKeys.begin(), systemKeys.end(), "CurrentControlSet"), systemKeys.end());

    reg::reloadPersisted();
    EXPECT_EQ(dword(Root::LocalMachine, services, "Active_Cards"), 2u);  // volatile survives a reload
    reg::resetVolatileHive();                                             // the machine boots again
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, services));
    const auto dllpath = reg::getValue(Root::LocalMachine, "SOFTWARE\\Talvenor\\Corvix", "Dllpath");
    ASSERT_TRUE(dllpath);
    EXPECT_EQ(dllpath->data, reg::stringValue("C:\\x").data);
}

TEST_F(Registry, ReadOnlyKeyRefusesChangesBelowItButReads) {
    const std::string key = "SOFTWARE\\Talvenor\\Corvix";
    ASSERT_TRUE(reg::createKey(Root::LocalMachine, key));
    ASSERT_TRUE(reg::setValue(Root::LocalMachine, key, "DoNotPreventSystemSleep", reg::dwordValue(0)));
    reg::setReadOnlyForUser(Root::LocalMachine, "software\\talvenor", true);
    EXPECT_FALSE(reg::isWritableByUser(Root::LocalMachine, key));
    EXPECT_TRUE(reg::isWritableByUser(Root::LocalMachine, "SOFTWARE"));
    EXPECT_FALSE(reg::setValue(Root::LocalMachine, key, "DoNotPreventSystemSleep", reg::dwordValue(1)));
    EXPECT_FALSE(reg::createKey(Root::LocalMachine, key + "\\New"));
    EXPECT_FALSE(reg::deleteValue(Root::LocalMachine, key, "DoNotPreventSystemSleep"));
    EXPECT_FALSE(reg::deleteKey(Root::LocalMachine, key));
    EXPECT_EQ(dword(Root::LocalMachine, key, "DoNotPreventSystemSleep"), 0u);
    reg::setReadOnlyForUser(Root::LocalMachine, "software\\talvenor", false);
    EXPECT_TRUE(reg::setValue(Root::LocalMachine, key, "DoNotPreventSystemSleep", reg::dwordValue(1)));
}

TEST_F(Registry, MissingKeysAndValues) {
    EXPECT_FALSE(reg::setValue(Root::LocalMachine, "SOFTWARE\\Talvenor\\Missing", "x", reg::dwordValue(1)));
    EXPECT_FALSE(reg::getValue(Root::LocalMachine, "SOFTWARE\\Talvenor\\Missing", "x"));
    EXPECT_FALSE(reg::deleteValue(Root::LocalMachine, "SOFTWARE", "missing value"));
    EXPECT_FALSE(reg::deleteKey(Root::LocalMachine, "SOFTWARE\\Talvenor\\Missing"));
    EXPECT_FALSE(reg::deleteKey(Root::LocalMachine, "SYSTEM\\CurrentControlSet"));
    // A line break would split the name's line in the hive file.
    EXPECT_FALSE(reg::createKey(Root::CurrentUser, "Software\\Talvenor\\Two\nLines"));
    ASSERT_TRUE(reg::createKey(Root::CurrentUser, "Software\\Talvenor"));
    EXPECT_FALSE(reg::setValue(Root::CurrentUser, "Software\\Talvenor", "a\r\nb", reg::dwordValue(1)));
}

TEST_F(Registry, SeesAnotherProcessWriteAndLosesNeither) {
    const std::string key = "Software\\Talvenor\\Shared";
    ASSERT_TRUE(reg::createKey(Root::CurrentUser, key));
    constexpr int kWrites = 40;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = true;
        for (int i = 0; i < kWrites; ++i) ok = reg::setValue(Root::CurrentUser, key, "child" + std::to_string(i), reg::dwordValue(i)) && ok;
        _exit(ok ? 0 : 1);
    }
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_TRUE(reg::setValue(Root::CurrentUser, key, "parent" + std::to_string(i), reg::dwordValue(i)));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(dword(Root::CurrentUser, key, "child" + std::to_string(i)), std::uint32_t(i));
        EXPECT_EQ(dword(Root::CurrentUser, key, "parent" + std::to_string(i)), std::uint32_t(i));
    }
}

TEST_F(Registry, CrashInTheMiddleOfSaveLeavesTheOldFile) {
    const std::string key = "Software\\Talvenor\\Crash";
    ASSERT_TRUE(reg::createKey(Root::CurrentUser, key));
    ASSERT_TRUE(reg::setValue(Root::CurrentUser, key, "Kept", reg::dwordValue(1)));
    const std::string before = fileText();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        reg::testing::setBeforeRenameHook([] { _exit(3); });
        reg::setValue(Root::CurrentUser, key, "Lost", reg::dwordValue(2));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    EXPECT_EQ(fileText(), before);
    EXPECT_EQ(dword(Root::CurrentUser, key, "Kept"), 1u);
    EXPECT_FALSE(reg::getValue(Root::CurrentUser, key, "Lost"));
    EXPECT_TRUE(reg::setValue(Root::CurrentUser, key, "After", reg::dwordValue(3)));  // the stale temporary is no obstacle
    EXPECT_EQ(dword(Root::CurrentUser, key, "After"), 3u);
}

TEST_F(Registry, FailedSaveIsReportedAndNotKept) {
    const std::string key = "Software\\Talvenor\\Unsaved";
    ASSERT_TRUE(reg::createKey(Root::CurrentUser, key));
    const std::filesystem::path blocker = qbase::machineRoot() / "registry.reg.tmp";
    std::filesystem::create_directory(blocker);  // the temporary file cannot be created
    EXPECT_FALSE(reg::setValue(Root::CurrentUser, key, "Value", reg::dwordValue(1)));
    EXPECT_FALSE(reg::getValue(Root::CurrentUser, key, "Value"));
    std::filesystem::remove(blocker);
    EXPECT_TRUE(reg::setValue(Root::CurrentUser, key, "Value", reg::dwordValue(1)));
}

TEST_F(Registry, HandEditedFileIsReadAfterReload) {
    std::ofstream(qbase::machineRoot() / "registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Talvenor\\Plandrel]\r\n"
           "\"Recent\"=\"C:\\\\cfg\\\\a.cnf\"\r\ngarbage line\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\X]\r\n";
    reg::reloadPersisted();
    const auto recent = reg::getValue(Root::CurrentUser, "Software\\Talvenor\\Plandrel", "recent");
    ASSERT_TRUE(recent);
    EXPECT_EQ(recent->data, reg::stringValue("C:\\cfg\\a.cnf").data);
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, "SYSTEM\\CurrentControlSet\\X"));
}

}  // namespace
