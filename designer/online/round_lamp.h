// The geometry and shading of a round button (CRoundButton): its circle inside the button's
// rectangle, the points of a circle as the midpoint algorithm gives them, and the colour of a ring
// pixel, lit from the upper left.
#pragma once

#include <cstdint>
#include <vector>

namespace plandrel {

struct LampCircle {
    int cx = 0, cy = 0;  // centre
    int radius = 0;      // side / 2 - 1
    int side = 0;        // the square the circle is inscribed in, at the rectangle's upper left
};

// The circle of a button of width x height: the square of the smaller side.
LampCircle LampCircleOf(int width, int height);

struct LampRect {
    int left, top, right, bottom;
};
// The disc inside the two shaded rings (radius - 2), as the rectangle of its ellipse, for a circle
// whose square starts at (x, y): the lamp's text is clipped to it. Empty for a lamp too small.
LampRect InnerDisc(const LampCircle& circle, int x, int y);

struct LampPoint {
    int x, y;
};

// The points of the circle of radius r around (cx, cy), eight symmetric points per step of the
// midpoint algorithm (points on the axes and diagonals come more than once). No point for r < 0.
std::vector<LampPoint> MidpointCircle(int cx, int cy, int r);

// The colour of a ring pixel at (dx, dy) from the centre, y pointing down: e*A + (1-e)*B per
// channel, e = (cos(atan2(dy, dx) + 2.356) + 1) / 2, so A at the upper left and B at the lower right.
// Colours are 0x00BBGGRR.
std::uint32_t RingColour(int dx, int dy, std::uint32_t a, std::uint32_t b);

}  // namespace plandrel
