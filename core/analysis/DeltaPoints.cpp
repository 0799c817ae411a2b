#include "analysis/PlanGeometry.h"

#include "import/SideViewBuilder.h"
#include "model/Project.h"

#include <cmath>

namespace rig {

std::optional<Project::DeltaPoints> Project::deltaPoints(const Source& source, const Pickup& pickup) const {
    if (!extra(source.id(), pickup.role).delta) return std::nullopt;
    if (!pickup.hasPosition()) return std::nullopt;
    const XYZ& p = pickup.position;
    auto [ax, ay] = SideViewBuilder::planAxis(source);
    double half = delta.spacingValue() * 0.5;
    // The left-pointing normal of the axis, scaled to half the motor spacing.
    double ox = -ay * half;
    double oy = ax * half;
    return DeltaPoints{XYZ(roundHundredth(p.x + ox), roundHundredth(p.y + oy), p.z),
                       XYZ(roundHundredth(p.x - ox), roundHundredth(p.y - oy), p.z)};
}

} // namespace rig
