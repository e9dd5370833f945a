#include "config_loader.h"

#include <cstring>
#include <new>

#include "engine_errors.h"
#include "file_reader.h"
#include "record_bytes.h"
#include "records/format3.h"

namespace corvix::download {
namespace {

constexpr std::size_t kMagicBytes = 11;
constexpr char kMagic3[kMagicBytes] = "VERAM 3.00";
constexpr char kMagic4[kMagicBytes] = "VERAM 4.00";
constexpr std::size_t kBaParam3Bytes = 128, kBaParam4Bytes = 262;
constexpr std::size_t kLineBytes = 15;

template <class Old, class New>
void widen(const std::uint8_t* from, std::uint8_t* to) {
    Old old;
    records::decode(std::span<const std::uint8_t, Old::size>(from, Old::size), old);
    records::encode(records::widen_for_download(old), std::span<std::uint8_t, New::size>(to, New::size));
}

class Reader {
public:
    explicit Reader(InputFile& file) : file_(file) {}

    bool bytes(void* buffer, std::size_t size) {
        return size == 0 || file_.readExactly(buffer, static_cast<std::uint32_t>(size));
    }
    bool u16(std::uint16_t& value) {
        std::uint8_t b[2];
        if (!bytes(b, 2)) return false;
        value = u16At(b, 0);
        return true;
    }
    // A u16 count and that many records; older records are read one by one and widened.
    bool records(std::uint16_t& count, std::vector<std::uint8_t>& table, std::size_t recordBytes,
                 std::size_t oldBytes, void (*widen)(const std::uint8_t*, std::uint8_t*)) {
        if (!u16(count)) return false;
        table.assign(count * recordBytes, 0);
        if (!widen) return bytes(table.data(), table.size());
        std::vector<std::uint8_t> old(oldBytes);
        for (std::size_t i = 0; i < count; ++i) {
            if (!bytes(old.data(), oldBytes)) return false;
            widen(old.data(), table.data() + i * recordBytes);
        }
        return true;
    }

private:
    InputFile& file_;
};

ErrorCode readSections(InputFile& file, LoadedConfiguration& out) {
    Reader read(file);
    char magic[kMagicBytes];
    if (!read.bytes(magic, kMagicBytes)) return kErrConfigFileRead;
    const bool format3 = std::memcmp(magic, kMagic3, kMagicBytes) == 0;
    if (!format3 && std::memcmp(magic, kMagic4, kMagicBytes) != 0) return kErrConfigFileMagic;

    std::vector<std::uint8_t> baParam(format3 ? kBaParam3Bytes : kBaParam4Bytes);
    if (!read.bytes(baParam.data(), baParam.size())) return kErrConfigFileRead;
    if (baParam[0] == 1) {
        const std::size_t room = baParam.size() - 1;
        const std::size_t length = strnlen(reinterpret_cast<const char*>(baParam.data() + 1), room);
        if (length == 0 || length >= room) return kErrBaFilePath;
        out.baFromFile = true;
        out.baPath.assign(room, '\0');
        std::memcpy(out.baPath.data(), baParam.data() + 1, length);
    }

    for (auto [count, lines] : {std::pair{&out.list1Count, &out.list1}, std::pair{&out.list2Count, &out.list2}}) {
        std::uint16_t n = 0;
        if (!read.u16(n)) return kErrConfigFileRead;
        *count = n;
        lines->assign(n * kLineBytes, 0);
        if (!read.bytes(lines->data(), lines->size())) return kErrConfigFileRead;
    }

    if (!read.records(out.messageCount, out.messages, kMessageBytes, records::MESSAGE3::size,
                      format3 ? widen<records::MESSAGE3, records::MESSAGE4> : nullptr))
        return kErrConfigFileRead;
    if (!read.bytes(out.header.data(), out.header.size())) return kErrConfigFileRead;
    if (!read.records(out.variableCount, out.variables, kVariableBytes, records::VARIABLE3::size,
                      format3 ? widen<records::VARIABLE3, records::VARIABLE4> : nullptr))
        return kErrConfigFileRead;
    return 0;
}

}  // namespace

ErrorCode loadConfiguration(const char* path, LoadedConfiguration& out) {
    out = {};
    InputFile file(path);
    if (!file.isOpen()) return kErrConfigFileNotOpened;
    ErrorCode result = 0;
    try {
        result = readSections(file, out);
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!file.close()) result = kErrConfigFileNotClosed;
    return result;
}

}  // namespace corvix::download
