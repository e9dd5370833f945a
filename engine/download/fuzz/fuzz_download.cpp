// libFuzzer harness for the download's readers of outside bytes. The first byte picks the reader:
// 0 a configuration file, loaded and then written as a card memory image with its BA programs;
// 1 a card code image, decoded and read from its file; 2 a BA program text, in memory and read
// from its file; 3 configuration macro lines. Every reader must end with a code, never read or
// write outside its blocks, and never write at or above the page limit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "download/ba_assembler.h"
#include "download/ba_programs.h"
#include "download/card_image.h"
#include "download/code_image.h"
#include "download/config_loader.h"

namespace {

using namespace corvix::download;

constexpr int kPageLimit = 2048;

class FuzzCard : public CardPages {
public:
    bool readPage(std::uint16_t page, PageBytes& bytes) override {
        if (page >= memory_.size()) return false;
        bytes = memory_[page];
        return true;
    }
    bool writePage(std::uint16_t page, const PageBytes& bytes) override {
        if (page >= memory_.size()) return false;
        memory_[page] = bytes;
        return true;
    }
    corvix::ErrorCode reset() override { return 0; }

private:
    std::vector<PageBytes> memory_ = std::vector<PageBytes>(kPageLimit);
};

// A card that aborts on a write at or above the limit: the image must check before it writes.
class LimitedCard : public FuzzCard {
public:
    bool writePage(std::uint16_t page, const PageBytes& bytes) override {
        if (page >= kPageLimit) std::abort();
        return FuzzCard::writePage(page, bytes);
    }
};

const std::string& scratchFile() {
    // In memory where the system offers it: rewriting a file on the disk costs milliseconds.
    static const std::string path =
        (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string()) +
        "/fuzz_download_" + std::to_string(getpid());
    return path;
}

void writeScratch(const std::uint8_t* data, std::size_t size) {
    if (FILE* f = std::fopen(scratchFile().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

void check(bool condition) {
    if (!condition) std::abort();
}

void configurationFile(const std::uint8_t* data, std::size_t size) {
    writeScratch(data, size);
    LoadedConfiguration loaded;
    if (loadConfiguration(scratchFile().c_str(), loaded) != 0) return;
    LimitedCard card;
    ImageInput input;
    input.header = loaded.header.data();
    input.variables = loaded.variables.data();
    input.variableCount = loaded.variableCount;
    input.messages = loaded.messages.data();
    input.messageCount = loaded.messageCount;
    input.pageLimit = kPageLimit;
    input.placeBaPrograms = [&] {
        BaProgramPages pages;
        return placeBaPrograms(card, nullptr, {loaded.list1.data(), loaded.list1Count},
                               {loaded.list2.data(), loaded.list2Count}, pages);
    };
    ImageResult result;
    writeCardImage(card, input, result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t* body = data + 1;
    const std::size_t length = size - 1;
    FuzzCard card;
    switch (data[0] % 4) {
    case 0:
        configurationFile(body, length);
        break;
    case 1: {
        // The image read from its file takes what the bytes decode to: its counted blocks only.
        std::vector<CodeBlock> blocks;
        const bool decoded = parseCodeImage({reinterpret_cast<const char*>(body), length}, blocks);
        writeScratch(body, length);
        check((downloadCodeImage(card, scratchFile().c_str()) == 0) == decoded);
        break;
    }
    case 2: {
        // The text read from its file, piece by piece, assembles as the same text in memory.
        const corvix::ErrorCode fromText =
            assembleText(card, {reinterpret_cast<const char*>(body), length}, kBaFirstPage, 170);
        writeScratch(body, length);
        FuzzCard other;
        check(assembleFile(other, scratchFile().c_str(), kBaFirstPage, 170) == fromText);
        break;
    }
    case 3: {
        const std::vector<std::uint8_t> lines(body, body + length - length % 15);
        assembleMacroList(card, lines.data(), static_cast<std::uint32_t>(lines.size() / 15), kBaFirstPage, 170);
        break;
    }
    }
    return 0;
}
