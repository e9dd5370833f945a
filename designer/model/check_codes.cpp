#include "model/check_codes.h"

#include <array>
#include <utility>

namespace plandrel {

namespace {

constexpr std::array<std::pair<CONFIG_CHECK_CODE, std::string_view>, 14> kTexts{{
    {kCheckWorkingFileNotCreated, "Warning :\nProblem creating intermediate files."},
    {kCheckTreeImages, "Warning :\nProblem in tree view management."},
    {kCheckLocalStationNotInvolved, "The local station must produce or consume this variable."},
    {kCheckLocalProducesAndConsumes,
     "A variable cannot be both produced\nand consumed by the local station."},
    {kCheckProducerConsumes,
     "A variable cannot be both produced\nand consumed by the same station."},
    {kCheckFormatTooLong, "Warning :\nNot enough data to match the format."},
    {kCheckInvalidFormat, "Invalid format."},
    {kCheckVariableNameInUse, "This name is already in use by a variable."},
    {kCheckVariableIdentifierInUse, "This identifier is already in use by a variable."},
    {kCheckMessageNameInUse, "This name is already in use by a message."},
    {kCheckStationNameInUse, "This name is already in use by a station."},
    {kCheckStationAddressInUse, "This physical address is already in use by a station."},
    {kCheckMemoryFull,
     "The FULLFIP memory space is full.\nRemove some configuration elements (variables, "
     "messages)."},
    {kCheckListNameInUse, "This name is already in use by a list."},
}};

}  // namespace

std::string_view check_code_text(CONFIG_CHECK_CODE code) {
  for (const auto& [c, text] : kTexts)
    if (c == code) return text;
  return {};
}

}  // namespace plandrel
