// The consistency checks of a configuration: the edit dialogs check the one record being saved
// against the rest of the document, Connect and the presence test check the whole document before
// anything is sent to a board.
//
// "A record" is the one being edited (it may be a working copy); it is excluded from the
// comparison by its key (variables, messages), or its index (lists, stations). A null
// record checks every pair. Names compare exactly, as whole strings.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/check_codes.h"
#include "records/configuration.h"

namespace plandrel {

class CPlandrelDoc;

// 0x2800000F when another variable has the same name.
CONFIG_CHECK_CODE CheckVariableNames(const records::Configuration& c,
                                     const records::VARIABLE4* variable);
// 0x28000010 when another variable has the same identifier.
CONFIG_CHECK_CODE CheckVariableIdentifiers(const records::Configuration& c,
                                           const records::VARIABLE4* variable);
// 0x2800000D for a format outside the display format grammar, 0x2800000C when the format needs
// more bytes than the variable's length.
CONFIG_CHECK_CODE CheckVariableFormat(const records::VARIABLE4& variable);
// 0x28000009, 0x2800000A, 0x2800000B; on 0 the variable's direction is set (1 consumed, 0
// produced by the local station).
CONFIG_CHECK_CODE CheckVariableStations(const records::Configuration& c,
                                        records::VARIABLE4& variable);
// 0x28000013 when another message has the same name.
CONFIG_CHECK_CODE CheckMessageNames(const records::Configuration& c,
                                    const records::MESSAGE4* message);
// 0x2800000D for a format outside the grammar (the byte total is not looked at).
CONFIG_CHECK_CODE CheckFormatSyntax(std::string_view format);
// 0x28000019 when a list other than list `list` bears `name` (a candidate name, checked before it is
// written into the list).
CONFIG_CHECK_CODE CheckListNames(const records::Configuration& c, std::size_t list, std::string_view name);
// 0x28000014 / 0x28000015 when a station other than `station` bears the name / the address.
CONFIG_CHECK_CODE CheckStationName(const records::Configuration& c, std::size_t station,
                                   std::string_view name);
CONFIG_CHECK_CODE CheckStationAddress(const records::Configuration& c, std::size_t station,
                                      int physical_address);

// Other variables produced by the local station (direction 0) that carry message requests (flags
// bit 1): with channel 0 (aperiodic), with a channel above 0 (periodic).
std::size_t CountAperiodicMessageChannels(const records::Configuration& c,
                                          const records::VARIABLE4* variable);
std::size_t CountPeriodicMessageChannels(const records::Configuration& c,
                                         const records::VARIABLE4* variable);
// Other variables produced by the local station with aperiodic variable requests (flags bit 6).
std::size_t CountAperiodicRequestVariables(const records::Configuration& c,
                                           const records::VARIABLE4* variable);

inline constexpr std::uint16_t kNoVariable = 0xFFFF;
// Index of the first variable with the identifier, or 0xFFFF.
std::uint16_t FindVariableByIdentifier(const records::Configuration& c, std::uint16_t identifier);

// Texts of CheckBeforeConnect.
inline constexpr std::string_view kCannotConnect = "Cannot connect to Fip :\nconfiguration error.";
inline constexpr std::string_view kSameVariableNames = "Several variables have the same name.";
inline constexpr std::string_view kSameVariableIdentifiers =
    "Several variables have the same identifier.";
inline constexpr std::string_view kTooManyPeriodicChannels =
    "There are more than 8 variables enabled for aperiodical\nmessage requests emission, which is "
    "not possible.";
inline constexpr std::string_view kNoAperiodicChannel =
    "No variable produced by the local station enables\naperiodical message requests emission.";
inline constexpr std::string_view kNoPeriodicChannel =
    "No variable produced by the local station enables\nperiodical message requests emission.";

// Whole-document check before a connection or the presence test: true when the document may be
// sent to a board; otherwise the user has been told why (first failure only). A transmitted
// periodic message whose channel is above the number of periodic channels gets that number; the
// messages working file is then rewritten and the document marked modified.
bool CheckBeforeConnect(CPlandrelDoc& document);

}  // namespace plandrel
