#include "online/round_lamp.h"

#include <algorithm>
#include <cmath>

namespace plandrel {

LampCircle LampCircleOf(int width, int height) {
    LampCircle c;
    c.side = std::max(0, std::min(width, height));
    c.cx = c.side / 2;
    c.cy = c.side / 2;
    c.radius = std::max(0, c.side / 2 - 1);
    return c;
}

LampRect InnerDisc(const LampCircle& circle, int x, int y) {
    const int r = circle.radius - 2;
    const int cx = x + circle.cx, cy = y + circle.cy;
    if (r < 1) return {cx, cy, cx, cy};  // a lamp too small for text
    return {cx - r, cy - r, cx + r + 1, cy + r + 1};
}

std::vector<LampPoint> MidpointCircle(int cx, int cy, int r) {
    std::vector<LampPoint> points;
    if (r < 0) return points;
    int x = r, y = 0, decision = 1 - r;
    while (y <= x) {
        for (const LampPoint p : {LampPoint{x, y}, LampPoint{y, x}, LampPoint{-y, x}, LampPoint{-x, y},
                                  LampPoint{-x, -y}, LampPoint{-y, -x}, LampPoint{y, -x}, LampPoint{x, -y}})
            points.push_back({cx + p.x, cy + p.y});
        ++y;
        if (decision < 0) {
            decision += 2 * y + 1;
        } else {
            --x;
            decision += 2 * (y - x) + 1;
        }
    }
    return points;
}

std::uint32_t RingColour(int dx, int dy, std::uint32_t a, std::uint32_t b) {
    const double e = (std::cos(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) + 2.356) + 1.0) / 2.0;
    std::uint32_t colour = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        const auto channel = static_cast<std::uint32_t>(std::lround(std::clamp(e * ca + (1.0 - e) * cb, 0.0, 255.0)));
        colour |= channel << shift;
    }
    return colour;
}

}  // namespace plandrel
