#include "model/Project.h"
#include "model/RigError.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace rig;
using fixtures::notANumber;
using fixtures::testPickup;
using Lines = std::vector<std::string>;

namespace {

const Date day1 = fixtures::testDate();
const Date day2 = fixtures::testDate(86400);

Enclosure enclosure(std::int64_t index, std::string type, std::optional<double> angle) {
    Enclosure e;
    e.index = index;
    e.type = std::move(type);
    e.angle = angle;
    return e;
}

Source mainL() {
    Source s = fixtures::testSource(
        "Main L", {"ALL", "Main"},
        {testPickup("Front", XYZ(1, 2.2, 9), 250, "A"), testPickup("Pullback", XYZ(1, 1.8, 9), 120, "B")});
    s.configuration = "Flown";
    s.site = 2;
    s.azimuth = -10;
    s.position = XYZ(1, 2, 9);
    s.bottomElevation = 4;
    for (int i = 1; i <= 8; ++i) s.enclosures.push_back(enclosure(i, "K2", 2));
    return s;
}

Report reportOf(std::vector<Source> sources, std::string fileName = "Main_Stage_Day2.xml") {
    Report r;
    r.info.fileName = std::move(fileName);
    r.sources = List<Source>(std::move(sources));
    return r;
}

} // namespace

TEST(ProjectDiff, TolerancesAndUncomparedFields) {
    EXPECT_TRUE(Project::diff(mainL(), mainL()).empty());
    Source a = mainL(), b = mainL();
    b.motorCount = 2; // fields outside the comparison
    b.totalWeight = 900;
    b.hasAngles = true;
    b.enclosures.mut(0).site = 4;
    b.site = 2.05; // tolerances are exclusive
    b.azimuth = -10.04;
    b.position = XYZ(1.004, 1.996, 9.004);
    b.bottomElevation = 3.996;
    b.enclosures.mut(0).angle = 2.01;
    b.pickups.mut(0).load = 250.5;
    a.pickups.mut(1).load = notANumber; // two unreadable loads are the same
    b.pickups.mut(1).load = notANumber;
    a.configuration = "Flown \u00E9"; // texts compare canonically
    b.configuration = "Flown e\u0301";
    EXPECT_EQ(Project::diff(a, b), Lines{});
    b.site = 2.06;
    b.pickups.mut(0).load = 250.6;
    EXPECT_EQ(Project::diff(a, b), (Lines{"site 2° → 2.06°", "Front load 250 kg → 250.6 kg"}));
    // A value that becomes unreadable is a change, never shown as a number.
    b.position = XYZ(notANumber, 2, HUGE_VAL);
    EXPECT_EQ(Project::diff(a, b),
              (Lines{"site 2° → 2.06°", "trim 9 m → unreadable", "position X/Y 1; 2 → unreadable; 2",
                     "Front load 250 kg → 250.6 kg"}));

    b = mainL();
    b.position = std::nullopt;
    EXPECT_EQ(Project::diff(mainL(), b), Lines{"trim removed"});
    EXPECT_EQ(Project::diff(b, mainL()), Lines{"trim → 9 m"});
    b.position = XYZ(1.01, 2, 9);
    EXPECT_EQ(Project::diff(mainL(), b), Lines{"position X/Y 1; 2 → 1.01; 2"});

    // Each tolerance from 0: a move of exactly the tolerance (either way) gives no line, one
    // just beyond it gives its line, and so does a value that becomes unreadable or readable
    // again. The enclosure and the role are the last of their lists.
    Source zero = mainL();
    zero.site = zero.azimuth = zero.bottomElevation = 0.0;
    zero.position = XYZ(0, 0, 0);
    zero.enclosures.mut(7).angle = 0.0;
    zero.pickups.mut(1).load = 0.0;
    const struct {
        double tolerance, beyond;
        std::function<void(Source&, double)> move;
        std::string line;
    } edges[] = {
        {0.05, 0.051, [](Source& s, double v) { s.site = v; }, "site 0° → 0.05°"},
        {0.05, 0.051, [](Source& s, double v) { s.azimuth = v; }, "azimuth 0° → 0.05°"},
        {0.005, 0.0051, [](Source& s, double v) { s.position->z = v; }, "trim 0 m → 0.01 m"},
        {0.005, 0.0051, [](Source& s, double v) { s.position->x = v; }, "position X/Y 0; 0 → 0.01; 0"},
        {0.005, 0.0051, [](Source& s, double v) { s.position->y = v; }, "position X/Y 0; 0 → 0; 0.01"},
        {0.005, 0.0051, [](Source& s, double v) { s.bottomElevation = v; }, "bottom 0 m → 0.01 m"},
        {0.01, 0.011, [](Source& s, double v) { s.enclosures.mut(7).angle = v; }, "#8 angle 0° → 0.01°"},
        {0.5, 0.51, [](Source& s, double v) { s.pickups.mut(1).load = v; }, "Pullback load 0 kg → 0.51 kg"},
    };
    for (const auto& e : edges) {
        for (double inside : {e.tolerance, -e.tolerance}) {
            Source moved = zero;
            e.move(moved, inside);
            EXPECT_EQ(Project::diff(zero, moved), Lines{}) << e.line << " by " << inside;
        }
        Source moved = zero;
        e.move(moved, e.beyond);
        EXPECT_EQ(Project::diff(zero, moved), Lines{e.line});
        moved = zero;
        e.move(moved, notANumber);
        EXPECT_EQ(Project::diff(zero, moved).size() + Project::diff(moved, zero).size(), 2u) << e.line;
    }
}

TEST(ProjectDiff, EveryStepInOrder) {
    Source a = mainL();
    Source b = mainL();
    b.configuration = "Flown (pullback)";
    b.bumper = "K2-BUMP";
    b.site = std::nullopt;
    a.azimuth = std::nullopt;
    b.position = XYZ(1.01, 2, 8.5);
    b.bottomElevation = std::nullopt;
    b.enclosures.mut(1).type = "K2 ";
    b.enclosures.mut(3).angle = 3;
    b.enclosures.mut(4).panflex = "70/110";
    a.enclosures.mut(5).angle = std::nullopt;
    b.enclosures.mut(5).angle = 5;
    b.enclosures.push_back(enclosure(9, "K2", 10));
    b.enclosures.push_back(enclosure(10, "K2", 10));
    b.pickups = {testPickup("Front", XYZ(), std::nullopt, "A"), testPickup("mid", XYZ(), 10, "M"),
                 testPickup("Rear", XYZ(), 320, "C"), testPickup("Front", XYZ(), 999, "X")};
    EXPECT_EQ(Project::diff(a, b),
              (Lines{"configuration → Flown (pullback)", "bumper – → K2-BUMP", "site removed",
                     "azimuth → -10°", "trim 9 m → 8.5 m", "position X/Y 1; 2 → 1.01; 2", "bottom removed",
                     "enclosures 8 → 10", "#2 type K2 → K2 ", "#4 angle 2° → 3°", "#5 panflex – → 70/110",
                     "Front load removed", "Pullback hole B → –", "Pullback load removed", "Rear hole – → C",
                     "Rear load → 320 kg", "mid hole – → M", "mid load → 10 kg"}));

    // Every name with a direction override stays isolated inside its line, without the override.
    const Project evil = fixtures::withEveryText(fixtures::projectOf({a, b}), "\u202Eevil");
    const Lines lines = Project::diff(evil.report.sources[0], evil.report.sources[1]);
    EXPECT_EQ(lines.size(), 18u);
    for (const std::string& line : lines) EXPECT_TRUE(fixtures::shownWithoutOverride(line)) << line;
}

TEST(ImportReport, FirstImportAndProjectName) {
    Project p;
    EXPECT_TRUE(p.importReport(reportOf({mainL()}), "report.pdf", day1).empty());
    EXPECT_EQ(p.name, "Main Stage Day2");
    EXPECT_EQ(p.reportFile, "report.pdf");
    EXPECT_EQ(p.reportImportedAt, day1);
    EXPECT_EQ(p.report, reportOf({mainL()}));
    EXPECT_EQ(p.history.vec(), (std::vector<ImportRecord>{{day1, "report.pdf", {}}}));
    // A named project keeps its name.
    EXPECT_TRUE(p.importReport(reportOf({mainL()}, "Other.xml"), "again.pdf", day2).empty());
    EXPECT_EQ(p.name, "Main Stage Day2");
    EXPECT_EQ(p.history.vec(),
              (std::vector<ImportRecord>{{day1, "report.pdf", {}}, {day2, "again.pdf", {}}}));

    // From the report's file name, else the PDF's, without the last extension.
    for (const auto& [reportName, pdf, name] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"", "Show_2024.v2.pdf", "Show 2024.v2"}, {"NoExtension", "x.pdf", "NoExtension"}}) {
        Project q;
        q.importReport(reportOf({}, reportName), pdf, day1);
        EXPECT_EQ(q.name, name);
    }
}

TEST(ImportReport, ChangeListOrderAndKeptSettings) {
    const Source mainR("Main R", {"ALL", "Main"});
    const Source sub("Sub", {"ALL", "Subs"});
    const Source front("Front fill", {});
    Project p;
    p.importReport(reportOf({mainL(), mainR, sub, sub}), "r1.pdf", day1);
    const Motor motor = fixtures::testMotor("D8+ 1t", 60);
    p.setExtra(mainL().id(), "Front", PointExtra{motor, true});
    p.setExtra(sub.id(), "Front", PointExtra{motor, false});
    p.setHidden({mainR.id()}, true);
    p.riggingHeight = 14;
    p.groupRiggingHeights = TextMap<double>{{"Main", 12.5}};
    p.dxf.set(sub.id(), DXFInfo{{XYZ(0, 0, 0)}, std::nullopt, std::nullopt});

    Source newL = mainL();
    newL.site = 3;
    newL.enclosures.mut(3).angle = 3;
    // A stopped import changes nothing.
    const Project before = p;
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(p.importReport(reportOf({front, newL, mainR}), "r2.pdf", day2, stop.get_token()), Cancelled);
    EXPECT_EQ(p, before);
    const auto changes = p.importReport(reportOf({front, newL, mainR}), "r2.pdf", day2);
    EXPECT_EQ(changes, (Lines{"New source: Front fill ()", "Main L: site 2° → 3°; #4 angle 2° → 3°",
                              "Removed source: Sub (its motors/Delta are kept in case it returns)",
                              "Removed source: Sub (its motors/Delta are kept in case it returns)"}));
    EXPECT_EQ(p.history.back().changes, List<std::string>(changes));
    // Everything the user set stays under its identifier, also for the removed source.
    EXPECT_EQ(p.extra(mainL().id(), "Front"), (PointExtra{motor, true}));
    EXPECT_EQ(p.extra(sub.id(), "Front"), (PointExtra{motor, false}));
    EXPECT_TRUE(p.dxf.contains(sub.id()));
    EXPECT_TRUE(p.isHidden(mainR.id()));
    EXPECT_EQ(p.riggingHeight, 14);
    EXPECT_EQ(p.riggingHeightFor(newL), 12.5);

    // A renamed source is one new and one removed source.
    Source renamed = mainR;
    renamed.name = "Main Right";
    EXPECT_EQ(p.importReport(reportOf({front, newL, renamed}), "r3.pdf", day2),
              (Lines{"New source: Main Right (Main)", "Removed source: Main R"}));
    // A report without sources removes every source.
    EXPECT_EQ(p.importReport(reportOf({}), "r4.pdf", day2).size(), 3u);
    // Named with a direction override: new and removed sources, isolated in their lines.
    const Source evil("\u202Eevil", {"ALL", "\u202Egroup"});
    p.importReport(reportOf({front}), "r5.pdf", day2);
    EXPECT_EQ(p.importReport(reportOf({front, evil}), "r6.pdf", day2),
              (Lines{"New source: \u2068evil\u2069 (\u2068group\u2069)"}));
    EXPECT_EQ(p.importReport(reportOf({front}), "r7.pdf", day2), (Lines{"Removed source: \u2068evil\u2069"}));
}

TEST(MatchDXFPickups, NearestWithinFiveCentimetres) {
    Source s =
        fixtures::testSource("A", {"ALL"},
                             {testPickup("Front", XYZ(0, 0, 0)), testPickup("Rear", XYZ(1, 0, 0)),
                              testPickup("Mid", XYZ(notANumber, 0, 0)),
                              testPickup("Odd", XYZ(2, notANumber, 0)), testPickup("Tie", XYZ(5, 0, 0))});
    s.pickups.mut(2).fromDXF = true;
    s.pickups.mut(3).fromDXF = true;
    Source without = fixtures::testSource("B", {"ALL"}, {testPickup("Front", XYZ())});
    without.pickups.mut(0).fromDXF = true;
    Source empty = fixtures::testSource("C", {"ALL"}, {testPickup("Front", XYZ())});
    empty.pickups.mut(0).fromDXF = true;

    Project p = fixtures::projectOf({s, without, empty});
    p.dxf.set(s.id(),
              DXFInfo{{XYZ(0.049, 0, 0), XYZ(notANumber, 0, 0), XYZ(1, 0.05, 0), XYZ(5, 0, 0.06)}, {}, {}});
    p.dxf.set(empty.id(), DXFInfo{{}, {}, {}});
    p.matchDXFPickups();
    const auto& got = p.report.sources;
    EXPECT_TRUE(got[0].pickups[0].fromDXF);  // 4.9 cm
    EXPECT_FALSE(got[0].pickups[1].fromDXF); // 5 cm
    EXPECT_TRUE(got[0].pickups[2].fromDXF);  // x not a number: unchanged
    EXPECT_FALSE(got[0].pickups[3].fromDXF); // every distance not a number
    EXPECT_FALSE(got[0].pickups[4].fromDXF);
    EXPECT_TRUE(got[1].pickups[0].fromDXF);  // no DXF entry: unchanged
    EXPECT_FALSE(got[2].pickups[0].fromDXF); // entry without positions

    // A report import runs the match again.
    Project q;
    q.dxf.set(mainL().id(), DXFInfo{{XYZ(1, 2.2, 9.049)}, {}, {}});
    q.importReport(reportOf({mainL()}), "r.pdf", day1);
    EXPECT_TRUE(q.report.sources[0].pickups[0].fromDXF);
    EXPECT_FALSE(q.report.sources[0].pickups[1].fromDXF);
}
