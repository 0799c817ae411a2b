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
        EXPECT_TRUE(testing::waitFor([&] { return page->window()->focusWidget() == edit; }));
    }
    QWidget* focused() const { return page->window()->focusWidget(); }
    bool shown(QWidget* w) const { return w->isVisibleTo(page.get()); }
    QLabel* fileLabel(const char* row, const char* which) const {
        return page->findChild<QWidget*>(QString::fromLatin1(row))
            ->findChild<QLabel*>(QString::fromLatin1(which));
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

TEST(OverviewPage, TypedFieldsEditOncePerKeyAndKeepTheirFocus) {
    PageFixture f(testing::arenaShow());
    BoxField* name = f.page->nameField();
    f.focus(name);
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Backspace);
    const std::uint64_t before = f.store.revision();
    QTest::keyClicks(name, QStringLiteral("Main Stage"));
    EXPECT_EQ(f.store.project().name, "Main Stage");
    EXPECT_EQ(f.store.revision() - before, 10u);
    EXPECT_TRUE(f.store.isDirty());
    EXPECT_EQ(f.focused(), name);
    EXPECT_EQ(name->cursorPosition(), 10);
    // A change from elsewhere waits until the focus leaves the field.
    Project other = f.store.project();
    other.name = "Renamed elsewhere";
    f.store.setProject(other);
    EXPECT_EQ(name->text(), QStringLiteral("Main Stage"));

    settings().setValue(authorNameKey, QStringLiteral("Sam Reyes"));
    f.page->refresh();
    BoxField* author = f.page->authorField();
    f.focus(author);
    EXPECT_EQ(name->text(), QStringLiteral("Renamed elsewhere"));
    EXPECT_EQ(author->placeholderText(), QStringLiteral("Sam Reyes"));
    // The author as typed, spaces included; cleared, the project has none.
    QTest::keyClicks(author, QStringLiteral(" Jo "));
    EXPECT_EQ(f.store.project().author, std::optional<std::string>(" Jo "));
    for (int i = 0; i < 4; ++i) QTest::keyClick(author, Qt::Key_Backspace);
    EXPECT_EQ(f.store.project().author, std::nullopt);
    EXPECT_EQ(f.focused(), author);

    // The Delta plate's name heads the motors section.
    QLineEdit* delta = f.page->deltaFields()->nameField();
    f.focus(delta);
    delta->selectAll();
    QTest::keyClicks(delta, QStringLiteral("K2"));
    EXPECT_EQ(f.store.project().delta.name, "K2");
    EXPECT_EQ(f.page->section(QStringLiteral("motors"))->header()->text(), QStringLiteral("Motors & K2"));
    EXPECT_EQ(f.focused(), delta);
}

TEST(OverviewPage, AnotherDocumentReplacesWhatWasBeingTyped) {
    PageFixture f(testing::arenaShow());
    Project saved = f.store.project();
    saved.name = "Saved show";
    saved.riggingHeight = 14.0;
    f.store.setProject(saved);
    const QString path = f.paths.file("saved.qvrig");
    ASSERT_TRUE(f.store.writeProject(path));

    struct Case {
        QLineEdit* field;
        QString shownAfterOpen;
        std::function<QString()> stored;
    };
    const std::vector<Case> cases{
        {f.page->nameField(), QStringLiteral("Saved show"), [&] { return toQ(f.store.project().name); }},
        {f.page->riggingHeightFields()->allPointsField()->lineEdit(), QStringLiteral("14"),
         [&] {
             return NumField::format(f.store.project().riggingHeight, {0, 2});
         }},
        {f.page->deltaFields()->nameField(), QStringLiteral("K1-DELTA"),
         [&] { return toQ(f.store.project().delta.name); }},
    };
    for (const Case& c : cases) {
        f.focus(c.field);
        c.field->selectAll();
        QTest::keyClicks(c.field, QStringLiteral("9"));
        f.store.openProject(path, false);
        EXPECT_EQ(c.field->text(), c.shownAfterOpen);
        // A key typed now edits the open document, not the one before.
        f.focus(c.field);
        c.field->end(false);
        QTest::keyClick(c.field, Qt::Key_Backspace);
        EXPECT_EQ(c.stored(), c.shownAfterOpen.chopped(1));
    }
}

TEST(OverviewPage, FileRowsAndInventoryFollowTheProject) {
    PageFixture f;
    for (const char* row : {"reportFile", "inventoryFile", "dxfFile"}) {
        EXPECT_EQ(f.fileLabel(row, "file")->text(), QStringLiteral("\u2013")) << row;
        EXPECT_FALSE(f.shown(f.fileLabel(row, "detail"))) << row;
    }
    EXPECT_FALSE(f.shown(f.page->section(QStringLiteral("inventory"))));
    EXPECT_TRUE(f.shown(f.page->findChild<QWidget*>(QStringLiteral("noWarnings"))));

    Project p = testing::arenaShow();
    p.reportImportedAt.reset();
    p.inventoryFile = "Arena show inventory.csv";
    for (auto [category, quantity, product] : {std::tuple{"Enclosure", 6, "KS28"},
                                               {"Enclosure", 24, "K2"},
                                               {"Enclosure", 6, "KARA II"},
                                               {"Rigging", 4, "K2-BUMP"},
                                               {"Amplified controller", 12, "LA12X"},
                                               {"Cable", 40, "DO.7"}})
        p.inventory.push_back(InventoryItem{category, quantity, "", product, "", std::nullopt});
    f.store.setProject(p);
    EXPECT_EQ(f.fileLabel("reportFile", "detail")->text(),
              QStringLiteral("Soundvision 3.7.1 \u00b7 4 sources"));
    EXPECT_EQ(f.fileLabel("inventoryFile", "detail")->text(), QStringLiteral("6 lines"));
    EXPECT_EQ(f.fileLabel("dxfFile", "detail")->text(),
              QStringLiteral("4 arrays drawn, exact point coordinates"));

    const std::vector<InventoryBlock*> blocks = f.page->inventoryBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    QStringList lines;
    for (QWidget* line : blocks[0]->findChildren<QWidget*>(QStringLiteral("inventoryLine")))
        lines << line->findChild<QLabel*>(QStringLiteral("name"))->text() + "=" +
                     line->findChild<QLabel*>(QStringLiteral("count"))->text();
    EXPECT_EQ(lines, (QStringList{"K2=24", "KARA II=6", "KS28=6"}));
    EXPECT_EQ(blocks[0]
                  ->findChild<QWidget*>(QStringLiteral("inventoryTotal"))
                  ->findChild<QLabel*>(QStringLiteral("count"))
                  ->text(),
              QStringLiteral("36"));

    // Blocks stay while other things change; an inventory of other categories keeps the section.
    p.name = "Other";
    p.reportImportedAt = fixtures::testDate();
    p.dxf = {};
    f.store.setProject(p);
    EXPECT_EQ(f.page->inventoryBlocks(), blocks);
    EXPECT_TRUE(f.fileLabel("reportFile", "detail")
                    ->text()
                    .startsWith(QStringLiteral("Soundvision 3.7.1 \u00b7 4 sources \u00b7 ")));
    EXPECT_FALSE(f.shown(f.fileLabel("dxfFile", "detail")));
    EXPECT_EQ(f.fileLabel("dxfFile", "file")->text(), QStringLiteral("Arena show.dxf"));
    p.inventory = List<InventoryItem>{InventoryItem{"Cable", 40, "", "DO.7", "", std::nullopt}};
    f.store.setProject(p);
    EXPECT_TRUE(f.shown(f.page->section(QStringLiteral("inventory"))));
    EXPECT_TRUE(f.page->inventoryBlocks().empty());
}

TEST(OverviewPage, BulkMotorSetsOnlyPointsWithout) {
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
    EXPECT_EQ(menu->count(), 1);
    EXPECT_FALSE(f.page->setOnAllButton()->isEnabled());
    EXPECT_TRUE(f.shown(f.page->addMotorsHint()));

    const Motor d8 = f.library.upsert(QStringLiteral("D8+ 1000 kg"), 58);
    f.library.upsert(QStringLiteral("CM Lodestar 1t"), 62);
    ASSERT_EQ(menu->count(), 3);
    EXPECT_FALSE(f.shown(f.page->addMotorsHint()));
    emit menu->activated(menu->findText(QStringLiteral("D8+ 1000 kg \u2013 58 kg")));
    EXPECT_EQ(f.page->bulkMotor(), d8);

    // One assignment per point without a motor, hidden sources included; the flag stays.
    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.page->setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2);
    const Project& now = f.store.project();
    EXPECT_EQ(now.extra(main.id(), "Front"), (PointExtra{a, false}));
    EXPECT_EQ(now.extra(main.id(), "Rear"), (PointExtra{d8, true}));
    EXPECT_EQ(now.extra(out.id(), "Front"), (PointExtra{d8, false}));
    f.page->setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2);

    // The chosen motor changes in the library: the choice goes back to "Choose…".
    f.library.upsert(QStringLiteral("d8+ 1000 KG"), 60);
    EXPECT_EQ(f.page->bulkMotor(), std::nullopt);
    EXPECT_EQ(menu->currentIndex(), 0);
    EXPECT_FALSE(f.page->setOnAllButton()->isEnabled());
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
    QToolButton* notes = f.page->notesDisclosure();
    EXPECT_TRUE(f.shown(notes));
    EXPECT_FALSE(f.page->notesExpanded());
    EXPECT_EQ(f.page->checkTexts(), texts(split.warnings));
    notes->click();
    EXPECT_EQ(f.page->checkTexts(), texts(split.warnings) + texts(split.notes));

    // Typing elsewhere and a change of the checks keep the group open.
    f.focus(f.page->nameField());
    QTest::keyClicks(f.page->nameField(), QStringLiteral("x"));
    Project p = f.store.project();
    p.report.sources.edit().push_back(
        testSource("Lonely", {"ALL", "Lonely"}, {testPickup("Front", {1, 1, 9}, -20.0)}));
    f.store.setProject(p);
    EXPECT_TRUE(f.page->notesExpanded());
    int shown = 0;
    for (QWidget* row : f.page->findChildren<QWidget*>(QStringLiteral("check"))) shown += f.shown(row);
    EXPECT_EQ(shown, f.page->checkTexts().size());
    // Without notes the group goes; when notes come back it shows collapsed, as at first.
    f.store.setProject(Project());
    EXPECT_FALSE(f.shown(notes));
    f.store.setProject(p);
    EXPECT_TRUE(f.shown(notes));
    EXPECT_FALSE(f.page->notesExpanded());
    EXPECT_EQ(f.page->checkTexts(), texts(overview::splitChecks(p.groupedIssues()).warnings));
}

TEST(OverviewPage, RiggingHeightsTypedInPlace) {
    qunsetenv("RIG_TEST_PERGROUP");
    PageFixture f(testing::arenaShow());
    RiggingHeightFields* rigging = f.page->riggingHeightFields();
    EXPECT_FALSE(rigging->isPerGroupExpanded());
    rigging->disclosure()->click();
    EXPECT_TRUE(f.shown(f.page->findChild<QWidget*>(QStringLiteral("groupRows"))));
    QLineEdit* all = rigging->allPointsField()->lineEdit();
    f.focus(all);
    QTest::keyClicks(all, QStringLiteral("18,5"));
    EXPECT_EQ(f.store.project().riggingHeight, 18.5);
    EXPECT_EQ(all->text(), QStringLiteral("18,5"));
    NumField* left = rigging->groupField("Main \u203a Left");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->lineEdit()->placeholderText(), QStringLiteral("same (18.5)"));

    f.focus(left->lineEdit());
    QTest::keyClicks(left->lineEdit(), QStringLiteral("2"));
    EXPECT_EQ(groupHeight(f.store.project(), "Main \u203a Left"), 2.0);
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
    EXPECT_EQ(f.focused(), left->lineEdit());
    QTest::keyClick(left->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(f.store.project().groupRiggingHeights.has_value());
    EXPECT_EQ(rigging->warningText(), QString());
}

TEST(OverviewPage, ImportAndExportButtonsUseTheProjectAtThePress) {
    FakePrompts prompts;
    PageFixture f(testing::arenaShow());
    prompts.answerImport({});
    f.page->importButton()->click();
    EXPECT_EQ(prompts.count(FakePrompts::Kind::importPanel), 1);

    Project p = f.store.project();
    p.name = "Main Stage";
    f.store.setProject(p);
    for (QPushButton* b : f.page->exportButtons()) {
        prompts.answerExportSave(std::nullopt);
        b->click();
    }
    QStringList names;
    for (const auto& save : prompts.exportSaves()) names << save.fileName;
    EXPECT_EQ(names, (QStringList{QStringLiteral("Main Stage \u2013 rigging points.pdf"),
                                  QStringLiteral("Main Stage \u2013 rigging points.csv"),
                                  QStringLiteral("Main Stage \u2013 rigging points.dxf"),
                                  QStringLiteral("Main Stage \u2013 crew sheets.pdf")}));
    EXPECT_EQ(f.printer.jobCount(), 0);
}

} // namespace
} // namespace rig::app
