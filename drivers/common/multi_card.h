// The multi-board registry values that both board drivers publish for the engine, under the
// service key's "\Parameters": Active_Cards (DWORD), Active_Index (9 bytes), Used_Cards (DWORD)
// and Used_Index (9 bytes). The driver keeps the tables and counts in memory and rewrites the
// values from them. Every call takes one driver-wide blocking lock and needs PASSIVE_LEVEL, so
// that updates from different boards never interleave their table change and registry writes.
#pragma once

#include <array>
#include <string>

#include "kernel/wdm.h"

namespace multicard {

inline constexpr ULONG kMaxCards = 9;

enum class Op : ULONG { add = 0, remove = 1, used = 2, unused = 3 };

class MultiCardInformation {
public:
    MultiCardInformation();
    MultiCardInformation(const MultiCardInformation&) = delete;
    MultiCardInformation& operator=(const MultiCardInformation&) = delete;

    // The service key path as passed at driver entry plus "\Parameters".
    // STATUS_INSUFFICIENT_RESOURCES when the path cannot be held.
    NTSTATUS setParametersPath(PCUNICODE_STRING serviceKeyPath);
    void forgetPath();

    // ResetMultiCardInformation: clears both tables and counts, creates the key when missing and
    // writes the four values in order, stopping at the first failure. No path: invalid parameter.
    NTSTATUS reset();
    // UpdateMultiCardInformation: add/remove change Active_*, used/unused change Used_*; a byte
    // already in the wanted state and any other op succeed without writing.
    //
    // A refused registry write is traced and returned, and the registry keeps the pair of values
    // it had before (a count is never left beside the index table of another state). The table in
    // memory keeps the change: it records the devices that exist, so an index is neither lost nor
    // handed out twice, and the next write of that table publishes the whole of it.
    NTSTATUS update(ULONG index, ULONG op);
    NTSTATUS update(ULONG index, Op op) { return update(index, static_cast<ULONG>(op)); }

    // GetFreeDeviceID: the first index whose Active_Index byte is 0 while fewer than 9 devices
    // are present; otherwise STATUS_NO_MORE_ENTRIES.
    NTSTATUS freeIndex(ULONG* index);
    // Takes a free index and marks it present (update add) in one step, so that no two adds take
    // the same index. STATUS_NO_MORE_ENTRIES when none is free (STATUS_INVALID_PARAMETER without a
    // path); otherwise the index is taken and *written receives the status of the registry writes.
    NTSTATUS claimFreeIndex(ULONG* index, NTSTATUS* written);

    ULONG activeCount();
    ULONG usedCount();

private:
    struct Table {
        std::array<UCHAR, kMaxCards> bytes{};
        ULONG count = 0;
        PCWSTR countName;
        PCWSTR indexName;
        ULONG published = 0;  // the count of the pair the registry holds
    };
    NTSTATUS write(Table& table);
    NTSTATUS change(Table& table, ULONG index, UCHAR value);
    NTSTATUS freeIndexLocked(ULONG* index);

    KMUTEX lock_;
    std::wstring path_;
    Table active_{{}, 0, L"Active_Cards", L"Active_Index", 0};
    Table used_{{}, 0, L"Used_Cards", L"Used_Index", 0};
};

}  // namespace multicard
