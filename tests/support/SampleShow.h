// A small show as Soundvision would export it: the report PDF, the inventory CSV and the
// loudspeaker DXF, consistent with one another. Its source identifiers are the snapshot
// mode's default capture steps, so the program can be tried, by hand or in a snapshot run,
// without Soundvision.
#pragma once

#include "model/Report.h"
#include "support/ReportGenerator.h"

#include <filesystem>
#include <string>
#include <vector>

namespace rig::test {

// Main hangs left and right (group ALL › MAIN), ground subs (ALL › GR SUB) and three KARA
// arrays of a second zone (B-LAVA › KARA).
ReportGeneratorOptions sampleShowOptions();

// A crowded show of `sources` (at least 17): main and sub hangs side by side, out-fills, ground
// subs and front fills in a row, and delay towers a few metres apart whose names differ only
// at their end; past 17, further rows of towers.
ReportGeneratorOptions denseShowOptions(int sources);

struct SampleShow {
    std::string reportPdf;
    std::string inventoryCsv;
    std::string loudspeakerDxf;
    Report expected; // what reading the report must give
};

SampleShow sampleShow();

// The inventory export of a report: enclosures per type, bumpers, amplified controllers.
std::string inventoryExport(const Report& report);

// The three files written into `folder` (created when missing), in the order report,
// inventory, loudspeakers. Throws std::runtime_error when one cannot be written.
std::vector<std::filesystem::path> writeSampleShow(const std::filesystem::path& folder);

} // namespace rig::test
