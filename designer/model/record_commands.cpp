#include "model/record_commands.h"

#include <algorithm>

#include "model/check_codes.h"
#include "model/config_checks.h"
#include "model/consumer_set.h"
#include "model/message_channels.h"
#include "model/message_ends.h"
#include "model/plandrel_doc.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

using records::Configuration;
using records::MESSAGE4;
using records::VARIABLE4;

constexpr std::string_view kUntitled = "untitled";
constexpr std::string_view kDefaultFormat = "%h";
constexpr std::uint16_t kDefaultPeriod = 500;

std::size_t Limit(ListKind kind) {
  switch (kind) {
    case ListKind::stations: return records::kStationCapacity;
    case ListKind::variables: return records::kMaxVariables;
    case ListKind::messages: return records::kMaxMessages;
    case ListKind::lists: return records::kMaxLists;
  }
  return 0;
}

std::string_view LimitText(ListKind kind) {
  switch (kind) {
    case ListKind::stations: return kStationsFull;
    case ListKind::variables: return kVariablesFull;
    case ListKind::messages: return kMessagesFull;
    case ListKind::lists: return kListsFull;
  }
  return {};
}

// What one record of the kind may cost at most; New and Duplicate test the estimate with it.
std::uint32_t CostBound(ListKind kind) {
  switch (kind) {
    case ListKind::variables: return kVariableCost;
    case ListKind::messages: return kTransmittedMessageCost;
    default: return 0;
  }
}

template <class Record>
std::uint16_t NextKey(const std::vector<Record>& list, std::uint16_t first) {
  return list.empty() ? first : static_cast<std::uint16_t>(list.back().key + 1);
}

// Station `removed` leaves the consumer set: every higher station moves down one bit.
void CloseStationGap(VARIABLE4& v, std::size_t removed) {
  if (records::is_consumer(v, removed)) {
    records::set_consumer(v, removed, false);
    if (v.consumer_count > 0) --v.consumer_count;
  }
  const std::size_t word = removed / 32;
  const std::size_t bit = removed % 32;
  // The removed station's word: the bits below it stay, those above move down one.
  const std::uint32_t low = bit == 0 ? 0u : (v.consumers[word] & ((1u << bit) - 1u));
  const std::uint32_t high = bit == 31 ? 0u : ((v.consumers[word] >> 1) & ~((1u << bit) - 1u));
  v.consumers[word] = low | high;
  // Each later word gives its lowest bit to the top of the word before it.
  for (std::size_t w = word + 1; w < v.consumers.size(); ++w) {
    v.consumers[w - 1] |= (v.consumers[w] & 1u) << 31;
    v.consumers[w] >>= 1;
  }
}

}  // namespace

std::size_t RecordCount(const Configuration& c, ListKind kind) {
  switch (kind) {
    case ListKind::stations: return c.station_count;
    case ListKind::variables: return c.variables.size();
    case ListKind::messages: return c.messages.size();
    case ListKind::lists: return c.lists.size();
  }
  return 0;
}

std::optional<std::string_view> RefuseAdding(const CPlandrelDoc& document, ListKind kind, std::size_t count) {
  if (RecordCount(document.Records(), kind) + count > Limit(kind)) return LimitText(kind);
  const std::uint64_t cost = std::uint64_t{CostBound(kind)} * count;
  if (cost != 0 && (cost > CPlandrelDoc::kMemoryLimit || !document.MemoryFits(static_cast<std::uint32_t>(cost))))
    return kMemorySpaceFull;
  return std::nullopt;
}

records::STATION4 DefaultStation() { return records::make_station(kUntitled, -1); }

VARIABLE4 DefaultVariable(const Configuration& c) {
  VARIABLE4 v;
  v.identifier = 0;
  records::set_text(v.name, kUntitled);
  records::set_text(v.format, kDefaultFormat);
  v.pdu_type = 0x40;
  v.length = 1;
  v.channel = kNoChannel;
  v.field_74 = 1;
  v.producer = static_cast<std::int16_t>(c.local_station);
  v.direction = 0;
  v.refreshment_period = kDefaultPeriod;
  v.promptness_period = kDefaultPeriod;
  v.key = NextKey(c.variables, records::kVariableKeyBase);
  return v;
}

MESSAGE4 DefaultMessage(const Configuration& c) {
  MESSAGE4 m;
  m.event_number = 1;
  records::set_text(m.name, kUntitled);
  records::set_text(m.format, kDefaultFormat);
  m.aperiodic = 1;
  m.transmitted = 1;
  m.remote_station = kNoStation;
  m.key = NextKey(c.messages, records::kMessageKeyBase);
  return m;
}

records::LISTE_APER DefaultList() {
  records::LISTE_APER list;
  records::set_text(list.name, kUntitled);
  return list;
}

std::optional<std::size_t> AppendNewRecord(Configuration& c, ListKind kind) {
  const std::size_t index = RecordCount(c, kind);
  if (index >= Limit(kind)) return std::nullopt;
  switch (kind) {
    case ListKind::stations:
      c.stations[index] = DefaultStation();
      ++c.station_count;
      break;
    case ListKind::variables: c.variables.push_back(DefaultVariable(c)); break;
    case ListKind::messages: c.messages.push_back(DefaultMessage(c)); break;
    case ListKind::lists: c.lists.push_back(DefaultList()); break;
  }
  return index;
}

std::optional<std::size_t> AppendCopy(CPlandrelDoc& document, ListKind kind, std::size_t source) {
  Configuration& c = document.Records();
  const std::size_t index = RecordCount(c, kind);
  if (source >= index || index >= Limit(kind)) return std::nullopt;
  switch (kind) {
    case ListKind::variables: {
      VARIABLE4 copy = c.variables[source];
      records::set_text(copy.name, document.MakeUniqueVariableName(records::text_of(copy.name)));
      copy.key = NextKey(c.variables, records::kVariableKeyBase);
      c.variables.push_back(copy);
      break;
    }
    case ListKind::messages: {
      MESSAGE4 copy = c.messages[source];
      records::set_text(copy.name, document.MakeUniqueMessageName(records::text_of(copy.name)));
      copy.key = NextKey(c.messages, records::kMessageKeyBase);
      c.messages.push_back(copy);
      break;
    }
    case ListKind::lists: {
      records::LISTE_APER copy = c.lists[source];
      records::set_text(copy.name, document.MakeUniqueListName(records::text_of(copy.name)));
      c.lists.push_back(std::move(copy));
      break;
    }
    case ListKind::stations: return std::nullopt;
  }
  return index;
}

void RemoveLastRecord(Configuration& c, ListKind kind) {
  switch (kind) {
    case ListKind::stations:
      if (c.station_count > 0) c.stations[--c.station_count] = records::STATION4{};
      break;
    case ListKind::variables:
      if (!c.variables.empty()) c.variables.pop_back();
      break;
    case ListKind::messages:
      if (!c.messages.empty()) c.messages.pop_back();
      break;
    case ListKind::lists:
      if (!c.lists.empty()) c.lists.pop_back();
      break;
  }
}

std::uint32_t RecordCost(const Configuration& c, ListKind kind, std::size_t index) {
  if (kind == ListKind::variables && index < c.variables.size()) return kVariableCost;
  if (kind == ListKind::messages && index < c.messages.size() && c.messages[index].transmitted != 0)
    return kTransmittedMessageCost;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Stations

bool StationInUse(const Configuration& c, std::size_t station) {
  return std::any_of(c.variables.begin(), c.variables.end(), [&](const VARIABLE4& v) {
    return v.producer == static_cast<int>(station) || records::is_consumer(v, station);
  });
}

StationRemoval RemoveStation(Configuration& c, std::size_t station) {
  if (station >= c.station_count) return StationRemoval::no_such_station;
  if (station == c.local_station) return StationRemoval::local_station;
  if (StationInUse(c, station)) return StationRemoval::in_use;

  std::copy(c.stations.begin() + static_cast<std::ptrdiff_t>(station) + 1,
            c.stations.begin() + c.station_count, c.stations.begin() + static_cast<std::ptrdiff_t>(station));
  c.stations[--c.station_count] = records::STATION4{};
  if (c.local_station > station) --c.local_station;
  const int removed = static_cast<int>(station);
  for (VARIABLE4& v : c.variables) {
    if (v.producer > removed) --v.producer;
    // Every set, counted or not: bits a damaged file left must not come to name another station.
    CloseStationGap(v, station);
  }
  for (MESSAGE4& m : c.messages) {
    if (m.remote_station > removed)
      --m.remote_station;
    else if (m.remote_station == removed)
      m.remote_station = kNoStation;
  }
  return StationRemoval::removed;
}

std::string InUseText(ListKind kind, std::string_view name) {
  return std::string(kind == ListKind::stations ? "The station" : "The variable") + " \"" + std::string(name) +
         "\"\nis used.";
}

// ---------------------------------------------------------------------------------------------
// Variables

namespace {

// A variable that gives up its periodic channel when it goes.
bool HoldsPeriodicChannel(const VARIABLE4& v) {
  return (v.flags & VARIABLE4::kMessageChannel) != 0 && v.channel > 0;
}

}  // namespace

bool VariableInUse(const Configuration& c, std::size_t index) {
  if (index >= c.variables.size()) return false;
  if (HoldsPeriodicChannel(c.variables[index]) && CarriesPeriodicMessage(c, c.variables[index])) return true;
  const std::uint16_t identifier = c.variables[index].identifier;
  return std::any_of(c.messages.begin(), c.messages.end(), [&](const MESSAGE4& m) {
    if (m.transmitted == 1 && m.source_identifier == identifier) return true;
    return m.destination_identifier == identifier && (m.transmitted == 0 || m.acknowledged == 1);
  });
}

RemovedVariable RemoveVariable(CPlandrelDoc& document, std::size_t index) {
  Configuration& c = document.Records();
  RemovedVariable removed{c.variables[index], {}};
  const VARIABLE4& v = removed.record;
  if (HoldsPeriodicChannel(v)) removed.messages_changed = CloseChannelGap(c, v.channel, v.key);
  for (std::size_t i = 0; i < c.messages.size(); ++i) {
    MESSAGE4& m = c.messages[i];
    const std::uint16_t far_end = m.transmitted == 1 ? m.destination_identifier : m.source_identifier;
    if (far_end != v.identifier || m.remote_station == kNoStation) continue;
    m.remote_station = kNoStation;
    removed.messages_changed.push_back(i);
  }
  std::sort(removed.messages_changed.begin(), removed.messages_changed.end());
  removed.messages_changed.erase(std::unique(removed.messages_changed.begin(), removed.messages_changed.end()),
                                 removed.messages_changed.end());
  c.variables.erase(c.variables.begin() + static_cast<std::ptrdiff_t>(index));
  for (std::size_t i = index; i < c.variables.size(); ++i) c.variables[i].key = records::variable_key(i);
  document.AddToMemoryEstimate(-std::int64_t{kVariableCost});
  return removed;
}

// ---------------------------------------------------------------------------------------------
// Messages and lists

MESSAGE4 RemoveMessage(CPlandrelDoc& document, std::size_t index) {
  Configuration& c = document.Records();
  const MESSAGE4 removed = c.messages[index];
  if (removed.transmitted != 0) document.AddToMemoryEstimate(-std::int64_t{kTransmittedMessageCost});
  c.messages.erase(c.messages.begin() + static_cast<std::ptrdiff_t>(index));
  for (std::size_t i = index; i < c.messages.size(); ++i) c.messages[i].key = records::message_key(i);
  return removed;
}

void RemoveList(Configuration& c, std::size_t index) {
  if (index < c.lists.size()) c.lists.erase(c.lists.begin() + static_cast<std::ptrdiff_t>(index));
}

std::optional<std::string_view> MessageChannelsProblem(const Configuration& c) {
  if (CountPeriodicMessageChannels(c, nullptr) > records::kMaxMessageChannel) return kTooManyPeriodicChannels;
  const bool aperiodic_channel = CountAperiodicMessageChannels(c, nullptr) != 0;
  const bool periodic_channel = CountPeriodicMessageChannels(c, nullptr) != 0;
  for (const MESSAGE4& m : c.messages) {
    if (m.transmitted != 1) continue;
    if (m.aperiodic == 1 && !aperiodic_channel) return kNoAperiodicChannel;
    if (m.aperiodic == 0 && !periodic_channel) return kNoPeriodicChannel;
  }
  return std::nullopt;
}

}  // namespace plandrel
