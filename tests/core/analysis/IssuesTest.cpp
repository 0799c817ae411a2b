#include "analysis/Issues.h"
#include "model/Project.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rig;
using namespace rig::fixtures;
using Level = Issue::Level;

namespace {

Pickup loaded(const char* role, std::optional<double> load, double x = 0, bool fromDXF = false) {
    Pickup p = testPickup(role, XYZ(x, 0, 8), load);
    p.fromDXF = fromDXF;
    return p;
}

Source source(const char* name, std::vector<Pickup> pickups = {}, const char* config = "") {
    Source s = testSource(name, {"ALL", "Main"}, std::move(pickups));
    s.configuration = config;
    return s;
}

InventoryItem item(const char* category, std::int64_t quantity, const char* product,
                   const char* description = "") {
    return InventoryItem{category, quantity, "", product, description, std::nullopt};
}

std::vector<std::string> texts(const std::vector<Issue>& issues) {
    std::vector<std::string> out;
    for (const auto& i : issues) out.push_back(i.text);
    return out;
}

} // namespace

TEST(Issues, SourceChecksSortedByLevelStably) {
    EXPECT_TRUE(Project().issues().empty());
    Source a = source("A", {loaded("Front", 400), loaded("Rear", 400.5)}, "flown");
    a.totalWeight = 799.4;
    a.warnings = {{ReportWarning::Level::caution, "Mind the gap"}, {ReportWarning::Level::error, "Overload"}};
    Source b = source("B", {loaded("Front", -120.5), loaded("Rear", std::nullopt)});
    Source c = source("C");
    c.possiblyIncomplete = true; // read across a page of the report that was lost

    std::vector<Issue> issues = projectOf({a, b, c}).issues();
    ASSERT_EQ(issues.size(), 6u);
    EXPECT_EQ(issues[0], (Issue{Level::error, "ALL/Main/A", "Overload"}));
    EXPECT_EQ(issues[1],
              (Issue{Level::error, "ALL/Main/B",
                     "Front load is negative (-120.5 kg) – the array tips away from this point."}));
    EXPECT_EQ(issues[2], (Issue{Level::warning, "ALL/Main/C", std::string(possiblyIncompleteText)}));
    EXPECT_EQ(issues[3], (Issue{Level::check, "ALL/Main/A",
                                "Point loads add up to 800.5 kg but total weight is 799.4 kg."}));
    EXPECT_EQ(issues[4], (Issue{Level::check, "ALL/Main/A", "No enclosure table read for this source."}));
    EXPECT_EQ(issues[5], (Issue{Level::note, "ALL/Main/A", "Mind the gap"}));
}

TEST(Issues, LoadSumAndFlownBoundaries) {
    Source s = source("S", {loaded("Front", 400), loaded("Rear", 400.5), loaded("X", std::nullopt)}, "Flown");
    s.totalWeight = 799.5; // a difference of exactly 1
    Source zero = source("Z", {loaded("Front", 0.0), loaded("Rear", -0.0)});
    Source noLoads = source("N", {loaded("Front", std::nullopt)});
    noLoads.totalWeight = 500;
    Project p = projectOf({s, zero, noLoads});
    EXPECT_TRUE(p.issues().empty()) << testing::PrintToString(texts(p.issues()));
    // A load or total that is not finite is never printed: the points are named instead.
    Source infinite = source("Q", {loaded("Front", -HUGE_VAL), loaded("Rear", 400)});
    infinite.totalWeight = HUGE_VAL;
    EXPECT_EQ(texts(projectOf({infinite}).issues()),
              std::vector<std::string>{"Unreadable load on Front – totals that need it are left empty."});

    p.report.sources.mut(0).totalWeight = 800;
    p.report.sources.mut(0).pickups = {loaded("Front", 400), loaded("Rear", 402)};
    EXPECT_EQ(texts(p.issues()),
              std::vector<std::string>{"Point loads add up to 802 kg but total weight is 800 kg."});
    // A load that could not be read leaves the readable ones to be checked.
    p.report.sources.mut(0).pickups = {loaded("Front", 400), loaded("Rear", notANumber)};
    EXPECT_EQ(texts(p.issues()),
              (std::vector<std::string>{"Unreadable load on Rear – totals that need it are left empty.",
                                        "Point loads add up to 400 kg but total weight is 800 kg."}));
    // Loads from a damaged file whose sum no number holds: never "inf".
    p.report.sources.mut(0).pickups = {loaded("Front", 1.7e308), loaded("Rear", 1.7e308)};
    EXPECT_EQ(texts(p.issues()),
              std::vector<std::string>{"Point loads are too large to add up – total weight is 800 kg."});
}

TEST(Issues, DXFChecksOnlyWithDXFData) {
    Source found = source(
        "Found", {loaded("Front", 1, 0, true), loaded("Rear", 1, 1, false), loaded("Odd", 1, notANumber)});
    Project p = projectOf({found, source("Missing", {loaded("Front", 1, 0, false)})});
    EXPECT_TRUE(p.issues().empty());

    p.dxf.set("ALL/Main/Found", DXFInfo{}); // from before plan outlines were stored
    EXPECT_EQ(
        texts(p.issues()),
        (std::vector<std::string>{
            "Import the DXF again to get the speaker shape on the map (project from an older Rig version).",
            "Rear point differs from the DXF by more than 5 cm – is the DXF from the same version?",
            "Not found in the DXF – no drawing, coordinates from the report (cm)."}));
    EXPECT_EQ(p.issues().back().sourceID, "ALL/Main/Missing");
    // A DXF whose reader skipped parts of it is not blamed on an older version of the program.
    p.dxfIncomplete = true;
    EXPECT_EQ(texts(p.issues()),
              (std::vector<std::string>{
                  "The DXF could not be read whole – some of its arrays or points may be missing or wrong.",
                  "No speaker shape on the map – the DXF could not be read whole.",
                  "Rear point differs from the DXF by more than 5 cm – is the DXF from the same version?",
                  "Not found in the DXF – no drawing, coordinates from the report (cm)."}));
    p.dxfIncomplete = false;
    // A DXF that gave no array for any source agrees with nothing.
    p.dxf = {};
    p.dxfFile = "damaged.dxf";
    EXPECT_EQ(
        texts(p.issues()),
        std::vector<std::string>(2, "Not found in the DXF – no drawing, coordinates from the report (cm)."));
}

TEST(Issues, InventoryAgainstReport) {
    Source s = source("S");
    for (const char* type : {"KARA II", "KARA II", "KS28_C", "K2", "A10 Focus", "K1", "K1", "K1", "K1", "K1",
                             "K1", "K1", "K1", "K1"}) {
        s.enclosures.push_back(Enclosure{0, type, {}, {}, {}, {}, {}});
    }
    Project p = projectOf({s});
    EXPECT_TRUE(p.issues().empty()) << "no inventory, no inventory checks";
    // An inventory file that gave no row, or not every row, does not agree with the report.
    p.inventoryFile = "inventory.csv";
    p.inventoryIncomplete = true;
    EXPECT_EQ(texts(p.issues()),
              (std::vector<std::string>{
                  "The inventory could not be read whole – some of its rows may be missing or wrong.",
                  "A10FOCUS: 1 in the report, missing from the inventory.",
                  "K1: 9 in the report, missing from the inventory.",
                  "K2: 1 in the report, missing from the inventory.",
                  "KARAII: 2 in the report, missing from the inventory.",
                  "KS28: 1 in the report, missing from the inventory."}));
    p.inventoryIncomplete = false;

    p.inventory = {item("Enclosure", 2, "Kara II"),
                   item("Enclosure", 1, "KS28"),
                   item("Enclosure", 12, "K1"),
                   item("enclosure", 5, "K2"),
                   item("Rigging", 1, "Custom Hook", "NO PRODUCT INFORMATION available"),
                   item("Enclosure", 3, "X8"),
                   item("Enclosure", 7, "A10 Focus"),
                   item("Enclosure", 1, "A10Focus")}; // a later row replaces the model
    std::vector<Issue> issues = p.issues();
    EXPECT_EQ(texts(issues),
              (std::vector<std::string>{
                  "K1: inventory 12, report 9.", "X8: inventory 3, report 0.",
                  "K2: 1 in the report, missing from the inventory.",
                  "Custom Hook: Soundvision has no product information (custom or unknown model)."}));
    EXPECT_EQ(issues[0].sourceID, std::nullopt);
    EXPECT_EQ(issues[0].id(), "|K1: inventory 12, report 9.");
    EXPECT_EQ(issues.back().level, Level::info);
}

TEST(IssueGroups, MergeEqualLevelAndText) {
    EXPECT_TRUE(Project().groupedIssues().empty());
    Source b = source("B", {}, "flown");
    b.groups = {"Side"};
    Project p = projectOf({source("A", {}, "flown"), b});
    p.inventory = {item("Enclosure", 2, "K1")};

    std::vector<IssueGroup> groups = p.groupedIssues();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (IssueGroup{Level::warning, "K1: inventory 2, report 0.", {}}));
    EXPECT_EQ(groups[1], (IssueGroup{Level::check, "No enclosure table read for this source.", {"A", "B"}}));
    EXPECT_EQ(groups[1].id(), "2|No enclosure table read for this source.");
    EXPECT_NE(groups[1], (IssueGroup{Level::check, "No enclosure table read for this source.", {"A", "C"}}));

    // Raw levels as stored: 0 to 4 only.
    EXPECT_EQ(Issue::levelFromRaw(0), Level::info);
    EXPECT_EQ(Issue::levelFromRaw(4), Level::error);
    EXPECT_FALSE(Issue::levelFromRaw(5) || Issue::levelFromRaw(-1));
}
