#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fake_seam.h"
#include "win32/windows.h"

namespace {

using qwin32::testing::FakeSeam;

constexpr GUID kPc104 = {0x65103BA5, 0x7E43, 0x436A, {0x93, 0x83, 0xFD, 0x8C, 0xFE, 0x67, 0xCF, 0x2A}};
constexpr GUID kOther = {0x12345678, 0x1, 0x2, {0, 0, 0, 0, 0, 0, 0, 1}};

qk::Guid kernelGuid(const GUID& g) {
    qk::Guid k{g.Data1, g.Data2, g.Data3, {}};
    std::memcpy(k.data4, g.Data4, 8);
    return k;
}

// The detail path of member `index`, asked the way the engine asks: size first, then the path.
std::string detailPath(HDEVINFO set, DWORD index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kPc104, index, &data)) return "<none>";
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    std::unique_ptr<std::uint8_t[]> storage(new std::uint8_t[required]);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required - 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    return reinterpret_cast<const char*>(storage.get()) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
}

TEST(SetupDi, EnumeratesPresentInterfacesInMemberOrder) {
    FakeSeam seam;
    const std::vector<std::string> paths = {"\\\\?\\ROOT#OSPRIX#0000#{65103ba5}\\0", "\\\\?\\ROOT#OSPRIX#0001#{65103ba5}\\1",
                                            "\\\\?\\ROOT#OSPRIX#0002#{65103ba5}\\2"};
    seam.interfaceLists = {{kernelGuid(kOther), {"\\\\?\\other"}}, {kernelGuid(kPc104), paths}};
    const HDEVINFO set = SetupDiGetClassDevsA(&kPc104, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    for (DWORD i = 0; i < paths.size(); ++i) EXPECT_EQ(detailPath(set, i), paths[i]);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kPc104, 3, &data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_ITEMS});
    EXPECT_FALSE(CloseHandle(set));  // a set has its own close call
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
}

TEST(SetupDi, RefusesBadArguments) {
    FakeSeam seam;
    seam.interfaceLists = {{kernelGuid(kPc104), {"\\\\?\\a"}}};
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_DEVICEINTERFACE), INVALID_HANDLE_VALUE);
    const HDEVINFO set = SetupDiGetClassDevsA(&kPc104, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kPc104, 0, &data));  // cbSize not set
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, nullptr, nullptr));  // never enumerated
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kPc104, 0, &data));
    std::uint8_t storage[64] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage);
    detail->cbSize = 1;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    SetupDiDestroyDeviceInfoList(set);
}

TEST(SetupDi, InterfacePathOpensTheDevice) {
    FakeSeam seam;
    seam.interfaceLists = {{kernelGuid(kPc104), {"\\\\?\\ROOT#OSPRIX#0000\\0"}}};
    seam.addDevice("\\\\?\\ROOT#OSPRIX#0000\\0", false);
    const HDEVINFO set = SetupDiGetClassDevsA(&kPc104, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    const std::string path = detailPath(set, 0);
    SetupDiDestroyDeviceInfoList(set);
    const HANDLE a = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE b = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(seam.openFiles(path), 2);
    CloseHandle(a);
    CloseHandle(b);
}

}  // namespace
