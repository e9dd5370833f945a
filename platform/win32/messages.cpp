// FormatMessage for system error codes: the platform's text for each code the system shows.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "win32/handle_table.h"

namespace qwin32 {
namespace {

struct MessageText {
    DWORD code;
    std::string_view text;
};

// Sorted by code.
constexpr MessageText kMessages[] = {
    {ERROR_SUCCESS, "The operation succeeded."},
    {ERROR_INVALID_FUNCTION, "The function is not valid for this device."},
    {ERROR_FILE_NOT_FOUND, "The file cannot be found."},
    {ERROR_PATH_NOT_FOUND, "The path cannot be found."},
    {ERROR_ACCESS_DENIED, "Access was refused."},
    {ERROR_INVALID_HANDLE, "The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory to carry out this command."},
    {21, "The device is not ready."},
    {ERROR_GEN_FAILURE, "A device attached to the computer failed to carry out the request."},
    {32, "The file is being used by another process."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file already exists."},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid."},
    {112, "There is not enough space on the disk."},
    {ERROR_SEM_TIMEOUT, "The device did not answer in time: the wait has expired."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area given to the call is too small."},
    {ERROR_BUSY, "The requested resource is busy."},
    {ERROR_ALREADY_EXISTS, "The file or folder already exists."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "There are no more items."},
    {ERROR_MR_MID_NOT_FOUND, "There is no message text for this code."},
    {433, "The device named does not exist."},
    {995, "The input or output operation was cancelled."},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
    {1450, "There are not enough system resources to carry out the request."},
    {1813, "The file has no version resource."},
    {5023, "The device is not in a state that allows this operation."},
};

constexpr bool sortedByCode() {
    for (std::size_t i = 1; i < std::size(kMessages); ++i) {
        if (kMessages[i - 1].code >= kMessages[i].code) return false;
    }
    return true;
}

constexpr bool covers(std::initializer_list<DWORD> codes) {
    for (DWORD code : codes) {
        if (std::none_of(std::begin(kMessages), std::end(kMessages), [code](const MessageText& m) { return m.code == code; })) {
            return false;
        }
    }
    return true;
}

static_assert(sortedByCode());
// The codes the error library and the designer show.
static_assert(covers({0, 2, 3, 5, 6, 8, 31, 87, 121, 122, 170, 1167}));

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace
}  // namespace qwin32

using namespace qwin32;

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size, void*) {
    // Only system texts into the caller's buffer: the texts have no inserts, and there is no
    // allocating variant without the platform's heap calls.
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), messageId,
                                     [](const MessageText& m, DWORD code) { return m.code < code; });
    if (it == std::end(kMessages) || it->code != messageId) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::size_t length = it->text.size() + kLineEnd.size();
    if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, it->text.data(), it->text.size());
    std::memcpy(buffer + it->text.size(), kLineEnd.data(), kLineEnd.size());
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}
