// The mapping list and the modules of the process, read from /proc/self/maps a buffer at a time.
// A module is an ELF image mapped from a file: its mapping at file offset 0 starts with the ELF
// signature; the module runs to the end of the last mapping of the same file that follows.
#include <fcntl.h>
#include <sys/syscall.h>

#include <cstring>

#include "seh/seh_internal.h"

namespace seh::detail {
namespace {

const char* skipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// A hexadecimal or decimal field; false when no digit is there.
bool number(const char*& p, unsigned base, std::uint64_t& value) {
    value = 0;
    const char* start = p;
    for (;; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9') digit = static_cast<unsigned>(*p - '0');
        else if (base == 16 && *p >= 'a' && *p <= 'f') digit = static_cast<unsigned>(*p - 'a' + 10);
        else if (base == 16 && *p >= 'A' && *p <= 'F') digit = static_cast<unsigned>(*p - 'A' + 10);
        else break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return p != start;
}

// "start-end perms offset major:minor inode   path"
bool parse(const char* line, Mapping& mapping) {
    const char* p = line;
    std::uint64_t start, end, offset, major, minor, inode;
    if (!number(p, 16, start) || *p++ != '-' || !number(p, 16, end)) return false;
    p = skipBlanks(p);
    if (std::strlen(p) < 4) return false;
    mapping.readable = p[0] == 'r';
    p = skipBlanks(p + 4);
    if (!number(p, 16, offset)) return false;
    p = skipBlanks(p);
    if (!number(p, 16, major) || *p++ != ':' || !number(p, 16, minor)) return false;
    p = skipBlanks(p);
    if (!number(p, 10, inode)) return false;
    p = skipBlanks(p);
    mapping.start = static_cast<std::uintptr_t>(start);
    mapping.end = static_cast<std::uintptr_t>(end);
    mapping.offset = offset;
    mapping.device = static_cast<unsigned long>((major << 20) | minor);
    mapping.inode = inode;
    copy(mapping.path, sizeof mapping.path, p);
    return true;
}

bool sameFile(const Mapping& a, const Mapping& b) {
    return a.inode == b.inode && a.device == b.device && std::strcmp(a.path, b.path) == 0;
}

bool isElfImage(const Mapping& mapping) {
    if (mapping.offset != 0 || mapping.path[0] != '/' || mapping.inode == 0 || !mapping.readable) return false;
    char magic[4];
    SIZE_T read = 0;
    return ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(mapping.start), magic, sizeof magic,
                             &read) &&
           std::memcmp(magic, "\x7f" "ELF", 4) == 0;
}

}  // namespace

MappingReader::MappingReader() : fd_(openFile("/proc/self/maps", O_RDONLY)) {}

MappingReader::~MappingReader() { closeFile(fd_); }

bool MappingReader::nextLine(char*& line) {
    for (;;) {
        for (std::size_t i = begin_; i < end_; ++i) {
            if (buffer_[i] == '\n') {
                buffer_[i] = '\0';
                line = buffer_ + begin_;
                begin_ = i + 1;
                return true;
            }
        }
        if (eof_ || fd_ < 0) {
            if (begin_ >= end_) return false;
            // A last line without its line feed.
            buffer_[end_ < sizeof buffer_ ? end_ : sizeof buffer_ - 1] = '\0';
            line = buffer_ + begin_;
            begin_ = end_;
            return true;
        }
        // Keep the partial line and fill up behind it.
        const std::size_t kept = end_ - begin_;
        std::memmove(buffer_, buffer_ + begin_, kept);
        begin_ = 0;
        end_ = kept;
        if (end_ == sizeof buffer_ - 1) {
            // A line longer than the buffer: cut it here; the rest is read as the next line.
            buffer_[end_] = '\0';
            line = buffer_;
            begin_ = end_ = 0;
            return true;
        }
        const long got = readFile(fd_, buffer_ + end_, sizeof buffer_ - 1 - end_);
        if (got <= 0) eof_ = true;
        else end_ += static_cast<std::size_t>(got);
    }
}

bool MappingReader::next(Mapping& mapping) {
    char* line = nullptr;
    while (nextLine(line)) {
        if (parse(line, mapping)) return true;
    }
    return false;
}

bool nextModule(ModuleWalk& walk, MODULEENTRY32& entry) {
    Mapping& current = walk.pending;
    for (;;) {
        if (!walk.hasPending && !walk.reader.next(current)) return false;
        walk.hasPending = false;
        if (!isElfImage(current)) continue;
        const std::uintptr_t base = current.start;
        std::uintptr_t end = current.end;
        copy(entry.szExePath, sizeof entry.szExePath, current.path);
        // The mappings of the same file that follow belong to the image.
        Mapping following;
        while (walk.reader.next(following)) {
            if (!sameFile(following, current) || following.offset == 0) {
                current = following;
                walk.hasPending = true;
                break;
            }
            end = following.end;
        }
        const char* name = entry.szExePath;
        for (const char* p = entry.szExePath; *p; ++p)
            if (*p == '/') name = p + 1;
        copy(entry.szModule, sizeof entry.szModule, name);
        entry.modBaseAddr = reinterpret_cast<BYTE*>(base);
        const std::uintptr_t size = end - base;
        entry.modBaseSize = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
        entry.hModule = reinterpret_cast<HMODULE>(base);
        entry.th32ModuleID = 1;
        entry.th32ProcessID = static_cast<DWORD>(sys(SYS_getpid));
        return true;
    }
}

bool findMapping(std::uintptr_t address, Mapping& mapping) {
    MappingReader reader;
    while (reader.next(mapping)) {
        if (address >= mapping.start && address < mapping.end) return true;
    }
    return false;
}

}  // namespace seh::detail
