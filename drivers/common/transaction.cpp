#include "transaction.h"

namespace fullfip2 {

NtStatus Transaction::readData(std::uint8_t* to, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (const NtStatus status = waitData(); status != nt::kSuccess) return status;
        to[i] = board_.readFullfip(reg::kFifo);
    }
    return nt::kSuccess;
}

NtStatus Transaction::writeData(const std::uint8_t* from, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (const NtStatus status = waitData(); status != nt::kSuccess) return status;
        board_.writeFullfip(reg::kFifo, from[i]);
    }
    return nt::kSuccess;
}

NtStatus Transaction::writeZeros(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (const NtStatus status = waitData(); status != nt::kSuccess) return status;
        board_.writeFullfip(reg::kFifo, 0);
    }
    return nt::kSuccess;
}

NtStatus Transaction::drain(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (const NtStatus status = waitData(); status != nt::kSuccess) return status;
        (void)board_.readFullfip(reg::kFifo);
    }
    return nt::kSuccess;
}

}  // namespace fullfip2
