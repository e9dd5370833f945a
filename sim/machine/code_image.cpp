#include "sim/machine/code_image.h"

#include <cstring>

#include "sim/card/card_model.h"

namespace sim {
namespace {
constexpr char kSignature[] = "QUORELLE SIMULATED FIP KERNEL";
}  // namespace

std::vector<std::uint8_t> codeImagePage(std::uint16_t page) {
    std::vector<std::uint8_t> bytes(kPageBytes);
    // A xorshift sequence seeded by the page number: the same bytes on every build and every boot.
    std::uint32_t x = 0x9E3779B9u ^ (std::uint32_t{page} * 0x85EBCA6Bu);
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    if (page == 0) std::memcpy(bytes.data(), kSignature, sizeof kSignature);
    return bytes;
}

std::vector<std::uint8_t> codeImage() {
    std::vector<std::uint8_t> file;
    file.reserve(2 + std::size_t{kCodeImagePages} * kCodeImageBlockBytes);
    file.push_back(static_cast<std::uint8_t>(kCodeImagePages));
    file.push_back(static_cast<std::uint8_t>(kCodeImagePages >> 8));
    for (std::uint16_t page = 0; page < kCodeImagePages; ++page) {
        const std::uint32_t address = std::uint32_t{page} * kPageBytes;
        file.push_back(static_cast<std::uint8_t>(address));
        file.push_back(static_cast<std::uint8_t>(address >> 8));
        const auto bytes = codeImagePage(page);
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    return file;
}

}  // namespace sim
