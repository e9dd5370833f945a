// The per-thread engine context and the process-wide engine state.
//
// Every export works on the calling thread's EngineContext, created zero-filled at the thread's
// first call and zeroed when the thread ends, which lets its board go unless a copy shares it.
// START_FIP_ENGINE records its thread's context as the last started one; INIT_STORAGE copies that
// context into another thread. The device and the configuration blocks are held by shared
// ownership: a copy shares them with the starting thread, and when the starting thread stops the
// engine, a copy still in use keeps valid (closed) objects, so its calls fail with a code instead
// of touching freed memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board_device.h"

namespace corvix {

inline constexpr std::size_t kGeneralParamBytes = 34;   // GENERAL_PARAM
inline constexpr std::size_t kVariableRecordBytes = 122;  // VARIABLE4
inline constexpr std::size_t kMessageRecordBytes = 83;    // MESSAGE4
inline constexpr std::size_t kBaMacroLineBytes = 15;      // INSTRUCTION

using BaMacroLine = std::array<char, kBaMacroLineBytes>;
using BaMacroList = std::vector<BaMacroLine>;
// Records of one table, back to back in their file layout.
using RecordTable = std::vector<std::uint8_t>;
// FIND_VAR_BY_ID's index of a variable table and FIND_MSG_BY_ID's of a message table
// (table_lookups.cpp).
struct VariableIdIndex;
struct MessageIdIndex;

struct EngineContext {
    BoardDevicePtr device;  // null while no board is attached
    std::uint16_t boardNumber = 0;
    BoardType boardType = kBoardPci;
    std::uint32_t boardVariant = 0;  // 0 unknown, 1 PCI/USB/dual medium, 2 single-medium PC104
    // Header block of the last loaded configuration file. Its u16 at byte 12 is the variable table
    // size (the base of the message keys), at byte 14 the BA memory size.
    std::array<std::uint8_t, kGeneralParamBytes> configHeader{};
    std::uint16_t baProgram1Page = 0;  // card page of BA program 1, 0 when none
    std::uint16_t baProgram2Page = 0;
    std::shared_ptr<const BaMacroList> baMacros1;
    std::shared_ptr<const BaMacroList> baMacros2;
    std::shared_ptr<const RecordTable> messageTable;   // messageCount MESSAGE4 records
    std::shared_ptr<const RecordTable> variableTable;  // variableCount VARIABLE4 records
    std::uint16_t variableCount = 0;
    std::uint16_t messageCount = 0;
    std::uint32_t messageKeyOffset = 0;  // 1: message keys start 64 higher
    std::uint32_t baFromFile = 0;        // 1: the configuration names a BA program text file
    std::shared_ptr<const std::string> baFilePath;
    // Reference values of the medium error counters: card page 3 words 2 and 3 (A, B) and card
    // page 129 words 3, 4 and 5 (C, D, E).
    std::uint16_t mediumRefA = 0, mediumRefB = 0;
    std::uint16_t mediumRefC = 0, mediumRefD = 0, mediumRefE = 0;
    // Built by the first FIND_VAR_BY_ID (FIND_MSG_BY_ID) after variableTable (messageTable) changed;
    // this context's own (INIT_STORAGE does not copy them), so the owning thread builds them without
    // a lock.
    std::shared_ptr<const VariableIdIndex> variableIdIndex;
    std::shared_ptr<const MessageIdIndex> messageIdIndex;

    bool hasBoard() const { return device != nullptr; }
    std::uint16_t variableTableSize() const {
        return static_cast<std::uint16_t>(configHeader[12] | configHeader[13] << 8);
    }
    std::uint16_t baMemorySize() const {
        return static_cast<std::uint16_t>(configHeader[14] | configHeader[15] << 8);
    }
};

using EngineContextPtr = std::shared_ptr<EngineContext>;

// The calling thread's context, created at the thread's first call; nullptr only when it could not
// be allocated (the thread then has no context, and its calls reach no board).
EngineContext* currentContext();
// The same context as a shared reference, for recording it as the last started context.
EngineContextPtr currentContextShared();

// Process-wide state, each owned here under one lock.
// The context of the thread whose START_FIP_ENGINE last succeeded; never cleared, and kept alive
// beyond its thread's end (zeroed by then). Null while no engine was started in the process.
EngineContextPtr lastStartedContext();
void setLastStartedContext(EngineContextPtr context);

// Changes of a context that another thread may be copying (INIT_STORAGE) are made under this lock.
std::unique_lock<std::mutex> lockContexts();
// Zeroes the context. Its device and blocks are let go after the lock is released: a device that no
// other context shares is closed then (the board is released as when its handle is closed).
void resetContext(EngineContext& context);

// The card page limit of the card memory image, set to 2048 at every START_FIP_ENGINE.
inline constexpr std::uint32_t kDefaultCardPageLimit = 2048;
std::uint32_t cardPageLimit();
void setCardPageLimit(std::uint32_t pages);

}  // namespace corvix
