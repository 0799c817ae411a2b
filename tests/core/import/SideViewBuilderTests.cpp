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
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0), pickup("Rear", 0, -2)}, 45)), 0, 1);
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Rear", 1, 1), pickup("Front", 4, 5)})), 0.6, 0.8);
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
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0.05), pickup("Rear", 0, 0)}, 90)), 1, 0);
    // Only vertical distance.
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0, 3), pickup("Rear", 0, 0, 0)}, 180)), 0,
               -1);
    // Not-a-number on either side.
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", kNaN, 0), pickup("Rear", 0, -2)}, 90)), 1, 0);
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0), pickup("Rear", kNaN, -2)}, 90)), 1, 0);
    expectAxis(SideViewBuilder::planAxis(sourceWith({pickup("Front", 0, 0), pickup("Rear", 0, kNaN)}, 90)), 1, 0);
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
