// Records violations of the FULLFIP2 transaction protocol by whoever drives the registers: a
// command written while busy, a FIFO access without the data bit, key bytes out of order, an access
// from a second thread inside an open transaction, an unknown command byte. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace sim {

class ProtocolChecker {
public:
    void record(std::string violation);
    std::vector<std::string> violations() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> violations_;
};

}  // namespace sim
