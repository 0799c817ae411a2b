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

class ShellPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    }

    testing::TempAppPaths paths;
    test::TempDir files;
    FakePrompts prompts;
    std::unique_ptr<ProjectStore> store = testing::makeStore();
};

TEST_F(ShellPagesTest, SidebarEyesHideWithoutSelectingAndClicksAndKeysSelect) {
    Project project = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 3),
                                             fixtures::flownArray("Main R", {"ALL", "Main"}, 2),
                                             fixtures::groundStack("Subs", {"ALL", "Subs"}, 2)});
    const std::string a = project.report.sources[0].id(), b = project.report.sources[1].id();
    project.setExtra(a, "Front", PointExtra{std::nullopt, true}); // a Delta flag alone counts as set
    store->setProject(project);
    SidebarWidget sidebar(*store);
    sidebar.resize(270, 600);
    sidebar.show();
    QSignalSpy selected(&sidebar, &SidebarWidget::selectionChanged);
    ASSERT_EQ(sidebar.headings().size(), 2u);
    EXPECT_EQ(sidebar.headings()[0].count, 2);
    EXPECT_TRUE(sidebar.rows()[0].motorsMark);
    EXPECT_FALSE(sidebar.rows()[1].motorsMark);

    QTest::mouseClick(sidebar.sourceEye(0), Qt::LeftButton);
    EXPECT_TRUE(store->project().isHidden(a));
    EXPECT_TRUE(sidebar.rows()[0].hidden);
    // Some hidden: the heading eye hides all; all hidden: it shows all.
    sidebar.headingEye(0)->click();
    EXPECT_TRUE(store->project().isHidden(b));
    EXPECT_TRUE(sidebar.headings()[0].allHidden);
    sidebar.headingEye(0)->click();
    EXPECT_FALSE(store->project().hiddenSources.has_value()) << "an empty set is stored as none";
    EXPECT_EQ(selected.count(), 0) << "an eye does not select its row";
    EXPECT_EQ(sidebar.rebuildCount(), 1) << "hiding updates the rows in place";

    QTest::mouseClick(sidebar.sourceRow(1), Qt::LeftButton, {}, QPoint(30, 10));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.last().at(0).value<std::optional<Selection>>(), Selection::source(b));
    QTest::keyClick(&sidebar, Qt::Key_Down);
    EXPECT_TRUE(sidebar.rows()[2].selected);
    for (int i = 0; i < 4; ++i) QTest::keyClick(&sidebar, Qt::Key_Up);
    EXPECT_EQ(sidebar.selection(), Selection::overview()) << "stays at the top";
    EXPECT_EQ(selected.count(), 5);

    // A new report rebuilds the rows and keeps a selection that still exists.
    sidebar.setSelection(Selection::source(b));
    Project more = store->project();
    more.report.sources.push_back(fixtures::flownArray("Delay", {"ALL", "Delays"}, 4));
    store->setProject(more);
    EXPECT_EQ(sidebar.rebuildCount(), 2);
    EXPECT_TRUE(sidebar.rows()[1].selected);
}

TEST_F(ShellPagesTest, SidebarKeepsItsScrollPositionWhenRowsAreBuiltAnew) {
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

TEST_F(ShellPagesTest, WelcomePageRecentFilesProgressAndPanels) {
    WelcomePage page(*store);
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    EXPECT_FALSE(page.recentBlock()->isVisible()) << "no recent files: no block, no heading";
    store->setImporting(true);
    EXPECT_TRUE(page.progressLine()->isVisible());
    store->setImporting(false);
    EXPECT_FALSE(page.progressLine()->isVisible());

    prompts.answerImport({});
    QTest::keyClick(&page, Qt::Key_Return);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::importPanel), 1);
    prompts.answerOpen(std::nullopt);
    page.openButton()->click();
    EXPECT_EQ(prompts.count(FakePrompts::Kind::openPanel), 1);

    for (int i = 0; i < 10; ++i)
        store->rememberRecent(
            fromPath(files.write("Show " + std::to_string(i) + ".qvrig", Project().fileText())));
    store->rememberRecent(fromPath(files.write("R&D show.qvrig", Project().fileText())));
    EXPECT_TRUE(page.recentBlock()->isVisible());
    ASSERT_EQ(page.recentButtons().size(), 6);
    QPushButton* entry = page.recentButtons()[0];
    EXPECT_EQ(entry->text(), "R&&D show") << "shown as it is, no mnemonic";
    EXPECT_EQ(page.recentButtons()[5]->text(), "Show 5");

    // The link colour follows an appearance chosen after the page was made.
    for (const auto& [look, link] : {std::pair{Appearance::dark, QColor(0x6c, 0xb4, 0xff)},
                                     std::pair{Appearance::light, QColor(0x0a, 0x58, 0xca)}}) {
        applyAppearance(look);
        QCoreApplication::processEvents();
        const QImage image = entry->grab().toImage();
        bool shown = false; // anti-aliased text: a few pixels close to the colour
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                shown = shown || std::abs(c.red() - link.red()) + std::abs(c.green() - link.green()) +
                                         std::abs(c.blue() - link.blue()) <
                                     40;
            }
        EXPECT_TRUE(shown) << link.name().toStdString();
    }
    applyAppearance(Appearance::system);

    page.recentButtons()[2]->click(); // nothing to save: opens at once
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Show 8.qvrig"));
}

TEST(ImportChangesSheet, PlainSelectableLinesScrollingPastTheCap) {
    ImportChangesDialog none({});
    QStringList shown;
    for (const QLabel* label : none.findChildren<QLabel*>())
        if (label->isVisibleTo(&none)) shown << label->text();
    EXPECT_TRUE(
        shown.contains("No changes to arrays, angles, points or loads compared with the previous report."));
    EXPECT_FALSE(shown.contains("Publish to update the crew link."));

    ImportChangesDialog sheet(
        {"Main L: 12 → 14 enclosures", "<b>Side</b> removed", "Main L: 12 → 14 enclosures"});
    ASSERT_EQ(sheet.lineLabels().size(), 3) << "duplicates show twice";
    EXPECT_EQ(sheet.lineLabels()[2]->text(), "• Main L: 12 → 14 enclosures");
    EXPECT_EQ(sheet.lineLabels()[1]->textFormat(), Qt::PlainText);
    EXPECT_TRUE(sheet.lineLabels()[1]->textInteractionFlags() & Qt::TextSelectableByMouse);

    QStringList many;
    for (int i = 0; i < 80; ++i) many << QStringLiteral("Array %1: angle 2° → 3°").arg(i);
    ImportChangesDialog tall(many);
    tall.show();
    EXPECT_EQ(tall.scrollArea()->height(), ImportChangesDialog::maxListHeight);
    EXPECT_GT(tall.scrollArea()->verticalScrollBar()->maximum(), 0);
    QSignalSpy finished(&tall, &QDialog::finished);
    QTest::keyClick(&tall, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
}

} // namespace
} // namespace rig::app
