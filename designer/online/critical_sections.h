// The designer's nine process-wide critical sections. The application object owns them: it creates
// them at the very start of start-up, before any thread exists, and deletes them at shutdown only
// after the on-line session (the only owner of other threads) is gone. csEngine guards every
// engine call made while on line and is always taken before any of the other eight.
#pragma once

#include <array>

#include "ui/critical_section.h"

namespace plandrel {

extern CRITICAL_SECTION csEngine;
extern CRITICAL_SECTION csBaDialog;        // the BA dialog's pointer and open flag
extern CRITICAL_SECTION csVariableDialog;  // the variable dialogs' pointers and open flags
extern CRITICAL_SECTION csVariableFormat;  // variables' display formats and value texts
extern CRITICAL_SECTION csMessageDialog;   // the message dialogs' pointers and open flags
extern CRITICAL_SECTION csMessageFormat;   // messages' display formats and value texts
extern CRITICAL_SECTION csMessageStack;    // the message reception stacks
extern CRITICAL_SECTION csMediumDialog;    // the medium dialog's pointer and open flag
extern CRITICAL_SECTION csValuesDisplay;   // the variables display's refresh-running flag

// The nine in creation (and deletion) order.
const std::array<CRITICAL_SECTION*, 9>& DesignerCriticalSections();

}  // namespace plandrel
