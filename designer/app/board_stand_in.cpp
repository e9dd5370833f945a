#include "board_stand_in.h"

#include <vector>

#include "corvix.h"

namespace plandrel {

int StandInBoardSelection(SelectedDevice& device) {
  std::uint16_t count = 0;
  if (GetActiveDevicesCount(&count) != 0 || count == 0) return kBoardSelectionNoBoard;
  std::vector<ActiveDeviceInfo> boards(count);
  if (GetActiveDevicesInfo(count, boards.data()) != 0) return kBoardSelectionNoBoard;
  for (const ActiveDeviceInfo& board : boards) {
    if (board.used != 0) continue;
    device.board_number = board.boardNumber;
    device.board_type = board.boardType;
    return 1;  // IDOK
  }
  return kBoardSelectionNoBoard;
}

}  // namespace plandrel
