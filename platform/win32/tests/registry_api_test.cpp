#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/machine_root.h"
#include "base/registry_store.h"
#include "win32/windows.h"

namespace {

constexpr char kEngineKey[] = "Software\\Talvenor\\Corvix";

class RegistryApi : public ::testing::Test {
protected:
    void SetUp() override { qbase::setMachineBooter([] {}); }
    void TearDown() override { qbase::registry::setReadOnlyForUser(qbase::registry::Root::LocalMachine, kEngineKey, false); }
};

HKEY create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
}

TEST_F(RegistryApi, SetAndQueryThroughAnyCase) {
    DWORD disposition = 0;
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvenor\\Corvix", &disposition);
    EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExA(key, "DoNotPreventSystemSleep", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "software\\talvenor\\CORVIX", &disposition));
    EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "donotpreventsystemsleep", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_DWORD});
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(RegSetValueExA(key, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryApi, StringSizeQueryAndShortBuffer) {
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvenor\\Quorelle 5");
    const char distrib[] = "5.0.3";
    ASSERT_EQ(RegSetValueExA(key, "Distrib", 0, REG_SZ, reinterpret_cast<const BYTE*>(distrib), sizeof distrib),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Distrib", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof distrib);
    char text[4];
    size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "Distrib", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof distrib);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, reinterpret_cast<const BYTE*>(distrib), 2),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Two\nLines", 0, REG_SZ, reinterpret_cast<const BYTE*>(distrib), sizeof distrib),
              ERROR_INVALID_PARAMETER);
    HKEY bad = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Two\nLines", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteValueA(key, "DISTRIB"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Distrib"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

// A user without administrator rights: the engine key opens for querying, not for setting.
TEST_F(RegistryApi, ReadOnlyKeyOpensForQueryOnly) {
    RegCloseKey(create(HKEY_LOCAL_MACHINE, kEngineKey));
    qbase::registry::setReadOnlyForUser(qbase::registry::Root::LocalMachine, kEngineKey, true);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Missing", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x4321), "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApi, SubkeyOfAnOpenedKeyAndCurrentUser) {
    HKEY parent = create(HKEY_CURRENT_USER, "Software\\Talvenor");
    HKEY child = create(parent, "Plandrel\\Settings");
    const BYTE blob[3] = {9, 8, 7};
    EXPECT_EQ(RegSetValueExA(child, "Bar", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(parent);
    const auto stored = qbase::registry::getValue(qbase::registry::Root::CurrentUser,
                                                  "SOFTWARE\\TALVENOR\\PLANDREL\\SETTINGS", "bar");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, qbase::registry::ValueType::Binary);
    EXPECT_EQ(stored->data, (std::vector<std::uint8_t>{9, 8, 7}));
}

}  // namespace
