#include "win32/handle_table.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace qwin32 {
namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values are multiples of 4 and never reused, so a stale handle cannot reach a newer object.
    std::uintptr_t next = 0x1000;
};

Table& table() {
    static Table& instance = *new Table;  // never destroyed: calls made during process exit still find it
    return instance;
}

// The process's end closes the handles still open, as the platform does for a process that ends:
// a device's drivers see its cleanup and close. Events stay (see closedAtProcessEnd). Created with the first handle, so it runs before
// whatever was created earlier goes; the kernel's state is never destroyed.
struct ProcessEnd {
    ~ProcessEnd() {
        Table& t = table();
        std::vector<std::shared_ptr<KernelObject>> open;
        {
            std::lock_guard lock(t.mutex);
            for (auto it = t.objects.begin(); it != t.objects.end();) {
                if (it->second->closedAtProcessEnd()) {
                    open.push_back(std::move(it->second));
                    it = t.objects.erase(it);
                } else {
                    ++it;
                }
            }
        }
        open.clear();  // each object closes as its last reference goes, outside the table's lock
    }
};

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

HANDLE addHandle(std::shared_ptr<KernelObject> object) {
    static ProcessEnd processEnd;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    const std::uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> findHandle(HANDLE handle) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    const auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> removeHandle(HANDLE handle, bool (*accepts)(const KernelObject&)) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    const auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end() || !accepts(*it->second)) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(it->second);
    t.objects.erase(it);
    return object;
}

}  // namespace qwin32

DWORD GetLastError() { return qwin32::lastError; }

void SetLastError(DWORD error) { qwin32::lastError = error; }

BOOL CloseHandle(HANDLE handle) {
    if (handle == GetCurrentProcess()) return TRUE;  // the pseudo handle needs no closing
    // The object itself (and with it a device's open file) goes when its last user lets go.
    const auto object = qwin32::removeHandle(handle, [](const qwin32::KernelObject& o) { return o.closedByCloseHandle(); });
    return object ? TRUE : qwin32::failWith(ERROR_INVALID_HANDLE);
}
