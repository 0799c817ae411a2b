// Plan geometry along a source's plan axis: the footprint rectangle around its pickups.
// The K1-DELTA hang points are Project::deltaPoints (model/Project.h, DeltaPoints.cpp).
#pragma once

#include "model/Drawing.h"
#include "model/Report.h"

#include <optional>

namespace rig {

// A rectangle around the pickups with a finite X and Y, aligned with the plan axis, reaching
// 0.3 m beyond them and at least 0.9 m deep; none when no pickup has a usable position.
std::optional<TopView> pickupFootprint(const Source& source);

// Rounds to the hundredth, halves away from zero.
double roundHundredth(double value);

} // namespace rig
