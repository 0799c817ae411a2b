#include "model/Project.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rig {
namespace {

const std::string sep = " \u203A ";

Source sourceIn(std::vector<std::string> groups, std::string name = "L1") {
    return Source(std::move(name), List<std::string>(std::move(groups)));
}

TEST(GroupLabel, DropsOnlyExactALL) {
    EXPECT_EQ(Project::groupLabel(sourceIn({"ALL", "Main", "Left"})), "Main" + sep + "Left");
    EXPECT_EQ(sourceIn({"ALL", "Main", "Left"}).id(), "ALL/Main/Left/L1");
    EXPECT_EQ(Project::groupLabel(sourceIn({})), "");
    EXPECT_EQ(Project::groupLabel(sourceIn({"ALL"})), "");
    EXPECT_EQ(Project::groupLabel(sourceIn({"ALL", "ALL"})), "");
    EXPECT_EQ(Project::groupLabel(sourceIn({"all", "Main"})), "all" + sep + "Main");
    EXPECT_EQ(Project::groupLabel(sourceIn({"Main", "ALL", "Sub"})), "Main" + sep + "Sub");
    EXPECT_EQ(Project::groupLabel(sourceIn({"", "Main"})), sep + "Main");
}

TEST(RiggingHeight, DeepestGroupPrefixThenProjectWide) {
    const Source s = sourceIn({"ALL", "Main", "Left"});
    Project p;
    p.riggingHeight = 9;
    p.groupRiggingHeights = TextMap<double>{{"Main" + sep + "Left", 12}, {"Main", 10}};
    EXPECT_EQ(p.riggingHeightFor(s), 12);

    p.groupRiggingHeights = TextMap<double>{{"Main", 10}};
    EXPECT_EQ(p.riggingHeightFor(s), 10);

    p.groupRiggingHeights = TextMap<double>{{"Left", 7}};
    EXPECT_EQ(p.riggingHeightFor(s), 9);

    p.groupRiggingHeights = TextMap<double>{};
    EXPECT_EQ(p.riggingHeightFor(s), 9);
    p.groupRiggingHeights.reset();
    EXPECT_EQ(p.riggingHeightFor(s), 9);

    p.riggingHeight.reset();
    EXPECT_EQ(p.riggingHeightFor(s), std::nullopt);

    // The source's own name is no key.
    p.groupRiggingHeights = TextMap<double>{{"Main" + sep + "Left" + sep + "L1", 5}};
    EXPECT_EQ(p.riggingHeightFor(s), std::nullopt);
}

TEST(RiggingHeight, EmptyLabelIsNeverLookedUp) {
    Project p;
    p.riggingHeight = 9;
    p.groupRiggingHeights = TextMap<double>{{"", 3}, {"ALL", 4}};
    EXPECT_EQ(p.riggingHeightFor(sourceIn({"ALL"})), 9);
    EXPECT_EQ(p.riggingHeightFor(sourceIn({})), 9);
}

TEST(RiggingHeight, LowerCaseAllIsAGroup) {
    Project p;
    p.riggingHeight = 9;
    p.groupRiggingHeights = TextMap<double>{{"all", 6}};
    EXPECT_EQ(p.riggingHeightFor(sourceIn({"all", "Main"})), 6);
    EXPECT_EQ(p.riggingHeightFor(sourceIn({"ALL", "Main"})), 9);
}

TEST(Extras, SetAndReadPoints) {
    Project p;
    const Motor m = fixtures::testMotor();
    EXPECT_EQ(p.extra("ALL/L1", "Front"), PointExtra{});

    p.setExtra("ALL/L1", "Front", PointExtra{m, false});
    ASSERT_EQ(p.extras.size(), 1u);
    EXPECT_EQ(p.extras.get("ALL/L1")->points.size(), 1u);
    EXPECT_EQ(p.extra("ALL/L1", "Front"), (PointExtra{m, false}));
    EXPECT_EQ(p.extra("ALL/L1", "Rear"), PointExtra{});
    EXPECT_EQ(p.extra("ALL/L2", "Front"), PointExtra{});

    p.setExtra("ALL/L1", "Rear", PointExtra{std::nullopt, true});
    p.setExtra("ALL/L1", "Front", PointExtra{});
    EXPECT_EQ(p.extras.get("ALL/L1")->points.size(), 1u);
    EXPECT_FALSE(p.extras.get("ALL/L1")->points.contains("Front"));

    // Removing the last point removes the source entry.
    p.setExtra("ALL/L1", "Rear", PointExtra{});
    EXPECT_TRUE(p.extras.empty());
    EXPECT_EQ(p.extra("ALL/L1", "Rear"), PointExtra{});
    EXPECT_EQ(p, Project());

    // Clearing what is not there stores nothing.
    p.setExtra("ALL/L9", "Front", PointExtra{});
    EXPECT_TRUE(p.extras.empty());
}

TEST(Extras, EmptyEntriesFromAFileReadAsAbsentAndAreCleanedWhenTouched) {
    Project p;
    SourceExtra emptyPoint;
    emptyPoint.points.set("Front", PointExtra{});
    p.extras.set("ALL/L1", emptyPoint);
    p.extras.set("ALL/L2", SourceExtra{});
    EXPECT_EQ(p.extra("ALL/L1", "Front"), PointExtra{});
    EXPECT_EQ(p.extra("ALL/L2", "Front"), PointExtra{});

    p.setExtra("ALL/L1", "Front", PointExtra{});
    EXPECT_FALSE(p.extras.contains("ALL/L1"));
    EXPECT_TRUE(p.extras.contains("ALL/L2")); // untouched
}

TEST(Extras, CopiesAreIndependent) {
    Project a;
    a.setExtra("ALL/L1", "Front", PointExtra{std::nullopt, true});
    Project b = a;
    b.setExtra("ALL/L1", "Rear", PointExtra{std::nullopt, true});
    EXPECT_EQ(a.extras.get("ALL/L1")->points.size(), 1u);
    EXPECT_EQ(b.extras.get("ALL/L1")->points.size(), 2u);
}

TEST(Hidden, SetHiddenKeepsNoneForNothingHidden) {
    Project p;
    EXPECT_FALSE(p.isHidden("ALL/L1"));
    p.setHidden({"ALL/L1"}, true);
    ASSERT_TRUE(p.hiddenSources);
    EXPECT_EQ(p.hiddenSources->size(), 1u);
    EXPECT_TRUE(p.isHidden("ALL/L1"));
    EXPECT_FALSE(p.isHidden("ALL/L2"));

    p.setHidden({"ALL/L2", "ALL/L1"}, false);
    EXPECT_FALSE(p.hiddenSources);

    // Showing or hiding nothing does not create a set.
    p.setHidden({}, true);
    EXPECT_FALSE(p.hiddenSources);
    p.setHidden({"ALL/L3"}, false);
    EXPECT_FALSE(p.hiddenSources);
}

TEST(Hidden, EmptySetFromAFileBecomesNoneWhenTouched) {
    Project p;
    p.hiddenSources = TextSet{};
    EXPECT_FALSE(p.isHidden("ALL/L1"));
    p.setHidden({}, false);
    EXPECT_FALSE(p.hiddenSources);

    p.hiddenSources = TextSet{};
    p.setHidden({"ALL/L1", "ALL/L2"}, true);
    EXPECT_EQ(p.hiddenSources->size(), 2u);
}

TEST(Hidden, VisibleSourceIDsKeepReportOrder) {
    Project p = fixtures::projectWith(
        {fixtures::flownArray("B", {"ALL", "Main"}, 2), fixtures::groundStack("Sub", {"ALL"}),
         fixtures::flownArray("A", {"ALL", "Main"}, 2), fixtures::groundStack("Sub", {"ALL"})});
    using V = std::vector<std::string>;
    EXPECT_EQ(p.visibleSourceIDs(), (V{"ALL/Main/B", "ALL/Sub", "ALL/Main/A", "ALL/Sub"}));
    p.hiddenSources = TextSet{};
    EXPECT_EQ(p.visibleSourceIDs().size(), 4u);
    p.setHidden({"ALL/Sub", "ALL/Gone"}, true);
    EXPECT_EQ(p.visibleSourceIDs(), (V{"ALL/Main/B", "ALL/Main/A"}));
}

TEST(ProjectIsEmpty, OnlyReportSourcesCount) {
    Project p = fixtures::fullProject();
    EXPECT_FALSE(p.isEmpty());
    p.report.sources.clear();
    EXPECT_FALSE(p.inventory.empty());
    EXPECT_FALSE(p.dxf.empty());
    EXPECT_TRUE(p.isEmpty());
    EXPECT_TRUE(Project().isEmpty());
}

TEST(Fmt, Table) {
    const std::pair<double, const char*> cases[] = {
        {3, "3"},         {-12, "-12"},           {1.5, "1.5"},         {0.25, "0.25"},  {12.3456, "12.35"},
        {100.1, "100.1"}, {-0.75, "-0.75"},       {1000000, "1000000"}, {-2, "-2"},      {2.5, "2.5"},
        {0.1, "0.1"},     {1234.5678, "1234.57"}, {0.125, "0.12"},      {0.375, "0.38"}, {0.0, "0"},
        {-0.0, "0"},      {10.1, "10.1"},         {-10.5, "-10.5"},     {0.05, "0.05"},  {200.07, "200.07"},
    };
    for (auto [value, text] : cases) EXPECT_EQ(fmt(value), text) << value;
}

TEST(Fmt, NearlyWholeValuesPrintAsWholeNumbers) {
    EXPECT_EQ(fmt(2.999), "3");
    EXPECT_EQ(fmt(2.9991), "3");
    EXPECT_EQ(fmt(-2.9991), "-3");
    EXPECT_EQ(fmt(0.0004), "0");
    EXPECT_EQ(fmt(-0.0004), "0");
    EXPECT_EQ(fmt(-0.004), "0");
    EXPECT_EQ(fmt(99.999), "100");
    EXPECT_EQ(fmt(0.005000001), "0.01");
}

TEST(Fmt, NonFiniteAndHugeValues) {
    EXPECT_EQ(fmt(std::nan("")), "nan");
    EXPECT_EQ(fmt(-std::nan("")), "nan");
    EXPECT_EQ(fmt(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(fmt(-std::numeric_limits<double>::infinity()), "-inf");

    EXPECT_EQ(fmt(9007199254740993.0), "9007199254740992");
    EXPECT_EQ(fmt(-9223372036854775808.0), "-9223372036854775808");
    EXPECT_EQ(fmt(9223372036854774784.0), "9223372036854774784"); // largest double below 2^63
    EXPECT_EQ(fmt(9223372036854775808.0), "9223372036854775808"); // 2^63
    EXPECT_EQ(fmt(-1e20), "-100000000000000000000");
    EXPECT_EQ(fmt(1e300).size(), 301u);
    EXPECT_EQ(fmt(std::numeric_limits<double>::max()).back(), '8');
    EXPECT_EQ(fmt(std::numeric_limits<double>::denorm_min()), "0");
}

} // namespace
} // namespace rig
