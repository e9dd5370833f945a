// The I/O manager: the request seam's implementation. It opens files on devices (through
// symbolic links or device interfaces), turns each device-control call into a buffered IRP sent
// to the top of the file's device stack, and waits for its completion however the driver
// finishes it (at once, or pended and completed later from another thread).
//
// A file lives while its handle is open or a request on it is in flight: close sends the
// clean-up request and cancels the requests still in flight; the close request goes to the driver
// when the last of them has finished.
#include "io_seam.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "base/machine_root.h"
#include "kernel_internal.h"

namespace qk {
namespace {

using namespace kernel;

struct OpenFile {
    FILE_OBJECT object{};
    PDEVICE_OBJECT opened = nullptr;  // the named device or interface's device (referenced, counted open)
    PDEVICE_OBJECT target = nullptr;  // the top of its stack when opened (referenced)
    qbase::FileLock hold;             // the machine's hold on the opened device
    std::wstring fileName;
    std::atomic<int> references{1};  // the handle, and each request in flight
    std::mutex lock;
    std::set<PIRP> inFlight;
};

bool driverLoaded(PDEVICE_OBJECT device) { return record(device->DriverObject).loaded.load(); }

// Sends a kernel request for `file` and waits; a device whose driver is gone refuses it.
NTSTATUS send(OpenFile& file, PIRP irp) {
    if (!driverLoaded(file.target)) return STATUS_NO_SUCH_DEVICE;
    return sendAndWait(file.target, irp);
}

NTSTATUS sendSimple(OpenFile& file, UCHAR major) {
    PIRP irp = buildIrp(file.target, major, 0, &file.object);
    if (irp == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    const NTSTATUS status = send(file, irp);
    IoFreeIrp(irp);
    return status;
}

void destroy(OpenFile* file) {
    releaseOpen(file->opened, file->hold);
    dereferenceDevice(file->target);
    dereferenceDevice(file->opened);
    delete file;
}

void release(OpenFile* file) {
    if (file->references.fetch_sub(1) != 1) return;
    sendSimple(*file, IRP_MJ_CLOSE);
    destroy(file);
}

class IoManager final : public IoSeam {
public:
    OpenResult open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode) override {
        qbase::ensureMachineBooted();
        auto target = resolveOpenPath(path);
        if (!target) return {STATUS_OBJECT_NAME_NOT_FOUND, 0};
        qbase::FileLock hold;
        if (!acquireOpen(target->device, hold)) {
            dereferenceDevice(target->device);
            return {STATUS_ACCESS_DENIED, 0};
        }
        auto* file = new OpenFile;
        file->hold = std::move(hold);
        file->opened = target->device;
        file->target = IoGetAttachedDeviceReference(target->device);
        file->fileName = target->fileName;
        file->object.Type = IO_TYPE_FILE;
        file->object.Size = sizeof(FILE_OBJECT);
        file->object.DeviceObject = target->device;
        file->object.FileName.Buffer = file->fileName.data();
        file->object.FileName.Length = static_cast<USHORT>(file->fileName.size() * sizeof(WCHAR));
        file->object.FileName.MaximumLength = file->object.FileName.Length;
        file->object.FileObjectExtension = file;

        PIRP irp = buildIrp(file->target, IRP_MJ_CREATE, 0, &file->object);
        NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
        if (irp != nullptr) {
            PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
            stack->Parameters.Create.ShareAccess = static_cast<USHORT>(shareMode);
            stack->Parameters.Create.Options = desiredAccess;
            status = send(*file, irp);
            IoFreeIrp(irp);
        }
        if (!NT_SUCCESS(status)) {
            destroy(file);
            return {status, 0};
        }
        std::lock_guard lock(mutex_);
        const FileId id = nextId_++;
        files_[id] = file;
        return {STATUS_SUCCESS, id};
    }

    ControlResult deviceControl(FileId id, std::uint32_t code, const std::vector<std::uint8_t>& input,
                                std::uint32_t outputLength) override {
        qbase::ensureMachineBooted();
        OpenFile* file = acquire(id);
        if (file == nullptr) return {STATUS_INVALID_HANDLE, {}};
        ControlResult result = control(*file, code, input, outputLength);
        release(file);
        return result;
    }

    void close(FileId id) override {
        OpenFile* file = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto it = files_.find(id);
            if (it == files_.end()) return;
            file = it->second;
            files_.erase(it);
        }
        sendSimple(*file, IRP_MJ_CLEANUP);
        {
            // The waiting callers take this lock before they free their IRP, so each one stays valid.
            std::lock_guard lock(file->lock);
            for (PIRP irp : file->inFlight) IoCancelIrp(irp);
        }
        release(file);
    }

    bool openElsewhere(const std::string& path) override {
        qbase::ensureMachineBooted();
        auto target = resolveOpenPath(path);
        if (!target) return false;
        const bool elsewhere = kernel::openElsewhere(target->device);
        dereferenceDevice(target->device);
        return elsewhere;
    }

    std::vector<std::string> interfaces(const Guid& interfaceClass) override {
        qbase::ensureMachineBooted();
        GUID g{interfaceClass.data1, interfaceClass.data2, interfaceClass.data3, {}};
        std::copy(std::begin(interfaceClass.data4), std::end(interfaceClass.data4), g.Data4);
        return enabledInterfaces(g);
    }

private:
    OpenFile* acquire(FileId id) {
        std::lock_guard lock(mutex_);
        auto it = files_.find(id);
        if (it == files_.end()) return nullptr;
        it->second->references.fetch_add(1);
        return it->second;
    }

    ControlResult control(OpenFile& file, std::uint32_t code, const std::vector<std::uint8_t>& input,
                          std::uint32_t outputLength) {
        PIRP irp = buildIrp(file.target, IRP_MJ_DEVICE_CONTROL, 0, &file.object);
        if (irp == nullptr) return {STATUS_INSUFFICIENT_RESOURCES, {}};
        // Buffered I/O: one system buffer holds the input on the way down and the output on the way up.
        const std::size_t size = std::max<std::size_t>(input.size(), outputLength);
        auto* buffer = static_cast<std::uint8_t*>(size ? ExAllocatePool(NonPagedPool, size) : nullptr);
        if (size && buffer == nullptr) {
            IoFreeIrp(irp);
            return {STATUS_INSUFFICIENT_RESOURCES, {}};
        }
        if (size) {
            std::memset(buffer, 0, size);
            std::copy(input.begin(), input.end(), buffer);
        }
        irp->AssociatedIrp.SystemBuffer = buffer;
        PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
        stack->Parameters.DeviceIoControl.IoControlCode = code;
        stack->Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(input.size());
        stack->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
        {
            std::lock_guard lock(file.lock);
            file.inFlight.insert(irp);
        }
        const NTSTATUS status = send(file, irp);
        {
            std::lock_guard lock(file.lock);
            file.inFlight.erase(irp);
        }
        ControlResult result{status, {}};
        if (!NT_ERROR(status)) {
            // A driver that reports more than the caller's room gets only the room copied back.
            const std::size_t count = std::min<std::size_t>(irp->IoStatus.Information, outputLength);
            result.output.assign(buffer, buffer + count);
        }
        ExFreePool(buffer);
        IoFreeIrp(irp);
        return result;
    }

    std::mutex mutex_;
    std::map<FileId, OpenFile*> files_;
    FileId nextId_ = 1;
};

IoManager& ioManager() {
    static IoManager& instance = *new IoManager;  // never destroyed, as the kernel's other state
    return instance;
}
std::atomic<IoSeam*> installed{nullptr};

}  // namespace

IoSeam& ioSeam() {
    IoSeam* seam = installed.load();
    return seam ? *seam : ioManager();
}

void installIoSeam(IoSeam* seam) { installed.store(seam); }

}  // namespace qk
