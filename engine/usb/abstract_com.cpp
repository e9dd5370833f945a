#include "abstract_com.h"

#include <boost/chrono.hpp>

#include "base/spin_wait.h"

namespace {
constexpr std::size_t kMaxRxBytes = 4u << 20;
}  // namespace

CAbstractCom::CAbstractCom() : m_device_info(new CComInfo) {}

bool CAbstractCom::is_open() const {
    boost::lock_guard<boost::mutex> lock(m_info_mutex);
    return m_device_handle != nullptr;
}

std::uint32_t CAbstractCom::last_byte_count() const {
    boost::lock_guard<boost::mutex> lock(m_rx_mutex);
    return m_last_byte_count;
}

bool CAbstractCom::wait_rx_data() {
    const auto deadline = boost::chrono::steady_clock::now() + boost::chrono::microseconds(m_data_wait_us);
    if (m_rx_flowing) qbase::spinUntil([this] { return m_data_ready.load() || m_closing.load(); });
    m_rx_flowing = false;
    boost::unique_lock<boost::mutex> lock(m_rx_mutex);
    while (!m_data_ready && !m_closing) {
        if (m_data_condition.wait_until(lock, deadline) == boost::cv_status::timeout && !m_data_ready && !m_closing)
            return false;
    }
    m_data_ready = false;
    m_rx_flowing = !m_closing;
    return m_rx_flowing;
}

void CAbstractCom::get_rx_data(std::vector<std::uint8_t>& out, std::uint64_t* start) {
    out.clear();
    boost::lock_guard<boost::mutex> lock(m_rx_mutex);
    if (start) *start = m_rx_stream_end - m_rx_buffer.size();
    out.swap(m_rx_buffer);
}

std::uint64_t CAbstractCom::rx_stream_end() const {
    boost::lock_guard<boost::mutex> lock(m_rx_mutex);
    return m_rx_stream_end;
}

boost::shared_ptr<CComInfo> CAbstractCom::device_info() const {
    boost::lock_guard<boost::mutex> lock(m_info_mutex);
    return m_device_info;
}

void CAbstractCom::deliver_rx(std::span<const std::uint8_t> chunk) {
    if (chunk.empty()) return;
    {
        boost::lock_guard<boost::mutex> lock(m_rx_mutex);
        // Nobody takes the bytes once the board object's reader has ended: the buffer stops growing.
        if (m_closing || m_rx_buffer.size() + chunk.size() > kMaxRxBytes) return;
        m_last_byte_count = static_cast<std::uint32_t>(chunk.size());
        m_rx_stream_end += chunk.size();
        m_rx_buffer.insert(m_rx_buffer.end(), chunk.begin(), chunk.end());
        m_data_ready = true;
    }
    m_data_condition.notify_all();
}

void CAbstractCom::set_closing(bool closing) {
    {
        boost::lock_guard<boost::mutex> lock(m_rx_mutex);
        m_closing = closing;
    }
    m_data_condition.notify_all();
}

void CAbstractCom::clear_rx() {
    boost::lock_guard<boost::mutex> lock(m_rx_mutex);
    m_rx_buffer.clear();
    m_data_ready = false;
    m_last_byte_count = 0;
}

void CAbstractCom::set_device_handle(void* handle) {
    boost::lock_guard<boost::mutex> lock(m_info_mutex);
    m_device_handle = handle;
}

void CAbstractCom::set_device_info(boost::shared_ptr<CComInfo> info) {
    boost::lock_guard<boost::mutex> lock(m_info_mutex);
    m_device_info = std::move(info);
}
