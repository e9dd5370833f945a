// The access trace of one board: every register and port access of the board's chips, in order,
// when enabled (off by default: clearing card memory alone moves 131,072 bytes). A disabled trace
// costs one relaxed load per access. Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

enum class Unit : std::uint8_t { Fullfip2, Fielddual, Bridge, BoardPorts };

struct Access {
    Unit unit;
    bool write;
    std::uint32_t reg;    // register number (FULLFIP2, FIELDUAL) or byte offset (bridge, board ports)
    std::uint32_t value;  // the value written or read
    friend bool operator==(const Access&, const Access&) = default;
};

std::string describe(const Access& access);  // "FULLFIP2 W 0 = 0x41"

class AccessTrace {
public:
    void enable(bool on);
    void record(Unit unit, bool write, std::uint32_t reg, std::uint32_t value) {
        if (enabled_.load(std::memory_order_relaxed)) append(Access{unit, write, reg, value});
    }
    std::vector<Access> entries() const;
    void clear();

private:
    void append(const Access& access);

    mutable std::mutex mutex_;
    std::atomic<bool> enabled_{false};
    std::vector<Access> entries_;
};

}  // namespace sim
