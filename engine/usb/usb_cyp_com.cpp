#include "usb_cyp_com.h"

#include <boost/bind/bind.hpp>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include "usb/usb_transfer.h"
#include "usb_enumeration.h"

namespace {

void debug(const std::ostringstream& text) { OutputDebugStringA(text.str().c_str()); }

std::string hexBytes(const std::uint8_t* bytes, std::uint32_t count) {
    std::string out;
    char two[4];
    for (std::uint32_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        out += two;
        out += ' ';
    }
    return out;
}

// One of the reader's two bulk IN transfers: its buffer, its own event and its request.
struct InTransfer {
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(CUsbCypCom::BUF_SIZE);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED ov{};
    XferRequest request;
    bool pending = false;

    ~InTransfer() {
        if (event) CloseHandle(event);
    }
    // Starts a transfer into the buffer; false when the driver refused it.
    bool start(CCyUSBEndPoint& ep) {
        ov = OVERLAPPED{};
        ov.hEvent = event;
        ResetEvent(event);  // a signal left from a transfer that ended at once is not this one's
        request = ep.StartTransfer(buffer.data(), CUsbCypCom::BUF_SIZE, &ov);
        pending = !request.empty() && (ep.LastError == 0 || ep.LastError == ERROR_IO_PENDING);
        if (!pending && !request.empty()) {
            std::uint32_t none = 0;
            ep.FinishDataXfer(buffer.data(), none, &ov, request);
        }
        return pending;
    }
    // Ends a pending transfer that nobody waits for: abort, wait, free.
    void drop(CCyUSBEndPoint& ep) {
        if (!pending) return;
        ep.CancelPipe();
        std::uint32_t none = 0;
        ep.FinishDataXfer(buffer.data(), none, &ov, request);  // waits for the end when still running
        pending = false;
    }
};

}  // namespace

CUsbCypCom::CUsbCypCom() : CCyUSBDevice(CYUSBDRV_GUID) {}

CUsbCypCom::~CUsbCypCom() {
    try {
        close();
        CloseDevice();
    } catch (...) {
        // A destructor never throws.
    }
}

std::int32_t CUsbCypCom::open(std::uint32_t index) {
    if (is_open()) close();
    const auto device = static_cast<std::uint8_t>(std::min<std::uint32_t>(index, 255));
    bool opened = index <= 255 && OpenDevice(device);
    if (!opened && index <= 255) {
        Recover(device);  // one recovery request, then one more attempt
        opened = OpenDevice(device);
    }
    if (!opened) {
        set_device_info(boost::shared_ptr<CComInfo>(new CComInfo));
        return kComOpenFailed;
    }
    if (!BulkInEndPt || !BulkOutEndPt) {
        CloseDevice();
        set_device_info(boost::shared_ptr<CComInfo>(new CComInfo));
        return kComNoEndpoint;
    }
    boost::shared_ptr<CUsbCypComInfo> info(new CUsbCypComInfo);
    info->description = DeviceName;
    info->index = index;
    info->busy = 1;
    info->kind = CComInfo::KIND_BULK_USB;
    info->vendor_id = VendorID;
    info->product_id = ProductID;
    info->usb3 = is_usb3(BcdUSB) ? 1 : 0;
    info->usb2 = info->usb3 ? 0 : 1;
    set_device_info(info);
    BulkInEndPt->TimeOut = INFINITE;
    BulkOutEndPt->TimeOut = kWriteBoundMs;
    clear_rx();
    set_closing(false);
    set_device_handle(DeviceHandle());

    purge_transmit();
    purge_receive();
    m_reader_stop = true;
    m_reader_done = false;
    m_reader = std::make_unique<boost::thread>(boost::bind(&CUsbCypCom::reader, this));
    while (m_reader_stop && !m_reader_done) Sleep(2);
    return 0;
}

void CUsbCypCom::reader() {
    CCyUSBEndPoint* const ep = BulkInEndPt;
    InTransfer a, b;
    InTransfer* current = &a;
    InTransfer* next = &b;
    m_cycles = 0;
    m_chunks = 0;
    const std::uint32_t completionWait = is_usb3(BcdUSB) ? kUsb3CompletionWaitMs : INFINITE;
    if (!a.event || !b.event || !current->start(*ep)) {
        OutputDebugStringA(("[ERROR] DavAzuv - BulkInEndPt: " + UsbdStatusText(ep->UsbdStatus) + "\n").c_str());
        m_reader_done = true;
        return;
    }
    m_reader_stop = false;
    bool nextAbortedByUs = false;  // the reset below aborts the transfer just started
    for (;;) {
        bool abortedByUs = std::exchange(nextAbortedByUs, false);
        if (!ep->WaitForXfer(&current->ov, completionWait)) {
            ep->CancelPipe();
            WaitForSingleObject(current->event, INFINITE);
            abortedByUs = true;
        }
        std::uint32_t received = BUF_SIZE;
        const bool finished = ep->FinishDataXfer(current->buffer.data(), received, &current->ov, current->request);
        current->pending = false;
        const std::uint32_t usbd = ep->UsbdStatus, nt = ep->NtStatus;
        const bool started = next->start(*ep);

        if (!finished && received) {
            std::ostringstream line;
            line << "[INFO] DavAzuv - BulkInEndPt Reset and Abort on FinishDataXfer Failure (rx_bytes: " << received
                 << ") : " << UsbdStatusText(usbd) << "\n";
            debug(line);
            ep->ResetPipe();
            ep->CancelPipe();
            nextAbortedByUs = true;
        }
        if (received) {
            if (received > BUF_SIZE) {
                std::ostringstream line;
                line << "Warning - CUsbCypCom Type - m_rx_bytes too big!! m_rx_bytes(" << received << ") vs BUF_SIZE("
                     << BUF_SIZE << ")\n";
                debug(line);
                received = BUF_SIZE;
            }
            deliver_rx(std::span<const std::uint8_t>(current->buffer.data(), received));
            ++m_chunks;
        }
        // A transfer that the reader or close aborted itself ends cancelled: that is no device error.
        const bool cancelled = usbd == qusb::kUsbdStatusCanceled && (abortedByUs || m_reader_stop);
        if (!started || (!finished && !cancelled && (usbd != 0 || nt != 0 || ep->LastError != 0))) {
            OutputDebugStringA(("[ERROR] DavAzuv - BulkInEndPt: " + UsbdStatusText(started ? usbd : ep->UsbdStatus) +
                                "\n")
                                   .c_str());
            m_reader_stop = true;
        }
        ++m_cycles;
        if (m_reader_stop) break;
        std::swap(current, next);
    }
    // The transfer started last must end before its buffer goes.
    next->drop(*ep);
    m_reader_done = true;
}

void CUsbCypCom::stop_reader() {
    m_reader_stop = true;
    set_closing(true);
    purge_transmit();
    purge_receive();  // the abort ends the reader's pending transfer
    if (m_reader) {
        if (m_reader->joinable()) m_reader->join();
        m_reader.reset();
    }
    clear_rx();
    set_closing(false);
}

void CUsbCypCom::stop() {
    if (is_open()) stop_reader();
}

std::int32_t CUsbCypCom::close() {
    if (!is_open()) return kComNotOpen;
    stop_reader();
    set_device_handle(nullptr);
    clear_rx();
    // The driver admits one handle per device: a closed transport must not keep the board, or a
    // board object that outlives its stop (a shared context) would hold it from the next start.
    CloseDevice();
    return 0;
}

std::int32_t CUsbCypCom::read(std::uint8_t* buffer, std::uint32_t count) {
    if (!is_open()) return kComNotOpen;
    if (!BulkInEndPt) return kComNoEndpoint;
    std::uint32_t length = count;
    return BulkInEndPt->TransferSync(buffer, length) ? 0 : kComReadFailed;
}

void CUsbCypCom::log_out_failure(const char* what, std::uint32_t done, std::uint32_t asked, const std::uint8_t* bytes) {
    std::ostringstream line;
    line << "[WARNING] DavAzuv - " << what << " (0) - BulkOutEndPt: " << UsbdStatusText(BulkOutEndPt->UsbdStatus) << "\n"
         << "  tx_bytes: " << done;
    if (done != asked) line << " - nb_bytes_to_write " << asked;
    line << " - BulkOutEndPt->MaxPktSize: " << BulkOutEndPt->MaxPktSize << "\n"
         << "  data: " << hexBytes(bytes, asked) << "\n";
    debug(line);
}

std::int32_t CUsbCypCom::write(const std::uint8_t* bytes, std::uint32_t count) {
    if (!is_open()) return kComNotOpen;
    if (!BulkOutEndPt) return kComNoEndpoint;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!ov.hEvent) return kComWriteFailed;
    auto* data = const_cast<std::uint8_t*>(bytes);  // an OUT transfer only reads the buffer
    XferRequest request = BulkOutEndPt->StartTransfer(data, count, &ov);
    std::int32_t result = 0;
    if (request.empty() || !BulkOutEndPt->WaitForXfer(&ov, BulkOutEndPt->TimeOut)) {
        log_out_failure("WaitForXfer", 0, count, bytes);
        BulkOutEndPt->CancelPipe();
        result = kComWriteFailed;
    }
    std::uint32_t done = count;
    const bool finished = BulkOutEndPt->FinishDataXfer(data, done, &ov, request);
    if (result == 0 && (!finished || done != count)) {
        // A failed or short transfer did not deliver the frame: the caller must not take it as sent.
        log_out_failure("FinishDataXfer", done, count, bytes);
        BulkOutEndPt->ResetPipe();
        BulkOutEndPt->CancelPipe();
        result = kComWriteFailed;
    }
    CloseHandle(ov.hEvent);
    return result;
}

std::int32_t CUsbCypCom::purge_transmit() {
    if (BulkOutEndPt) {
        BulkOutEndPt->CancelPipe();
        BulkOutEndPt->ResetPipe();
    }
    return 0;
}

std::int32_t CUsbCypCom::purge_receive() {
    if (BulkInEndPt) {
        BulkInEndPt->CancelPipe();
        BulkInEndPt->ResetPipe();
    }
    return 0;
}

void CUsbCypCom::dump_descriptors() {
    std::ostringstream out;
    if (const CCyUSBConfig* config = Config(0)) {
        out << "Configuration Descriptor: bLength " << int(config->bLength) << " wTotalLength " << config->wTotalLength
            << " bNumInterfaces " << int(config->bNumInterfaces) << "\n";
        for (const auto& itf : config->Interfaces)
            out << "Interface Descriptor: bInterfaceNumber " << int(itf->bInterfaceNumber) << " bAlternateSetting "
                << int(itf->bAlternateSetting) << " bNumEndpoints " << int(itf->bNumEndpoints) << "\n";
    }
    for (auto [name, ep] : {std::pair{"BulkInEndPt Descriptor ", BulkInEndPt}, std::pair{"BulkOutEndPt Descriptor ", BulkOutEndPt}}) {
        out << name;
        if (!ep) {
            out << "ept NULL\n";
            continue;
        }
        out << "EndPoint Descriptor: bEndpointAddress 0x" << std::hex << int(ep->Address) << std::dec << " bmAttributes "
            << int(ep->Attributes) << " MaxPktSize " << ep->MaxPktSize << " bInterval " << int(ep->Interval) << "\n";
    }
    debug(out);
}
