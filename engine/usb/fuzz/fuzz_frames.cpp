// The frame parser on any byte stream, cut into chunks where the input says: the first byte gives
// the chunk length (1..16, 0 for the whole rest). Every delivered frame must be as long as its LEN
// says and end within the chunk, and a parser that lost its context must stay lost until reset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "frame_parser.h"

namespace {

struct Checker : IProtocol::FrameParser::Sink {
    std::size_t chunk = 0;
    void on_reply(IProtocol::ReplyFramePtr f, std::size_t end) override {
        if (end > chunk || f->data.size() != f->LEN) std::abort();
    }
    void on_event(IProtocol::EventFramePtr f) override {
        if (f->data.size() != f->LEN) std::abort();
    }
    void on_diagnostic(const std::string& text) override {
        if (text.empty()) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = data[0] % 17;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    IProtocol::FrameParser parser;
    Checker sink;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = step == 0 ? stream.size() - at : std::min(step, stream.size() - at);
        sink.chunk = n;
        const bool wasLost = parser.lost();
        const bool ok = parser.parse(stream.subspan(at, n), sink);
        if (wasLost && ok) std::abort();
        if (ok == parser.lost()) std::abort();
        at += n;
    }
    return 0;
}
