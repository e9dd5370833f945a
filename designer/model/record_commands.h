// The record commands of the list dialog and the configuration tree: the defaults of a new record,
// copies, the limits and controller memory costs that New and Duplicate test first, and the removal
// of a station, variable, message or aperiodic list with everything that refers to it by index,
// key or identifier kept in step. The station editor removes and adds its presence variable through
// the same functions.
//
// They change the document's records and its memory estimate only: the caller updates the tree
// and decides which working files to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/configuration.h"

namespace plandrel {

class CPlandrelDoc;

// The kinds of the list dialog, in its numbering.
enum class ListKind : std::uint16_t { stations = 0, variables = 1, messages = 2, lists = 3 };

// Controller memory estimate costs.
inline constexpr std::uint32_t kVariableCost = 32;
inline constexpr std::uint32_t kTransmittedMessageCost = 16;

// Refusals of New and Duplicate, and of the station editor's presence variable.
inline constexpr std::string_view kStationsFull = "You can not configure more than 256 stations.";
inline constexpr std::string_view kVariablesFull = "You cannot configure more than 4095 variables.";
inline constexpr std::string_view kMessagesFull = "You cannot configure more than 4096 messages.";
inline constexpr std::string_view kListsFull = "Cannot configure more than 65535 lists.";
inline constexpr std::string_view kMemorySpaceFull =
    "The FULLFIP memory space is full.\nRemove instructions from BA sequences.";

// The number of records of the kind (the station count for stations).
std::size_t RecordCount(const records::Configuration& c, ListKind kind);

// Why `count` more records of the kind cannot be added: the kind's limit, then (variables and
// messages) the memory estimate with 32 or 16 per record; none when they fit.
std::optional<std::string_view> RefuseAdding(const CPlandrelDoc& document, ListKind kind, std::size_t count);

// The defaults of a new record. A variable is produced by the local station; a variable's or
// message's key is the last one's + 1 (5000 or 35000 for the first).
records::STATION4 DefaultStation();
records::VARIABLE4 DefaultVariable(const records::Configuration& c);
records::MESSAGE4 DefaultMessage(const records::Configuration& c);
records::LISTE_APER DefaultList();

// Appends the kind's default record (a station: the station count grows) and returns its index;
// none when the kind is full.
std::optional<std::size_t> AppendNewRecord(records::Configuration& c, ListKind kind);
// Appends a copy of record `source` (variables, messages, lists) under the document's next unique
// name, a variable or message with the last key + 1; none when the kind is full or `source` is no
// record.
std::optional<std::size_t> AppendCopy(CPlandrelDoc& document, ListKind kind, std::size_t source);
// Takes back the record that AppendNewRecord or AppendCopy added last (a cancelled editor).
void RemoveLastRecord(records::Configuration& c, ListKind kind);

// What record `index` adds to the memory estimate as it stands: 32 for a variable, 16 for a message
// transmitted by the local station, nothing otherwise.
std::uint32_t RecordCost(const records::Configuration& c, ListKind kind, std::size_t index);

// --- Stations

// Whether some variable names the station as producer or consumer.
bool StationInUse(const records::Configuration& c, std::size_t station);

enum class StationRemoval { removed, no_such_station, local_station, in_use };
// Removes a station that is neither the local one nor in use. Later stations move down one place,
// and so does every index that names them: the local station, producers, consumer bits (every
// higher bit moves down one) and messages' remote stations. A message whose remote station was the
// removed one has none afterwards.
StationRemoval RemoveStation(records::Configuration& c, std::size_t station);

// The refusal of a record that something still names: "The station " or "The variable ", the name
// between double quotes, a line break and "is used.".
std::string InUseText(ListKind kind, std::string_view name);

// --- Variables

// Whether a message cannot do without the variable: it names the variable's identifier as the
// source of a transmitted message or the destination of a received or acknowledged one, or it is
// a periodic message sent on the variable's channel (CarriesPeriodicMessage).
bool VariableInUse(const records::Configuration& c, std::size_t index);

struct RemovedVariable {
  records::VARIABLE4 record;                   // as it was, key included (for the tree)
  std::vector<std::size_t> messages_changed;  // indexes of the messages whose remote station or channel changed
};
// Removes variable `index`: its periodic channel's gap is closed (CloseChannelGap: the messages'
// channels move with the variables'), the messages that name it at their far end lose their remote
// station, the following variables' keys move down one and the memory estimate falls by 32. Whether
// it is in use is the caller's test. `index` must be a variable.
RemovedVariable RemoveVariable(CPlandrelDoc& document, std::size_t index);

// --- Messages and lists

// Removes message `index`: the estimate falls by 16 for a transmitted one, the following keys move
// down one. Returns the record as it was.
records::MESSAGE4 RemoveMessage(CPlandrelDoc& document, std::size_t index);
void RemoveList(records::Configuration& c, std::size_t index);

// --- The dialog's checks at End (variables)

// The first reason why the message request variables cannot serve the messages: more than 8
// periodic channels, or a transmitted aperiodic (periodic) message with no local variable enabling
// aperiodic (periodic) message requests; none when they can.
std::optional<std::string_view> MessageChannelsProblem(const records::Configuration& c);

}  // namespace plandrel
