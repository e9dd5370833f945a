// Registers the dialog templates of the board selection dialog, the card information dialog, the
// LED panel, the on-line dialogs, the variables display with its refresh period dialog and the
// presence test with its images (once, before the first of them is shown).
#pragma once

namespace plandrel {

void RegisterOnlineDialogs();
// The on-line dialogs hosted in their frames alone.
void RegisterSessionDialogs();

}  // namespace plandrel
