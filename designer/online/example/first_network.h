// The example configuration that the README opens (examples/first_network.cnf): the designer's station beside the remote
// stations of the standard simulated machine (sim/machine/machine_description.h).
//
//   Temperature 0x0A10  produced by R5 (a ramp), consumed here
//   Level       0x0A11  produced by R6 (a counter), consumed here
//   Setpoint    0x0A20  produced here, consumed by R6
//   Command     message from here (0x0A20) to R6 (0x0A11), acknowledged
//   Alarm       message from R5 (0x0A10) to here (0x0A20), every 15 s
//
// The network has no bus arbitrator of its own: R5 runs the bus at its settings (1 Mbit/s).
#pragma once

#include "records/configuration.h"

namespace examples {

records::Configuration first_network();

}  // namespace examples
