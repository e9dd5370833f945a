// Stand-in for the board selection dialog until it exists: start-up takes the first board of the
// machine that no program holds. The dialog replaces StandInBoardSelection; its results are the
// dialog's (IDOK with `device` stored, 3 when there is no free board).
#pragma once

#include "model/selected_device.h"

namespace plandrel {

inline constexpr int kBoardSelectionNoBoard = 3;

int StandInBoardSelection(SelectedDevice& device);

}  // namespace plandrel
