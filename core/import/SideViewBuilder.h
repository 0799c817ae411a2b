// The outlines of an array drawn from its DXF segments (side view and plan), and the
// horizontal direction in which an array points.
#pragma once

#include "import/DXFReader.h"
#include "model/Drawing.h"
#include "model/Report.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace rig::SideViewBuilder {

// A unit vector in the horizontal plane.
struct Axis {
    double dx = 0;
    double dy = 1;
};

using Point = std::array<std::int64_t, 2>;
using Segment = std::pair<XYZ, XYZ>;

// From the rear ("Rear" or "Pullback") to the "Front" pickup when they are more than
// 5 cm apart in plan, else from the azimuth (0 when there is none).
Axis planAxis(const Source& source);

// Convex hull (monotone chain): counter-clockwise from the smallest point, without
// repeated or collinear points. Fewer than 3 points come back sorted.
std::vector<Point> hull(std::vector<Point> points);

// Side outline in whole centimetres along the plan axis of the report source.
std::optional<SideView> sideView(const Source& source, const DXFSource& dxf);
// Plan outline in metres around the mean of its corners.
std::optional<TopView> topView(const DXFSource& dxf);

// Both outlines at once, sharing the work on the drawing's points.
struct Views {
    std::optional<SideView> side;
    std::optional<TopView> top;
};
Views views(const Source& source, const DXFSource& dxf);

} // namespace rig::SideViewBuilder
