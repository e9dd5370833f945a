#include "online/critical_sections.h"

namespace plandrel {

CRITICAL_SECTION csEngine;
CRITICAL_SECTION csBaDialog;
CRITICAL_SECTION csVariableDialog;
CRITICAL_SECTION csVariableFormat;
CRITICAL_SECTION csMessageDialog;
CRITICAL_SECTION csMessageFormat;
CRITICAL_SECTION csMessageStack;
CRITICAL_SECTION csMediumDialog;
CRITICAL_SECTION csValuesDisplay;

const std::array<CRITICAL_SECTION*, 9>& DesignerCriticalSections() {
  static const std::array<CRITICAL_SECTION*, 9> sections{
      &csEngine,        &csBaDialog,     &csVariableDialog, &csVariableFormat, &csMessageDialog,
      &csMessageFormat, &csMessageStack, &csMediumDialog,   &csValuesDisplay};
  return sections;
}

}  // namespace plandrel
