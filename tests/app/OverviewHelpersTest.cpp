// The overview's pure helpers: file lines, checks, bulk motors, inventory, rigging heights,
// crew link and links sheet texts.
#include "pages/ExistingLinksSheet.h"
#include "pages/InventoryBlock.h"
#include "pages/OverviewTexts.h"
#include "pages/RiggingHeightFields.h"
#include "pages/ShareRow.h"
#include "pages/WebLinks.h"
#include "shell/QtText.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <QUrlQuery>

#include <limits>

namespace rig::app {
namespace {

using fixtures::notANumber;
using fixtures::testMotor;
using fixtures::testPickup;
using fixtures::testSource;

// --- File lines ------------------------------------------------------------------------------

TEST(OverviewHelpers, FileLines) {
    const QString dash = QStringLiteral("\u2013");
    struct Case {
        std::string name;
        std::optional<QString> detail;
        std::optional<QString> date;
        overview::FileLine expected;
    };
    const std::vector<Case> cases{
        {"", QStringLiteral("Soundvision 3.7 · 4 sources"), QStringLiteral("14 Mar 2025"), {dash, true, {}}},
        {"", std::nullopt, std::nullopt, {dash, true, {}}},
        {"show.pdf",
         QStringLiteral("Soundvision 3.7 · 4 sources"),
         QStringLiteral("14 Mar 2025, 10:26"),
         {"show.pdf", false, QStringLiteral("Soundvision 3.7 · 4 sources · 14 Mar 2025, 10:26")}},
        {"show.pdf",
         QStringLiteral("Soundvision 3.7 · 4 sources"),
         std::nullopt,
         {"show.pdf", false, QStringLiteral("Soundvision 3.7 · 4 sources")}},
        {"show.dxf", std::nullopt, QStringLiteral("14 Mar 2025"), {"show.dxf", false, {}}},
        {"<b>x</b>.csv",
         QStringLiteral("1 lines"),
         std::nullopt,
         {"<b>x</b>.csv", false, QStringLiteral("1 lines")}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(overview::fileLine(c.name, c.detail, c.date), c.expected) << c.name;
    }
}

TEST(OverviewHelpers, FileDetails) {
    Project empty;
    EXPECT_EQ(overview::reportDetail(empty), QStringLiteral("Soundvision  · 0 sources"));
    EXPECT_EQ(overview::inventoryDetail(empty), std::nullopt);
    EXPECT_EQ(overview::dxfDetail(empty), std::nullopt);

    Project one = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4)});
    EXPECT_EQ(overview::reportDetail(one), QStringLiteral("Soundvision 3.7.1 · 1 sources"));
    one.inventory.push_back(InventoryItem{"Enclosure", 12, "K", "K2", "", std::nullopt});
    EXPECT_EQ(overview::inventoryDetail(one), QStringLiteral("1 lines"));
    one.dxf.set("ALL/Main/Main L", DXFInfo{});
    EXPECT_EQ(overview::dxfDetail(one), QStringLiteral("1 arrays drawn, exact point coordinates"));

    EXPECT_EQ(overview::motorsHeader(DeltaSpec{}), QStringLiteral("Motors & K1-DELTA"));
    DeltaSpec unnamed;
    unnamed.name.clear();
    EXPECT_EQ(overview::motorsHeader(unnamed), QStringLiteral("Motors & "));
}

// --- Checks ----------------------------------------------------------------------------------

IssueGroup group(Issue::Level level, std::string text, std::vector<std::string> sources = {}) {
    return IssueGroup{level, std::move(text), std::move(sources)};
}

TEST(OverviewHelpers, ChecksSplitAndNotesCount) {
    using L = Issue::Level;
    const std::vector<IssueGroup> groups{group(L::error, "e"), group(L::note, "n1", {"A", "B", "C"}),
                                         group(L::check, "c"), group(L::info, "i"),
                                         group(L::warning, "w", {"A"})};
    const overview::CheckSplit split = overview::splitChecks(groups);
    ASSERT_EQ(split.warnings.size(), 3u);
    EXPECT_EQ(split.warnings[0].text, "e");
    EXPECT_EQ(split.warnings[1].text, "c");
    EXPECT_EQ(split.warnings[2].text, "w");
    ASSERT_EQ(split.notes.size(), 2u);
    EXPECT_EQ(split.notes[0].text, "n1");

    struct Case {
        std::vector<IssueGroup> notes;
        std::int64_t count;
        QString title;
    };
    const std::vector<Case> cases{
        {{}, 0, QStringLiteral("Notes (0)")},
        {{group(L::note, "x")}, 1, QStringLiteral("Notes (1)")},
        {{group(L::note, "x", {"A", "B", "C"}), group(L::info, "y")}, 4, QStringLiteral("Notes (4)")},
        {{group(L::info, "x", {"A"}), group(L::info, "y", {"A", "B"})}, 3, QStringLiteral("Notes (3)")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(overview::notesCount(c.notes), c.count);
        EXPECT_EQ(overview::notesTitle(c.notes), c.title);
    }

    EXPECT_EQ(overview::levelSymbol(L::error), QStringLiteral("exclamationmark.octagon.fill"));
    EXPECT_EQ(overview::levelSymbol(L::warning), QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(overview::levelSymbol(L::check), QStringLiteral("exclamationmark.circle"));
    EXPECT_EQ(overview::levelSymbol(L::note), QStringLiteral("info.circle"));
    EXPECT_EQ(overview::levelTone(L::check), style::Tone::yellow);
    EXPECT_EQ(overview::levelTone(L::info), style::Tone::secondary);
}

// --- Bulk motors ------------------------------------------------------------------------------

TEST(OverviewHelpers, BulkMotorAssignments) {
    const Motor a = testMotor("CM Lodestar 1t", 62, 3);
    const Motor chosen = testMotor("D8+ 1000 kg", 58, 4);
    Source main = testSource(
        "Main", {"ALL", "Main"},
        {testPickup("Front", {0, 0, 12}), testPickup("Rear", {0, -1, 12}), testPickup("Mid", {0, -0.5, 12})});
    Source hidden = testSource("Out", {"ALL", "Out"}, {testPickup("Front", {5, 0, 9})});
    Source twin = testSource("Main", {"ALL", "Main"}, {testPickup("Mid", {0, -0.5, 12})});
    Source stack = testSource("Subs", {"ALL"});
    Project p = fixtures::projectOf({main, hidden, twin, stack});
    p.setExtra(main.id(), "Front", PointExtra{a, false});
    p.setExtra(main.id(), "Rear", PointExtra{std::nullopt, true});
    p.setHidden({hidden.id()}, true);

    const std::vector<overview::PointAssignment> expected{
        {main.id(), "Rear", PointExtra{chosen, true}},
        {main.id(), "Mid", PointExtra{chosen, false}},
        {hidden.id(), "Front", PointExtra{chosen, false}},
    };
    EXPECT_EQ(overview::bulkMotorAssignments(p, chosen), expected);

    // Everything has a motor: nothing to write.
    for (const auto& x : expected) p.setExtra(x.sourceID, x.role, x.extra);
    EXPECT_TRUE(overview::bulkMotorAssignments(p, a).empty());
    EXPECT_TRUE(overview::bulkMotorAssignments(Project(), a).empty());

    EXPECT_EQ(overview::motorItem(testMotor("D8+", 58.5, 1)), QStringLiteral("D8+ \u2013 58.5 kg"));
}

TEST(OverviewHelpers, AuthorAsTyped) {
    EXPECT_EQ(overview::authorFromText(QString()), std::nullopt);
    EXPECT_EQ(overview::authorFromText(QStringLiteral("")), std::nullopt);
    EXPECT_EQ(overview::authorFromText(QStringLiteral(" Sam Reyes ")),
              std::optional<std::string>(" Sam Reyes "));
    EXPECT_EQ(overview::authorFromText(QStringLiteral(" ")), std::optional<std::string>(" "));
}

// --- Inventory ---------------------------------------------------------------------------------

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
        {"larger quantity first",
         {item("Enclosure", 4, "KS28"), item("Enclosure", 24, "K2")},
         {{QStringLiteral("Enclosures"), {{"K2", 24}, {"KS28", 4}}}}},
        {"capitals before small letters",
         {item("Rigging", 2, "b"), item("Rigging", 2, "A"), item("Rigging", 2, "B")},
         {{QStringLiteral("Rigging"), {{"A", 2}, {"B", 2}, {"b", 2}}}}},
        {"code-point order, not the locale's",
         {item("Rigging", 1, "\u00c9crou"), item("Rigging", 1, "Zeta"), item("Rigging", 1, "Eye")},
         {{QStringLiteral("Rigging"), {{"Eye", 1}, {"Zeta", 1}, {"\u00c9crou", 1}}}}},
        {"equal rows keep their order",
         {item("Enclosure", 1, "K2"), item("Enclosure", 1, "K2")},
         {{QStringLiteral("Enclosures"), {{"K2", 1}, {"K2", 1}}}}},
        {"table order, other and differently written categories left out",
         {item("Amplified controller", 6, "LA12X"), item("Cable", 30, "DO"), item("enclosure", 3, "K2"),
          item("Enclosure", 2, "K1"), item("Rigging", 1, "K2-BUMP")},
         {{QStringLiteral("Enclosures"), {{"K1", 2}}},
          {QStringLiteral("Rigging"), {{"K2-BUMP", 1}}},
          {QStringLiteral("Amplifiers"), {{"LA12X", 6}}}}},
        {"only other categories", {item("Cable", 30, "DO")}, {}},
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
}

TEST(OverviewHelpers, InventoryTotalNeverOverflows) {
    const auto max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(InventoryBlock::total({}), 0);
    EXPECT_EQ(InventoryBlock::total({{"a", 3}, {"b", 4}}), 7);
    EXPECT_EQ(InventoryBlock::total({{"a", max}, {"b", 1}}), max);
    EXPECT_EQ(InventoryBlock::total({{"a", -max}, {"b", -5}}), std::numeric_limits<std::int64_t>::min());
}

// --- Rigging heights --------------------------------------------------------------------------

TEST(OverviewHelpers, GroupRows) {
    const Pickup placed = testPickup("Front", {1, 0, 12});
    const Pickup unplaced = testPickup("Front", {notANumber, 0, 12});
    struct Case {
        const char* name;
        std::vector<Source> sources;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases{
        {"no report", {}, {}},
        {"two sources, one label",
         {testSource("L", {"ALL", "Main"}, {placed}), testSource("R", {"ALL", "Main"}, {placed})},
         {"Main"}},
        {"order of first appearance, nested labels",
         {testSource("O", {"ALL", "Out", "Left"}, {placed}), testSource("L", {"ALL", "Main"}, {placed}),
          testSource("O2", {"Out", "ALL", "Left"}, {placed})},
         {"Out \u203a Left", "Main"}},
        {"no pickup with a finite x",
         {testSource("L", {"ALL", "Main"}, {unplaced}), testSource("S", {"Subs"})},
         {}},
        {"only ALL", {testSource("L", {"ALL"}, {placed}), testSource("M", {}, {placed})}, {}},
        {"a prefix only when it is a source's own label",
         {testSource("A", {"Main", "Left"}, {placed}), testSource("B", {"Main"}, {unplaced, placed})},
         {"Main \u203a Left", "Main"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(riggingGroupLabels(fixtures::projectOf(c.sources)), c.labels) << c.name;
    }
}

TEST(OverviewHelpers, GroupPromptsAndValues) {
    Project p;
    EXPECT_EQ(groupHeightPrompt(p), QStringLiteral("same"));
    p.riggingHeight = 18.0;
    EXPECT_EQ(groupHeightPrompt(p), QStringLiteral("same (18)"));
    p.riggingHeight = 18.5;
    EXPECT_EQ(groupHeightPrompt(p), QStringLiteral("same (18.5)"));
    p.riggingHeight = 18.257;
    EXPECT_EQ(groupHeightPrompt(p), QStringLiteral("same (18.26)"));

    EXPECT_EQ(groupHeight(p, "Main"), std::nullopt);
    setGroupHeight(p, "Main", 16.5);
    setGroupHeight(p, "Out", 12.0);
    EXPECT_EQ(groupHeight(p, "Main"), 16.5);
    EXPECT_EQ(groupHeight(p, "Main \u203a Left"), std::nullopt); // not through the prefix
    setGroupHeight(p, "Main", std::nullopt);
    ASSERT_TRUE(p.groupRiggingHeights.has_value());
    EXPECT_EQ(p.groupRiggingHeights->size(), 1u);
    setGroupHeight(p, "Out", std::nullopt);
    EXPECT_FALSE(p.groupRiggingHeights.has_value()); // absent, not an empty map
    setGroupHeight(p, "Nowhere", std::nullopt);
    EXPECT_FALSE(p.groupRiggingHeights.has_value());
}

TEST(OverviewHelpers, HooksAboveRigging) {
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
        Project p = fixtures::projectOf({testSource("Main L", {"ALL", "Main"}, pickups)});
        p.riggingHeight = c.all;
        if (c.group) setGroupHeight(p, "Main", c.group);
        const std::vector<std::string> expected =
            c.listed ? std::vector<std::string>{"Main L"} : std::vector<std::string>{};
        EXPECT_EQ(hooksAboveRigging(p), expected) << c.name;
    }

    // Hidden sources count, names repeat per source, each source once.
    Project p = fixtures::projectOf(
        {testSource("Main", {"A"}, {testPickup("F", {0, 0, 20}), testPickup("R", {0, 0, 21})}),
         testSource("Main", {"B"}, {testPickup("F", {0, 0, 20})}),
         testSource("Low", {"C"}, {testPickup("F", {0, 0, 2})})});
    p.riggingHeight = 10.0;
    p.setHidden({"B/Main"}, true);
    EXPECT_EQ(hooksAboveRigging(p), (std::vector<std::string>{"Main", "Main"}));
    EXPECT_EQ(hookWarningText(hooksAboveRigging(p)), QStringLiteral("Hook above rigging height: Main, Main"));
}

// --- Crew link ---------------------------------------------------------------------------------

TEST(OverviewHelpers, CrewLinkTexts) {
    EXPECT_EQ(sourceCountText(0), QStringLiteral("0 sources"));
    EXPECT_EQ(sourceCountText(1), QStringLiteral("1 source"));
    EXPECT_EQ(sourceCountText(3), QStringLiteral("3 sources"));
    EXPECT_EQ(changedSinceText(1),
              QStringLiteral(
                  "1 source changed since then \u2013 press Update link (toolbar) so the crew sees it."));
    EXPECT_EQ(changedSinceText(2),
              QStringLiteral(
                  "2 sources changed since then \u2013 press Update link (toolbar) so the crew sees it."));
    Project p = fixtures::projectOf({testSource("L", {"ALL"}), testSource("R", {"ALL"})});
    EXPECT_EQ(shareMessage(p), QStringLiteral(" \u2013 speaker rigging"));
    p.name = "Arena";
    EXPECT_EQ(shareMessage(p), QStringLiteral("Arena \u2013 speaker rigging"));
    EXPECT_EQ(visibilityErrorText("Boom."), QStringLiteral("Hidden sources not sent: Boom."));

    EXPECT_EQ(hiddenSourceCount(p), 0);
    p.setHidden({"ALL/Gone"}, true); // names no source
    EXPECT_EQ(hiddenSourceCount(p), 0);
    p.setHidden({"ALL/L", "ALL/R"}, true);
    EXPECT_EQ(hiddenSourceCount(p), 2);
}

TEST(OverviewHelpers, WebLinksOnly) {
    struct Case {
        const char* text;
        bool web;
    };
    const std::vector<Case> cases{
        {"https://rig.example.com/c/abc", true},
        {"http://127.0.0.1:8080/c/abc", true},
        {"HTTPS://rig.example.com/c/abc", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"smb://server/share", false},
        {"x-custom-handler:run", false},
        {"rig.example.com/c/abc", false},
        {"/c/abc", false},
        {"https://", false},
        {"https://rig.example.com/c/abc\n", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(webLinkUrl(QString::fromUtf8(c.text)).has_value(), c.web) << c.text;

    std::vector<QUrl> opened;
    const LinkOpener previous = setLinkOpener([&](const QUrl& u) { opened.push_back(u); });
    EXPECT_FALSE(openWebLink(QStringLiteral("file:///etc/passwd")));
    EXPECT_TRUE(openWebLink(QStringLiteral("https://rig.example.com/c/abc")));
    openMailDraft(QStringLiteral("A & B #1"),
                  QStringLiteral("A & B #1 \u2013 speaker rigging\nhttps://x.example/c/a?b=1"));
    setLinkOpener(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://rig.example.com/c/abc")));
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    const QUrlQuery query(opened[1].query(QUrl::FullyEncoded));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("A & B #1"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
              QStringLiteral("A & B #1 \u2013 speaker rigging\nhttps://x.example/c/a?b=1"));
}

// --- Links sheet -------------------------------------------------------------------------------

TEST(OverviewHelpers, ServerLinkTexts) {
    ServerLink link{"tok", "https://x.example/c/tok", "", "Show.pdf", 1, 0, 1741944413000.0};
    EXPECT_EQ(linkTitle(link), QStringLiteral("Untitled"));
    link.name = "<b>Arena</b>";
    EXPECT_EQ(linkTitle(link), QStringLiteral("<b>Arena</b>"));
    const QString detail = linkDetailText(link);
    EXPECT_TRUE(detail.startsWith(QStringLiteral("Updated "))) << detail.toStdString();
    EXPECT_TRUE(detail.endsWith(QStringLiteral(" \u00b7 1 sources \u00b7 Show.pdf"))) << detail.toStdString();
    EXPECT_FALSE(detail.contains(QStringLiteral("?")));

    // Times that are no date: never converted to an integer, shown as "?".
    for (double t : {1e300, -1e300, 253402300800000.0, -62135596800001.0,
                     std::numeric_limits<double>::infinity(), notANumber}) {
        EXPECT_EQ(linkUpdateTime(t), std::nullopt) << t;
        EXPECT_EQ(linkDateText(t), QStringLiteral("?")) << t;
    }
    EXPECT_TRUE(linkUpdateTime(253402300799999.0).has_value());
    EXPECT_EQ(linkUpdateTime(1741944413999.0), fixtures::testDate());
    EXPECT_EQ(linkUpdateTime(0.0), Date(std::chrono::seconds(0)));
    EXPECT_EQ(linkUpdateTime(-1.0), Date(std::chrono::seconds(-1)));

    const auto share = attachedShare(link, 0);
    ASSERT_TRUE(std::holds_alternative<ShareInfo>(share));
    const ShareInfo& s = std::get<ShareInfo>(share);
    EXPECT_EQ(s.token, "tok");
    EXPECT_EQ(s.url, "https://x.example/c/tok");
    EXPECT_EQ(s.publishedAt, fixtures::testDate());
    EXPECT_TRUE(s.fingerprints.empty());
    EXPECT_TRUE(s.changes.empty());
    EXPECT_FALSE(s.hidden.has_value());

    link.updatedAt = 1e300;
    const auto refused = attachedShare(link, 2);
    ASSERT_TRUE(std::holds_alternative<QString>(refused));
    EXPECT_EQ(
        std::get<QString>(refused),
        QStringLiteral("The server\u2019s answer could not be read: Expected a time between the years 1 and "
                       "9999 at \"links[2].updatedAt\"."));

    Project p;
    EXPECT_FALSE(isOwnLink(p, link));
    p.share = s;
    EXPECT_TRUE(isOwnLink(p, link));
    link.token = "other";
    EXPECT_FALSE(isOwnLink(p, link));
}

} // namespace
} // namespace rig::app
