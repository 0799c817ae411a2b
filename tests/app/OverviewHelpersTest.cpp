// The overview's pure helpers where the rules have edges: ordering, overflow, absent values,
// hooks, links that are no web links and server times that are no dates.
#include "pages/ExistingLinksSheet.h"
#include "pages/InventoryBlock.h"
#include "pages/OverviewTexts.h"
#include "pages/RiggingHeightFields.h"
#include "pages/WebLinks.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

using fixtures::notANumber;
using fixtures::testMotor;
using fixtures::testPickup;
using fixtures::testSource;

TEST(OverviewHelpers, NotesCountEachSource) {
    using L = Issue::Level;
    const std::vector<IssueGroup> notes{IssueGroup{L::note, "x", {"A", "B", "C"}},
                                        IssueGroup{L::info, "y", {}}};
    EXPECT_EQ(overview::notesTitle(notes), QStringLiteral("Notes (4)"));
    const overview::CheckSplit split = overview::splitChecks(
        {IssueGroup{L::note, "n", {}}, IssueGroup{L::check, "c", {}}, IssueGroup{L::error, "e", {}}});
    EXPECT_EQ(split.warnings.size(), 2u);
    EXPECT_EQ(split.notes.size(), 1u);
}

TEST(OverviewHelpers, BulkMotorWritesEachPointOnce) {
    const Motor chosen = testMotor("D8+ 1000 kg", 58, 4);
    Source main = testSource("Main", {"ALL", "Main"}, {testPickup("Mid", {0, -0.5, 12})});
    Source twin = main; // same id: the same point
    Project p = fixtures::projectOf({main, twin, testSource("Subs", {"ALL"})});
    const std::vector<overview::PointAssignment> expected{{main.id(), "Mid", PointExtra{chosen, false}}};
    EXPECT_EQ(overview::bulkMotorAssignments(p, chosen), expected);
}

InventoryItem item(std::string category, std::int64_t quantity, std::string product) {
    return InventoryItem{std::move(category), quantity, "", std::move(product), "", std::nullopt};
}

TEST(OverviewHelpers, InventoryBlocks) {
    using Items = std::vector<std::pair<QString, std::int64_t>>;
    struct Case {
        const char* name;
        std::vector<InventoryItem> inventory;
        std::vector<std::pair<QString, Items>> blocks; // title, items
    };
    const std::vector<Case> cases{
        {"code-point order, not the locale's",
         {item("Rigging", 1, "\u00c9crou"), item("Rigging", 1, "b"), item("Rigging", 1, "Eye")},
         {{QStringLiteral("Rigging"), {{"Eye", 1}, {"b", 1}, {"\u00c9crou", 1}}}}},
        {"equal rows keep their order",
         {item("Enclosure", 1, "K2"), item("Enclosure", 1, "K2")},
         {{QStringLiteral("Enclosures"), {{"K2", 1}, {"K2", 1}}}}},
        {"table order, other and differently written categories left out",
         {item("Amplified controller", 6, "LA12X"), item("Cable", 30, "DO"), item("enclosure", 3, "K2"),
          item("Enclosure", 2, "K1"), item("Rigging", 1, "K2-BUMP")},
         {{QStringLiteral("Enclosures"), {{"K1", 2}}},
          {QStringLiteral("Rigging"), {{"K2-BUMP", 1}}},
          {QStringLiteral("Amplifiers"), {{"LA12X", 6}}}}},
    };
    for (const Case& c : cases) {
        List<InventoryItem> inventory;
        for (const auto& i : c.inventory) inventory.push_back(i);
        const auto blocks = overview::inventoryBlocks(inventory);
        ASSERT_EQ(blocks.size(), c.blocks.size()) << c.name;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i].title, c.blocks[i].first) << c.name;
            EXPECT_EQ(blocks[i].items, c.blocks[i].second) << c.name;
        }
    }
    const auto max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(InventoryBlock::total({{"a", max}, {"b", 1}}), max);
    EXPECT_EQ(InventoryBlock::total({{"a", -max}, {"b", -5}}), std::numeric_limits<std::int64_t>::min());
}

TEST(OverviewHelpers, RiggingGroupsAndHooks) {
    const Pickup placed = testPickup("Front", {1, 0, 12});
    const Pickup unplaced = testPickup("Front", {notANumber, 0, 12});
    EXPECT_EQ(
        riggingGroupLabels(fixtures::projectOf(
            {testSource("O", {"ALL", "Out", "Left"}, {placed}), testSource("L", {"ALL", "Main"}, {placed}),
             testSource("O2", {"Out", "ALL", "Left"}, {placed}), testSource("U", {"Up"}, {unplaced}),
             testSource("A", {"ALL"}, {placed})})),
        (std::vector<std::string>{"Out \u203a Left", "Main"}));

    Project p;
    p.riggingHeight = 18.257;
    EXPECT_EQ(groupHeightPrompt(p), QStringLiteral("same (18.26)"));
    setGroupHeight(p, "Main", 16.5);
    EXPECT_EQ(groupHeight(p, "Main \u203a Left"), std::nullopt); // not through the prefix
    setGroupHeight(p, "Main", std::nullopt);
    EXPECT_FALSE(p.groupRiggingHeights.has_value()); // absent, not an empty map

    struct Case {
        const char* name;
        std::optional<double> all;
        std::optional<double> group;
        std::vector<double> hooks;
        bool listed;
    };
    const std::vector<Case> cases{
        {"exactly at the height", 18.0, std::nullopt, {18.0, 17.0}, false},
        {"one millimetre above", 18.0, std::nullopt, {17.0, 18.001}, true},
        {"no rigging height", std::nullopt, std::nullopt, {99.0}, false},
        {"group height wins", 10.0, 20.0, {19.5}, false},
        {"group height below the hook", 30.0, 10.0, {12.0}, true},
        {"non-finite hooks ignored",
         10.0,
         std::nullopt,
         {notANumber, std::numeric_limits<double>::infinity()},
         false},
    };
    for (const Case& c : cases) {
        std::vector<Pickup> pickups;
        for (double z : c.hooks) pickups.push_back(testPickup("P", {notANumber, 0, z}));
        Project q = fixtures::projectOf({testSource("Main L", {"ALL", "Main"}, pickups)});
        q.riggingHeight = c.all;
        if (c.group) setGroupHeight(q, "Main", c.group);
        EXPECT_EQ(hooksAboveRigging(q).size(), c.listed ? 1u : 0u) << c.name;
    }
}

TEST(OverviewHelpers, OnlyWebLinksOpen) {
    for (const char* text :
         {"https://rig.example.com/c/abc", "http://127.0.0.1:8080/c/abc", "HTTPS://rig.example.com/c"})
        EXPECT_TRUE(webLinkUrl(QString::fromUtf8(text)).has_value()) << text;
    for (const char* text :
         {"file:///etc/passwd", "javascript:alert(1)", "smb://server/share", "rig.example.com/c/abc",
          "/c/abc", "https://", "https://rig.example.com/c/abc\n", ""})
        EXPECT_FALSE(webLinkUrl(QString::fromUtf8(text)).has_value()) << text;
}

TEST(OverviewHelpers, ServerTimesThatAreNoDates) {
    for (double t : {1e300, -1e300, 253402300800000.0, -62135596800001.0,
                     std::numeric_limits<double>::infinity(), notANumber}) {
        EXPECT_EQ(linkUpdateTime(t), std::nullopt) << t;
        EXPECT_EQ(linkDateText(t), QStringLiteral("?")) << t;
    }
    EXPECT_TRUE(linkUpdateTime(253402300799999.0).has_value());
    EXPECT_EQ(linkUpdateTime(1741944413999.0), fixtures::testDate());
    EXPECT_EQ(linkUpdateTime(-1.0), Date(std::chrono::seconds(-1)));

    ServerLink link{"tok", "https://x.example/c/tok", "", "Show.pdf", 1, 0, 1e300};
    const auto refused = attachedShare(link, 2);
    ASSERT_TRUE(std::holds_alternative<QString>(refused));
    EXPECT_EQ(
        std::get<QString>(refused),
        QStringLiteral("The server\u2019s answer could not be read: Expected a time between the years 1 and "
                       "9999 at \"links[2].updatedAt\"."));
}

} // namespace
} // namespace rig::app
