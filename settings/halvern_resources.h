// Registers the settings program's dialog, strings and icon with the class-library layer.
#pragma once

namespace halvern {

void RegisterResources();

}  // namespace halvern
