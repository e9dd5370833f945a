#include "multi_card.h"

#include <new>

#include "kernel/ntstatus.h"

namespace multicard {
namespace {

class Held {
public:
    explicit Held(KMUTEX& mutex) : mutex_(mutex) {
        KeWaitForSingleObject(&mutex_, Executive, KernelMode, FALSE, nullptr);
    }
    ~Held() { KeReleaseMutex(&mutex_, FALSE); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    KMUTEX& mutex_;
};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace

MultiCardInformation::MultiCardInformation() { KeInitializeMutex(&lock_, 0); }

NTSTATUS MultiCardInformation::setParametersPath(PCUNICODE_STRING serviceKeyPath) {
    Held held(lock_);
    try {
        path_.assign(serviceKeyPath->Buffer, serviceKeyPath->Length / sizeof(WCHAR));
        path_ += L"\\Parameters";
    } catch (const std::bad_alloc&) {
        path_.clear();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

void MultiCardInformation::forgetPath() {
    Held held(lock_);
    path_.clear();
}

// The count first, then the index table. When the table is refused the count goes back to the one
// the registry held with the table before, so that the two values agree again.
NTSTATUS MultiCardInformation::write(Table& table) {
    NTSTATUS status = RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, path_.c_str(), table.countName, REG_DWORD,
                                            &table.count, sizeof(table.count));
    if (NT_SUCCESS(status)) {
        status = RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, path_.c_str(), table.indexName, REG_BINARY,
                                       table.bytes.data(), static_cast<ULONG>(table.bytes.size()));
        if (NT_SUCCESS(status)) {
            table.published = table.count;
        } else if (table.published != table.count) {
            RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, path_.c_str(), table.countName, REG_DWORD, &table.published,
                                  sizeof(table.published));
        }
    }
    if (!NT_SUCCESS(status))
        DbgPrint("MultiCardInformation - Cannot write %ws and %ws (0x%X)\n", table.countName, table.indexName,
                 static_cast<unsigned>(status));
    return status;
}

NTSTATUS MultiCardInformation::reset() {
    Held held(lock_);
    if (path_.empty()) return STATUS_INVALID_PARAMETER;
    for (Table* table : {&active_, &used_}) {
        table->bytes.fill(0);
        table->count = 0;
        table->published = 0;
    }
    if (!NT_SUCCESS(RtlCheckRegistryKey(RTL_REGISTRY_ABSOLUTE, path_.data()))) {
        DbgPrint("ResetMultiCardInformation - %s sub-key registry does not exist => create it\n",
                 narrow(path_).c_str());
        NTSTATUS status = RtlCreateRegistryKey(RTL_REGISTRY_ABSOLUTE, path_.data());
        if (!NT_SUCCESS(status)) {
            DbgPrint("ResetMultiCardInformation - Cannot create %s sub-key registry (0x%X)\n",
                     narrow(path_).c_str(), static_cast<unsigned>(status));
            return status;
        }
    }
    NTSTATUS status = write(active_);
    return NT_SUCCESS(status) ? write(used_) : status;
}

NTSTATUS MultiCardInformation::change(Table& table, ULONG index, UCHAR value) {
    if (table.bytes[index] == value) return STATUS_SUCCESS;
    table.bytes[index] = value;
    table.count = value ? table.count + 1 : table.count - 1;
    return write(table);
}

NTSTATUS MultiCardInformation::update(ULONG index, ULONG op) {
    Held held(lock_);
    if (path_.empty()) return STATUS_INVALID_PARAMETER;
    // An index outside the tables names no device: nothing to record.
    if (index >= kMaxCards) return STATUS_SUCCESS;
    switch (static_cast<Op>(op)) {
        case Op::add: return change(active_, index, 1);
        case Op::remove: return change(active_, index, 0);
        case Op::used: return change(used_, index, 1);
        case Op::unused: return change(used_, index, 0);
    }
    return STATUS_SUCCESS;
}

NTSTATUS MultiCardInformation::freeIndexLocked(ULONG* index) {
    if (active_.count < kMaxCards) {
        for (ULONG i = 0; i < kMaxCards; ++i) {
            if (active_.bytes[i] == 0) {
                *index = i;
                return STATUS_SUCCESS;
            }
        }
    }
    DbgPrint("Maximum number of device (%d) reached\n", static_cast<int>(kMaxCards));
    return STATUS_NO_MORE_ENTRIES;
}

NTSTATUS MultiCardInformation::freeIndex(ULONG* index) {
    Held held(lock_);
    return freeIndexLocked(index);
}

NTSTATUS MultiCardInformation::claimFreeIndex(ULONG* index, NTSTATUS* written) {
    Held held(lock_);
    if (path_.empty()) return STATUS_INVALID_PARAMETER;
    NTSTATUS status = freeIndexLocked(index);
    if (!NT_SUCCESS(status)) return status;
    *written = change(active_, *index, 1);
    return STATUS_SUCCESS;
}

ULONG MultiCardInformation::activeCount() {
    Held held(lock_);
    return active_.count;
}

ULONG MultiCardInformation::usedCount() {
    Held held(lock_);
    return used_.count;
}

}  // namespace multicard
