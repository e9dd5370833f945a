// CUsbCypCom: the bulk USB transport. It opens a board through the USB device driver (the
// CCyUSBDevice it is), writes each request frame as one bulk OUT transfer with a bound on its
// wait, and runs a reader thread that keeps one bulk IN transfer pending at all times, alternating
// two 64 KiB buffers, and delivers every chunk to the receive buffer.
//
// Threads: open, write and close on the board object's request thread; the reader on its own; the
// board object's reader in wait_rx_data/get_rx_data. The reader drives BulkInEndPt only, writes
// drive BulkOutEndPt only; close aborts the bulk IN pipe and joins the reader holding no lock.
// Every transfer waits on an unnamed event of its own.
#pragma once

#include <atomic>
#include <boost/thread/thread.hpp>
#include <memory>

#include "abstract_com.h"
#include "cy_usb_device.h"

inline constexpr std::int32_t kComNoEndpoint = 0x30103000;
inline constexpr std::int32_t kComReadFailed = 0x30103001;
inline constexpr std::int32_t kComWriteFailed = 0x30103002;
inline constexpr std::int32_t kComOpenFailed = 0x30103003;

class CUsbCypCom : public CAbstractCom, public CCyUSBDevice {
public:
    static constexpr std::uint32_t BUF_SIZE = 65536;
    // How long a bulk OUT transfer may take before the write gives up with kComWriteFailed.
    static constexpr std::uint32_t kWriteBoundMs = 1000;
    // The completion wait of a USB 3 device's bulk IN transfer (then it is aborted and restarted).
    static constexpr std::uint32_t kUsb3CompletionWaitMs = 5;

    CUsbCypCom();
    ~CUsbCypCom() override;

    std::int32_t init() override { return 0; }
    std::int32_t open(std::uint32_t index) override;
    std::int32_t close() override;
    std::int32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    std::int32_t write(const std::uint8_t* bytes, std::uint32_t count) override;
    std::int32_t purge_transmit() override;
    std::int32_t purge_receive() override;

    // Stops the reader and empties the receive buffer, the device staying open.
    void stop();
    // The configuration, interface and bulk endpoint descriptors, to the debugger output.
    void dump_descriptors();

    std::uint16_t cycle_count() const { return m_cycles.load(); }
    std::uint16_t chunk_count() const { return m_chunks.load(); }

private:
    void reader();
    void stop_reader();
    void log_out_failure(const char* what, std::uint32_t done, std::uint32_t asked, const std::uint8_t* bytes);

    std::unique_ptr<boost::thread> m_reader;
    std::atomic<bool> m_reader_stop{true};
    std::atomic<bool> m_reader_done{true};
    std::atomic<std::uint16_t> m_cycles{0};
    std::atomic<std::uint16_t> m_chunks{0};
};
