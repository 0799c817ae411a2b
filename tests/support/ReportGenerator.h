// Realistic Soundvision-style report PDFs for tests, benchmarks and fuzz seeds, together
// with the Report that reading them must give.
#pragma once

#include "model/Report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rig::test {

struct ReportGeneratorOptions {
    int sources = 8;
    std::uint64_t seed = 1;
    bool compress = true;
    // Split some pages into several content streams.
    bool multipleStreams = true;
    // Put one source before the first Group heading (it has no groups).
    bool ungroupedSource = true;
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
