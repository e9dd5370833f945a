// Basic kernel types with the platform's names and widths, counted strings, doubly linked lists
// and interlocked operations. Included through wdm.h.
//
// Widths: ULONG and LONG are 32 bits as on the platform. WCHAR is wchar_t so that L"..." literals
// read as they do in a driver; it is 4 bytes wide here, so buffer sizes of wide strings must be
// computed with sizeof, never written as byte counts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io_seam.h"

using UCHAR = std::uint8_t;
using PUCHAR = UCHAR*;
using CHAR = char;
using PCHAR = CHAR*;
using CCHAR = char;
using USHORT = std::uint16_t;
using PUSHORT = USHORT*;
using SHORT = std::int16_t;
using CSHORT = std::int16_t;
using ULONG = std::uint32_t;
using PULONG = ULONG*;
using LONG = std::int32_t;
using PLONG = LONG*;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG64 = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using SIZE_T = std::size_t;
using PSIZE_T = SIZE_T*;
using BOOLEAN = std::uint8_t;
using PBOOLEAN = BOOLEAN*;
using PVOID = void*;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using WCHAR = wchar_t;
using PWCH = WCHAR*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PSTR = char*;
using PCSTR = const char*;
using NTSTATUS = qk::NTSTATUS;
using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
using KPRIORITY = LONG;
using ACCESS_MASK = ULONG;
using KPROCESSOR_MODE = CCHAR;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#ifndef VOID
#define VOID void
#endif

#define NT_SUCCESS(Status) (static_cast<NTSTATUS>(Status) >= 0)
#define NT_INFORMATION(Status) ((static_cast<ULONG>(Status) >> 30) == 1)
#define NT_WARNING(Status) ((static_cast<ULONG>(Status) >> 30) == 2)
#define NT_ERROR(Status) ((static_cast<ULONG>(Status) >> 30) == 3)

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    };
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
using PHYSICAL_ADDRESS = LARGE_INTEGER;
using PPHYSICAL_ADDRESS = LARGE_INTEGER*;

struct GUID {
    ULONG Data1;
    USHORT Data2;
    USHORT Data3;
    UCHAR Data4[8];
};
using LPGUID = GUID*;
using LPCGUID = const GUID*;
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

// ---- memory
#define RtlZeroMemory(Destination, Length) __builtin_memset((Destination), 0, (Length))
#define RtlFillMemory(Destination, Length, Fill) __builtin_memset((Destination), (Fill), (Length))
#define RtlCopyMemory(Destination, Source, Length) __builtin_memcpy((Destination), (Source), (Length))
#define RtlMoveMemory(Destination, Source, Length) __builtin_memmove((Destination), (Source), (Length))
#define RtlEqualMemory(a, b, Length) (__builtin_memcmp((a), (b), (Length)) == 0)

#define CONTAINING_RECORD(address, type, field) \
    (reinterpret_cast<type*>(reinterpret_cast<PCHAR>(address) - offsetof(type, field)))

// ---- doubly linked lists (the head is a LIST_ENTRY linked to itself when empty)
struct LIST_ENTRY {
    LIST_ENTRY* Flink;
    LIST_ENTRY* Blink;
};
using PLIST_ENTRY = LIST_ENTRY*;

inline void InitializeListHead(PLIST_ENTRY head) { head->Flink = head->Blink = head; }
inline BOOLEAN IsListEmpty(const LIST_ENTRY* head) { return head->Flink == head; }
// Returns TRUE when the list is empty afterwards.
inline BOOLEAN RemoveEntryList(PLIST_ENTRY entry) {
    PLIST_ENTRY next = entry->Flink;
    PLIST_ENTRY prev = entry->Blink;
    prev->Flink = next;
    next->Blink = prev;
    return next == prev;
}
inline PLIST_ENTRY RemoveHeadList(PLIST_ENTRY head) {
    PLIST_ENTRY entry = head->Flink;
    RemoveEntryList(entry);
    return entry;
}
inline PLIST_ENTRY RemoveTailList(PLIST_ENTRY head) {
    PLIST_ENTRY entry = head->Blink;
    RemoveEntryList(entry);
    return entry;
}
inline void InsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry) {
    PLIST_ENTRY last = head->Blink;
    entry->Flink = head;
    entry->Blink = last;
    last->Flink = entry;
    head->Blink = entry;
}
inline void InsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry) {
    PLIST_ENTRY first = head->Flink;
    entry->Flink = first;
    entry->Blink = head;
    first->Blink = entry;
    head->Flink = entry;
}

// ---- interlocked operations (full barriers, as on the platform)
inline LONG InterlockedIncrement(LONG volatile* target) { return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* target) { return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedOr(LONG volatile* target, LONG value) { return __atomic_fetch_or(target, value, __ATOMIC_SEQ_CST); }
inline LONG InterlockedAnd(LONG volatile* target, LONG value) {
    return __atomic_fetch_and(target, value, __ATOMIC_SEQ_CST);
}
// Returns the initial value; stores `exchange` only when it equalled `comparand`.
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* target, PVOID exchange, PVOID comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

// ---- counted strings: Length and MaximumLength are byte counts; Buffer need not end with a zero.
struct UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;

#define RTL_CONSTANT_STRING(s) \
    UNICODE_STRING { static_cast<USHORT>(sizeof(s) - sizeof((s)[0])), static_cast<USHORT>(sizeof(s)), const_cast<PWSTR>(s) }
#define DECLARE_CONST_UNICODE_STRING(name, s) const UNICODE_STRING name = RTL_CONSTANT_STRING(s)
#define DECLARE_UNICODE_STRING_SIZE(name, size) \
    WCHAR name##_buffer[size];                  \
    UNICODE_STRING name = {0, static_cast<USHORT>((size) * sizeof(WCHAR)), name##_buffer}

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source);
// Copies as much as fits in destination's MaximumLength; a null source gives an empty string.
void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source);
// STATUS_BUFFER_TOO_SMALL (destination unchanged) when the result does not fit.
NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source);
NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING destination, PCUNICODE_STRING source);
// Writes `value` in base 2, 8, 10 or 16 (0 means 10), zero-terminated when room is left.
NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string);
BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInsensitive);
// Frees a string whose buffer the kernel allocated (IoRegisterDeviceInterface).
void RtlFreeUnicodeString(PUNICODE_STRING string);
