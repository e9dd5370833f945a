// Registers the dialog templates of the board selection dialog, the card information dialog and
// the LED panel (once, before the first of them is shown).
#pragma once

namespace plandrel {

void RegisterOnlineDialogs();

}  // namespace plandrel
