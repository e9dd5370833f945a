// The request seam between the user-mode stand-in (platform/win32) and the kernel stand-in's
// I/O manager. It is the only way user mode reaches a driver, and it is deliberately narrow
// ({code, input, output length} -> {status, output}) so that a host process can serve it later.
//
// Contract of every entry:
//   - may block: yes, for as long as the driver takes (a driver may poll a board for up to 50 s);
//     the driver's dispatch runs on the caller's thread (or on the driver's queue, which completes
//     before the call returns);
//   - locks held by the caller: none required; entries are thread-safe;
//   - results: NT status values; the Win32 layer turns them into last-error codes with
//     ntStatusToWin32Error(), the one place where that translation is made;
//   - clean-up: a failed open leaves nothing open; close always releases the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qk {

using NTSTATUS = std::int32_t;

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};

using FileId = std::uint64_t;  // 0 is never a valid file

struct OpenResult {
    NTSTATUS status;
    FileId file;  // valid when status is a success
};

struct ControlResult {
    NTSTATUS status;
    std::vector<std::uint8_t> output;  // exactly the information field's bytes (empty on failure)
};

class IoSeam {
public:
    virtual ~IoSeam() = default;
    // `path` is a Win32 device name ("\\.\AMBRIX1") or a device-interface path returned by
    // interfaces(). desiredAccess/shareMode are the Win32 values (GENERIC_READ..., FILE_SHARE_...).
    // An exclusive device that already has an open file, in this process or in another process of
    // the machine, refuses with STATUS_ACCESS_DENIED; an unknown name gives
    // STATUS_OBJECT_NAME_NOT_FOUND.
    virtual OpenResult open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode) = 0;
    // One buffered device-control request. The output holds at most outputLength bytes.
    virtual ControlResult deviceControl(FileId file, std::uint32_t code, const std::vector<std::uint8_t>& input,
                                        std::uint32_t outputLength) = 0;
    virtual void close(FileId file) = 0;
    // Whether another process of the machine has the device of `path` open while this process has
    // no file on it (the drivers, which run in each process, publish only this process's opens).
    virtual bool openElsewhere(const std::string&) { return false; }
    // Device-interface paths of the present interfaces of a class, in member-index order.
    virtual std::vector<std::string> interfaces(const Guid& interfaceClass) = 0;
};

// The process's seam: the kernel's I/O manager unless replaced. Entries boot the simulated machine
// on first use (qbase::ensureMachineBooted()).
IoSeam& ioSeam();
// Replaces the seam (tests of the Win32 layer, a future host process); nullptr restores the I/O manager.
void installIoSeam(IoSeam* seam);

// NT status -> Win32 error code: the one translation table of the platform.
// At least: STATUS_SUCCESS 0, STATUS_IO_TIMEOUT 121, STATUS_INVALID_PARAMETER 87,
// STATUS_DEVICE_BUSY 170, STATUS_NOT_SUPPORTED 50, STATUS_NOT_IMPLEMENTED 1, STATUS_ACCESS_DENIED 5,
// STATUS_OBJECT_NAME_NOT_FOUND 2, STATUS_NO_SUCH_DEVICE 433, STATUS_INVALID_DEVICE_STATE 5023,
// STATUS_UNSUCCESSFUL 31, STATUS_CANCELLED 995, STATUS_INSUFFICIENT_RESOURCES 1450,
// STATUS_BUFFER_TOO_SMALL 122.
std::uint32_t ntStatusToWin32Error(NTSTATUS status);

}  // namespace qk
