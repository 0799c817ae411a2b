#include "import/SideViewBuilder.h"
#include "import/detail/SideViewBuilderDetail.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace rig;
using fixtures::notANumber;
using fixtures::testPickup;
using SideViewBuilder::Point;
using Seg = SideViewBuilder::Segment;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

Source sourceWith(std::vector<Pickup> pickups, std::optional<double> azimuth = std::nullopt) {
    Source s = fixtures::testSource("Main L", {"ALL", "Main"}, std::move(pickups));
    s.azimuth = azimuth;
    return s;
}

// The twelve edges of an axis-aligned box.
std::vector<Seg> boxEdges(XYZ lo, XYZ hi) {
    const XYZ c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                      {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    const int e[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                          {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    std::vector<Seg> out;
    for (const auto& p : e) out.emplace_back(c[p[0]], c[p[1]]);
    return out;
}

DXFSource dxfWith(std::vector<Seg> segments, XYZ insert = XYZ()) {
    DXFSource d;
    d.insert = insert;
    d.segments = std::move(segments);
    return d;
}

void append(std::vector<Seg>& to, const std::vector<Seg>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

} // namespace

TEST(SideViewBuilder, PlanAxis) {
    auto expectAxis = [](const Source& s, double dx, double dy, const char* what) {
        const auto a = SideViewBuilder::planAxis(s);
        EXPECT_NEAR(a.dx, dx, 1e-12) << what;
        EXPECT_NEAR(a.dy, dy, 1e-12) << what;
    };
    // A front and a rear pickup, an azimuth, and the axis.
    const std::vector<std::tuple<XYZ, XYZ, std::optional<double>, double, double, const char*>> pairs = {
        {XYZ(0, 0, 0), XYZ(0, -2, 0), 45, 0, 1, "from rear to front whatever the azimuth"},
        {XYZ(4, 5, 0), XYZ(1, 1, 0), {}, 0.6, 0.8, "from rear to front"},
        {XYZ(0, 0.05, 0), XYZ(), 90, 1, 0, "5 cm apart: the azimuth decides"},
        {XYZ(0, 0.0501, 0), XYZ(), 90, 0, 1, "just over 5 cm apart: from rear to front"},
        {XYZ(0.04, 0, 1), XYZ(), 0, 0, 1, "4 cm apart in plan, more in height: the azimuth decides"},
        {XYZ(0, 0, 3), XYZ(), 180, 0, -1, "only vertical distance"},
        {XYZ(notANumber, 0, 0), XYZ(0, -2, 0), 90, 1, 0, "front x NaN"},
        {XYZ(), XYZ(notANumber, -2, 0), 90, 1, 0, "rear x NaN"},
        {XYZ(), XYZ(0, notANumber, 0), 90, 1, 0, "rear y NaN"},
    };
    for (const auto& [front, rear, azimuth, dx, dy, what] : pairs)
        expectAxis(sourceWith({testPickup("Front", front), testPickup("Rear", rear)}, azimuth), dx, dy, what);

    const Pickup front = testPickup("Front", XYZ()), rear = testPickup("Rear", XYZ(0, -1, 0));
    const Pickup pullback = testPickup("Pullback", XYZ(-1, 0, 0));
    expectAxis(sourceWith({pullback, rear, front}), 1, 0, "the first rear or pullback in list order");
    expectAxis(sourceWith({front, rear, pullback}), 0, 1, "the first rear or pullback in list order");
    expectAxis(sourceWith({testPickup("front", XYZ()), rear}, 90), 1, 0, "roles match exactly");
    expectAxis(sourceWith({front}, 90), 1, 0, "a lone front pickup");
    expectAxis(sourceWith({}), 0, 1, "no azimuth either");

    // Always a unit vector.
    for (const Source& s :
         {sourceWith({}, notANumber), sourceWith({}, kInf),
          sourceWith({testPickup("Front", XYZ(0, kInf, 0)), testPickup("Rear", XYZ())}, 0),
          sourceWith({testPickup("Front", XYZ(0, 1e300, 0)), testPickup("Rear", XYZ(0, -1e300, 0))})}) {
        const auto a = SideViewBuilder::planAxis(s);
        EXPECT_NEAR(std::hypot(a.dx, a.dy), 1, 1e-12);
    }
}

TEST(SideViewBuilder, VertexKeysJoinBodies) {
    EXPECT_EQ(SideViewBuilder::detail::key(XYZ(0.00005, -0.00005, 1.23456)),
              (SideViewBuilder::detail::K{1, -1, 12346}));
    EXPECT_FALSE(SideViewBuilder::detail::key(XYZ(notANumber, 0, 0)));

    // 0.04 mm apart on the same key: one body; the first point's coordinates are kept.
    auto b =
        SideViewBuilder::detail::bodies({{XYZ(0, 0, 0), XYZ(1, 0, 0)}, {XYZ(1.00004, 0, 0), XYZ(2, 0, 0)}});
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0], (std::vector<XYZ>{XYZ(0, 0, 0), XYZ(1, 0, 0), XYZ(2, 0, 0)}));
    // 0.02 mm apart across a key boundary: two bodies.
    b = SideViewBuilder::detail::bodies(
        {{XYZ(0, 0, 0), XYZ(1.00004, 0, 0)}, {XYZ(1.00006, 0, 0), XYZ(2, 0, 0)}});
    EXPECT_EQ(b.size(), 2u);
    // Joined through a later segment; a segment with an end that has no key is left out.
    b = SideViewBuilder::detail::bodies({{XYZ(0, 0, 0), XYZ(1, 0, 0)},
                                         {XYZ(5, 0, 0), XYZ(6, 0, 0)},
                                         {XYZ(notANumber, 0, 0), XYZ(5, 0, 0)},
                                         {XYZ(6, 0, 0), XYZ(0, 0, 0)}});
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].size(), 4u);
}

TEST(SideViewBuilder, Hull) {
    const std::int64_t big = std::int64_t(1) << 60; // extreme values do not overflow
    const std::vector<std::pair<std::vector<Point>, std::vector<Point>>> cases = {
        {{{1, 1}, {0, 0}}, {{0, 0}, {1, 1}}},
        {{{2, 2}, {0, 0}, {1, 1}}, {{0, 0}, {2, 2}}},
        {{{3, 3}, {3, 3}, {3, 3}}, {{3, 3}, {3, 3}}},
        // Inner and mid-edge points go; counter-clockwise from the smallest point.
        {{{2, 2}, {0, 2}, {1, 1}, {0, 0}, {1, 0}, {2, 0}, {0, 1}}, {{0, 0}, {2, 0}, {2, 2}, {0, 2}}},
        {{{-big, -big}, {big, -big}, {0, 0}, {big, big}, {-big, big}},
         {{-big, -big}, {big, -big}, {big, big}, {-big, big}}},
    };
    for (const auto& [points, hull] : cases) EXPECT_EQ(SideViewBuilder::hull(points), hull);
}

TEST(SideViewBuilder, SideViewDropsContainedHullsAndKeepsPickups) {
    // Axis (0, 1): u is y, v is -z, in centimetres from the insert.
    const Source source =
        sourceWith({testPickup("Front", XYZ(10, 21, 3.5)), testPickup("Rear", XYZ(10, 19, 3.5)),
                    testPickup("Low", XYZ(10, 20, -9)), testPickup("Broken", XYZ(notANumber, 20, 0))});
    std::vector<Seg> segs = boxEdges(XYZ(9, 19.9, 0.5), XYZ(11, 20.1, 1)); // small, inside the big one
    append(segs, boxEdges(XYZ(9, 19, 0), XYZ(11, 21, 3)));                 // big
    append(segs, boxEdges(XYZ(9, 20.5, 2.5), XYZ(11, 22, 4)));             // crosses the big one
    append(segs, {{XYZ(0, 30, 0), XYZ(0, 31, 1)}, {XYZ(0, 31, 1), XYZ(0, 32, 2)}}); // a straight line
    const auto view = SideViewBuilder::sideView(source, dxfWith(segs, XYZ(10, 20, 0)));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->path, "M-100 -300L100 -300L100 0L-100 0Z"
                          "M50 -400L200 -400L200 -250L50 -250Z");
    EXPECT_EQ(view->points, (List<std::vector<std::int64_t>>{{100, -350}, {-100, -350}, {0, 900}}));
    EXPECT_EQ(std::vector<std::int64_t>({view->minU, view->maxU, view->minV, view->maxV}),
              std::vector<std::int64_t>({-100, 200, -400, 900}));

    // A hull on the border of the accepted one is dropped too.
    segs = boxEdges(XYZ(0, 0, 0), XYZ(1, 2, 2));
    append(segs, boxEdges(XYZ(5, 0, 0), XYZ(6, 1, 1)));
    const auto border = SideViewBuilder::sideView(sourceWith({}), dxfWith(segs));
    ASSERT_TRUE(border);
    EXPECT_EQ(border->path, "M0 -200L200 -200L200 0L0 0Z");
    EXPECT_TRUE(border->points.empty());

    // Many bodies: a 20 x 20 field of small cabinets, a large body covering the left half of
    // them exactly up to its border, and one long thin body crossing the whole field.
    segs.clear();
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 20; ++j) append(segs, boxEdges(XYZ(0, i, j), XYZ(0.5, i + 0.5, j + 0.5)));
    }
    append(segs, boxEdges(XYZ(0, 0, 0), XYZ(1, 9.5, 19.5)));
    append(segs, boxEdges(XYZ(0, -1, 9.6), XYZ(1, 30, 9.7)));
    const auto many = SideViewBuilder::sideView(sourceWith({}), dxfWith(segs));
    ASSERT_TRUE(many);
    // The large body, the crossing one and the 200 cabinets outside the large body.
    EXPECT_EQ(std::count(many->path.begin(), many->path.end(), 'M'), 2 + 200);
    EXPECT_TRUE(many->path.starts_with("M0 -1950L950 -1950L950 0L0 0Z"));
}

TEST(SideViewBuilder, NoViewWithoutAnArea) {
    EXPECT_FALSE(SideViewBuilder::sideView(sourceWith({}), dxfWith({})));
    // Flat along the axis direction seen from the side: all on one line.
    EXPECT_FALSE(
        SideViewBuilder::sideView(sourceWith({}, 90), dxfWith(boxEdges(XYZ(0, 0, 0), XYZ(0, 1, 0)))));
    // Only unplaceable points.
    EXPECT_FALSE(SideViewBuilder::sideView(
        sourceWith({}), dxfWith(boxEdges(XYZ(0, 0, 0), XYZ(notANumber, notANumber, notANumber)))));
    EXPECT_FALSE(SideViewBuilder::sideView(sourceWith({}),
                                           dxfWith(boxEdges(XYZ(0, 0, 0), XYZ(1, 1, 1)), XYZ(0, -1e300, 0))));
    EXPECT_FALSE(SideViewBuilder::topView(dxfWith({})));
    EXPECT_FALSE(
        SideViewBuilder::topView(dxfWith({{XYZ(0, 0, 0), XYZ(0, 0, 5)}, {XYZ(0, 0, 0), XYZ(1, 1, 0)}})));
}

TEST(SideViewBuilder, TopView) {
    std::vector<Seg> segs = boxEdges(XYZ(9, 4.5, 0), XYZ(11, 5.5, 1));
    append(segs, {{XYZ(10, 5, 0), XYZ(notANumber, 5, 0)}, {XYZ(10, 5, 0), XYZ(1e300, 5, 0)}});
    const auto top = SideViewBuilder::topView(dxfWith(segs));
    ASSERT_TRUE(top);
    EXPECT_EQ(top->cx, 10);
    EXPECT_EQ(top->cy, 5);
    EXPECT_EQ(top->hull, (List<std::vector<double>>{{-1, -0.5}, {1, -0.5}, {1, 0.5}, {-1, 0.5}}));

    // The mean of the corners, not the centre of the area; rounded to the millimetre.
    const auto tri =
        SideViewBuilder::topView(dxfWith({{XYZ(0, 0, 0), XYZ(1, 0, 0)}, {XYZ(1, 0, 0), XYZ(0, 1, 0)}}));
    ASSERT_TRUE(tri);
    EXPECT_EQ(tri->cx, 0.333);
    EXPECT_EQ(tri->cy, 0.333);
    EXPECT_EQ(tri->hull, (List<std::vector<double>>{{-0.333, -0.333}, {0.667, -0.333}, {-0.333, 0.667}}));

    // Many points: a 1 m grid in centimetres with its edges full of points, and one point
    // just outside the middle of the right edge. Both outlines agree with views().
    std::vector<Seg> grid;
    for (int i = 0; i <= 20; ++i) {
        for (int j = 0; j < 20; ++j)
            grid.emplace_back(XYZ(i * 0.05, j * 0.05, 0), XYZ(i * 0.05, (j + 1) * 0.05, 0));
    }
    grid.emplace_back(XYZ(1.01, 0.5, 0), XYZ(1, 0.5, 0));
    const DXFSource dense = dxfWith(grid);
    const auto plan = SideViewBuilder::topView(dense);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->hull.size(), 5u);
    EXPECT_EQ(plan->hull[2], (std::vector<double>{0.408, 0})); // around the mean of the corners
    const auto views = SideViewBuilder::views(sourceWith({}), dense);
    EXPECT_EQ(views.top, plan);
    EXPECT_EQ(views.side, SideViewBuilder::sideView(sourceWith({}), dense));
}
