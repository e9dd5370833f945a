// Framework objects: typed contexts and clean-up, the driver object, strings and resource lists.
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "wdf_internal.h"

namespace qk::wdf {
namespace {

std::mutex driversLock;
std::map<PDRIVER_OBJECT, WDFDRIVER>& drivers() {
    static auto& map = *new std::map<PDRIVER_OBJECT, WDFDRIVER>;  // never destroyed, as the kernel's other state
    return map;
}

void unload(PDRIVER_OBJECT wdm) {
    WDFDRIVER driver = nullptr;
    {
        std::lock_guard lock(driversLock);
        auto it = drivers().find(wdm);
        if (it == drivers().end()) return;
        driver = it->second;
        drivers().erase(it);
    }
    if (driver->config.EvtDriverUnload) driver->config.EvtDriverUnload(driver);
    driver->cleanup();
    delete driver;
}

}  // namespace

Object::~Object() {
    if (destroyCallback) destroyCallback(this);
    std::free(context);
}

void Object::setAttributes(PWDF_OBJECT_ATTRIBUTES attributes) {
    if (attributes == nullptr) return;
    cleanupCallback = attributes->EvtCleanupCallback;
    destroyCallback = attributes->EvtDestroyCallback;
    if (attributes->ContextTypeInfo != nullptr) {
        contextType = attributes->ContextTypeInfo;
        const SIZE_T size = attributes->ContextSizeOverride > contextType->ContextSize ? attributes->ContextSizeOverride
                                                                                      : contextType->ContextSize;
        context = std::calloc(1, size ? size : 1);
    }
}

void Object::cleanup() {
    if (auto callback = std::exchange(cleanupCallback, nullptr)) callback(this);
}

Object* objectOf(WDFOBJECT handle) { return static_cast<Object*>(handle); }

WDFDRIVER driverOf(PDRIVER_OBJECT wdm) {
    std::lock_guard lock(driversLock);
    auto it = drivers().find(wdm);
    return it == drivers().end() ? nullptr : it->second;
}

}  // namespace qk::wdf

using namespace qk::wdf;

void WDFCMRESLIST__::assign(const CM_RESOURCE_LIST* list) {
    descriptors.clear();
    if (list == nullptr) return;
    // Full descriptors follow each other, each as long as its partial descriptors make it.
    const auto* full = list->List;
    for (ULONG i = 0; i < list->Count; ++i) {
        const CM_PARTIAL_RESOURCE_LIST& partial = full->PartialResourceList;
        for (ULONG j = 0; j < partial.Count; ++j) descriptors.push_back(partial.PartialDescriptors[j]);
        full = reinterpret_cast<const CM_FULL_RESOURCE_DESCRIPTOR*>(partial.PartialDescriptors + partial.Count);
    }
}

PVOID WdfObjectGetTypedContextWorker(WDFOBJECT handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO typeInfo) {
    if (handle == nullptr || typeInfo == nullptr) return nullptr;
    Object* object = objectOf(handle);
    if (object->contextType == nullptr) return nullptr;
    // One context type may be seen at two addresses when two modules declare it.
    if (object->contextType != typeInfo && std::strcmp(object->contextType->ContextName, typeInfo->ContextName) != 0)
        return nullptr;
    return object->context;
}

void WdfObjectDelete(WDFOBJECT handle) {
    Object* object = objectOf(handle);
    // Only objects the driver created itself are its to delete; the framework owns the others.
    if (object->kind != Kind::String) qk::kernelAssertFailed("WdfObjectDelete on a framework-owned object", __FILE__, __LINE__);
    object->cleanup();
    delete object;
}

NTSTATUS WdfDriverCreate(PDRIVER_OBJECT driverObject, PUNICODE_STRING, PWDF_OBJECT_ATTRIBUTES driverAttributes,
                         PWDF_DRIVER_CONFIG driverConfig, WDFDRIVER* driver) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    if (driverObject == nullptr || driverConfig == nullptr) return STATUS_INVALID_PARAMETER;
    auto* d = new WDFDRIVER__;
    d->wdm = driverObject;
    d->config = *driverConfig;
    d->setAttributes(driverAttributes);
    {
        std::lock_guard lock(driversLock);
        if (drivers().count(driverObject)) {
            delete d;
            return STATUS_INVALID_DEVICE_STATE;
        }
        drivers()[driverObject] = d;
    }
    for (auto& major : driverObject->MajorFunction) major = dispatch;
    driverObject->DriverExtension->AddDevice = addDevice;
    driverObject->DriverUnload = unload;
    if (driver) *driver = d;
    return STATUS_SUCCESS;
}

PDRIVER_OBJECT WdfDriverWdmGetDriverObject(WDFDRIVER driver) { return driver->wdm; }

NTSTATUS WdfStringCreate(PCUNICODE_STRING unicodeString, PWDF_OBJECT_ATTRIBUTES stringAttributes, WDFSTRING* string) {
    auto* s = new WDFSTRING__;
    s->text = qk::kernel::wide(unicodeString);
    s->setAttributes(stringAttributes);
    *string = s;
    return STATUS_SUCCESS;
}

void WdfStringGetUnicodeString(WDFSTRING string, PUNICODE_STRING unicodeString) {
    unicodeString->Buffer = string->text.data();
    unicodeString->Length = static_cast<USHORT>(string->text.size() * sizeof(WCHAR));
    unicodeString->MaximumLength = unicodeString->Length;
}

ULONG WdfCmResourceListGetCount(WDFCMRESLIST list) {
    return list ? static_cast<ULONG>(list->descriptors.size()) : 0;
}

PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST list, ULONG index) {
    if (list == nullptr || index >= list->descriptors.size()) return nullptr;
    return &list->descriptors[index];
}
