// The engine's result codes. Every export returns a 32-bit ErrorCode: 0 is success, a value with
// bit 29 clear is a platform error code passed through unchanged (except the semaphore time-out),
// EngineError codes are 0x300000xx and CardError codes 0x6000000n.
#pragma once

#include <cstdint>

namespace corvix {

using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kSuccess = 0;

// EngineError codes.
inline constexpr ErrorCode kErrBoardNotOpened = 0x30000001;
inline constexpr ErrorCode kErrConfigFileNotOpened = 0x30000002;
inline constexpr ErrorCode kErrConfigFileMagic = 0x30000003;
inline constexpr ErrorCode kErrCodeImageNotOpened = 0x30000004;
inline constexpr ErrorCode kErrCodeImageWrite = 0x30000005;
inline constexpr ErrorCode kErrCodeImageReadBack = 0x30000006;
inline constexpr ErrorCode kErrCodeImageDiffers = 0x30000007;
inline constexpr ErrorCode kErrVariableTableTooLarge = 0x30000008;
inline constexpr ErrorCode kErrBoardNotClosed = 0x30000009;
inline constexpr ErrorCode kErrBaMemoryTooSmall = 0x3000000A;
inline constexpr ErrorCode kErrBaPageAccess = 0x3000000B;
inline constexpr ErrorCode kErrBaTextNotOpened = 0x3000000C;
inline constexpr ErrorCode kErrBaTextEndsEarly = 0x3000000D;
inline constexpr ErrorCode kErrBaUnknownMacro = 0x3000000E;
inline constexpr ErrorCode kErrBaBadArgument = 0x3000000F;
inline constexpr ErrorCode kErrConfigFileRead = 0x30000010;
inline constexpr ErrorCode kErrCardImageTooLarge = 0x30000011;
inline constexpr ErrorCode kErrConfigFileNotClosed = 0x30000012;
inline constexpr ErrorCode kErrReplyLength = 0x30000013;
inline constexpr ErrorCode kErrEventKind = 0x30000014;
inline constexpr ErrorCode kErrBaNotStopped = 0x30000015;
inline constexpr ErrorCode kErrBaStoppedOrStarting = 0x30000016;
inline constexpr ErrorCode kErrNoBaMemory = 0x30000018;
inline constexpr ErrorCode kErrBaFilePath = 0x30000019;
inline constexpr ErrorCode kErrBaProgram1TooLarge = 0x3000001A;
inline constexpr ErrorCode kErrBaProgram2TooLarge = 0x3000001B;
inline constexpr ErrorCode kErrDuplicateChannel = 0x3000001C;
inline constexpr ErrorCode kErrMediumCommand = 0x30000020;
inline constexpr ErrorCode kErrMediumNotAllowed = 0x30000021;
inline constexpr ErrorCode kErrUnknownVariant = 0x30000022;
inline constexpr ErrorCode kErrDriverVersion = 0x30000024;
inline constexpr ErrorCode kErrPlatformNotSupported = 0x30000025;
inline constexpr ErrorCode kErrDeviceTimeout = 0x30000027;
inline constexpr ErrorCode kErrNoEngineStarted = 0x3000002B;
inline constexpr ErrorCode kErrUsbFirmware = 0x3000002C;

// Platform codes the engine returns itself.
inline constexpr ErrorCode kPlatformInvalidParameter = 87;
inline constexpr ErrorCode kPlatformSemaphoreTimeout = 121;

// A board's FDB_STATUS byte with bit 7 set reports error n in its low nibble.
inline constexpr ErrorCode kCardErrorBase = 0x60000000;
constexpr ErrorCode cardError(std::uint8_t status) { return kCardErrorBase | (status & 0x0Fu); }
constexpr bool isCardError(ErrorCode code) { return (code & 0xFFFFFFF0u) == kCardErrorBase; }
constexpr bool isRefusal(std::uint8_t status) { return (status & 0x80u) != 0; }
constexpr ErrorCode statusResult(std::uint8_t status) { return isRefusal(status) ? cardError(status) : kSuccess; }
inline constexpr ErrorCode kErrMessageTooLong = kCardErrorBase | 7;  // FIP_WRITE_MSG beyond 252 bytes

// A USB reply's status word other than 0xA000 (StatusWordError).
constexpr bool isStatusWordError(ErrorCode code) { return code >= 0x70000001u && code <= 0x70000011u; }

// The one place where a platform error becomes an engine result: the drivers' device time-out
// reaches user mode as the semaphore time-out, which the engine reports as its own code.
constexpr ErrorCode mapPlatformError(std::uint32_t platformError) {
    return platformError == kPlatformSemaphoreTimeout ? kErrDeviceTimeout : platformError;
}

}  // namespace corvix
