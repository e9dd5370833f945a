#include "model/check_codes.h"

#include <gtest/gtest.h>

namespace plandrel {
namespace {

TEST(CheckCodes, TextsOfTheCodesThatHaveOne) {
  EXPECT_EQ(check_code_text(kCheckInvalidFormat), "Invalid format.");
  EXPECT_EQ(check_code_text(kCheckMemoryFull),
            "The FULLFIP memory space is full.\nRemove some configuration elements (variables, "
            "messages).");
  EXPECT_EQ(check_code_text(kCheckListNameInUse), "This name is already in use by a list.");
  // No table text: success, the codes whose caller words its own reaction, unused codes.
  for (CONFIG_CHECK_CODE code : {kCheckOk, kCheckNoChannelVariable, kCheckOnlineWriteFailed,
                                 CONFIG_CHECK_CODE{0x28000003}, CONFIG_CHECK_CODE{0x28000016}})
    EXPECT_TRUE(check_code_text(code).empty()) << std::hex << code;
}

}  // namespace
}  // namespace plandrel
