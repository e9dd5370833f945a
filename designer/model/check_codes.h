// CONFIG_CHECK_CODE: the designer's own result codes of the consistency checks and of loading a
// configuration. 0 is success; the codes between those listed are not used. The texts are the
// designer's own strings (the error library does not know these codes); the caller of a check
// chooses whether and how it shows them.
#pragma once

#include <cstdint>
#include <string_view>

namespace plandrel {

using CONFIG_CHECK_CODE = std::uint32_t;

inline constexpr CONFIG_CHECK_CODE kCheckOk = 0;
inline constexpr CONFIG_CHECK_CODE kCheckWorkingFileNotCreated = 0x28000001;
inline constexpr CONFIG_CHECK_CODE kCheckTreeImages = 0x28000002;
inline constexpr CONFIG_CHECK_CODE kCheckLocalStationNotInvolved = 0x28000009;
inline constexpr CONFIG_CHECK_CODE kCheckLocalProducesAndConsumes = 0x2800000A;
inline constexpr CONFIG_CHECK_CODE kCheckProducerConsumes = 0x2800000B;
inline constexpr CONFIG_CHECK_CODE kCheckFormatTooLong = 0x2800000C;
inline constexpr CONFIG_CHECK_CODE kCheckInvalidFormat = 0x2800000D;
inline constexpr CONFIG_CHECK_CODE kCheckNoChannelVariable = 0x2800000E;
inline constexpr CONFIG_CHECK_CODE kCheckVariableNameInUse = 0x2800000F;
inline constexpr CONFIG_CHECK_CODE kCheckVariableIdentifierInUse = 0x28000010;
inline constexpr CONFIG_CHECK_CODE kCheckMessageNameInUse = 0x28000013;
inline constexpr CONFIG_CHECK_CODE kCheckStationNameInUse = 0x28000014;
inline constexpr CONFIG_CHECK_CODE kCheckStationAddressInUse = 0x28000015;
inline constexpr CONFIG_CHECK_CODE kCheckMemoryFull = 0x28000017;
inline constexpr CONFIG_CHECK_CODE kCheckOnlineWriteFailed = 0x28000018;
inline constexpr CONFIG_CHECK_CODE kCheckListNameInUse = 0x28000019;

// The text that the designer shows for a code. Empty for 0, for the codes whose caller shows no
// text of this table (0x2800000E clears the channel choice, 0x28000018 is worded by the on-line
// write that fails) and for codes that are not used.
std::string_view check_code_text(CONFIG_CHECK_CODE code);

}  // namespace plandrel
