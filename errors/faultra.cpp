// The error message library's one export.
#include "faultra.h"

#include <new>

#include "message_text.h"
#include "platform_message.h"
#include "quorelle_config.h"
#include "win32/windows.h"

namespace {

constexpr faultra::Language kBuildLanguage =
    QUORELLE_LANGUAGE_FRENCH ? faultra::Language::French : faultra::Language::English;

}  // namespace

int32_t ERROR_MESSAGE(int32_t code, char* text, uint32_t size, uint32_t* needed) {
    const auto bits = static_cast<std::uint32_t>(code);
    if (bits & faultra::kOwnCodeBit) return faultra::ownMessage(bits, kBuildLanguage, text, size, needed);
    try {
        return faultra::platformMessage(bits, text, size, needed);
    } catch (const std::bad_alloc&) {
        if (needed) *needed = 0;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
