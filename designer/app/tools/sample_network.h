// A small network for trying the designer: four stations, a bus arbitrator, five variables and
// three messages.
#pragma once

#include "records/configuration.h"

namespace plandrel {

records::Configuration sample_network();

}  // namespace plandrel
