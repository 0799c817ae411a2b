// The rigging-points table as semicolon-separated UTF-8 text: one line per pickup point and
// two more for each K1-DELTA plate's hang points. Saved by the CSV export and uploaded with
// the crew link's downloads.
#pragma once

#include "model/Project.h"

#include <optional>
#include <string>

namespace rig::app {

// C "%.<decimals>f" with a point whatever the locale; "" for an absent value and for one
// that is not finite (an unreadable report number never shows up as "nan").
std::string formatNumber(std::optional<double> value, int decimals);

// The whole table: header, every source of the report (hidden ones too), LF line ends,
// no byte-order mark. A name a spreadsheet would take for a formula starts with an
// apostrophe. A total or plate-side load counts an absent load or motor as 0 and is left
// empty when one it needs is not a number. Pure.
std::string riggingPointsCSV(const Project& project);

} // namespace rig::app
