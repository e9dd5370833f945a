// The designer's pictures, drawn at start as XPM text: the sixteen tree images at 16 and 32 pixels,
// the three medium icons of the status bar and the toolbar's buttons. Each picture is a few simple
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

}  // namespace plandrel
