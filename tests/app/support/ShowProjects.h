// Realistic projects for the page tests, made the way the program makes them: report and
// loudspeaker DXF written as files or text and read back through the library's readers.
#pragma once

#include "model/Project.h"
#include "support/ReportGenerator.h"

#include <cstdint>
#include <string>

namespace rig::app::testing {

// Loudspeaker DXF text for the sources of `report`: one block per source, named by its report
// position and name, with hanging cabinets along the source's plan axis and a pickup marker
// at each pickup that has coordinates.
std::string loudspeakerDXF(const Report& report);

// A generated report PDF read by the report parser and imported, then the DXF above imported.
Project generatedShow(int sources = 8, std::uint64_t seed = 1);
Project generatedShow(const test::ReportGeneratorOptions& options);

// The PDF of a report with two flown K2 arrays in the group Main, "Main L" and "Main R": Main L's
// Front motor load reads "-", which is not a number, and its Rear has no load line at all.
std::string unreadableLoadReport();

// A hand-made arena show imported through the DXF reader: flown line arrays with bumpers,
// pickups, Panflex values and warnings, a flown array without angle column, a ground stack
// without pickups, a motor and a Delta point.
Project arenaShow();

} // namespace rig::app::testing
