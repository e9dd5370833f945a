// The Plug and Play manager and the bus driver below every board: loads driver modules, creates
// a physical device object per board, drives the function driver through add-device, start,
// removal and power requests, and answers the requests that reach the bottom of a stack.
#include "pnp.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "base/registry_store.h"
#include "kernel_internal.h"
#include "quorelle_config.h"

namespace qk::pnp {
namespace {

using namespace kernel;

struct Driver {
    PDRIVER_OBJECT object;
    void* module;  // stays mapped for the process: late calls into the driver's code remain valid
};

struct Node {
    PDEVICE_OBJECT pdo;
    std::string service;
    bool started = false;
    bool surpriseRemoved = false;
};

struct Manager {
    std::mutex lock;  // one PnP or power operation at a time, as the platform's PnP manager does
    std::map<std::string, Driver> drivers;  // by folded service name
    std::map<DeviceNodeId, Node> nodes;
    DeviceNodeId nextNode = 1;
    PDRIVER_OBJECT bus = nullptr;
};
Manager& manager() {
    static Manager& instance = *new Manager;  // never destroyed, as the kernel's other state
    return instance;
}

std::string foldService(std::string service) {
    for (char& c : service) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return service;
}

// Driver modules lie beside this library, in the build tree and in an installed tree alike;
// QUORELLE_MODULE_DIR overrides the folder.
std::string moduleDirectory() {
    if (const char* dir = std::getenv("QUORELLE_MODULE_DIR"); dir && *dir) return dir;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleDirectory), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos) return path.substr(0, slash);
    }
    return QUORELLE_MODULE_DIR;
}

// ---- the bus driver: the bottom of every board's stack

NTSTATUS readConfig(PDEVICE_OBJECT pdo, PIO_STACK_LOCATION stack, PIRP irp) {
    const auto& board = record(pdo).board;
    auto& p = stack->Parameters.ReadWriteConfig;
    if (!board->readConfigSpace || p.WhichSpace != PCI_WHICHSPACE_CONFIG || p.Buffer == nullptr)
        return STATUS_NOT_SUPPORTED;
    const std::vector<std::uint8_t> bytes = board->readConfigSpace(p.Offset, p.Length);
    const std::size_t count = std::min<std::size_t>(bytes.size(), p.Length);
    std::memcpy(p.Buffer, bytes.data(), count);
    irp->IoStatus.Information = count;
    return STATUS_SUCCESS;
}

void powerBoard(PDEVICE_OBJECT pdo, DevicePowerState state) {
    const auto& board = record(pdo).board;
    if (board && board->powerChanged) board->powerChanged(state);
}

NTSTATUS busPnp(PDEVICE_OBJECT pdo, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        powerBoard(pdo, DevicePowerState::D0);  // a bus driver starts its device in D0
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        powerBoard(pdo, DevicePowerState::D3);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_READ_CONFIG:
        status = readConfig(pdo, stack, irp);
        break;
    default:
        break;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS busPower(PDEVICE_OBJECT pdo, PIRP irp) {
    PoStartNextPowerIrp(irp);
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const UCHAR minor = stack->MinorFunction;
    if (minor == IRP_MN_SET_POWER && stack->Parameters.Power.Type == ::DevicePowerState)
        powerBoard(pdo, static_cast<qk::pnp::DevicePowerState>(stack->Parameters.Power.State.DeviceState));
    if (minor == IRP_MN_SET_POWER || minor == IRP_MN_QUERY_POWER) irp->IoStatus.Status = STATUS_SUCCESS;
    const NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS busPassThrough(PDEVICE_OBJECT, PIRP irp) {
    const NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

PDRIVER_OBJECT busDriver(Manager& m) {
    if (m.bus == nullptr) {
        m.bus = createDriverObject(L"PnpManager");
        m.bus->MajorFunction[IRP_MJ_PNP] = busPnp;
        m.bus->MajorFunction[IRP_MJ_POWER] = busPower;
        m.bus->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = busPassThrough;
    }
    return m.bus;
}

// ---- requests to a board's stack

template <typename Fill>
NTSTATUS sendToStack(PDEVICE_OBJECT pdo, UCHAR major, UCHAR minor, Fill fill) {
    PassiveScope passive;
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(pdo);
    PIRP irp = buildIrp(top, major, minor);
    if (irp == nullptr) {
        ObDereferenceObject(top);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (major == IRP_MJ_POWER) irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    fill(IoGetNextIrpStackLocation(irp));
    const NTSTATUS status = sendAndWait(top, irp);
    IoFreeIrp(irp);
    ObDereferenceObject(top);
    return status;
}

NTSTATUS sendPnp(PDEVICE_OBJECT pdo, UCHAR minor) {
    return sendToStack(pdo, IRP_MJ_PNP, minor, [](PIO_STACK_LOCATION) {});
}

// One full descriptor holding every resource of the board (memory first, then ports); NULL for a
// board without resources, as the platform passes it. Free with ExFreePool.
PCM_RESOURCE_LIST resourceList(const BoardDescription& board) {
    const std::size_t count = board.memory.size() + board.ports.size();
    if (count == 0) return nullptr;
    const std::size_t size = sizeof(CM_RESOURCE_LIST) + (count - 1) * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
    auto* list = static_cast<PCM_RESOURCE_LIST>(ExAllocatePool(NonPagedPool, size));
    std::memset(list, 0, size);
    list->Count = 1;
    CM_FULL_RESOURCE_DESCRIPTOR& full = list->List[0];
    full.InterfaceType = board.memory.empty() ? Isa : PCIBus;
    full.PartialResourceList.Version = 1;
    full.PartialResourceList.Revision = 1;
    full.PartialResourceList.Count = static_cast<ULONG>(count);
    CM_PARTIAL_RESOURCE_DESCRIPTOR* d = full.PartialResourceList.PartialDescriptors;
    for (const MemoryResource& m : board.memory) {
        d->Type = CmResourceTypeMemory;
        d->ShareDisposition = CmResourceShareDeviceExclusive;
        d->Flags = CM_RESOURCE_MEMORY_READ_WRITE;
        d->u.Memory.Start.QuadPart = static_cast<LONGLONG>(m.physicalAddress);
        d->u.Memory.Length = m.length;
        ++d;
    }
    for (const PortResource& p : board.ports) {
        d->Type = CmResourceTypePort;
        d->ShareDisposition = CmResourceShareDeviceExclusive;
        d->Flags = CM_RESOURCE_PORT_IO;
        d->u.Port.Start.QuadPart = p.firstPort;
        d->u.Port.Length = p.length;
        ++d;
    }
    return list;
}

// A system power IRP (set or query) to every started device, one after the other.
NTSTATUS sendSystemPower(Manager& m, UCHAR minor, SystemPowerState state) {
    const auto systemState = static_cast<SYSTEM_POWER_STATE>(state);
    const POWER_ACTION action = state == SystemPowerState::Working     ? PowerActionNone
                                : state == SystemPowerState::Hibernate ? PowerActionHibernate
                                                                       : PowerActionSleep;
    NTSTATUS result = STATUS_SUCCESS;
    for (auto& [id, n] : m.nodes) {
        if (!n.started) continue;
        const NTSTATUS status = sendToStack(n.pdo, IRP_MJ_POWER, minor, [&](PIO_STACK_LOCATION stack) {
            stack->Parameters.Power.Type = ::SystemPowerState;
            stack->Parameters.Power.State.SystemState = systemState;
            stack->Parameters.Power.ShutdownType = action;
        });
        if (NT_SUCCESS(result) && !NT_SUCCESS(status)) result = status;
    }
    return result;
}

void removeNode(Manager& m, std::map<DeviceNodeId, Node>::iterator it) {
    PDEVICE_OBJECT pdo = it->second.pdo;
    sendPnp(pdo, IRP_MN_REMOVE_DEVICE);
    dropInterfaces(pdo);
    IoDeleteDevice(pdo);
    m.nodes.erase(it);
}

Node* findNode(Manager& m, DeviceNodeId id) {
    auto it = m.nodes.find(id);
    return it == m.nodes.end() ? nullptr : &it->second;
}

void unloadLocked(Manager& m, std::map<std::string, Driver>::iterator driver) {
    for (auto it = m.nodes.begin(); it != m.nodes.end();) {
        auto next = std::next(it);
        if (foldService(it->second.service) == driver->first) {
            sendPnp(it->second.pdo, IRP_MN_QUERY_REMOVE_DEVICE);
            removeNode(m, it);
        }
        it = next;
    }
    PDRIVER_OBJECT object = driver->second.object;
    if (object->DriverUnload) {
        PassiveScope passive;
        object->DriverUnload(object);
    }
    drainWorkItems();
    record(object).loaded = false;
    m.drivers.erase(driver);
}

}  // namespace

NTSTATUS loadDriver(const std::string& service, const std::string& moduleName) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    const std::string key = foldService(service);
    if (m.drivers.count(key)) return STATUS_IMAGE_ALREADY_LOADED;
    const std::string path = moduleDirectory() + "/lib" + moduleName + ".so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return STATUS_DRIVER_UNABLE_TO_LOAD;
    auto entry = reinterpret_cast<PDRIVER_INITIALIZE>(dlsym(module, "DriverEntry"));
    if (entry == nullptr) return STATUS_DRIVER_UNABLE_TO_LOAD;

    // The service key exists for every installed driver; its parameters live below it.
    qbase::registry::createKey(qbase::registry::Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\" + service);
    PDRIVER_OBJECT driver = createDriverObject(widen(service));
    DriverRecord& rec = record(driver);
    rec.object.DriverInit = entry;
    UNICODE_STRING registryPath;
    RtlInitUnicodeString(&registryPath, rec.serviceKey.c_str());
    NTSTATUS status;
    {
        PassiveScope passive;
        status = entry(driver, &registryPath);
    }
    if (!NT_SUCCESS(status)) {
        rec.loaded = false;  // the platform unloads a driver whose entry fails, without its unload routine
        return status;
    }
    m.drivers[key] = Driver{driver, module};
    return status;
}

void unloadDriver(const std::string& service) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    auto it = m.drivers.find(foldService(service));
    if (it != m.drivers.end()) unloadLocked(m, it);
}

EnumerateResult enumerateBoard(const BoardDescription& board) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    PassiveScope passive;
    const DeviceNodeId id = m.nextNode++;
    EnumerateResult result{STATUS_NO_SUCH_DEVICE, STATUS_NO_SUCH_DEVICE, id};

    std::wstring name = L"\\Device\\QPNP" + std::to_wstring(id);
    UNICODE_STRING pdoName;
    RtlInitUnicodeString(&pdoName, name.c_str());
    PDEVICE_OBJECT pdo = nullptr;
    const NTSTATUS created = IoCreateDevice(busDriver(m), 0, &pdoName, FILE_DEVICE_BUS_EXTENDER, FILE_DEVICE_SECURE_OPEN,
                                            FALSE, &pdo);
    if (!NT_SUCCESS(created)) return {created, created, id};
    record(pdo).board = std::make_shared<const BoardDescription>(board);
    pdo->Flags = (pdo->Flags | DO_BUS_ENUMERATED_DEVICE | DO_POWER_PAGABLE) & ~DO_DEVICE_INITIALIZING;
    m.nodes[id] = Node{pdo, board.service};

    auto driver = m.drivers.find(foldService(board.service));
    if (driver == m.drivers.end()) return result;
    PDRIVER_ADD_DEVICE addDevice = driver->second.object->DriverExtension->AddDevice;
    result.addStatus = addDevice ? addDevice(driver->second.object, pdo) : STATUS_INVALID_DEVICE_REQUEST;
    if (!NT_SUCCESS(result.addStatus)) {
        result.startStatus = result.addStatus;
        return result;
    }
    PCM_RESOURCE_LIST raw = resourceList(board);
    PCM_RESOURCE_LIST translated = resourceList(board);  // this machine translates nothing
    result.startStatus = sendToStack(pdo, IRP_MJ_PNP, IRP_MN_START_DEVICE, [&](PIO_STACK_LOCATION stack) {
        stack->Parameters.StartDevice.AllocatedResources = raw;
        stack->Parameters.StartDevice.AllocatedResourcesTranslated = translated;
    });
    ExFreePool(raw);
    ExFreePool(translated);
    m.nodes[id].started = NT_SUCCESS(result.startStatus);
    return result;
}

NTSTATUS queryRemove(DeviceNodeId node) {
    std::lock_guard lock(manager().lock);
    Node* n = findNode(manager(), node);
    return n ? sendPnp(n->pdo, IRP_MN_QUERY_REMOVE_DEVICE) : STATUS_NO_SUCH_DEVICE;
}

NTSTATUS cancelRemove(DeviceNodeId node) {
    std::lock_guard lock(manager().lock);
    Node* n = findNode(manager(), node);
    return n ? sendPnp(n->pdo, IRP_MN_CANCEL_REMOVE_DEVICE) : STATUS_NO_SUCH_DEVICE;
}

NTSTATUS queryStop(DeviceNodeId node) {
    std::lock_guard lock(manager().lock);
    Node* n = findNode(manager(), node);
    if (n == nullptr) return STATUS_NO_SUCH_DEVICE;
    const NTSTATUS status = sendPnp(n->pdo, IRP_MN_QUERY_STOP_DEVICE);
    // Resources are never rebalanced here: an accepted stop is cancelled at once.
    if (NT_SUCCESS(status)) sendPnp(n->pdo, IRP_MN_CANCEL_STOP_DEVICE);
    return status;
}

NTSTATUS surpriseRemove(DeviceNodeId node) {
    std::lock_guard lock(manager().lock);
    Node* n = findNode(manager(), node);
    if (n == nullptr || n->surpriseRemoved) return STATUS_NO_SUCH_DEVICE;
    n->surpriseRemoved = true;
    n->started = false;
    return sendPnp(n->pdo, IRP_MN_SURPRISE_REMOVAL);
}

NTSTATUS remove(DeviceNodeId node) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    auto it = m.nodes.find(node);
    if (it == m.nodes.end()) return STATUS_NO_SUCH_DEVICE;
    removeNode(m, it);
    return STATUS_SUCCESS;
}

NTSTATUS setSystemPower(SystemPowerState state) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    return sendSystemPower(m, IRP_MN_SET_POWER, state);
}

NTSTATUS querySystemPower(SystemPowerState state) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    const NTSTATUS status = sendSystemPower(m, IRP_MN_QUERY_POWER, state);
    if (!NT_SUCCESS(status)) sendSystemPower(m, IRP_MN_SET_POWER, SystemPowerState::Working);
    return status;
}

NTSTATUS setDevicePower(DeviceNodeId node, DevicePowerState state) {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    Node* n = findNode(m, node);
    if (n == nullptr || !n->started) return STATUS_NO_SUCH_DEVICE;
    struct Done {
        KEVENT event;
        NTSTATUS status;
    } done{};
    KeInitializeEvent(&done.event, NotificationEvent, FALSE);
    PassiveScope passive;
    POWER_STATE power;
    power.DeviceState = static_cast<DEVICE_POWER_STATE>(state);
    const NTSTATUS requested = PoRequestPowerIrp(
        n->pdo, IRP_MN_SET_POWER, power,
        [](PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK status) {
            auto* d = static_cast<Done*>(context);
            d->status = status->Status;
            KeSetEvent(&d->event, IO_NO_INCREMENT, FALSE);
        },
        &done, nullptr);
    if (requested != STATUS_PENDING) return requested;
    KeWaitForSingleObject(&done.event, Executive, KernelMode, FALSE, nullptr);
    return done.status;
}

void shutdown() {
    Manager& m = manager();
    std::lock_guard lock(m.lock);
    while (!m.nodes.empty()) removeNode(m, std::prev(m.nodes.end()));
    while (!m.drivers.empty()) unloadLocked(m, m.drivers.begin());
    drainWorkItems();
}

}  // namespace qk::pnp

using namespace qk::kernel;

NTSTATUS IoGetDeviceProperty(PDEVICE_OBJECT deviceObject, DEVICE_REGISTRY_PROPERTY property, ULONG bufferLength,
                             PVOID propertyBuffer, PULONG resultLength) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    const auto& board = record(deviceObject).board;
    if (!board) return STATUS_INVALID_DEVICE_REQUEST;  // only physical device objects have properties
    if (property != DevicePropertyUINumber) return STATUS_INVALID_PARAMETER_2;
    if (resultLength) *resultLength = sizeof(ULONG);
    if (bufferLength < sizeof(ULONG) || propertyBuffer == nullptr) return STATUS_BUFFER_TOO_SMALL;
    const ULONG number = board->uiNumber;
    std::memcpy(propertyBuffer, &number, sizeof number);
    return STATUS_SUCCESS;
}
