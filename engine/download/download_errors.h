// Result codes of the configuration download and the BA assembler.
#pragma once

#include <cstdint>

namespace corvix::download {

inline constexpr std::uint32_t kConfigOpenFailed = 0x30000002;
inline constexpr std::uint32_t kConfigBadMagic = 0x30000003;
inline constexpr std::uint32_t kCodeImageOpenFailed = 0x30000004;
inline constexpr std::uint32_t kCodeImageWriteFailed = 0x30000005;
inline constexpr std::uint32_t kCodeImageReadFailed = 0x30000006;
inline constexpr std::uint32_t kCodeImageDiffers = 0x30000007;
inline constexpr std::uint32_t kTooManyVariables = 0x30000008;
inline constexpr std::uint32_t kBaNoRoom = 0x3000000A;
inline constexpr std::uint32_t kCardAccessFailed = 0x3000000B;
inline constexpr std::uint32_t kBaFileOpenFailed = 0x3000000C;
inline constexpr std::uint32_t kBaFileSyntax = 0x3000000D;
inline constexpr std::uint32_t kBaBadMacro = 0x3000000E;
inline constexpr std::uint32_t kBaBadArgument = 0x3000000F;
inline constexpr std::uint32_t kConfigReadFailed = 0x30000010;
inline constexpr std::uint32_t kImageOverPageLimit = 0x30000011;
inline constexpr std::uint32_t kConfigCloseFailed = 0x30000012;
inline constexpr std::uint32_t kBaPathInvalid = 0x30000019;
inline constexpr std::uint32_t kBaProgram1NoRoom = 0x3000001A;
inline constexpr std::uint32_t kBaProgram2NoRoom = 0x3000001B;

}  // namespace corvix::download
