#include "import/SideViewBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace rig;
using SideViewBuilder::Axis;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

Pickup pickup(const char* role, double x, double y, double z = 0) {
    Pickup p;
    p.role = role;
    p.position = XYZ(x, y, z);
    return p;
}

Source sourceWith(std::vector<Pickup> pickups, std::optional<double> azimuth = std::nullopt) {
    Source s("Main L", {"ALL", "Main"});
    s.pickups = List<Pickup>(std::move(pickups));
    s.azimuth = azimuth;
    return s;
}

void expectAxis(Axis a, double dx, double dy) {
    EXPECT_NEAR(a.dx, dx, 1e-12);
    EXPECT_NEAR(a.dy, dy, 1e-12);
}

} // namespace

TEST(PlanAxis, FromRearToFrontWhateverTheAzimuth) {
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0), pickup("Rear", 0, -2)}, 45)), 0,
               1);
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Rear", 1, 1), pickup("Front", 4, 5)})), 0.6,
               0.8);
}

TEST(PlanAxis, FirstRearOrPullbackInListOrder) {
    auto s = sourceWith({pickup("Pullback", -1, 0), pickup("Rear", 0, -1), pickup("Front", 0, 0)});
    expectAxis(SideViewBuilder::planAxis(s), 1, 0);
    s = sourceWith({pickup("Front", 0, 0), pickup("Rear", 0, -1), pickup("Pullback", -1, 0)});
    expectAxis(SideViewBuilder::planAxis(s), 0, 1);
    // Roles are matched exactly.
    s = sourceWith({pickup("front", 0, 0), pickup("Rear", 0, -1)}, 90);
    expectAxis(SideViewBuilder::planAxis(s), 1, 0);
}

TEST(PlanAxis, AzimuthDecidesWhenPickupsAreUnusable) {
    // 5 cm apart or closer.
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0.05), pickup("Rear", 0, 0)}, 90)), 1,
               0);
    // Only vertical distance.
    expectAxis(
        SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0, 3), pickup("Rear", 0, 0, 0)}, 180)), 0,
        -1);
    // Not-a-number on either side.
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", kNaN, 0), pickup("Rear", 0, -2)}, 90)),
               1, 0);
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0), pickup("Rear", kNaN, -2)}, 90)),
               1, 0);
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0), pickup("Rear", 0, kNaN)}, 90)), 1,
               0);
    // A lone front pickup.
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0)}, 90)), 1, 0);
    // No azimuth either.
    expectAxis(SideViewBuilder::planAxis(sourceWith({})), 0, 1);
}

TEST(PlanAxis, AlwaysAUnitVector) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const Source& s : {sourceWith({}, kNaN), sourceWith({}, inf),
                            sourceWith({pickup("Front", 0, inf), pickup("Rear", 0, 0)}, 0),
                            sourceWith({pickup("Front", 0, 1e300), pickup("Rear", 0, -1e300)})}) {
        const Axis a = SideViewBuilder::planAxis(s);
        EXPECT_NEAR(std::hypot(a.dx, a.dy), 1, 1e-12);
    }
}

namespace {

using SideViewBuilder::Point;
using Seg = SideViewBuilder::Segment;

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

TEST(SideViewBuilder, VertexKeysJoinBodies) {
    EXPECT_EQ(SideViewBuilder::key(XYZ(0.00005, -0.00005, 1.23456)), (SideViewBuilder::K{1, -1, 12346}));
    EXPECT_FALSE(SideViewBuilder::key(XYZ(kNaN, 0, 0)));
    EXPECT_FALSE(SideViewBuilder::key(XYZ(0, 1e15, 0)));
    EXPECT_TRUE(SideViewBuilder::key(XYZ(0, 1e14, 0)));

    // 0.04 mm apart on the same key: one body; the first point's coordinates are kept.
    auto b = SideViewBuilder::bodies({{XYZ(0, 0, 0), XYZ(1, 0, 0)}, {XYZ(1.00004, 0, 0), XYZ(2, 0, 0)}});
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0], (std::vector<XYZ>{XYZ(0, 0, 0), XYZ(1, 0, 0), XYZ(2, 0, 0)}));
    // 0.02 mm apart across a key boundary: two bodies.
    b = SideViewBuilder::bodies({{XYZ(0, 0, 0), XYZ(1.00004, 0, 0)}, {XYZ(1.00006, 0, 0), XYZ(2, 0, 0)}});
    EXPECT_EQ(b.size(), 2u);
    // Joined through a later segment; a segment with an end that has no key is left out.
    b = SideViewBuilder::bodies({{XYZ(0, 0, 0), XYZ(1, 0, 0)},
                                 {XYZ(5, 0, 0), XYZ(6, 0, 0)},
                                 {XYZ(kNaN, 0, 0), XYZ(5, 0, 0)},
                                 {XYZ(6, 0, 0), XYZ(0, 0, 0)}});
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].size(), 4u);
}

TEST(SideViewBuilder, Hull) {
    EXPECT_EQ(SideViewBuilder::hull({{1, 1}, {0, 0}}), (std::vector<Point>{{0, 0}, {1, 1}}));
    EXPECT_EQ(SideViewBuilder::hull({{2, 2}, {0, 0}, {1, 1}}), (std::vector<Point>{{0, 0}, {2, 2}}));
    EXPECT_EQ(SideViewBuilder::hull({{3, 3}, {3, 3}, {3, 3}}), (std::vector<Point>{{3, 3}, {3, 3}}));
    // Inner and mid-edge points go; counter-clockwise from the smallest point.
    EXPECT_EQ(SideViewBuilder::hull({{2, 2}, {0, 2}, {1, 1}, {0, 0}, {1, 0}, {2, 0}, {0, 1}}),
              (std::vector<Point>{{0, 0}, {2, 0}, {2, 2}, {0, 2}}));
    // Extreme values do not overflow.
    const std::int64_t big = std::int64_t(1) << 60;
    EXPECT_EQ(SideViewBuilder::hull({{-big, -big}, {big, -big}, {0, 0}, {big, big}, {-big, big}}).size(), 4u);
}

TEST(SideViewBuilder, SideViewDropsContainedHullsAndKeepsPickups) {
    // Axis (0, 1): u is y, v is -z, in centimetres from the insert.
    Source source = sourceWith({pickup("Front", 10, 21, 3.5), pickup("Rear", 10, 19, 3.5),
                                pickup("Low", 10, 20, -9), pickup("Broken", kNaN, 20, 0)});
    std::vector<Seg> segs = boxEdges(XYZ(9, 19.9, 0.5), XYZ(11, 20.1, 1)); // small, inside the big one
    append(segs, boxEdges(XYZ(9, 19, 0), XYZ(11, 21, 3)));                 // big
    append(segs, boxEdges(XYZ(9, 20.5, 2.5), XYZ(11, 22, 4)));             // crosses the big one
    append(segs, {{XYZ(0, 30, 0), XYZ(0, 31, 1)}, {XYZ(0, 31, 1), XYZ(0, 32, 2)}}); // a straight line
    const auto view = SideViewBuilder::sideView(source, dxfWith(segs, XYZ(10, 20, 0)));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->path, "M-100 -300L100 -300L100 0L-100 0Z"
                          "M50 -400L200 -400L200 -250L50 -250Z");
    EXPECT_EQ(view->points, (List<std::vector<std::int64_t>>{{100, -350}, {-100, -350}, {0, 900}}));
    EXPECT_EQ(view->minU, -100);
    EXPECT_EQ(view->maxU, 200);
    EXPECT_EQ(view->minV, -400);
    EXPECT_EQ(view->maxV, 900);

    // A hull on the border of the accepted one is dropped too.
    segs = boxEdges(XYZ(0, 0, 0), XYZ(1, 2, 2));
    append(segs, boxEdges(XYZ(5, 0, 0), XYZ(6, 1, 1)));
    const auto border = SideViewBuilder::sideView(sourceWith({}), dxfWith(segs));
    ASSERT_TRUE(border);
    EXPECT_EQ(border->path, "M0 -200L200 -200L200 0L0 0Z");
    EXPECT_TRUE(border->points.empty());
}

TEST(SideViewBuilder, NoSideViewWithoutAnArea) {
    EXPECT_FALSE(SideViewBuilder::sideView(sourceWith({}), dxfWith({})));
    // Flat along the axis direction seen from the side: all on one line.
    EXPECT_FALSE(
        SideViewBuilder::sideView(sourceWith({}, 90), dxfWith(boxEdges(XYZ(0, 0, 0), XYZ(0, 1, 0)))));
    // Only unplaceable points.
    EXPECT_FALSE(
        SideViewBuilder::sideView(sourceWith({}), dxfWith(boxEdges(XYZ(0, 0, 0), XYZ(kNaN, kNaN, kNaN)))));
    EXPECT_FALSE(SideViewBuilder::sideView(sourceWith({}),
                                           dxfWith(boxEdges(XYZ(0, 0, 0), XYZ(1, 1, 1)), XYZ(0, -1e300, 0))));
}

TEST(SideViewBuilder, TopView) {
    std::vector<Seg> segs = boxEdges(XYZ(9, 4.5, 0), XYZ(11, 5.5, 1));
    append(segs, {{XYZ(10, 5, 0), XYZ(kNaN, 5, 0)}, {XYZ(10, 5, 0), XYZ(1e300, 5, 0)}});
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

    EXPECT_FALSE(SideViewBuilder::topView(dxfWith({})));
    EXPECT_FALSE(
        SideViewBuilder::topView(dxfWith({{XYZ(0, 0, 0), XYZ(0, 0, 5)}, {XYZ(0, 0, 0), XYZ(1, 1, 0)}})));
}

TEST(SideViewBuilder, ManyBodiesInsideAndOutsideALargeOne) {
    // A 20 x 20 field of small cabinets; the large body covers the left half of them exactly
    // up to its border, and one long thin body crosses the whole field.
    std::vector<Seg> segs;
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 20; ++j) {
            append(segs, boxEdges(XYZ(0, i * 1.0, j * 1.0), XYZ(0.5, i * 1.0 + 0.5, j * 1.0 + 0.5)));
        }
    }
    append(segs, boxEdges(XYZ(0, 0, 0), XYZ(1, 9.5, 19.5)));
    append(segs, boxEdges(XYZ(0, -1, 9.6), XYZ(1, 30, 9.7)));
    const auto view = SideViewBuilder::sideView(sourceWith({}), dxfWith(segs));
    ASSERT_TRUE(view);
    std::size_t subpaths = 0;
    for (char c : view->path) subpaths += c == 'M';
    // The large body, the crossing one and the 200 cabinets outside the large body.
    EXPECT_EQ(subpaths, 2u + 200u);
    EXPECT_TRUE(view->path.starts_with("M0 -1950L950 -1950L950 0L0 0Z"));
}
