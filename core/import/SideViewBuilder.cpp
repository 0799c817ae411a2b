#include "import/SideViewBuilder.h"

#include <cmath>

namespace rig::SideViewBuilder {

namespace {

constexpr double pi = 3.141592653589793;

} // namespace

Axis planAxis(const Source& source) {
    const Pickup* front = nullptr;
    const Pickup* rear = nullptr;
    for (const Pickup& p : source.pickups) {
        if (!front && p.role == "Front") front = &p;
        if (!rear && (p.role == "Rear" || p.role == "Pullback")) rear = &p;
    }
    if (front && rear && std::isfinite(front->position.x) && std::isfinite(rear->position.x)) {
        const double ex = front->position.x - rear->position.x;
        const double ey = front->position.y - rear->position.y;
        const double d = std::sqrt(ex * ex + ey * ey);
        // A distance that is not a number fails this test too.
        if (d > 0.05 && std::isfinite(d)) return {ex / d, ey / d};
    }
    // An azimuth that is not a number would give no direction at all.
    double a = source.azimuth.value_or(0);
    if (!std::isfinite(a)) a = 0;
    return {std::sin(a * pi / 180), std::cos(a * pi / 180)};
}

} // namespace rig::SideViewBuilder
