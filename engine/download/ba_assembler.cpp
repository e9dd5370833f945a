#include "ba_assembler.h"

#include <string>
#include <unordered_map>

#include "ba_tokens.h"
#include "engine_errors.h"
#include "file_reader.h"
#include "win32/windows.h"

namespace corvix::download {
namespace {

constexpr int kSlotsPerPage = 32;

// Program words go into a page buffer that is written out whenever it holds a whole page.
class Assembler {
public:
    Assembler(CardPages& card, int start, int end) : card_(card), page_(start), start_(start), end_(end) {}

    ErrorCode zeroPages() {
        const PageBytes zero{};
        for (int p = start_; p < end_; ++p)
            if (!card_.writePage(static_cast<std::uint16_t>(p), zero)) return kErrBaPageAccess;
        return 0;
    }

    ErrorCode feed(std::string_view token) {
        MacroToken t;
        if (const ErrorCode code = parseMacroToken(token, t)) return code;
        const std::uint16_t x = t.argument;
        switch (t.macro->kind) {
        case MacroKind::IdDat:
            last_ = x;
            return append({0x7030, x, slotAddress(x)});
        case MacroKind::IdMsg:
            last_ = x;
            return append({0x1050, x, 0});
        case MacroKind::Coded:
            last_ = x;
            return append({coded(x, t.macro->code)});
        case MacroKind::NextMacro2:
            return append({coded(last_, t.macro->code)});
        case MacroKind::Suspend:
            last_ = x;
            if (const ErrorCode code = append({coded(x, t.macro->code)})) return code;
            // The next macro starts on a 16-word boundary of the page.
            while (used_ % 16 != 0)
                if (const ErrorCode code = append({0})) return code;
            return 0;
        }
        return kErrBaUnknownMacro;
    }

    ErrorCode closeList() { return append({coded(last_, 2)}); }

    ErrorCode finish(AssembledProgram* out) {
        const long n = static_cast<long>(slots_.size());
        if (64L * page_ + static_cast<long>(used_) >= 64L * end_ - 2 * n) {
            OutputDebugStringA("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 2");
            return kErrBaMemoryTooSmall;
        }
        if (!card_.writePage(static_cast<std::uint16_t>(page_), toBytes(buffer_))) return kErrBaPageAccess;
        const int nextPage = page_ + 1;
        int slotPage = end_ - 1;
        for (long block = 0; block <= n / kSlotsPerPage; ++block) {
            slotPage = end_ - static_cast<int>(block) - 1;
            if (slotPage < nextPage) {
                OutputDebugStringA("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 3");
                return kErrBaMemoryTooSmall;
            }
            PageBytes bytes;
            if (!card_.readPage(static_cast<std::uint16_t>(slotPage), bytes)) return kErrBaPageAccess;
            PageWords words = toWords(bytes);
            for (long k = block * kSlotsPerPage; k < n && k < (block + 1) * kSlotsPerPage; ++k) {
                const long j = k - block * kSlotsPerPage;
                words[62 - 2 * j] = slots_[k];
                words[63 - 2 * j] = 0;
            }
            if (!card_.writePage(static_cast<std::uint16_t>(slotPage), toBytes(words))) return kErrBaPageAccess;
        }
        if (out) *out = {static_cast<std::uint16_t>(nextPage), static_cast<std::uint16_t>(slotPage)};
        return 0;
    }

private:
    static std::uint16_t coded(std::uint16_t x, std::uint16_t code) {
        return static_cast<std::uint16_t>(16 * x + code);
    }

    // The slot of identifier x: its own when it appeared before, else the next free one.
    std::uint16_t slotAddress(std::uint16_t x) {
        auto [it, added] = slotOf_.try_emplace(x, slots_.size());
        if (added) slots_.push_back(x);
        return static_cast<std::uint16_t>(64 * end_ - 2 * (static_cast<long>(it->second) + 1));
    }

    ErrorCode append(std::initializer_list<std::uint16_t> words) {
        for (std::uint16_t w : words) {
            buffer_[used_++] = w;
            if (used_ < kPageWords) continue;
            if (page_ + 1 >= end_) return kErrBaMemoryTooSmall;
            if (!card_.writePage(static_cast<std::uint16_t>(page_), toBytes(buffer_))) return kErrBaPageAccess;
            ++page_;
            used_ = 0;
            buffer_ = {};
        }
        return 0;
    }

    CardPages& card_;
    int page_;
    const int start_;
    const int end_;
    PageWords buffer_{};
    std::size_t used_ = 0;
    std::uint16_t last_ = 0;
    std::vector<std::uint16_t> slots_;
    std::unordered_map<std::uint16_t, std::size_t> slotOf_;
};

}  // namespace

ErrorCode assembleTokens(CardPages& card, const std::vector<std::string_view>& tokens, bool closeList, int start,
                         int end, AssembledProgram* out) {
    Assembler assembler(card, start, end);
    if (const ErrorCode code = assembler.zeroPages()) return code;
    for (std::string_view token : tokens)
        if (const ErrorCode code = assembler.feed(token)) return code;
    if (closeList)
        if (const ErrorCode code = assembler.closeList()) return code;
    return assembler.finish(out);
}

ErrorCode assembleMacroList(CardPages& card, const std::uint8_t* lines, std::uint32_t count, int start, int end,
                            AssembledProgram* out) {
    std::vector<std::string_view> tokens;
    tokens.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) tokens.push_back(firstWordOfLine(lines + kBaLineBytes * i));
    return assembleTokens(card, tokens, true, start, end, out);
}

namespace {

// The program between the words BEGIN and END; `next` gives the text's words one by one.
template <class NextWord>
ErrorCode assembleWords(CardPages& card, NextWord next, int start, int end, AssembledProgram* out) {
    Assembler assembler(card, start, end);
    if (const ErrorCode code = assembler.zeroPages()) return code;
    std::string_view word;
    bool more = next(word);
    while (more && word != "BEGIN") more = next(word);
    if (!more) return kErrBaTextEndsEarly;
    while ((more = next(word)) && word != "END")
        if (const ErrorCode code = assembler.feed(word)) return code;
    if (!more) return kErrBaTextEndsEarly;
    return assembler.finish(out);
}

// The words of a BA text file, read piece by piece: only the word being read is held, whatever
// the file's size.
class FileWords {
public:
    explicit FileWords(InputFile& file) : file_(file) {}
    int peek() {
        if (at_ == size_ && !failed_) {
            std::uint32_t read = 0;
            failed_ = !file_.readSome(chunk_, sizeof chunk_, read);
            size_ = read;
            at_ = 0;
        }
        return at_ < size_ ? static_cast<unsigned char>(chunk_[at_]) : -1;
    }
    void take() { ++at_; }
    bool next(std::string_view& word) {
        if (!skipToWord(*this)) return false;
        word_.clear();
        takeWord(*this, [this](char c) { word_.push_back(c); });
        word = word_;
        return true;
    }
    bool failed() const { return failed_; }

private:
    InputFile& file_;
    char chunk_[4096];
    std::size_t size_ = 0, at_ = 0;
    bool failed_ = false;
    std::string word_;
};

}  // namespace

ErrorCode assembleText(CardPages& card, std::string_view text, int start, int end, AssembledProgram* out) {
    const std::vector<std::string_view> words = splitWords(text);
    auto word = words.begin();
    return assembleWords(
        card,
        [&](std::string_view& next) {
            if (word == words.end()) return false;
            next = *word++;
            return true;
        },
        start, end, out);
}

ErrorCode assembleFile(CardPages& card, const char* path, int start, int end, AssembledProgram* out) {
    InputFile file(path);
    if (!file.isOpen()) return kErrBaTextNotOpened;
    FileWords words(file);
    const ErrorCode code =
        assembleWords(card, [&words](std::string_view& next) { return words.next(next); }, start, end, out);
    // A read that failed part way is the file's failure, whatever the words before it gave.
    return words.failed() ? kErrBaTextNotOpened : code;
}

}  // namespace corvix::download
