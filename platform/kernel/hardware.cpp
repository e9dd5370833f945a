// Hardware access: the attached memory and port ranges, the token addresses that MmMapIoSpace
// hands out, and the register and port accessors that decode them.
//
// Tokens lie in one address region reserved without access rights (PROT_NONE), so a driver that
// dereferences a mapped address instead of calling an accessor faults at once.
//
// Every register access decodes its address, so each thread keeps the last memory and port range
// it decoded together with the table's generation; any change of the tables bumps the generation
// and sends the next access back to the locked lookup. An access thus takes no lock while the
// tables stand still, and a detached range faults from the first access after detach returns.
#include "hardware.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "wdm.h"

namespace qk::hw {

std::uint32_t MemoryRange::read32(std::uint32_t offset) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < 4; ++i) value |= std::uint32_t{read8(offset + i)} << (8 * i);
    return value;
}

void MemoryRange::write32(std::uint32_t offset, std::uint32_t value) {
    for (std::uint32_t i = 0; i < 4; ++i) write8(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
}

namespace {

constexpr std::size_t reservationSize = std::size_t{1} << 30;
constexpr std::size_t pageSize = 4096;

struct Mapping {
    std::size_t length;  // as asked; the token region is rounded up to whole pages
    std::uint64_t physicalAddress;
    std::shared_ptr<MemoryRange> range;  // null once the range is detached
    std::uint32_t offsetInRange;
};

struct Hardware {
    std::shared_mutex lock;
    std::map<std::uint64_t, std::shared_ptr<MemoryRange>> memory;  // by physical address
    std::map<std::uint32_t, std::shared_ptr<PortRange>> ports;     // by first port
    std::map<std::uintptr_t, Mapping> mappings;                    // by token
    std::uintptr_t reservation = 0;
    std::mutex faultLock;
    std::vector<std::string> faults;
};
Hardware& hw() {
    static Hardware& instance = *new Hardware;  // never destroyed, as the kernel's other state
    return instance;
}

// The tables' generation: bumped under Hardware::lock by every change, read without it by every access.
constinit std::atomic<std::uint64_t> generation{1};

// With the unique lock held, after a change of the tables.
void tablesChanged() { generation.fetch_add(1, std::memory_order_release); }

// A thread's last decoded range: addresses [first, first + length) reach `range` at `offset` +
// (address - first). Plain data, so that the accessors read it without a thread-local guard; the
// range is kept alive beside it (in `held`, touched only by the locked lookup) as the shared
// pointer an access holds would, and a detached range is let go at the thread's next lookup.
template <typename Range>
struct LastDecoded {
    std::uint64_t generation = 0;  // 0: empty
    std::uint64_t first = 0;
    std::uint64_t length = 0;
    Range* range = nullptr;
    std::uint32_t offset = 0;

    Range* find(std::uint64_t address, std::size_t width, std::uint64_t now, std::uint32_t& at) const {
        if (generation != now || address < first || address - first + width > length) return nullptr;
        at = static_cast<std::uint32_t>(offset + (address - first));
        return range;
    }
};
// Built with the initial-exec TLS model (the kernel stand-in is loaded with the program), so that
// the accessors reach these without a call.
constinit thread_local LastDecoded<MemoryRange> lastMemory;
constinit thread_local LastDecoded<PortRange> lastPorts;
thread_local std::shared_ptr<MemoryRange> heldMemory;
thread_local std::shared_ptr<PortRange> heldPorts;

void fault(const char* accessor, std::uintptr_t address) {
    char text[128];
    std::snprintf(text, sizeof text, "%s at 0x%llx: no mapped range", accessor, static_cast<unsigned long long>(address));
    Hardware& h = hw();
    std::lock_guard lock(h.faultLock);
    h.faults.emplace_back(text);
}

template <typename Map>
auto containing(Map& map, std::uint64_t address) -> decltype(map.begin()) {
    auto it = map.upper_bound(static_cast<typename Map::key_type>(address));
    if (it == map.begin()) return map.end();
    return std::prev(it);
}

// The locked lookups behind decode() and decodePort(), which also refill the thread's entry.
[[gnu::noinline]] std::pair<MemoryRange*, std::uint32_t> lookUpMemory(std::uintptr_t token, std::size_t width,
                                                                     const char* accessor) {
    Hardware& h = hw();
    {
        std::shared_lock lock(h.lock);
        auto it = containing(h.mappings, token);
        if (it != h.mappings.end() && token + width <= it->first + it->second.length && it->second.range) {
            const Mapping& m = it->second;
            heldMemory = m.range;
            lastMemory = {generation.load(std::memory_order_relaxed), it->first, m.length, m.range.get(), m.offsetInRange};
            return {m.range.get(), static_cast<std::uint32_t>(m.offsetInRange + (token - it->first))};
        }
    }
    fault(accessor, token);
    return {nullptr, 0};
}

[[gnu::noinline]] std::pair<PortRange*, std::uint32_t> lookUpPort(std::uintptr_t port, const char* accessor) {
    Hardware& h = hw();
    {
        std::shared_lock lock(h.lock);
        auto it = containing(h.ports, port);
        if (it != h.ports.end() && port < std::uint64_t{it->first} + it->second->length()) {
            heldPorts = it->second;
            lastPorts = {generation.load(std::memory_order_relaxed), it->first, it->second->length(), it->second.get(), 0};
            return {it->second.get(), static_cast<std::uint32_t>(port - it->first)};
        }
    }
    fault(accessor, port);
    return {nullptr, 0};
}

// An access of `width` bytes at a token or a port: `access(range, offset)` with the range found,
// or with a null range on a fault. The thread's entry is tried inline; a miss goes on out of line,
// so that the hit needs no registers saved.
template <typename Access>
[[gnu::noinline]] auto lockedMemoryAccess(std::uintptr_t token, std::size_t width, const char* accessor, Access access) {
    const auto [range, offset] = lookUpMemory(token, width, accessor);
    return access(range, offset);
}

template <typename Access>
inline auto memoryAccess(const volatile void* address, std::size_t width, const char* accessor, Access access) {
    const auto token = reinterpret_cast<std::uintptr_t>(address);
    std::uint32_t offset = 0;
    if (MemoryRange* range = lastMemory.find(token, width, generation.load(std::memory_order_acquire), offset))
        return access(range, offset);
    return lockedMemoryAccess(token, width, accessor, access);
}

template <typename Access>
[[gnu::noinline]] auto lockedPortAccess(std::uintptr_t port, const char* accessor, Access access) {
    const auto [range, offset] = lookUpPort(port, accessor);
    return access(range, offset);
}

template <typename Access>
inline auto portAccess(PUCHAR address, const char* accessor, Access access) {
    const auto port = reinterpret_cast<std::uintptr_t>(address);
    std::uint32_t offset = 0;
    if (PortRange* range = lastPorts.find(port, 1, generation.load(std::memory_order_acquire), offset))
        return access(range, offset);
    return lockedPortAccess(port, accessor, access);
}

// A free token region of `size` bytes (whole pages) in the reservation; 0 when none is left.
std::uintptr_t allocateTokens(Hardware& h, std::size_t size) {
    if (h.reservation == 0) {
        void* region = mmap(nullptr, reservationSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (region == MAP_FAILED) return 0;
        h.reservation = reinterpret_cast<std::uintptr_t>(region);
    }
    std::uintptr_t candidate = h.reservation;
    for (const auto& [token, mapping] : h.mappings) {
        if (token >= candidate + size) break;
        candidate = token + ((mapping.length + pageSize - 1) / pageSize) * pageSize;
    }
    return candidate + size <= h.reservation + reservationSize ? candidate : 0;
}

}  // namespace

void attachMemory(std::uint64_t physicalAddress, std::shared_ptr<MemoryRange> range) {
    std::unique_lock lock(hw().lock);
    hw().memory[physicalAddress] = std::move(range);
    tablesChanged();
}

void attachPorts(std::uint32_t firstPort, std::shared_ptr<PortRange> range) {
    std::unique_lock lock(hw().lock);
    hw().ports[firstPort] = std::move(range);
    tablesChanged();
}

void detachMemory(std::uint64_t physicalAddress) {
    Hardware& h = hw();
    std::unique_lock lock(h.lock);
    auto it = h.memory.find(physicalAddress);
    if (it == h.memory.end()) return;
    for (auto& [token, mapping] : h.mappings)
        if (mapping.range == it->second) mapping.range.reset();
    h.memory.erase(it);
    tablesChanged();
}

void detachPorts(std::uint32_t firstPort) {
    std::unique_lock lock(hw().lock);
    hw().ports.erase(firstPort);
    tablesChanged();
}

void detachAll() {
    Hardware& h = hw();
    std::unique_lock lock(h.lock);
    for (auto& [token, mapping] : h.mappings) mapping.range.reset();
    h.memory.clear();
    h.ports.clear();
    tablesChanged();
}

std::vector<std::string> faults() {
    std::lock_guard lock(hw().faultLock);
    return hw().faults;
}

void clearFaults() {
    std::lock_guard lock(hw().faultLock);
    hw().faults.clear();
}

}  // namespace qk::hw

using namespace qk::hw;

PVOID MmMapIoSpace(PHYSICAL_ADDRESS physicalAddress, SIZE_T numberOfBytes, MEMORY_CACHING_TYPE) {
    if (numberOfBytes == 0) return nullptr;
    const auto start = static_cast<std::uint64_t>(physicalAddress.QuadPart);
    Hardware& h = hw();
    std::unique_lock lock(h.lock);
    auto range = containing(h.memory, start);
    if (range == h.memory.end() || start + numberOfBytes > range->first + range->second->length()) return nullptr;
    const std::size_t size = ((numberOfBytes + pageSize - 1) / pageSize) * pageSize;
    const std::uintptr_t token = allocateTokens(h, size);
    if (token == 0) return nullptr;
    h.mappings[token] = Mapping{numberOfBytes, start, range->second, static_cast<std::uint32_t>(start - range->first)};
    tablesChanged();
    return reinterpret_cast<PVOID>(token);
}

void MmUnmapIoSpace(PVOID baseAddress, SIZE_T) {
    Hardware& h = hw();
    std::unique_lock lock(h.lock);
    if (h.mappings.erase(reinterpret_cast<std::uintptr_t>(baseAddress)) != 0) {
        tablesChanged();
        return;
    }
    lock.unlock();
    fault("MmUnmapIoSpace", reinterpret_cast<std::uintptr_t>(baseAddress));
}

UCHAR READ_REGISTER_UCHAR(volatile UCHAR* reg) {
    return memoryAccess(reg, 1, __func__, [](MemoryRange* range, std::uint32_t offset) -> UCHAR {
        return range ? range->read8(offset) : 0xFF;
    });
}

ULONG READ_REGISTER_ULONG(volatile ULONG* reg) {
    return memoryAccess(reg, 4, __func__, [](MemoryRange* range, std::uint32_t offset) -> ULONG {
        return range ? range->read32(offset) : 0xFFFFFFFF;
    });
}

void WRITE_REGISTER_UCHAR(volatile UCHAR* reg, UCHAR value) {
    memoryAccess(reg, 1, __func__, [value](MemoryRange* range, std::uint32_t offset) {
        if (range) range->write8(offset, value);
    });
}

void WRITE_REGISTER_ULONG(volatile ULONG* reg, ULONG value) {
    memoryAccess(reg, 4, __func__, [value](MemoryRange* range, std::uint32_t offset) {
        if (range) range->write32(offset, value);
    });
}

UCHAR READ_PORT_UCHAR(PUCHAR port) {
    return portAccess(port, __func__, [](PortRange* range, std::uint32_t offset) -> UCHAR {
        return range ? range->read8(offset) : 0xFF;
    });
}

void WRITE_PORT_UCHAR(PUCHAR port, UCHAR value) {
    portAccess(port, __func__, [value](PortRange* range, std::uint32_t offset) {
        if (range) range->write8(offset, value);
    });
}
