// The record editors and their selection dialogs: the entries through which the tree, the list
// dialog and the main frame run the station, variable, message and aperiodic list editors, and the
// dialog templates.
#pragma once

#include <cstddef>

#include "ui/afxwin.h"

#include "editor_context.h"

namespace plandrel {

// The Help button of the editors and selection dialogs (there is no help system: it does nothing).
inline constexpr int IDC_DIALOG_HELP = 57670;
// The text of an empty choice: no producer, no consumer.
inline constexpr const char* kNoRepresented = "no represented";

// Registers the templates of the editors (136, 138, 141, 199), the list dialog (142) and the selection
// dialogs (137, 139, 140, 143, 144); RegisterFrameResources does it with the frame's own resources.
void RegisterEditorDialogs();

// Runs the variable editor modally on variable `index` of the context's document: IDOK after a
// successful Save, IDCANCEL otherwise (and at once for an index outside the list). `new_record`
// is true when the caller has just appended the record (New, Duplicate): nothing refers to it yet,
// so an identifier typed in it is not carried into the messages.
INT_PTR EditVariable(const EditorContext& context, CWnd* parent, std::size_t index, bool new_record);

// Runs the message editor modally on message `index`: IDOK or IDCANCEL as above.
INT_PTR EditMessage(const EditorContext& context, CWnd* parent, std::size_t index);

// Runs the station editor modally on station `index` of the station table: IDOK or IDCANCEL as above.
INT_PTR EditStation(const EditorContext& context, CWnd* parent, std::size_t index);

// Runs the aperiodic list editor modally on list `index`: IDOK or IDCANCEL as above. The lists stay
// editable on line.
INT_PTR EditList(const EditorContext& context, CWnd* parent, std::size_t index);

}  // namespace plandrel
