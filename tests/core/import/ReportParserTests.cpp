#include "import/ReportParser.h"
#include "import/detail/ReportParserDetail.h"

#include "base/Json.h"

#include "support/ImportTesting.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rig;
using L = ReportWarning::Level;
using Names = std::vector<std::string>;
using Warnings = std::vector<ReportWarning>;

namespace {

// Builds positioned strings line by line, top down, as a report page would hold them.
class Page {
public:
    explicit Page(const std::vector<std::string>& lines = {}) {
        for (const auto& l : lines) line(l);
    }
    Page& line(std::string text) {
        items_.push_back(PDFTextItem{1, 40, y_, std::move(text), std::nullopt});
        y_ -= 14;
        return *this;
    }
    // A table line: one cell 60 wide at each left edge in `xs`, holding the text of the same place.
    Page& cells(const std::vector<double>& xs, const std::vector<std::string>& texts) {
        for (std::size_t i = 0; i < xs.size(); ++i)
            items_.push_back(PDFTextItem{1, xs[i] + 3, y_, texts.at(i), PDFRect{xs[i], y_ - 4, 60, 16}});
        y_ -= 16;
        return *this;
    }
    Report parse(std::stop_token stop = {}) const { return ReportParser::parse(items_, std::move(stop)); }

private:
    std::vector<PDFTextItem> items_;
    double y_ = 800;
};

Report parseLines(const std::vector<std::string>& lines) {
    return Page(lines).parse();
}

Source firstSource(const std::vector<std::string>& lines) {
    Report r = parseLines(lines);
    EXPECT_FALSE(r.sources.empty());
    return r.sources.empty() ? Source() : r.sources[0];
}

} // namespace

TEST(ReportParser, GroupStackNumbering) {
    Report r = parseLines(
        {"1. Group: A", "1. Group: B", "1. Source: S1", "2. Source: S2", "2. Group: C", "3. Source: S3"});
    ASSERT_EQ(r.sources.size(), 3u);
    EXPECT_EQ(r.sources[0].groups.vec(), (Names{"A", "B"}));
    EXPECT_EQ(r.sources[1].groups.vec(), (Names{"A", "B"}));
    EXPECT_EQ(r.sources[2].groups.vec(), (Names{"A", "C"}));

    const std::vector<std::pair<std::vector<std::string>, Names>> cases = {
        // "2." replaces the nearest entry numbered 1 with everything above it.
        {{"1. Group: A", "2. Group: B", "1. Source: S"}, {"B"}},
        // No entry numbered n - 1: pushed on top.
        {{"1. Group: A", "5. Group: B", "1. Source: S"}, {"A", "B"}},
        // A number beyond 64 bits counts as 1.
        {{"1. Group: A", "99999999999999999999999. Group: B", "1. Source: S"}, {"A", "B"}},
    };
    for (const auto& [lines, groups] : cases) EXPECT_EQ(firstSource(lines).groups.vec(), groups) << lines[0];
}

TEST(ReportParser, SourcesAndHeader) {
    Report r =
        parseLines({"Version: 3.7", "Date: 1 May", "File name:  Show.xmlp ", "Distance unit: ft",
                    "Weight unit: lb", "1. Source: Lonely", "Version: 9", "Date: never", "1. Group:  Main  ",
                    "Date: 2 May", "Distance unit:", "2.Source:L 1 ", "Source: no number", "3. Source: L 1"});
    // Header labels count outside sources only; the last one wins.
    EXPECT_EQ(r.info.version, "3.7");
    EXPECT_EQ(r.info.date, "2 May");
    EXPECT_EQ(r.info.fileName, "Show.xmlp");
    EXPECT_EQ(r.info.distanceUnit, "");
    EXPECT_EQ(r.info.weightUnit, "lb");
    ASSERT_EQ(r.sources.size(), 3u);
    EXPECT_TRUE(r.sources[0].groups.empty());
    EXPECT_EQ(r.sources[1].name, "L 1");
    EXPECT_EQ(r.sources[1].groups.vec(), (Names{"Main"}));
    EXPECT_EQ(r.sources[2].name, "L 1"); // equal names both stay
    EXPECT_EQ(ReportParser::parse(std::vector<PDFTextItem>{}), Report{});
}

TEST(ReportParser, NamesKeepTheirLineBreaks) {
    // A PDF string may hold any line break; a name is everything after the label, kept as the
    // report prints it (only blanks and tabs around it go).
    const Names names = {"Main\u2028L", "Main\u2029R", "\u2028Lead",     "Tail\u2029",
                         "\u2029",      "Out\nfill",   "A\r\vB\f\u0085C"};
    std::vector<std::string> lines = {"1. Group: ALL", "1. Group: Zone\u2028 2 "};
    for (std::size_t i = 0; i < names.size(); ++i)
        lines.push_back(std::to_string(i + 1) + ". Source: " + names[i]);
    lines.push_back("Front\u2028A pickup position (X; Y; Z, m): B2 (1; 2; 3)");
    lines.push_back("Front\u2028A motor load: 40 kg");
    lines.push_back("Rear\u2029 motor load: 20 kg");
    const Report r = parseLines(lines);
    Names read;
    for (const Source& s : r.sources) {
        read.push_back(s.name);
        EXPECT_EQ(s.groups.vec(), (Names{"ALL", "Zone\u2028 2"})) << s.name;
    }
    EXPECT_EQ(read, names);
    const auto& pickups = r.sources.at(names.size() - 1).pickups;
    ASSERT_EQ(pickups.size(), 2u);
    EXPECT_EQ(pickups[0].role, "Front\u2028A");
    EXPECT_EQ(pickups[0].load, 40);
    EXPECT_EQ(pickups[1].role, "Rear\u2029");
    EXPECT_EQ(pickups[1].load, 20);

    // The same through a PDF, the names written as UTF-16 strings.
    test::ReportGeneratorOptions o;
    for (const std::string& name : names) {
        test::SourcePlan plan;
        plan.groups = {"ALL", "Zone\u2029B"};
        plan.name = name;
        plan.configuration = "flown";
        plan.enclosureType = "K2";
        plan.enclosures = 3;
        o.sourceList.push_back(plan);
    }
    const test::GeneratedReport g = test::generateReport(o);
    test::TempDir dir;
    EXPECT_EQ(ReportParser::parse(dir.write("show.pdf", g.pdf)), g.expected);
}

TEST(ReportParser, LabelsFillTheOpenSource) {
    // Which label fills which field is shown by the generated reports below; these are the rules.
    const Report r =
        parseLines({"Site: 3", "1. Group: G", "Configuration: ignored", // outside a source
                    "1. Source: L", "Bumper:", "Site: 1,5", "Gain: n/a", "Configuration: flown",
                    // Later lines overwrite; a value that does not convert clears, except
                    // for single numbers.
                    "2. Source: M", "# motors: 2", "# motors: two", "Position (X; Y; Z, m): 1; 2", "Site: 3",
                    "Site: n/a", "Configuration: a", "Configuration:"});
    ASSERT_EQ(r.sources.size(), 2u);
    const Source& s = r.sources[0];
    EXPECT_EQ(s.configuration, "flown");
    EXPECT_EQ(s.bumper, std::optional<std::string>(""));
    EXPECT_EQ(s.site, 1);
    EXPECT_EQ(s.gain, std::nullopt);
    const Source& m = r.sources[1];
    EXPECT_EQ(m.motorCount, std::nullopt);
    EXPECT_EQ(m.position, std::nullopt);
    EXPECT_EQ(m.site, 3);
    EXPECT_EQ(m.configuration, "");
}

TEST(ReportParser, PickupsAndMotorLoads) {
    Report r = parseLines({
        "1. Source: L", "Front pickup position (X; Y; Z, m): A3 (1.25; -4.5; 12.3)",
        "Front pickup position (X;Y;Z, m):B2(1; 2; 3)", "Rear pickup position (X; Y; Z, m): #7 (-; 1.2.3; 5)",
        "Pullback pickup position (X; Y; Z, m): C (1; 2; 3)",
        "Fa\u00E7ade pickup position (X; Y; Z, m): F (1; 2; 3)", "Front motor load: 850.5 kg",
        "Rear motor load: - kg", "Center motor load: 12 kg",
        "Fac\u0327ade motor load: 40", // found canonically
        "2. Source: M",
        "Fa\u00E7ade motor load: 50", // roles of an earlier source are not found
    });
    const auto& p = r.sources.at(0).pickups;
    ASSERT_EQ(p.size(), 6u);
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
    EXPECT_EQ(p[4].load, 40);
    EXPECT_EQ(p[5].role, "Center"); // a load without pickup line adds a point
    EXPECT_EQ(p[5].hole, "");
    EXPECT_TRUE(std::isnan(p[5].position.x) && std::isnan(p[5].position.y) && std::isnan(p[5].position.z));
    EXPECT_EQ(p[5].load, 12);
    EXPECT_FALSE(p[5].fromDXF);
    ASSERT_EQ(r.sources.at(1).pickups.size(), 1u);
    EXPECT_TRUE(std::isnan(r.sources[1].pickups[0].position.x));
    EXPECT_EQ(r.sources[1].pickups[0].load, 50);
}

TEST(ReportParser, FirstMatchingLabelTakesTheLine) {
    const Source s = firstSource({
        "1. Source: L",
        "Configuration: Position (X; Y; Z, m): 1; 2; 3",
        "Position pickup position (X; Y; Z, m): A (4; 5; 6)",
        "Position motor load: 7",
        "Total enclosure weight: 8",
        "Site: Top site: 9",
    });
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

TEST(ReportParser, LabelledNumbersAndTriples) {
    const std::vector<std::tuple<std::string, std::string, std::optional<double>>> numbers = {
        {"Site:", "Site:-3", -3},
        {"Site:", "Site: abc", {}},
        {"Site:", "Site:", {}},
        {"Site:", " Site: 3", {}},
        {"Site:", "Site: 1.2.3", {}},
        {"Total weight:", "Total weight: 1,234.5 kg", 1},
        {"Azimuth:", "Azimuth: - 12.5 °", -12.5},
        {"Azimuth:", "Azimuth: -\t12.5", {}}, // only blanks are removed
        {"Delay:", "Delay: \u00A02.40 ms", 2.4},
    };
    for (const auto& [label, line, expected] : numbers)
        EXPECT_EQ(ReportParser::detail::number(label, line), expected) << line;

    EXPECT_EQ(ReportParser::detail::xyz("Position", "Position (X; Y; Z, m): 1.5; -2; 0.25"),
              XYZ(1.5, -2, 0.25));
    const auto t = ReportParser::detail::xyz("Position", "Position (X; Y; Z, m): 1.5; -; 0.25");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->x, 1.5);
    EXPECT_TRUE(std::isnan(t->y));
    EXPECT_EQ(ReportParser::detail::xyz("Position", "Position: 1; 2; 3"), std::nullopt);
    EXPECT_EQ(ReportParser::detail::xyz("Position", "Source Position (m): 1; 2; 3"), std::nullopt);
}

TEST(ReportParser, WarningsSection) {
    const std::vector<std::pair<std::vector<std::string>, Warnings>> cases = {
        {{"1. Source: L", "Mechanical warnings:", "  WARNING", "  Load exceeds the limit", "  of the bumper",
          "  Caution", "  Check the angle.", "  next part", "  danger", "  Rigging is", "  ImPossible here",
          "Delay: 1"},
         {{L::warning, "Load exceeds the limit. of the bumper"},
          {L::caution, "Check the angle. next part"},
          {L::error, "Rigging is. ImPossible here"}}},
        // The pending level carries over.
        {{"1. Source: L", "Mechanical warnings:", "  First without word", "  CAUTION", "  A", "  ERROR",
          "  B", "  More about B", "x"},
         {{L::warning, "First without word"}, {L::caution, "A"}, {L::error, "B. More about B"}}},
        // Upper case is folded whatever the user's language (no Turkish dotless i).
        {{"1. Source: L", "Mechanical warnings:", "  CAUTION", "  IMPOSSIBLE TO RIG", "x"},
         {{L::error, "IMPOSSIBLE TO RIG"}}},
        // Duplicates go when the section ends at a plain line, canonically equal texts too ...
        {{"1. Source: L", "Mechanical warnings:", "  CAUTION", "  Check.", "  CAUTION", "  Check.",
          "  WARNING", "  Check.", "Delay: 2"},
         {{L::caution, "Check."}, {L::warning, "Check."}}},
        {{"1. Source: L", "Mechanical warnings:", "  Caf\u00E9", "  WARNING", "  Cafe\u0301", "end"},
         {{L::warning, "Caf\u00E9"}}},
        // ... but not at the end of the text.
        {{"1. Source: L", "Mechanical warnings:", "  CAUTION", "  Check.", "  CAUTION", "  Check.",
          "  WARNING", "  Check."},
         {{L::caution, "Check."}, {L::caution, "Check."}, {L::warning, "Check."}}},
        // Only indented lines belong to the section, headings included.
        {{"1. Source: L", "Mechanical warnings:", "  1. Group: X", "  2. Source: Y", " Site: 3", "  stray",
          "Mechanical warnings:", "\t  tab first"},
         {{L::warning, "1. Group: X. 2. Source: Y"}}},
    };
    for (const auto& [lines, expected] : cases) {
        const Report r = parseLines(lines);
        ASSERT_EQ(r.sources.size(), 1u);
        EXPECT_EQ(r.sources[0].warnings.vec(), expected) << lines[2];
    }
    EXPECT_EQ(firstSource({"1. Source: L", "Mechanical warnings:", "  x", "Delay: 1"}).delay, 1);
    EXPECT_EQ(firstSource({"1. Source: L", "Mechanical warnings:", "  x", " Site: 3"}).site, 3);

    // A table line ends the section without dropping duplicates.
    Page p({"1. Source: L", "Mechanical warnings:", "  Check.", "  WARNING", "  Check."});
    p.cells({40}, {"#1"});
    const Report t = p.parse();
    EXPECT_EQ(t.sources.at(0).warnings.size(), 2u);
    EXPECT_EQ(t.sources[0].enclosures.size(), 1u);
}

TEST(ReportParser, TableCellsGoToColumnsByPosition) {
    Page p({"1. Source: L"});
    p.cells({40, 100, 160, 220, 280, 340, 400, 460},
            {"#", "Type", "Angle (°)", "Site", "Top Z (m)", "Bottom Z", "Panflex", "Notes"});
    p.cells({40, 100, 160, 221.9, 282, 340, 400, 460}, {"#1", "K2", "-2.5", "-3", "9", "8.5", " ", "x"});
    p.cells({40, 161, 400}, {"#2", "2,5", "110/70"});
    p.cells({40, 130}, {" #3 ", "between"});
    p.cells({40, 100}, {"# 4", "K2"});
    p.cells({40}, {"Enclosures"});
    const Source s = p.parse().sources.at(0);
    EXPECT_TRUE(s.hasAngles);
    EXPECT_EQ(s.enclosures.vec(), (std::vector<Enclosure>{
                                      {1, "K2", -2.5, -3, std::nullopt, 8.5, ""}, // Top Z 2.0 away: skipped
                                      {2, "", {}, {}, {}, {}, "110/70"},
                                      // 130 is as far from 100 as from 160, both too far.
                                      {3, "", {}, {}, {}, {}, {}},
                                  }));

    // Ties go to the earlier column; the first cell must be "#" and an integer.
    const std::vector<ReportParser::detail::TableColumn> cols = {{"Angle", 10}, {"Site", 12}};
    std::vector<PDFTextItem> cells = {{1, 0, 0, "#1", PDFRect{0, 0, 5, 5}},
                                      {1, 0, 0, "4", PDFRect{11, 0, 5, 5}}};
    const auto e = ReportParser::detail::enclosure(cells, cols);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->angle, 4);
    EXPECT_EQ(e->site, std::nullopt);
    EXPECT_EQ(ReportParser::detail::enclosure({}, cols), std::nullopt);
    for (const char* bad : {"#7a", "#"}) {
        cells[0].text = bad;
        EXPECT_EQ(ReportParser::detail::enclosure(cells, cols), std::nullopt) << bad;
    }
    cells[0].text = "#-7";
    EXPECT_EQ(ReportParser::detail::enclosure(cells, {})->index, -7);
}

TEST(ReportParser, TableHeadersBelongToOneSource) {
    Page p({"1. Source: A"});
    p.cells({40, 100}, {"#1", "K2"}); // before any header: index only
    p.cells({40, 100, 160}, {"#", "Type", "Site"});
    p.cells({40, 100, 160}, {"#2", "K2", "1"});
    p.cells({40, 160}, {"#", "Type"});
    p.cells({40, 160}, {"#3", "KS28"});
    p.line("2. Source: B");
    p.cells({40, 100}, {"#1", "K2"});
    p.line("Site: 4"); // a plain line ends nothing in the table
    p.cells({40, 100}, {"#2", "K2"});
    const Report r = p.parse();
    EXPECT_EQ(r.sources.at(0).enclosures.vec(), (std::vector<Enclosure>{{1, "", {}, {}, {}, {}, {}},
                                                                        {2, "K2", {}, 1, {}, {}, {}},
                                                                        {3, "KS28", {}, {}, {}, {}, {}}}));
    EXPECT_FALSE(r.sources[0].hasAngles);
    EXPECT_EQ(r.sources.at(1).enclosures.vec(),
              (std::vector<Enclosure>{{1, "", {}, {}, {}, {}, {}}, {2, "", {}, {}, {}, {}, {}}}));

    // Cells outside a source are no table: they read as plain lines, inside a source not.
    Page q;
    q.cells({40}, {"Version: 2"});
    q.line("1. Source: A");
    q.cells({40, 100}, {"Site: 3", "Configuration: x"});
    const Report o = q.parse();
    EXPECT_EQ(o.info.version, "2");
    EXPECT_EQ(o.sources.at(0).site, std::nullopt);
    EXPECT_EQ(o.sources.at(0).configuration, "");
}

TEST(ReportParser, GeneratedReportsParseToWhatTheyShow) {
    for (std::uint64_t seed : {1u, 2u, 3u, 4u}) {
        test::ReportGeneratorOptions o;
        o.seed = seed;
        o.sources = 12;
        o.compress = seed % 2 == 0;
        o.ungroupedSource = seed != 3;
        const test::GeneratedReport g = test::generateReport(o);
        EXPECT_GT(g.pages, 2);
        test::TempDir dir;
        const Report r = ReportParser::parse(dir.write("show.pdf", g.pdf));
        EXPECT_EQ(r.info, g.expected.info);
        ASSERT_EQ(r.sources.size(), g.expected.sources.size()) << "seed " << seed;
        for (std::size_t i = 0; i < r.sources.size(); ++i) {
            EXPECT_EQ(dumpJsonPretty(r.sources[i].toJson()), dumpJsonPretty(g.expected.sources[i].toJson()))
                << "seed " << seed << " source " << i;
        }
        EXPECT_EQ(r, g.expected);
    }
}

TEST(ReportParser, LostPagesMarkTheSourcesReadAcrossThem) {
    // Eight pages: "A" begins on page 2, "B" on page 4 and goes on over page 5, "C" begins on
    // page 7; pages 1, 3, 6 and 8 show nothing.
    PDFText::Document doc;
    doc.pages = 8;
    for (const auto& [page, text] : std::vector<std::pair<int, std::string>>{
             {2, "1. Source: A"}, {4, "2. Source: B"}, {5, "Site: 2"}, {7, "3. Source: C"}})
        doc.items.push_back(PDFTextItem{page, 40, 700, text, std::nullopt});
    const std::string lost = "its content does not decode";
    const struct {
        std::vector<PDFText::PageLoss> losses;
        bool listDamaged;
        Names marked;
        std::vector<std::string> notes;
    } rows[] = {
        {{}, false, {}, {}},
        // Lost before any source: the first one read after it (its headings may be lost).
        {{{1, true, lost}, {4, false, "its content fails its checksum"}, {8, true, lost}},
         false,
         {"A", "B", "C"},
         {"skipped page 1 of 8: its content does not decode; \"A\" may be incomplete.",
          "page 4 of 8 may be damaged: its content fails its checksum; \"A\" and \"B\" may be incomplete.",
          "skipped page 8 of 8: its content does not decode; \"C\" may be incomplete."}},
        {{{6, true, lost}},
         false,
         {"B"},
         {"skipped page 6 of 8: its content does not decode; \"B\" may be incomplete."}},
        {{},
         true,
         {"A", "B", "C"},
         {"the list of pages is damaged: pages may be missing anywhere, so every source may be incomplete."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.notes));
        doc.losses = row.losses;
        doc.pageListDamaged = row.listDamaged;
        ImportNotes notes;
        const Report report = ReportParser::parse(doc, {}, &notes);
        Names marked;
        for (const Source& s : report.sources)
            if (s.possiblyIncomplete) marked.push_back(s.name);
        EXPECT_EQ(marked, row.marked);
        EXPECT_EQ(notes.lines(), row.notes);
    }
}

TEST(ReportParser, OtherFilesFailWithTheirErrors) {
    test::TempDir dir;
    test::Content c;
    c.bt().td(40, 800).tj("Invoice 2026-114").td(0, -14).tj("1. Group: not a report either").et();
    const auto invoice = dir.write("Facture été.pdf", test::TestPDF().addPage(c).bytes());
    test::expectRigError([&] { ReportParser::parse(invoice); }, RigError::Kind::notSoundvision,
                         "Facture été.pdf does not look like a Soundvision report.");
    test::expectRigError([&] { ReportParser::parse(dir.write("report.pdf", "1. Source: L1\n")); },
                         RigError::Kind::unreadable, "Cannot read report.pdf.");
    test::expectRigError([&] { ReportParser::parse(dir.write("empty.pdf", test::TestPDF().bytes())); },
                         RigError::Kind::notSoundvision);

    // A stopped read is Cancelled, whatever the file would have given; a path held in a
    // string is still a path.
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(ReportParser::parse(invoice.string(), stop.get_token()), Cancelled);
    EXPECT_THROW(Page({"1. Source: L1"}).parse(stop.get_token()), Cancelled);
    test::expectRigError([&] { ReportParser::parse(invoice.string()); }, RigError::Kind::notSoundvision);
}
