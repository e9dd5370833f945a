#include "model/presence_variable.h"

#include <algorithm>

#include "model/config_checks.h"
#include "model/consumer_set.h"
#include "model/message_channels.h"
#include "model/plandrel_doc.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

constexpr std::size_t kMaxName = 32;
constexpr std::string_view kPresencePrefix = "Presence_";

}  // namespace

std::optional<std::size_t> FindPresenceVariable(const records::Configuration& c, std::size_t station,
                                                int physical_address) {
  if (physical_address < 0) return std::nullopt;
  const std::uint16_t index = FindVariableByIdentifier(c, PresenceIdentifier(physical_address));
  if (index == kNoVariable) return std::nullopt;
  const records::VARIABLE4& v = c.variables[index];
  if (v.length != kPresenceLength || v.pdu_type != kPresencePduType || v.producer != static_cast<int>(station))
    return std::nullopt;
  return index;
}

std::string PresenceVariableName(const CPlandrelDoc& document, std::string_view station_name) {
  std::string name(kPresencePrefix);
  name += station_name;
  if (name.size() > kMaxName) name.resize(kMaxName);
  const auto& variables = document.Records().variables;
  if (std::none_of(variables.begin(), variables.end(),
                   [&](const records::VARIABLE4& v) { return records::text_of(v.name) == name; }))
    return name;
  // A 32-character name would come back unchanged, so the base leaves room for a suffix.
  if (name.size() == kMaxName) name.resize(kMaxName - 1);
  return document.MakeUniqueVariableName(name);
}

records::VARIABLE4 MakePresenceVariable(const records::Configuration& c, std::size_t station, std::string_view name,
                                        int physical_address) {
  records::VARIABLE4 v;
  v.identifier = PresenceIdentifier(physical_address);
  records::set_text(v.name, name);
  records::set_text(v.format, "%5h");
  v.pdu_type = kPresencePduType;
  v.length = kPresenceLength;
  v.channel = kNoChannel;
  v.field_74 = 1;
  v.producer = static_cast<std::int16_t>(station);
  if (station == c.local_station) {
    v.direction = 0;
  } else {
    v.direction = 1;
    AddConsumer(v, c.local_station);
  }
  v.refreshment_period = 500;
  v.promptness_period = 500;
  v.key = c.variables.empty() ? records::kVariableKeyBase : static_cast<std::uint16_t>(c.variables.back().key + 1);
  return v;
}

}  // namespace plandrel
