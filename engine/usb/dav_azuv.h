// CDavAzuv: the engine's handle on one USB FIP board.
//
// It owns a byte transport (CAbstractCom), sends request frames, and runs a reader thread that
// cuts the received stream into reply and event frames (FrameParser), queues them and wakes the
// request that waits for its reply.
//
// Threads and locks: callers' threads run one request at a time (the command mutex, held for the
// whole request, also by open and close); the reader thread takes the reply mutex or the event
// mutex alone and notifies after unlocking; lock order is command mutex, then reply mutex; no lock
// is held across a transport write or wait_rx_data.
//
// Pairing replies with requests. The wire protocol carries no request tag: the board answers the
// requests in the order it took them, one reply each or none (a lost reply), and a reply is paired
// with a request by timing alone. The rules:
//   - A request's answer is the first reply that completes after the request was written. A reply
//     complete before that is no answer of its (kept aside, see below).
//   - A request that gets no reply within the reply time-out returns its no-reply code and is owed
//     its reply for one more reply time-out. The next request waits, before it writes, until the
//     owed reply has come (kept aside, never handed to anyone) or that time has passed (the reply
//     counts as lost). So one request at most is ever unanswered on the wire.
//   - A request whose write failed on an open transport may still have reached the board: it is
//     owed its reply too.
// What this guarantees:
//   - No request returns another request's reply, as long as every reply the board sends
//     completes within two reply time-outs of its request's write. A reply later than that can
//     be taken for the next request's.
//   - A lost reply costs the next request at most one reply time-out of waiting, never its result.
//   - A request that returned its no-reply code may still have been carried out by the board (a
//     write or an exec whose reply was lost or late): nothing on the wire tells.
//   - After the reader gave up (context lost), requests fail at once until the board is reopened.
//
// Bounded: replies kept aside (16) and events (256), the oldest dropped first, each drop reported
// on the debugger output.
#pragma once

#include <atomic>
#include <boost/chrono.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "abstract_com.h"
#include "frame_parser.h"
#include "usb_enumeration.h"
#include "usb_protocol.h"

namespace usb_error {
inline constexpr std::int32_t kNoTransport = 0x30100001;
inline constexpr std::int32_t kReplyCut = 0x3010000D;
inline constexpr std::int32_t kReplyTimeout = 0x3010000E;
inline constexpr std::int32_t kContextLost = 0x3010000F;
inline constexpr std::int32_t kEventTimeout = 0x30100012;
// More request data than a frame's 16-bit LEN holds: refused before anything is sent, with the
// board's own result for data too long (status word 0x3006).
inline constexpr std::int32_t kDataTooLong = 0x7000000D;
}  // namespace usb_error

class CDavAzuv {
public:
    static constexpr std::uint8_t BOARD_MODE_DEFAULT = 2;
    static constexpr std::uint8_t BOARD_MODE_DROP = 3;  // received bytes are dropped unparsed
    static constexpr std::size_t MAX_STALE_REPLIES = 16;
    static constexpr std::size_t MAX_EVENTS = 256;

    // Transport kind 0 FTDI, 1 bulk USB; any other kind has no transport (open fails).
    explicit CDavAzuv(std::int32_t transport_kind);
    ~CDavAzuv();
    CDavAzuv(const CDavAzuv&) = delete;
    CDavAzuv& operator=(const CDavAzuv&) = delete;

    std::int32_t open(std::uint32_t index);
    std::int32_t close();

    // Requests. Each returns 0, a StatusWordError code, a transport code or a UsbLayerError code.
    // Those that hand reply data back copy at most buffer.size() bytes, set `length` to the bytes
    // copied, and return kReplyCut when the reply held more. Those that carry data refuse more
    // than 65535 bytes with kDataTooLong.
    std::int32_t read_memory(std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, bool crc = false);
    std::int32_t read_by_id(std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint16_t& length,
                            std::span<std::uint8_t> buffer, bool crc = false);
    std::int32_t read_serial_number(std::uint8_t p1, bool crc = false);
    std::int32_t read_last_sw(std::uint8_t p1, bool crc = false);
    std::int32_t read_error(std::uint8_t p1, bool crc = false);
    std::int32_t write_memory(std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data, bool crc = false);
    std::int32_t write_by_id(std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data, bool crc = false);
    std::int32_t reset(std::uint8_t p1, std::uint8_t p2, bool crc = false);
    std::int32_t set_mode(std::uint8_t p1, std::uint8_t p2, bool crc = false);
    std::int32_t get_mode(std::uint8_t p1, bool crc = false);
    std::int32_t exec_by_id(std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data,
                            std::uint16_t& length, std::span<std::uint8_t> buffer, bool crc = false);

    // The description of the device the transport opened, flattened as the enumeration lists it:
    // 0, or kNoTransport (the record is then zeroed).
    std::int32_t get_device_info(UsbBoardRecord& record) const;

    void set_reply_timeout(std::uint16_t ms);
    void set_event_timeout(std::uint16_t ms);
    // Waits for an event frame up to the event time-out: 0, or kEventTimeout.
    std::int32_t wait_for_event();
    // The newest event frame, taken from the queue (null when there is none).
    IProtocol::EventFramePtr get_last_event_frame();
    std::vector<IProtocol::EventFramePtr> take_event_frames();
    void clear_event_frames();
    std::vector<IProtocol::ReplyFramePtr> take_reply_frames();
    void clear_reply_frames();

    std::uint8_t board_mode() const;
    std::uint32_t last_error() const;
    std::uint32_t events_lost() const { return m_events_lost.load(); }
    std::uint32_t events_received() const { return m_events_received.load(); }
    bool reader_running() const { return !m_reader_stopped.load(); }
    boost::shared_ptr<CAbstractCom> transport() const { return m_transport; }

private:
    using Clock = boost::chrono::steady_clock;

    std::int32_t send_request(std::uint8_t ctl, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                              std::span<const std::uint8_t> data, bool crc, std::uint16_t* length = nullptr,
                              std::span<std::uint8_t> buffer = {});
    std::int32_t wait_for_reply();
    IProtocol::ReplyFramePtr get_last_reply_frame();
    void stop_reader();
    void reader_thread();
    // Reply mutex held: waits until the reply owed to a request that got none has come or its
    // time has passed.
    void settle_owed_reply(boost::unique_lock<boost::mutex>& lock);
    void owe_reply();

    // `end`: the stream position after the reply's last byte.
    void on_reply(IProtocol::ReplyFramePtr frame, std::uint64_t end);
    void on_event(IProtocol::EventFramePtr frame);

    // What the reader's parser delivers goes to the board object.
    struct ParserSink final : IProtocol::FrameParser::Sink {
        explicit ParserSink(CDavAzuv& board) : board(board) {}
        void on_reply(IProtocol::ReplyFramePtr frame, std::size_t end) override {
            board.on_reply(std::move(frame), chunk_start + end);
        }
        void on_event(IProtocol::EventFramePtr frame) override { board.on_event(std::move(frame)); }
        void on_diagnostic(const std::string& text) override;
        CDavAzuv& board;
        std::uint64_t chunk_start = 0;  // stream position of the chunk being parsed
    };

    const std::int32_t m_transport_kind;
    boost::shared_ptr<CAbstractCom> m_transport;

    boost::mutex m_event_mutex;
    std::deque<IProtocol::EventFramePtr> m_event_frames;
    bool m_event_ready = false;
    boost::condition_variable m_event_condition;
    std::atomic<std::int64_t> m_event_timeout_us{500000};

    mutable boost::mutex m_reply_mutex;  // also guards everything down to m_waiting
    std::deque<IProtocol::ReplyFramePtr> m_reply_frames;
    IProtocol::ReplyFramePtr m_answer;  // the reply of the request in progress, also in m_reply_frames
    std::size_t m_warned_reply_queue_size = 0;
    std::uint8_t m_expected_request = 0;
    std::uint32_t m_last_error = 0;
    std::uint8_t m_board_mode = BOARD_MODE_DEFAULT;
    std::uint16_t m_last_reply_sw = 0;
    std::atomic<bool> m_reply_ready{false};  // written under the mutex; read also by the spin
    bool m_waiting = false;
    std::optional<Clock::time_point> m_owed_until;  // a reply owed to a request that got none, until then
    std::atomic<std::uint32_t> m_reader_end{0};      // kContextLost once the reader gave up
    std::uint64_t m_request_mark = 0;                // stream position when the request was written
    boost::condition_variable m_reply_condition;
    std::atomic<std::int64_t> m_reply_timeout_us{1000000};

    boost::mutex m_command_mutex;
    std::atomic<bool> m_reader_stopped{true};
    boost::shared_ptr<boost::thread> m_reader;
    IProtocol::FrameParser m_parser;  // the reader thread's
    ParserSink m_parser_sink{*this};
    std::atomic<std::uint32_t> m_events_lost{0};
    std::atomic<std::uint32_t> m_events_received{0};

    IProtocol::SwResultMap m_sw_results;
    bool m_table_built = false;
};
