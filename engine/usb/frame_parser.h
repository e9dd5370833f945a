// The board object's framing state machine: it cuts the received byte stream into reply and event
// frames, byte by byte, whatever the chunks' boundaries.
//
// After a complete frame the next byte of the same chunk must start a frame (0x40, 0x41, 0x80,
// 0x81) or be one filler byte 0xFF; any other byte drops the frame just completed. A byte that
// cannot start a frame while none is open is a loss of context: the parser looks, from the last
// frame start on (joined to the bytes of a frame that spans from earlier chunks), for an event
// frame with ID 1 and SW 0xA000 or 0x8001 and resumes there; without one it gives up, and the
// rest of the stream is not parsed until reset().
//
// Not thread-safe: one reader thread owns it. Its memory is bounded: the bytes it keeps across
// chunks are those of the one open frame, and the diagnostic history is cut to its last bytes.
#pragma once

#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "usb_protocol.h"

namespace IProtocol {

class FrameParser {
public:
    class Sink {
    public:
        // `end`: the index in the chunk just after the frame's last byte (0 for a frame that
        // ended in an earlier chunk, as a recovery may find).
        virtual void on_reply(ReplyFramePtr frame, std::size_t end) = 0;
        virtual void on_event(EventFramePtr frame) = 0;
        // A block of diagnostic lines for the debugger output.
        virtual void on_diagnostic(const std::string& text) = 0;

    protected:
        ~Sink() = default;
    };

    FrameParser() { reset(); }

    // A clean start: no open frame, no history, counters at 0.
    void reset();
    // Parses one chunk. False when the context was lost and not recovered: the rest of the chunk
    // was dropped and the parser stays lost (every later chunk is ignored) until reset().
    bool parse(std::span<const std::uint8_t> chunk, Sink& sink);

    bool lost() const { return m_lost; }
    std::uint32_t events_lost() const { return m_events_lost; }
    std::uint32_t events_received() const { return m_events_received; }

private:
    enum class Kind { Reply, Event };
    struct Positions {
        std::size_t id, cp, sw, len, data;
    };

    void start_frame(std::uint8_t cla, std::size_t k);
    void take_byte(std::uint8_t b);
    void deliver(Sink& sink, std::size_t end);
    void close_frame();
    // Context loss at index i of `buffer`; returns the index to resume at, or buffer.size() when
    // the context could not be recovered.
    std::size_t recover(std::vector<std::uint8_t>& buffer, std::size_t i, Sink& sink);
    void remember_without_context(std::uint8_t b);
    void dump(std::ostringstream& out, const std::vector<std::uint8_t>& buffer, std::size_t centre) const;

    // Frame state.
    bool m_new_frame = false;      // is_NewFrame: a frame without CRC is open
    bool m_crc_new_frame = false;  // is_CRCNewFrame: a frame with CRC is open
    bool m_parse_ok = false;       // is_ParseOK: the open frame is complete
    Kind m_kind = Kind::Reply;
    Positions m_pos{};
    std::size_t m_i = 0;  // position of the next byte within the frame
    std::uint8_t m_id = 0, m_cp = 0;
    std::uint16_t m_sw = 0, m_len = 0, m_crc = 0;
    std::vector<std::uint8_t> m_data;

    // Across chunks.
    bool m_spanning = false;
    bool m_after_frame = false;  // the previous chunk ended with a complete frame
    std::vector<std::uint8_t> m_frame_bytes;  // the open frame's bytes from earlier chunks
    std::vector<std::uint8_t> m_bytes_without_context;
    std::size_t m_last_frame_start = 0;
    std::vector<std::size_t> m_frame_starts;
    std::vector<std::uint8_t> m_ids, m_cps;
    std::vector<std::uint16_t> m_sws, m_lens;
    std::uint8_t m_previous_cp = 0;
    std::uint32_t m_events_lost = 0;
    std::uint32_t m_events_received = 0;
    bool m_lost = false;
};

}  // namespace IProtocol
