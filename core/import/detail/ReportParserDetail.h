// The report parser's steps below the whole report, for the library and its tests only.
#pragma once

#include "import/PDFText.h"
#include "model/Report.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::ReportParser::detail {

// One line of report text: its strings in reading order (never empty).
struct Line {
    std::vector<PDFTextItem> items;
    // The strings' texts joined without separator, untrimmed.
    std::string text() const;
};

// One column of an enclosure table header: its trimmed text and its cell's left edge.
struct TableColumn {
    std::string name;
    double minX = 0;
};

// The strings grouped into lines in reading order (page, top to bottom, left to right),
// empty strings and page footers ("Page 3 of 12") dropped.
std::vector<Line> lines(const std::vector<PDFTextItem>& items);

// The number that follows `label` at the start of `line` ("Azimuth: - 12.5 °" -> -12.5).
std::optional<double> number(std::string_view label, std::string_view line);
// The three numbers after "):" of a line that starts with `label`; a component that does
// not convert is not-a-number.
std::optional<XYZ> xyz(std::string_view label, std::string_view line);

// One row of an enclosure table: its first cell must read "#<integer>"; the other cells
// go to the header column whose left edge is nearest (under 2.0 units away).
std::optional<Enclosure> enclosure(const std::vector<PDFTextItem>& cells,
                                   const std::vector<TableColumn>& columns);
// A table line of an open source: a header row (a cell reading exactly "Type") replaces
// the columns and sets hasAngles; any other line may add an enclosure.
void tableLine(const std::vector<PDFTextItem>& cells, std::vector<TableColumn>& columns, Source& source);

} // namespace rig::ReportParser::detail
