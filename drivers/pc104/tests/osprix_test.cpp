// The PC104 driver end to end on the default machine: the board found through its device
// interface, opened with CreateFileA and driven with DeviceIoControl.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/registry_store.h"
#include "fdb_ioctl.h"
#include "sim/machine/machine.h"
#include "win32/windows.h"

namespace {

namespace reg = qbase::registry;

constexpr GUID kPc104Interface{fdb::kPc104InterfaceClass.data1, fdb::kPc104InterfaceClass.data2,
                               fdb::kPc104InterfaceClass.data3,
                               {fdb::kPc104InterfaceClass.data4[0], fdb::kPc104InterfaceClass.data4[1],
                                fdb::kPc104InterfaceClass.data4[2], fdb::kPc104InterfaceClass.data4[3],
                                fdb::kPc104InterfaceClass.data4[4], fdb::kPc104InterfaceClass.data4[5],
                                fdb::kPc104InterfaceClass.data4[6], fdb::kPc104InterfaceClass.data4[7]}};
const std::string kParameters = "SYSTEM\\CurrentControlSet\\Services\\osprix\\Parameters";

std::string firstInterfacePath() {
    const HDEVINFO set = SetupDiGetClassDevsA(&kPc104Interface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    std::string path;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &kPc104Interface, 0, &data)) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
        std::vector<std::uint8_t> storage(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr)) path = detail->DevicePath;
    }
    SetupDiDestroyDeviceInfoList(set);
    return path;
}

std::optional<std::uint32_t> registryDword(const std::string& name) {
    const auto value = reg::getValue(reg::Root::LocalMachine, kParameters, name);
    if (!value || value->data.size() != 4) return std::nullopt;
    return value->data[0] | value->data[1] << 8 | value->data[2] << 16 | std::uint32_t{value->data[3]} << 24;
}

class Osprix : public ::testing::Test {
protected:
    void SetUp() override { open(sim::defaultMachine()); }
    void open(const sim::MachineDescription& description) {
        sim::Machine& machine = sim::bootMachine(description);
        ASSERT_EQ(machine.driverStatus("osprix"), 0);
        const std::string path = firstInterfacePath();
        ASSERT_FALSE(path.empty());
        board = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(board, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (board != INVALID_HANDLE_VALUE) CloseHandle(board);
        sim::shutdownMachine();
    }

    // The error code of the call (0 on success) and the returned byte count.
    std::pair<DWORD, DWORD> control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
        DWORD returned = 0xFFFF;
        const BOOL ok = DeviceIoControl(board, code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr);
        return {ok ? 0 : GetLastError(), returned};
    }

    HANDLE board = INVALID_HANDLE_VALUE;
};

TEST_F(Osprix, AnswersItsCardTypeInTheFirstFourBytes) {
    std::array<std::uint8_t, 8> out{};
    out.fill(0xEE);
    EXPECT_EQ(control(fdb::IOCTL_FDB_GET_CARD_TYPE, nullptr, 0, out.data(), 8), std::make_pair(DWORD{0}, DWORD{4}));
    EXPECT_EQ(out, (std::array<std::uint8_t, 8>{1, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(control(fdb::IOCTL_FDB_GET_CARD_TYPE, nullptr, 0, out.data(), 2).first, DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(Osprix, PageWrittenIsReadBack) {
    std::array<std::uint8_t, fdb::kWritePhyInput> page{};
    page[0] = 5;  // page 5, least significant byte first
    for (std::size_t i = 0; i < fdb::kPageBytes; ++i) page[2 + i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_EQ(control(fdb::IOCTL_WRITE_PHY, page.data(), fdb::kWritePhyInput, nullptr, 0).first, DWORD{0});

    std::array<std::uint8_t, fdb::kPageBytes> read{};
    read[0] = 5;
    read[1] = 0;
    const auto [error, returned] = control(fdb::IOCTL_READ_PHY, read.data(), 2, read.data(), fdb::kPageBytes);
    ASSERT_EQ(error, DWORD{0});
    EXPECT_EQ(returned, fdb::kPageBytes);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), page.begin() + 2));
}

TEST_F(Osprix, ControlRegisterOffsetsStayInsideTheBoardsPorts) {
    std::array<std::uint8_t, 4> offset{0, 0, 0, 0};  // 0 names the control register
    std::array<std::uint8_t, 4> out{};
    EXPECT_EQ(control(fdb::IOCTL_READ_CONTROL_REGISTER, offset.data(), 4, out.data(), 4).first, DWORD{0});
    for (std::uint32_t beyond : {32u, 0x10000u, 0xFFFFFFFFu}) {
        for (int i = 0; i < 4; ++i) offset[i] = static_cast<std::uint8_t>(beyond >> (8 * i));
        const auto [error, returned] = control(fdb::IOCTL_READ_CONTROL_REGISTER, offset.data(), 4, out.data(), 4);
        EXPECT_EQ(error, DWORD{ERROR_INVALID_PARAMETER}) << beyond;
        EXPECT_EQ(returned, 0u) << beyond;
        std::array<std::uint8_t, 8> write{offset[0], offset[1], offset[2], offset[3], 0x55, 0, 0, 0};
        EXPECT_EQ(control(fdb::IOCTL_WRITE_CONTROL_REGISTER, write.data(), 8, nullptr, 0).first,
                  DWORD{ERROR_INVALID_PARAMETER}) << beyond;
    }
}

TEST_F(Osprix, LedsChangeOnlyTheirBitsAndRegisterNumbersAreBounded) {
    const std::uint8_t leds = 0x0F;
    ASSERT_EQ(control(fdb::IOCTL_SET_LEDS_STATE, &leds, 1, nullptr, 0).first, DWORD{0});
    std::uint8_t state = 0;
    EXPECT_EQ(control(fdb::IOCTL_GET_LEDS_STATE, nullptr, 0, &state, 1), std::make_pair(DWORD{0}, DWORD{1}));
    EXPECT_EQ(state, 7);

    std::array<std::uint8_t, 4> number{8, 0, 0, 0};
    EXPECT_EQ(control(fdb::IOCTL_FULLFIP2_READ_REGISTERS, number.data(), 4, number.data(), 4).first,
              DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(control(fdb::IOCTL_GET_PCI_SLOT, nullptr, 0, number.data(), 4).first, DWORD{ERROR_NOT_SUPPORTED});
}

TEST_F(Osprix, OpenHandlesShowInTheRegistryValues) {
    EXPECT_EQ(registryDword("Active_Cards"), 1u);
    EXPECT_EQ(registryDword("Used_Cards"), 1u);
    const std::string path = firstInterfacePath();
    const HANDLE second = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);  // not exclusive
    CloseHandle(second);
    EXPECT_EQ(registryDword("Used_Cards"), 0u);  // any close marks the board unused
    const auto index = reg::getValue(reg::Root::LocalMachine, kParameters, "Used_Index");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->data, std::vector<std::uint8_t>(9, 0));
}

struct MediumCase {
    const char* medium;
    DWORD operation4Error;
};

class OsprixMedium : public Osprix, public ::testing::WithParamInterface<MediumCase> {
protected:
    void SetUp() override {
        open(sim::parseMachineDescription(std::string(R"({"boards": [{"type": "pc104", "medium": ")") +
                                          GetParam().medium + R"(", "serialNumber": 42}]})"));
    }
};

// The driver tells a single-medium board by configuration word bits 8-9 = 01.
TEST_P(OsprixMedium, SingleMediumBoardRefusesTheSecondMediumOperations) {
    std::uint8_t operation = 4;
    EXPECT_EQ(control(fdb::IOCTL_FDB_MEDIUM_ACCESS, &operation, 1, &operation, 1).first, GetParam().operation4Error);
    operation = 1;
    EXPECT_EQ(control(fdb::IOCTL_FDB_MEDIUM_ACCESS, &operation, 1, &operation, 1).first, DWORD{0});
    operation = 8;
    EXPECT_EQ(control(fdb::IOCTL_FDB_MEDIUM_ACCESS, &operation, 1, &operation, 1).first, DWORD{ERROR_INVALID_PARAMETER});

    std::uint32_t word = 0;
    ASSERT_EQ(control(fdb::IOCTL_GET_SERIAL_NUMBER, nullptr, 0, &word, 4), std::make_pair(DWORD{0}, DWORD{4}));
    EXPECT_EQ(word, 42u);
    ASSERT_EQ(control(fdb::IOCTL_GET_PC104_BASE_ADDRESS, nullptr, 0, &word, 4).first, DWORD{0});
    EXPECT_EQ(word, 0x300u);
}

INSTANTIATE_TEST_SUITE_P(Media, OsprixMedium,
                         ::testing::Values(MediumCase{"single", ERROR_NOT_SUPPORTED}, MediumCase{"dual", 0}),
                         [](const auto& info) { return std::string(info.param.medium); });

TEST(OsprixBoards, TheTenthBoardIsRefused) {
    std::string boards;
    for (int i = 0; i < 10; ++i)
        boards += std::string(i ? ", " : "") + R"({"type": "pc104", "baseAddress": ")" + std::to_string(0x100 + 0x20 * i) + R"("})";
    sim::Machine& machine = sim::bootMachine(sim::parseMachineDescription(R"({"boards": [)" + boards + "]}"));
    ASSERT_EQ(machine.enumerations().size(), 10u);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(machine.enumerations()[i].addStatus, 0) << i;
    EXPECT_EQ(static_cast<std::uint32_t>(machine.enumerations()[9].addStatus), 0x8000001Au);
    EXPECT_EQ(registryDword("Active_Cards"), 9u);
    sim::shutdownMachine();
}

}  // namespace
