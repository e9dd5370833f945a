#include "message_text.h"

#include <cstring>

namespace faultra {

void deliverText(std::initializer_list<std::string_view> parts, char* text, std::uint32_t size,
                 std::uint32_t* needed) {
    std::uint64_t length = 0;
    for (const std::string_view part : parts) length += part.size();
    if (needed) *needed = static_cast<std::uint32_t>(length + 1);
    if (!text || !needed || size < length + 1) return;
    for (const std::string_view part : parts) {
        std::memcpy(text, part.data(), part.size());
        text += part.size();
    }
    *text = '\0';
}

std::int32_t ownMessage(std::uint32_t code, Language language, char* text, std::uint32_t size,
                        std::uint32_t* needed) {
    // A full-code match stands for the family rules: every listed code lies in its own family,
    // and anything else, inside a family's range or not, has no text of its own.
    deliverText({findMessage(code).text(language), "\n"}, text, size, needed);
    return 0;
}

}  // namespace faultra
