// The endpoint classes of the USB device driver's transfer interface (usb/usb_transfer.h): each
// start operation sends one overlapped request and returns its request buffer, which must stay
// alive, untouched, until FinishDataXfer takes it back after the transfer has ended.
//
// Contract: an endpoint has no lock. One thread at a time drives one endpoint; every transfer has
// its own OVERLAPPED record and its own unnamed event, so transfers of different endpoints (the
// bulk IN reader and the bulk OUT writer) run side by side. Results are kept in the endpoint:
// UsbdStatus and NtStatus from the header, LastError from the platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32/windows.h"

using XferRequest = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kDescEndpoint = 5;
inline constexpr std::uint8_t kDescSsCompanion = 0x30;

class CCyUSBEndPoint {
public:
    // `descriptor`: the 7-byte endpoint descriptor; `companion`: the 6-byte SuperSpeed companion
    // or null.
    CCyUSBEndPoint(HANDLE device, const std::uint8_t* descriptor, const std::uint8_t* companion);
    virtual ~CCyUSBEndPoint() = default;

    virtual XferRequest StartDirectTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov);
    virtual XferRequest StartBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov);
    virtual XferRequest StartTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) = 0;
    // Ends a transfer whose wait is over: `length` in is the room of `buffer`, out the bytes moved.
    // True when the platform and both statuses report success.
    virtual bool FinishDataXfer(std::uint8_t* buffer, std::uint32_t& length, OVERLAPPED* ov, XferRequest& request);

    // Waits for a started transfer up to `ms`: true when it has ended.
    bool WaitForXfer(OVERLAPPED* ov, std::uint32_t ms);
    // One whole transfer, waited for up to TimeOut (then aborted): true on success.
    bool TransferSync(std::uint8_t* buffer, std::uint32_t& length);
    // Aborts the endpoint's pending transfers and waits until the driver has done so. Both touch
    // no field, so another thread may call them while a transfer runs.
    bool CancelPipe();
    bool ResetPipe();

    // Time-out of TransferSync and of control transfers; INFINITE waits without limit.
    static constexpr std::uint32_t kDefaultTimeOut = 10000;
    std::uint32_t TimeOut = kDefaultTimeOut;

    HANDLE hDevice;
    std::uint8_t DscLen, DscType, Address, Attributes;
    std::uint16_t MaxPktSize;
    std::uint16_t PktsPerFrame;
    std::uint8_t Interval;
    std::uint8_t ssmaxburst = 0, ssbmAttribute = 0;
    std::uint16_t ssbytesperinterval = 0;
    std::uint32_t UsbdStatus = 0, NtStatus = 0, bytesWritten = 0, LastError = 0;
    bool bIn;
    bool bDirect = false;

protected:
    XferRequest start(std::uint32_t code, XferRequest request, std::uint8_t* out, std::uint32_t outSize, OVERLAPPED* ov);
    bool AwaitTransfer(OVERLAPPED* ov);
};

class CCyControlEndPoint final : public CCyUSBEndPoint {
public:
    CCyControlEndPoint(HANDLE device, std::uint16_t maxPacket);
    XferRequest StartTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) override;

    std::uint8_t Target = 0;     // recipient
    std::uint8_t ReqType = 2;    // vendor
    std::uint8_t Direction = 1;  // device to host
    std::uint8_t ReqCode = 0;
    std::uint16_t Value = 0;
    std::uint16_t Index = 0;
};

// Isochronous, bulk and interrupt endpoints: direct transfers once an interface setting is
// selected, buffered before.
class CCyDataEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    XferRequest StartTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) override;
};
class CCyIsocEndPoint final : public CCyDataEndPoint {
public:
    using CCyDataEndPoint::CCyDataEndPoint;
    XferRequest StartDirectTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) override;
    XferRequest StartBufferedTransfer(std::uint8_t* buffer, std::uint32_t length, OVERLAPPED* ov) override;
    // Packets of a transfer of `length` bytes: rounded up, 0 when nothing can be sent.
    std::uint32_t packetCount(std::uint32_t length) const;
};
class CCyBulkEndPoint final : public CCyDataEndPoint {
public:
    using CCyDataEndPoint::CCyDataEndPoint;
};
class CCyInterruptEndPoint final : public CCyDataEndPoint {
public:
    using CCyDataEndPoint::CCyDataEndPoint;
};

// Whole seconds of a control transfer's time-out: 0 stays 0, a part of a second counts as 1 only
// below one second.
std::uint32_t control_timeout_seconds(std::uint32_t ms);

// "[state=SUCCESS status=USBD_STATUS_SUCCESS]" and the like, for diagnostics.
std::string UsbdStatusText(std::uint32_t status);
