#include "sim/machine/description_fields.h"

#include <exception>

#include "sim/machine/machine_description.h"

namespace sim::description {

using nlohmann::json;

void fail(const std::string& where, const std::string& what) {
    throw DescriptionError("machine description: " + where + ": " + what);
}

std::uint64_t number(const json& value, const std::string& where, std::uint64_t max) {
    std::uint64_t n = 0;
    if (value.is_number_unsigned()) {
        n = value.get<std::uint64_t>();
    } else if (value.is_string()) {
        const std::string text = value.get<std::string>();
        std::size_t used = 0;
        try {
            n = std::stoull(text, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (text.empty() || used != text.size() || text[0] == '-') fail(where, "\"" + text + "\" is not a number");
    } else {
        fail(where, "expected an unsigned number");
    }
    if (n > max) fail(where, "value above " + std::to_string(max));
    return n;
}

void onlyKnownFields(const json& object, const std::set<std::string>& known, const std::string& where) {
    if (!object.is_object()) fail(where, "expected an object");
    for (const auto& [name, value] : object.items())
        if (!known.contains(name)) fail(where, "unknown field \"" + name + "\"");
}

}  // namespace sim::description
