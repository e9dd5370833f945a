// An in-memory card for the download tests: pages of card memory with injectable faults.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "download/card_image.h"
#include "download/card_pages.h"
#include "download/record_bytes.h"

namespace corvix::download::testing {

class MemoryCard : public CardPages {
public:
    explicit MemoryCard(std::size_t pages = 4096) : memory(pages) {}

    bool readPage(std::uint16_t page, PageBytes& bytes) override {
        if (page >= memory.size() || failReadAt.count(page)) return false;
        bytes = memory[page];
        if (corruptReadAt.count(page)) bytes[corruptByte] ^= 0x01;
        return true;
    }
    bool writePage(std::uint16_t page, const PageBytes& bytes) override {
        if (page >= memory.size() || failWriteAt.count(page)) return false;
        memory[page] = bytes;
        writes.push_back(page);
        return true;
    }
    ErrorCode reset() override {
        ++resets;
        return resetResult;
    }

    PageWords words(int page) const { return toWords(memory.at(page)); }
    std::uint16_t word(int page, int index) const { return words(page)[index]; }
    // Word w of card memory counted from word address 0.
    std::uint16_t wordAt(long address) const { return word(static_cast<int>(address / 64), address % 64); }

    std::vector<PageBytes> memory;
    std::vector<std::uint16_t> writes;
    std::set<int> failWriteAt, failReadAt, corruptReadAt;
    int corruptByte = 0;
    int resets = 0;
    ErrorCode resetResult = 0;
};

// A configuration built field by field, in the records' byte layout.
struct ConfigBuilder {
    std::array<std::uint8_t, kGeneralParamBytes> header{};
    std::vector<std::uint8_t> variables, messages;

    static void put16(std::uint8_t* p, int offset, int value) {
        p[offset] = static_cast<std::uint8_t>(value);
        p[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    ConfigBuilder& set16(int offset, int value) {
        put16(header.data(), offset, value);
        return *this;
    }
    ConfigBuilder& set8(int offset, int value) {
        header[offset] = static_cast<std::uint8_t>(value);
        return *this;
    }
    // Returns the new variable's record for further fields.
    std::uint8_t* addVariable(int identifier, int length = 4, int direction = 0) {
        variables.resize(variables.size() + kVariableBytes, 0);
        std::uint8_t* v = variables.data() + variables.size() - kVariableBytes;
        put16(v, 0, identifier);
        put16(v, 70, length);
        put16(v, 72, -1);
        v[112] = static_cast<std::uint8_t>(direction);
        return v;
    }
    std::uint8_t* addMessage(bool transmitted) {
        messages.resize(messages.size() + kMessageBytes, 0);
        std::uint8_t* m = messages.data() + messages.size() - kMessageBytes;
        m[78] = transmitted ? 1 : 0;
        return m;
    }
    std::uint8_t* variable(int i) { return variables.data() + kVariableBytes * i; }
    std::uint16_t variableCount() const { return static_cast<std::uint16_t>(variables.size() / kVariableBytes); }
    std::uint16_t messageCount() const { return static_cast<std::uint16_t>(messages.size() / kMessageBytes); }

    ImageInput input(int pageLimit = 2048) {
        ImageInput in;
        in.header = header.data();
        in.variables = variables.data();
        in.variableCount = variableCount();
        in.messages = messages.data();
        in.messageCount = messageCount();
        in.pageLimit = pageLimit;
        return in;
    }
};

}  // namespace corvix::download::testing
