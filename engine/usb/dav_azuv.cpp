#include "dav_azuv.h"

#include <algorithm>
#include <boost/bind/bind.hpp>
#include <chrono>
#include <sstream>
#include <thread>

#include "base/spin_wait.h"
#include "transport_factory.h"
#include "win32/windows.h"

using namespace IProtocol;

namespace {

void debug_output(const std::string& text) { OutputDebugStringA(text.c_str()); }

}  // namespace

CDavAzuv::CDavAzuv(std::int32_t transport_kind)
    : m_transport_kind(transport_kind), m_transport(usb_transport::make(transport_kind)) {}

CDavAzuv::~CDavAzuv() {
    try {
        close();
    } catch (...) {
        // A failed close leaves nothing that the destruction could still release.
    }
}

std::int32_t CDavAzuv::open(std::uint32_t index) {
    if (!m_transport) return usb_error::kNoTransport;
    boost::lock_guard<boost::mutex> command(m_command_mutex);
    stop_reader();  // a second open starts clean
    if (const std::int32_t result = m_transport->init(); result != 0) return result;
    if (!m_table_built) {
        m_sw_results = sw_result_map();
        m_table_built = true;
    }
    if (const std::int32_t result = m_transport->open(index); result != 0) return result;
    if (m_transport->is_open()) {
        m_parser.reset();
        m_events_lost = 0;
        m_events_received = 0;
        {
            boost::lock_guard<boost::mutex> lock(m_reply_mutex);
            m_warned_reply_queue_size = 0;
            m_last_error = 0;
            m_reader_end = 0;
            m_owed_until.reset();
        }
        // Cleared before the thread starts, so that a close right after the open always stops it.
        m_reader_stopped = false;
        m_reader.reset(new boost::thread(boost::bind(&CDavAzuv::reader_thread, this)));
    }
    return 0;
}

std::int32_t CDavAzuv::close() {
    if (!m_transport) return 0;
    boost::lock_guard<boost::mutex> command(m_command_mutex);
    std::int32_t result = 0;
    if (m_transport->is_open()) result = m_transport->close();
    stop_reader();
    clear_event_frames();
    clear_reply_frames();
    boost::lock_guard<boost::mutex> lock(m_reply_mutex);
    m_owed_until.reset();
    return result;
}

void CDavAzuv::stop_reader() {
    m_reader_stopped = true;
    // Joined also when it ended by itself: a thread object is never left joinable.
    if (m_reader && m_reader->joinable()) m_reader->join();
    m_reader.reset();
}

void CDavAzuv::owe_reply() {
    m_owed_until = Clock::now() + boost::chrono::microseconds(m_reply_timeout_us.load());
}

void CDavAzuv::settle_owed_reply(boost::unique_lock<boost::mutex>& lock) {
    while (m_owed_until && m_reader_end == 0) {
        if (Clock::now() >= *m_owed_until) {
            m_owed_until.reset();  // lost: the board will not send it any more
            break;
        }
        m_reply_condition.wait_until(lock, *m_owed_until);
    }
}

std::int32_t CDavAzuv::send_request(std::uint8_t ctl, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                                    std::span<const std::uint8_t> data, bool crc, std::uint16_t* length,
                                    std::span<std::uint8_t> buffer) {
    if (length) *length = 0;
    if (!m_transport) return usb_error::kNoTransport;
    // A frame's LEN is 16 bits: cut, the request would carry other data than the caller's.
    if (data.size() > 0xFFFF) return usb_error::kDataTooLong;
    boost::lock_guard<boost::mutex> command(m_command_mutex);
    {
        boost::unique_lock<boost::mutex> lock(m_reply_mutex);
        // A reader that gave up parses nothing more: no reply can come until the board is reopened.
        if (m_reader_end == 0) settle_owed_reply(lock);
        if (m_reader_end != 0) return static_cast<std::int32_t>(m_reader_end.load());
        m_expected_request = ctl;
        m_reply_ready = false;
        m_answer.reset();
        m_last_error = 0;
        m_waiting = true;
        m_request_mark = m_transport->rx_stream_end();
    }
    const std::vector<std::uint8_t> frame = build_request(ctl, p1, p2, p3, data, crc);
    std::int32_t result = m_transport->write(frame.data(), static_cast<std::uint32_t>(frame.size()));
    if (result != 0) {
        boost::lock_guard<boost::mutex> lock(m_reply_mutex);
        m_waiting = false;
        if (m_transport->is_open()) owe_reply();  // the board may have taken the frame all the same
        return result;
    }
    result = wait_for_reply();
    if (result != 0) {
        boost::lock_guard<boost::mutex> lock(m_reply_mutex);
        m_waiting = false;
        return result == usb_error::kReplyTimeout ? static_cast<std::int32_t>(no_reply_code(ctl)) : result;
    }
    const ReplyFramePtr reply = get_last_reply_frame();
    // A reply that carries a CRC must match it; its data is not handed on otherwise.
    if (reply->CLA == CLA_REPLY_CRC && !check_reply_crc(*reply)) {
        debug_output("DavAzuv - Error - reply CRC mismatch\n");
        return usb_error::kContextLost;
    }
    bool cut = false;
    if (length) {
        const std::size_t copied = std::min(reply->data.size(), buffer.size());
        std::copy_n(reply->data.begin(), copied, buffer.begin());
        *length = static_cast<std::uint16_t>(copied);
        cut = copied < reply->data.size();
    }
    const auto sw = static_cast<std::int32_t>(sw_result(m_sw_results, reply->SW));
    return sw == 0 && cut ? usb_error::kReplyCut : sw;
}

std::int32_t CDavAzuv::wait_for_reply() {
    const auto deadline = Clock::now() + boost::chrono::microseconds(m_reply_timeout_us.load());
    // The reader usually hands the reply over within microseconds (base/spin_wait.h).
    qbase::spinUntil([this] { return m_reply_ready.load() || m_reader_end.load() != 0; });
    boost::unique_lock<boost::mutex> lock(m_reply_mutex);
    while (!m_reply_ready && m_reader_end == 0) {
        if (m_reply_condition.wait_until(lock, deadline) == boost::cv_status::timeout && !m_reply_ready &&
            m_reader_end == 0) {
            debug_output("DavAzuv - Warning - wait_for_reply timeout ...\n");
            m_last_error = usb_error::kReplyTimeout;
            m_waiting = false;
            owe_reply();
            return usb_error::kReplyTimeout;
        }
    }
    if (!m_reply_ready) {
        m_last_error = m_reader_end;
        return static_cast<std::int32_t>(m_reader_end.load());
    }
    m_reply_ready = false;
    m_waiting = false;
    return static_cast<std::int32_t>(m_last_error);
}

ReplyFramePtr CDavAzuv::get_last_reply_frame() {
    boost::lock_guard<boost::mutex> lock(m_reply_mutex);
    const std::size_t n = m_reply_frames.size();
    if (n == 0) return ReplyFramePtr(new REPLY_FRAME);
    if (n != 1 && n != m_warned_reply_queue_size) {
        std::ostringstream out;
        out << "DavAzuv - Warning - get_last_reply_frame m_reply_frames.size(): " << n << "\n";
        debug_output(out.str());
        m_warned_reply_queue_size = n;
    }
    auto taken = m_answer ? std::find(m_reply_frames.begin(), m_reply_frames.end(), m_answer) : m_reply_frames.end();
    if (taken == m_reply_frames.end()) taken = m_reply_frames.end() - 1;
    ReplyFramePtr frame = *taken;
    m_reply_frames.erase(taken);
    m_answer.reset();
    return frame;
}

std::int32_t CDavAzuv::read_memory(std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, bool crc) {
    return send_request(READ_MEMORY, p1, p2, p3, {}, crc);
}
std::int32_t CDavAzuv::read_by_id(std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint16_t& length,
                                  std::span<std::uint8_t> buffer, bool crc) {
    return send_request(READ_BY_ID, p1, p2, p3, {}, crc, &length, buffer);
}
std::int32_t CDavAzuv::read_serial_number(std::uint8_t p1, bool crc) {
    return send_request(READ_SERIAL_NUMBER, p1, 0, 0, {}, crc);
}
std::int32_t CDavAzuv::read_last_sw(std::uint8_t p1, bool crc) { return send_request(READ_LAST_SW, p1, 0, 0, {}, crc); }
std::int32_t CDavAzuv::read_error(std::uint8_t p1, bool crc) { return send_request(READ_ERROR, p1, 0, 0, {}, crc); }
std::int32_t CDavAzuv::write_memory(std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data, bool crc) {
    return send_request(WRITE_MEMORY, p1, p2, 0, data, crc);
}
std::int32_t CDavAzuv::write_by_id(std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data, bool crc) {
    return send_request(WRITE_BY_ID, p1, p2, 0, data, crc);
}
std::int32_t CDavAzuv::reset(std::uint8_t p1, std::uint8_t p2, bool crc) { return send_request(RESET, p1, p2, 0, {}, crc); }
std::int32_t CDavAzuv::set_mode(std::uint8_t p1, std::uint8_t p2, bool crc) {
    return send_request(SET_MODE, p1, p2, 0, {}, crc);
}
std::int32_t CDavAzuv::get_mode(std::uint8_t p1, bool crc) { return send_request(GET_MODE, p1, 0, 0, {}, crc); }
std::int32_t CDavAzuv::exec_by_id(std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data,
                                  std::uint16_t& length, std::span<std::uint8_t> buffer, bool crc) {
    return send_request(EXEC_BY_ID, p1, p2, 0, data, crc, &length, buffer);
}

std::int32_t CDavAzuv::get_device_info(UsbBoardRecord& record) const {
    record = UsbBoardRecord{};
    if (!m_transport) return usb_error::kNoTransport;
    flatten_device_info(*m_transport->device_info(), record);
    return 0;
}

void CDavAzuv::set_reply_timeout(std::uint16_t ms) { m_reply_timeout_us = std::int64_t{ms} * 1000; }
void CDavAzuv::set_event_timeout(std::uint16_t ms) { m_event_timeout_us = std::int64_t{ms} * 1000; }

std::int32_t CDavAzuv::wait_for_event() {
    boost::unique_lock<boost::mutex> lock(m_event_mutex);
    const auto deadline = Clock::now() + boost::chrono::microseconds(m_event_timeout_us.load());
    while (!m_event_ready) {
        if (m_event_condition.wait_until(lock, deadline) == boost::cv_status::timeout && !m_event_ready) {
            debug_output("DavAzuv - Warning -  wait_for_event timeout ...\n");
            return usb_error::kEventTimeout;
        }
    }
    m_event_ready = false;
    return 0;
}

EventFramePtr CDavAzuv::get_last_event_frame() {
    boost::lock_guard<boost::mutex> lock(m_event_mutex);
    if (m_event_frames.empty()) return {};
    EventFramePtr frame = m_event_frames.back();
    m_event_frames.pop_back();
    return frame;
}

std::vector<EventFramePtr> CDavAzuv::take_event_frames() {
    boost::lock_guard<boost::mutex> lock(m_event_mutex);
    std::vector<EventFramePtr> frames(m_event_frames.begin(), m_event_frames.end());
    m_event_frames.clear();
    m_event_ready = false;
    return frames;
}

void CDavAzuv::clear_event_frames() { take_event_frames(); }

std::vector<ReplyFramePtr> CDavAzuv::take_reply_frames() {
    boost::lock_guard<boost::mutex> lock(m_reply_mutex);
    std::vector<ReplyFramePtr> frames(m_reply_frames.begin(), m_reply_frames.end());
    m_reply_frames.clear();
    m_answer.reset();
    m_reply_ready = false;
    return frames;
}

void CDavAzuv::clear_reply_frames() { take_reply_frames(); }

std::uint8_t CDavAzuv::board_mode() const {
    boost::lock_guard<boost::mutex> lock(m_reply_mutex);
    return m_board_mode;
}

std::uint32_t CDavAzuv::last_error() const {
    boost::lock_guard<boost::mutex> lock(m_reply_mutex);
    return m_last_error;
}

void CDavAzuv::reader_thread() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    std::vector<std::uint8_t> chunk;
    while (!m_reader_stopped) {
        if (!m_transport->is_open()) break;
        if (!m_transport->wait_rx_data()) {
            // A plain sleep: the thread's interruptible sleep parks on a condition variable.
            if (!m_reader_stopped) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        m_transport->get_rx_data(chunk, &m_parser_sink.chunk_start);
        if (board_mode() == BOARD_MODE_DROP) continue;
        const bool parsed = m_parser.parse(chunk, m_parser_sink);
        m_events_lost = m_parser.events_lost();
        m_events_received = m_parser.events_received();
        if (!parsed) {
            {
                boost::lock_guard<boost::mutex> lock(m_reply_mutex);
                m_last_error = usb_error::kContextLost;
                m_reader_end = usb_error::kContextLost;
            }
            m_reply_condition.notify_all();
            break;
        }
    }
    m_reader_stopped = true;
}

void CDavAzuv::on_reply(ReplyFramePtr frame, std::uint64_t end) {
    {
        boost::lock_guard<boost::mutex> lock(m_reply_mutex);
        m_last_reply_sw = frame->SW;
        if (m_reply_frames.size() >= MAX_STALE_REPLIES + 1) {
            debug_output("DavAzuv - Warning - stale reply dropped\n");
            m_reply_frames.erase(std::find_if(m_reply_frames.begin(), m_reply_frames.end(),
                                              [&](const ReplyFramePtr& f) { return f != m_answer; }));
        }
        m_reply_frames.push_back(frame);
        if (m_owed_until) {
            m_owed_until.reset();  // the late reply of the request that got none: kept aside
        } else if (m_waiting && !m_reply_ready && end > m_request_mark) {
            if (m_expected_request == GET_MODE && frame->SW == SW_SUCCESS && frame->data.size() == 1)
                m_board_mode = frame->data[0];
            m_answer = frame;
            m_reply_ready = true;
        }
    }
    // Wakes the request that waits for its answer, or for the owed reply before it writes.
    m_reply_condition.notify_all();
}

void CDavAzuv::on_event(EventFramePtr frame) {
    bool dropped = false;
    {
        boost::lock_guard<boost::mutex> lock(m_event_mutex);
        if (m_event_frames.size() >= MAX_EVENTS) {
            m_event_frames.pop_front();
            dropped = true;
        }
        m_event_frames.push_back(std::move(frame));
        m_event_ready = true;
    }
    m_event_condition.notify_all();
    if (dropped) debug_output("DavAzuv - Warning - event queue full, oldest event dropped\n");
}

void CDavAzuv::ParserSink::on_diagnostic(const std::string& text) { debug_output(text); }
