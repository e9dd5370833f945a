// Typed access to the configuration tables of a context. The tables hold the records in their
// file layout; a record is decoded when an operation needs its fields. Only records that the
// table really holds are reachable, whatever the counts say.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "context.h"
#include "records/message4.h"
#include "records/variable4.h"

namespace corvix {

inline std::size_t variableRecordCount(const EngineContext& context) {
    if (!context.variableTable) return 0;
    return std::min<std::size_t>(context.variableCount, context.variableTable->size() / records::VARIABLE4::size);
}

inline std::size_t messageRecordCount(const EngineContext& context) {
    if (!context.messageTable) return 0;
    return std::min<std::size_t>(context.messageCount, context.messageTable->size() / records::MESSAGE4::size);
}

inline std::optional<records::VARIABLE4> variableAt(const EngineContext& context, std::size_t index) {
    if (index >= variableRecordCount(context)) return std::nullopt;
    records::VARIABLE4 variable;
    records::decode(std::span<const std::uint8_t, records::VARIABLE4::size>(
                        context.variableTable->data() + index * records::VARIABLE4::size, records::VARIABLE4::size),
                    variable);
    return variable;
}

inline std::optional<records::MESSAGE4> messageAt(const EngineContext& context, std::size_t index) {
    if (index >= messageRecordCount(context)) return std::nullopt;
    records::MESSAGE4 message;
    records::decode(std::span<const std::uint8_t, records::MESSAGE4::size>(
                        context.messageTable->data() + index * records::MESSAGE4::size, records::MESSAGE4::size),
                    message);
    return message;
}

}  // namespace corvix
