// SelectedDevice: the board chosen at start-up, fixed for the life of the program. It names the
// working files of the document (section + board type + board number + ".trv").
#pragma once

#include <cstdint>

namespace plandrel {

struct SelectedDevice {
  std::uint16_t board_number = 1;  // 1..9
  int board_type = 0;              // BoardType: 0 PCI, 1 PC104, 2 USB

  friend bool operator==(const SelectedDevice&, const SelectedDevice&) = default;
};

}  // namespace plandrel
