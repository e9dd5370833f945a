// The machine root: one folder that holds the simulated machine's state: the persisted registry
// ("registry.reg"), the system directory ("system32", with "drivers" below it), installed files
// (the card code image) and optionally "machine.json", the machine description.
//
// Default: $XDG_DATA_HOME/quorelle/machine (else ~/.local/share/quorelle/machine); the
// environment variable QUORELLE_MACHINE_ROOT overrides it. The folder is created on first use.
#pragma once

#include <filesystem>
#include <functional>

namespace qbase {

std::filesystem::path machineRoot();
// Sets the root for this process (tests use a temporary folder); reloads the persisted registry.
void setMachineRoot(const std::filesystem::path& root);
std::filesystem::path systemDirectory();  // machineRoot() / "system32"

// The machine boots on first use in a process: every entry that reads the machine calls
// ensureMachineBooted(), which runs the booter once: the open of a device, interface enumeration,
// the volatile registry hive, and in the user-mode stand-in every registry call, the system
// directory, version resources and the open of a file inside the machine root.
// The booter is registered by the simulated machine's module when it is loaded; when none is
// registered, ensureMachineBooted() loads the module "libQuorelleSim.so" from the module folder
// (QUORELLE_SIM_MODULE overrides the path), whose load registers it. Calls made from the booting
// thread while the boot runs return at once (the boot itself writes the registry and opens devices).
using Booter = std::function<void()>;
void setMachineBooter(Booter booter);
void ensureMachineBooted();
// Marks the machine as booted (or not) without running the booter: a test that boots a machine
// of its own calls markMachineBooted(true) from its boot; shutting a machine down calls it with false.
void markMachineBooted(bool booted);
bool machineBooted();

}  // namespace qbase
