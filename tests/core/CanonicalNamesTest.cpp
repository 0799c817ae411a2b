// Names compared the way the library compares them, each rule with the rarer shapes of Unicode
// text: a character whose canonical form is another single character (KELVIN SIGN and K, OHM
// SIGN and omega), a prefix that would end inside a combined character, a decomposed text, and a
// name that begins with a combining mark.
#include "analysis/BottomFace.h"
#include "analysis/Issues.h"
#include "import/DXFReader.h"
#include "import/ReportParser.h"
#include "model/Project.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace rig;
using namespace rig::fixtures;

namespace {

const std::string kelvin = "\u212A", ohm = "\u2126", omega = "\u03A9";

// Report lines top down, with table rows as cells 60 wide at the given left edges.
class Lines {
public:
    Lines& line(std::string text) {
        items_.push_back(PDFTextItem{1, 40, y_, std::move(text), std::nullopt});
        y_ -= 14;
        return *this;
    }
    Lines& cells(const std::vector<std::string>& texts) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const double x = 40 + 70 * double(i);
            items_.push_back(PDFTextItem{1, x + 3, y_, texts[i], PDFRect{x, y_ - 4, 60, 16}});
        }
        y_ -= 16;
        return *this;
    }
    Source source() const {
        const Report r = ReportParser::parse(items_);
        EXPECT_EQ(r.sources.size(), 1u);
        return r.sources.empty() ? Source() : r.sources[0];
    }

private:
    std::vector<PDFTextItem> items_;
    double y_ = 800;
};

std::vector<std::string> issueTexts(const Project& p) {
    std::vector<std::string> out;
    for (const Issue& i : p.issues()) out.push_back(i.text);
    return out;
}

} // namespace

// Records, and the tables keyed by source identifier, role or group label.
TEST(CanonicalNames, RecordsAndKeysAreEqualWhenCanonicallyEquivalent) {
    Source a = testSource(kelvin + "ara", {"ALL", "Sce\u0300ne"}, {testPickup(ohm, XYZ(1, 2, 3), 10.0)});
    Source b = testSource("Kara", {"ALL", "Sc\u00E8ne"}, {testPickup(omega, XYZ(1, 2, 3), 10.0)});
    EXPECT_EQ(a, b);
    b.pickups.mut(0).role = "\u0301" + omega; // a role that begins with a mark is another role
    EXPECT_NE(a, b);

    Project p = projectOf({a});
    p.setExtra("ALL/Sc\u00E8ne/Kara", omega, PointExtra{testMotor("D8", 55), true});
    EXPECT_TRUE(p.extra(a.id(), ohm).delta);
    EXPECT_TRUE(p.deltaPoints(a, a.pickups[0]).has_value());
    p.setHidden({"ALL/Sce\u0300ne/" + kelvin + "ara"}, true);
    EXPECT_TRUE(p.isHidden("ALL/Sc\u00E8ne/Kara"));

    // Rigging heights by group label, the longest path first, each label canonically.
    p.report.sources.mut(0).groups = {"ALL", "Main", "\u0301\u00E9 " + kelvin};
    p.groupRiggingHeights = TextMap<double>{{"Main \u203A \u0301e\u0301 K", 12.0}, {"Main", 9.0}};
    EXPECT_EQ(p.riggingHeightFor(p.report.sources[0]), 12.0);
    p.groupRiggingHeights = TextMap<double>{{"Main \u203A \u0301e", 12.0}, {"Main", 9.0}};
    EXPECT_EQ(p.riggingHeightFor(p.report.sources[0]), 9.0); // a label, not a prefix of one
}

// The report merge: configuration, bumper, enclosure types and pickup roles.
TEST(CanonicalNames, TheReportMergeSeesNoChangeInAnotherShapeOfTheSameName) {
    Source old = flownArray("Main L", {"ALL", "Main"}, 2, 2, "K2");
    old.configuration = "flown " + omega;
    old.bumper = "\u00C5-BUMP";
    old.pickups.mut(0).role = "\u0301\u00E9";
    Source now = old;
    now.configuration = "flown " + ohm;
    now.bumper = "\u212B-BUMP"; // ANGSTROM SIGN
    now.enclosures.mut(0).type = kelvin + "2";
    now.enclosures.mut(1).type = "K2";
    now.pickups.mut(0).role = "\u0301e\u0301";
    EXPECT_EQ(Project::diff(old, now), std::vector<std::string>{});

    // A mark on the last letter makes another type; a role with one more mark is another role.
    now.enclosures.mut(1).type = "K2\u0301";
    now.pickups.mut(0).role = "\u0301\u00E9\u0301";
    const std::vector<std::string> changes = Project::diff(old, now);
    EXPECT_TRUE(std::find(changes.begin(), changes.end(), "#2 type K2 \u2192 K2\u0301") != changes.end())
        << testing::PrintToString(changes);
    EXPECT_GE(changes.size(), 3u) << testing::PrintToString(changes); // the role's old and new sides
}

// A newer report keeps the settings of its sources, and a DXF source pairs with its report
// source, by name in any canonical shape.
TEST(CanonicalNames, ImportsPairSourcesByCanonicalName) {
    Project p;
    p.importReport(testReport({flownArray("Kara", {"ALL", "Sc\u00E8ne"}, 2)}), "day1.pdf", testDate());
    p.setExtra("ALL/Sc\u00E8ne/Kara", "Front", PointExtra{testMotor("D8", 55), false});
    const std::vector<std::string> changes =
        p.importReport(testReport({flownArray(kelvin + "ara", {"ALL", "Sce\u0300ne"}, 2),
                                   flownArray("\u0301e\u0301_L", {"ALL"}, 2)}),
                       "day2.pdf", testDate(86400));
    EXPECT_EQ(changes.size(), 1u) << testing::PrintToString(changes); // only the new source
    EXPECT_TRUE(p.extra(p.report.sources[0].id(), "Front").motor.has_value());

    DXFSource kara{2, "Kara", XYZ(0, 0, 10), 0, {}, {}};
    DXFSource mark{1, "\u0301\u00E9 L", XYZ(5, 0, 10), 0, {}, {}};
    p.importDXF({mark, kara}, "show.dxf");
    EXPECT_TRUE(p.dxf.contains("ALL/Sce\u0300ne/" + kelvin + "ara"));
    EXPECT_TRUE(p.dxf.contains("ALL/\u0301\u00E9_L"));
}

// A motor load line finds the pickup of its role, in whatever shape either line spells it.
TEST(CanonicalNames, MotorLoadsFindTheirPickupByRole) {
    const Source s = Lines()
                         .line("1. Source: S")
                         .line(kelvin + "ick pickup position (X; Y; Z, m): A (1; 2; 3)")
                         .line("Rear pickup position (X; Y; Z, m): B (1; 1; 3)")
                         .line("\u0301e\u0301 pickup position (X; Y; Z, m): C (0; 0; 3)")
                         .line("Kick motor load: 100")
                         .line("Rear\u0301 motor load: 20") // not Rear: its last letter carries a mark
                         .line("\u0301\u00E9 motor load: 5")
                         .source();
    ASSERT_EQ(s.pickups.size(), 4u);
    EXPECT_EQ(s.pickups[0].load, 100.0);
    EXPECT_EQ(s.pickups[1].load, std::nullopt);
    EXPECT_EQ(s.pickups[2].load, 5.0);
    EXPECT_EQ(s.pickups[3].role, "Rear\u0301");
    EXPECT_EQ(s.pickups[3].load, 20.0);
    EXPECT_TRUE(std::isnan(s.pickups[3].position.x));
}

// Case-blind containment: "impossible" in a report warning, "no product information" in the
// inventory.
TEST(CanonicalNames, CaseBlindSearchesMatchWholeCharactersInAnyShape) {
    const Source s = Lines()
                         .line("1. Source: S")
                         .line("Mechanical warnings:")
                         .line("  Hanging is IMPOSSIBLE\u0301") // ends in É: not the word
                         .line("  WARNING")
                         .line("  Hanging is \u0131mpossible") // dotless i folds to itself
                         .line("  CAUTION")
                         .line("  \u0301Impossible to reach") // a leading mark joins no letter
                         .source();
    ASSERT_EQ(s.warnings.size(), 3u);
    EXPECT_EQ(s.warnings[0].level, ReportWarning::Level::warning);
    EXPECT_EQ(s.warnings[1].level, ReportWarning::Level::warning);
    EXPECT_EQ(s.warnings[2].level, ReportWarning::Level::error);

    Project p = projectOf({});
    p.inventory = {
        InventoryItem{"Amplifier", 1, "LA", "A", "NO PRODUCT INFORMATION", std::nullopt},
        InventoryItem{"Amplifier", 1, "LA", "B", "No product informatio\u0301n", std::nullopt},
        InventoryItem{"Amplifier", 1, "LA", "C", "\u212Ait: no product informatio\u00F1", std::nullopt}};
    EXPECT_EQ(issueTexts(p), std::vector<std::string>{
                                 "A: Soundvision has no product information (custom or unknown model)."});
}

// Prefixes: the report's labels, the enclosure table's column heads and the wedge table.
TEST(CanonicalNames, PrefixesMatchOnlyWholeCharacters) {
    const Source s = Lines()
                         .line("1. Source: S")
                         .line("Configuration: flown")
                         .line("Bumper:\u00A0" + kelvin + "2-BUMP") // a no-break space ends the label
                         .line("Site:\u0338 4")                     // the colon carries a mark
                         .line("Azimuth: 12")
                         .cells({"#", "Type", "Angle\u00B0", "Site\u0301", "Top Z (m)"})
                         .cells({"#1", "k2", "0", "-1", "9"})
                         .cells({"#2", kelvin + "2", "2", "-3", "8.6"})
                         .source();
    EXPECT_EQ(s.bumper, kelvin + "2-BUMP");
    EXPECT_EQ(s.site, std::nullopt);
    EXPECT_EQ(s.azimuth, 12.0);
    ASSERT_EQ(s.enclosures.size(), 2u);
    EXPECT_TRUE(s.hasAngles);
    EXPECT_EQ(s.enclosures[1].angle, 2.0);
    EXPECT_EQ(s.enclosures[1].site, std::nullopt); // "Sit\u00E9" is no site column
    EXPECT_EQ(s.enclosures[1].topZ, 8.6);

    // The wedge of the last cabinet, by the longest model prefix of its upper-case type.
    const std::pair<std::string, std::optional<double>> types[] = {
        {kelvin + "2", 5},
        {"k2", 5},
        {kelvin + "1-SB", 0},
        {kelvin + "ARA", 5},
        {"KARA\u0301", std::nullopt},
        {"KAR\u00C1", std::nullopt},
        {"K2\u0301", std::nullopt},
        {"\u0301K2", std::nullopt},
        {"a15 focus", 5},
        {"A15_WIDE\u00A0", 15},
    };
    for (const auto& [type, half] : types) EXPECT_EQ(Wedge::halfAngle(type), half) << type;
    Source flown = s;
    flown.enclosures.mut(1).type = kelvin + "2";
    flown.enclosures.mut(1).site = -3;
    ASSERT_TRUE(bottomFace(flown).has_value());
    EXPECT_EQ(bottomFace(flown)->facet, -8);
}

// The inventory checks meet report and inventory under one model key: upper case, no blanks.
TEST(CanonicalNames, ModelKeysAreTheSameForEveryShapeOfAName) {
    Source s = flownArray("Main L", {"ALL", "Main"}, 4, 2, "KS28");
    s.enclosures.mut(1).type = kelvin + "S28_C";
    s.enclosures.mut(2).type = "Sce\u0300ne 1";
    s.enclosures.mut(3).type = "\u03B1\u0345\u0301"; // iota subscript before the accent
    Project p = projectOf({s});
    p.inventory = {InventoryItem{"Enclosure", 2, "SB", "ks 28", "", std::nullopt},
                   InventoryItem{"Enclosure", 1, "X", "SC\u00C8NE1", "", std::nullopt},
                   InventoryItem{"Enclosure", 1, "X", "\u1FB4", "", std::nullopt}};
    EXPECT_EQ(issueTexts(p), std::vector<std::string>{});
    p.inventory.mut(0).category = "Enclosur\u00E9"; // not "Enclosure"
    EXPECT_EQ(issueTexts(p), std::vector<std::string>{"KS28: 2 in the report, missing from the inventory."});
}
