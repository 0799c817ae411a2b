// The sidebar, the welcome page and the import-changes sheet, offscreen.
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/StoreTesting.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

#include "pages/Preferences.h"
#include "shell/ImportChangesDialog.h"
#include "shell/QtText.h"
#include "shell/SidebarWidget.h"
#include "shell/WelcomePage.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace rig::app {
namespace {

using testing::FakePrompts;

// --- Sidebar ----------------------------------------------------------------------------

class SidebarTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = testing::makeStore();
        store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    }

    Project show() {
        Source main = fixtures::flownArray("Main L", {"ALL", "Main"}, 3);
        Source side = fixtures::groundStack("Subs", {"ALL", "Subs"}, 2);
        Source mainR = fixtures::flownArray("Main R", {"ALL", "Main"}, 2, 2, "K2_C");
        return fixtures::projectWith({main, mainR, side});
    }

    testing::TempAppPaths paths;
    FakePrompts prompts;
    std::unique_ptr<ProjectStore> store;
};

TEST_F(SidebarTest, SectionsRowsAndMarks) {
    Project project = show();
    const std::string mainL = project.report.sources[0].id();
    // A Delta flag alone still counts as set.
    project.setExtra(mainL, "Front", PointExtra{std::nullopt, true});
    store->setProject(project);
    SidebarWidget sidebar(*store);
    sidebar.resize(270, 600);
    sidebar.show();

    const auto headings = sidebar.headings();
    ASSERT_EQ(headings.size(), 2u);
    EXPECT_EQ(headings[0].label, "Main");
    EXPECT_EQ(headings[0].count, 2);
    EXPECT_EQ(headings[1].label, "Subs");
    EXPECT_EQ(headings[1].count, 1);

    const auto rows = sidebar.rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "Main L");
    // "Flown" with a capital is not "flown": the word is matched exactly.
    EXPECT_EQ(rows[0].subtitle, "3× K2 · stacked");
    EXPECT_TRUE(rows[0].motorsMark);
    EXPECT_EQ(rows[1].subtitle, "2× K2 · stacked");
    EXPECT_FALSE(rows[1].motorsMark);
    EXPECT_EQ(rows[2].subtitle, "2× KS28 · stacked");
    // The marks follow the checks of the project.
    const std::vector<Issue> issues = store->project().issues();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].issue, issueMark(highestIssueLevel(issues, rows[i].sourceID))) << i;
    }
    EXPECT_EQ(sidebar.sourceEye(0)->toolTip(), "Visible to the crew – click to hide");
}

TEST_F(SidebarTest, EyesHideSourcesAndSectionsWithoutSelecting) {
    store->setProject(show());
    SidebarWidget sidebar(*store);
    sidebar.show();
    QSignalSpy selected(&sidebar, &SidebarWidget::selectionChanged);
    const Project& p = store->project();
    const std::string a = p.report.sources[0].id(), b = p.report.sources[1].id();

    QTest::mouseClick(sidebar.sourceEye(0), Qt::LeftButton);
    EXPECT_TRUE(store->project().isHidden(a));
    EXPECT_EQ(selected.count(), 0) << "an eye does not select its row";
    EXPECT_TRUE(sidebar.rows()[0].hidden);
    EXPECT_EQ(sidebar.sourceEye(0)->toolTip(), "Hidden from the crew – click to show");
    EXPECT_FALSE(sidebar.headings()[0].allHidden);

    // Some hidden: the heading eye hides all; all hidden: it shows all.
    sidebar.headingEye(0)->click();
    EXPECT_TRUE(store->project().isHidden(a));
    EXPECT_TRUE(store->project().isHidden(b));
    EXPECT_TRUE(sidebar.headings()[0].allHidden);
    EXPECT_TRUE(sidebar.headingEye(0)->isHiddenState());
    sidebar.headingEye(0)->click();
    EXPECT_FALSE(store->project().hiddenSources.has_value()) << "an empty set is stored as none";
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(sidebar.rebuildCount(), 1) << "hiding updates the rows in place";
}

TEST_F(SidebarTest, ClicksAndArrowKeysSelect) {
    store->setProject(show());
    SidebarWidget sidebar(*store);
    sidebar.resize(270, 600);
    sidebar.show();
    QSignalSpy selected(&sidebar, &SidebarWidget::selectionChanged);
    const std::string second = store->project().report.sources[1].id();

    QTest::mouseClick(sidebar.sourceRow(1), Qt::LeftButton, {}, QPoint(30, 10));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.last().at(0).value<std::optional<Selection>>(), Selection::source(second));
    EXPECT_TRUE(sidebar.rows()[1].selected);

    QTest::keyClick(&sidebar, Qt::Key_Down);
    EXPECT_TRUE(sidebar.rows()[2].selected);
    QTest::keyClick(&sidebar, Qt::Key_Up);
    QTest::keyClick(&sidebar, Qt::Key_Up);
    QTest::keyClick(&sidebar, Qt::Key_Up);
    EXPECT_EQ(sidebar.selection(), Selection::overview());
    QTest::keyClick(&sidebar, Qt::Key_Up);
    EXPECT_EQ(sidebar.selection(), Selection::overview()) << "stays at the top";
    EXPECT_EQ(selected.count(), 5);

    // A new report with other sources rebuilds the rows and keeps a selection that still exists.
    sidebar.setSelection(Selection::source(second));
    Project more = store->project();
    more.report.sources.push_back(fixtures::flownArray("Delay", {"ALL", "Delays"}, 4));
    store->setProject(more);
    EXPECT_EQ(sidebar.rebuildCount(), 2);
    EXPECT_TRUE(sidebar.rows()[1].selected);
}

TEST_F(SidebarTest, KeepsItsScrollPositionWhenRowsAreBuiltAnew) {
    std::vector<Source> sources;
    for (int i = 0; i < 40; ++i)
        sources.push_back(
            fixtures::flownArray("Array " + std::to_string(i), {"ALL", "G" + std::to_string(i % 3)}, 4));
    store->setProject(fixtures::projectWith(sources));
    SidebarWidget sidebar(*store);
    sidebar.resize(270, 300);
    sidebar.show();
    ASSERT_TRUE(testing::waitFor([&] { return sidebar.verticalScrollBar()->maximum() > 200; }));
    sidebar.verticalScrollBar()->setValue(200);
    Project renamed = store->project();
    renamed.report.sources.mut(5).name = "Renamed";
    store->setProject(renamed);
    EXPECT_EQ(sidebar.rebuildCount(), 2);
    QTest::qWait(20);
    EXPECT_EQ(sidebar.verticalScrollBar()->value(), 200);
}

// --- Welcome page -------------------------------------------------------------------------

class WelcomeTest : public ::testing::Test {
protected:
    void SetUp() override { store = testing::makeStore(); }

    testing::TempAppPaths paths;
    test::TempDir files;
    FakePrompts prompts;
    std::unique_ptr<ProjectStore> store;
};

TEST_F(WelcomeTest, RecentBlockShowsTheSixMostRecent) {
    WelcomePage page(*store);
    page.show();
    EXPECT_FALSE(page.recentBlock()->isVisible()) << "no recent files: no block, no heading";

    for (int i = 0; i < 10; ++i) {
        const auto file = files.write("Show " + std::to_string(i) + ".qvrig", Project().fileText());
        store->rememberRecent(fromPath(file));
    }
    EXPECT_TRUE(page.recentBlock()->isVisible());
    ASSERT_EQ(page.recentButtons().size(), 6);
    EXPECT_EQ(page.recentButtons()[0]->text(), "Show 9");
    EXPECT_EQ(page.recentButtons()[5]->text(), "Show 4");

    // A click opens that file, after the save prompt (nothing to save here).
    page.recentButtons()[2]->click();
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Show 7.qvrig"));
}

TEST_F(WelcomeTest, RecentEntriesShowTheNameAsItIsInTheLinkColourOfTheAppearance) {
    const auto file = files.write("R&D show.qvrig", Project().fileText());
    store->rememberRecent(fromPath(file));
    WelcomePage page(*store);
    page.show();
    ASSERT_EQ(page.recentButtons().size(), 1);
    QPushButton* entry = page.recentButtons()[0];
    EXPECT_EQ(entry->text(), "R&&D show") << "shown as it is, no mnemonic";

    // The appearance changes after the page was made (the stored one applies at start-up).
    for (const auto& [look, link] : {std::pair{Appearance::dark, QColor(0x6c, 0xb4, 0xff)},
                                     std::pair{Appearance::light, QColor(0x0a, 0x58, 0xca)}}) {
        applyAppearance(look);
        QCoreApplication::processEvents(); // the palette reaches the window through its event queue
        const QImage image = entry->grab().toImage();
        bool shown = false; // anti-aliased text: a few pixels close to the colour
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                shown = shown || std::abs(c.red() - link.red()) + std::abs(c.green() - link.green()) +
                                         std::abs(c.blue() - link.blue()) <
                                     40;
            }
        }
        EXPECT_TRUE(shown) << link.name().toStdString();
    }
    applyAppearance(Appearance::system);
}

TEST_F(WelcomeTest, ProgressLineExactlyWhileImporting) {
    WelcomePage page(*store);
    page.show();
    EXPECT_FALSE(page.progressLine()->isVisible());
    store->setImporting(true);
    EXPECT_TRUE(page.progressLine()->isVisible());
    store->setImporting(false);
    EXPECT_FALSE(page.progressLine()->isVisible());
}

TEST_F(WelcomeTest, ReturnOpensTheImportPanelAndTheButtonsTheirPanels) {
    WelcomePage page(*store);
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    EXPECT_EQ(page.importButton()->text(), "Import Files…");
    EXPECT_EQ(page.openButton()->text(), "Open Project…");

    prompts.answerImport({});
    QTest::keyClick(&page, Qt::Key_Return);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::importPanel), 1);

    prompts.answerOpen(std::nullopt);
    page.openButton()->click();
    EXPECT_EQ(prompts.count(FakePrompts::Kind::openPanel), 1);
}

TEST_F(WelcomeTest, RecentTitlesDropOnlyTheLastExtension) {
    EXPECT_EQ(WelcomePage::recentTitle(QStringLiteral("/a/b/Main Stage.qvrig")), "Main Stage");
    EXPECT_EQ(WelcomePage::recentTitle(QStringLiteral("/a/b/Tour.2025.qvrig")), "Tour.2025");
    EXPECT_EQ(WelcomePage::recentTitle(QStringLiteral("/a/b/noext")), "noext");
}

// --- Import changes sheet ------------------------------------------------------------------

QStringList texts(const QWidget& widget) {
    QStringList out;
    for (const QLabel* label : widget.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&widget)) out << label->text();
    }
    return out;
}

TEST(ImportChangesSheet, NoChangesSaysSo) {
    ImportChangesDialog sheet({});
    const QStringList shown = texts(sheet);
    EXPECT_TRUE(shown.contains("New report imported"));
    EXPECT_TRUE(
        shown.contains("No changes to arrays, angles, points or loads compared with the previous report."));
    EXPECT_FALSE(shown.contains("Publish to update the crew link."));
    EXPECT_EQ(sheet.scrollArea(), nullptr);
    EXPECT_EQ(sheet.okButton()->text(), "OK");
}

TEST(ImportChangesSheet, EveryChangeIsASelectablePlainLineAndDuplicatesShowTwice) {
    ImportChangesDialog sheet(
        {"Main L: 12 → 14 enclosures", "<b>Side</b> removed", "Main L: 12 → 14 enclosures"});
    const QStringList shown = texts(sheet);
    EXPECT_TRUE(shown.contains(
        "Changes compared with the previous report. Your motors and Delta settings are kept."));
    EXPECT_TRUE(shown.contains("Publish to update the crew link."));
    ASSERT_EQ(sheet.lineLabels().size(), 3);
    EXPECT_EQ(sheet.lineLabels()[0]->text(), "• Main L: 12 → 14 enclosures");
    EXPECT_EQ(sheet.lineLabels()[2]->text(), "• Main L: 12 → 14 enclosures");
    EXPECT_EQ(sheet.lineLabels()[1]->textFormat(), Qt::PlainText);
    EXPECT_TRUE(sheet.lineLabels()[1]->textInteractionFlags() & Qt::TextSelectableByMouse);
}

TEST(ImportChangesSheet, AListTallerThanTheCapScrollsAndReturnCloses) {
    QStringList many;
    for (int i = 0; i < 80; ++i) many << QStringLiteral("Array %1: angle 2° → 3°").arg(i);
    ImportChangesDialog sheet(many);
    sheet.show();
    EXPECT_EQ(sheet.scrollArea()->height(), ImportChangesDialog::maxListHeight);
    EXPECT_GT(sheet.scrollArea()->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(sheet.width(), ImportChangesDialog::sheetWidth);

    ImportChangesDialog one({"Only change"});
    one.show();
    EXPECT_LT(one.scrollArea()->height(), 80) << "a short list takes its own height";

    QSignalSpy finished(&sheet, &QDialog::finished);
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
}

} // namespace
} // namespace rig::app
