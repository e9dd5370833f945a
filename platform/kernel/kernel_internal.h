// Records the kernel stand-in keeps behind the driver-visible objects, shared by its own files
// (never included by drivers). Each object points to its record through the field the platform
// reserves for the kernel: DRIVER_OBJECT::DriverSection, DEVICE_OBJECT::DeviceObjectExtension,
// FILE_OBJECT::FileObjectExtension.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/file_lock.h"
#include "pnp.h"
#include "wdm.h"

namespace qk::kernel {

// ---- names: kernel names are wide; paths on the request seam are narrow (ASCII).
std::string narrow(const WCHAR* text, std::size_t length);
std::string narrow(PCUNICODE_STRING text);
std::wstring widen(const std::string& text);
std::wstring wide(PCUNICODE_STRING text);
std::wstring foldCase(std::wstring text);  // ASCII upper case: names compare without case

// ---- drivers
struct DriverRecord {
    DRIVER_OBJECT object{};
    DRIVER_EXTENSION extension{};
    std::wstring name;        // "\Driver\<service>"
    std::wstring serviceKey;  // registry path given to DriverEntry
    std::atomic<bool> loaded{true};
};
DriverRecord& record(PDRIVER_OBJECT driver);
// A driver object whose dispatch routines all answer STATUS_INVALID_DEVICE_REQUEST. Driver
// objects live until the process ends, so that a late request to an unloaded driver is refused
// instead of reaching freed memory.
PDRIVER_OBJECT createDriverObject(const std::wstring& service);
NTSTATUS invalidDeviceRequest(PDEVICE_OBJECT device, PIRP irp);

// ---- devices
struct DeviceRecord {
    PDEVICE_OBJECT object = nullptr;
    std::atomic<long> references{1};  // the creation reference, released by IoDeleteDevice
    std::wstring name;                // folded; empty for an unnamed device
    bool deleted = false;             // under the namespace lock
    int openFiles = 0;                // under the namespace lock
    // Runs once when the object is freed (the framework frees its device there).
    void (*onFree)(PDEVICE_OBJECT) = nullptr;
    std::atomic<int> devicePower{PowerDeviceUnspecified};  // as last reported with PoSetPowerState
    // Physical device objects: the device power IRPs asked for with PoRequestPowerIrp, sent one at a
    // time as the power manager does; the one in flight is not in the list.
    std::mutex powerLock;
    bool powerInFlight = false;
    std::deque<PIRP> powerWaiting;
    // Physical device objects of the PnP manager: the board behind it.
    std::shared_ptr<const qk::pnp::BoardDescription> board;
};
DeviceRecord& record(PDEVICE_OBJECT device);
void referenceDevice(PDEVICE_OBJECT device);
void dereferenceDevice(PDEVICE_OBJECT device);

// Opens a name for the I/O manager: a Win32 device path ("\\.\X") through its symbolic link, or
// a device-interface path. The device comes referenced; fileName is the interface's "\reference".
struct OpenTarget {
    PDEVICE_OBJECT device;
    std::wstring fileName;
};
std::optional<OpenTarget> resolveOpenPath(const std::string& path);
// Counts an open file on `device` and takes the device's hold for the machine into `hold`: an
// advisory lock in the machine root, exclusive on an exclusive stack, shared otherwise, that every
// process of the machine sees. False when an exclusive stack is already open, in this process or
// in another one. An unnamed device, or one whose hold file cannot be made, is held in this
// process alone.
bool acquireOpen(PDEVICE_OBJECT device, qbase::FileLock& hold);
// Releases the hold, then the count.
void releaseOpen(PDEVICE_OBJECT device, qbase::FileLock& hold);
// Another process of the machine holds `device` open, and this process holds no file on it.
bool openElsewhere(PDEVICE_OBJECT device);
std::vector<std::string> enabledInterfaces(const GUID& interfaceClass);
void dropInterfaces(PDEVICE_OBJECT physicalDevice);

// ---- IRPs
enum class IrpOrigin {
    Driver,        // IoAllocateIrp: the driver frees it
    Synchronous,   // IoBuildSynchronousFsdRequest: status copied, freed, event set
    Waited,        // the kernel's own requests (sendAndWait): event set, the sender frees it
    PowerRequest,  // PoRequestPowerIrp: completion function called, then freed
};
struct PowerRequest {
    PREQUEST_POWER_COMPLETE completion = nullptr;
    PVOID context = nullptr;
    PDEVICE_OBJECT device = nullptr;  // the physical device object it was requested for
    PDEVICE_OBJECT top = nullptr;     // the top of its stack, referenced until the IRP is sent
    UCHAR minorFunction = 0;
    POWER_STATE state{};
};
PIRP allocateIrp(CCHAR stackSize, IrpOrigin origin);
PowerRequest& powerRequest(PIRP irp);
// Sends the next device power IRP waiting for the physical device, once the one in flight is done.
void startNextPowerRequest(PDEVICE_OBJECT physicalDevice);
// A fresh IRP for the stack whose top is `top`, with its first location filled for `major`.
PIRP buildIrp(PDEVICE_OBJECT top, UCHAR major, UCHAR minor, PFILE_OBJECT file = nullptr);
// Sends a Waited IRP to `top` and waits for its completion, however long the stack takes.
NTSTATUS sendAndWait(PDEVICE_OBJECT top, PIRP irp);

// ---- work items
void drainWorkItems();  // waits until every queued work item has run

// ---- IRQL
class PassiveScope {  // runs a callback at PASSIVE_LEVEL whatever the thread's level
public:
    PassiveScope();
    ~PassiveScope();
    PassiveScope(const PassiveScope&) = delete;
    PassiveScope& operator=(const PassiveScope&) = delete;

private:
    KIRQL saved_;
};

}  // namespace qk::kernel
