#include "online/error_text.h"

#include "faultra.h"

namespace plandrel {

std::string ErrorText(std::uint32_t code, const std::string& fallback) {
    std::uint32_t needed = 0;
    ERROR_MESSAGE(static_cast<std::int32_t>(code), nullptr, 0, &needed);
    if (needed == 0) return fallback;
    std::string text(needed, '\0');
    if (ERROR_MESSAGE(static_cast<std::int32_t>(code), text.data(), needed, &needed) != 0) return fallback;
    text.resize(text.find('\0'));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.empty() ? fallback : text;
}

}  // namespace plandrel
