// Look-ups in the loaded configuration tables; no board command. 1 found, 0 not found (also
// without a context or a table). Null outputs are skipped.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "config_tables.h"
#include "corvix.h"
#include "records/byte_codec.h"

using namespace corvix;

// Every record's identifier << 16 | its position, sorted: the first record with an identifier is
// the first key at or above identifier << 16. It holds the table it was built from, so that a table
// that replaced it cannot share its address.
struct corvix::VariableIdIndex {
    std::shared_ptr<const RecordTable> table;
    std::size_t count = 0;
    std::vector<std::uint32_t> keys;
};

// Every message's source identifier << 48 | destination identifier << 32 | source segment << 24 |
// destination segment << 16 | its position, sorted, and the number of transmitted messages before
// each position (a message's key counter less its base, which the header and the offset flag give).
struct corvix::MessageIdIndex {
    std::shared_ptr<const RecordTable> table;
    std::size_t count = 0;
    std::vector<std::uint64_t> keys;
    std::vector<std::uint16_t> transmittedBefore;
};

namespace {

constexpr std::size_t kNameBytes = 33;
constexpr std::int16_t kNotTransmitted = -1;

template <class T>
void put(T* out, T value) {
    if (out) *out = value;
}

void putName(char* out, const std::array<char, kNameBytes>& name) {
    if (out) std::memcpy(out, name.data(), kNameBytes);
}

void putVariable(const records::VARIABLE4& v, std::int16_t position, std::int16_t* index, std::int16_t* length,
                 std::uint8_t* flags) {
    put(index, position);
    put(length, static_cast<std::int16_t>(v.length));
    if (flags)
        *flags = static_cast<std::uint8_t>((*flags & ~0x03u) | (v.refreshment_status == 1 ? 0x01 : 0) |
                                           (v.promptness_status == 1 ? 0x02 : 0));
}

template <class Match>
std::optional<std::size_t> findVariable(const EngineContext& context, Match match) {
    for (std::size_t i = 0; i < variableRecordCount(context); ++i)
        if (match(*variableAt(context, i))) return i;
    return std::nullopt;
}

std::uint16_t identifierAt(const RecordTable& table, std::size_t index) {
    return records::get_u16<0>(std::span<const std::uint8_t, records::VARIABLE4::size>(
        table.data() + index * records::VARIABLE4::size, records::VARIABLE4::size));
}

const VariableIdIndex& variableIdIndex(EngineContext& context) {
    const std::size_t count = variableRecordCount(context);
    const auto& index = context.variableIdIndex;
    if (index && index->table == context.variableTable && index->count == count) return *index;
    auto built = std::make_shared<VariableIdIndex>();
    built->table = context.variableTable;
    built->count = count;
    built->keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        built->keys.push_back(static_cast<std::uint32_t>(identifierAt(*context.variableTable, i)) << 16 |
                              static_cast<std::uint32_t>(i));
    std::sort(built->keys.begin(), built->keys.end());
    context.variableIdIndex = std::move(built);
    return *context.variableIdIndex;
}

// The first record whose identifier is `identifier`, as a walk of the table in order finds it.
std::optional<std::size_t> findVariableById(EngineContext& context, std::uint16_t identifier) {
    const std::vector<std::uint32_t>& keys = variableIdIndex(context).keys;
    const std::uint32_t first = static_cast<std::uint32_t>(identifier) << 16;
    const auto it = std::lower_bound(keys.begin(), keys.end(), first);
    if (it == keys.end() || (*it >> 16) != identifier) return std::nullopt;
    return *it & 0xFFFFu;
}

struct FoundMessage {
    records::MESSAGE4 message;
    std::int16_t key;  // -1 for a received message
};

std::uint32_t messageKeyBase(const EngineContext& context) {
    return context.variableTableSize() + (context.messageKeyOffset ? 64u : 0u);
}

std::uint64_t messageIdKey(std::uint16_t sourceId, std::uint8_t sourceSegment, std::uint16_t destinationId,
                           std::uint8_t destinationSegment) {
    return static_cast<std::uint64_t>(sourceId) << 48 | static_cast<std::uint64_t>(destinationId) << 32 |
           static_cast<std::uint64_t>(sourceSegment) << 24 | static_cast<std::uint64_t>(destinationSegment) << 16;
}

const MessageIdIndex& messageIdIndex(EngineContext& context) {
    const std::size_t count = messageRecordCount(context);
    const auto& index = context.messageIdIndex;
    if (index && index->table == context.messageTable && index->count == count) return *index;
    auto built = std::make_shared<MessageIdIndex>();
    built->table = context.messageTable;
    built->count = count;
    built->keys.reserve(count);
    built->transmittedBefore.reserve(count);
    std::uint16_t transmitted = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const records::MESSAGE4 m = *messageAt(context, i);
        built->keys.push_back(messageIdKey(m.source_identifier, m.source_segment, m.destination_identifier,
                                           m.destination_segment) |
                              i);
        built->transmittedBefore.push_back(transmitted);
        if (m.transmitted == 1) ++transmitted;
    }
    std::sort(built->keys.begin(), built->keys.end());
    context.messageIdIndex = std::move(built);
    return *context.messageIdIndex;
}

// The first message with these identifiers and segments, with its key, as a walk of the table in
// order finds it.
std::optional<FoundMessage> findMessageById(EngineContext& context, std::uint64_t wanted) {
    const MessageIdIndex& index = messageIdIndex(context);
    const auto it = std::lower_bound(index.keys.begin(), index.keys.end(), wanted);
    if (it == index.keys.end() || (*it & ~std::uint64_t{0xFFFF}) != wanted) return std::nullopt;
    const std::size_t position = *it & 0xFFFFu;
    const records::MESSAGE4 m = *messageAt(context, position);
    const std::uint32_t key = messageKeyBase(context) + index.transmittedBefore[position];
    return FoundMessage{m, m.transmitted == 1 ? static_cast<std::int16_t>(key) : kNotTransmitted};
}

// Transmitted messages are keyed in table order from the variable table size (64 higher with the
// message key offset).
template <class Match>
std::optional<FoundMessage> findMessage(const EngineContext& context, Match match) {
    std::uint32_t key = messageKeyBase(context);
    for (std::size_t i = 0; i < messageRecordCount(context); ++i) {
        const records::MESSAGE4 m = *messageAt(context, i);
        const bool transmitted = m.transmitted == 1;
        if (match(m)) return FoundMessage{m, transmitted ? static_cast<std::int16_t>(key) : kNotTransmitted};
        if (transmitted) ++key;
    }
    return std::nullopt;
}

// The name argument is a 33-byte field like the record's: its terminator may be missing.
bool nameIs(const std::array<char, kNameBytes>& field, const char* name) {
    return name && records::text_of(field) == std::string_view(name, strnlen(name, kNameBytes));
}

}  // namespace

extern "C" {

CORVIX_API std::uint32_t FIND_VAR_BY_ID(std::uint16_t identifier, std::int16_t* index, char* name,
                                        std::int16_t* length, std::uint8_t* flags) {
    EngineContext* context = currentContext();
    if (!context) return 0;
    const auto found = findVariableById(*context, identifier);
    if (!found) return 0;
    const records::VARIABLE4 v = *variableAt(*context, *found);
    putVariable(v, static_cast<std::int16_t>(*found), index, length, flags);
    putName(name, v.name);
    return 1;
}

CORVIX_API std::uint32_t FIND_VAR_BY_NAME(const char* name, std::int16_t* index, std::uint16_t* identifier,
                                          std::int16_t* length, std::uint8_t* flags) {
    const EngineContext* context = currentContext();
    if (!context) return 0;
    const auto found = findVariable(*context, [&](const records::VARIABLE4& v) { return nameIs(v.name, name); });
    if (!found) return 0;
    const records::VARIABLE4 v = *variableAt(*context, *found);
    putVariable(v, static_cast<std::int16_t>(*found), index, length, flags);
    put(identifier, v.identifier);
    return 1;
}

CORVIX_API std::uint32_t FIND_MSG_BY_ID(std::uint16_t sourceId, std::uint8_t sourceSegment,
                                        std::uint16_t destinationId, std::uint8_t destinationSegment, char* name,
                                        std::int16_t* messageKey) {
    EngineContext* context = currentContext();
    if (!context) return 0;
    const auto found =
        findMessageById(*context, messageIdKey(sourceId, sourceSegment, destinationId, destinationSegment));
    if (!found) return 0;
    putName(name, found->message.name);
    put(messageKey, found->key);
    return 1;
}

CORVIX_API std::uint32_t FIND_MSG_BY_NAME(const char* name, std::int16_t* messageKey, std::uint16_t* sourceId,
                                          std::uint8_t* sourceSegment, std::uint16_t* destinationId,
                                          std::uint8_t* destinationSegment) {
    const EngineContext* context = currentContext();
    if (!context) return 0;
    const auto found = findMessage(*context, [&](const records::MESSAGE4& m) { return nameIs(m.name, name); });
    if (!found) return 0;
    const records::MESSAGE4& m = found->message;
    put(messageKey, found->key);
    put(sourceId, m.source_identifier);
    put(sourceSegment, m.source_segment);
    put(destinationId, m.destination_identifier);
    put(destinationSegment, m.destination_segment);
    return 1;
}

}  // extern "C"
