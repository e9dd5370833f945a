#include "sim/machine/machine.h"

#include <iostream>
#include <mutex>

#include "base/debug_output.h"
#include "base/file_replace.h"
#include "base/machine_root.h"
#include "base/registry_store.h"
#include "quorelle_config.h"
#include "sim/machine/code_image.h"

namespace sim {
namespace {

namespace fs = std::filesystem;
namespace reg = qbase::registry;

constexpr const char* kEngineKey = "Software\\Talvenor\\Corvix";
constexpr const char* kProductKey = "SOFTWARE\\Talvenor\\Quorelle 5";

struct Owner {
    std::mutex mutex;
    Machine* running = nullptr;  // deliberately outlives static destruction: the kernel may still use it
};

Owner& owner() {
    static Owner* o = new Owner;
    return *o;
}

void shutdownLocked(Owner& o) {
    if (!o.running) return;
    o.running->segment().stopPaced();
    qusb::detachAll();
    qk::pnp::shutdown();
    delete o.running;
    o.running = nullptr;
    qbase::markMachineBooted(false);
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

Machine::Machine(MachineDescription description) : description_(std::move(description)) {}

// Other processes of the machine read these files at any time (an engine start checks the driver
// versions): a file is replaced whole, and only when its content changes.
void Machine::writeFile(const fs::path& file, const std::string& bytes) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (!qbase::replaceFileIfChanged(file, bytes)) problems_.push_back("cannot write " + file.string());
}

void Machine::install() {
    // The driver files stand for the drivers of the machine described, versions included: they
    // follow the description at every boot.
    const fs::path drivers = qbase::systemDirectory() / "drivers";
    for (const auto& [name, version] : {std::pair{"ambrix.sys", description_.ambrixVersion},
                                        std::pair{"osprix.sys", description_.osprixVersion}}) {
        writeFile(drivers / name, std::string("simulated board driver ") + name + "\n");
        writeFile(drivers / (std::string(name) + ".version"), version + "\n");
    }
    codeImageFolder_ = qbase::machineRoot() / "Program Files" / "Talvenor" / "Corvix";
    // The product is installed once, in a new machine root. A root that records an installation
    // keeps it as it stands: another version, another code image folder, or values removed since.
    if (!reg::keyExists(reg::Root::LocalMachine, kEngineKey) && !reg::keyExists(reg::Root::LocalMachine, kProductKey)) {
        const auto image = codeImage();
        writeFile(codeImageFolder_ / "kernala.dat", std::string(image.begin(), image.end()));
        if (!reg::createKey(reg::Root::LocalMachine, kEngineKey) ||
            !reg::setValue(reg::Root::LocalMachine, kEngineKey, "Dllpath", reg::stringValue(codeImageFolder_.string())))
            problems_.push_back("cannot write the Dllpath value");
        // The installed version, as the installation records it for the designer and the settings program.
        if (!reg::createKey(reg::Root::LocalMachine, kProductKey) ||
            !reg::setValue(reg::Root::LocalMachine, kProductKey, "Distrib", reg::stringValue(QUORELLE_VERSION_STRING)))
            problems_.push_back("cannot write the Distrib value");
    }
    for (const std::string& problem : problems_) qbase::debug::write("machine: " + problem);
}

void Machine::start() {
    std::vector<qk::pnp::BoardDescription> order;
    for (const BoardConfig& board : description_.boards) {
        std::visit(Overloaded{[&](const PciBoardConfig& c) {
                                  pci_.push_back(std::make_unique<PciBoard>(c));
                                  pci_.back()->attach();
                                  segment_.attachBoard(pci_.back()->card(), &pci_.back()->medium());
                                  order.push_back(pci_.back()->description());
                              },
                              [&](const Pc104BoardConfig& c) {
                                  pc104_.push_back(std::make_unique<Pc104Board>(c));
                                  pc104_.back()->attach();
                                  segment_.attachBoard(pc104_.back()->card(), &pc104_.back()->medium());
                                  order.push_back(pc104_.back()->description());
                              },
                              [&](const UsbBoardConfig& c) {
                                  usb_.push_back(std::make_shared<UsbBoard>(c));
                                  segment_.attachBoard(usb_.back()->card(), &usb_.back()->medium());
                                  qusb::attach(usb_.back());
                              }},
                   board);
    }
    ambrixStatus_ = qk::pnp::loadDriver("ambrix", "Ambrix");
    osprixStatus_ = qk::pnp::loadDriver("osprix", "Osprix");
    for (const auto& board : order) enumerations_.push_back(qk::pnp::enumerateBoard(board));
    for (const RemoteStationConfig& station : description_.remoteStations) segment_.addRemoteStation(station);
    if (description_.pacedSegment) segment_.startPaced();
}

qk::NTSTATUS Machine::driverStatus(const std::string& service) const {
    return service == "ambrix" ? ambrixStatus_ : osprixStatus_;
}

Machine& bootMachine(const MachineDescription& description) {
    Owner& o = owner();
    std::lock_guard lock(o.mutex);
    shutdownLocked(o);
    qbase::markMachineBooted(true);
    reg::resetVolatileHive();
    auto* machine = new Machine(description);
    o.running = machine;
    machine->install();
    machine->start();
    return *machine;
}

void shutdownMachine() {
    Owner& o = owner();
    std::lock_guard lock(o.mutex);
    shutdownLocked(o);
}

Machine* runningMachine() {
    Owner& o = owner();
    std::lock_guard lock(o.mutex);
    return o.running;
}

MachineDescription configuredMachine() {
    const fs::path file = qbase::machineRoot() / "machine.json";
    std::error_code error;
    if (!fs::exists(file, error)) return standardMachine();
    try {
        return loadMachineDescription(file);
    } catch (const DescriptionError& e) {
        // Every boot says why: a machine other than the one described is not what its user expects.
        const std::string why = std::string(e.what()) + "; booting the standard machine";
        std::cerr << why << std::endl;
        qbase::debug::write(why);
        return standardMachine();
    }
}

}  // namespace sim
