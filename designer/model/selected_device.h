// SelectedDevice: the board chosen at the designer's start, fixed for the whole run. It also names
// the document's working files (section + board type + board number + ".trv").
#pragma once

#include <cstdint>

namespace plandrel {

inline constexpr std::uint32_t kBoardTypePci = 0;
inline constexpr std::uint32_t kBoardTypePc104 = 1;
inline constexpr std::uint32_t kBoardTypeUsb = 2;

struct SelectedDevice {
  std::uint16_t board_number = 0;  // 1..9; 0 until a board is chosen
  std::uint32_t board_type = kBoardTypePci;
  friend bool operator==(const SelectedDevice&, const SelectedDevice&) = default;
};

}  // namespace plandrel
