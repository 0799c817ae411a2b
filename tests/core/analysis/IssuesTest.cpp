#include "analysis/Issues.h"
#include "model/Project.h"

#include <gtest/gtest.h>

#include <limits>

using namespace rig;
using Level = Issue::Level;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

Pickup pickup(const char* role, std::optional<double> load, double x = 0, bool fromDXF = false) {
    Pickup p;
    p.role = role;
    p.position = XYZ(x, 0, 8);
    p.load = load;
    p.fromDXF = fromDXF;
    return p;
}

Source source(const char* name, std::vector<Pickup> pickups = {}, const char* config = "") {
    Source s(name, {"ALL", "Main"});
    s.configuration = config;
    s.pickups = List<Pickup>(std::move(pickups));
    return s;
}

Enclosure enclosure(const char* type) {
    Enclosure e;
    e.type = type;
    return e;
}

InventoryItem item(const char* category, std::int64_t quantity, const char* product,
                   const char* description = "") {
    InventoryItem i;
    i.category = category;
    i.quantity = quantity;
    i.product = product;
    i.description = description;
    return i;
}

std::vector<std::string> texts(const std::vector<Issue>& issues) {
    std::vector<std::string> out;
    for (const auto& i : issues) out.push_back(i.text);
    return out;
}

} // namespace

TEST(Issues, EmptyProjectHasNone) {
    EXPECT_TRUE(Project().issues().empty());
    EXPECT_TRUE(Project().groupedIssues().empty());
}

TEST(Issues, SourceChecksSortedByLevelStably) {
    Project p;
    Source a = source("A", {pickup("Front", 400), pickup("Rear", 400.5)}, "flown");
    a.totalWeight = 799.4;
    a.warnings = {{ReportWarning::Level::caution, "Mind the gap"}, {ReportWarning::Level::error, "Overload"}};
    Source b = source("B", {pickup("Front", -120.5), pickup("Rear", std::nullopt)});
    p.report.sources = {a, b};

    std::vector<Issue> issues = p.issues();
    ASSERT_EQ(issues.size(), 5u);
    EXPECT_EQ(issues[0], (Issue{Level::error, "ALL/Main/A", "Overload"}));
    EXPECT_EQ(issues[1],
              (Issue{Level::error, "ALL/Main/B",
                     "Front load is negative (-120.5 kg) – the array tips away from this point."}));
    EXPECT_EQ(issues[2].text, "Point loads add up to 800.5 kg but total weight is 799.4 kg.");
    EXPECT_EQ(issues[2].level, Level::check);
    EXPECT_EQ(issues[3].text, "No enclosure table read for this source.");
    EXPECT_EQ(issues[4], (Issue{Level::note, "ALL/Main/A", "Mind the gap"}));
}

TEST(Issues, LoadSumAndFlownBoundaries) {
    Project p;
    Source s = source("S", {pickup("Front", 400), pickup("Rear", 400.5), pickup("X", std::nullopt)}, "Flown");
    s.totalWeight = 799.5; // a difference of exactly 1
    Source zero = source("Z", {pickup("Front", 0.0), pickup("Rear", -0.0)});
    Source noLoads = source("N", {pickup("Front", std::nullopt)});
    noLoads.totalWeight = 500;
    Source nanLoad = source("Q", {pickup("Front", kNaN)});
    nanLoad.totalWeight = 500;
    p.report.sources = {s, zero, noLoads, nanLoad};
    EXPECT_TRUE(p.issues().empty()) << testing::PrintToString(texts(p.issues()));

    p.report.sources.mut(0).totalWeight = 800;
    p.report.sources.mut(0).pickups = {pickup("Front", 400), pickup("Rear", 402)};
    EXPECT_EQ(texts(p.issues()),
              std::vector<std::string>{"Point loads add up to 802 kg but total weight is 800 kg."});
}

TEST(Issues, DXFChecksOnlyWithDXFData) {
    Project p;
    Source found =
        source("Found", {pickup("Front", 1, 0, true), pickup("Rear", 1, 1, false), pickup("Odd", 1, kNaN)});
    Source missing = source("Missing", {pickup("Front", 1, 0, false)});
    p.report.sources = {found, missing};
    EXPECT_TRUE(p.issues().empty());

    DXFInfo old; // from before plan outlines were stored
    p.dxf.set("ALL/Main/Found", old);
    EXPECT_EQ(
        texts(p.issues()),
        (std::vector<std::string>{
            "Import the DXF again to get the speaker shape on the map (project from an older Rig version).",
            "Rear point differs from the DXF by more than 5 cm – is the DXF from the same version?",
            "Not found in the DXF – no drawing, coordinates from the report (cm)."}));
    EXPECT_EQ(p.issues().back().sourceID, "ALL/Main/Missing");
}

TEST(Issues, InventoryAgainstReport) {
    Project p;
    Source s = source("S");
    s.enclosures = {enclosure("KARA II"), enclosure("KARA II"), enclosure("KS28_C"), enclosure("K2")};
    for (int i = 0; i < 9; ++i) s.enclosures.push_back(enclosure("K1"));
    p.report.sources = {s};
    EXPECT_TRUE(p.issues().empty()) << "no inventory, no inventory checks";

    p.inventory = {item("Enclosure", 2, "Kara II"),
                   item("Enclosure", 1, "KS28"),
                   item("Enclosure", 12, "K1"),
                   item("enclosure", 5, "K2"),
                   item("Rigging", 1, "Custom Hook", "NO PRODUCT INFORMATION available"),
                   item("Enclosure", 3, "X8", "")};
    std::vector<Issue> issues = p.issues();
    EXPECT_EQ(texts(issues),
              (std::vector<std::string>{
                  "K1: inventory 12, report 9.",
                  "X8: inventory 3, report 0.",
                  "K2: 1 in the report, missing from the inventory.",
                  "Custom Hook: Soundvision has no product information (custom or unknown model).",
              }));
    EXPECT_EQ(issues[0].sourceID, std::nullopt);
    EXPECT_EQ(issues[0].id(), "|K1: inventory 12, report 9.");
    EXPECT_EQ(issues.back().level, Level::info);
}

TEST(Issues, LaterInventoryRowReplacesTheModel) {
    Project p;
    Source s = source("S");
    s.enclosures = {enclosure("A10 Focus")};
    p.report.sources = {s};
    p.inventory = {item("Enclosure", 7, "A10 Focus"), item("Enclosure", 1, "A10Focus")};
    EXPECT_TRUE(p.issues().empty());
}

TEST(IssueGroups, MergeEqualLevelAndText) {
    Project p;
    Source a = source("A", {}, "flown");
    Source b = source("B", {}, "flown");
    b.groups = {"Side"};
    p.report.sources = {a, b};
    p.inventory = {item("Enclosure", 2, "K1")};

    std::vector<IssueGroup> groups = p.groupedIssues();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (IssueGroup{Level::warning, "K1: inventory 2, report 0.", {}}));
    EXPECT_EQ(groups[1], (IssueGroup{Level::check, "No enclosure table read for this source.", {"A", "B"}}));
    EXPECT_EQ(groups[1].id(), "2|No enclosure table read for this source.");
}

TEST(IssueLevel, RawValues) {
    EXPECT_EQ(Issue::levelFromRaw(0), Level::info);
    EXPECT_EQ(Issue::levelFromRaw(4), Level::error);
    EXPECT_EQ(Issue::levelFromRaw(5), std::nullopt);
    EXPECT_EQ(Issue::levelFromRaw(-1), std::nullopt);
    EXPECT_LT(Level::check, Level::warning);
}
