// Every entry that reads the machine finds it booted, whichever comes first in the process; the
// simulated machine's module is loaded for it as in any application.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include "base/machine_root.h"
#include "win32/windows.h"

namespace {

namespace fs = std::filesystem;

struct EntryCase {
    const char* name;
    std::function<void()> call;
    bool boots;
};
void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.name; }

void openAndClose(const fs::path& file) {
    const HANDLE handle = CreateFileA(file.string().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

class FirstEntry : public ::testing::TestWithParam<EntryCase> {
protected:
    void SetUp() override { qbase::markMachineBooted(false); }
};

TEST_P(FirstEntry, BootsTheMachineWhenItReadsIt) {
    GetParam().call();
    EXPECT_EQ(qbase::machineBooted(), GetParam().boots) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FirstEntry,
    ::testing::Values(
        EntryCase{"system directory",
                  [] {
                      char folder[MAX_PATH];
                      GetSystemDirectoryA(folder, sizeof folder);
                  },
                  true},
        EntryCase{"version resource",
                  [] {
                      DWORD handle = 0;
                      GetFileVersionInfoSizeA((qbase::systemDirectory() / "drivers" / "ambrix.sys").c_str(), &handle);
                  },
                  true},
        EntryCase{"registry key",
                  [] {
                      HKEY key = nullptr;
                      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Corvix", 0, KEY_QUERY_VALUE, &key) ==
                          ERROR_SUCCESS)
                          RegCloseKey(key);
                  },
                  true},
        EntryCase{"file of the machine root", [] { openAndClose(qbase::machineRoot() / "none.dat"); }, true},
        EntryCase{"file elsewhere",
                  [] {
                      const fs::path file = fs::temp_directory_path() / "quorelle-boot-test.txt";
                      std::ofstream(file) << "x";
                      openAndClose(file);
                      fs::remove(file);
                  },
                  false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) c = c == ' ' ? '_' : c;
        return name;
    });

// What the boot wrote is there for the first call: the engine key and the driver files' versions.
TEST(FirstEntry, FindsWhatTheBootWrote) {
    qbase::markMachineBooted(false);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Corvix", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Dllpath", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    qbase::markMachineBooted(false);
    char folder[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(folder, sizeof folder), 0u);
    DWORD handle = 0;
    EXPECT_GT(GetFileVersionInfoSizeA((std::string(folder) + "\\drivers\\ambrix.sys").c_str(), &handle), 0u);
}

}  // namespace
