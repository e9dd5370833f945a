// Test-facing facts of the user-mode stand-in.
#pragma once

#include "win32/windows.h"

namespace qwin32::testing {

// The execution state last set with ES_CONTINUOUS (ES_CONTINUOUS alone when none was set).
EXECUTION_STATE currentExecutionState();

// While set, UnregisterDeviceNotification fails with ERROR_INVALID_HANDLE and keeps the
// registration.
void setUnregisterDeviceNotificationFails(bool fails);

}  // namespace qwin32::testing
