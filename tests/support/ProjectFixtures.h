// Builders of realistic model values for tests and benchmarks. Everything is
// deterministic: the same call gives an equal value (motor identifiers included).
#pragma once

#include "base/Date.h"
#include "model/Project.h"

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::fixtures {

// 2025-03-14T09:26:53Z plus `offsetSeconds`.
Date testDate(long offsetSeconds = 0);

// A motor with an identifier derived from `seed` (same seed, same identifier).
Motor testMotor(std::string name = "D8+ 1000 kg", double weight = 58, unsigned seed = 1);

Pickup testPickup(std::string role, XYZ position, std::optional<double> load = std::nullopt,
                  std::string hole = "");

// What the report parser stores for a number it cannot read.
inline const double notANumber = std::numeric_limits<double>::quiet_NaN();

// A bare source: name, groups and pickups, nothing else set.
Source testSource(std::string name, std::vector<std::string> groups, std::vector<Pickup> pickups = {});

// A bare project holding only these report sources (no header, file or history).
Project projectOf(std::vector<Source> sources);

// A flown line-source array: "Flown" configuration, bumper, two motors, "Front" and
// "Rear" pickups with loads that add up to the total weight, `enclosureCount` cabinets
// hanging downwards with angles, sites and heights, position, site and azimuth.
// Extra pickups beyond two are named "Point 3", "Point 4", ...
Source flownArray(std::string name, std::vector<std::string> groups, int enclosureCount = 12,
                  int pickupCount = 2, std::string enclosureType = "K2");

// A ground-stacked source: no pickups, enclosures without angles.
Source groundStack(std::string name, std::vector<std::string> groups, int enclosureCount = 2,
                   std::string enclosureType = "KS28");

// A report with a filled header and the given sources.
Report testReport(std::vector<Source> sources);

// A project holding the report, as after a first report import (file, date, history).
Project projectWith(std::vector<Source> sources);

// A project with every one of its fields set: report with a flown array, a ground stack
// and a sub-group array; inventory; DXF data with side and plan views; extras with a
// motor and a Delta point; Delta settings; share state with fingerprints, changes and
// hidden sources; history; hidden sources; rigging heights global and per group.
Project fullProject();

// `project` with every text a report, a file or the user gave it (names, groups, configuration,
// bumper, roles, holes, types, Panflex, warnings, units, products, motors, Delta plate, author,
// project and file names, changes) replaced by `text`, walked through its file form: each
// distinct text by `text` and a number of its own, so sources and points stay apart and keep
// their settings. "ALL", kinds, dates, identifiers and the crew link stay.
Project withEveryText(const Project& project, const std::string& text);

// Whether `text`, made from names with a right-to-left override (U+202E), shows them without
// it: a name shown as it came would reverse its letters and what follows it.
bool shownWithoutOverride(std::string_view text);

// `project` with every decimal it holds set to `number` and every whole number to the largest
// a 64-bit integer holds.
Project withEveryNumber(const Project& project, double number);

// A large project for benchmarks: `sourceCount` flown arrays spread over groups, each
// with `pickupCount` pickups, `enclosureCount` enclosures, DXF data, extras on every
// pickup, and a share state fingerprinting every source.
Project largeProject(int sourceCount, int pickupCount = 4, int enclosureCount = 16);

} // namespace rig::fixtures
