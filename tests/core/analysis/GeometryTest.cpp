#include "analysis/BottomFace.h"
#include "analysis/PlanGeometry.h"
#include "model/Project.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

using namespace rig;
using namespace rig::fixtures;

TEST(Wedge, LongestPrefixOfTheNormalisedType) {
    const std::pair<const char*, std::optional<double>> cases[] = {{"kara_ii", 5},
                                                                   {"A15_Wide", 15},
                                                                   {"ARCS II", 11.25},
                                                                   {"K1-SB", 0},
                                                                   {"K2", 5},
                                                                   {"ks28_c", 0},
                                                                   {"Kiva II", std::nullopt},
                                                                   {"A15", std::nullopt},
                                                                   {"A10i Focus", std::nullopt},
                                                                   {" KARA", std::nullopt},
                                                                   {"", std::nullopt}};
    for (const auto& [type, half] : cases) EXPECT_EQ(Wedge::halfAngle(type), half) << '"' << type << '"';
}

TEST(BottomFace, SiteAndFacetOfTheLastEnclosure) {
    struct Case {
        const char* type;
        std::optional<double> site;
        const char* config;
        std::optional<double> facet;
    };
    const Case cases[] = {{"KARA", -2.25, "flown", -7.3}, // -72.5 tenths round away from zero
                          {"K1", -4.0, "K1 flown, 12 cabinets", -4.0},
                          {"KARA", -2.25, "Flown", std::nullopt},
                          {"KARA", std::nullopt, "flown", std::nullopt},
                          {"Kiva II", -1.0, "flown", std::nullopt}};
    for (const Case& c : cases) {
        Source s = testSource("Main L", {"ALL", "Main"});
        s.configuration = c.config;
        s.enclosures = {Enclosure{1, "K1", {}, 3.0, {}, {}, {}},
                        Enclosure{2, c.type, {}, c.site, {}, {}, {}}};
        auto face = bottomFace(s);
        EXPECT_EQ(face ? std::optional(face->facet) : std::nullopt, c.facet) << c.type << ", " << c.config;
        if (face) {
            EXPECT_EQ(face->site, c.site);
        }
    }
    Source none = testSource("S", {});
    none.configuration = "flown";
    EXPECT_EQ(bottomFace(none), std::nullopt);
}

TEST(PickupFootprint, RectangleAlongThePlanAxis) {
    // Reaches 0.3 beyond the outer pickups across the axis and along it, and at least
    // 0.6 along it; centre and corners (from the centre) in drawing order.
    auto expectFootprint = [](std::optional<double> azimuth, std::vector<Pickup> pickups, double cx,
                              double cy, std::vector<std::vector<double>> hull) {
        Source s = testSource("S", {}, std::move(pickups));
        s.azimuth = azimuth;
        auto f = pickupFootprint(s);
        ASSERT_TRUE(f);
        EXPECT_NEAR(f->cx, cx, 1e-12);
        EXPECT_NEAR(f->cy, cy, 1e-12);
        ASSERT_EQ(f->hull.size(), 4u);
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_NEAR(f->hull[k][0], hull[k][0], 1e-12) << k;
            EXPECT_NEAR(f->hull[k][1], hull[k][1], 1e-12) << k;
        }
    };
    // No azimuth: axis (0, 1).
    expectFootprint(std::nullopt, {testPickup("Front", XYZ(0, 0, 0))}, 0, 0.15,
                    {{0.3, -0.45}, {0.3, 0.45}, {-0.3, 0.45}, {-0.3, -0.45}});
    expectFootprint(std::nullopt,
                    {testPickup("Rear", XYZ(0, 0, 0)), testPickup("Front", XYZ(0, 1, 0)),
                     testPickup("Mid", XYZ(notANumber, 50, 0))},
                    0, 0.5, {{0.3, -0.8}, {0.3, 0.8}, {-0.3, 0.8}, {-0.3, -0.8}});
    // Azimuth 90: turned with the axis.
    expectFootprint(90, {testPickup("Hook", XYZ(10, 5, 0))}, 10.15, 5,
                    {{-0.45, -0.3}, {0.45, -0.3}, {0.45, 0.3}, {-0.45, 0.3}});

    EXPECT_EQ(pickupFootprint(testSource(
                  "S", {},
                  {testPickup("Front", XYZ(notANumber, 0, 0)), testPickup("Rear", XYZ(1, notANumber, 0))})),
              std::nullopt);
    EXPECT_EQ(pickupFootprint(testSource("S", {})), std::nullopt);
}

TEST(DeltaPoints, AcrossThePlanAxisRoundedToTheCentimetre) {
    EXPECT_EQ(roundHundredth(0.125), 0.13);
    EXPECT_EQ(roundHundredth(-0.125), -0.13);

    Project p;
    p.delta.spacing.reset();
    Source s =
        testSource("Main L", {"ALL", "Main"},
                   {testPickup("Hook", XYZ(1.234, 5.678, 9.0)), testPickup("Odd", XYZ(notANumber, 1, 1))});
    s.azimuth = 90; // axis (1, 0)
    EXPECT_EQ(p.deltaPoints(s, s.pickups[0]), std::nullopt) << "no extras at all";

    p.setExtra(s.id(), "Hook", PointExtra{std::nullopt, true});
    p.setExtra(s.id(), "Odd", PointExtra{std::nullopt, true});
    auto dp = p.deltaPoints(s, s.pickups[0]);
    ASSERT_TRUE(dp);
    EXPECT_EQ(dp->left, XYZ(1.23, 6.08, 9.0));
    EXPECT_EQ(dp->right, XYZ(1.23, 5.28, 9.0));
    EXPECT_EQ(p.deltaPoints(s, s.pickups[1]), std::nullopt) << "unreadable X";

    p.delta.spacing = 1.2;
    EXPECT_EQ(p.deltaPoints(s, s.pickups[0])->left.y, 6.28);
    p.setExtra(s.id(), "Hook", PointExtra{testMotor("D8", 50), false});
    EXPECT_EQ(p.deltaPoints(s, s.pickups[0]), std::nullopt) << "a motor alone is no Delta point";
}
