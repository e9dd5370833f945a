// The public headers as a C++11 application sees them, the decorated exports included.
#include "corvix.h"
#include "faultra.h"
#include "spectrel.h"

static_assert(sizeof(SpxDeviceRecord) == 10, "packed device record");
static void (*const sleepManagement)(bool) = &SystemAutomaticSleepManagement;
static int (*const closeDriver)() = &CloseDriver;
