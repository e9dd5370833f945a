// Registers the simulated machine's booter when the library is loaded (see base/machine_root.h).
#include "base/machine_root.h"
#include "sim/machine/machine.h"

namespace {
const bool registered = [] {
    qbase::setMachineBooter([] { sim::bootMachine(sim::configuredMachine()); });
    return true;
}();
}  // namespace
