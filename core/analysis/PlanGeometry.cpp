#include "analysis/PlanGeometry.h"

#include "import/SideViewBuilder.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace rig {

double roundHundredth(double value) {
    return std::round(value * 100) / 100;
}

std::optional<TopView> pickupFootprint(const Source& source) {
    auto [ax, ay] = SideViewBuilder::planAxis(source);
    bool any = false;
    double minA = 0, maxA = 0, minB = 0, maxB = 0;
    for (const Pickup& pickup : source.pickups) {
        const XYZ& p = pickup.position;
        // A point with an unreadable Y cannot be placed in plan either.
        if (!p.isFiniteInPlan()) continue;
        double a = p.x * ax + p.y * ay;
        double b = p.y * ax - p.x * ay;
        if (!any) {
            minA = maxA = a;
            minB = maxB = b;
            any = true;
        } else {
            minA = std::min(minA, a);
            maxA = std::max(maxA, a);
            minB = std::min(minB, b);
            maxB = std::max(maxB, b);
        }
    }
    if (!any) return std::nullopt;

    double a0 = minA - 0.3;
    double a1 = std::max(maxA + 0.3, minA + 0.6);
    double b0 = minB - 0.3;
    double b1 = maxB + 0.3;
    double cA = (a0 + a1) / 2;
    double cB = (b0 + b1) / 2;

    TopView view;
    view.cx = cA * ax - cB * ay;
    view.cy = cA * ay + cB * ax;
    auto& hull = view.hull.edit();
    for (auto [a, b] : {std::pair{a0, b0}, std::pair{a1, b0}, std::pair{a1, b1}, std::pair{a0, b1}}) {
        double da = a - cA;
        double db = b - cB;
        hull.push_back({da * ax - db * ay, da * ay + db * ax});
    }
    return view;
}

} // namespace rig
