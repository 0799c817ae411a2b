// The overview page offscreen: edits go to the store one assignment at a time, the page
// refreshes in place and never takes the field being typed in away. Then the rules behind it
// that have edges: ordering, overflow, absent values and hooks.
#include "pages/OverviewPage.h"

#include "export/DXFSettings.h"
#include "export/ExportCommands.h"
#include "export/PdfPrinter.h"
#include "export/Reveal.h"
#include "pages/DeltaFields.h"
#include "pages/Fields.h"
#include "pages/FormLayout.h"
#include "pages/InventoryBlock.h"
#include "pages/MotorLibrary.h"
#include "pages/OverviewTexts.h"
#include "pages/Preferences.h"
#include "pages/RiggingHeightFields.h"
#include "shell/AppPaths.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"
#include "support/Waiting.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

using fixtures::notANumber;
using fixtures::testPickup;
using fixtures::testSource;

struct NoReveal : Reveal {
    void reveal(const QString&) override {}
};

InventoryItem item(std::string category, std::int64_t quantity, std::string product) {
    return InventoryItem{std::move(category), quantity, "", std::move(product), "", std::nullopt};
}

// The store, library and export commands a window would hand the page, on temporary paths.
struct PageFixture {
    explicit PageFixture(Project project) {
        store.setProject(std::move(project));
        page.resize(900, 1400);
        page.show();
        page.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
    }
    // Puts the focus in `edit` the way a click would.
    void focus(QWidget* edit) {
        edit->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(testing::waitFor([&] { return focused() == edit; }));
    }
    QWidget* focused() const { return page.window()->focusWidget(); }
    bool shown(QWidget* w) const { return w->isVisibleTo(&page); }
    QLabel* file(const char* row, const char* which) const {
        return page.findChild<QWidget*>(row)->findChild<QLabel*>(which);
    }
    void change(const std::function<void(Project&)>& edit) {
        Project p = store.project();
        edit(p);
        store.setProject(std::move(p));
    }

    testing::TempAppPaths paths;
    ProjectStore store;
    MotorLibrary library;
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer{store, reveal};
    ExportCommands exports{store, dxf, printer};
    OverviewPage page{store, library, exports};
};

TEST(OverviewPage, TypedFieldsEditOncePerKeyAndKeepTheirFocus) {
    PageFixture f(testing::arenaShow());
    BoxField* name = f.page.nameField();
    f.focus(name);
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Backspace);
    const std::uint64_t before = f.store.revision();
    QTest::keyClicks(name, QStringLiteral("Main Stage"));
    EXPECT_EQ(f.store.project().name, "Main Stage");
    EXPECT_EQ(f.store.revision() - before, 10u);
    EXPECT_EQ(f.focused(), name);
    EXPECT_EQ(name->text(), QStringLiteral("Main Stage"));

    settings().setValue(authorNameKey, QStringLiteral("Sam Reyes"));
    f.page.refresh();
    BoxField* author = f.page.authorField();
    f.focus(author);
    EXPECT_EQ(author->placeholderText(), QStringLiteral("Sam Reyes"));
    // The author as typed, spaces included; cleared, the project has none.
    QTest::keyClicks(author, QStringLiteral(" Jo "));
    EXPECT_EQ(f.store.project().author, std::optional<std::string>(" Jo "));
    for (int i = 0; i < 4; ++i) QTest::keyClick(author, Qt::Key_Backspace);
    EXPECT_EQ(f.store.project().author, std::nullopt);

    // The Delta plate's name heads the motors section.
    QLineEdit* delta = f.page.deltaFields()->nameField();
    f.focus(delta);
    delta->selectAll();
    QTest::keyClicks(delta, QStringLiteral("K2"));
    EXPECT_EQ(f.page.section(QStringLiteral("motors"))->header()->text(), QStringLiteral("Motors & K2"));
    EXPECT_EQ(f.focused(), delta);
}

TEST(OverviewPage, AnotherDocumentReplacesWhatWasBeingTyped) {
    PageFixture f(testing::arenaShow());
    f.change([](Project& p) {
        p.name = "Saved show";
        p.riggingHeight = 14.0;
    });
    const QString path = f.paths.file("saved.qvrig");
    ASSERT_TRUE(f.store.writeProject(path));
    const std::vector<std::tuple<QLineEdit*, QString, std::function<QString()>>> cases{
        {f.page.nameField(), "Saved show", [&] { return toQ(f.store.project().name); }},
        {f.page.riggingHeightFields()->allPointsField()->lineEdit(), "14",
         [&] {
             return NumField::format(f.store.project().riggingHeight, {0, 2});
         }},
        {f.page.deltaFields()->nameField(), "K1-DELTA", [&] { return toQ(f.store.project().delta.name); }},
    };
    for (const auto& [field, shownAfterOpen, stored] : cases) {
        f.focus(field);
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("9"));
        f.store.openProject(path, false);
        EXPECT_EQ(field->text(), shownAfterOpen);
        // A key typed now edits the open document, not the one before.
        f.focus(field);
        field->end(false);
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(stored(), shownAfterOpen.chopped(1));
    }
}

TEST(OverviewPage, FileRowsAndInventoryFollowTheProject) {
    PageFixture f{Project()};
    for (const char* row : {"reportFile", "inventoryFile", "dxfFile"}) {
        EXPECT_EQ(f.file(row, "file")->text(), QStringLiteral("\u2013")) << row;
        EXPECT_FALSE(f.shown(f.file(row, "detail"))) << row;
    }
    EXPECT_FALSE(f.shown(f.page.section(QStringLiteral("inventory"))));

    Project p = testing::arenaShow();
    p.reportImportedAt.reset();
    p.inventoryFile = "Arena show inventory.csv";
    p.inventory = {item("Enclosure", 6, "KS28"),
                   item("Enclosure", 24, "K2"),
                   item("Enclosure", 6, "KARA II"),
                   item("Rigging", 4, "K2-BUMP"),
                   item("Amplified controller", 12, "LA12X"),
                   item("Cable", 40, "DO.7")};
    f.store.setProject(p);
    EXPECT_EQ(f.file("reportFile", "detail")->text(), QStringLiteral("Soundvision 3.7.1 \u00b7 4 sources"));
    EXPECT_EQ(f.file("inventoryFile", "detail")->text(), QStringLiteral("6 lines"));
    EXPECT_EQ(f.file("dxfFile", "detail")->text(), QStringLiteral("4 arrays drawn, exact point coordinates"));
    const std::vector<InventoryBlock*> blocks = f.page.inventoryBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    QStringList lines;
    for (QWidget* line : blocks[0]->findChildren<QWidget*>(QStringLiteral("inventoryLine")))
        lines << line->findChild<QLabel*>("name")->text() + "=" + line->findChild<QLabel*>("count")->text();
    EXPECT_EQ(lines, (QStringList{"K2=24", "KARA II=6", "KS28=6"}));
    EXPECT_EQ(blocks[0]->findChild<QWidget*>("inventoryTotal")->findChild<QLabel*>("count")->text(), "36");

    // Blocks stay while other things change; an inventory of other categories keeps the section.
    p.reportImportedAt = fixtures::testDate();
    p.dxf = {};
    f.store.setProject(p);
    EXPECT_EQ(f.page.inventoryBlocks(), blocks);
    EXPECT_TRUE(f.file("reportFile", "detail")
                    ->text()
                    .startsWith(QStringLiteral("Soundvision 3.7.1 \u00b7 4 sources \u00b7 ")));
    EXPECT_FALSE(f.shown(f.file("dxfFile", "detail")));
    p.inventory = {item("Cable", 40, "DO.7")};
    f.store.setProject(p);
    EXPECT_TRUE(f.shown(f.page.section(QStringLiteral("inventory"))));
    EXPECT_TRUE(f.page.inventoryBlocks().empty());
}

TEST(OverviewPage, BulkMotorSetsOnlyPointsWithout) {
    Source main = testSource("Main", {"ALL", "Main"},
                             {testPickup("Front", {0, 0, 12}), testPickup("Rear", {0, -1, 12})});
    Source out = testSource("Out", {"ALL", "Out"}, {testPickup("Front", {5, 0, 9})});
    Project p = fixtures::projectOf({main, out});
    const Motor a = fixtures::testMotor("CM Lodestar 1t", 62, 3);
    p.setExtra(main.id(), "Front", PointExtra{a, false});
    p.setExtra(main.id(), "Rear", PointExtra{std::nullopt, true});
    p.setHidden({out.id()}, true);
    PageFixture f(p);
    QComboBox* menu = f.page.motorMenu();
    EXPECT_TRUE(f.shown(f.page.addMotorsHint()));
    const Motor d8 = f.library.upsert(QStringLiteral("D8+ 1000 kg"), 58);
    f.library.upsert(QStringLiteral("CM Lodestar 1t"), 62);
    EXPECT_FALSE(f.shown(f.page.addMotorsHint()));
    EXPECT_FALSE(f.page.setOnAllButton()->isEnabled());
    emit menu->activated(menu->findText(QStringLiteral("D8+ 1000 kg \u2013 58 kg")));
    EXPECT_EQ(f.page.bulkMotor(), d8);

    // One assignment per point without a motor, hidden sources included; the flag stays.
    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.page.setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(f.store.project().extra(main.id(), "Front"), (PointExtra{a, false}));
    EXPECT_EQ(f.store.project().extra(main.id(), "Rear"), (PointExtra{d8, true}));
    EXPECT_EQ(f.store.project().extra(out.id(), "Front"), (PointExtra{d8, false}));

    // The chosen motor changes in the library: the choice goes back to "Choose…".
    f.library.upsert(QStringLiteral("d8+ 1000 KG"), 60);
    EXPECT_EQ(f.page.bulkMotor(), std::nullopt);
    EXPECT_EQ(menu->currentIndex(), 0);
    EXPECT_FALSE(f.page.setOnAllButton()->isEnabled());
}

TEST(OverviewPage, ChecksAndNotesDisclosureSurviveRefreshes) {
    PageFixture f(testing::arenaShow());
    auto texts = [](const std::vector<IssueGroup>& groups) {
        QStringList out;
        for (const IssueGroup& g : groups) out << toQ(g.text);
        return out;
    };
    const overview::CheckSplit split = overview::splitChecks(f.store.project().groupedIssues());
    ASSERT_FALSE(split.notes.empty()) << "the arena show should have notes";
    QToolButton* notes = f.page.notesDisclosure();
    EXPECT_EQ(f.page.checkTexts(), texts(split.warnings));
    notes->click();
    EXPECT_EQ(f.page.checkTexts(), texts(split.warnings) + texts(split.notes));

    // Typing elsewhere and a change of the checks keep the group open.
    f.focus(f.page.nameField());
    QTest::keyClicks(f.page.nameField(), QStringLiteral("x"));
    f.change([](Project& p) {
        p.report.sources.edit().push_back(
            testSource("Lonely", {"ALL", "Lonely"}, {testPickup("Front", {1, 1, 9}, -20.0)}));
    });
    EXPECT_TRUE(f.page.notesExpanded());
    int shown = 0;
    for (QWidget* row : f.page.findChildren<QWidget*>(QStringLiteral("check"))) shown += f.shown(row);
    EXPECT_EQ(shown, f.page.checkTexts().size());
    // Without notes the group goes; when notes come back it shows collapsed, as at first.
    const Project p = f.store.project();
    f.store.setProject(Project());
    EXPECT_FALSE(f.shown(notes));
    f.store.setProject(p);
    EXPECT_TRUE(f.shown(notes));
    EXPECT_FALSE(f.page.notesExpanded());
}

TEST(OverviewPage, RiggingHeightsTypedInPlace) {
    qunsetenv("RIG_TEST_PERGROUP");
    PageFixture f(testing::arenaShow());
    RiggingHeightFields* rigging = f.page.riggingHeightFields();
    EXPECT_FALSE(f.shown(f.page.findChild<QWidget*>(QStringLiteral("groupRows"))));
    rigging->disclosure()->click();
    EXPECT_TRUE(f.shown(f.page.findChild<QWidget*>(QStringLiteral("groupRows"))));
    QLineEdit* all = rigging->allPointsField()->lineEdit();
    f.focus(all);
    QTest::keyClicks(all, QStringLiteral("18,5"));
    EXPECT_EQ(f.store.project().riggingHeight, 18.5);
    NumField* left = rigging->groupField("Main \u203a Left");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->lineEdit()->placeholderText(), QStringLiteral("same (18.5)"));

    f.focus(left->lineEdit());
    QTest::keyClicks(left->lineEdit(), QStringLiteral("2"));
    EXPECT_EQ(groupHeight(f.store.project(), "Main \u203a Left"), 2.0);
    EXPECT_EQ(rigging->warningText(), QStringLiteral("Hook above rigging height: Main L"));
    // A new group (a report that gained an array) while typing: the field stays, with its focus.
    f.change([](Project& p) {
        p.report.sources.edit().insert(
            p.report.sources.edit().begin(),
            testSource("Delay", {"ALL", "Delay"}, {testPickup("Front", {1, 20, 9})}));
    });
    EXPECT_EQ(rigging->shownGroupLabels(),
              (QStringList{QStringLiteral("Delay"), QStringLiteral("Main \u203a Left"),
                           QStringLiteral("Main \u203a Right"), QStringLiteral("Outfill")}));
    EXPECT_EQ(rigging->groupField("Main \u203a Left"), left);
    EXPECT_EQ(f.focused(), left->lineEdit());
    QTest::keyClick(left->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(f.store.project().groupRiggingHeights.has_value()); // absent, not an empty map
    EXPECT_EQ(rigging->warningText(), QString());
}

TEST(OverviewPage, ImportAndExportButtonsUseTheProjectAtThePress) {
    testing::FakePrompts prompts;
    PageFixture f(testing::arenaShow());
    prompts.answerImport({});
    f.page.importButton()->click();
    EXPECT_EQ(prompts.count(testing::FakePrompts::Kind::importPanel), 1);
    f.change([](Project& p) { p.name = "Main Stage"; });
    QStringList names;
    for (QPushButton* b : f.page.exportButtons()) {
        prompts.answerExportSave(std::nullopt);
        b->click();
        names << prompts.exportSaves().back().fileName;
    }
    EXPECT_EQ(names,
              (QStringList{"Main Stage \u2013 rigging points.pdf", "Main Stage \u2013 rigging points.csv",
                           "Main Stage \u2013 rigging points.dxf", "Main Stage \u2013 crew sheets.pdf"}));
}

TEST(OverviewRules, InventoryOrderAndTotals) {
    // Code-point order, not the locale's; only the table's categories, as written, in its order.
    const List<InventoryItem> inventory{item("Rigging", 1, "\u00c9crou"), item("Rigging", 1, "b"),
                                        item("Rigging", 1, "Eye"),        item("enclosure", 3, "K2"),
                                        item("Enclosure", 2, "K1"),       item("Cable", 30, "DO")};
    const auto blocks = overview::inventoryBlocks(inventory);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].items, (std::vector<std::pair<QString, std::int64_t>>{{"K1", 2}}));
    EXPECT_EQ(blocks[1].items,
              (std::vector<std::pair<QString, std::int64_t>>{{"Eye", 1}, {"b", 1}, {"\u00c9crou", 1}}));
    const auto max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(InventoryBlock::total({{"a", max}, {"b", 1}}), max);
    EXPECT_EQ(InventoryBlock::total({{"a", -max}, {"b", -5}}), std::numeric_limits<std::int64_t>::min());
    // Notes count each source they name.
    EXPECT_EQ(overview::notesTitle({IssueGroup{Issue::Level::note, "x", {"A", "B", "C"}},
                                    IssueGroup{Issue::Level::info, "y", {}}}),
              QStringLiteral("Notes (4)"));
}

TEST(OverviewRules, HooksAboveRiggingHeight) {
    // Only above the height counts, and only a finite hook under a set height.
    const std::vector<std::tuple<std::optional<double>, double, bool>> cases{
        {18.0, 18.0, false},
        {18.0, 18.001, true},
        {std::nullopt, 99.0, false},
        {10.0, notANumber, false},
        {10.0, std::numeric_limits<double>::infinity(), false}};
    for (const auto& [height, hook, listed] : cases) {
        Project p =
            fixtures::projectOf({testSource("Main L", {"ALL", "Main"}, {testPickup("P", {0, 0, hook})})});
        p.riggingHeight = height;
        EXPECT_EQ(hooksAboveRigging(p).size(), listed ? 1u : 0u) << hook;
    }
    // Groups: placed sources only, in order of first appearance, never "ALL" alone.
    const Pickup placed = testPickup("Front", {1, 0, 12});
    EXPECT_EQ(
        riggingGroupLabels(fixtures::projectOf(
            {testSource("O", {"ALL", "Out", "Left"}, {placed}), testSource("L", {"ALL", "Main"}, {placed}),
             testSource("O2", {"Out", "ALL", "Left"}, {placed}),
             testSource("U", {"Up"}, {testPickup("Front", {notANumber, 0, 12})}),
             testSource("A", {"ALL"}, {placed})})),
        (std::vector<std::string>{"Out \u203a Left", "Main"}));
    Project p;
    p.riggingHeight = 18.257;
    EXPECT_EQ(groupHeightPrompt(p), QStringLiteral("same (18.26)"));
    setGroupHeight(p, "Main", 16.5);
    EXPECT_EQ(groupHeight(p, "Main \u203a Left"), std::nullopt); // not through the prefix
}

} // namespace
} // namespace rig::app
