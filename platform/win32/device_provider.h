// Devices served in user mode by another platform stand-in (the USB device driver): their device
// interfaces join SetupDi's lists, CreateFile opens their paths, and DeviceIoControl on their
// handles goes to the device, also overlapped.
//
// Contract of a provider: interfaces() and open() may be called from any thread at any time;
// open() sets `error` (a Win32 error) and returns null when it refuses. A device's control() runs
// on the caller's thread; with an overlapped record it either ends at once (completeOverlapped
// before it returns, result as for a synchronous call) or returns FALSE with ERROR_IO_PENDING and
// ends the request later, from any thread, with completeOverlapped().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "win32/handle_table.h"

namespace qwin32 {

inline constexpr ULONG_PTR kStatusPending = 0x103;

class ProvidedDevice : public KernelObject {
public:
    virtual BOOL control(DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer, DWORD outSize,
                         LPDWORD bytesReturned, OVERLAPPED* overlapped) = 0;
};

class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;
    virtual std::vector<std::string> interfaces(const GUID& interfaceClass) = 0;
    virtual bool serves(const std::string& path) = 0;
    virtual std::shared_ptr<ProvidedDevice> open(const std::string& path, DWORD access, DWORD share, DWORD& error) = 0;
};

// Process-wide list, one lock; a provider stays registered for the life of the process.
void registerDeviceProvider(DeviceProvider* provider);
std::vector<DeviceProvider*> deviceProviders();

// Marks a request as running (before it is handed to the device).
void startOverlapped(OVERLAPPED* overlapped);
// Ends a request: its error and bytes are stored, then its event is set.
void completeOverlapped(OVERLAPPED* overlapped, DWORD error, DWORD bytes);

}  // namespace qwin32
