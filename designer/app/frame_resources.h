// The main frame's resources: menu bar 128, toolbar 128, the tree's context menus 194-197, the
// command prompts, the status bar's pane texts, the medium icons and the tree's bitmaps; with them
// the templates of the dialogs the frame and the tree open (settings and record editors).
#pragma once

namespace plandrel {

inline constexpr unsigned kMainFrameResource = 128;
inline constexpr unsigned kCardInformationCommand = 32801;
inline constexpr unsigned kAboutCommand = 57664;
inline constexpr unsigned kExitCommand = 57665;

// Registers them with the class-library layer; once per process, before the main frame is made.
void RegisterFrameResources();

}  // namespace plandrel
