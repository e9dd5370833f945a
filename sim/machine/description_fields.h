// Field readers shared by the parts of the machine description: each refuses a bad field with a
// DescriptionError that names where it is.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

namespace sim::description {

[[noreturn]] void fail(const std::string& where, const std::string& what);
// An unsigned number, given as a JSON number or as a string in decimal, hexadecimal (0x) or octal.
std::uint64_t number(const nlohmann::json& value, const std::string& where, std::uint64_t max);
// Refuses a value that is not an object or holds a field outside `known`.
void onlyKnownFields(const nlohmann::json& object, const std::set<std::string>& known, const std::string& where);

}  // namespace sim::description
