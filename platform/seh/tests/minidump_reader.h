// Reads back the parts of a minidump that the tests check: the stream directory, the system
// information, the threads with their contexts, the exception, the modules and the memory ranges.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace seh_testing {

struct DumpThread {
    std::uint32_t id = 0;
    std::uint64_t stackStart = 0;
    std::uint32_t stackSize = 0;
    std::uint64_t rip = 0, rsp = 0;
    std::uint32_t contextFlags = 0;
};

struct DumpModule {
    std::uint64_t base = 0;
    std::uint32_t size = 0;
    std::string path;
};

struct DumpRange {
    std::uint64_t start = 0;
    std::uint32_t size = 0;
    std::uint32_t rva = 0;
};

struct Dump {
    std::vector<std::uint32_t> streamTypes;
    std::uint16_t architecture = 0;
    std::uint32_t platform = 0;
    std::string release;
    std::uint32_t processId = 0;
    std::vector<DumpThread> threads;
    std::uint32_t exceptionThread = 0, exceptionCode = 0;
    std::uint64_t exceptionAddress = 0;
    std::vector<std::uint64_t> exceptionParameters;
    std::vector<DumpModule> modules;
    std::vector<DumpRange> memory;
    std::vector<unsigned char> bytes;

    bool covers(std::uint64_t address) const {
        for (const DumpRange& range : memory)
            if (address >= range.start && address < range.start + range.size) return true;
        return false;
    }
};

template <class T>
T at(const std::vector<unsigned char>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

inline std::string stringAt(const std::vector<unsigned char>& bytes, std::uint32_t rva) {
    const auto length = at<std::uint32_t>(bytes, rva);
    std::string text;
    for (std::uint32_t i = 0; i < length / 2; ++i) {
        const auto c = at<std::uint16_t>(bytes, rva + 4 + 2 * i);
        text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return text;
}

// The dump, or nothing when the file is not a minidump.
inline std::optional<Dump> readDump(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Dump dump;
    dump.bytes.assign(std::istreambuf_iterator<char>(in), {});
    const auto& b = dump.bytes;
    if (b.size() < 32 || at<std::uint32_t>(b, 0) != 0x504D444D) return std::nullopt;
    const auto count = at<std::uint32_t>(b, 8);
    const auto directory = at<std::uint32_t>(b, 12);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = directory + 12 * i;
        const auto type = at<std::uint32_t>(b, entry);
        const auto rva = at<std::uint32_t>(b, entry + 8);
        dump.streamTypes.push_back(type);
        switch (type) {
        case 7:  // system information
            dump.architecture = at<std::uint16_t>(b, rva);
            dump.platform = at<std::uint32_t>(b, rva + 20);
            dump.release = stringAt(b, at<std::uint32_t>(b, rva + 24));
            break;
        case 15: dump.processId = at<std::uint32_t>(b, rva + 8); break;
        case 3:  // thread list
            for (std::uint32_t t = 0; t < at<std::uint32_t>(b, rva); ++t) {
                const std::size_t thread = rva + 4 + 48 * t;
                DumpThread d;
                d.id = at<std::uint32_t>(b, thread);
                d.stackStart = at<std::uint64_t>(b, thread + 24);
                d.stackSize = at<std::uint32_t>(b, thread + 32);
                const auto context = at<std::uint32_t>(b, thread + 44);
                d.contextFlags = at<std::uint32_t>(b, context + 0x30);
                d.rsp = at<std::uint64_t>(b, context + 0x98);
                d.rip = at<std::uint64_t>(b, context + 0xF8);
                dump.threads.push_back(d);
            }
            break;
        case 6:  // exception
            dump.exceptionThread = at<std::uint32_t>(b, rva);
            dump.exceptionCode = at<std::uint32_t>(b, rva + 8);
            dump.exceptionAddress = at<std::uint64_t>(b, rva + 24);
            for (std::uint32_t p = 0; p < at<std::uint32_t>(b, rva + 32); ++p)
                dump.exceptionParameters.push_back(at<std::uint64_t>(b, rva + 40 + 8 * p));
            break;
        case 4:  // modules
            for (std::uint32_t m = 0; m < at<std::uint32_t>(b, rva); ++m) {
                const std::size_t module = rva + 4 + 108 * m;
                dump.modules.push_back({at<std::uint64_t>(b, module), at<std::uint32_t>(b, module + 8),
                                        stringAt(b, at<std::uint32_t>(b, module + 20))});
            }
            break;
        case 5:  // memory
            for (std::uint32_t m = 0; m < at<std::uint32_t>(b, rva); ++m) {
                const std::size_t range = rva + 4 + 16 * m;
                dump.memory.push_back({at<std::uint64_t>(b, range), at<std::uint32_t>(b, range + 8),
                                       at<std::uint32_t>(b, range + 12)});
            }
            break;
        default: break;
        }
    }
    return dump;
}

}  // namespace seh_testing
