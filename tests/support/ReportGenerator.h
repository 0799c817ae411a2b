// Realistic Soundvision-style report PDFs for tests, benchmarks and fuzz seeds, together
// with the Report that reading them must give.
#pragma once

#include "model/Report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rig::test {

// One source of a report written from a list rather than drawn at random. Its values are
// made to agree: pickup loads add up to the total weight, heights follow the cabinets down,
// and the pickups sit on the array's plan axis.
struct SourcePlan {
    std::vector<std::string> groups; // group path from the outermost group
    std::string name;
    // Written as given; with "flown" in it the array hangs from two pickups (Front and Rear)
    // and its table has angles, else it stands on the floor without pickups.
    std::string configuration;
    std::string bumper; // empty: no bumper line
    std::string enclosureType;
    int enclosures = 1;
    double cabinetWeight = 50;  // kg
    double frameWeight = 0;     // kg: bumper and rigging, flown arrays only
    double cabinetHeight = 0.4; // m
    XYZ position;               // flown: the bumper's centre; else where the stack stands
    double azimuth = 0;         // degrees
    std::string panflex;        // every cabinet's Panflex setting; empty: no Panflex column
    double delay = 0;           // ms
    double gain = 0;            // dB
    // Flown arrays: when given, what the "motor load:" lines of Front and Rear read after the
    // label instead of the computed loads ("-" is a load Soundvision could not give); an empty
    // text leaves that line out. The expected load is what the text reads as, not a number
    // when it reads as none.
    std::vector<std::string> loadTexts;
};

struct ReportGeneratorOptions {
    int sources = 8;
    std::uint64_t seed = 1;
    bool compress = true;
    // Split some pages into several content streams.
    bool multipleStreams = true;
    // Put one source before the first Group heading (it has no groups).
    bool ungroupedSource = true;
    // When not empty, exactly these sources in this order; `sources` and `ungroupedSource`
    // are then not used.
    std::vector<SourcePlan> sourceList;
    std::string fileName = "Arena – Show 2026.xmlp";
};

struct GeneratedReport {
    std::string pdf;
    Report expected;
    int pages = 0;
    // The content of every page as one stream, in page order.
    std::vector<std::string> pageContents;
};

// Header lines, nested Group and Source headings, every source label, pickup and motor-load
// lines, enclosure tables drawn with cell rectangles, warnings blocks, page frames and
// "Page n of m" footers, with the text placed by a varying mix of text operators and
// encodings. The same options always give the same bytes.
GeneratedReport generateReport(const ReportGeneratorOptions& options = {});

} // namespace rig::test
