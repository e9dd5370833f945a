#include "sim/chips/protocol_checker.h"

namespace sim {

void ProtocolChecker::record(std::string violation) {
    std::lock_guard lock(mutex_);
    violations_.push_back(std::move(violation));
}

std::vector<std::string> ProtocolChecker::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

void ProtocolChecker::clear() {
    std::lock_guard lock(mutex_);
    violations_.clear();
}

}  // namespace sim
