// Run-time helpers: counted strings, pool, DbgPrint, and the kernel's name conversions.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "kernel_internal.h"

namespace qk::kernel {

std::string narrow(const WCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) out.push_back(text[i] >= 0 && text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
    return out;
}

std::string narrow(PCUNICODE_STRING text) {
    if (text == nullptr || text->Buffer == nullptr) return {};
    return narrow(text->Buffer, text->Length / sizeof(WCHAR));
}

std::wstring widen(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text) out.push_back(static_cast<WCHAR>(c));
    return out;
}

std::wstring wide(PCUNICODE_STRING text) {
    if (text == nullptr || text->Buffer == nullptr) return {};
    return std::wstring(text->Buffer, text->Length / sizeof(WCHAR));
}

std::wstring foldCase(std::wstring text) {
    for (WCHAR& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<WCHAR>(c - L'a' + L'A');
    return text;
}

}  // namespace qk::kernel

namespace {

constexpr std::size_t maxStringBytes = 0xFFFE;

WCHAR folded(WCHAR c) { return c >= L'a' && c <= L'z' ? static_cast<WCHAR>(c - L'a' + L'A') : c; }

NTSTATUS append(PUNICODE_STRING destination, const WCHAR* source, std::size_t bytes) {
    if (bytes == 0) return STATUS_SUCCESS;
    if (std::size_t{destination->Length} + bytes > destination->MaximumLength) return STATUS_BUFFER_TOO_SMALL;
    std::memmove(reinterpret_cast<char*>(destination->Buffer) + destination->Length, source, bytes);
    destination->Length = static_cast<USHORT>(destination->Length + bytes);
    if (std::size_t{destination->Length} + sizeof(WCHAR) <= destination->MaximumLength)
        destination->Buffer[destination->Length / sizeof(WCHAR)] = L'\0';
    return STATUS_SUCCESS;
}

// DbgPrint's formatter: printf conventions, with the platform's wide-string conversions (%ws,
// %S and %wZ) and its 64-bit prefix (%I64x) turned into what the C library understands. Each
// conversion is formatted on its own, so an unknown one is copied and consumes no argument.
std::string formatTrace(const char* format, va_list args) {
    std::string out;
    for (const char* p = format; *p != '\0';) {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out.push_back('%');
            ++p;
            continue;
        }
        std::string fmt = "%";
        while (*p && std::strchr("-+ #0", *p)) fmt.push_back(*p++);
        while (*p >= '0' && *p <= '9') fmt.push_back(*p++);
        if (*p == '.') {
            fmt.push_back(*p++);
            while (*p >= '0' && *p <= '9') fmt.push_back(*p++);
        }
        bool wideString = false, counted = false, is64 = false;
        std::string length;
        if (p[0] == 'w' && (p[1] == 's' || p[1] == 'Z')) {
            wideString = true;
            counted = p[1] == 'Z';
            p += 2;
        } else if (*p == 'S') {
            wideString = true;
            ++p;
        } else {
            if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
                is64 = true;
                p += 3;
            }
            while (*p && std::strchr("hlLjzt", *p)) length.push_back(*p++);
            if (*p == '\0') {
                out.append(start);
                break;
            }
        }
        char buffer[512];
        if (wideString) {
            std::string text;
            if (counted) {
                text = qk::kernel::narrow(va_arg(args, PCUNICODE_STRING));
            } else if (const WCHAR* w = va_arg(args, const WCHAR*)) {
                text = qk::kernel::narrow(w, std::wcslen(w));
            } else {
                text = "(null)";
            }
            std::snprintf(buffer, sizeof buffer, (fmt + "s").c_str(), text.c_str());
            out.append(buffer);
            continue;
        }
        const char conversion = *p++;
        // "l" is 32 bits on the platform, as ULONG is.
        const bool longLong = is64 || length == "ll" || length == "j" || length == "z" || length == "t";
        fmt += longLong ? std::string("ll") : (length == "h" || length == "hh" ? length : std::string());
        fmt.push_back(conversion);
        switch (conversion) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c':
            if (longLong)
                std::snprintf(buffer, sizeof buffer, fmt.c_str(), va_arg(args, long long));
            else
                std::snprintf(buffer, sizeof buffer, fmt.c_str(), va_arg(args, int));
            break;
        case 'p':
            std::snprintf(buffer, sizeof buffer, "%p", va_arg(args, void*));
            break;
        case 's': {
            const char* s = va_arg(args, const char*);
            std::snprintf(buffer, sizeof buffer, fmt.c_str(), s ? s : "(null)");
            break;
        }
        case 'f': case 'e': case 'g': case 'F': case 'E': case 'G':
            std::snprintf(buffer, sizeof buffer, fmt.c_str(), va_arg(args, double));
            break;
        default:  // not a conversion: keep the text, take no argument
            out.append(start, p);
            continue;
        }
        out.append(buffer);
    }
    return out;
}

}  // namespace

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
    destination->Buffer = const_cast<PWSTR>(source);
    if (source == nullptr) {
        destination->Length = destination->MaximumLength = 0;
        return;
    }
    std::size_t bytes = std::wcslen(source) * sizeof(WCHAR);
    if (bytes > maxStringBytes - sizeof(WCHAR)) bytes = maxStringBytes - sizeof(WCHAR);
    destination->Length = static_cast<USHORT>(bytes);
    destination->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
}

void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source) {
    if (source == nullptr || source->Buffer == nullptr) {
        destination->Length = 0;
        return;
    }
    const USHORT bytes = source->Length < destination->MaximumLength ? source->Length : destination->MaximumLength;
    std::memmove(destination->Buffer, source->Buffer, bytes);
    destination->Length = bytes;
    if (std::size_t{bytes} + sizeof(WCHAR) <= destination->MaximumLength) destination->Buffer[bytes / sizeof(WCHAR)] = L'\0';
}

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source) {
    if (source == nullptr) return STATUS_SUCCESS;
    return append(destination, source, std::wcslen(source) * sizeof(WCHAR));
}

NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING destination, PCUNICODE_STRING source) {
    if (source == nullptr || source->Buffer == nullptr) return STATUS_SUCCESS;
    return append(destination, source->Buffer, source->Length);
}

NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string) {
    if (base == 0) base = 10;
    if (base != 2 && base != 8 && base != 10 && base != 16) return STATUS_INVALID_PARAMETER;
    WCHAR digits[33];
    int n = 0;
    do {
        digits[n++] = L"0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    if (std::size_t(n) * sizeof(WCHAR) > string->MaximumLength) return STATUS_BUFFER_OVERFLOW;
    for (int i = 0; i < n; ++i) string->Buffer[i] = digits[n - 1 - i];
    string->Length = static_cast<USHORT>(n * sizeof(WCHAR));
    if (std::size_t(n + 1) * sizeof(WCHAR) <= string->MaximumLength) string->Buffer[n] = L'\0';
    return STATUS_SUCCESS;
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInsensitive) {
    if (a->Length != b->Length) return FALSE;
    for (std::size_t i = 0; i < a->Length / sizeof(WCHAR); ++i) {
        const WCHAR x = caseInsensitive ? folded(a->Buffer[i]) : a->Buffer[i];
        const WCHAR y = caseInsensitive ? folded(b->Buffer[i]) : b->Buffer[i];
        if (x != y) return FALSE;
    }
    return TRUE;
}

void RtlFreeUnicodeString(PUNICODE_STRING string) {
    ExFreePool(string->Buffer);
    string->Buffer = nullptr;
    string->Length = string->MaximumLength = 0;
}

PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T numberOfBytes, ULONG) {
    if (type == PagedPool) qk::requireIrqlAtMost(APC_LEVEL, __func__);
    return std::malloc(numberOfBytes == 0 ? 1 : numberOfBytes);
}

PVOID ExAllocatePool(POOL_TYPE type, SIZE_T numberOfBytes) { return ExAllocatePoolWithTag(type, numberOfBytes, 0); }

void ExFreePool(PVOID p) { std::free(p); }

void ExFreePoolWithTag(PVOID p, ULONG) { std::free(p); }

ULONG DbgPrint(PCSTR format, ...) {
    if (format == nullptr) return STATUS_SUCCESS;
    va_list args;
    va_start(args, format);
    const std::string text = formatTrace(format, args);  // formatted so that a bad trace shows here
    va_end(args);
    static_cast<void>(text);
    return STATUS_SUCCESS;
}
