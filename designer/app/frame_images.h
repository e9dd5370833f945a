// The designer's pictures, drawn at start as XPM text: the sixteen tree images at 16 and 32 pixels,
// the three medium icons of the status bar, the toolbar's buttons and the on-line dialogs' icons. Each picture is a few simple
// shapes in at most sixteen colours, so that every image of the tree reads apart from the others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plandrel {

using Xpm = std::vector<std::string>;

// Tree image `index` (0..15, the image order of the tree) at `size` pixels.
Xpm tree_image(int index, int size);

enum class MediumPicture : std::uint8_t { off, neutral, on };
Xpm medium_icon(MediumPicture picture);

enum class ToolbarPicture : std::uint8_t { file_new, file_open, file_save, connect, disconnect, expand, icon_size, about };
Xpm toolbar_image(ToolbarPicture picture);

// The big icons of the on-line dialogs' frames, at 32 pixels.
enum class DialogPicture : std::uint8_t {
  ba_control,
  variable_produced,
  variable_consumed,
  message_transmitted,
  message_received,
  medium,
  aperiodic,
};
Xpm dialog_icon(DialogPicture picture);

}  // namespace plandrel
