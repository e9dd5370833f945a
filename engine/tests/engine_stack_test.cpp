// The engine through the whole stack: enumeration, start and stop, board queries and every card
// operation as the simulated controller and card see them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "board_device.h"
#include "engine_errors.h"
#include "stack_fixture.h"

// Found by argument lookup: the record is a global type of the exported interface.
static bool operator==(const ActiveDeviceInfo& a, const ActiveDeviceInfo& b) {
    return a.boardType == b.boardType && a.boardNumber == b.boardNumber && a.zero == b.zero && a.used == b.used;
}
static void PrintTo(const ActiveDeviceInfo& r, std::ostream* out) {
    *out << "{" << r.boardType << ", " << r.boardNumber << ", " << r.zero << ", " << r.used << "}";
}

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

std::vector<ActiveDeviceInfo> listed(std::uint16_t count) {
    std::vector<ActiveDeviceInfo> records(count + 1, ActiveDeviceInfo{7, 7, 7, 7});
    EXPECT_EQ(GetActiveDevicesInfo(count, records.data()), 0u);
    EXPECT_EQ(records.back().boardType, 7u) << "wrote beyond the count";
    records.pop_back();
    return records;
}

sim::MachineDescription machineOf(std::vector<sim::BoardConfig> boards) {
    sim::MachineDescription d;
    d.boards = std::move(boards);
    return d;
}

sim::PciBoardConfig pciBoard(std::uint32_t slot, std::uint64_t address) {
    sim::PciBoardConfig c;
    c.uiNumber = slot;
    c.physicalAddress = address;
    return c;
}

sim::Pc104BoardConfig pc104Board(std::uint32_t word, bool dual, std::uint32_t port = 0x300) {
    sim::Pc104BoardConfig c;
    c.configurationWord = word;
    c.dualMedium = dual;
    c.basePort = port;
    return c;
}

class Stack : public EngineOnMachine {};

TEST_F(Stack, DefaultMachineListsItsPciThenPc104ThenUsbBoard) {
    boot();
    std::uint16_t count = 0;
    ASSERT_EQ(GetActiveDevicesCount(&count), 0u);
    ASSERT_EQ(count, 3);
    EXPECT_THAT(listed(count), ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}, ActiveDeviceInfo{1, 1, 0, 0},
                                           ActiveDeviceInfo{2, 1, 0, 0}));
    EXPECT_THAT(listed(1), ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}));
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    EXPECT_THAT(listed(3), ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}, ActiveDeviceInfo{1, 1, 0, 1},
                                       ActiveDeviceInfo{2, 1, 0, 0}));
}

TEST_F(Stack, DefaultMachineStartsOnItsUsbBoard) {
    boot();
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardUsb), kSuccess);
    EXPECT_THAT(listed(3), ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}, ActiveDeviceInfo{1, 1, 0, 0},
                                       ActiveDeviceInfo{2, 1, 0, 1}));
    EXPECT_EQ(GetCardrixInfo(kBoardUsb, 1), sim::kUsbDualMediumWord);
    EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    EXPECT_THAT(listed(3).back(), (ActiveDeviceInfo{2, 1, 0, 0}));
}

TEST_F(Stack, SeveralBoardsAreNumberedWithinTheirType) {
    boot(machineOf({pciBoard(2, 0xF0000000), pc104Board(sim::kPc104SingleMediumWord, false),
                    pciBoard(5, 0xE0000000)}));
    std::uint16_t count = 0;
    GetActiveDevicesCount(&count);
    ASSERT_EQ(count, 3);
    EXPECT_THAT(listed(3), ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}, ActiveDeviceInfo{0, 2, 0, 0},
                                       ActiveDeviceInfo{1, 1, 0, 0}));
    EXPECT_EQ(GetPCISlot(1), 2u);
    EXPECT_EQ(GetPCISlot(2), 5u);
    EXPECT_EQ(GetPCISlot(3), 0xFFFFFFFFu);
    EXPECT_EQ(GetPC104PhysicalAddress(1), 0x300u);
    EXPECT_EQ(GetPC104PhysicalAddress(2), 0xFFFFFFFFu);
}

TEST_F(Stack, QueriesOfAPciBoardHeldByAnotherHandleFail) {
    boot();
    EXPECT_EQ(GetCardrixSerialNumber(kBoardPci, 1), 0x00010001u);
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    EXPECT_EQ(GetCardrixSerialNumber(kBoardPci, 1), 0x00010001u);  // the thread's own device
    EXPECT_EQ(GetCardrixInfo(kBoardPci, 1), sim::kPciWord8BitEeprom);
    std::uint32_t serial = 1, info = 1, slot = 0, pc104Serial = 0;
    std::thread other([&] {
        serial = GetCardrixSerialNumber(kBoardPci, 1);
        info = GetCardrixInfo(kBoardPci, 1);
        slot = GetPCISlot(1);
        pc104Serial = GetCardrixSerialNumber(kBoardPc104, 1);
    });
    other.join();
    EXPECT_EQ(serial, 0u);
    EXPECT_EQ(info, 0u);
    EXPECT_EQ(slot, 0xFFFFFFFFu);
    EXPECT_EQ(pc104Serial, 0x00020001u);
}

TEST_F(Stack, Pc104BoardAdmitsAQueryBesideTheRunningHandle) {
    boot();
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    std::uint32_t info = 0;
    std::thread other([&] { info = GetCardrixInfo(kBoardPc104, 1); });
    other.join();
    EXPECT_EQ(info, sim::kPc104DualMediumWord);
}

TEST_F(Stack, StartRefusals) {
    sim::MachineDescription d = sim::defaultMachine();
    d.ambrixVersion = "3.0";
    boot(d);
    EXPECT_EQ(START_FIP_ENGINE(1, kBoardPci), kErrDriverVersion);
    EXPECT_EQ(START_FIP_ENGINE(1, 5), kErrDriverVersion);
    EXPECT_EQ(START_FIP_ENGINE(2, kBoardPc104), kErrBoardNotOpened);
    EXPECT_EQ(START_FIP_ENGINE(2, kBoardUsb), kErrBoardNotOpened);
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    d.ambrixVersion = "3.10";
    STOP_FIP_ENGINE();
    boot(d);
    EXPECT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
}

TEST_F(Stack, StopReleasesThePciBoardForTheNextOpen) {
    boot();
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    const std::uint64_t before = clock.now();
    const std::uint32_t resets = pci().card().resetCount();
    ASSERT_EQ(STOP_FIP_ENGINE(), kSuccess);
    EXPECT_EQ(pci().card().resetCount(), resets + 1);
    EXPECT_LT(clock.now() - before, 1000ull * 10000);  // released at once, no 100 ms wait
    EXPECT_THAT(listed(1), ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}));
    std::thread other([] {
        EXPECT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
        EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    });
    other.join();
}

struct VariantCase {
    std::uint32_t word;
    bool dual;
    std::uint8_t mediumMask;    // the bits of MEDIUM_CONTROL 0 (after 1) that the case fixes
    std::uint8_t mediumStatus;  // their value with the counters unchanged
    std::uint8_t defParam;
};
class Variants : public EngineOnMachine, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(Variants, SelectMediumCommandsAndTheCommunicationParameter) {
    boot(machineOf({pc104Board(GetParam().word, GetParam().dual)}));
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    if (GetParam().defParam == 0) {
        EXPECT_EQ(START_COMMUNICATION(), kErrUnknownVariant);
        std::uint8_t status = 0;
        EXPECT_EQ(MEDIUM_CONTROL(0, &status), kErrUnknownVariant);
        return;
    }
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    EXPECT_EQ(pc104().card().communicationParameter(), GetParam().defParam);
    EXPECT_TRUE(pc104().card().circuitStarted());
    EXPECT_TRUE(pc104().card().testEnded());
    std::uint8_t status = 0;
    ASSERT_EQ(MEDIUM_CONTROL(1, &status), kSuccess);
    ASSERT_EQ(MEDIUM_CONTROL(0, &status), kSuccess);
    EXPECT_EQ(status & GetParam().mediumMask, GetParam().mediumStatus);
    EXPECT_EQ(MEDIUM_CONTROL(4, &status), GetParam().defParam == 5 ? kErrMediumNotAllowed : kSuccess);
    EXPECT_EQ(MEDIUM_CONTROL(8, &status), kErrMediumCommand);
}

INSTANTIATE_TEST_SUITE_P(Pc104, Variants,
                         ::testing::Values(VariantCase{sim::kPc104DualMediumWord, true, 0xC0, 0x00, 7},
                                           VariantCase{sim::kPc104SingleMediumWord, false, 0xFF, 0x01, 5},
                                           VariantCase{0x0003A604, true, 0, 0, 0}));

TEST_F(Stack, PciBoardIsVariantOneAndRefusesTheLedCodes) {
    boot();
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(START_COMMUNICATION(), kSuccess);
    EXPECT_EQ(pci().card().communicationParameter(), 7);
    std::uint32_t on = 0;
    const ErrorCode code = GetLedState(kBoardPci, 1, 0, &on);
    EXPECT_NE(code, kSuccess);
    EXPECT_EQ(code & 0x20000000u, 0u);  // the platform's error
    std::uint8_t colour = 0x55;
    EXPECT_EQ(GetRgbLedState(kBoardPci, 1, &colour), kSuccess);
    EXPECT_EQ(colour, 0x55);
}

TEST_F(Stack, Pc104LedsFollowTheirBits) {
    boot();
    // The board has three LEDs (control register bits 4-6): mask bits 0-2.
    for (const std::uint32_t led : {0u, 1u, 2u}) {
        ASSERT_EQ(SetLedState(kBoardPc104, 1, led, 1), kSuccess);
        std::uint32_t on = 0;
        ASSERT_EQ(GetLedState(kBoardPc104, 1, led, &on), kSuccess);
        EXPECT_EQ(on, 1u);
        ASSERT_EQ(SetLedState(kBoardPc104, 1, led, 0), kSuccess);
        ASSERT_EQ(GetLedState(kBoardPc104, 1, led, &on), kSuccess);
        EXPECT_EQ(on, 0u);
    }
    // Mask bits beyond the three LEDs are dropped by the driver and read back clear.
    std::uint32_t on = 1;
    ASSERT_EQ(SetLedState(kBoardPc104, 1, 3, 1), kSuccess);
    ASSERT_EQ(GetLedState(kBoardPc104, 1, 3, &on), kSuccess);
    EXPECT_EQ(on, 0u);
    EXPECT_EQ(GetLedState(kBoardPc104, 1, 8, &on), kPlatformInvalidParameter);
    EXPECT_EQ(GetLedState(kBoardPc104, 2, 0, &on), kErrBoardNotOpened);
}

class Commands : public EngineOnMachine {
protected:
    void SetUp() override {
        boot();
        ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
        pci().trace().enable(true);
        pci().trace().clear();
    }
    std::vector<ControllerCommand> commands() { return controllerCommands(pci().trace()); }
    sim::CardModel& card() { return pci().card(); }
};

struct TraceCase {
    const char* name;
    std::function<ErrorCode()> run;
    std::uint8_t command;
    std::uint16_t key;
};
class CommandTrace : public Commands, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(CommandTrace, ReachesTheControllerWithItsCommandByteAndKey) {
    GetParam().run();
    const auto seen = commands();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().command, GetParam().command);
    EXPECT_EQ(seen.back().key, GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Contract, CommandTrace,
    ::testing::Values(TraceCase{"PurgeChannel0", [] { return PURGE(0); }, 0x5E, 0x2191},
                      TraceCase{"PurgeChannel5", [] { return PURGE(5); }, 0x5E, 0x2591},
                      TraceCase{"SendAperUrgent", [] { return SEND_APER(1, 0x0102); }, 0x98, 0x0102},
                      TraceCase{"SendAperNormal", [] { return SEND_APER(0, 0x0102); }, 0x88, 0x0102},
                      TraceCase{"ContinueBa", [] { return CONTINUE_BA(1, 0x1234); }, 0xA7, 0x1231},
                      TraceCase{"ChangeBa", [] { return CHANGE_BA(0x1234); }, 0xE7, 0x1230},
                      TraceCase{"ReadPage", [] { std::array<std::uint8_t, 128> p; return FIP_READ_PHY(0x81, p.data()) ? 0u : 1u; }, 0x40, 0x0081},
                      TraceCase{"ReadVar", [] { std::array<std::uint8_t, 128> d; std::uint8_t s; return FIP_READ_VAR(3, d.data(), &s); }, 0x41, 3},
                      TraceCase{"BaReport", [] { std::uint8_t s; return BA_REPORT(&s); }, 0xB7, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Commands, PageWriteAndReadRoundTrip) {
    std::array<std::uint8_t, 128> page{}, back{};
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_NE(FIP_WRITE_PHY(700, page.data()), 0u);
    EXPECT_EQ(card().page(700), page);
    ASSERT_NE(FIP_READ_PHY(700, back.data()), 0u);
    EXPECT_EQ(back, page);
    EXPECT_EQ(FIP_READ_PHY(5000, back.data()), 0u);
    EXPECT_NE(GetLastError(), 0u);
}

TEST_F(Commands, ReadVarGivesTheCardsValueOrItsRefusal) {
    card().setVariableValue(4, {0x11, 0x22});
    std::array<std::uint8_t, 128> data{};
    std::uint8_t status = 0xEE;
    ASSERT_EQ(FIP_READ_VAR(4, data.data(), &status), kSuccess);
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(data[1], 0x22);
    EXPECT_EQ(status, 0);  // no table: no promptness bit
    EXPECT_TRUE(isCardError(FIP_READ_VAR(9, data.data(), &status)));
}

struct SendCase {
    std::uint16_t channel;
    std::uint8_t control;
    std::uint8_t selector;
};
class SendMessages : public Commands, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendMessages, CarryTheRequestBytesOfTheirChannel) {
    std::array<std::uint8_t, 252> data{};
    data.fill(0x3C);
    ASSERT_EQ(FIP_WRITE_MSG(GetParam().channel, 40, 1, 0x44, 252, 0x1122, 3, 0x3344, 5, data.data()), kSuccess);
    const auto sent = card().sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, 40);
    EXPECT_TRUE(sent[0].acknowledged);
    EXPECT_THAT(sent[0].request,
                ElementsAre(0x01, 0x44, 0x11, 0x22, 3, 0x33, 0x44, 5, GetParam().control, GetParam().selector));
    EXPECT_EQ(sent[0].data.size(), 252u);
}

INSTANTIATE_TEST_SUITE_P(Channels, SendMessages,
                         ::testing::Values(SendCase{0, 0x21, 0x90}, SendCase{5, 0x25, 0x90}, SendCase{9, 0x25, 0x80}));

TEST_F(Commands, TooLongAMessageNeverReachesTheBoard) {
    std::array<std::uint8_t, 253> data{};
    EXPECT_EQ(FIP_WRITE_MSG(0, 40, 0, 0, 253, 0, 0, 0, 0, data.data()), 0x60000007u);
    EXPECT_TRUE(commands().empty());
}

TEST_F(Commands, ReceivedMessagesAndTheirEvent) {
    card().deliverMessage(70, {{.destination = 0x0102, .destinationSegment = 1, .source = 0x0304, .sourceSegment = 2},
                               {9, 8, 7}});
    std::uint32_t pending = 0;
    ASSERT_EQ(IS_EVENT(&pending), kSuccess);
    EXPECT_EQ(pending, 1u);
    std::uint8_t flag, value, kind, parameter;
    std::uint16_t identifier = 0;
    ASSERT_EQ(READ_EVENT(&flag, &value, &kind, &parameter, &identifier), kSuccess);
    EXPECT_EQ(identifier, 70);

    std::uint16_t length = 0, destination = 0, source = 0;
    std::uint8_t destinationSegment = 0, sourceSegment = 0;
    std::array<std::uint8_t, 252> data{};
    ASSERT_EQ(FIP_READ_MSG(70, nullptr, &length, &destination, &destinationSegment, &source, &sourceSegment,
                           data.data()),
              kSuccess);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(destination, 0x0102);
    EXPECT_EQ(source, 0x0304);
    EXPECT_EQ(sourceSegment, 2);
    EXPECT_THAT(std::vector(data.begin(), data.begin() + 3), ElementsAre(9, 8, 7));
    // Nothing waits any more: the board refuses, and the header outputs are zero.
    EXPECT_TRUE(isCardError(FIP_READ_MSG(70, nullptr, &length, &destination, &destinationSegment, &source,
                                         &sourceSegment, data.data())));
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(isCardError(READ_EVENT(&flag, &value, &kind, &parameter, &identifier)));
}

TEST_F(Commands, EventDefinitionsReachTheCard) {
    card().setVariableValue(2, {1});
    ASSERT_EQ(DEF_VAR_EVENT(1, 2, 6, 2), kSuccess);
    const auto definition = card().eventDefinition(2);
    ASSERT_TRUE(definition);
    EXPECT_EQ(definition->flags, 0x82);
    EXPECT_EQ(definition->parameter, 6);
    EXPECT_EQ(DEF_VAR_EVENT(1, 3, 6, 2), kErrEventKind);
}

TEST_F(Commands, BusArbitratorGuardsFollowTheCardsState) {
    std::uint8_t state = 0;
    ASSERT_EQ(BA_REPORT(&state), kSuccess);
    EXPECT_EQ(state, 9);
    EXPECT_EQ(STOP_BA(), kErrBaStoppedOrStarting);
    EXPECT_EQ(START_BA(0x400), kErrNoBaMemory);  // no configuration loaded
}

TEST_F(Commands, AnotherThreadSharesTheStartedBoard) {
    card().setVariableValue(1, {0x5A});
    ErrorCode code = 1;
    std::uint8_t value = 0;
    std::thread reader([&] {
        if (INIT_STORAGE() != kSuccess) return;
        std::array<std::uint8_t, 128> data{};
        std::uint8_t status = 0;
        code = FIP_READ_VAR(1, data.data(), &status);
        value = data[0];
    });
    reader.join();
    EXPECT_EQ(code, kSuccess);
    EXPECT_EQ(value, 0x5A);
}

}  // namespace
}  // namespace corvix::testing
