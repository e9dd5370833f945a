// The program's critical sections as the on-line objects take them.
#pragma once

#include "online/online_host.h"
#include "ui/critical_section.h"

namespace plandrel {

class CriticalSectionLock final : public SectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) {}
  void lock() override { EnterCriticalSection(&section_); }
  void unlock() override { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION& section_;
};

}  // namespace plandrel
