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

TreeItem FindChildWithData(const OnlineFrame& frame, TreeItem parent, std::uint32_t data) {
  for (TreeItem item = frame.TreeFirstChild(parent); item != 0; item = frame.TreeNextSibling(item)) {
    if (frame.TreeItemData(item) == data) return item;
  }
  return 0;
}

TreeItem FindLocalStationItem(const OnlineFrame& frame, std::uint16_t local_station) {
  const TreeItem root = frame.TreeRoot();
  if (root == 0) return 0;
  return FindChildWithData(frame, root, 100u + local_station);
}

}  // namespace plandrel
