// Test hook of the kernel's registry calls: value writes that fail on request, so that tests reach
// a driver's handling of a registry that refuses a value. The system's own code never calls it.
#pragma once

#include <functional>
#include <string>

#include "io_seam.h"

namespace qk::testing {

// Decides every value write of RtlWriteRegistryValue and ZwSetValueKey, given the key path below
// HKLM and the value name: a success status lets the write through, a failure status refuses it
// with that status and leaves the stored value as it was. An empty function (the default) lets
// every write through. Thread-safe; the decision runs outside the kernel's locks.
using RegistryWriteFault = std::function<NTSTATUS(const std::string& key, const std::string& valueName)>;
void setRegistryWriteFault(RegistryWriteFault fault);

}  // namespace qk::testing
