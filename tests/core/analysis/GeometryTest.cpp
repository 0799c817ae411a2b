#include "analysis/BottomFace.h"
#include "analysis/PlanGeometry.h"
#include "model/Project.h"

#include <gtest/gtest.h>

#include <limits>

using namespace rig;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

Source flownWithLast(const char* type, std::optional<double> site, const char* config = "flown") {
    Source s("Main L", {"ALL", "Main"});
    s.configuration = config;
    Enclosure top;
    top.index = 1;
    top.type = "K1";
    top.site = 3.0;
    Enclosure last;
    last.index = 2;
    last.type = type;
    last.site = site;
    s.enclosures = {top, last};
    return s;
}

Pickup pickup(const char* role, double x, double y, double z = 0) {
    Pickup p;
    p.role = role;
    p.position = XYZ(x, y, z);
    return p;
}

void expectCorner(const std::vector<double>& c, double x, double y) {
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NEAR(c[0], x, 1e-12);
    EXPECT_NEAR(c[1], y, 1e-12);
}

} // namespace

TEST(Wedge, LongestPrefixOfTheNormalisedType) {
    EXPECT_EQ(Wedge::halfAngle("kara_ii"), 5);
    EXPECT_EQ(Wedge::halfAngle("A15_Wide"), 15);
    EXPECT_EQ(Wedge::halfAngle("ARCS II"), 11.25);
    EXPECT_EQ(Wedge::halfAngle("K1-SB"), 0);
    EXPECT_EQ(Wedge::halfAngle("K2"), 5);
    EXPECT_EQ(Wedge::halfAngle("ks28_c"), 0);
    EXPECT_EQ(Wedge::halfAngle("Kiva II"), std::nullopt);
    EXPECT_EQ(Wedge::halfAngle("A15"), std::nullopt);
    EXPECT_EQ(Wedge::halfAngle("A10i Focus"), std::nullopt);
    EXPECT_EQ(Wedge::halfAngle(" KARA"), std::nullopt); // no trimming
    EXPECT_EQ(Wedge::halfAngle(""), std::nullopt);
}

TEST(BottomFace, SiteAndFacetOfTheLastEnclosure) {
    auto kara = bottomFace(flownWithLast("KARA", -2.25));
    ASSERT_TRUE(kara);
    EXPECT_EQ(kara->site, -2.25);
    EXPECT_EQ(kara->facet, -7.3); // -72.5 rounds away from zero

    auto k1 = bottomFace(flownWithLast("K1", -4.0, "K1 flown, 12 cabinets"));
    ASSERT_TRUE(k1);
    EXPECT_EQ(k1->facet, -4.0);

    EXPECT_EQ(bottomFace(flownWithLast("KARA", -2.25, "Flown")), std::nullopt);
    EXPECT_EQ(bottomFace(flownWithLast("KARA", std::nullopt)), std::nullopt);
    EXPECT_EQ(bottomFace(flownWithLast("Kiva II", -1)), std::nullopt);
    Source none("S", {});
    none.configuration = "flown";
    EXPECT_EQ(bottomFace(none), std::nullopt);
}

TEST(PickupFootprint, RectangleAlongThePlanAxis) {
    Source single("S", {});
    single.pickups = {pickup("Front", 0, 0)}; // azimuth none: axis (0, 1)
    auto f = pickupFootprint(single);
    ASSERT_TRUE(f);
    EXPECT_NEAR(f->cx, 0, 1e-12);
    EXPECT_NEAR(f->cy, 0.15, 1e-12);
    ASSERT_EQ(f->hull.size(), 4u);
    expectCorner(f->hull[0], 0.3, -0.45);
    expectCorner(f->hull[1], 0.3, 0.45);
    expectCorner(f->hull[2], -0.3, 0.45);
    expectCorner(f->hull[3], -0.3, -0.45);

    Source pair("S", {});
    pair.pickups = {pickup("Rear", 0, 0), pickup("Front", 0, 1), pickup("Mid", kNaN, 50)};
    f = pickupFootprint(pair);
    ASSERT_TRUE(f);
    EXPECT_NEAR(f->cx, 0, 1e-12);
    EXPECT_NEAR(f->cy, 0.5, 1e-12);
    expectCorner(f->hull[0], 0.3, -0.8);
    expectCorner(f->hull[2], -0.3, 0.8);

    // Azimuth 90: the rectangle is turned with the axis.
    Source turned("S", {});
    turned.azimuth = 90;
    turned.pickups = {pickup("Hook", 10, 5)};
    f = pickupFootprint(turned);
    ASSERT_TRUE(f);
    EXPECT_NEAR(f->cx, 10.15, 1e-12);
    EXPECT_NEAR(f->cy, 5, 1e-12);
    expectCorner(f->hull[0], -0.45, -0.3);

    Source unreadable("S", {});
    unreadable.pickups = {pickup("Front", kNaN, 0), pickup("Rear", 1, kNaN)};
    EXPECT_EQ(pickupFootprint(unreadable), std::nullopt);
    EXPECT_EQ(pickupFootprint(Source("S", {})), std::nullopt);
}

TEST(RoundHundredth, HalvesAwayFromZero) {
    EXPECT_EQ(roundHundredth(0.125), 0.13);
    EXPECT_EQ(roundHundredth(-0.125), -0.13);
    EXPECT_EQ(roundHundredth(1.234), 1.23);
}

TEST(DeltaPoints, AcrossThePlanAxisRoundedToTheCentimetre) {
    Project p;
    p.delta.spacing.reset();
    Source s("Main L", {"ALL", "Main"});
    s.azimuth = 90; // axis (1, 0)
    s.pickups = {pickup("Hook", 1.234, 5.678, 9.0), pickup("Odd", kNaN, 1, 1)};
    EXPECT_EQ(p.deltaPoints(s, s.pickups[0]), std::nullopt) << "no extras at all";

    p.setExtra(s.id(), "Hook", PointExtra{std::nullopt, true});
    p.setExtra(s.id(), "Odd", PointExtra{std::nullopt, true});
    auto dp = p.deltaPoints(s, s.pickups[0]);
    ASSERT_TRUE(dp);
    EXPECT_EQ(dp->left, XYZ(1.23, 6.08, 9.0));
    EXPECT_EQ(dp->right, XYZ(1.23, 5.28, 9.0));
    EXPECT_EQ(p.deltaPoints(s, s.pickups[1]), std::nullopt) << "unreadable X";

    s.azimuth.reset(); // axis (0, 1)
    dp = p.deltaPoints(s, s.pickups[0]);
    ASSERT_TRUE(dp);
    EXPECT_EQ(dp->left, XYZ(0.83, 5.68, 9.0));
    EXPECT_EQ(dp->right, XYZ(1.63, 5.68, 9.0));

    p.delta.spacing = 1.2;
    EXPECT_EQ(p.deltaPoints(s, s.pickups[0])->left.x, 0.63);
    p.setExtra(s.id(), "Hook", PointExtra{Motor{Uuid::random(), "D8", 50}, false});
    EXPECT_EQ(p.deltaPoints(s, s.pickups[0]), std::nullopt) << "a motor alone is no Delta point";
}
