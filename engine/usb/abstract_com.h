// CAbstractCom: the byte transport under the USB board object.
//
// A transport opens one board by index, writes request frames, and runs a reader of its own that
// appends every received chunk to the receive buffer and signals the board object's reader, which
// takes the bytes with wait_rx_data() and get_rx_data().
//
// Contract of the operations (every transport):
//   - init, open, close, write, read, purges: called by the board object's request thread (one at
//     a time, under the board object's command lock) or by its open and close; they may block for
//     the transfer. Results: 0, 0x30101000 on a transport that is not open, or the transport's
//     own codes. close() stops the transport's reader before it returns, waits for it without
//     holding the receive mutex, and empties the receive buffer.
//   - wait_rx_data and get_rx_data: called by the board object's reader thread only; they take the
//     receive mutex and never call the subclass.
//   - deliver_rx: called by the transport's own reader (any thread), appends a chunk under the
//     receive mutex and notifies after unlocking.
// Chunks keep no boundary: the board object's parser must not depend on where they are cut.
#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <span>
#include <vector>

#include "com_info.h"

inline constexpr std::int32_t kComNotImplemented = 0x30100011;
inline constexpr std::int32_t kComNotOpen = 0x30101000;

class CAbstractCom {
public:
    CAbstractCom();
    virtual ~CAbstractCom() = default;
    CAbstractCom(const CAbstractCom&) = delete;
    CAbstractCom& operator=(const CAbstractCom&) = delete;

    virtual std::int32_t init() = 0;
    virtual std::int32_t open(std::uint32_t index) = 0;
    // Three settings that no transport of the USB board supports: kComNotImplemented.
    virtual std::int32_t set_option_1(std::uint32_t) { return kComNotImplemented; }
    virtual std::int32_t set_option_2(std::uint32_t) { return kComNotImplemented; }
    virtual std::int32_t set_option_3(std::uint32_t) { return kComNotImplemented; }
    virtual bool is_open() const;
    virtual std::int32_t close() = 0;
    virtual std::uint32_t last_byte_count() const;
    // Synchronous read of `count` bytes, bypassing the reader.
    virtual std::int32_t read(std::uint8_t* buffer, std::uint32_t count) = 0;
    // One request frame, written as one transfer.
    virtual std::int32_t write(const std::uint8_t* bytes, std::uint32_t count) = 0;
    virtual std::int32_t purge_transmit() = 0;
    virtual std::int32_t purge_receive() = 0;

    // Waits up to the data wait (30 ms) for received bytes. While bytes are flowing (the last wait
    // took some) it spins briefly first, since the next ones usually follow within microseconds;
    // after a wait that timed out it blocks at once, so that an idle reader costs no processor
    // time. True when bytes arrived; false on a time-out or while the transport closes.
    bool wait_rx_data();
    // Moves the whole receive buffer to `out` (replacing its content); `start`, when given, receives
    // the stream position of the chunk's first byte (bytes received before it since construction).
    void get_rx_data(std::vector<std::uint8_t>& out, std::uint64_t* start = nullptr);
    // The stream position after the last byte received so far.
    std::uint64_t rx_stream_end() const;

    boost::shared_ptr<CComInfo> device_info() const;

protected:
    void deliver_rx(std::span<const std::uint8_t> chunk);
    // Sets or clears `closing`: wait_rx_data returns false at once while it is set.
    void set_closing(bool closing);
    // Empties the receive buffer and clears data ready and the last byte count.
    void clear_rx();
    void set_device_handle(void* handle);
    void set_device_info(boost::shared_ptr<CComInfo> info);

private:
    mutable boost::mutex m_info_mutex;
    boost::shared_ptr<CComInfo> m_device_info;
    void* m_device_handle = nullptr;  // under m_info_mutex

    mutable boost::mutex m_rx_mutex;
    std::vector<std::uint8_t> m_rx_buffer;
    // Written under m_rx_mutex; atomic so that wait_rx_data may watch them before it locks.
    std::atomic<bool> m_data_ready{false};
    std::atomic<bool> m_closing{false};
    std::int64_t m_data_wait_us = 30000;
    bool m_rx_flowing = false;  // the last wait_rx_data took bytes (the board object's reader only)
    boost::condition_variable m_data_condition;
    std::uint32_t m_last_byte_count = 0;
    std::uint64_t m_rx_stream_end = 0;  // every byte received, also those dropped unread
};
