#include "frame_parser.h"

#include <iomanip>

namespace IProtocol {
namespace {

constexpr std::size_t kHistoryBytes = 512;  // bytes_without_context kept for the dump
constexpr std::size_t kDumpBytes = 64;      // bytes on each side of the dump's centre

bool is_cla(std::uint8_t b) {
    return b == CLA_EVENT || b == CLA_EVENT_CRC || b == CLA_REPLY || b == CLA_REPLY_CRC;
}

struct Hex {
    unsigned value;
    int width;
};
std::ostream& operator<<(std::ostream& out, Hex h) {
    return out << "0x" << std::hex << std::uppercase << std::setw(h.width) << std::setfill('0') << h.value << std::dec
               << std::setfill(' ');
}
Hex byte(std::uint8_t b) { return {b, 2}; }
Hex word(std::size_t v) { return {static_cast<unsigned>(v), 1}; }

const std::string kDashes(105, '-');

}  // namespace

void FrameParser::reset() {
    close_frame();
    m_kind = Kind::Reply;
    m_pos = {};
    m_i = 0;
    m_id = m_cp = 0;
    m_sw = m_len = m_crc = 0;
    m_data.clear();
    m_spanning = false;
    m_after_frame = false;
    m_frame_bytes.clear();
    m_bytes_without_context.clear();
    m_last_frame_start = 0;
    m_frame_starts.clear();
    m_ids.clear();
    m_cps.clear();
    m_sws.clear();
    m_lens.clear();
    m_previous_cp = 0;
    m_events_lost = 0;
    m_events_received = 0;
    m_lost = false;
}

void FrameParser::close_frame() {
    m_new_frame = m_crc_new_frame = m_parse_ok = false;
}

bool FrameParser::parse(std::span<const std::uint8_t> chunk, Sink& sink) {
    if (m_lost) return false;
    if (chunk.empty()) return true;
    if (!m_spanning) {
        m_frame_starts.clear();
        m_ids.clear();
        m_cps.clear();
        m_sws.clear();
        m_lens.clear();
        m_last_frame_start = 0;
    }
    // The bytes of a frame that spans from earlier chunks: joined in front of this chunk when the
    // context is lost, so that the recovery can look from that frame's start.
    const std::size_t spanned = m_spanning ? m_frame_bytes.size() : 0;
    std::vector<std::uint8_t> joined;
    std::span<const std::uint8_t> buffer = chunk;

    std::size_t k = 0;
    // A filler that follows a frame completed at the end of the previous chunk.
    if (m_after_frame && buffer[0] == FILLER) k = 1;
    m_after_frame = false;

    for (; k < buffer.size(); ++k) {
        const std::uint8_t b = buffer[k];
        remember_without_context(b);
        if (!m_new_frame && !m_crc_new_frame) {
            if (!is_cla(b)) {
                if (joined.empty()) {
                    if (m_spanning) joined.assign(m_frame_bytes.begin(), m_frame_bytes.begin() + spanned);
                    joined.insert(joined.end(), chunk.begin(), chunk.end());
                }
                std::size_t i = k;
                if (m_spanning && buffer.data() == chunk.data()) {
                    i += spanned;
                    m_last_frame_start = 0;
                }
                buffer = joined;
                const std::size_t resume = recover(joined, i, sink);
                if (resume >= joined.size()) {
                    m_lost = true;
                    close_frame();
                    return false;
                }
                k = resume - 1;  // the loop's step lands on the event frame's CLA
                continue;
            }
            start_frame(b, k);
        } else {
            take_byte(b);
        }
        const bool last = k + 1 == buffer.size();
        // The position after this byte in the chunk as it came (a joined buffer starts earlier).
        const std::size_t shift = buffer.size() - chunk.size();
        const std::size_t end = k + 1 > shift ? k + 1 - shift : 0;
        if (!m_parse_ok) {
            if (last) m_spanning = true;
            continue;
        }
        if (last) {
            deliver(sink, end);
            m_after_frame = true;
        } else if (const std::uint8_t next = buffer[k + 1]; next == FILLER) {
            deliver(sink, end);
            ++k;  // skipped, not kept anywhere
        } else if (is_cla(next)) {
            deliver(sink, end);
        } else {
            sink.on_diagnostic("DavAzuv - Error - Inconsistent Frame detected !! \n");
        }
        close_frame();
    }
    // Spanning says that this chunk ended inside a frame, nothing older.
    if (!m_new_frame && !m_crc_new_frame) m_spanning = false;
    return true;
}

void FrameParser::start_frame(std::uint8_t cla, std::size_t k) {
    m_last_frame_start = k;
    m_frame_starts.push_back(k);
    if (cla == CLA_REPLY || cla == CLA_REPLY_CRC) {
        m_kind = Kind::Reply;
        m_pos = {0, 0, 1, 3, REPLY_HEADER};
    } else {
        m_kind = Kind::Event;
        m_pos = {1, 2, 3, 5, EVENT_HEADER};
    }
    m_data.clear();
    m_i = 1;
    m_new_frame = (cla & 1) == 0;
    m_crc_new_frame = (cla & 1) != 0;
    m_parse_ok = false;
    m_spanning = false;
    m_id = m_cp = 0xEE;
    m_sw = m_len = m_crc = NO_CRC;
    m_frame_bytes.clear();
    m_frame_bytes.push_back(cla);
}

void FrameParser::take_byte(std::uint8_t b) {
    m_frame_bytes.push_back(b);
    const std::size_t i = m_i++;
    if (m_kind == Kind::Event && i == m_pos.id) {
        m_id = b;
    } else if (m_kind == Kind::Event && i == m_pos.cp) {
        m_cp = b;
    } else if (i == m_pos.sw) {
        m_sw = static_cast<std::uint16_t>(b << 8 | (m_sw & 0xFF));
    } else if (i == m_pos.sw + 1) {
        m_sw = static_cast<std::uint16_t>((m_sw & 0xFF00) | b);
    } else if (i == m_pos.len) {
        m_len = static_cast<std::uint16_t>(b << 8 | (m_len & 0xFF));
    } else if (i == m_pos.len + 1) {
        m_len = static_cast<std::uint16_t>((m_len & 0xFF00) | b);
        m_data.reserve(m_len);
        if (m_new_frame && m_len == 0) m_parse_ok = true;
    } else if (m_data.size() < m_len) {
        m_data.push_back(b);
        if (m_new_frame && m_data.size() == m_len) m_parse_ok = true;
    } else if (i == m_pos.data + m_len) {
        m_crc = static_cast<std::uint16_t>(b << 8 | (m_crc & 0xFF));
    } else {
        m_crc = static_cast<std::uint16_t>((m_crc & 0xFF00) | b);
        m_parse_ok = true;
    }
}

void FrameParser::deliver(Sink& sink, std::size_t end) {
    const bool crc = m_crc_new_frame;
    if (m_kind == Kind::Event) {
        EventFramePtr frame(new EVENT_FRAME);
        frame->CLA = crc ? CLA_EVENT_CRC : CLA_EVENT;
        frame->ID = m_id;
        frame->CP = m_cp;
        frame->SW = m_sw;
        frame->LEN = m_len;
        frame->data = std::move(m_data);
        frame->CRC = crc ? m_crc : NO_CRC;
        m_ids.push_back(m_id);
        m_cps.push_back(m_cp);
        m_sws.push_back(m_sw);
        m_lens.push_back(m_len);
        const auto gap = m_cp == m_previous_cp ? 0u : static_cast<std::uint8_t>(m_cp - m_previous_cp - 1);
        ++m_events_received;
        m_events_lost += gap;
        if (gap != 0) {
            std::ostringstream out;
            out << "- Event frames lost !! (<=> usb packets) - Prec CP: " << byte(m_previous_cp) << " - CP: " << byte(m_cp)
                << "number since start acq: " << word(m_events_lost) << " / " << word(m_events_received) << "\n";
            sink.on_diagnostic(out.str());
        }
        m_previous_cp = m_cp;
        sink.on_event(std::move(frame));
    } else {
        ReplyFramePtr frame(new REPLY_FRAME);
        frame->CLA = crc ? CLA_REPLY_CRC : CLA_REPLY;
        frame->SW = m_sw;
        frame->LEN = m_len;
        frame->data = std::move(m_data);
        frame->CRC = crc ? m_crc : NO_CRC;
        sink.on_reply(std::move(frame), end);
    }
    m_data = {};
    m_bytes_without_context.clear();
}

void FrameParser::remember_without_context(std::uint8_t b) {
    if (m_bytes_without_context.size() >= 2 * kHistoryBytes)
        m_bytes_without_context.erase(m_bytes_without_context.begin(),
                                      m_bytes_without_context.end() - static_cast<std::ptrdiff_t>(kHistoryBytes));
    m_bytes_without_context.push_back(b);
}

void FrameParser::dump(std::ostringstream& out, const std::vector<std::uint8_t>& buffer, std::size_t centre) const {
    const std::size_t from = centre > kDumpBytes ? centre - kDumpBytes : 0;
    const std::size_t to = std::min(buffer.size(), centre + kDumpBytes + 1);
    for (std::size_t j = from; j < to; ++j) {
        if (j < centre)
            out << "index: " << j << " - inputBuffer[i - " << centre - j << "] : " << byte(buffer[j]) << "\n";
        else if (j == centre)
            out << "index: " << j << " - inputBuffer[i]   : " << byte(buffer[j]) << "\n";
        else
            out << "index: " << j << " - inputBuffer[i + " << j - centre << "] : " << byte(buffer[j]) << "\n";
    }
}

std::size_t FrameParser::recover(std::vector<std::uint8_t>& buffer, std::size_t i, Sink& sink) {
    const std::size_t n = buffer.size();
    std::ostringstream out;
    out << "DavAzuv - Error - Context Loss Block Management\n" << kDashes << "\n" << kDashes << "\n";
    out << " - last frame start index known: " << word(m_last_frame_start) << "\n - packet size: " << word(n)
        << "\n - context loss index (i): " << word(i) << "\n";
    const std::size_t shown = std::min(m_bytes_without_context.size(), kHistoryBytes);
    for (std::size_t j = m_bytes_without_context.size() - shown; j < m_bytes_without_context.size(); ++j)
        out << "index: " << j << " - bytes_without_context[j]   : " << byte(m_bytes_without_context[j]) << "\n";
    if (m_spanning) out << " - spanning : true\n - context loss index (with insertion of previous packet): " << word(i) << "\n";

    std::size_t found = n;
    for (std::size_t k = m_last_frame_start + 1; k + 7 < n; ++k) {
        const std::uint8_t b = buffer[k];
        const auto sw = static_cast<std::uint16_t>(buffer[k + 3] << 8 | buffer[k + 4]);
        if ((b == CLA_EVENT || b == CLA_EVENT_CRC) && buffer[k + 1] == 1 && (sw == 0xA000 || sw == 0x8001)) {
            found = k;
            break;
        }
    }
    if (found < n) {
        out << "Context Recovery Attempt OK !\nRecovery Packet:\n";
        dump(out, buffer, found);
        out << kDashes << "\n" << kDashes << "\n";
        m_spanning = false;
    } else {
        out << "is_NewFrame : " << m_new_frame << "\nis_CRCNewFrame : " << m_crc_new_frame
            << "\nis_ParseOK : " << m_parse_ok << "\nframes detected before :\n";
        for (std::size_t start : m_frame_starts) out << " index new frame:" << start << "\n";
        for (std::size_t j = 0; j < m_ids.size(); ++j)
            out << " , ID: " << byte(m_ids[j]) << " , CP: " << byte(m_cps[j]) << " , SW: " << Hex{m_sws[j], 4}
                << " , LEN: " << Hex{m_lens[j], 4} << "\n";
        out << "current context :\nid :" << byte(m_id) << "\ncp :" << byte(m_cp) << "\nsw :" << Hex{m_sw, 4}
            << "\nlen :" << Hex{m_len, 4} << "\ncrc :" << Hex{m_crc, 4} << "\n";
        dump(out, buffer, std::min(i, n - 1));
    }
    sink.on_diagnostic(out.str());
    return found;
}

}  // namespace IProtocol
