#include "sim/chips/access_trace.h"

#include <array>
#include <cstdio>

namespace sim {

std::string describe(const Access& access) {
    static constexpr std::array<const char*, 4> kUnits = {"FULLFIP2", "FIELDUAL", "bridge", "board"};
    char text[64];
    std::snprintf(text, sizeof text, "%s %c %u = 0x%X", kUnits[static_cast<std::size_t>(access.unit)],
                  access.write ? 'W' : 'R', access.reg, access.value);
    return text;
}

void AccessTrace::enable(bool on) {
    std::lock_guard lock(mutex_);
    enabled_.store(on, std::memory_order_relaxed);
}

// Checked again under the lock, so that no access lands after enable(false) has returned.
void AccessTrace::append(const Access& access) {
    std::lock_guard lock(mutex_);
    if (enabled_.load(std::memory_order_relaxed)) entries_.push_back(access);
}

std::vector<Access> AccessTrace::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void AccessTrace::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace sim
