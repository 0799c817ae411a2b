#include "model/Project.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rig {
namespace {

const std::string sep = " \u203A ";

Source sourceIn(std::vector<std::string> groups) {
    return Source("L1", List<std::string>(std::move(groups)));
}

TEST(GroupLabel, DropsOnlyExactALL) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"ALL", "Main", "Left"}, "Main" + sep + "Left"},
        {{}, ""},
        {{"ALL"}, ""},
        {{"ALL", "ALL"}, ""},
        {{"all", "Main"}, "all" + sep + "Main"},
        {{"Main", "ALL", "Sub"}, "Main" + sep + "Sub"},
        {{"", "Main"}, sep + "Main"},
    };
    for (const auto& [groups, label] : cases)
        EXPECT_EQ(Project::groupLabel(sourceIn(groups)), label) << label;
}

TEST(RiggingHeight, DeepestGroupPrefixThenProjectWide) {
    using Heights = std::optional<TextMap<double>>;
    const std::vector<std::string> mainLeft{"ALL", "Main", "Left"};
    struct Case {
        Heights groupHeights;
        std::optional<double> projectHeight;
        std::vector<std::string> groups;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {TextMap<double>{{"Main" + sep + "Left", 12}, {"Main", 10}}, 9, mainLeft, 12},
        {TextMap<double>{{"Main", 10}}, 9, mainLeft, 10},
        {TextMap<double>{{"Left", 7}}, 9, mainLeft, 9},
        {TextMap<double>{}, 9, mainLeft, 9},
        {std::nullopt, 9, mainLeft, 9},
        {TextMap<double>{{"Main", 10}}, std::nullopt, {"ALL", "Other"}, std::nullopt},
        // The source's own name is no key; the empty label is never looked up.
        {TextMap<double>{{"Main" + sep + "Left" + sep + "L1", 5}}, std::nullopt, mainLeft, std::nullopt},
        {TextMap<double>{{"", 3}, {"ALL", 4}}, 9, {"ALL"}, 9},
        {TextMap<double>{{"", 3}, {"ALL", 4}}, 9, {}, 9},
        // Only the exact "ALL" is dropped.
        {TextMap<double>{{"all", 6}}, 9, {"all", "Main"}, 6},
        {TextMap<double>{{"all", 6}}, 9, {"ALL", "Main"}, 9},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Project p;
        p.groupRiggingHeights = cases[i].groupHeights;
        p.riggingHeight = cases[i].projectHeight;
        EXPECT_EQ(p.riggingHeightFor(sourceIn(cases[i].groups)), cases[i].expected) << "case " << i;
    }
}

TEST(Extras, OnlyNonEmptyPointsAndSourcesAreStored) {
    Project p;
    const Motor m = fixtures::testMotor();
    p.setExtra("ALL/L1", "Front", PointExtra{m, false});
    p.setExtra("ALL/L1", "Rear", PointExtra{std::nullopt, true});
    EXPECT_EQ(p.extra("ALL/L1", "Front"), (PointExtra{m, false}));
    EXPECT_EQ(p.extra("ALL/L1", "Back"), PointExtra{});
    EXPECT_EQ(p.extra("ALL/L2", "Front"), PointExtra{});

    // A copy changes on its own.
    Project copy = p;
    copy.setExtra("ALL/L1", "Front", PointExtra{});
    EXPECT_FALSE(copy.extras.get("ALL/L1")->points.contains("Front"));
    EXPECT_EQ(p.extras.get("ALL/L1")->points.size(), 2u);

    // Removing the last point removes the source entry; clearing what is not there stores nothing.
    copy.setExtra("ALL/L1", "Rear", PointExtra{});
    copy.setExtra("ALL/L9", "Front", PointExtra{});
    EXPECT_EQ(copy, Project());

    // Empty entries read from a file count as absent and go when touched.
    SourceExtra emptyPoint;
    emptyPoint.points.set("Front", PointExtra{});
    p.extras.set("ALL/L3", emptyPoint);
    p.extras.set("ALL/L4", SourceExtra{});
    EXPECT_EQ(p.extra("ALL/L3", "Front"), PointExtra{});
    p.setExtra("ALL/L3", "Front", PointExtra{});
    EXPECT_FALSE(p.extras.contains("ALL/L3"));
    EXPECT_TRUE(p.extras.contains("ALL/L4")); // untouched
}

TEST(Hidden, NothingHiddenIsStoredAsNone) {
    Project p;
    p.setHidden({"ALL/L1"}, true);
    EXPECT_TRUE(p.isHidden("ALL/L1"));
    EXPECT_FALSE(p.isHidden("ALL/L2"));
    p.setHidden({"ALL/L2", "ALL/L1"}, false);
    EXPECT_FALSE(p.hiddenSources);

    // Showing or hiding nothing creates no set, and an empty set from a file goes when touched.
    p.setHidden({}, true);
    EXPECT_FALSE(p.hiddenSources);
    p.setHidden({"ALL/L3"}, false);
    EXPECT_FALSE(p.hiddenSources);
    p.hiddenSources = TextSet{};
    EXPECT_FALSE(p.isHidden("ALL/L1"));
    p.setHidden({}, false);
    EXPECT_FALSE(p.hiddenSources);
    p.hiddenSources = TextSet{};
    p.setHidden({"ALL/L1", "ALL/L2"}, true);
    EXPECT_EQ(p.hiddenSources, (TextSet{"ALL/L1", "ALL/L2"}));
}

TEST(Hidden, VisibleSourceIDsKeepReportOrder) {
    Project p = fixtures::projectWith(
        {fixtures::flownArray("B", {"ALL", "Main"}, 2), fixtures::groundStack("Sub", {"ALL"}),
         fixtures::flownArray("A", {"ALL", "Main"}, 2), fixtures::groundStack("Sub", {"ALL"})});
    using V = std::vector<std::string>;
    EXPECT_EQ(p.visibleSourceIDs(), (V{"ALL/Main/B", "ALL/Sub", "ALL/Main/A", "ALL/Sub"}));
    p.setHidden({"ALL/Sub", "ALL/Gone"}, true);
    EXPECT_EQ(p.visibleSourceIDs(), (V{"ALL/Main/B", "ALL/Main/A"}));
}

TEST(Fmt, Table) {
    const std::pair<double, const char*> cases[] = {
        {3, "3"},         {-12, "-12"},     {1.5, "1.5"},         {0.25, "0.25"}, {12.3456, "12.35"},
        {100.1, "100.1"}, {-0.75, "-0.75"}, {1000000, "1000000"}, {0.1, "0.1"},   {1234.5678, "1234.57"},
        {0.125, "0.12"},  {0.375, "0.38"},  {-10.5, "-10.5"},     {0.05, "0.05"}, {200.07, "200.07"},
        {0.0, "0"},       {-0.0, "0"},
    };
    for (auto [value, text] : cases) EXPECT_EQ(fmt(value), text) << value;
}

// Nearly whole values print as whole numbers, never "-0"; whole values up to the 64-bit
// range print in full, those beyond it (2^63 itself) in the bounded exponent form.
TEST(Fmt, NearlyWholeNonFiniteAndHuge) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const double tiny = std::numeric_limits<double>::denorm_min();
    const std::pair<double, const char*> cases[] = {
        {2.999, "3"},          {-2.9991, "-3"},   {0.0004, "0"},         {-0.004, "0"}, {99.999, "100"},
        {0.005000001, "0.01"}, {tiny, "0"},       {nan, "nan"},          {-nan, "nan"}, {inf, "inf"},
        {-inf, "-inf"},        {-1e20, "-1e+20"}, {1.7e308, "1.7e+308"},
    };
    for (auto [value, text] : cases) EXPECT_EQ(fmt(value), text) << value;
    EXPECT_EQ(fmt(9007199254740993.0), "9007199254740992");
    EXPECT_EQ(fmt(-9223372036854775808.0), "-9223372036854775808");
    EXPECT_EQ(fmt(9223372036854774784.0), "9223372036854774784");
    EXPECT_EQ(fmt(9223372036854775808.0), "9.223372036854776e+18");
    EXPECT_EQ(fmt(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
}

} // namespace
} // namespace rig
