#include "cy_usb_endpoint.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/spin_wait.h"
#include "usb/usb_transfer.h"

namespace {

using qusb::kTransferHeaderSize;
using qusb::TransferHeader;

constexpr DWORD kAbortGraceMs = 50;
constexpr std::uint32_t kIsoPacketInfoSize = 8;

bool validHandle(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }

}  // namespace

std::uint32_t control_timeout_seconds(std::uint32_t ms) {
    if (ms == INFINITE) return INFINITE;
    const std::uint32_t seconds = ms / 1000;
    return seconds == 0 && ms != 0 ? 1 : seconds;
}

CCyUSBEndPoint::CCyUSBEndPoint(HANDLE device, const std::uint8_t* d, const std::uint8_t* companion)
    : hDevice(device), DscLen(d[0]), DscType(d[1]), Address(d[2]), Attributes(d[3]), Interval(d[6]),
      bIn((d[2] & 0x80) != 0) {
    const std::uint16_t wMax = static_cast<std::uint16_t>(d[4] | d[5] << 8);
    PktsPerFrame = static_cast<std::uint16_t>(((wMax >> 11) & 3) + 1);
    std::uint32_t size = (wMax & 0x7FFu) * PktsPerFrame;
    if (companion) {
        ssmaxburst = companion[2];
        ssbmAttribute = companion[3];
        ssbytesperinterval = static_cast<std::uint16_t>(companion[4] | companion[5] << 8);
        size *= ssmaxburst + 1u;
        if ((Attributes & 3) == 1) size *= (ssbmAttribute & 3u) + 1;
    }
    MaxPktSize = static_cast<std::uint16_t>(std::min<std::uint32_t>(size, 0xFFFF));
}

XferRequest CCyUSBEndPoint::start(std::uint32_t code, XferRequest request, std::uint8_t* out, std::uint32_t outSize,
                                  OVERLAPPED* ov) {
    const bool sameBuffer = out == nullptr;
    const auto size = static_cast<DWORD>(request.size());
    const BOOL ok = DeviceIoControl(hDevice, code, request.data(), size, sameBuffer ? request.data() : out,
                                    sameBuffer ? size : outSize, nullptr, ov);
    LastError = ok ? 0 : GetLastError();
    // A running request's header belongs to the driver until the request ends.
    if (LastError == ERROR_IO_PENDING) {
        UsbdStatus = NtStatus = 0;
    } else {
        const TransferHeader h = TransferHeader::read(request.data());
        UsbdStatus = h.usbdStatus;
        NtStatus = h.ntStatus;
    }
    return request;
}

XferRequest CCyUSBEndPoint::StartDirectTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) {
    if (!validHandle(hDevice)) return {};
    XferRequest request(kTransferHeaderSize, 0);
    TransferHeader h;
    h.endpointAddress = Address;
    h.dataOffset = 0;
    h.dataLength = length;
    h.write(request.data());
    return start(qusb::ioctl::kDirectTransfer, std::move(request), buffer, length, ov);
}

XferRequest CCyUSBEndPoint::StartBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) {
    if (!validHandle(hDevice)) return {};
    XferRequest request(kTransferHeaderSize + length, 0);
    TransferHeader h;
    h.endpointAddress = Address;
    h.dataOffset = kTransferHeaderSize;
    h.dataLength = length;
    h.write(request.data());
    if (length && buffer) std::memcpy(request.data() + kTransferHeaderSize, buffer, length);
    return start(qusb::ioctl::kBufferedTransfer, std::move(request), nullptr, 0, ov);
}

bool CCyUSBEndPoint::FinishDataXfer(std::uint8_t* buffer, std::uint32_t& length, OVERLAPPED* ov, XferRequest& request) {
    const std::uint32_t room = length;
    length = 0;
    if (request.size() < kTransferHeaderSize) return false;  // nothing was started
    DWORD returned = 0;
    BOOL ok = GetOverlappedResult(hDevice, ov, &returned, FALSE);
    if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) {
        // Still running: the driver would write into a freed buffer. End it first.
        CancelPipe();
        ok = GetOverlappedResult(hDevice, ov, &returned, TRUE);
    }
    LastError = ok ? 0 : GetLastError();
    const TransferHeader h = TransferHeader::read(request.data());
    UsbdStatus = h.usbdStatus;
    NtStatus = h.ntStatus;
    std::uint32_t moved = returned > h.dataOffset ? returned - h.dataOffset : 0;
    moved = std::min(moved, room);
    if (h.dataOffset != 0) {
        const std::size_t held = request.size() - std::min<std::size_t>(request.size(), h.dataOffset);
        moved = static_cast<std::uint32_t>(std::min<std::size_t>(moved, held));
        if (bIn && moved && buffer) std::memcpy(buffer, request.data() + h.dataOffset, moved);
    }
    bytesWritten = moved;
    length = moved;
    request.clear();
    request.shrink_to_fit();
    return ok && UsbdStatus == 0 && NtStatus == 0;
}

bool CCyUSBEndPoint::WaitForXfer(OVERLAPPED* ov, std::uint32_t ms) {
    if (LastError == 0) return true;
    if (LastError != ERROR_IO_PENDING) return false;
    // A transfer waited for in a loop (the bulk reader's) often ends within microseconds: spin
    // before blocking (base/spin_wait.h). The wait below then takes the event's signal.
    if (ms != 0) qbase::spinUntil([ov] { return HasOverlappedIoCompleted(ov) != FALSE; });
    return WaitForSingleObject(ov->hEvent, ms) == WAIT_OBJECT_0;
}

bool CCyUSBEndPoint::AwaitTransfer(OVERLAPPED* ov) {
    if (LastError == 0) return true;
    if (LastError != ERROR_IO_PENDING) return false;
    DWORD r = WaitForSingleObject(ov->hEvent, TimeOut);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_TIMEOUT) return false;
    CancelPipe();
    r = WaitForSingleObject(ov->hEvent, kAbortGraceMs);
    if (r == WAIT_OBJECT_0) return true;
    CancelPipe();
    WaitForSingleObject(ov->hEvent, INFINITE);
    return false;
}

bool CCyUSBEndPoint::TransferSync(std::uint8_t* buffer, std::uint32_t& length) {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!ov.hEvent) return false;
    const std::uint32_t room = length;
    XferRequest request = StartTransfer(buffer, length, &ov);
    const bool waited = !request.empty() && AwaitTransfer(&ov);
    length = room;
    const bool finished = FinishDataXfer(buffer, length, &ov, request);
    CloseHandle(ov.hEvent);
    return waited && finished;
}

bool CCyUSBEndPoint::CancelPipe() {
    if (!validHandle(hDevice)) return false;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::uint8_t address = Address;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(hDevice, qusb::ioctl::kAbortPipe, &address, 1, nullptr, 0, &returned, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(hDevice, &ov, &returned, TRUE);
    CloseHandle(ov.hEvent);
    return ok != FALSE;
}

bool CCyUSBEndPoint::ResetPipe() {
    if (!validHandle(hDevice)) return false;
    std::uint8_t address = Address;
    DWORD returned = 0;
    return DeviceIoControl(hDevice, qusb::ioctl::kResetPipe, &address, 1, nullptr, 0, &returned, nullptr) != FALSE;
}

namespace {
constexpr std::uint8_t kEndpointZero[7] = {7, kDescEndpoint, 0, 0, 0, 0, 0};
}

CCyControlEndPoint::CCyControlEndPoint(HANDLE device, std::uint16_t maxPacket)
    : CCyUSBEndPoint(device, kEndpointZero, nullptr) {
    MaxPktSize = maxPacket;
}

XferRequest CCyControlEndPoint::StartTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) {
    if (!validHandle(hDevice)) return {};
    length = std::min<std::uint32_t>(length, 0xFFFF);
    XferRequest request(kTransferHeaderSize + length, 0);
    TransferHeader h;
    h.bmRequestType = static_cast<std::uint8_t>(Direction << 7 | ((ReqType << 5) & 0x60) | (Target & 0x1F));
    h.bRequest = ReqCode;
    h.wValue = Value;
    h.wIndex = Index;
    h.wLength = static_cast<std::uint16_t>(length);
    h.timeoutSeconds = control_timeout_seconds(TimeOut);
    h.endpointAddress = 0;
    h.dataOffset = kTransferHeaderSize;
    h.dataLength = length;
    h.write(request.data());
    if (length && buffer) std::memcpy(request.data() + kTransferHeaderSize, buffer, length);
    bIn = Direction == 1;
    return start(qusb::ioctl::kControlTransfer, std::move(request), nullptr, 0, ov);
}

XferRequest CCyDataEndPoint::StartTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) {
    if (!validHandle(hDevice)) return {};
    return bDirect ? StartDirectTransfer(buffer, length, ov) : StartBufferedTransfer(buffer, length, ov);
}

std::uint32_t CCyIsocEndPoint::packetCount(std::uint32_t length) const {
    return MaxPktSize ? (length + MaxPktSize - 1u) / MaxPktSize : 0;
}

XferRequest CCyIsocEndPoint::StartDirectTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) {
    const std::uint32_t packets = packetCount(length);
    if (!validHandle(hDevice) || packets == 0) return {};
    XferRequest request(kTransferHeaderSize + packets * kIsoPacketInfoSize, 0);
    TransferHeader h;
    h.endpointAddress = Address;
    h.isoPacketOffset = kTransferHeaderSize;
    h.isoPacketLength = packets * kIsoPacketInfoSize;
    h.dataLength = length;
    h.write(request.data());
    return start(qusb::ioctl::kDirectTransfer, std::move(request), buffer, length, ov);
}

XferRequest CCyIsocEndPoint::StartBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) {
    const std::uint32_t packets = packetCount(length);
    if (!validHandle(hDevice) || packets == 0) return {};
    const std::uint32_t info = packets * kIsoPacketInfoSize;
    XferRequest request(kTransferHeaderSize + info + length, 0);
    TransferHeader h;
    h.endpointAddress = Address;
    h.isoPacketOffset = kTransferHeaderSize;
    h.isoPacketLength = info;
    h.dataOffset = kTransferHeaderSize + info;
    h.dataLength = length;
    h.write(request.data());
    if (length && buffer) std::memcpy(request.data() + h.dataOffset, buffer, length);
    return start(qusb::ioctl::kBufferedTransfer, std::move(request), nullptr, 0, ov);
}

std::string UsbdStatusText(std::uint32_t status) {
    if ((status & 0x0FFFFFFFu) == 0) return "[state=SUCCESS status=USBD_STATUS_SUCCESS]";
    static constexpr const char* kStates[16] = {" [state=SUCCESS ", "", "", "", " [state=PENDING ", "", "", "",
                                                " [state=ERROR   ", "", "", "", " [state=STALLED ", "", "", ""};
    struct Name {
        std::uint32_t code;
        const char* name;
    };
    // The platform's names of the USBD status codes, with the top bits forced to 0xC.
    static constexpr Name kNames[] = {
        {0xC0000001, "USBD_STATUS_CRC"},
        {0xC0000002, "USBD_STATUS_BTSTUFF"},
        {0xC0000003, "USBD_STATUS_DATA_TOGGLE_MISMATCH"},
        {0xC0000004, "USBD_STATUS_STALL_PID"},
        {0xC0000005, "USBD_STATUS_DEV_NOT_RESPONDING"},
        {0xC0000006, "USBD_STATUS_PID_CHECK_FAILURE"},
        {0xC0000007, "USBD_STATUS_UNEXPECTED_PID"},
        {0xC0000008, "USBD_STATUS_DATA_OVERRUN"},
        {0xC0000009, "USBD_STATUS_DATA_UNDERRUN"},
        {0xC000000A, "USBD_STATUS_RESERVED1"},
        {0xC000000B, "USBD_STATUS_RESERVED2"},
        {0xC000000C, "USBD_STATUS_BUFFER_OVERRUN"},
        {0xC000000D, "USBD_STATUS_BUFFER_UNDERRUN"},
        {0xC000000F, "USBD_STATUS_NOT_ACCESSED"},
        {0xC0000010, "USBD_STATUS_FIFO"},
        {0xC0000011, "USBD_STATUS_XACT_ERROR"},
        {0xC0000012, "USBD_STATUS_BABBLE_DETECTED"},
        {0xC0000013, "USBD_STATUS_DATA_BUFFER_ERROR"},
        {0xC0000030, "USBD_STATUS_ENDPOINT_HALTED"},
        {0xC0000100, "USBD_STATUS_NO_MEMORY"},
        {0xC0000200, "USBD_STATUS_INVALID_URB_FUNCTION"},
        {0xC0000300, "USBD_STATUS_INVALID_PARAMETER"},
        {0xC0000400, "USBD_STATUS_ERROR_BUSY"},
        {0xC0000600, "USBD_STATUS_INVALID_PIPE_HANDLE"},
        {0xC0000700, "USBD_STATUS_NO_BANDWIDTH"},
        {0xC0000800, "USBD_STATUS_INTERNAL_HC_ERROR"},
        {0xC0000900, "USBD_STATUS_ERROR_SHORT_TRANSFER"},
        {0xC0000A00, "USBD_STATUS_BAD_START_FRAME"},
        {0xC0000B00, "USBD_STATUS_ISOCH_REQUEST_FAILED"},
        {0xC0000C00, "USBD_STATUS_FRAME_CONTROL_OWNED"},
        {0xC0000D00, "USBD_STATUS_FRAME_CONTROL_NOT_OWNED"},
        {0xC0007000, "USBD_STATUS_DEVICE_GONE"},
        {0xC0010000, "USBD_STATUS_CANCELED"},
    };
    const std::uint32_t key = (status & 0x0FFFFFFFu) | 0xC0000000u;
    const char* name = "UNKNOWN";
    for (const Name& n : kNames)
        if (n.code == key) name = n.name;
    return std::string(kStates[status >> 28]) + "status=" + name + "]";
}
