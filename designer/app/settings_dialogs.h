// The two settings editors as the main frame and the configuration tree open them: modal, on the
// application's document and timing table, view-only while on line.
#pragma once

#include "arbre_ctrl.h"
#include "frame_host.h"
#include "ui/afxwin.h"

namespace plandrel {

// Registers the templates of the general settings dialog, the BA program editor and its default
// program parameters.
void RegisterSettingsDialogs();

// The general settings dialog; `tree` follows a change of the BA features.
void RunGeneralSettings(CWnd* parent, FrameHost& host, CArbreCtrl* tree);
// The BA program editor.
void RunBaProgramEditor(CWnd* parent, FrameHost& host);

}  // namespace plandrel
