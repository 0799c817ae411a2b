// The enclosure table under each source: cells matched to header columns by position.
#include "base/Number.h"
#include "base/Text.h"
#include "import/detail/ReportParserDetail.h"

#include <cmath>

namespace rig::ReportParser::detail {

namespace {

// A value cell belongs to the header column whose left edge is nearest, and only when that
// edge is this close (PDF units): empty cells then leave their field absent instead of
// shifting the following values into the wrong columns.
constexpr double kColumnReach = 2.0;

} // namespace

std::optional<Enclosure> enclosure(const std::vector<PDFTextItem>& cells,
                                   const std::vector<TableColumn>& columns) {
    if (cells.empty()) return std::nullopt;
    const std::string first = trimWhite(cells.front().text);
    if (first.size() < 2 || first.front() != '#') return std::nullopt;
    auto index = parseInteger(std::string_view(first).substr(1));
    if (!index) return std::nullopt;

    Enclosure e;
    e.index = *index;
    for (std::size_t i = 1; i < cells.size(); ++i) {
        if (columns.empty() || !cells[i].cell) continue;
        std::string value = trimWhite(cells[i].text);
        const double x = cells[i].cell->minX();

        const TableColumn* nearest = &columns.front();
        double best = std::fabs(nearest->minX - x);
        for (std::size_t c = 1; c < columns.size(); ++c) {
            const double d = std::fabs(columns[c].minX - x);
            if (d < best) {
                nearest = &columns[c];
                best = d;
            }
        }
        if (!(best < kColumnReach)) continue; // also when the distance is not a number

        const std::string& name = nearest->name;
        if (name == "Type")
            e.type = std::move(value);
        else if (startsWithText(name, "Angle"))
            e.angle = parseDecimal(value);
        else if (startsWithText(name, "Site"))
            e.site = parseDecimal(value);
        else if (startsWithText(name, "Top Z"))
            e.topZ = parseDecimal(value);
        else if (startsWithText(name, "Bottom Z"))
            e.bottomZ = parseDecimal(value);
        else if (name == "Panflex")
            e.panflex = std::move(value);
    }
    return e;
}

void tableLine(const std::vector<PDFTextItem>& cells, std::vector<TableColumn>& columns, Source& source) {
    bool header = false;
    for (const PDFTextItem& c : cells) {
        if (c.text == "Type") {
            header = true;
            break;
        }
    }
    if (header) {
        columns.clear();
        bool hasAngles = false;
        for (const PDFTextItem& c : cells) {
            TableColumn col{trimWhite(c.text), c.cell ? c.cell->minX() : 0.0};
            if (startsWithText(col.name, "Angle")) hasAngles = true;
            columns.push_back(std::move(col));
        }
        source.hasAngles = hasAngles;
        return;
    }
    if (auto e = enclosure(cells, columns)) source.enclosures.push_back(std::move(*e));
}

} // namespace rig::ReportParser::detail
