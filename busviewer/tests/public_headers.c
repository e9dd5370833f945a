/* The public headers as a C99 application sees them: self-contained, pedantically valid C. */
#include "spectrel.h"
#include "faultra.h"

/* The records have the sizes that the libraries write. */
typedef char device_record_is_10_bytes[sizeof(SpxDeviceRecord) == 10 ? 1 : -1];
typedef char active_device_info_is_12_bytes[sizeof(ActiveDeviceInfo) == 12 ? 1 : -1];
typedef char queue_record_is_4_bytes[sizeof(TransmissionQueueRecord) == 4 ? 1 : -1];
