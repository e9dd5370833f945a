// The simulated machine: boots a machine description into the kernel stand-in and shuts it down.
//
// USB boards are plugged into the machine's USB ports (platform/usb) in the description's order,
// and unplugged at shutdown.
//
// Boot, in this order: mark the machine booted (so that the boot's own registry and device use
// does not boot again), reset the volatile registry hive, write the driver files with their
// versions under the system directory ("drivers\ambrix.sys", "drivers\osprix.sys", each with its
// ".version" sidecar; a file is written only when its content changes, and replaced whole), install the product when the machine root has no installation yet (neither
// HKLM "Software\Talvenor\Corvix" nor "SOFTWARE\Talvenor\Quorelle 5": the card code image
// "kernala.dat", its folder as the REG_SZ value Dllpath of the first key and the version as
// "Distrib" of the second), attach the boards' ranges, load the drivers Ambrix and Osprix, and
// enumerate the boards in the description's order.
//
// Process-wide state: one running machine at most, owned here and guarded by one lock. The
// library registers a booter (qbase::setMachineBooter) when it is loaded, which boots
// configuredMachine() on first use of the machine; tests boot a description of their own with
// bootMachine() and end it with shutdownMachine(). The running machine is not torn down at exit.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kernel/pnp.h"
#include "sim/boards/pc104_board.h"
#include "sim/boards/pci_board.h"
#include "sim/boards/usb_board.h"
#include "sim/machine/machine_description.h"
#include "sim/segment/segment.h"

namespace sim {

class Machine {
public:
    const MachineDescription& description() const { return description_; }
    std::size_t pciBoardCount() const { return pci_.size(); }
    std::size_t pc104BoardCount() const { return pc104_.size(); }
    PciBoard& pciBoard(std::size_t i) { return *pci_.at(i); }
    Pc104Board& pc104Board(std::size_t i) { return *pc104_.at(i); }
    std::size_t usbBoardCount() const { return usb_.size(); }
    UsbBoard& usbBoard(std::size_t i) { return *usb_.at(i); }
    // One result per board of the description, in its order.
    const std::vector<qk::pnp::EnumerateResult>& enumerations() const { return enumerations_; }
    qk::NTSTATUS driverStatus(const std::string& service) const;
    // The folder where the machine installs the code image (the installation's Dllpath, unless the
    // root's installation records another).
    std::filesystem::path codeImageFolder() const { return codeImageFolder_; }
    // What went wrong while installing the files (empty when all went well).
    const std::vector<std::string>& problems() const { return problems_; }
    // Every board and remote station of the description; stepped by tests, or paced when the
    // description asks for it.
    Segment& segment() { return segment_; }

private:
    friend Machine& bootMachine(const MachineDescription&);
    explicit Machine(MachineDescription description);
    void install();
    void start();
    void writeFile(const std::filesystem::path& file, const std::string& bytes);

    MachineDescription description_;
    std::vector<std::unique_ptr<PciBoard>> pci_;
    std::vector<std::unique_ptr<Pc104Board>> pc104_;
    // Shared with the machine's USB ports (platform/usb) and a host that holds one open.
    std::vector<std::shared_ptr<UsbBoard>> usb_;
    std::vector<qk::pnp::EnumerateResult> enumerations_;
    qk::NTSTATUS ambrixStatus_ = 0;
    qk::NTSTATUS osprixStatus_ = 0;
    std::filesystem::path codeImageFolder_;
    std::vector<std::string> problems_;
    Segment segment_;  // after the boards: it goes first
};

// Shuts down the running machine, if any, and boots this one.
Machine& bootMachine(const MachineDescription& description);
// Removes every board and driver, detaches the ranges; the next use of the machine boots again.
void shutdownMachine();
Machine* runningMachine();

// The machine root's "machine.json" when there is one, else the standard machine. A description
// that cannot be read or used is reported, with its reason, on standard error and on the debugger
// output, and the standard machine is used.
MachineDescription configuredMachine();

}  // namespace sim
