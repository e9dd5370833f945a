#include "online/online_host.h"

#include "win32/windows.h"

namespace plandrel {

namespace {

class PlatformClock final : public OnlineClock {
 public:
  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

OnlineClock& SystemClock() {
  static PlatformClock clock;
  return clock;
}

}  // namespace plandrel
