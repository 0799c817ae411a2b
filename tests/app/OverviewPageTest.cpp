// The overview page offscreen: edits go to the store one assignment at a time, the page
// refreshes in place and never takes the field being typed in away.
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
#include "pages/Preferences.h"
#include "pages/RiggingHeightFields.h"
#include "pages/ShareRow.h"
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
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace rig::app {
namespace {

using fixtures::testMotor;
using fixtures::testPickup;
using fixtures::testSource;
using testing::FakePrompts;

struct NoReveal : Reveal {
    void reveal(const QString&) override {}
};

// The store, library and export commands a window would hand the page, on temporary paths.
struct PageFixture {
    explicit PageFixture(Project project = Project()) {
        store.setProject(std::move(project));
        page = std::make_unique<OverviewPage>(store, library, exports);
        page->resize(900, 1400);
        page->show();
        page->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    }

    // Puts the focus in `edit` the way a click would.
    void focus(QWidget* edit) {
        edit->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(
            testing::waitFor([&] { return edit->hasFocus() || page->window()->focusWidget() == edit; }));
    }

    QStringList labelsIn(QWidget* w) const {
        QStringList out;
        for (QLabel* l : w->findChildren<QLabel*>()) {
            if (l->isVisibleTo(page.get())) out << l->text();
        }
        return out;
    }

    testing::TempAppPaths paths;
    ProjectStore store;
    MotorLibrary library;
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer{store, reveal};
    ExportCommands exports{store, dxf, printer};
    std::unique_ptr<OverviewPage> page;
};

Project showWithInventory() {
    Project p = testing::arenaShow();
    p.inventoryFile = "Arena show inventory.csv";
    auto add = [&](std::string category, std::int64_t quantity, std::string product) {
        p.inventory.push_back(
            InventoryItem{std::move(category), quantity, "", std::move(product), "", std::nullopt});
    };
    add("Enclosure", 24, "K2");
    add("Enclosure", 6, "KARA II");
    add("Enclosure", 6, "KS28");
    add("Rigging", 4, "K2-BUMP");
    add("Amplified controller", 12, "LA12X");
    add("Cable", 40, "DO.7");
    return p;
}

TEST(OverviewPage, TypingTheNameKeepsFocusAndEditsOncePerKey) {
    PageFixture f(testing::arenaShow());
    BoxField* name = f.page->nameField();
    name->selectAll();
    f.focus(name);
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_Backspace);
    ASSERT_EQ(f.store.project().name, "");
    const std::uint64_t before = f.store.revision();
    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    QTest::keyClicks(name, QStringLiteral("Main Stage"));
    EXPECT_EQ(f.store.project().name, "Main Stage");
    EXPECT_EQ(name->text(), QStringLiteral("Main Stage"));
    EXPECT_EQ(f.store.revision() - before, 10u);
    EXPECT_EQ(changes.count(), 10);
    EXPECT_TRUE(f.store.isDirty());
    EXPECT_EQ(f.page->window()->focusWidget(), name);
    EXPECT_EQ(name->cursorPosition(), 10);

    // A change from elsewhere does not overwrite the field being typed in.
    Project other = f.store.project();
    other.name = "Renamed elsewhere";
    f.store.setProject(other);
    EXPECT_EQ(name->text(), QStringLiteral("Main Stage"));
    // Once the focus leaves, the field shows the project's value.
    f.focus(f.page->authorField());
    EXPECT_EQ(name->text(), QStringLiteral("Renamed elsewhere"));
}

TEST(OverviewPage, AuthorAsTypedAndClearedToNone) {
    PageFixture f(testing::arenaShow());
    settings().setValue(authorNameKey, QStringLiteral("Sam Reyes"));
    f.page->refresh();
    BoxField* author = f.page->authorField();
    EXPECT_EQ(author->placeholderText(), QStringLiteral("Sam Reyes"));
    EXPECT_EQ(author->text(), QString());
    f.focus(author);
    QTest::keyClicks(author, QStringLiteral(" Jo "));
    EXPECT_EQ(f.store.project().author, std::optional<std::string>(" Jo "));
    for (int i = 0; i < 4; ++i) QTest::keyClick(author, Qt::Key_Backspace);
    EXPECT_EQ(f.store.project().author, std::nullopt);
    EXPECT_EQ(author->text(), QString());
    EXPECT_EQ(f.page->window()->focusWidget(), author);
}

TEST(OverviewPage, EmptyProject) {
    PageFixture f;
    for (const char* row : {"reportFile", "inventoryFile", "dxfFile"}) {
        QWidget* w = f.page->findChild<QWidget*>(QString::fromLatin1(row));
        ASSERT_NE(w, nullptr) << row;
        auto* file = w->findChild<style::ToneLabel*>(QStringLiteral("file"));
        auto* detail = w->findChild<QLabel*>(QStringLiteral("detail"));
        EXPECT_EQ(file->text(), QStringLiteral("\u2013")) << row;
        EXPECT_EQ(file->tone(), style::Tone::secondary) << row;
        EXPECT_FALSE(detail->isVisibleTo(f.page.get())) << row;
    }
    EXPECT_FALSE(f.page->section(QStringLiteral("inventory"))->isVisibleTo(f.page.get()));
    QWidget* ok = f.page->findChild<QWidget*>(QStringLiteral("noWarnings"));
    EXPECT_TRUE(ok->isVisibleTo(f.page.get()));
    EXPECT_TRUE(
        f.labelsIn(ok).contains(QStringLiteral("No warnings \u2013 report, inventory and DXF agree.")));
    ASSERT_EQ(f.page->exportButtons().size(), 4u);
    QStringList exportTexts;
    for (QPushButton* b : f.page->exportButtons()) {
        EXPECT_TRUE(b->isEnabled());
        exportTexts << b->text();
    }
    EXPECT_EQ(exportTexts, (QStringList{QStringLiteral("Rigging points PDF\u2026"),
                                        QStringLiteral("Rigging points CSV\u2026"),
                                        QStringLiteral("Rigging points DXF (3D)\u2026"),
                                        QStringLiteral("Crew sheets PDF\u2026")}));
    EXPECT_EQ(f.page->section(QStringLiteral("motors"))->header()->text(),
              QStringLiteral("Motors & K1-DELTA"));
    // Section order.
    QStringList headers;
    for (auto* s : f.page->findChildren<form::FormSection*>()) headers << s->header()->text();
    EXPECT_EQ(headers, (QStringList{"Project", "Crew link", "Rigging height", "Checks", "Motors & K1-DELTA",
                                    "Inventory", "Export"}));
}

TEST(OverviewPage, FileRowsOfAnImportedShow) {
    Project p = showWithInventory();
    p.reportImportedAt.reset();
    PageFixture f(p);
    auto second = [&](const char* row) {
        return f.page->findChild<QWidget*>(QString::fromLatin1(row))
            ->findChild<QLabel*>(QStringLiteral("detail"));
    };
    EXPECT_EQ(second("reportFile")->text(), QStringLiteral("Soundvision 3.7.1 \u00b7 4 sources"));
    EXPECT_EQ(second("inventoryFile")->text(), QStringLiteral("6 lines"));
    EXPECT_EQ(second("dxfFile")->text(), QStringLiteral("4 arrays drawn, exact point coordinates"));

    p.reportImportedAt = fixtures::testDate();
    p.dxf = {};
    f.store.setProject(p);
    EXPECT_TRUE(second("reportFile")
                    ->text()
                    .startsWith(QStringLiteral("Soundvision 3.7.1 \u00b7 4 sources \u00b7 ")));
    EXPECT_FALSE(second("dxfFile")->isVisibleTo(f.page.get()));
    auto* dxfName =
        f.page->findChild<QWidget*>(QStringLiteral("dxfFile"))->findChild<QLabel*>(QStringLiteral("file"));
    EXPECT_EQ(dxfName->text(), QStringLiteral("Arena show.dxf"));
}

TEST(OverviewPage, InventorySection) {
    PageFixture f(showWithInventory());
    const std::vector<InventoryBlock*> blocks = f.page->inventoryBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0]->findChild<QLabel*>(QStringLiteral("inventoryTitle"))->text(),
              QStringLiteral("ENCLOSURES"));
    EXPECT_EQ(blocks[2]->findChild<QLabel*>(QStringLiteral("inventoryTitle"))->text(),
              QStringLiteral("AMPLIFIERS"));
    QStringList lines;
    for (QWidget* line : blocks[0]->findChildren<QWidget*>(QStringLiteral("inventoryLine"))) {
        lines << line->findChild<QLabel*>(QStringLiteral("name"))->text() + "=" +
                     line->findChild<QLabel*>(QStringLiteral("count"))->text();
    }
    EXPECT_EQ(lines, (QStringList{"K2=24", "KARA II=6", "KS28=6"}));
    auto* total = blocks[0]->findChild<QWidget*>(QStringLiteral("inventoryTotal"));
    EXPECT_EQ(total->findChild<QLabel*>(QStringLiteral("name"))->text(), QStringLiteral("Total"));
    EXPECT_EQ(total->findChild<QLabel*>(QStringLiteral("count"))->text(), QStringLiteral("36"));

    // Blocks stay while other things change; an inventory of other categories keeps the section.
    Project p = f.store.project();
    p.name = "Other";
    f.store.setProject(p);
    EXPECT_EQ(f.page->inventoryBlocks(), blocks);
    p.inventory = List<InventoryItem>{InventoryItem{"Cable", 40, "", "DO.7", "", std::nullopt}};
    f.store.setProject(p);
    EXPECT_TRUE(f.page->section(QStringLiteral("inventory"))->isVisibleTo(f.page.get()));
    EXPECT_TRUE(f.page->inventoryBlocks().empty());
}

TEST(OverviewPage, EmptyLibraryAndBulkMotor) {
    Source main = testSource("Main", {"ALL", "Main"},
                             {testPickup("Front", {0, 0, 12}), testPickup("Rear", {0, -1, 12})});
    Source out = testSource("Out", {"ALL", "Out"}, {testPickup("Front", {5, 0, 9})});
    Project p = fixtures::projectOf({main, out});
    const Motor a = testMotor("CM Lodestar 1t", 62, 3);
    p.setExtra(main.id(), "Front", PointExtra{a, false});
    p.setExtra(main.id(), "Rear", PointExtra{std::nullopt, true});
    p.setHidden({out.id()}, true);
    PageFixture f(p);
    QComboBox* menu = f.page->motorMenu();
    ASSERT_EQ(menu->count(), 1);
    EXPECT_EQ(menu->itemText(0), QStringLiteral("Choose\u2026"));
    EXPECT_FALSE(f.page->setOnAllButton()->isEnabled());
    EXPECT_TRUE(f.page->addMotorsHint()->isVisibleTo(f.page.get()));
    EXPECT_EQ(static_cast<QLabel*>(f.page->addMotorsHint())->text(),
              QStringLiteral("Add motors in Settings (Ctrl+,) or on a source page."));

    const Motor d8 = f.library.upsert(QStringLiteral("D8+ 1000 kg"), 58);
    f.library.upsert(QStringLiteral("CM Lodestar 1t"), 62);
    ASSERT_EQ(menu->count(), 3);
    EXPECT_FALSE(f.page->addMotorsHint()->isVisibleTo(f.page.get()));
    const int d8Index = menu->findText(QStringLiteral("D8+ 1000 kg \u2013 58 kg"));
    ASSERT_GT(d8Index, 0);
    emit menu->activated(d8Index); // as the user's choice
    EXPECT_EQ(f.page->bulkMotor(), d8);
    EXPECT_TRUE(f.page->setOnAllButton()->isEnabled());

    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.page->setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2); // one assignment per changed point
    const Project& now = f.store.project();
    EXPECT_EQ(now.extra(main.id(), "Front"), (PointExtra{a, false}));
    EXPECT_EQ(now.extra(main.id(), "Rear"), (PointExtra{d8, true}));
    EXPECT_EQ(now.extra(out.id(), "Front"), (PointExtra{d8, false}));
    EXPECT_EQ(f.page->bulkMotor(), d8); // kept
    f.page->setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2); // nothing left to set

    // The chosen motor changes in the library: the choice goes back to "Choose…".
    f.library.upsert(QStringLiteral("d8+ 1000 KG"), 60);
    EXPECT_EQ(f.page->bulkMotor(), std::nullopt);
    EXPECT_EQ(menu->currentIndex(), 0);
    EXPECT_FALSE(f.page->setOnAllButton()->isEnabled());
    emit menu->activated(menu->findText(QStringLiteral("CM Lodestar 1t \u2013 62 kg")));
    ASSERT_TRUE(f.page->bulkMotor().has_value());
    f.library.setMotors({});
    EXPECT_EQ(f.page->bulkMotor(), std::nullopt);
    EXPECT_EQ(menu->count(), 1);
}

TEST(OverviewPage, DeltaNameInTheMotorsHeader) {
    PageFixture f(testing::arenaShow());
    QLineEdit* name = f.page->deltaFields()->nameField();
    // The plate's rows are rows of the section: label on the left, value at the right edge.
    auto rightEdge = [&](QWidget* w) { return w->mapTo(f.page.get(), QPoint(w->width(), 0)).x(); };
    EXPECT_EQ(rightEdge(name), rightEdge(f.page->nameField()));
    EXPECT_EQ(rightEdge(f.page->deltaFields()->spacingField()->unitLabel()),
              rightEdge(f.page->riggingHeightFields()->allPointsField()->unitLabel()));
    EXPECT_EQ(rightEdge(f.page->deltaFields()->weightLabel()), rightEdge(f.page->nameField()));
    f.focus(name);
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(f.store.project().delta.name, "");
    EXPECT_EQ(f.page->section(QStringLiteral("motors"))->header()->text(), QStringLiteral("Motors & "));
    QTest::keyClicks(name, QStringLiteral("K2"));
    EXPECT_EQ(f.page->section(QStringLiteral("motors"))->header()->text(), QStringLiteral("Motors & K2"));
    EXPECT_EQ(f.page->window()->focusWidget(), name);
}

TEST(OverviewPage, ChecksAndNotesDisclosureSurviveRefreshes) {
    PageFixture f(testing::arenaShow());
    const overview::CheckSplit split = overview::splitChecks(f.store.project().groupedIssues());
    ASSERT_FALSE(split.notes.empty()) << "the arena show should have notes";
    QToolButton* notes = f.page->notesDisclosure();
    EXPECT_TRUE(notes->isVisibleTo(f.page.get()));
    EXPECT_EQ(notes->text(), overview::notesTitle(split.notes));
    EXPECT_FALSE(f.page->notesExpanded());
    QStringList warnings;
    for (const IssueGroup& g : split.warnings) warnings << toQ(g.text);
    EXPECT_EQ(f.page->checkTexts(), warnings);
    EXPECT_EQ(f.page->findChild<QWidget*>(QStringLiteral("noWarnings"))->isVisibleTo(f.page.get()),
              split.warnings.empty());

    notes->click();
    EXPECT_TRUE(f.page->notesExpanded());
    QStringList all = warnings;
    for (const IssueGroup& g : split.notes) all << toQ(g.text);
    EXPECT_EQ(f.page->checkTexts(), all);

    // Typing elsewhere and a change of the checks keep the group open.
    f.focus(f.page->nameField());
    QTest::keyClicks(f.page->nameField(), QStringLiteral("x"));
    EXPECT_TRUE(f.page->notesExpanded());
    Project p = f.store.project();
    p.report.sources.edit().push_back(
        testSource("Lonely", {"ALL", "Lonely"}, {testPickup("Front", {1, 1, 9}, -20.0)}));
    f.store.setProject(p);
    EXPECT_TRUE(f.page->notesExpanded());
    int shown = 0;
    for (QWidget* row : f.page->findChildren<QWidget*>(QStringLiteral("check")))
        shown += row->isVisibleTo(f.page.get());
    EXPECT_EQ(shown, f.page->checkTexts().size());
    // Without notes the group goes; when notes come back it shows collapsed, as at first.
    f.store.setProject(Project());
    EXPECT_FALSE(notes->isVisibleTo(f.page.get()));
    f.store.setProject(p);
    EXPECT_TRUE(notes->isVisibleTo(f.page.get()));
    EXPECT_FALSE(f.page->notesExpanded());
    QStringList warningsNow;
    for (const IssueGroup& g : overview::splitChecks(p.groupedIssues()).warnings) warningsNow << toQ(g.text);
    EXPECT_EQ(f.page->checkTexts(), warningsNow);
    notes->click();
    EXPECT_TRUE(f.page->notesExpanded());
    notes->click();
    EXPECT_FALSE(f.page->notesExpanded());
}

TEST(OverviewPage, RiggingHeightsTypedInPlace) {
    qputenv("RIG_TEST_PERGROUP", "");
    PageFixture f(testing::arenaShow());
    qunsetenv("RIG_TEST_PERGROUP");
    RiggingHeightFields* rigging = f.page->riggingHeightFields();
    EXPECT_TRUE(rigging->isPerGroupExpanded());
    EXPECT_EQ(rigging->shownGroupLabels(),
              (QStringList{QStringLiteral("Main \u203a Left"), QStringLiteral("Main \u203a Right"),
                           QStringLiteral("Outfill")}));
    QLineEdit* all = rigging->allPointsField()->lineEdit();
    EXPECT_EQ(all->placeholderText(), QStringLiteral("e.g. 18.00"));
    f.focus(all);
    QTest::keyClicks(all, QStringLiteral("18,5"));
    EXPECT_EQ(f.store.project().riggingHeight, 18.5);
    EXPECT_EQ(all->text(), QStringLiteral("18,5"));
    EXPECT_EQ(f.page->window()->focusWidget(), all);
    NumField* left = rigging->groupField("Main \u203a Left");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->lineEdit()->placeholderText(), QStringLiteral("same (18.5)"));

    f.focus(left->lineEdit());
    QTest::keyClicks(left->lineEdit(), QStringLiteral("2"));
    EXPECT_EQ(rigging->groupField("Main \u203a Left"), left); // not rebuilt
    EXPECT_EQ(f.page->window()->focusWidget(), left->lineEdit());
    ASSERT_TRUE(f.store.project().groupRiggingHeights.has_value());
    EXPECT_EQ(groupHeight(f.store.project(), "Main \u203a Left"), 2.0);
    // The arena's hooks hang above 2 m.
    EXPECT_EQ(rigging->warningText(), QStringLiteral("Hook above rigging height: Main L"));
    // A new group (a report that gained an array) while typing: the field stays, with its focus.
    Project more = f.store.project();
    more.report.sources.edit().insert(
        more.report.sources.edit().begin(),
        testSource("Delay", {"ALL", "Delay"}, {testPickup("Front", {1, 20, 9})}));
    f.store.setProject(more);
    EXPECT_EQ(rigging->shownGroupLabels(),
              (QStringList{QStringLiteral("Delay"), QStringLiteral("Main \u203a Left"),
                           QStringLiteral("Main \u203a Right"), QStringLiteral("Outfill")}));
    EXPECT_EQ(rigging->groupField("Main \u203a Left"), left);
    EXPECT_EQ(f.page->window()->focusWidget(), left->lineEdit());
    QTest::keyClick(left->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(f.store.project().groupRiggingHeights.has_value());
    EXPECT_EQ(rigging->warningText(), QString());
    auto* groupsLayout = f.page->findChild<QWidget*>(QStringLiteral("groupRows"))->layout();
    EXPECT_EQ(groupsLayout->indexOf(rigging->groupField("Delay")->parentWidget()), 0);
    EXPECT_EQ(groupsLayout->indexOf(left->parentWidget()), 1);

    // Collapsing keeps the values.
    rigging->disclosure()->click();
    EXPECT_FALSE(rigging->isPerGroupExpanded());
    EXPECT_EQ(f.store.project().riggingHeight, 18.5);
}

TEST(OverviewPage, PerGroupStartsCollapsedWithoutTheVariable) {
    qunsetenv("RIG_TEST_PERGROUP");
    PageFixture f(testing::arenaShow());
    EXPECT_FALSE(f.page->riggingHeightFields()->isPerGroupExpanded());
    EXPECT_FALSE(f.page->findChild<QWidget*>(QStringLiteral("groupRows"))->isVisibleTo(f.page.get()));
    f.page->riggingHeightFields()->disclosure()->click();
    EXPECT_TRUE(f.page->findChild<QWidget*>(QStringLiteral("groupRows"))->isVisibleTo(f.page.get()));
}

TEST(OverviewPage, ImportAndExportButtons) {
    FakePrompts prompts;
    PageFixture f(testing::arenaShow());
    prompts.answerImport({});
    f.page->importButton()->click();
    EXPECT_EQ(prompts.count(FakePrompts::Kind::importPanel), 1);

    // Each button runs its command with the project as it is at the press.
    Project p = f.store.project();
    p.name = "Main Stage";
    f.store.setProject(p);
    for (QPushButton* b : f.page->exportButtons()) {
        prompts.answerExportSave(std::nullopt);
        b->click();
    }
    ASSERT_EQ(prompts.exportSaves().size(), 4u);
    EXPECT_EQ(prompts.exportSaves()[0].fileName, QStringLiteral("Main Stage \u2013 rigging points.pdf"));
    EXPECT_EQ(prompts.exportSaves()[1].fileName, QStringLiteral("Main Stage \u2013 rigging points.csv"));
    EXPECT_EQ(prompts.exportSaves()[2].fileName, QStringLiteral("Main Stage \u2013 rigging points.dxf"));
    EXPECT_EQ(prompts.exportSaves()[3].fileName, QStringLiteral("Main Stage \u2013 crew sheets.pdf"));
    EXPECT_EQ(f.printer.jobCount(), 0);
}

} // namespace
} // namespace rig::app
