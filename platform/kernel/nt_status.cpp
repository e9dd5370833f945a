// The platform's one translation of NT status values into Win32 error codes.
#include <algorithm>
#include <iterator>

#include "kernel/io_seam.h"

namespace qk {
namespace {

struct StatusMapping {
    std::uint32_t status;
    std::uint32_t error;
};

// Sorted by status.
constexpr StatusMapping kMappings[] = {
    {0x00000000, 0},     // STATUS_SUCCESS
    {0x80000005, 234},   // STATUS_BUFFER_OVERFLOW: ERROR_MORE_DATA
    {0x80000011, 170},   // STATUS_DEVICE_BUSY: ERROR_BUSY
    {0x8000001A, 259},   // STATUS_NO_MORE_ENTRIES: ERROR_NO_MORE_ITEMS
    {0xC0000001, 31},    // STATUS_UNSUCCESSFUL: ERROR_GEN_FAILURE
    {0xC0000002, 1},     // STATUS_NOT_IMPLEMENTED: ERROR_INVALID_FUNCTION
    {0xC0000008, 6},     // STATUS_INVALID_HANDLE
    {0xC000000D, 87},    // STATUS_INVALID_PARAMETER
    {0xC000000E, 433},   // STATUS_NO_SUCH_DEVICE: ERROR_NO_SUCH_DEVICE
    {0xC0000010, 1},     // STATUS_INVALID_DEVICE_REQUEST: ERROR_INVALID_FUNCTION
    {0xC0000017, 8},     // STATUS_NO_MEMORY: ERROR_NOT_ENOUGH_MEMORY
    {0xC0000022, 5},     // STATUS_ACCESS_DENIED
    {0xC0000023, 122},   // STATUS_BUFFER_TOO_SMALL: ERROR_INSUFFICIENT_BUFFER
    {0xC0000034, 2},     // STATUS_OBJECT_NAME_NOT_FOUND: ERROR_FILE_NOT_FOUND
    {0xC000003A, 3},     // STATUS_OBJECT_PATH_NOT_FOUND: ERROR_PATH_NOT_FOUND
    {0xC0000043, 32},    // STATUS_SHARING_VIOLATION
    {0xC000009A, 1450},  // STATUS_INSUFFICIENT_RESOURCES: ERROR_NO_SYSTEM_RESOURCES
    {0xC000009D, 1167},  // STATUS_DEVICE_NOT_CONNECTED
    {0xC00000A3, 21},    // STATUS_DEVICE_NOT_READY: ERROR_NOT_READY
    {0xC00000B5, 121},   // STATUS_IO_TIMEOUT: ERROR_SEM_TIMEOUT
    {0xC00000BB, 50},    // STATUS_NOT_SUPPORTED
    {0xC0000120, 995},   // STATUS_CANCELLED: ERROR_OPERATION_ABORTED
    {0xC0000184, 5023},  // STATUS_INVALID_DEVICE_STATE: ERROR_INVALID_STATE
};

constexpr bool sortedByStatus() {
    for (std::size_t i = 1; i < std::size(kMappings); ++i) {
        if (kMappings[i - 1].status >= kMappings[i].status) return false;
    }
    return true;
}
static_assert(sortedByStatus());

// A failure the table does not know is reported as a device failure rather than as success.
constexpr std::uint32_t kUnknownFailure = 31;

}  // namespace

std::uint32_t ntStatusToWin32Error(NTSTATUS status) {
    const auto key = static_cast<std::uint32_t>(status);
    const auto it = std::lower_bound(std::begin(kMappings), std::end(kMappings), key,
                                     [](const StatusMapping& m, std::uint32_t s) { return m.status < s; });
    if (it != std::end(kMappings) && it->status == key) return it->error;
    return status >= 0 ? 0 : kUnknownFailure;
}

}  // namespace qk
