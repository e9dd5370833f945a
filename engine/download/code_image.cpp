#include "code_image.h"

#include <algorithm>
#include <cstring>

#include "engine_errors.h"
#include "file_reader.h"
#include "record_bytes.h"
#include "win32/windows.h"

namespace corvix::download {
namespace {

constexpr std::size_t kBlockBytes = 2 + kPageBytes;
constexpr const char* kImageName = "kernala.dat";

}  // namespace

bool parseCodeImage(std::string_view file, std::vector<CodeBlock>& blocks) {
    blocks.clear();
    if (file.size() < 2) return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
    const std::size_t count = u16At(bytes, 0);
    // Bytes after the counted blocks are not read.
    if (file.size() < 2 + count * kBlockBytes) return false;
    blocks.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* block = bytes + 2 + i * kBlockBytes;
        blocks[i].page = static_cast<std::uint16_t>(u16At(block, 0) >> 7);
        std::copy_n(block + 2, kPageBytes, blocks[i].bytes.begin());
    }
    return true;
}

std::string codeImagePath() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Corvix", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return kImageName;
    char folder[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH;  // one byte kept for the terminating zero
    const LSTATUS status = RegQueryValueExA(key, "Dllpath", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return kImageName;
    return std::string(folder, strnlen(folder, MAX_PATH)) + "\\" + kImageName;
}

namespace {

// The count and exactly the blocks it counts: the bytes read are bounded by the largest image
// (2 + 65535 x 130), whatever the file's size, and bytes after the blocks are never read.
bool readCodeImage(const char* path, std::string& file) {
    InputFile in(path);
    std::uint8_t count[2] = {};
    if (!in.isOpen() || !in.readExactly(count, sizeof count)) return false;
    const std::size_t blocks = u16At(count, 0);
    file.assign(2 + blocks * kBlockBytes, '\0');
    std::copy_n(count, sizeof count, file.begin());
    return in.readExactly(file.data() + 2, static_cast<std::uint32_t>(blocks * kBlockBytes)) && in.close();
}

}  // namespace

ErrorCode downloadCodeImage(CardPages& card, const char* path) {
    std::string file;
    std::vector<CodeBlock> blocks;
    if (!readCodeImage(path, file) || !parseCodeImage(file, blocks)) return kErrCodeImageNotOpened;
    for (const CodeBlock& block : blocks) {
        if (!card.writePage(block.page, block.bytes)) return kErrCodeImageWrite;
        PageBytes back;
        if (!card.readPage(block.page, back)) return kErrCodeImageReadBack;
        if (back != block.bytes) return kErrCodeImageDiffers;
    }
    return 0;
}

}  // namespace corvix::download
