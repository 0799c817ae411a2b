#include "import/ReportParser.h"

#include "model/RigError.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rig;
using L = ReportWarning::Level;

namespace {

// Builds positioned strings line by line, top down, as a report page would hold them.
class Page {
public:
    Page& line(std::string text) {
        items_.push_back(PDFTextItem{page_, 40, y_, std::move(text), std::nullopt});
        y_ -= 14;
        return *this;
    }
    // A table line: one cell per (x, text), each cell 60 wide.
    Page& cells(const std::vector<std::pair<double, std::string>>& cells) {
        for (const auto& [x, text] : cells)
            items_.push_back(PDFTextItem{page_, x + 3, y_, text, PDFRect{x, y_ - 4, 60, 16}});
        y_ -= 16;
        return *this;
    }
    Page& nextPage() {
        ++page_;
        y_ = 800;
        return *this;
    }
    Report parse() const { return ReportParser::parse(items_); }
    const std::vector<PDFTextItem>& items() const { return items_; }

private:
    std::vector<PDFTextItem> items_;
    std::int64_t page_ = 1;
    double y_ = 800;
};

std::vector<std::string> groupsOf(const Source& s) {
    return s.groups.vec();
}

std::vector<ReportWarning> warningsOf(const Report& r, std::size_t i = 0) {
    return r.sources.at(i).warnings.vec();
}

Report parseLines(std::initializer_list<std::string> lines) {
    Page p;
    for (const auto& l : lines) p.line(l);
    return p.parse();
}

} // namespace

// --- Headings and groups ---------------------------------------------------------------

TEST(ReportParserGroups, HeadingNumbersCountSiblings) {
    Report r = parseLines(
        {"1. Group: A", "1. Group: B", "1. Source: S1", "2. Source: S2", "2. Group: C", "3. Source: S3"});
    ASSERT_EQ(r.sources.size(), 3u);
    EXPECT_EQ(groupsOf(r.sources[0]), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(groupsOf(r.sources[1]), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(groupsOf(r.sources[2]), (std::vector<std::string>{"A", "C"}));

    // "2." replaces the nearest entry numbered 1 with everything above it.
    r = parseLines({"1. Group: A", "2. Group: B", "1. Source: S"});
    EXPECT_EQ(groupsOf(r.sources.at(0)), (std::vector<std::string>{"B"}));
    // No entry numbered n - 1: pushed on top.
    r = parseLines({"1. Group: A", "5. Group: B", "1. Source: S"});
    EXPECT_EQ(groupsOf(r.sources.at(0)), (std::vector<std::string>{"A", "B"}));
    // A number beyond 64 bits counts as 1.
    r = parseLines({"1. Group: A", "99999999999999999999999. Group: B", "1. Source: S"});
    EXPECT_EQ(groupsOf(r.sources.at(0)), (std::vector<std::string>{"A", "B"}));
}

TEST(ReportParserGroups, SourcesAndTheirNames) {
    Report r = parseLines(
        {"1. Source: Lonely", "1. Group:  Main  ", "2.Source:L 1 ", "Source: no number", "3. Source: L 1"});
    ASSERT_EQ(r.sources.size(), 3u);
    EXPECT_TRUE(r.sources[0].groups.empty());
    EXPECT_EQ(r.sources[1].name, "L 1");
    EXPECT_EQ(groupsOf(r.sources[1]), (std::vector<std::string>{"Main"}));
    EXPECT_EQ(r.sources[2].name, "L 1"); // equal names both stay
}

TEST(ReportParserGroups, HeaderLabelsOnlyOutsideSources) {
    Report r = parseLines({"Version: 3.7", "Date: 1 May", "File name:  Show.xmlp ", "Distance unit: ft",
                           "Weight unit: lb", "1. Source: A", "Version: 9", "Date: never", "1. Group: G",
                           "Date: 2 May", "Distance unit:", "2. Source: B"});
    EXPECT_EQ(r.info.version, "3.7");
    EXPECT_EQ(r.info.date, "2 May");
    EXPECT_EQ(r.info.fileName, "Show.xmlp");
    EXPECT_EQ(r.info.distanceUnit, "");
    EXPECT_EQ(r.info.weightUnit, "lb");
    EXPECT_EQ(ReportParser::parse(std::vector<PDFTextItem>{}), Report{});
}

// --- Source labels ---------------------------------------------------------------------

TEST(ReportParserLabels, FillTheOpenSource) {
    Report r = parseLines({
        "1. Source: L",
        "Configuration: flown",
        "Bumper:",
        "# motors: 2",
        "Position (X; Y; Z, m): 1.5; -2; 0.25",
        "Spatial dimensions (X; Y; Z, m): 1; 2; 3",
        "Top site: 2 °",
        "Bottom site: -12.5 °",
        "Site: 1,5",
        "Azimuth: - 12.5 °",
        "Bottom elevation: 6.32 m",
        "Total weight (Enclosures + Frames): 1234.5 kg",
        "Total enclosure weight: 1100 kg",
        "Delay: 2.40 ms",
        "Gain: n/a",
    });
    const Source& s = r.sources.at(0);
    EXPECT_EQ(s.configuration, "flown");
    EXPECT_EQ(s.bumper, std::optional<std::string>(""));
    EXPECT_EQ(s.motorCount, 2);
    EXPECT_EQ(s.position, XYZ(1.5, -2, 0.25));
    EXPECT_EQ(s.dimensions, XYZ(1, 2, 3));
    EXPECT_EQ(s.topSite, 2);
    EXPECT_EQ(s.bottomSite, -12.5);
    EXPECT_EQ(s.site, 1);
    EXPECT_EQ(s.azimuth, -12.5);
    EXPECT_EQ(s.bottomElevation, 6.32);
    EXPECT_EQ(s.totalWeight, 1234.5);
    EXPECT_EQ(s.enclosureWeight, 1100);
    EXPECT_EQ(s.delay, 2.4);
    EXPECT_EQ(s.gain, std::nullopt);
}

TEST(ReportParserLabels, LaterLinesOverwriteAndBadValuesClear) {
    Report r = parseLines({"1. Source: L", "# motors: 2", "# motors: two", "Position (X; Y; Z, m): 1; 2",
                           "Site: 3", "Site: n/a", "Configuration: a", "Configuration:"});
    const Source& s = r.sources.at(0);
    EXPECT_EQ(s.motorCount, std::nullopt);
    EXPECT_EQ(s.position, std::nullopt);
    EXPECT_EQ(s.site, 3); // a label whose number does not convert sets nothing
    EXPECT_EQ(s.configuration, "");
}

TEST(ReportParserLabels, LabelsOutsideASourceAreIgnored) {
    Report r = parseLines({"Site: 3", "1. Group: G", "Configuration: flown", "1. Source: S"});
    EXPECT_EQ(r.sources.at(0).configuration, "");
    EXPECT_EQ(r.sources.at(0).site, std::nullopt);
}

TEST(ReportParserLabels, PickupsAndMotorLoads) {
    Report r = parseLines({
        "1. Source: L",
        "Front pickup position (X; Y; Z, m): A3 (1.25; -4.5; 12.3)",
        "Front pickup position (X;Y;Z, m):B2(1; 2; 3)",
        "Rear pickup position (X; Y; Z, m): #7 (-; 1.2.3; 5)",
        "Pullback pickup position (X; Y; Z, m): C (1; 2; 3)",
        "Front motor load: 850.5 kg",
        "Rear motor load: - kg",
        "Center motor load: 12 kg",
    });
    const auto& p = r.sources.at(0).pickups;
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].role, "Front");
    EXPECT_EQ(p[0].hole, "A3");
    EXPECT_EQ(p[0].position, XYZ(1.25, -4.5, 12.3));
    EXPECT_EQ(p[0].load, 850.5); // the first pickup of that role
    EXPECT_EQ(p[1].hole, "B2");
    EXPECT_EQ(p[1].load, std::nullopt);
    EXPECT_TRUE(std::isnan(p[2].position.x));
    EXPECT_TRUE(std::isnan(p[2].position.y));
    EXPECT_EQ(p[2].position.z, 5);
    ASSERT_TRUE(p[2].load);
    EXPECT_TRUE(std::isnan(*p[2].load));
    EXPECT_EQ(p[3].load, std::nullopt);
    EXPECT_EQ(p[4].role, "Center"); // a load without pickup line adds a point
    EXPECT_EQ(p[4].hole, "");
    EXPECT_TRUE(std::isnan(p[4].position.x) && std::isnan(p[4].position.y) && std::isnan(p[4].position.z));
    EXPECT_EQ(p[4].load, 12);
    EXPECT_FALSE(p[4].fromDXF);
}

TEST(ReportParserLabels, MotorLoadsFindTheirRoleCanonically) {
    Report r = parseLines({"1. Source: L", "Fa\u00E7ade pickup position (X; Y; Z, m): A (1; 2; 3)",
                           "Fac\u0327ade motor load: 40", "2. Source: M", "Fa\u00E7ade motor load: 50"});
    ASSERT_EQ(r.sources.at(0).pickups.size(), 1u);
    EXPECT_EQ(r.sources[0].pickups[0].load, 40);
    // Roles of an earlier source are not found.
    ASSERT_EQ(r.sources.at(1).pickups.size(), 1u);
    EXPECT_TRUE(std::isnan(r.sources[1].pickups[0].position.x));
}

TEST(ReportParserLabels, FirstMatchingCheckTakesTheLine) {
    Report r = parseLines({
        "1. Source: L",
        "Configuration: Position (X; Y; Z, m): 1; 2; 3",
        "Position pickup position (X; Y; Z, m): A (4; 5; 6)",
        "Position motor load: 7",
        "Total enclosure weight: 8",
        "Site: Top site: 9",
    });
    const Source& s = r.sources.at(0);
    EXPECT_EQ(s.configuration, "Position (X; Y; Z, m): 1; 2; 3");
    EXPECT_EQ(s.position, std::nullopt);
    ASSERT_EQ(s.pickups.size(), 1u);
    EXPECT_EQ(s.pickups[0].position, XYZ(4, 5, 6));
    EXPECT_EQ(s.pickups[0].load, 7);
    EXPECT_EQ(s.enclosureWeight, 8);
    EXPECT_EQ(s.totalWeight, std::nullopt);
    EXPECT_EQ(s.site, std::nullopt); // labels match at the start only
    EXPECT_EQ(s.topSite, std::nullopt);
}

TEST(ReportParserLabels, LabelledNumbers) {
    EXPECT_EQ(ReportParser::number("Site:", "Site:-3"), -3);
    EXPECT_EQ(ReportParser::number("Site:", "Site: abc"), std::nullopt);
    EXPECT_EQ(ReportParser::number("Site:", "Site:"), std::nullopt);
    EXPECT_EQ(ReportParser::number("Site:", " Site: 3"), std::nullopt);
    EXPECT_EQ(ReportParser::number("Site:", "Site: 1.2.3"), std::nullopt);
    EXPECT_EQ(ReportParser::number("Total weight:", "Total weight: 1,234.5 kg"), 1);
    EXPECT_EQ(ReportParser::number("Azimuth:", "Azimuth: - 12.5 °"), -12.5);
    EXPECT_EQ(ReportParser::number("Azimuth:", "Azimuth: -\t12.5"), std::nullopt); // only blanks are removed
    EXPECT_EQ(ReportParser::number("Delay:", "Delay: \u00A02.40 ms"), 2.4);
}

TEST(ReportParserLabels, LabelledTriples) {
    const std::string label = "Position";
    EXPECT_EQ(ReportParser::xyz(label, "Position (X; Y; Z, m): 1.5; -2; 0.25"), XYZ(1.5, -2, 0.25));
    auto t = ReportParser::xyz(label, "Position (X; Y; Z, m): 1.5; -; 0.25");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->x, 1.5);
    EXPECT_TRUE(std::isnan(t->y));
    EXPECT_EQ(ReportParser::xyz(label, "Position: 1; 2; 3"), std::nullopt);
    EXPECT_EQ(ReportParser::xyz(label, "Source Position (m): 1; 2; 3"), std::nullopt);
}

// --- Warnings --------------------------------------------------------------------------

TEST(ReportParserWarnings, LevelWordsContinuationsAndImpossible) {
    Report r = parseLines({"1. Source: L", "Mechanical warnings:", "  WARNING", "  Load exceeds the limit",
                           "  of the bumper", "  Caution", "  Check the angle.", "  next part", "  danger",
                           "  Rigging is", "  ImPossible here", "Delay: 1"});
    EXPECT_EQ(warningsOf(r),
              (std::vector<ReportWarning>{{L::warning, "Load exceeds the limit. of the bumper"},
                                          {L::caution, "Check the angle. next part"},
                                          {L::error, "Rigging is. ImPossible here"}}));
    EXPECT_EQ(r.sources[0].delay, 1);
}

TEST(ReportParserWarnings, PendingLevelCarriesOverAndFoldsWithoutLocale) {
    Report r = parseLines({"1. Source: L", "Mechanical warnings:", "  First without word", "  CAUTION", "  A",
                           "  ERROR", "  B", "  More about B", "x"});
    EXPECT_EQ(warningsOf(r),
              (std::vector<ReportWarning>{
                  {L::warning, "First without word"}, {L::caution, "A"}, {L::error, "B. More about B"}}));
    // The upper-case word is found whatever the user's language (no Turkish dotless i).
    r = parseLines({"1. Source: L", "Mechanical warnings:", "  CAUTION", "  IMPOSSIBLE TO RIG", "x"});
    EXPECT_EQ(warningsOf(r), (std::vector<ReportWarning>{{L::error, "IMPOSSIBLE TO RIG"}}));
}

TEST(ReportParserWarnings, DuplicatesGoOnlyWhenTheSectionEndsAtAPlainLine) {
    const std::vector<std::string> block = {
        "1. Source: L", "Mechanical warnings:", "  CAUTION", "  Check.", "  CAUTION", "  Check.", "  WARNING",
        "  Check."};
    Page ended;
    for (const auto& l : block) ended.line(l);
    ended.line("Delay: 2");
    EXPECT_EQ(warningsOf(ended.parse()),
              (std::vector<ReportWarning>{{L::caution, "Check."}, {L::warning, "Check."}}));

    Page atEnd;
    for (const auto& l : block) atEnd.line(l);
    EXPECT_EQ(warningsOf(atEnd.parse()).size(), 3u);

    Page atTable;
    for (const auto& l : block) atTable.line(l);
    atTable.cells({{40, "#1"}});
    Report t = atTable.parse();
    EXPECT_EQ(warningsOf(t).size(), 3u);
    EXPECT_EQ(t.sources[0].enclosures.size(), 1u);

    // Canonically equal texts are duplicates too.
    Report c = parseLines(
        {"1. Source: L", "Mechanical warnings:", "  Caf\u00E9", "  WARNING", "  Cafe\u0301", "end"});
    EXPECT_EQ(warningsOf(c).size(), 1u);
}

TEST(ReportParserWarnings, SectionHoldsOnlyIndentedLines) {
    Report r = parseLines({"1. Source: L", "Mechanical warnings:", "  1. Group: X", "  2. Source: Y",
                           " Site: 3", "  stray", "Mechanical warnings:", "\t  tab first"});
    ASSERT_EQ(r.sources.size(), 1u);
    EXPECT_EQ(warningsOf(r), (std::vector<ReportWarning>{{L::warning, "1. Group: X. 2. Source: Y"}}));
    EXPECT_EQ(r.sources[0].site, 3); // the section ended there, the line went on to the labels
}

// --- Enclosure table -------------------------------------------------------------------

TEST(ReportParserTable, CellsGoToColumnsByPosition) {
    Page p;
    p.line("1. Source: L");
    p.cells({{40, "#"},
             {100, "Type"},
             {160, "Angle (°)"},
             {220, "Site"},
             {280, "Top Z (m)"},
             {340, "Bottom Z"},
             {400, "Panflex"},
             {460, "Notes"}});
    p.cells({{40, "#1"},
             {100, "K2"},
             {160, "-2.5"},
             {221.9, "-3"},
             {282, "9"},
             {340, "8.5"},
             {400, " "},
             {460, "x"}});
    p.cells({{40, "#2"}, {161, "2,5"}, {400, "110/70"}});
    p.cells({{40, " #3 "}, {130, "between"}});
    p.cells({{40, "# 4"}, {100, "K2"}});
    p.cells({{40, "Enclosures"}});
    Report r = p.parse();
    const Source& s = r.sources.at(0);
    EXPECT_TRUE(s.hasAngles);
    ASSERT_EQ(s.enclosures.size(), 3u);
    Enclosure e1{1, "K2", -2.5, -3, std::nullopt, 8.5, ""};
    EXPECT_EQ(s.enclosures[0], e1); // Top Z cell 2.0 away: skipped
    Enclosure e2{2, "", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "110/70"};
    EXPECT_EQ(s.enclosures[1], e2);
    // 130 is as far from 100 as from 160: the column further left wins, but both are too far.
    EXPECT_EQ(s.enclosures[2], (Enclosure{3, "", {}, {}, {}, {}, {}}));
}

TEST(ReportParserTable, TiesGoToTheEarlierColumn) {
    std::vector<ReportParser::TableColumn> cols = {{"Angle", 10}, {"Site", 12}};
    std::vector<PDFTextItem> cells = {{1, 0, 0, "#1", PDFRect{0, 0, 5, 5}},
                                      {1, 0, 0, "4", PDFRect{11, 0, 5, 5}}};
    auto e = ReportParser::enclosure(cells, cols);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->angle, 4);
    EXPECT_EQ(e->site, std::nullopt);
    EXPECT_EQ(ReportParser::enclosure({}, cols), std::nullopt);
    cells[0].text = "#7a";
    EXPECT_EQ(ReportParser::enclosure(cells, cols), std::nullopt);
    cells[0].text = "#";
    EXPECT_EQ(ReportParser::enclosure(cells, cols), std::nullopt);
    cells[0].text = "#-7";
    EXPECT_EQ(ReportParser::enclosure(cells, {})->index, -7);
}

TEST(ReportParserTable, HeadersBelongToOneSource) {
    Page p;
    p.line("1. Source: A");
    p.cells({{40, "#1"}, {100, "K2"}}); // before any header: index only
    p.cells({{40, "#"}, {100, "Type"}, {160, "Site"}});
    p.cells({{40, "#2"}, {100, "K2"}, {160, "1"}});
    p.cells({{40, "#"}, {160, "Type"}});
    p.cells({{40, "#3"}, {160, "KS28"}});
    p.line("2. Source: B");
    p.cells({{40, "#1"}, {100, "K2"}});
    p.line("Site: 4"); // a plain line ends nothing in the table
    p.cells({{40, "#2"}, {100, "K2"}});
    Report r = p.parse();
    const auto& a = r.sources.at(0).enclosures;
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0], (Enclosure{1, "", {}, {}, {}, {}, {}}));
    EXPECT_EQ(a[1], (Enclosure{2, "K2", {}, 1, {}, {}, {}}));
    EXPECT_EQ(a[2], (Enclosure{3, "KS28", {}, {}, {}, {}, {}}));
    EXPECT_FALSE(r.sources[0].hasAngles);
    const auto& b = r.sources.at(1).enclosures;
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].type, "");
    EXPECT_EQ(b[1].type, "");
}

TEST(ReportParserTable, CellsOutsideASourceAreNoTable) {
    Page p;
    p.cells({{40, "Version: 2"}});
    p.line("1. Source: A");
    p.cells({{40, "Site: 3"}, {100, "Configuration: x"}});
    Report r = p.parse();
    EXPECT_EQ(r.info.version, "2");
    EXPECT_EQ(r.sources.at(0).site, std::nullopt);
    EXPECT_EQ(r.sources.at(0).configuration, "");
}

// --- Files -----------------------------------------------------------------------------

TEST(ReportParserFile, GeneratedReportsParseToWhatTheyShow) {
    for (std::uint64_t seed : {1u, 2u, 3u, 4u}) {
        test::ReportGeneratorOptions o;
        o.seed = seed;
        o.sources = 12;
        o.compress = seed % 2 == 0;
        o.ungroupedSource = seed != 3;
        test::GeneratedReport g = test::generateReport(o);
        EXPECT_GT(g.pages, 2);
        test::TempDir dir;
        Report r = ReportParser::parse(dir.write("show.pdf", g.pdf));
        EXPECT_EQ(r.info, g.expected.info);
        ASSERT_EQ(r.sources.size(), g.expected.sources.size()) << "seed " << seed;
        for (std::size_t i = 0; i < r.sources.size(); ++i) {
            EXPECT_EQ(dumpJsonPretty(r.sources[i].toJson()), dumpJsonPretty(g.expected.sources[i].toJson()))
                << "seed " << seed << " source " << i;
        }
        EXPECT_EQ(r, g.expected);
    }
}

TEST(ReportParserFile, OtherFilesFailWithTheirErrors) {
    test::TempDir dir;
    test::Content c;
    c.bt().td(40, 800).tj("Invoice 2026-114").td(0, -14).tj("1. Group: not a report either").et();
    auto pdf = dir.write("Facture été.pdf", test::TestPDF().addPage(c).bytes());
    try {
        ReportParser::parse(pdf);
        FAIL();
    } catch (const RigError& e) {
        EXPECT_EQ(e.kind(), RigError::Kind::notSoundvision);
        EXPECT_STREQ(e.what(), "Facture été.pdf does not look like a Soundvision report.");
    }
    try {
        ReportParser::parse(dir.write("report.pdf", "1. Source: L1\n"));
        FAIL();
    } catch (const RigError& e) {
        EXPECT_EQ(e.kind(), RigError::Kind::unreadable);
        EXPECT_STREQ(e.what(), "Cannot read report.pdf.");
    }
    try {
        ReportParser::parse(dir.write("empty.pdf", test::TestPDF().bytes()));
        FAIL();
    } catch (const RigError& e) {
        EXPECT_EQ(e.kind(), RigError::Kind::notSoundvision);
    }
}
