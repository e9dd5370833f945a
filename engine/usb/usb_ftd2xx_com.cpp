#include "usb_ftd2xx_com.h"

#include <boost/bind/bind.hpp>
#include <sstream>
#include <vector>

#include "usb_enumeration.h"

namespace {

constexpr qd2xx::FT_STATUS kLastKnownStatus = 19;
constexpr qd2xx::FT_STATUS kOtherError = 18;

}  // namespace

std::int32_t CUsbFtd2xxCom::status_result(qd2xx::FT_STATUS status) {
    if (status == 0) return 0;
    // A status the library does not document is still a failure: "Other error".
    if (status > kLastKnownStatus) status = kOtherError;
    return kFtdStatusBase + static_cast<std::int32_t>(status);
}

CUsbFtd2xxCom::~CUsbFtd2xxCom() {
    try {
        close();
    } catch (...) {
        // A destructor never throws.
    }
}

std::int32_t CUsbFtd2xxCom::init() {
    if (!m_table_built) {
        for (std::uint16_t n = 0; n <= kLastKnownStatus; ++n) m_status_table[n] = static_cast<std::uint32_t>(status_result(n));
        m_table_built = true;
    }
    return 0;
}

qd2xx::FT_HANDLE CUsbFtd2xxCom::handle() const { return m_handle.load(); }

void CUsbFtd2xxCom::abandon(qd2xx::FT_HANDLE h) {
    m_lib.close(h);
    m_handle = nullptr;
}

std::int32_t CUsbFtd2xxCom::open(std::uint32_t index) {
    if (is_open()) close();
    m_lib = qd2xx::table();
    qd2xx::FT_HANDLE h = nullptr;
    qd2xx::FT_STATUS status = index > 255 ? qd2xx::FT_DEVICE_NOT_FOUND : m_lib.open(static_cast<int>(index), &h);
    if (status != qd2xx::FT_OK) return status_result(status);
    m_handle = h;
    if ((status = m_lib.ordinal6(h)) != qd2xx::FT_OK || (status = m_lib.purge(h, qd2xx::kPurgeRx | qd2xx::kPurgeTx)) != qd2xx::FT_OK) {
        abandon(h);
        return status_result(status);
    }
    if ((status = m_lib.ordinal33(h, 4096, 64)) != qd2xx::FT_OK) {
        abandon(h);
        return static_cast<std::int32_t>(status);
    }
    if ((status = m_lib.setBaudRate(h, 1000000)) != qd2xx::FT_OK || (status = m_lib.setTimeouts(h, 0, 100)) != qd2xx::FT_OK ||
        (status = m_lib.setDataCharacteristics(h, 8, 0, 0)) != qd2xx::FT_OK ||
        (status = m_lib.setFlowControl(h, 0, 0x11, 0x13)) != qd2xx::FT_OK ||
        (status = m_lib.purge(h, qd2xx::kPurgeRx | qd2xx::kPurgeTx)) != qd2xx::FT_OK) {
        abandon(h);
        return status_result(status);
    }
    if ((status = m_lib.ordinal29(h, 3)) != qd2xx::FT_OK || (status = m_lib.ordinal65(h, 100)) != qd2xx::FT_OK) {
        abandon(h);
        return static_cast<std::int32_t>(status);
    }
    clear_rx();
    set_closing(false);
    set_device_handle(h);
    purge_transmit();
    purge_receive();
    m_reader_stop = true;
    m_reader_done = false;
    m_reader = boost::shared_ptr<boost::thread>(new boost::thread(boost::bind(&CUsbFtd2xxCom::reader, this)));
    while (m_reader_stop && !m_reader_done) Sleep(5);

    boost::shared_ptr<CUsbFtd2xxComInfo> info = ftd2xx_info_by_index(index);
    info->busy = 1;
    set_device_info(info);
    return 0;
}

void CUsbFtd2xxCom::reader() {
    const qd2xx::FT_HANDLE h = handle();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event || m_lib.setEventNotification(h, qd2xx::kEventRxChar, event) != qd2xx::FT_OK) {
        OutputDebugStringA("[ERROR] DavAzuv - CUsbFtd2xxCom: no receive event\n");
        if (event) CloseHandle(event);
        m_reader_done = true;
        return;
    }
    m_cycles = 0;
    m_chunks = 0;
    DWORD waiting = 0;
    if (m_lib.getQueueStatus(h, &waiting) == qd2xx::FT_OK && waiting) purge_receive();
    std::vector<std::uint8_t> buffer(kReadBufferSize);
    m_reader_stop = false;
    while (!m_reader_stop) {
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        if (WaitForSingleObject(event, kEventWaitMs) == WAIT_OBJECT_0) {
            waiting = 0;
            if (m_lib.getQueueStatus(h, &waiting) == qd2xx::FT_OK && waiting) {
                // More than the buffer holds stays in the library for the next cycle.
                const std::uint32_t n = std::min<std::uint32_t>(waiting, kReadBufferSize);
                if (n > m_largest_chunk) m_largest_chunk = n;
                if (read(buffer.data(), n) != 0) {
                    m_reader_stop = true;
                } else {
                    deliver_rx(std::span<const std::uint8_t>(buffer.data(), n));
                }
                ++m_chunks;
                if (waiting > n) SetEvent(event);
            }
        }
        ++m_cycles;
    }
    m_lib.setEventNotification(h, 0, nullptr);  // the library must not set a closed event
    CloseHandle(event);
    m_reader_done = true;
}

std::int32_t CUsbFtd2xxCom::read(std::uint8_t* buffer, std::uint32_t count) {
    if (!is_open()) return kComNotOpen;
    DWORD got = 0;
    const std::int32_t result = status_result(m_lib.read(handle(), buffer, count, &got));
    if (got != count) {
        std::ostringstream line;
        line << "DavAzuv - Warning - CUsbFtd2xxCom::read \n"
             << "    FTD2XX_ERROR_CANNOT_READ_ALL_DATA_FROM_BUFFER (nb_bytes_to_read : " << count
             << " - nb_bytes_returned : " << got << ")";
        OutputDebugStringA(line.str().c_str());
    }
    if (result != 0) {
        std::ostringstream line;
        line << "DavAzuv - Error - CUsbFtd2xxCom::read \n    ret : " << result;
        OutputDebugStringA(line.str().c_str());
    }
    return result;
}

std::int32_t CUsbFtd2xxCom::write(const std::uint8_t* bytes, std::uint32_t count) {
    if (!is_open()) return kComNotOpen;
    DWORD written = 0;
    const qd2xx::FT_STATUS status = m_lib.write(handle(), bytes, count, &written);
    if (status != qd2xx::FT_OK) return status_result(status);
    return written < count ? kFtdShortWrite : 0;
}

std::int32_t CUsbFtd2xxCom::purge_transmit() {
    return static_cast<std::int32_t>(m_lib.purge ? m_lib.purge(handle(), qd2xx::kPurgeTx) : qd2xx::FT_INVALID_HANDLE);
}

std::int32_t CUsbFtd2xxCom::purge_receive() {
    return static_cast<std::int32_t>(m_lib.purge ? m_lib.purge(handle(), qd2xx::kPurgeRx) : qd2xx::FT_INVALID_HANDLE);
}

void CUsbFtd2xxCom::stop_reader() {
    m_reader_stop = true;
    set_closing(true);
    purge_transmit();
    purge_receive();
    if (m_reader) {
        if (m_reader->joinable()) m_reader->join();
        m_reader.reset();
    }
    clear_rx();
    set_closing(false);
}

void CUsbFtd2xxCom::stop() {
    if (is_open()) stop_reader();
}

std::int32_t CUsbFtd2xxCom::close() {
    if (!is_open()) return kComNotOpen;
    stop_reader();
    const qd2xx::FT_HANDLE h = handle();
    m_lib.purge(h, qd2xx::kPurgeRx | qd2xx::kPurgeTx);
    m_lib.ordinal6(h);
    const std::int32_t result = status_result(m_lib.close(h));
    if (result == 0) {
        set_device_handle(nullptr);
        m_handle = nullptr;
    }
    clear_rx();
    return result;
}
