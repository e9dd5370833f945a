#include "card_image.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "card_layout.h"
#include "engine_errors.h"
#include "ba_programs.h"
#include "record_bytes.h"

namespace corvix::download {
namespace {

constexpr int kMaxVariableTableSize = 4096;  // exclusive
constexpr std::uint16_t kMarkerWord = 2;

class ImageWriter {
public:
    ImageWriter(CardPages& card, int limit) : card_(card), limit_(limit) {}

    ErrorCode write(int page, const PageWords& words) {
        if (page < 0 || page >= limit_) return kErrCardImageTooLarge;
        return card_.writePage(static_cast<std::uint16_t>(page), toBytes(words)) ? 0 : kErrBaPageAccess;
    }

    // Consecutive pages of descriptors from `firstPage`, four descriptors of 16 words per page.
    ErrorCode writeDescriptors(int firstPage, const std::uint16_t* words, int pages) {
        for (int n = 0; n < pages; ++n) {
            PageWords page;
            std::copy_n(words + static_cast<std::size_t>(n) * kPageWords, kPageWords, page.begin());
            if (const ErrorCode code = write(firstPage + n, page)) return code;
        }
        return 0;
    }

private:
    CardPages& card_;
    const int limit_;
};

}  // namespace

void sortVariablesById(std::uint8_t* variables, std::uint16_t count) {
    std::vector<std::uint16_t> order(count);
    std::iota(order.begin(), order.end(), std::uint16_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::uint16_t a, std::uint16_t b) {
        return u16At(variables + kVariableBytes * a, 0) < u16At(variables + kVariableBytes * b, 0);
    });
    std::vector<std::uint8_t> sorted(static_cast<std::size_t>(count) * kVariableBytes);
    for (std::size_t i = 0; i < count; ++i)
        std::copy_n(variables + kVariableBytes * order[i], kVariableBytes, sorted.data() + kVariableBytes * i);
    std::copy(sorted.begin(), sorted.end(), variables);
}

ErrorCode writeCardImage(CardPages& card, const ImageInput& input, ImageResult& result) {
    result = {};
    const Configuration config{input.header, input.variables, input.variableCount, input.messages,
                               input.messageCount};
    const int t = variableTableSize(input.header);
    if (t >= kMaxVariableTableSize || input.variableCount > t) return kErrVariableTableTooLarge;
    if (transmittedMessageCount(config) > messageTableSize(input.header)) return kErrCardImageTooLarge;

    ImageWriter writer(card, input.pageLimit);
    const PageWords header = headerPageWords(input.header);
    if (const ErrorCode code = writer.write(kHeaderPage, header)) {
        if (code != kErrBaPageAccess) return code;
        const ErrorCode reset = card.reset();
        return reset ? reset : kErrBaPageAccess;
    }

    if (grantsBaMemory(input.header) && input.placeBaPrograms)
        if (const ErrorCode code = input.placeBaPrograms()) return code;

    const int markerPage = header[11];
    if (input.variableCount >= 1) {
        sortVariablesById(input.variables, input.variableCount);
        std::vector<std::uint16_t> slots(static_cast<std::size_t>(t) * kDescriptorWords);
        for (int s = 0; s < t; ++s) {
            const Descriptor d = variableDescriptor(config, s);
            std::copy(d.begin(), d.end(), slots.begin() + static_cast<std::ptrdiff_t>(s) * kDescriptorWords);
        }
        // Every slot is written, the last page holding fewer than four when T is not a multiple of four.
        const int slotPages = (t + kDescriptorsPerPage - 1) / kDescriptorsPerPage;
        slots.resize(static_cast<std::size_t>(slotPages) * kPageWords, 0);
        if (const ErrorCode code = writer.writeDescriptors(16 * (header[0] & 0x3FF), slots.data(), slotPages))
            return code;

        const BufferDescriptors buffers = bufferDescriptors(config, markerPage);
        result.messageKeyOffset = buffers.messageKeyOffset;
        if (const ErrorCode code = writer.writeDescriptors(16 * header[1], buffers.words.data(), buffers.pages))
            return code;
    }

    PageWords marker{};
    marker[0] = kMarkerWord;
    return writer.write(markerPage, marker);
}

}  // namespace corvix::download
