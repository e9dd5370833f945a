#include "sim/machine/machine_description.h"

#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "sim/boards/pc104_board.h"
#include "sim/boards/pci_board.h"
#include "sim/machine/description_fields.h"
#include "sim/segment/remote_station_description.h"

namespace sim {
namespace {

using nlohmann::json;
using description::fail;
using description::number;
using description::onlyKnownFields;

// The fields that each object of the description may hold: a field outside its table is refused.
// A new field is one name here and its reading below.
const std::set<std::string> kRootFields{"boards", "driverVersions", "remoteStations", "pacedSegment"};
const std::set<std::string> kPciFields{"type",   "slot",         "configurationWord", "serialNumber",   "medium",
                                       "eeprom", "subsystemVendor", "subsystemId",    "physicalAddress"};
const std::set<std::string> kEepromFields{"addressBits", "words"};
const std::set<std::string> kPc104Fields{"type", "baseAddress", "configurationWord", "serialNumber", "medium"};
const std::set<std::string> kUsbFields{"type", "configurationWord", "serialNumber", "medium", "firmwareVersion"};
const std::set<std::string> kDriverVersionFields{"ambrix", "osprix"};

constexpr std::uint64_t kPciAddressStep = 0x10000;
constexpr std::uint32_t kPc104PortStep = 0x20;
constexpr std::uint32_t kDefaultPciSerial = 0x00010001;
constexpr std::uint32_t kDefaultPc104Serial = 0x00020001;
constexpr std::uint32_t kDefaultUsbSerial = 0x00030001;

bool dualMedium(const json& value, const std::string& where) {
    if (value == "dual") return true;
    if (value == "single") return false;
    fail(where, "medium must be \"single\" or \"dual\"");
}


PciBoardConfig pciBoard(const json& b, const std::string& where, std::size_t ordinal) {
    onlyKnownFields(b, kPciFields, where);
    PciBoardConfig c;
    c.uiNumber = static_cast<std::uint32_t>(ordinal + 1);
    c.physicalAddress = 0xF0000000 + ordinal * kPciAddressStep;
    c.serialNumber = kDefaultPciSerial + static_cast<std::uint32_t>(ordinal);
    if (b.contains("eeprom")) {
        const json& e = b["eeprom"];
        if (e == false) {
            c.eepromAddressBits = 0;
        } else {
            onlyKnownFields(e, kEepromFields, where + ".eeprom");
            if (e.contains("addressBits")) {
                c.eepromAddressBits = static_cast<unsigned>(number(e["addressBits"], where + ".eeprom.addressBits", 8));
                if (c.eepromAddressBits != 6 && c.eepromAddressBits != 8)
                    fail(where + ".eeprom.addressBits", "must be 6 or 8");
            }
            if (e.contains("words")) {
                if (!e["words"].is_array()) fail(where + ".eeprom.words", "expected an array");
                if (e["words"].size() > (std::size_t{1} << c.eepromAddressBits))
                    fail(where + ".eeprom.words", "more words than the EEPROM holds");
                for (std::size_t i = 0; i < e["words"].size(); ++i)
                    c.eepromWords.push_back(static_cast<std::uint16_t>(
                        number(e["words"][i], where + ".eeprom.words[" + std::to_string(i) + "]", 0xFFFF)));
            }
        }
    }
    c.configurationWord = c.eepromAddressBits == 6 ? kPciWord6BitEeprom : kPciWord8BitEeprom;
    if (b.contains("slot")) c.uiNumber = static_cast<std::uint32_t>(number(b["slot"], where + ".slot", 0xFFFFFFFF));
    if (b.contains("configurationWord"))
        c.configurationWord = static_cast<std::uint32_t>(number(b["configurationWord"], where + ".configurationWord", 0xFFFFFFFF));
    if (b.contains("serialNumber"))
        c.serialNumber = static_cast<std::uint32_t>(number(b["serialNumber"], where + ".serialNumber", 0xFFFFFFFF));
    if (b.contains("medium")) c.dualMedium = dualMedium(b["medium"], where + ".medium");
    if (b.contains("subsystemVendor"))
        c.subsystemVendor = static_cast<std::uint16_t>(number(b["subsystemVendor"], where + ".subsystemVendor", 0xFFFF));
    if (b.contains("subsystemId"))
        c.subsystemId = static_cast<std::uint16_t>(number(b["subsystemId"], where + ".subsystemId", 0xFFFF));
    if (b.contains("physicalAddress")) {
        c.physicalAddress = number(b["physicalAddress"], where + ".physicalAddress", 0xFFFFFFFFull - 0x2FFF);
        if (c.physicalAddress % 0x1000 != 0) fail(where + ".physicalAddress", "must be a multiple of 0x1000");
    }
    return c;
}

// The serial number, configuration word and medium of a PC104 or USB board. Given alone, the
// medium sets the word and the word sets the medium.
template <typename Config>
void serialWordAndMedium(const json& b, const std::string& where, std::uint32_t singleMediumWord,
                         std::uint32_t dualMediumWord, Config& c) {
    if (b.contains("serialNumber"))
        c.serialNumber = static_cast<std::uint32_t>(number(b["serialNumber"], where + ".serialNumber", 0xFFFFFFFF));
    const bool hasWord = b.contains("configurationWord");
    if (hasWord)
        c.configurationWord = static_cast<std::uint32_t>(number(b["configurationWord"], where + ".configurationWord", 0xFFFFFFFF));
    if (b.contains("medium")) {
        c.dualMedium = dualMedium(b["medium"], where + ".medium");
        if (!hasWord) c.configurationWord = c.dualMedium ? dualMediumWord : singleMediumWord;
    } else if (hasWord) {
        c.dualMedium = (c.configurationWord & 0x30000) != 0x10000;
    }
}

Pc104BoardConfig pc104Board(const json& b, const std::string& where, std::size_t ordinal) {
    onlyKnownFields(b, kPc104Fields, where);
    Pc104BoardConfig c;
    c.basePort = 0x300 + static_cast<std::uint32_t>(ordinal) * kPc104PortStep;
    c.serialNumber = kDefaultPc104Serial + static_cast<std::uint32_t>(ordinal);
    if (b.contains("baseAddress"))
        c.basePort = static_cast<std::uint32_t>(number(b["baseAddress"], where + ".baseAddress", 0xFFFF - 31));
    serialWordAndMedium(b, where, kPc104SingleMediumWord, kPc104DualMediumWord, c);
    return c;
}

UsbBoardConfig usbBoard(const json& b, const std::string& where, std::size_t ordinal) {
    onlyKnownFields(b, kUsbFields, where);
    UsbBoardConfig c;
    c.serialNumber = kDefaultUsbSerial + static_cast<std::uint32_t>(ordinal);
    serialWordAndMedium(b, where, kUsbSingleMediumWord, kUsbDualMediumWord, c);
    if (b.contains("firmwareVersion")) {
        const auto version = number(b["firmwareVersion"], where + ".firmwareVersion", 0xFFFF);
        c.firmwareMajor = static_cast<std::uint8_t>(version >> 8);
        c.firmwareMinor = static_cast<std::uint8_t>(version);
    }
    return c;
}

// Ranges of one address space must not overlap: PCI boards span three 4 KiB pages of memory,
// PC104 boards 32 ports.
void checkResources(const MachineDescription& d) {
    struct Span {
        bool memory;
        std::uint64_t first, end;
    };
    std::vector<Span> taken;
    for (std::size_t i = 0; i < d.boards.size(); ++i) {
        Span span{};
        if (std::holds_alternative<UsbBoardConfig>(d.boards[i])) continue;  // no address space
        if (const auto* pci = std::get_if<PciBoardConfig>(&d.boards[i]))
            span = {true, pci->physicalAddress, pci->physicalAddress + PciBoard::kMediumOffset + 0x1000};
        else
            span = {false, std::get<Pc104BoardConfig>(d.boards[i]).basePort,
                    std::get<Pc104BoardConfig>(d.boards[i]).basePort + std::uint64_t{pc104::kPorts}};
        for (const Span& other : taken)
            if (other.memory == span.memory && span.first < other.end && other.first < span.end)
                fail("boards[" + std::to_string(i) + "]", span.memory ? "memory ranges overlap another board"
                                                                      : "port range overlaps another board");
        taken.push_back(span);
    }
}

}  // namespace

MachineDescription defaultMachine() {
    return MachineDescription{.boards = {PciBoardConfig{}, Pc104BoardConfig{}, UsbBoardConfig{}}};
}

std::vector<RemoteStationConfig> exampleStations() {
    constexpr std::uint16_t kTemperature = 0x0A10, kLevel = 0x0A11, kSetpoint = 0x0A20;
    RemoteStationConfig r5;
    r5.name = "R5";
    r5.address = 5;
    r5.produces = {{.identifier = kTemperature,
                    .length = 2,
                    .pduType = 0x40,
                    .generator = {.kind = ValueGenerator::Kind::Ramp, .start = 200, .step = 1, .limit = 1200}}};
    r5.sends = {{.source = kTemperature,
                 .destination = kSetpoint,
                 .length = 4,
                 .generator = {.kind = ValueGenerator::Kind::Counter, .start = 1, .step = 1},
                 .period = 750}};  // every 15 s: a first session does not fill the 64-entry stack soon
    // 20 ms: 320 units of 62.5 us; the message window closes at 12 ms. The presence variables of R5
    // and R6 are scanned as well, so that a presence test that listens to this arbitrator finds them.
    r5.arbitratorProgram = {"ID_DAT(A10)", "ID_DAT(A11)", "ID_DAT(A20)", "ID_DAT(1405)", "ID_DAT(1406)",
                            "SEND_MSG(C0)", "WAIT(140)"};
    RemoteStationConfig r6;
    r6.name = "R6";
    r6.address = 6;
    r6.produces = {{.identifier = kLevel,
                    .length = 2,
                    .pduType = 0x40,
                    .generator = {.kind = ValueGenerator::Kind::Counter, .start = 0, .step = 1}}};
    r6.consumes = {kSetpoint};
    return {r5, r6};
}

MachineDescription standardMachine() {
    MachineDescription d = defaultMachine();
    d.remoteStations = exampleStations();
    d.pacedSegment = true;
    return d;
}

MachineDescription parseMachineDescription(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        fail("syntax", e.what());
    }
    onlyKnownFields(root, kRootFields, "root");
    MachineDescription d;
    if (root.contains("boards")) {
        if (!root["boards"].is_array()) fail("boards", "expected an array");
        std::size_t pciCount = 0, pc104Count = 0, usbCount = 0;
        for (std::size_t i = 0; i < root["boards"].size(); ++i) {
            const json& b = root["boards"][i];
            const std::string where = "boards[" + std::to_string(i) + "]";
            if (!b.is_object() || !b.contains("type") || !b["type"].is_string()) fail(where, "needs a \"type\"");
            if (b["type"] == "pci")
                d.boards.emplace_back(pciBoard(b, where, pciCount++));
            else if (b["type"] == "pc104")
                d.boards.emplace_back(pc104Board(b, where, pc104Count++));
            else if (b["type"] == "usb")
                d.boards.emplace_back(usbBoard(b, where, usbCount++));
            else
                fail(where + ".type", "must be \"pci\", \"pc104\" or \"usb\"");
        }
        if (usbCount > kMaxUsbBoards)
            fail("boards", std::to_string(usbCount) + " USB boards: at most " + std::to_string(kMaxUsbBoards) +
                               ", so that the engine's list of USB devices holds every one");
    }
    if (root.contains("driverVersions")) {
        const json& v = root["driverVersions"];
        onlyKnownFields(v, kDriverVersionFields, "driverVersions");
        for (const auto& [name, target] : {std::pair{"ambrix", &d.ambrixVersion}, std::pair{"osprix", &d.osprixVersion}}) {
            if (!v.contains(name)) continue;
            if (!v[name].is_string()) fail(std::string("driverVersions.") + name, "expected a string");
            *target = v[name].get<std::string>();
        }
    }
    if (root.contains("remoteStations")) d.remoteStations = parseRemoteStations(root["remoteStations"].dump());
    if (root.contains("pacedSegment")) {
        if (!root["pacedSegment"].is_boolean()) fail("pacedSegment", "expected true or false");
        d.pacedSegment = root["pacedSegment"].get<bool>();
    }
    checkResources(d);
    return d;
}

MachineDescription loadMachineDescription(const std::filesystem::path& file) {
    // Read from the host as the machine's own files are, not through the platform it stands for.
    const auto unreadable = [&] { return DescriptionError("machine description: cannot read " + file.string()); };
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) throw unreadable();
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) throw unreadable();
    if (size > kLargestDescription)
        throw DescriptionError("machine description: " + file.string() + " is larger than " +
                               std::to_string(kLargestDescription) + " bytes");
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) throw unreadable();
    text.resize(static_cast<std::size_t>(in.gcount()));
    return parseMachineDescription(text);
}

}  // namespace sim
