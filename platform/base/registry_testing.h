// Test hooks of the registry store.
#pragma once

#include <functional>

namespace qbase::registry::testing {

// Runs after the new hive file has been written to its temporary name and before the rename
// (tests end the process there to show that a crash in the middle of a save leaves the old file).
void setBeforeRenameHook(std::function<void()> hook);

}  // namespace qbase::registry::testing
