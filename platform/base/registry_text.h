// The registry editor's text format, the form of the persisted hive file:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Talvenor\Corvix]
//   "DoNotPreventSystemSleep"=dword:00000001
//   "Name"="text with \\ and \" escaped"
//   @=hex:01,02
//   "Other"=hex(7):41,00,00
//
// Every key has its own section, empty keys included. A REG_SZ that is not one line of text
// ending in its single terminating zero is written as hex(1) so that it reads back byte for byte.
// Reading is lenient: lines that do not parse and sections of unknown roots are skipped.
#pragma once

#include <string>
#include <string_view>

#include "base/registry_tree.h"

namespace qbase::registry::detail {

std::string formatHive(const Hive& hive);
Hive parseHive(std::string_view text);

}  // namespace qbase::registry::detail
