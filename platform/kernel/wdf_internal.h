// The framework's objects behind the KMDF handles (never included by drivers). Every handle
// points to an object whose only base is qk::wdf::Object, so a WDFOBJECT converts back to it.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "kernel_internal.h"
#include "wdf.h"

namespace qk::wdf {

enum class Kind { Driver, Device, Queue, Request, File, ResourceList, String };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Takes the attributes' clean-up callback and allocates the zeroed typed context they name.
    void setAttributes(PWDF_OBJECT_ATTRIBUTES attributes);
    void cleanup();  // runs the clean-up callback once

    const Kind kind;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanupCallback = nullptr;
    PFN_WDF_OBJECT_CONTEXT_DESTROY destroyCallback = nullptr;
    PCWDF_OBJECT_CONTEXT_TYPE_INFO contextType = nullptr;
    void* context = nullptr;
};

Object* objectOf(WDFOBJECT handle);

// Routes every major function of a framework driver; installed by WdfDriverCreate.
NTSTATUS dispatch(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS addDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physicalDevice);
WDFDRIVER driverOf(PDRIVER_OBJECT driver);
// Completes a request's IRP and lets its queue deliver the next one.
void complete(WDFREQUEST request, NTSTATUS status);

}  // namespace qk::wdf

struct WDFDRIVER__ : qk::wdf::Object {
    WDFDRIVER__() : Object(qk::wdf::Kind::Driver) {}
    PDRIVER_OBJECT wdm = nullptr;
    WDF_DRIVER_CONFIG config{};
};

struct WDFDEVICE_INIT {
    WDFDRIVER driver = nullptr;
    PDEVICE_OBJECT physicalDevice = nullptr;
    WDF_PNPPOWER_EVENT_CALLBACKS pnpPower{};
    WDF_FILEOBJECT_CONFIG fileObject{};
    WDF_OBJECT_ATTRIBUTES fileAttributes{};
    bool hasFileAttributes = false;
    bool exclusive = false;
    DEVICE_TYPE deviceType = FILE_DEVICE_UNKNOWN;
    WDFDEVICE created = nullptr;
};

struct WDFCMRESLIST__ : qk::wdf::Object {
    WDFCMRESLIST__() : Object(qk::wdf::Kind::ResourceList) {}
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> descriptors;
    void assign(const CM_RESOURCE_LIST* list);
};

struct WDFSTRING__ : qk::wdf::Object {
    WDFSTRING__() : Object(qk::wdf::Kind::String) {}
    std::wstring text;
};

struct WDFFILEOBJECT__ : qk::wdf::Object {
    WDFFILEOBJECT__() : Object(qk::wdf::Kind::File) {}
    WDFDEVICE device = nullptr;
    PFILE_OBJECT wdm = nullptr;
};

struct WDFREQUEST__ : qk::wdf::Object {
    WDFREQUEST__() : Object(qk::wdf::Kind::Request) {}
    PIRP irp = nullptr;
    WDFDEVICE device = nullptr;
    WDFQUEUE queue = nullptr;       // the queue that delivered it; null for a create request
    WDFFILEOBJECT createdFile = nullptr;  // a create request: the file object it opens
    ULONG_PTR information = 0;
};

// A queue: requests wait while it is stopped (device not started, or asleep) and are delivered
// to the driver as its dispatch type allows; a stopped queue can be purged.
struct WDFQUEUE__ : qk::wdf::Object {
    WDFQUEUE__() : Object(qk::wdf::Kind::Queue) {}
    WDFDEVICE device = nullptr;
    WDF_IO_QUEUE_CONFIG config{};

    void arrive(WDFREQUEST request);
    void finished();  // a delivered request was completed
    void start();
    void stopAndWait();                 // stop delivering and wait for the requests in the driver
    void purge(NTSTATUS status);        // refuse from now on; waiting requests complete with status

private:
    void pump();

    std::mutex lock_;
    std::condition_variable idle_;
    std::deque<WDFREQUEST> waiting_;
    int inDriver_ = 0;
    bool running_ = false;
    bool purged_ = false;
    bool pumping_ = false;
};

struct WDFDEVICE__ : qk::wdf::Object {
    WDFDEVICE__() : Object(qk::wdf::Kind::Device) {}
    ~WDFDEVICE__() override;

    struct Interface {
        GUID interfaceClass;
        std::wstring reference;
        UNICODE_STRING link{};
    };

    WDFDRIVER driver = nullptr;
    PDEVICE_OBJECT fdo = nullptr;
    PDEVICE_OBJECT physicalDevice = nullptr;
    PDEVICE_OBJECT lower = nullptr;
    WDF_PNPPOWER_EVENT_CALLBACKS pnpPower{};
    WDF_FILEOBJECT_CONFIG fileObject{};
    WDF_OBJECT_ATTRIBUTES fileAttributes{};
    bool hasFileAttributes = false;
    WDFQUEUE defaultQueue = nullptr;
    std::vector<WDFQUEUE> queues;
    std::vector<Interface> interfaces;
    WDFCMRESLIST raw = nullptr;
    WDFCMRESLIST translated = nullptr;
    // PnP state, changed only by the (serialised) PnP and power requests.
    bool started = false;
    bool asleep = false;
    bool hardwarePrepared = false;
    std::atomic<bool> removed{false};
};
