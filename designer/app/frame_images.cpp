#include "frame_images.h"

#include <algorithm>
#include <cmath>

namespace plandrel {
namespace {

// Colours by the character that stands for them in the XPM rows.
constexpr const char* kPalette[] = {
    "  c None",    ". c #000000", "w c #FFFFFF", "g c #808080", "l c #C0C0C0", "b c #1F4FBF",
    "c c #7FBFFF", "G c #1F9F3F", "L c #9FEF9F", "r c #CF2F2F", "o c #EF8F1F", "y c #FFEF5F",
    "n c #7F4F1F", "p c #9F3FBF", "d c #003F7F", "s c #3F3F3F",
};

// A square canvas drawn in coordinates of a 16-unit grid, scaled to its size.
class Canvas {
 public:
  explicit Canvas(int size) : size_(size), rows_(static_cast<std::size_t>(size), std::string(static_cast<std::size_t>(size), ' ')) {}

  void rect(double x0, double y0, double x1, double y1, char fill) {
    for (int y = px(y0); y < px(y1); ++y)
      for (int x = px(x0); x < px(x1); ++x) put(x, y, fill);
  }
  void frame(double x0, double y0, double x1, double y1, char edge, char fill) {
    rect(x0, y0, x1, y1, edge);
    const double t = 16.0 / size_;  // one pixel, in grid units
    rect(x0 + t, y0 + t, x1 - t, y1 - t, fill);
  }
  void disc(double cx, double cy, double r, char fill) {
    for (int y = 0; y < size_; ++y)
      for (int x = 0; x < size_; ++x) {
        const double dx = unit(x) - cx, dy = unit(y) - cy;
        if (dx * dx + dy * dy <= r * r) put(x, y, fill);
      }
  }
  void ring(double cx, double cy, double r, char edge, char fill) {
    disc(cx, cy, r, edge);
    disc(cx, cy, r - 16.0 / size_, fill);
  }
  // A filled triangle.
  void triangle(double ax, double ay, double bx, double by, double cx, double cy, char fill) {
    for (int y = 0; y < size_; ++y)
      for (int x = 0; x < size_; ++x) {
        const double X = unit(x), Y = unit(y);
        const double d1 = (X - bx) * (ay - by) - (ax - bx) * (Y - by);
        const double d2 = (X - cx) * (by - cy) - (bx - cx) * (Y - cy);
        const double d3 = (X - ax) * (cy - ay) - (cx - ax) * (Y - ay);
        const bool negative = d1 < 0 || d2 < 0 || d3 < 0;
        const bool positive = d1 > 0 || d2 > 0 || d3 > 0;
        if (!(negative && positive)) put(x, y, fill);
      }
  }
  void line(double x0, double y0, double x1, double y1, char colour) {
    const int steps = size_ * 2;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      put(px(x0 + (x1 - x0) * t), px(y0 + (y1 - y0) * t), colour);
    }
  }

  Xpm xpm() const {
    std::string used;
    for (const std::string& row : rows_)
      for (char c : row)
        if (used.find(c) == std::string::npos) used += c;
    Xpm out;
    out.push_back(std::to_string(size_) + " " + std::to_string(size_) + " " + std::to_string(used.size()) + " 1");
    for (const char* entry : kPalette)
      if (used.find(entry[0]) != std::string::npos) out.emplace_back(entry);
    out.insert(out.end(), rows_.begin(), rows_.end());
    return out;
  }

 private:
  int px(double unit) const { return static_cast<int>(std::lround(unit * size_ / 16.0)); }
  double unit(int pixel) const { return (pixel + 0.5) * 16.0 / size_; }
  void put(int x, int y, char c) {
    if (x >= 0 && y >= 0 && x < size_ && y < size_) rows_[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = c;
  }

  int size_;
  std::vector<std::string> rows_;
};

void monitor(Canvas& c, char screen, bool selected) {
  c.frame(1, 2, 15, 11, '.', selected ? 'y' : 'l');
  c.rect(3, 4, 13, 9, screen);
  c.rect(6, 11, 10, 13, 'g');
  c.rect(3, 13, 13, 15, '.');
}

void envelope(Canvas& c, char mark, bool selected) {
  c.frame(1, 4, 15, 13, '.', selected ? 'y' : 'w');
  c.line(1.5, 4.5, 8, 9, '.');
  c.line(14.5, 4.5, 8, 9, '.');
  c.disc(13, 12, 3, mark);
}

// The bus arbitrator: a clock-like dial.
void dial(Canvas& c, bool selected) {
  c.ring(8, 8, 7, 'n', selected ? 'y' : 'o');
  c.line(8, 8, 8, 3, '.');
  c.line(8, 8, 12, 10, '.');
}

void variable_box(Canvas& c, bool produced, bool selected) {
  c.frame(1, 3, 10, 13, '.', selected ? 'y' : 'c');
  c.rect(3, 6, 8, 7, 'b');
  c.rect(3, 9, 8, 10, 'b');
  const char arrow = produced ? 'G' : 'p';
  if (produced) {
    c.rect(9, 7, 13, 9, arrow);
    c.triangle(12, 4.5, 16, 8, 12, 11.5, arrow);
  } else {
    c.rect(12, 7, 16, 9, arrow);
    c.triangle(13, 4.5, 9, 8, 13, 11.5, arrow);
  }
}

}  // namespace

Xpm tree_image(int index, int size) {
  Canvas c(size);
  const bool selected = index % 2 == 1;
  switch (index / 2) {
    case 0:  // the network: a globe
      c.ring(8, 8, 7, 'd', selected ? 'c' : 'b');
      c.line(1.5, 8, 14.5, 8, 'w');
      c.line(8, 1.5, 8, 14.5, 'w');
      c.line(3, 4.5, 13, 4.5, 'c');
      c.line(3, 11.5, 13, 11.5, 'c');
      break;
    case 1: dial(c, selected); break;  // the bus arbitrator
    case 2: monitor(c, 'G', selected); break;  // local station
    case 3: monitor(c, 'b', selected); break;  // other station
    case 4: variable_box(c, true, selected); break;
    case 5: variable_box(c, false, selected); break;
    case 6: envelope(c, 'G', selected); break;  // message at its source
    case 7: envelope(c, 'r', selected); break;  // message at its destination
    default: break;
  }
  return c.xpm();
}

Xpm medium_icon(MediumPicture picture) {
  Canvas c(16);
  const char fill = picture == MediumPicture::on ? 'G' : picture == MediumPicture::off ? 'r' : 'l';
  c.ring(8, 8, 6, '.', fill);
  return c.xpm();
}

Xpm toolbar_image(ToolbarPicture picture) {
  Canvas c(16);
  switch (picture) {
    case ToolbarPicture::file_new:
      c.frame(3, 1, 13, 15, '.', 'w');
      c.triangle(9, 1, 13, 1, 13, 5, 'l');
      break;
    case ToolbarPicture::file_open:
      c.frame(1, 4, 14, 14, '.', 'y');
      c.rect(1, 3, 6, 5, 'o');
      break;
    case ToolbarPicture::file_save:
      c.frame(1, 1, 15, 15, '.', 'b');
      c.rect(4, 2, 12, 7, 'w');
      c.rect(5, 10, 11, 15, 'l');
      break;
    case ToolbarPicture::connect:
      c.rect(1, 7, 7, 9, 's');
      c.frame(6, 4, 10, 12, '.', 'G');
      c.rect(10, 5, 15, 6, 's');
      c.rect(10, 10, 15, 11, 's');
      break;
    case ToolbarPicture::disconnect:
      c.rect(1, 7, 5, 9, 's');
      c.frame(4, 4, 8, 12, '.', 'r');
      c.rect(11, 5, 15, 6, 's');
      c.rect(11, 10, 15, 11, 's');
      break;
    case ToolbarPicture::expand:
      c.frame(1, 1, 6, 6, '.', 'w');
      c.rect(3, 3.3, 5, 3.8, '.');
      c.line(3.5, 6, 3.5, 12, 'g');
      c.line(3.5, 12, 8, 12, 'g');
      c.frame(8, 9, 15, 15, '.', 'c');
      break;
    case ToolbarPicture::icon_size:
      c.frame(1, 7, 7, 13, '.', 'c');
      c.frame(8, 2, 15, 13, '.', 'b');
      break;
    case ToolbarPicture::about:
      c.ring(8, 8, 7, 'd', 'b');
      c.rect(7, 7, 9, 13, 'w');
      c.rect(7, 3, 9, 5, 'w');
      break;
  }
  return c.xpm();
}

Xpm dialog_icon(DialogPicture picture) {
  Canvas c(32);
  switch (picture) {
    case DialogPicture::ba_control: dial(c, false); break;
    case DialogPicture::variable_produced: variable_box(c, true, false); break;
    case DialogPicture::variable_consumed: variable_box(c, false, false); break;
    case DialogPicture::message_transmitted: envelope(c, 'G', false); break;
    case DialogPicture::message_received: envelope(c, 'r', false); break;
    case DialogPicture::medium:  // the two channels
      c.rect(1, 5, 15, 6.5, 's');
      c.rect(1, 9.5, 15, 11, 's');
      c.ring(5, 5.75, 2.5, '.', 'G');
      c.ring(11, 10.25, 2.5, '.', 'G');
      break;
    case DialogPicture::aperiodic:  // a list sent
      c.frame(1, 1, 10, 15, '.', 'w');
      for (double y : {4.0, 7.0, 10.0}) c.rect(3, y, 8, y + 1, 'b');
      c.rect(10, 7, 13, 9, 'p');
      c.triangle(12, 4.5, 16, 8, 12, 11.5, 'p');
      break;
  }
  return c.xpm();
}

}  // namespace plandrel
