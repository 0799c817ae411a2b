#include "model/Project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace rig;
using Lines = std::vector<std::string>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const Date day1{std::chrono::seconds(1'700'000'000)};
const Date day2{std::chrono::seconds(1'700'086'400)};

Pickup pickup(std::string role, std::string hole, std::optional<double> load, XYZ at = XYZ()) {
    Pickup p;
    p.role = std::move(role);
    p.hole = std::move(hole);
    p.load = load;
    p.position = at;
    return p;
}

Enclosure enclosure(std::int64_t index, std::string type, std::optional<double> angle,
                    std::optional<std::string> panflex = std::nullopt) {
    Enclosure e;
    e.index = index;
    e.type = std::move(type);
    e.angle = angle;
    e.panflex = std::move(panflex);
    return e;
}

Source mainL() {
    Source s("Main L", {"ALL", "Main"});
    s.configuration = "Flown";
    s.site = 2;
    s.azimuth = -10;
    s.position = XYZ(1, 2, 9);
    s.bottomElevation = 4;
    std::vector<Enclosure> encl;
    for (int i = 1; i <= 8; ++i) encl.push_back(enclosure(i, "K2", 2));
    s.enclosures = List<Enclosure>(std::move(encl));
    s.pickups = {pickup("Front", "A", 250, XYZ(1, 2.2, 9)), pickup("Pullback", "B", 120, XYZ(1, 1.8, 9))};
    return s;
}

Report reportOf(std::vector<Source> sources, std::string fileName = "Main_Stage_Day2.xml") {
    Report r;
    r.info.fileName = std::move(fileName);
    r.sources = List<Source>(std::move(sources));
    return r;
}

} // namespace

TEST(ProjectDiff, SameSourceGivesNothing) {
    EXPECT_TRUE(Project::diff(mainL(), mainL()).empty());
    Source b = mainL();
    // Fields outside the comparison.
    b.motorCount = 2;
    b.totalWeight = 900;
    b.hasAngles = true;
    b.enclosures.mut(0).site = 4;
    EXPECT_TRUE(Project::diff(mainL(), b).empty());
}

TEST(ProjectDiff, TolerancesAreExclusive) {
    Source b = mainL();
    b.site = 2.05;
    b.azimuth = -10.04;
    b.position = XYZ(1.004, 1.996, 9.004);
    b.bottomElevation = 3.996;
    b.enclosures.mut(0).angle = 2.01;
    b.pickups.mut(0).load = 250.5;
    EXPECT_EQ(Project::diff(mainL(), b), Lines{});

    b.site = 2.06;
    b.pickups.mut(0).load = 250.6;
    EXPECT_EQ(Project::diff(mainL(), b), (Lines{"site 2° → 2.06°", "Front load 250 kg → 250.6 kg"}));

    // Not a number never differs.
    b = mainL();
    b.site = kNaN;
    b.position = XYZ(kNaN, 2, kNaN);
    b.pickups.mut(1).load = kNaN;
    EXPECT_EQ(Project::diff(mainL(), b), Lines{});
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
    std::vector<Enclosure> encl = b.enclosures.vec();
    encl[1].type = "K2 ";
    encl[3].angle = 3;
    encl[4].panflex = "70/110";
    a.enclosures.mut(5).angle = std::nullopt;
    encl[5].angle = 5;
    encl.push_back(enclosure(9, "K2", 10));
    encl.push_back(enclosure(10, "K2", 10));
    b.enclosures = List<Enclosure>(std::move(encl));
    b.pickups = {pickup("Front", "A", std::nullopt), pickup("mid", "M", 10), pickup("Rear", "C", 320),
                 pickup("Front", "X", 999)};
    EXPECT_EQ(Project::diff(a, b), (Lines{
                                       "configuration → Flown (pullback)",
                                       "bumper – → K2-BUMP",
                                       "site removed",
                                       "azimuth → -10°",
                                       "trim 9 m → 8.5 m",
                                       "position X/Y 1; 2 → 1.01; 2",
                                       "bottom removed",
                                       "enclosures 8 → 10",
                                       "#2 type K2 → K2 ",
                                       "#4 angle 2° → 3°",
                                       "#5 panflex – → 70/110",
                                       "Front load removed",
                                       "Pullback hole B → –",
                                       "Pullback load removed",
                                       "Rear hole – → C",
                                       "Rear load → 320 kg",
                                       "mid hole – → M",
                                       "mid load → 10 kg",
                                   }));
}

TEST(ProjectDiff, PositionAddedOrRemoved) {
    Source a = mainL();
    Source b = mainL();
    b.position = std::nullopt;
    EXPECT_EQ(Project::diff(a, b), Lines{"trim removed"});
    EXPECT_EQ(Project::diff(b, a), Lines{"trim → 9 m"});
    b.position = XYZ(1.01, 2, 9);
    EXPECT_EQ(Project::diff(a, b), Lines{"position X/Y 1; 2 → 1.01; 2"});
    // Texts compare canonically: a composed and a decomposed é are the same.
    a.configuration = "Flown \u00E9";
    b = a;
    b.configuration = "Flown e\u0301";
    EXPECT_TRUE(Project::diff(a, b).empty());
}

TEST(ImportReport, FirstImportAndReimport) {
    Project p;
    const auto first = p.importReport(reportOf({mainL()}), "report.pdf", day1);
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(p.name, "Main Stage Day2");
    EXPECT_EQ(p.reportFile, "report.pdf");
    EXPECT_EQ(p.reportImportedAt, day1);
    EXPECT_EQ(p.report, reportOf({mainL()}));
    ASSERT_EQ(p.history.size(), 1u);
    EXPECT_EQ(p.history[0], (ImportRecord{day1, "report.pdf", {}}));

    EXPECT_TRUE(p.importReport(reportOf({mainL()}, "Other.xml"), "again.pdf", day2).empty());
    EXPECT_EQ(p.name, "Main Stage Day2");
    EXPECT_EQ(p.history.size(), 2u);
    EXPECT_EQ(p.history[1], (ImportRecord{day2, "again.pdf", {}}));
}

TEST(ImportReport, ProjectName) {
    Project p;
    p.importReport(reportOf({}, ""), "Show_2024.v2.pdf", day1);
    EXPECT_EQ(p.name, "Show 2024.v2");
    Project q;
    q.importReport(reportOf({}, "NoExtension"), "x.pdf", day1);
    EXPECT_EQ(q.name, "NoExtension");
    Project named;
    named.name = "Festival";
    named.importReport(reportOf({mainL()}), "r.pdf", day1);
    EXPECT_EQ(named.name, "Festival");
}

TEST(ImportReport, ChangeListOrderAndKeptSettings) {
    Source mainR("Main R", {"ALL", "Main"});
    Source sub("Sub", {"ALL", "Subs"});
    Source front("Front fill", {});
    Project p;
    p.importReport(reportOf({mainL(), mainR, sub, sub}), "r1.pdf", day1);
    Motor motor;
    motor.name = "D8+ 1t";
    motor.weight = 60;
    p.setExtra(mainL().id(), "Front", PointExtra{motor, true});
    p.setExtra(sub.id(), "Front", PointExtra{motor, false});
    p.setHidden({mainR.id()}, true);
    p.riggingHeight = 14;
    p.groupRiggingHeights = TextMap<double>{{"Main", 12.5}};
    p.dxf.set(sub.id(), DXFInfo{{XYZ(0, 0, 0)}, std::nullopt, std::nullopt});

    Source newL = mainL();
    newL.site = 3;
    newL.enclosures.mut(3).angle = 3;
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
}

TEST(ImportReport, RerunsTheDXFPickupMatch) {
    Project p;
    p.dxf.set(mainL().id(), DXFInfo{{XYZ(1, 2.2, 9.049)}, std::nullopt, std::nullopt});
    p.importReport(reportOf({mainL()}), "r.pdf", day1);
    EXPECT_TRUE(p.report.sources[0].pickups[0].fromDXF);
    EXPECT_FALSE(p.report.sources[0].pickups[1].fromDXF);
}

TEST(MatchDXFPickups, NearestWithinFiveCentimetres) {
    Source s("A", {"ALL"});
    s.pickups = {pickup("Front", "", {}, XYZ(0, 0, 0)), pickup("Rear", "", {}, XYZ(1, 0, 0)),
                 pickup("Mid", "", {}, XYZ(kNaN, 0, 0)), pickup("Odd", "", {}, XYZ(2, kNaN, 0)),
                 pickup("Tie", "", {}, XYZ(5, 0, 0))};
    s.pickups.mut(2).fromDXF = true;
    s.pickups.mut(3).fromDXF = true;
    Source without("B", {"ALL"});
    without.pickups = {pickup("Front", "", {}, XYZ(0, 0, 0))};
    without.pickups.mut(0).fromDXF = true;
    Source empty("C", {"ALL"});
    empty.pickups = {pickup("Front", "", {}, XYZ(0, 0, 0))};
    empty.pickups.mut(0).fromDXF = true;

    Project p;
    p.report = reportOf({s, without, empty});
    p.dxf.set(s.id(), DXFInfo{{XYZ(0.049, 0, 0), XYZ(kNaN, 0, 0), XYZ(1, 0.05, 0), XYZ(5, 0, 0.06)},
                              std::nullopt,
                              std::nullopt});
    p.dxf.set(empty.id(), DXFInfo{{}, std::nullopt, std::nullopt});
    p.matchDXFPickups();
    const auto& got = p.report.sources;
    EXPECT_TRUE(got[0].pickups[0].fromDXF);  // 4.9 cm
    EXPECT_FALSE(got[0].pickups[1].fromDXF); // 5 cm
    EXPECT_TRUE(got[0].pickups[2].fromDXF);  // x not a number: unchanged
    EXPECT_FALSE(got[0].pickups[3].fromDXF); // every distance not a number
    EXPECT_FALSE(got[0].pickups[4].fromDXF);
    EXPECT_TRUE(got[1].pickups[0].fromDXF);  // no DXF entry: unchanged
    EXPECT_FALSE(got[2].pickups[0].fromDXF); // entry without positions
}
