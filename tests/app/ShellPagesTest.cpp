// What the window and its sidebar show for a project; the welcome page and the changes sheet.
#include "RecentFiles.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/StoreTesting.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

#include "ImportChangesDialog.h"
#include "Program.h"
#include "QtText.h"
#include "SidebarModel.h"
#include "SidebarWidget.h"
#include "WelcomePage.h"
#include "WindowState.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace rig::app {
namespace {

using testing::FakePrompts;

TEST(WindowState, DetailAndSnapshotSteps) {
    // Two sources with one identifier: the first in report order is shown.
    const Project project =
        fixtures::projectOf({fixtures::testSource("A", {"ALL", "Main"}), fixtures::testSource("B", {"Side"}),
                             fixtures::testSource("B", {"Side"})});
    const std::pair<std::optional<Selection>, std::optional<std::size_t>> details[] = {
        {std::nullopt, std::nullopt},
        {Selection::source("Side/B"), 1},
        {Selection::source("overview"), std::nullopt}, // a step text naming no source
        {Selection::source("side/b"), std::nullopt},   // case matters
    };
    for (const auto& [selection, index] : details) EXPECT_EQ(detailSource(project, selection), index);
    EXPECT_EQ(Selection::source("Caf\xC3\xA9"), Selection::source("Cafe\xCC\x81")) << "compared canonically";

    const WindowView start{Mode::edit, false, Selection::source("Main/A")};
    const WindowView phone{Mode::crew, true, Selection::source("Main/A")};
    const std::tuple<WindowView, std::optional<QString>, WindowView> steps[] = {
        {start, "phone", {Mode::crew, true, Selection::source("Main/A")}},
        {phone, "crew", {Mode::crew, false, Selection::source("Main/A")}}, // the wide preview
        {phone, "Side/B", {Mode::edit, true, Selection::source("Side/B")}},
        {phone, std::nullopt, {Mode::edit, true, Selection::overview()}},
        {start, "Crew", {Mode::edit, false, Selection::source("Crew")}}, // only the exact words
    };
    for (const auto& [from, step, to] : steps)
        EXPECT_EQ(applyDevSelect(from, step), to) << step.value_or("-").toStdString();
}

TEST(SidebarModel, LabelsSectionsSubtitlesAndMarks) {
    const std::pair<std::vector<std::string>, std::string> labels[] = {
        {{"ALL", "Main"}, "Main"},
        {{"Main", "ALL"}, "Main"},
        {{"ALL", "Main", "Left"}, "Main › Left"},
        {{"ALL", "ALL"}, ""},
    };
    for (const auto& [groups, label] : labels)
        EXPECT_EQ(sidebarLabel(fixtures::testSource("S", groups)), label);

    // Only consecutive sources share a section.
    const std::vector<SidebarSection> sections = sidebarSections(
        fixtures::projectOf({fixtures::testSource("A", {"ALL", "Main"}), fixtures::testSource("A2", {"Main"}),
                             fixtures::testSource("B", {"Side"}), fixtures::testSource("C", {"Main", "ALL"}),
                             fixtures::testSource("D", {}), fixtures::testSource("E", {"ALL"})}));
    ASSERT_EQ(sections.size(), 5u);
    EXPECT_EQ(sections[0].sources, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(sections[2].sources, (std::vector<std::size_t>{3}));

    const std::tuple<std::vector<std::string>, std::string, std::string> subtitles[] = {
        {{"K2", "K2", "K2_C", "KARA"}, "flown", "3× K2 + 1× KARA · flown"},
        {{"K2_C_C"}, "", "1× K2_C · stacked"},
    };
    for (const auto& [types, configuration, subtitle] : subtitles) {
        Source source = fixtures::testSource("S", {"Main"});
        std::vector<Enclosure> enclosures(types.size());
        for (std::size_t i = 0; i < types.size(); ++i) {
            enclosures[i].index = std::int64_t(i + 1);
            enclosures[i].type = types[i];
        }
        source.enclosures = List<Enclosure>(std::move(enclosures));
        source.configuration = configuration;
        EXPECT_EQ(sourceSubtitle(source), subtitle);
    }

    const SourceIssueLevels levels({
        {Issue::Level::warning, "Main/A", ""},
        {Issue::Level::error, "Main/A", ""},
        {Issue::Level::warning, "Main/A", ""},
        {Issue::Level::check, "Main/B", ""},
        {Issue::Level::warning, "Main/C", ""},
        {Issue::Level::error, std::nullopt, ""},
        {Issue::Level::warning, "Main/Caf\xC3\xA9", ""},
    });
    const std::tuple<std::string, std::optional<Issue::Level>, IssueMark> marks[] = {
        {"Main/A", Issue::Level::error, IssueMark::error},
        {"Main/B", Issue::Level::check, IssueMark::none},
        {"Main/C", Issue::Level::warning, IssueMark::warning},
        {"Main/D", std::nullopt, IssueMark::none},
        {"Main/Cafe\xCC\x81", Issue::Level::warning, IssueMark::warning}, // compared canonically
    };
    for (const auto& [id, level, mark] : marks) {
        EXPECT_EQ(levels.highest(id), level) << id;
        EXPECT_EQ(issueMark(levels.highest(id)), mark) << id;
    }
}

TEST(Program, CommandLineFilesAreLocalFilesInTheirOrder) {
    const QList<QUrl> files = commandLineFiles({"b report.pdf", "--verbose", "/shows/a.qvrig", QString(),
                                                "file:///shows/c%20d.dxf", "sftp://host/e.pdf"});
    ASSERT_EQ(files.size(), 4);
    EXPECT_EQ(files[3], QUrl("sftp://host/e.pdf")); // named by the import as not taken
    EXPECT_EQ(files[0], QUrl::fromLocalFile(QDir::current().filePath("b report.pdf")));
    EXPECT_EQ(files[1], QUrl::fromLocalFile("/shows/a.qvrig"));
    EXPECT_EQ(files[2].toLocalFile(), "/shows/c d.dxf");
}

// Files from a later start come in as a drop: never while a dialog is open.
TEST(Program, FilesOfALaterStartWaitForAnOpenDialog) {
    testing::TempAppPaths paths;
    FakePrompts prompts;
    test::TempDir files;
    const QString show = fromPath(files.write("show.qvrig", testing::showProject().fileText()));
    Program program;
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(testing::waitFor([] { return QGuiApplication::modalWindow() != nullptr; }));
    program.startedAgain({QUrl::fromLocalFile(show)});
    QCoreApplication::processEvents();
    EXPECT_TRUE(program.store().project().isEmpty());
    dialog.close();
    EXPECT_TRUE(testing::waitFor([&] { return program.store().filePath() == show; }));
    EXPECT_EQ(program.store().project(), testing::showProject());
}

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
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_TRUE(sidebar.rows()[0].hidden);
    // Some hidden: the heading eye hides all; all hidden: it shows all.
    sidebar.headingEye(0)->click();
    EXPECT_TRUE(store->project().isHidden(b));
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_TRUE(sidebar.headings()[0].allHidden);
    sidebar.headingEye(0)->click();
    EXPECT_FALSE(store->project().hiddenSources.has_value()) << "an empty set is stored as none";
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(selected.count(), 0) << "an eye does not select its row";
    EXPECT_EQ(sidebar.rebuildCount(), 1) << "hiding updates the rows in place";

    QTest::mouseClick(sidebar.sourceRow(1), Qt::LeftButton, {}, QPoint(30, 10));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.last().at(0).value<std::optional<Selection>>(), Selection::source(b));
    QTest::keyClick(&sidebar, Qt::Key_Down);
    EXPECT_TRUE(sidebar.rows()[2].selected);

    // A new report rebuilds the rows and keeps a selection that still exists.
    sidebar.setSelection(Selection::source(b));
    Project more = store->project();
    more.report.sources.push_back(fixtures::flownArray("Delay", {"ALL", "Delays"}, 4));
    store->setProject(more);
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(sidebar.rebuildCount(), 2);
    EXPECT_TRUE(sidebar.rows()[1].selected);
}

// Everything the sidebar does, done from the keyboard, and what assistive tools are told: names,
// roles and the selected (and, with the focus, current) item, as a list view tells them.
TEST_F(ShellPagesTest, SidebarWorksFromTheKeyboardAndNamesItsRowsAndButtons) {
    Project project = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 3),
                                             fixtures::flownArray("Main R", {"ALL", "Main"}, 2),
                                             fixtures::groundStack("Subs", {"ALL", "Subs"}, 2)});
    project.report.sources.edit()[1].warnings.push_back(
        ReportWarning{ReportWarning::Level::error, "Overload"});
    const std::string a = project.report.sources[0].id(), b = project.report.sources[1].id();
    store->setProject(project);
    SidebarWidget sidebar(*store);
    sidebar.resize(270, 600);
    sidebar.show();
    QApplication::setActiveWindow(&sidebar);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sidebar));
    sidebar.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(testing::waitFor([&] { return sidebar.hasFocus(); }));
    QSignalSpy selected(&sidebar, &SidebarWidget::selectionChanged);
    const auto item = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w); };

    QAccessibleInterface* overview = item(sidebar.overviewRow());
    EXPECT_EQ(overview->role(), QAccessible::ListItem);
    EXPECT_EQ(overview->text(QAccessible::Name), "Overview");
    EXPECT_EQ(overview->parent()->role(), QAccessible::List);
    EXPECT_TRUE(overview->state().selected && overview->state().focused);
    QAccessibleInterface* second = item(sidebar.sourceRow(1));
    EXPECT_EQ(second->text(QAccessible::Name), "Main R");
    EXPECT_EQ(second->text(QAccessible::Description), "2× K2 · stacked, Errors");
    EXPECT_TRUE(second->state().selectable);

    // Arrows, Home and End move the selection; the selected row is the focused item.
    QTest::keyClick(&sidebar, Qt::Key_Down);
    QTest::keyClick(&sidebar, Qt::Key_Down);
    EXPECT_TRUE(second->state().selected && second->state().focused);
    EXPECT_FALSE(overview->state().selected);
    QTest::keyClick(&sidebar, Qt::Key_End);
    EXPECT_EQ(selected.last().at(0).value<std::optional<Selection>>(), Selection::source("ALL/Subs/Subs"));
    QTest::keyClick(&sidebar, Qt::Key_Home);
    EXPECT_TRUE(overview->state().selected);
    // The list holds the rows and headings in their order.
    QStringList list;
    for (int i = 0; i < overview->parent()->childCount(); ++i) {
        const QAccessibleInterface* child = overview->parent()->child(i);
        const QAccessible::Role role = child->role();
        list << (role == QAccessible::ListItem  ? "item "
                 : role == QAccessible::Heading ? "heading "
                                                : "? ") +
                    child->text(QAccessible::Name);
    }
    EXPECT_EQ(list, (QStringList{"item Overview", "heading Main", "item Main L", "item Main R",
                                 "heading Subs", "item Subs"}));

    // Tab reaches every eye in order; Space hides, and the eye says so.
    const std::vector<QWidget*> eyes = {sidebar.headingEye(0), sidebar.sourceEye(0), sidebar.sourceEye(1),
                                        sidebar.headingEye(1), sidebar.sourceEye(2)};
    for (QWidget* eye : eyes) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), eye);
    }
    QTest::keyClick(&sidebar, Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), sidebar.sourceEye(1));
    QAccessibleInterface* eye = item(sidebar.sourceEye(1));
    EXPECT_EQ(eye->text(QAccessible::Name), "Hide Main R from the crew");
    EXPECT_TRUE(eye->state().checkable && !eye->state().checked);
    QTest::keyClick(sidebar.sourceEye(1), Qt::Key_Space);
    EXPECT_TRUE(store->project().isHidden(b));
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_TRUE(eye->state().checked);
    EXPECT_TRUE(second->text(QAccessible::Description).endsWith("Hidden from the crew"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(item(sidebar.headingEye(0))->text(QAccessible::Name), "Hide all of Main from the crew");
    EXPECT_TRUE(store->project().isHidden(a) && store->project().isHidden(b));
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_TRUE(item(sidebar.headingEye(0))->state().checked);
    EXPECT_EQ(selected.count(), 4) << "the eyes select nothing";
}

// Line breaks in names read from a report are shown as spaces in a sidebar row, its heading,
// its subtitle and the window title, and stay in the project as they came.
TEST_F(ShellPagesTest, SidebarAndTitleShowLineBreaksInNamesAsSpaces) {
    const std::pair<std::string, std::string> names[] = {
        {"Main\u2028L", "Main L"}, {"Main\u2029R", "Main R"}, {"Out\nFill", "Out Fill"},
        {"Sub\r\nL", "Sub L"},     {"Sub\xC2\x85R", "Sub R"}, {"Delay\v1\f2", "Delay 1 2"},
    };
    std::vector<Source> sources;
    for (const auto& [name, shown] : names)
        sources.push_back(fixtures::flownArray(name, {"ALL", "Zone\u2029" + name}, 2, 2, "K2\u2028C"));
    Project project = fixtures::projectWith(std::move(sources));
    project.name = "Tour\u2029Show";
    store->setProject(project);
    SidebarWidget sidebar(*store);
    sidebar.resize(270, 600);
    sidebar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sidebar));

    const QRegularExpression lineBreak(QStringLiteral("[\\n\\r\\v\\f\\x{85}\\x{2028}\\x{2029}]"));
    ASSERT_EQ(sidebar.rows().size(), std::size(names));
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto& [name, shown] = names[i];
        EXPECT_EQ(sidebar.rows()[i].name, toQ(shown)) << name;
        EXPECT_EQ(sidebar.headings()[i].label, toQ("Zone " + shown)) << name;
        EXPECT_TRUE(sidebar.rows()[i].subtitle.startsWith(QStringLiteral("2× K2 C · "))) << name;
        // What is drawn and what assistive tools read.
        for (const QLabel* label : sidebar.sourceRow(int(i))->findChildren<QLabel*>())
            EXPECT_FALSE(label->text().contains(lineBreak)) << name << " " << label->text().toStdString();
        EXPECT_EQ(QAccessible::queryAccessibleInterface(sidebar.sourceRow(int(i)))->text(QAccessible::Name),
                  toQ(shown));
        EXPECT_EQ(store->project().report.sources[i].name, name) << "stored as it came";
    }
    EXPECT_FALSE(store->windowTitle().contains(lineBreak)) << store->windowTitle().toStdString();
    EXPECT_TRUE(store->windowTitle().startsWith(QStringLiteral("Tour Show")));
    EXPECT_EQ(store->project().name, "Tour\u2029Show");
}

// Counts the moves and resizes of the widgets inside one widget.
class GeometryEvents : public QObject {
public:
    explicit GeometryEvents(QWidget* inside) : inside_(inside) { qApp->installEventFilter(this); }
    ~GeometryEvents() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && object->isWidgetType() &&
            inside_->isAncestorOf(static_cast<QWidget*>(object)))
            ++count;
        return false;
    }

private:
    QWidget* inside_;
};

// A large show: the window answers while the rows are built, each row is laid out a bounded
// number of times however many rows there are, and Tab still runs through every eye in order
// and then on to what follows the sidebar.
TEST_F(ShellPagesTest, SidebarOfALargeShowKeepsTheWindowAnsweringAndLaysEachRowOutOnce) {
    store->setProject(fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 3)}));
    QWidget window;
    auto* sidebar = new SidebarWidget(*store);
    auto* after = new QLineEdit;
    auto* row = new QHBoxLayout(&window);
    row->addWidget(sidebar);
    row->addWidget(after);
    window.resize(700, 600);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const std::size_t sources = 3 * SidebarWidget::entriesPerBlock;
    const Project large = fixtures::largeProject(int(sources), 1, 1);
    std::optional<std::size_t> rowsWhenAnswered;
    GeometryEvents geometry(sidebar);
    QTimer::singleShot(0, &window, [&] { rowsWhenAnswered = sidebar->rows().size(); });
    store->setProject(large);
    EXPECT_LT(sidebar->rows().size(), sources) << "the first rows at once, the others later";
    ASSERT_TRUE(testing::waitFor([&] { return sidebar->rows().size() == sources; }));
    ASSERT_TRUE(rowsWhenAnswered.has_value());
    EXPECT_LT(*rowsWhenAnswered, sources) << "events were handled while the rows were built";
    QCoreApplication::processEvents();
    const auto widgets = int(sidebar->findChildren<QWidget*>().size());
    EXPECT_LE(geometry.count, 4 * widgets) << "widgets moved or resized again for every row added";
    EXPECT_EQ(sidebar->rows().back().sourceID, large.report.sources.back().id());
    EXPECT_EQ(sidebar->headings().size(), sources / 4);

    // The eyes in the tab order: each heading's before its rows, block after block.
    std::vector<QWidget*> eyes;
    for (std::size_t s = 0, r = 0; s < sidebar->headings().size(); ++s) {
        eyes.push_back(sidebar->headingEye(int(s)));
        for (int k = 0; k < sidebar->headings()[s].count; ++k) eyes.push_back(sidebar->sourceEye(int(r++)));
    }
    std::vector<QWidget*> chain;
    for (QWidget* w = sidebar->nextInFocusChain(); w != sidebar && chain.size() < eyes.size();
         w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && w->isVisibleTo(&window)) chain.push_back(w);
    EXPECT_TRUE(chain == eyes);
    sidebar->setFocus(Qt::TabFocusReason);
    QTest::keyClick(sidebar, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), eyes.front());
    eyes.back()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(eyes.back(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), after);
    QTest::keyClick(after, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), eyes.back());
}

TEST_F(ShellPagesTest, WelcomePageRecentFilesAndPanels) {
    WelcomePage page(*store);
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    EXPECT_FALSE(page.recentBlock()->isVisible()) << "no recent files: no block, no heading";
    prompts.answerImport({});
    QTest::keyClick(&page, Qt::Key_Return);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::importPanel), 1);
    prompts.answerOpen(std::nullopt);
    page.openButton()->click();
    EXPECT_EQ(prompts.count(FakePrompts::Kind::openPanel), 1);

    for (int i = 0; i < 10; ++i)
        store->recentFiles().remember(
            fromPath(files.write("Show " + std::to_string(i) + ".qvrig", Project().fileText())));
    store->recentFiles().remember(fromPath(files.write("R&D show.qvrig", Project().fileText())));
    EXPECT_TRUE(page.recentBlock()->isVisible());
    ASSERT_EQ(page.recentButtons().size(), 6);
    QPushButton* entry = page.recentButtons()[0];
    EXPECT_EQ(entry->text(), "R&&D show") << "shown as it is, no mnemonic";
    EXPECT_EQ(page.recentButtons()[5]->text(), "Show 5");

    page.recentButtons()[2]->click(); // nothing to save: opens at once
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Show 8.qvrig"));
}

TEST(ImportChangesSheet, PlainSelectableLinesEvenTwice) {
    ImportChangesDialog sheet({"Main L: 12 → 14 enclosures", "<b>Side</b> removed",
                               "Main L: 12 → 14 enclosures",
                               QStringLiteral("New source: Front\u2029Fill \ufdd0 (ALL)")});
    QTextDocument* lines = sheet.lineView()->document();
    ASSERT_EQ(lines->blockCount(), 4) << "duplicates show twice, a break inside a name starts no line";
    EXPECT_EQ(lines->findBlockByNumber(1).text(), QStringLiteral("• <b>Side</b> removed"))
        << "plain text, not markup";
    EXPECT_EQ(lines->findBlockByNumber(3).text(), QStringLiteral("• New source: Front Fill \ufffd (ALL)"));
    EXPECT_TRUE(sheet.lineView()->textInteractionFlags() & Qt::TextSelectableByMouse);
    sheet.show();
    EXPECT_LT(sheet.lineView()->height(), ImportChangesDialog::maxListHeight) << "shrinks to its lines";
    EXPECT_EQ(sheet.lineView()->verticalScrollBar()->maximum(), 0) << "and shows them all";
    QSignalSpy finished(&sheet, &QDialog::finished);
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
}

} // namespace
} // namespace rig::app
