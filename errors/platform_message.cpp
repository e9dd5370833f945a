#include "platform_message.h"

#include <string_view>
#include <vector>

#include "message_text.h"
#include "win32/windows.h"

namespace faultra {
namespace {

// Language neutral with the system's default sublanguage: the system's own language.
constexpr DWORD kSystemDefaultLanguage = 0x0800;
// The platform's message texts are never longer than this.
constexpr DWORD kLongestPlatformText = 64 * 1024;

}  // namespace

std::int32_t platformMessage(std::uint32_t code, char* text, std::uint32_t size, std::uint32_t* needed) {
    constexpr DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    std::vector<char> buffer(512);
    for (;;) {
        const DWORD length = FormatMessageA(flags, nullptr, code, kSystemDefaultLanguage, buffer.data(),
                                            static_cast<DWORD>(buffer.size()), nullptr);
        if (length > 0 && length < buffer.size()) {
            deliverText({std::string_view(buffer.data(), length)}, text, size, needed);
            return 0;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_INSUFFICIENT_BUFFER && buffer.size() < kLongestPlatformText) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (needed) *needed = 0;
        // A failure always reports a code, so that it cannot pass for a success.
        return static_cast<std::int32_t>(error != ERROR_SUCCESS ? error : ERROR_MR_MID_NOT_FOUND);
    }
}

}  // namespace faultra
