// The user's text for a result code, from the error message library.
#pragma once

#include <cstdint>
#include <string>

namespace plandrel {

// Asks ERROR_MESSAGE for the size, then for the text; without a text, `fallback`. Trailing line
// ends are dropped.
std::string ErrorText(std::uint32_t code, const std::string& fallback = "Unknown error.");

}  // namespace plandrel
