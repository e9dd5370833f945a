// The round button's circle and shading.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "online/round_lamp.h"

namespace plandrel {
namespace {

TEST(RoundLamp, CircleSitsInTheSquareOfTheSmallerSide) {
    struct Case {
        int w, h, side, centre, radius;
    };
    for (const Case& c : {Case{20, 14, 14, 7, 6}, Case{13, 30, 13, 6, 5}, Case{1, 1, 1, 0, 0}, Case{0, 5, 0, 0, 0},
                          Case{-3, 5, 0, 0, 0}}) {
        const LampCircle circle = LampCircleOf(c.w, c.h);
        EXPECT_EQ(circle.side, c.side) << c.w << "x" << c.h;
        EXPECT_EQ(circle.cx, c.centre);
        EXPECT_EQ(circle.cy, c.centre);
        EXPECT_EQ(circle.radius, c.radius);
    }
}

TEST(RoundLamp, MidpointPointsLieOnTheCircleAndCloseIt) {
    for (int r : {0, 1, 5, 6, 17}) {
        const auto points = MidpointCircle(10, 20, r);
        std::set<std::pair<int, int>> distinct;
        for (const LampPoint& p : points) {
            const double d = std::hypot(p.x - 10, p.y - 20);
            EXPECT_LE(std::abs(d - r), 0.5 + 1e-9) << "r " << r << " at " << p.x << "," << p.y;
            distinct.insert({p.x, p.y});
        }
        // Symmetric under both mirrors and the diagonal.
        for (const auto& [x, y] : distinct) {
            EXPECT_TRUE(distinct.count({20 - x, y}) && distinct.count({x, 40 - y}) &&
                        distinct.count({10 + (y - 20), 20 + (x - 10)}))
                << r;
        }
        // No gap: every point has a neighbour (8-connected) on both sides, so the ring is closed.
        if (r >= 2) {
            for (const auto& [x, y] : distinct) {
                int neighbours = 0;
                for (int ddx = -1; ddx <= 1; ++ddx)
                    for (int ddy = -1; ddy <= 1; ++ddy)
                        if ((ddx || ddy) && distinct.count({x + ddx, y + ddy})) ++neighbours;
                EXPECT_GE(neighbours, 2) << r;
            }
        }
    }
    EXPECT_TRUE(MidpointCircle(0, 0, -1).empty());
}

TEST(RoundLamp, RingIsLitFromTheUpperLeft) {
    const std::uint32_t a = 0x00FFFFFF, b = 0x00404040;
    EXPECT_EQ(RingColour(-10, -10, a, b), a);   // upper left: all A
    EXPECT_EQ(RingColour(10, 10, a, b), b);     // lower right: all B
    // Upper right and lower left lie half way.
    EXPECT_NEAR(static_cast<double>(RingColour(10, -10, a, b) & 0xFF), (0xFF + 0x40) / 2.0, 1.0);
    EXPECT_NEAR(static_cast<double>(RingColour(-10, 10, a, b) & 0xFF), (0xFF + 0x40) / 2.0, 1.0);
    // Channels blend apart from each other.
    EXPECT_EQ(RingColour(-10, -10, 0x000000FF, 0x00FF0000), 0x000000FFu);
    EXPECT_EQ(RingColour(10, 10, 0x000000FF, 0x00FF0000), 0x00FF0000u);
}

TEST(RoundLamp, TheTextDiscStaysInsideTheRings) {
    for (const auto& [w, h] : {std::pair{14, 14}, std::pair{20, 14}, std::pair{33, 40}, std::pair{4, 4}}) {
        const LampCircle circle = LampCircleOf(w, h);
        const LampRect disc = InnerDisc(circle, 3, 5);
        EXPECT_GE(disc.left, 3) << w;
        EXPECT_GE(disc.top, 5) << w;
        EXPECT_LE(disc.right, 3 + circle.side) << w;
        EXPECT_LE(disc.bottom, 5 + circle.side) << w;
        if (circle.radius < 3) {
            EXPECT_TRUE(disc.left == disc.right && disc.top == disc.bottom) << w;  // no room for text
            continue;
        }
        const double cx = (disc.left + disc.right - 1) / 2.0, cy = (disc.top + disc.bottom - 1) / 2.0;
        const double r = (disc.right - disc.left - 1) / 2.0;
        // No pixel of either ring lies inside the disc.
        for (int ring : {circle.radius, circle.radius - 1})
            for (const LampPoint& p : MidpointCircle(3 + circle.cx, 5 + circle.cy, ring))
                EXPECT_GT(std::hypot(p.x - cx, p.y - cy), r) << w << " ring " << ring;
    }
}

}  // namespace
}  // namespace plandrel
