// CUsbFtd2xxCom: the transport through the D2XX library (usb/d2xx.h), bound by ordinal. Open
// configures the device for 1,000,000 baud, 8N1, no flow control; a reader thread waits for the
// library's receive event (50 ms at a time), reads what is waiting (at most 64 KiB a cycle) and
// delivers it to the receive buffer.
//
// Threads: as the bulk transport's. Only the reader reads from the library while it runs; close
// stops and joins the reader holding no lock, then closes the device. Every open step that fails
// closes the device again.
#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>
#include <map>

#include "abstract_com.h"
#include "usb/d2xx.h"

inline constexpr std::int32_t kFtdShortWrite = 0x30102002;
inline constexpr std::int32_t kFtdStatusBase = 0x3010203C;

class CUsbFtd2xxCom : public CAbstractCom {
public:
    static constexpr std::uint32_t kReadBufferSize = 65536;
    static constexpr std::uint32_t kEventWaitMs = 50;

    CUsbFtd2xxCom() = default;
    ~CUsbFtd2xxCom() override;

    std::int32_t init() override;
    std::int32_t open(std::uint32_t index) override;
    std::int32_t close() override;
    std::int32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    std::int32_t write(const std::uint8_t* bytes, std::uint32_t count) override;
    std::int32_t purge_transmit() override;
    std::int32_t purge_receive() override;

    void stop();
    std::uint16_t cycle_count() const { return m_cycles.load(); }
    std::uint16_t chunk_count() const { return m_chunks.load(); }

    // The engine's result of a library status: 0 for 0, 0x3010203C + n for 1..19, 0 above.
    static std::int32_t status_result(qd2xx::FT_STATUS status);

private:
    qd2xx::FT_HANDLE handle() const;
    // Closes the device after a failed open (the handle never becomes the transport's).
    void abandon(qd2xx::FT_HANDLE handle);
    void reader();
    void stop_reader();

    std::map<std::uint16_t, std::uint32_t> m_status_table;
    bool m_table_built = false;
    boost::shared_ptr<boost::thread> m_reader;
    std::atomic<bool> m_reader_stop{true};
    std::atomic<bool> m_reader_done{true};
    std::atomic<std::uint16_t> m_cycles{0};
    std::atomic<std::uint16_t> m_chunks{0};
    std::atomic<std::uint32_t> m_largest_chunk{0};
    qd2xx::Table m_lib{};  // the library as bound at open
    std::atomic<qd2xx::FT_HANDLE> m_handle{nullptr};
};
