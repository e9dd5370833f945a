#include "model/config_checks.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "model/display_format.h"
#include "model/message_channels.h"
#include "model/plandrel_doc.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

// Whether some record other than `self` (by key; every pair when `self` is null) has the same
// value of `field`.
template <class Record, class Field>
bool duplicated(const std::vector<Record>& records, const Record* self, Field field) {
  if (self != nullptr)
    return std::any_of(records.begin(), records.end(), [&](const Record& r) {
      return r.key != self->key && field(r) == field(*self);
    });
  using Value = decltype(field(records.front()));
  std::unordered_set<Value> seen;
  seen.reserve(records.size());
  for (const Record& r : records)
    if (!seen.insert(field(r)).second) return true;
  return false;
}

template <class Predicate>
std::size_t count_other_variables(const records::Configuration& c,
                                  const records::VARIABLE4* variable, Predicate predicate) {
  return static_cast<std::size_t>(
      std::count_if(c.variables.begin(), c.variables.end(), [&](const records::VARIABLE4& v) {
        return (variable == nullptr || v.key != variable->key) && predicate(v);
      }));
}

}  // namespace

CONFIG_CHECK_CODE CheckVariableNames(const records::Configuration& c,
                                     const records::VARIABLE4* variable) {
  return duplicated(c.variables, variable,
                    [](const records::VARIABLE4& v) { return records::text_of(v.name); })
             ? kCheckVariableNameInUse
             : kCheckOk;
}

CONFIG_CHECK_CODE CheckVariableIdentifiers(const records::Configuration& c,
                                           const records::VARIABLE4* variable) {
  return duplicated(c.variables, variable, [](const records::VARIABLE4& v) { return v.identifier; })
             ? kCheckVariableIdentifierInUse
             : kCheckOk;
}

CONFIG_CHECK_CODE CheckVariableFormat(const records::VARIABLE4& variable) {
  const std::optional<std::size_t> total =
      DisplayFormatByteTotal(records::text_of(variable.format));
  if (!total) return kCheckInvalidFormat;
  return *total > variable.length ? kCheckFormatTooLong : kCheckOk;
}

CONFIG_CHECK_CODE CheckVariableStations(const records::Configuration& c,
                                        records::VARIABLE4& variable) {
  const int local = c.local_station;
  const int producer = variable.producer;
  // Membership only over the stations that exist.
  auto consumes = [&](int station) {
    return station >= 0 && station < c.station_count &&
           records::is_consumer(variable, static_cast<std::size_t>(station));
  };
  if (producer != local && !consumes(local)) return kCheckLocalStationNotInvolved;
  if (producer == local && consumes(local)) return kCheckLocalProducesAndConsumes;
  if (consumes(producer)) return kCheckProducerConsumes;
  variable.direction = producer != local ? 1 : 0;
  return kCheckOk;
}

CONFIG_CHECK_CODE CheckMessageNames(const records::Configuration& c,
                                    const records::MESSAGE4* message) {
  return duplicated(c.messages, message,
                    [](const records::MESSAGE4& m) { return records::text_of(m.name); })
             ? kCheckMessageNameInUse
             : kCheckOk;
}

CONFIG_CHECK_CODE CheckFormatSyntax(std::string_view format) {
  return IsValidDisplayFormat(format) ? kCheckOk : kCheckInvalidFormat;
}

CONFIG_CHECK_CODE CheckListNames(const records::Configuration& c, std::size_t list, std::string_view name) {
  for (std::size_t i = 0; i < c.lists.size(); ++i)
    if (i != list && records::text_of(c.lists[i].name) == name) return kCheckListNameInUse;
  return kCheckOk;
}

CONFIG_CHECK_CODE CheckStationName(const records::Configuration& c, std::size_t station,
                                   std::string_view name) {
  const std::size_t count = std::min<std::size_t>(c.station_count, c.stations.size());
  for (std::size_t i = 0; i < count; ++i)
    if (i != station && records::text_of(c.stations[i].name) == name) return kCheckStationNameInUse;
  return kCheckOk;
}

CONFIG_CHECK_CODE CheckStationAddress(const records::Configuration& c, std::size_t station,
                                      int physical_address) {
  const std::size_t count = std::min<std::size_t>(c.station_count, c.stations.size());
  for (std::size_t i = 0; i < count; ++i)
    if (i != station && c.stations[i].physical_address == physical_address)
      return kCheckStationAddressInUse;
  return kCheckOk;
}

std::size_t CountAperiodicMessageChannels(const records::Configuration& c,
                                          const records::VARIABLE4* variable) {
  return count_other_variables(c, variable, [](const records::VARIABLE4& v) {
    return IsLocalMessageChannel(v) && v.channel == 0;
  });
}

std::size_t CountPeriodicMessageChannels(const records::Configuration& c,
                                         const records::VARIABLE4* variable) {
  return count_other_variables(c, variable, [](const records::VARIABLE4& v) {
    return IsLocalMessageChannel(v) && v.channel > 0;
  });
}

std::size_t CountAperiodicRequestVariables(const records::Configuration& c,
                                           const records::VARIABLE4* variable) {
  return count_other_variables(c, variable, [](const records::VARIABLE4& v) {
    return v.direction == 0 && (v.flags & records::VARIABLE4::kAperiodicVariableRequests) != 0;
  });
}

std::uint16_t FindVariableByIdentifier(const records::Configuration& c, std::uint16_t identifier) {
  const std::size_t count = std::min<std::size_t>(c.variables.size(), kNoVariable);
  for (std::size_t i = 0; i < count; ++i)
    if (c.variables[i].identifier == identifier) return static_cast<std::uint16_t>(i);
  return kNoVariable;
}

bool CheckBeforeConnect(CPlandrelDoc& document) {
  DocumentHost& host = document.Host();
  auto refuse = [&host](std::string_view why) {
    host.ShowMessage(kCannotConnect, MessageButtons::ok, MessageIcon::warning);
    host.ShowMessage(why, MessageButtons::ok, MessageIcon::warning);
    return false;
  };
  auto invalid_format = [](std::string_view what, std::string_view name) {
    return std::string(what) + " \"" + std::string(name) + " \"\nis invalid.";
  };
  auto not_configured = [](std::string_view what, std::string_view name) {
    return std::string(what) + " \"" + std::string(name) + "\"\nis not configured.";
  };

  records::Configuration& c = document.Records();
  if (CheckVariableNames(c, nullptr) != kCheckOk) return refuse(kSameVariableNames);
  if (CheckVariableIdentifiers(c, nullptr) != kCheckOk) return refuse(kSameVariableIdentifiers);
  for (const records::VARIABLE4& v : c.variables)
    if (CheckVariableFormat(v) == kCheckInvalidFormat)
      return refuse(invalid_format("The format of variable", records::text_of(v.name)));
  const std::size_t periodic = CountPeriodicMessageChannels(c, nullptr);
  if (periodic > records::kMaxMessageChannel) return refuse(kTooManyPeriodicChannels);
  const std::size_t aperiodic = CountAperiodicMessageChannels(c, nullptr);

  // Messages in order; each one's steps run before the next message is looked at.
  bool channels_changed = false;
  std::string failure;
  for (records::MESSAGE4& m : c.messages) {
    if (CheckFormatSyntax(records::text_of(m.format)) != kCheckOk) {
      failure = invalid_format("The format of message", records::text_of(m.name));
    } else if (m.transmitted != 0) {
      if (m.aperiodic != 0 && aperiodic == 0) {
        failure = kNoAperiodicChannel;
      } else if (m.aperiodic == 0 && periodic == 0) {
        failure = kNoPeriodicChannel;
      } else {
        if (m.aperiodic == 0 && m.channel > periodic) {
          m.channel = static_cast<std::uint16_t>(periodic);
          channels_changed = true;
        }
        if (FindVariableByIdentifier(c, m.source_identifier) == kNoVariable)
          failure = not_configured("The source identifier of message", records::text_of(m.name));
      }
    } else if (FindVariableByIdentifier(c, m.destination_identifier) == kNoVariable) {
      failure = not_configured("The destination identifier of message", records::text_of(m.name));
    }
    if (!failure.empty()) break;
  }

  // Channels given before a refusal are kept too: the working file and the mark follow them, so
  // that the saved file and the download image carry what the document holds.
  if (channels_changed) {
    document.WriteWorkingFile(records::Section::messages);
    if (!document.IsModified()) {
      document.SetModifiedFlag();
      document.UpdateTitle();
    }
  }
  if (!failure.empty()) return refuse(failure);
  return true;
}

}  // namespace plandrel
