// Any bytes read as a hive file: no crash, and what was read writes back to text that reads the same.
#include <cstdlib>
#include <string_view>

#include "base/registry_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qbase::registry::detail;
    const Hive first = parseHive(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string text = formatHive(first);
    if (formatHive(parseHive(text)) != text) std::abort();
    return 0;
}
