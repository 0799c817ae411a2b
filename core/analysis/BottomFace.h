// The bottom face of a flown array: the site of its lowest enclosure and the angle of
// that enclosure's bottom face, which differs from the site by half the cabinet's wedge.
#pragma once

#include "model/Report.h"

#include <optional>
#include <string_view>

namespace rig {

namespace Wedge {
// Half wedge angle in degrees of an enclosure type as the report prints it; none for a
// model not in the table. The longest matching model prefix wins.
std::optional<double> halfAngle(std::string_view type);
} // namespace Wedge

struct BottomFace {
    double site = 0;  // the lowest enclosure's site, unchanged
    double facet = 0; // site minus the half wedge, to 0.1 degree
};

// None unless the source is flown and its last enclosure has a site and a known type.
std::optional<BottomFace> bottomFace(const Source& source);

} // namespace rig
