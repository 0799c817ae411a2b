// The main window offscreen, driven as a user would, with a store on temporary files.
#include "CrewLink.h"
#include "ImportController.h"
#include "RecentFiles.h"
#include "Recovery.h"
#include "support/AppTesting.h"
#include "support/BidiTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"
#include "support/ReportGenerator.h"
#include "support/StoreTesting.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

#include "DXFSettings.h"
#include "ExistingLinksSheet.h"
#include "ExportCommands.h"
#include "ImportChangesDialog.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "OverviewTexts.h"
#include "PdfPrinter.h"
#include "PublishChanges.h"
#include "QtText.h"
#include "Reveal.h"
#include "ShareRow.h"
#include "SidebarWidget.h"
#include "SourcePage.h"
#include "WelcomePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <mutex>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::waitFor;

Project threeSources() {
    return fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 6),
                                  fixtures::flownArray("Main R", {"ALL", "Main"}, 6),
                                  fixtures::groundStack("Subs", {"ALL", "Subs"})});
}

// Drags `mime` over `target` and drops it there; whether enter and drop were accepted.
std::pair<bool, bool> dragAndDrop(QWidget* target, const QMimeData& mime) {
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return {enter.isAccepted(), drop.isAccepted()};
}

using testing::NoReveal;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
        store->setMotorLibrary(&library);
        // Readers that note the file names handed to them (from the import thread).
        ImportReaders readers;
        auto note = [this](const std::filesystem::path& file) {
            std::lock_guard lock(mutex);
            imported.push_back(file.filename().string());
        };
        readers.report = [this, note](const auto& f, std::stop_token) { return note(f), report; };
        readers.inventory = [note](const auto& f, std::stop_token, ImportNotes&) {
            return note(f), List<InventoryItem>{};
        };
        readers.dxf = [note](const auto& f, std::stop_token, ImportNotes&) {
            return note(f), std::vector<DXFSource>{};
        };
        store->importer().setImportReaders(readers);
    }

    void TearDown() override {
        window.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    MainWindow& makeWindow() {
        MainWindow::Parts parts;
        // The crew preview as a label that keeps what it was given.
        parts.crewPreview = {[this](const CrewDoc& doc, bool split, QWidget* parent) -> QWidget* {
                                 crewShown.push_back({doc.sources.size(), split});
                                 return new QLabel(QStringLiteral("crew"), parent);
                             },
                             [this](QWidget*, const CrewDoc& doc, bool split) {
                                 crewShown.push_back({doc.sources.size(), split});
                             }};
        parts.exports = &exports;
        window = std::make_unique<MainWindow>(*store, library, std::move(parts));
        window->show();
        return *window;
    }

    std::vector<std::string> importedFiles() {
        std::lock_guard lock(mutex);
        return imported;
    }

    testing::TempAppPaths paths;
    test::TempDir files;
    FakePrompts prompts;
    MotorLibrary library;
    std::unique_ptr<ProjectStore> store = testing::makeStore();
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer;
    ExportCommands exports{*store, dxf, printer, reveal};
    std::unique_ptr<MainWindow> window;
    std::mutex mutex;
    std::vector<std::string> imported;
    Report report;
    std::vector<std::pair<std::size_t, bool>> crewShown; // sources shown, split view
};

TEST_F(MainWindowTest, AProjectArrivingInCrewModeItsTitleExportsAndLink) {
    MainWindow& w = makeWindow();
    const auto& a = w.actions();
    w.devSelect(QStringLiteral("crew"));
    const QList<QAction*> exportItems = {a.exportRiggingPDF, a.exportCSV, a.exportDXF, a.exportCrewPDF};
    Project inventoryOnly; // an inventory alone leaves the project empty
    inventoryOnly.inventory =
        List<InventoryItem>({InventoryItem{"Enclosure", 2, "K2", "K2", "", std::nullopt}});
    store->setProject(inventoryOnly);
    ASSERT_TRUE(testing::changesShown(*store));
    for (QAction* item : exportItems) EXPECT_FALSE(item->isEnabled());
    EXPECT_EQ(w.content(), WindowContent::welcome);
    Project project = threeSources();
    project.name = "Tour [*] 2025";
    store->setProject(project);
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(w.content(), WindowContent::crew);
    EXPECT_EQ(w.windowHandle()->title(), "Tour [*] 2025 — Edited");
    for (QAction* item : exportItems) EXPECT_TRUE(item->isEnabled());

    const QString csv = fromPath(files.path() / "points.csv");
    prompts.answerExportSave(csv);
    a.exportCSV->trigger();
    EXPECT_TRUE(testing::readText(csv).contains("Main R"));

    EXPECT_FALSE(w.toolbar().copyLink->isEnabled());
    project.share =
        ShareInfo{"tok", "https://crew.example/r/tok", fixtures::testDate(), {}, {}, std::nullopt};
    store->setProject(project);
    ASSERT_TRUE(testing::changesShown(*store));
    QApplication::clipboard()->setText(QStringLiteral("something else"));
    w.toolbar().copyLink->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "https://crew.example/r/tok");
    // A stored link that no server could have sent is never copied.
    for (const char* hostile : {"javascript:alert(1)//", "httpx://crew.example/r/tok"}) {
        project.share->url = hostile;
        store->setProject(project);
        ASSERT_TRUE(testing::changesShown(*store));
        EXPECT_FALSE(w.toolbar().copyLink->isEnabled()) << hostile;
        w.toolbar().copyLink->click();
        EXPECT_EQ(QApplication::clipboard()->text(), "https://crew.example/r/tok") << hostile;
    }
}

// Cancel keeps the window and the work, from the close box and from Ctrl+Q pressed in any
// window; the question comes after the close event has returned; a quit asks once; an edit
// after an answer asks again; a session end keeps the work.
TEST_F(MainWindowTest, CloseAndQuitAskOnceAndCancelKeepsEverything) {
    MainWindow& w = makeWindow();
    QSignalSpy closed(&w, &MainWindow::closed);
    store->setProject(threeSources());
    const Project before = store->project();

    const auto asked = [&](int n) {
        return waitFor([&] { return prompts.count(FakePrompts::Kind::saveChanges) == n; });
    };
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_FALSE(w.close());
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 0) << "no question inside the close event";
    ASSERT_TRUE(asked(1));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(store->project(), before);
    EXPECT_TRUE(store->isDirty());
    QWidget other; // the settings window, say
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    QTest::keyClick(&other, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(asked(2));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(closed.count(), 0);
    other.close();

    // "Don’t Save": the window closes and the quit that follows asks nothing more...
    prompts.answerSave(Prompts::SaveAnswer::dontSave);
    w.close();
    ASSERT_TRUE(waitFor([&] { return closed.count() == 1; }));
    EXPECT_TRUE(w.confirmQuit());
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 3);
    EXPECT_TRUE(QFileInfo::exists(store->recovery().copyPath()));
    // ...but an edit made afterwards (the quit was cancelled elsewhere) asks again.
    w.show();
    Project edited = store->project();
    edited.name = "Edited later";
    store->setProject(edited);
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_FALSE(w.close());
    ASSERT_TRUE(asked(4));
    EXPECT_TRUE(w.isVisible());

    // A session end asks nothing: untitled work goes into the recovery copy...
    w.keepWorkWithoutAsking();
    EXPECT_EQ(testing::readText(store->recovery().copyPath()), toQ(store->project().recoveryText()));
    EXPECT_TRUE(w.close());
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 4);
    // ...but a copy that could not be written keeps nothing: the close asks.
    w.show();
    Project again = edited;
    again.name = "Edited once more";
    store->setProject(again);
    const QString folder = Recovery::recoveryFolder();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(testing::writeText(folder, "a file in the way"));
    w.keepWorkWithoutAsking();
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_FALSE(w.close());
    ASSERT_TRUE(asked(5));
    // "Don’t Save" cannot keep its copy either: the quit says so, and the user stays or quits.
    for (const int quit : {0, 1}) {
        prompts.answerSave(Prompts::SaveAnswer::dontSave);
        prompts.answerQuitWithoutCopy(quit);
        EXPECT_FALSE(w.close());
        ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::quitWithoutCopy) == 1 + quit; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(closed.count(), 2 + quit);
    }
    EXPECT_FALSE(store->errorMessage().has_value());
    EXPECT_TRUE(prompts.last(FakePrompts::Kind::quitWithoutCopy)
                    .text.startsWith("Quorvane Rig could not keep a copy of “Edited once more”: "));
    ASSERT_TRUE(QFile::remove(folder));
    store->setErrorMessage(std::nullopt);
    // ...and work with a file into the file.
    const auto file = files.write("show.qvrig", threeSources().fileText());
    store->openProject(fromPath(file), false);
    store->setProject(edited);
    w.keepWorkWithoutAsking();
    EXPECT_EQ(Project::fromText(testing::readText(fromPath(file)).toStdString()).name, "Edited later");
    EXPECT_FALSE(store->isDirty());
}

TEST_F(MainWindowTest, AProjectDroppedOnAnEditedOneAsksOnceTheDropHasReturned) {
    Project edited = threeSources();
    edited.name = "Edited";
    store->setProject(edited);
    MainWindow& w = makeWindow();
    const auto file = files.write("other.qvrig", threeSources().fileText());
    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(fromPath(file))});
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_EQ(dragAndDrop(w.sidebar(), drag), std::pair(true, true));
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 0) << "no question inside the drop";
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::saveChanges) == 1; }));
    EXPECT_EQ(store->project().name, "Edited");
}

TEST_F(MainWindowTest, FilesDroppedAnywhereAreOneImportThenTheChangesSheetThenTheAlert) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    QLineEdit* field = w.overviewPage()->findChild<QLineEdit*>(); // the project name
    ASSERT_NE(field, nullptr);
    const QString name = field->text();
    const auto z = files.write("z.csv", "x"), a = files.write("a.csv", "x"), m = files.write("m.csv", "x");

    QMimeData drag; // file managers send the paths as text too
    drag.setUrls({QUrl::fromLocalFile(fromPath(z)), QUrl::fromLocalFile(fromPath(a)),
                  QUrl::fromLocalFile(fromPath(m))});
    drag.setText(fromPath(z));
    EXPECT_EQ(dragAndDrop(field, drag), std::pair(true, true));
    ASSERT_TRUE(waitFor([&] { return !store->importer().importing(); }, 30000));
    EXPECT_EQ(field->text(), name) << "the line edit inserts no path";
    EXPECT_EQ(importedFiles(), (std::vector<std::string>{"z.csv", "a.csv", "m.csv"}));

    // A link or dragged text is refused by the window and imports nothing.
    QMimeData link, text;
    link.setUrls({QUrl(QStringLiteral("https://example.com/report.pdf"))});
    text.setText(QStringLiteral("hello"));
    EXPECT_EQ(dragAndDrop(w.sidebar(), link), std::pair(false, false));
    QDragEnterEvent textEnter(QPoint(4, 4), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &textEnter);
    EXPECT_TRUE(textEnter.isAccepted()) << "dragged text is the field's own";
    EXPECT_FALSE(store->importer().importing());
    EXPECT_EQ(importedFiles().size(), 3u);
    QDragLeaveEvent textLeave;
    QApplication::sendEvent(field, &textLeave);

    // A newer report that lost an array, and a file of no known type: the changes sheet, then
    // the alert, each once.
    report = fixtures::testReport({fixtures::flownArray("Main L", {"ALL", "Main"}, 6)});
    drag.setUrls({QUrl::fromLocalFile(fromPath(files.write("report v2.pdf", "x"))),
                  QUrl::fromLocalFile(fromPath(files.write("notes.txt", "x")))});
    dragAndDrop(w.sidebar(), drag);
    ASSERT_TRUE(waitFor([&] { return w.changesSheet() && w.changesSheet()->isVisible(); }, 30000));
    EXPECT_EQ(w.changesSheet()->changes(), *store->importer().importChanges());
    QTest::qWait(50);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::alert), 0) << "the alert waits for the sheet";

    QTest::keyClick(w.changesSheet(), Qt::Key_Return);
    EXPECT_FALSE(store->importer().importChanges().has_value()) << "closing the sheet clears the list";
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::alert) == 1; }));
    EXPECT_TRUE(prompts.last(FakePrompts::Kind::alert).text.startsWith(QStringLiteral("notes.txt")));
    EXPECT_FALSE(store->errorMessage().has_value()) << "closing the alert clears the message";
    QTest::qWait(50);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::alert), 1) << "shown once";

    // A line added while the alert shows (another PDF lost meanwhile) is shown next, alone.
    prompts.answerAlert(false, [&] { store->setErrorMessage(*store->errorMessage() + "\nb.pdf lost"); });
    store->setErrorMessage("a.pdf lost");
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::alert) == 3; }));
    EXPECT_EQ(prompts.shown()[prompts.shown().size() - 2].text, "a.pdf lost");
    EXPECT_EQ(prompts.last(FakePrompts::Kind::alert).text, "b.pdf lost");
}

// A re-import where thousands of sources are new: the sheet holds one line per change in a
// single scrolling view (it used to make a widget per line and kept the window waiting
// seconds), and reads, scrolls, copies and closes as it did. The large show's rows, deleted a
// part at a time, all go when another show replaces it.
TEST_F(MainWindowTest, TheChangesSheetOfALargeReimportIsOneScrollingView) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    const auto caughtUp = [&] {
        auto* overview = qobject_cast<OverviewPage*>(w.overviewPage());
        return !store->hasChangesToShow() && w.sidebar()->complete() && overview && overview->complete();
    };
    const auto widgets = [&] { return w.findChildren<QWidget*>().size(); };
    ASSERT_TRUE(waitFor(caughtUp));
    const qsizetype small = widgets();
    report = fixtures::largeProject(2000, 2, 4).report;
    for (std::size_t i = 0; i < report.sources.size(); ++i) // a check row each
        report.sources.mut(i).warnings.push_back(
            ReportWarning{ReportWarning::Level::warning, "Overload " + std::to_string(i)});
    store->importer().handleURLs({QUrl::fromLocalFile(fromPath(files.write("report v2.pdf", "x")))});
    ASSERT_TRUE(waitFor([&] { return w.changesSheet() && w.changesSheet()->isVisible(); }));
    ImportChangesDialog* sheet = w.changesSheet();
    const QStringList changes = *store->importer().importChanges();
    ASSERT_GT(changes.size(), 2000);

    const ImportChangesDialog oneLine({changes.front()});
    EXPECT_EQ(sheet->findChildren<QWidget*>().size(), oneLine.findChildren<QWidget*>().size())
        << "as many widgets for 2,000 lines as for one";
    QTextEdit* view = sheet->lineView();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->document()->blockCount(), changes.size());
    for (int i = 0; i < changes.size(); ++i)
        ASSERT_EQ(view->document()->findBlockByNumber(i).text(), QStringLiteral("• ") + shownName(changes[i]))
            << "line " << i;

    // The list scrolls to its last line inside the sheet; the rest stays where it was.
    EXPECT_EQ(view->height(), ImportChangesDialog::maxListHeight);
    auto* ok = sheet->findChild<QPushButton*>();
    QLabel* title = nullptr;
    QLabel* hint = nullptr;
    for (QLabel* label : sheet->findChildren<QLabel*>()) {
        if (label->text() == "New report imported") title = label;
        if (label->text() == "Publish to update the crew link.") hint = label;
    }
    ASSERT_TRUE(title && hint && ok);
    const QPoint okAt = ok->mapTo(sheet, QPoint()), hintAt = hint->mapTo(sheet, QPoint()),
                 titleAt = title->mapTo(sheet, QPoint());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(QApplication::focusWidget(), view);
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->cursorForPosition(QPoint(4, view->viewport()->height() - 4)).blockNumber(),
              changes.size() - 1);
    EXPECT_EQ(ok->mapTo(sheet, QPoint()), okAt);
    EXPECT_EQ(hint->mapTo(sheet, QPoint()), hintAt);
    EXPECT_EQ(title->mapTo(sheet, QPoint()), titleAt);

    // A line is selected and copied from the keyboard.
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
    QTest::keySequence(view, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("• ") + shownName(changes.front()));

    // One stop for the keyboard, not one per line; Return closes the sheet from the list too.
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), view);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_FALSE(store->importer().importChanges().has_value()) << "closing the sheet clears the list";
    EXPECT_TRUE(waitFor([&] { return w.changesSheet() == nullptr; }));

    ASSERT_TRUE(waitFor(caughtUp));
    ASSERT_GE(qobject_cast<OverviewPage*>(w.overviewPage())->checkTexts().size(), 2000);
    store->setProject(threeSources());
    EXPECT_TRUE(waitFor([&] { return caughtUp() && widgets() == small; }))
        << widgets() - small << " widgets of the large show left";
}

// Every view that builds a large show's rows over several passes of the event loop, while
// another show takes its place: larger, smaller, empty. It comes in a queued call, as an
// import's result or a later start's file does, a pass before the views refresh. No row is
// built meanwhile (the sidebar read the new show with the old one's positions and crashed),
// and each view ends with all of the new show's rows.
TEST_F(MainWindowTest, EveryBuildUnderWayStartsAgainForTheShowThatReplacesIt) {
    testserver::PublishStandIn server{testing::standInKey};
    ASSERT_TRUE(server.start());
    PublishSettings settings{std::make_unique<MemorySecretStore>()};
    settings.setServer(server.baseUrl());
    settings.setKey(testing::standInKey);
    PublishClient client;
    store->crewLink().setPublishing(&settings, &client);
    QStringList links;
    for (int i = 0; i < 300; ++i) links << server.addLink(R"({"name":"","report":"r.pdf"})");
    // The report generator's shows, a check row for each source, each on a link of its own.
    const auto show = [&](int sources, int link) {
        test::ReportGeneratorOptions options;
        options.sources = sources;
        options.seed = std::uint64_t(link);
        Report report = sources ? test::generateReport(options).expected : Report();
        for (std::size_t i = 0; i < report.sources.size(); ++i)
            report.sources.mut(i).warnings.push_back(
                {ReportWarning::Level::warning, "Overload " + std::to_string(i)});
        Project project;
        project.importReport(report, "show.pdf", fixtures::testDate());
        if (sources) project.share = ShareInfo{links[link].toStdString(), "", {}, {}, {}, std::nullopt};
        return project;
    };
    std::function<void()> beforeRefresh; // connected before the views: runs before they refresh
    QObject::connect(store.get(), &ProjectStore::changesToShow, [&] {
        if (const auto probe = std::exchange(beforeRefresh, nullptr)) probe();
    });
    MainWindow& w = makeWindow();
    store->setProject(threeSources());
    ASSERT_TRUE(testing::changesShown(*store));
    auto* overview = qobject_cast<OverviewPage*>(w.overviewPage());
    auto* share = overview->findChild<ShareRow*>();
    share->existingLinksButton()->click();
    ExistingLinksSheet* sheet = share->linksSheet();
    ASSERT_TRUE(sheet && waitFor([&] { return !sheet->isLoading(); }));

    struct Builder {
        const char* name;
        std::function<bool()> complete;
        std::function<QStringList()> shown;
        std::function<QStringList(const Project&)> expected;
    };
    const auto ids = [](const auto& rows, auto id) {
        QStringList out;
        for (const auto& row : rows) out << id(row);
        return out;
    };
    const std::vector<Builder> builders{
        {"sidebar", [&] { return w.sidebar()->complete(); },
         [&] { return ids(w.sidebar()->rows(), [](const auto& row) { return toQ(row.sourceID); }); },
         [&](const Project& p) {
             return ids(p.report.sources, [](const Source& s) { return toQ(s.id()); });
         }},
        {"check rows", [&] { return overview->complete(); }, [&] { return overview->checkTexts(); },
         [&](const Project& p) {
             return ids(overview::splitChecks(p.groupedIssues()).warnings,
                        [](const IssueGroup& group) { return toQ(group.text); });
         }},
        {"links sheet", [&] { return sheet->rowsComplete(); },
         [&] {
             return ids(sheet->rows(), [](QWidget* row) {
                 return row->objectName() + (row->findChild<QWidget*>("thisProject") ? "*" : "");
             });
         },
         [&](const Project& p) {
             return ids(links, [&](const QString& link) {
                 return "link:" + link + (p.share && toQ(p.share->token) == link ? "*" : "");
             });
         }},
    };
    const Project large = show(1000, 7);
    for (const Project& next : {show(1500, 290), show(300, 250), show(0, 0)}) {
        SCOPED_TRACE(next.report.sources.size());
        store->setProject(large);
        QCoreApplication::sendPostedEvents();       // the views refresh: their first blocks
        std::vector<qsizetype> atChange, atRefresh; // rows built
        const auto count = [&](std::vector<qsizetype>& into) {
            for (const Builder& b : builders) into.push_back(b.shown().size());
        };
        for (const Builder& b : builders) ASSERT_FALSE(b.complete()) << b.name;
        QMetaObject::invokeMethod(
            store.get(),
            [&] {
                store->setProject(next);
                count(atChange);
                beforeRefresh = [&] { count(atRefresh); };
            },
            Qt::QueuedConnection);
        ASSERT_TRUE(waitFor(
            [&] {
                return !atRefresh.empty() && !store->hasChangesToShow() &&
                       std::all_of(builders.begin(), builders.end(),
                                   [](const Builder& b) { return b.complete(); });
            },
            120000));
        for (std::size_t i = 0; i < builders.size(); ++i) {
            EXPECT_EQ(atRefresh[i], atChange[i]) << builders[i].name << ": rows built for the show that went";
            EXPECT_EQ(builders[i].shown(), builders[i].expected(next)) << builders[i].name;
        }
    }
    window.reset(); // the sheet goes before the server it reads
}

TEST_F(MainWindowTest, ProjectMotorsEnterTheLibraryAndHidingResendsOnlyOnChanges) {
    Project project = threeSources();
    const std::string id = project.report.sources[0].id();
    project.setExtra(id, "Front", PointExtra{fixtures::testMotor("D8+ 1000 kg", 58, 1), false});
    project.share = ShareInfo{
        "tok",       "https://crew.example/c/tok", fixtures::testDate(), publishFingerprints(project), {},
        std::nullopt};
    store->setMotorLibrary(nullptr);
    store->setProject(project);
    store->setMotorLibrary(&library);
    makeWindow();
    QSignalSpy hidden(&store->crewLink(), &CrewLink::hiddenSourcesChanged);
    EXPECT_TRUE(library.motors().empty()) << "attaching the library imports nothing";

    Project withMotor = store->project();
    withMotor.setExtra(id, "Rear", PointExtra{fixtures::testMotor("SR 500 kg", 40, 2), false});
    store->setProject(withMotor);
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(library.motors().size(), 2u);

    // Edits of other parts run neither hook: a motor removed from the library stays removed.
    library.setMotors({});
    Project renamed = store->project();
    renamed.name = "Renamed";
    store->setProject(renamed);
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_TRUE(library.motors().empty());
    EXPECT_EQ(hidden.count(), 0);
    EXPECT_FALSE(store->crewLink().isVisibilityUpdateScheduled());
    Project hide = store->project();
    hide.setHidden({hide.report.sources[1].id()}, true);
    store->setProject(hide);
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_TRUE(store->crewLink().isVisibilityUpdateScheduled()) << "a published project is sent again";
}

// Selection, hiding and crew mode, as one user session.
TEST_F(MainWindowTest, SelectionSurvivesHidingModesAndReportsWithoutTheSource) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    SidebarWidget* sidebar = w.sidebar();
    const std::string second = store->project().report.sources[1].id();
    const auto& t = w.toolbar();

    QTest::mouseClick(sidebar->sourceRow(1), Qt::LeftButton, {}, QPoint(20, 8));
    SourcePage* page = w.sourcePage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->sourceID(), second);
    sidebar->sourceEye(1)->click();
    EXPECT_TRUE(store->project().isHidden(second));
    EXPECT_EQ(w.selection(), Selection::source(second));
    EXPECT_EQ(w.sourcePage(), page) << "the page is not built anew";

    // Crew mode shows what a publish would send, and every change at once.
    t.modes->button(int(Mode::crew))->click();
    EXPECT_EQ(w.content(), WindowContent::crew);
    ASSERT_FALSE(crewShown.empty());
    EXPECT_EQ(crewShown.back(), std::pair(std::size_t(2), true));
    Project shown = store->project();
    shown.setHidden({second}, false);
    store->setProject(shown);
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(crewShown.back(), std::pair(std::size_t(3), true));
    t.modes->button(int(Mode::edit))->click();
    ASSERT_NE(w.sourcePage(), nullptr);
    EXPECT_EQ(w.sourcePage()->sourceID(), second);

    // A report without the source shows the overview; the page comes back with it.
    const Project before = store->project();
    Project without = before;
    without.report.sources = List<Source>({before.report.sources[0], before.report.sources[2]});
    store->setProject(without);
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(w.sourcePage(), nullptr);
    EXPECT_EQ(w.selection(), Selection::source(second));
    store->setProject(before);
    ASSERT_TRUE(testing::changesShown(*store));
    ASSERT_NE(w.sourcePage(), nullptr);
}

// The narrowest window, with the sidebar at each end of its range: a long unbroken source name
// wraps, a long motor name is elided with the whole name as tool tip, and the page needs no
// horizontal scrolling to show its columns and the side view.
TEST_F(MainWindowTest, LongNamesStayWithinTheNarrowestWindow) {
    Project project = fixtures::fullProject();
    Source& source = project.report.sources.edit()[0];
    const DXFInfo drawn = *project.dxf.get(source.id());
    source.name = "STAGE_LEFT_MAIN_HANG_K2_TWELVE_BOXES_BEHIND_THE_LED_WALL_V2026";
    const std::string motor = "Chainmaster BGV-D8 Plus 1000 kg Rigging Hoist 18.5m";
    ASSERT_EQ(source.name.size(), 62u);
    ASSERT_EQ(motor.size(), 51u);
    const std::string id = source.id();
    project.dxf.set(id, drawn);
    project.setExtra(id, "Front", PointExtra{fixtures::testMotor(motor, 62, 4), true});
    store->setProject(project);
    MainWindow& w = makeWindow();
    w.setSelection(Selection::source(id));
    SourcePage* page = w.sourcePage();
    ASSERT_NE(page, nullptr);
    auto* splitter = w.findChild<QSplitter*>();
    const auto within = [page](const char* name) {
        const QWidget* part = page->findChild<QWidget*>(name);
        const QRect r(part->mapTo(page->viewport(), QPoint(0, 0)), part->size());
        return part->isVisible() && r.left() >= 0 && r.right() < page->viewport()->width();
    };
    for (int sidebar : {SidebarWidget::minimumColumnWidth, SidebarWidget::maximumColumnWidth}) {
        w.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        splitter->setSizes({sidebar, MainWindow::minimumWidth - sidebar});
        ASSERT_TRUE(waitFor([&] { return w.width() == MainWindow::minimumWidth; }));
        QApplication::processEvents();
        EXPECT_FALSE(page->horizontalScrollBar()->isVisible()) << sidebar;
        for (const char* part : {"sourceName", "motor:Front", "delta:Front", "sideViewBox", "enclosureGrid"})
            EXPECT_TRUE(within(part)) << part << " with the sidebar " << sidebar << " wide";
        auto* button = page->findChild<QPushButton*>("motor:Front");
        EXPECT_TRUE(button->text().endsWith(QChar(0x2026))) << button->text().toStdString();
        EXPECT_EQ(button->toolTip(), "2 × " + toQ(motor) + " (62 kg)");
    }
    // A wide window keeps the page in its column.
    w.resize(1900, MainWindow::minimumHeight);
    ASSERT_TRUE(waitFor([&] { return w.width() == 1900; }));
    QApplication::processEvents();
    const QWidget* side = page->findChild<QWidget*>("sideViewBox");
    EXPECT_LE(side->mapTo(page->viewport(), QPoint(side->width(), 0)).x(), 980);
    EXPECT_EQ(page->findChild<QPushButton*>("motor:Front")->toolTip(), QString());
}

// The pointer moving over `menu` to `pos`, as the window system delivers it to the popup under
// it (QTest's moves go to whichever window it finds first at that place).
void pointerMove(QMenu* menu, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, menu->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QSpontaneKeyEvent::setSpontaneous(&move);
    QApplication::sendEvent(menu, &move);
}

// File ▸ Open Recent at first start and after "Clear Menu" never shows empty (a submenu shown
// empty may never open again); after a save the pointer resting on it opens it with the file.
TEST_F(MainWindowTest, OpenRecentNeverShowsEmptyAndOpensWithTheSavedFile) {
    MainWindow& w = makeWindow();
    QApplication::setActiveWindow(&w);
    QMenu* file = w.menuBar()->actions().at(0)->menu();
    QMenu* recent = w.actions().openRecent;
    // Opens the File menu from the menu bar and comes down it to "Open Recent": whether it opened
    // within `waitMs` (a submenu opens after a pause of its own).
    const auto hoverRecent = [&](int waitMs) {
        QTest::mouseClick(w.menuBar(), Qt::LeftButton, {},
                          w.menuBar()->actionGeometry(file->menuAction()).center());
        EXPECT_TRUE(waitFor([&] { return file->isVisible(); }));
        for (QAction* item : {w.actions().newProject, w.actions().open, recent->menuAction()})
            pointerMove(file, file->actionGeometry(item).center());
        return waitFor([&] { return recent->isVisible(); }, waitMs);
    };
    const auto close = [&] {
        for (QMenu* menu : {recent, file})
            if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
        EXPECT_TRUE(waitFor([&] { return !file->isVisible() && !recent->isVisible(); }));
    };
    const auto shownAfterSaving = [&](const char* name) {
        store->setProject(threeSources());
        EXPECT_TRUE(store->writeProject(fromPath(files.path() / name)));
        EXPECT_TRUE(hoverRecent(30000)) << "Open Recent did not open";
        QStringList items;
        for (const QAction* item : recent->actions()) items << item->text();
        return items;
    };
    const auto click = [&](QAction* item) {
        pointerMove(recent, recent->actionGeometry(item).center());
        QTest::mouseClick(recent, Qt::LeftButton, {}, recent->actionGeometry(item).center());
        EXPECT_TRUE(waitFor([&] { return !file->isVisible(); }));
    };

    EXPECT_FALSE(hoverRecent(1500)) << "shown empty at first start";
    close();
    EXPECT_EQ(shownAfterSaving("Show.qvrig"), (QStringList{"Show", "", "Clear Menu"}));
    click(recent->actions().last());
    EXPECT_TRUE(store->recentFiles().list().isEmpty());
    EXPECT_FALSE(hoverRecent(1500)) << "shown empty after Clear Menu";
    close();
    EXPECT_EQ(shownAfterSaving("Encore.qvrig"), (QStringList{"Encore", "", "Clear Menu"}));
    store->newProject();
    click(recent->actions().first());
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Encore.qvrig"));
}

// Names that carry directional controls stand isolated, without their overrides, wherever the
// window shows them beside other text (sidebar, pages, title, menus, alerts), and are stored as
// they came.
TEST_F(MainWindowTest, NamesWithDirectionalControlsAreShownIsolatedAndStoredAsTheyCame) {
    const std::string rlo = "\u202E"; // left open: outside an isolate it reverses what follows
    // Shown: isolated, and read in the letters' own order.
    auto isolated = [](const std::string& name) { return QChar(0x2068) + toQ(name) + QChar(0x2069); };
    Project project = threeSources();
    Source& first = project.report.sources.mut(0);
    for (std::string* text : {&first.name, &first.groups.mut(1), &first.configuration,
                              &first.enclosures.mut(0).type, &project.name, &project.delta.name})
        *text += rlo;
    Pickup& front = first.pickups.mut(0);
    front.role += rlo;
    front.hole += rlo;
    front.load = -5; // a check that names the point
    project.reportFile = "report" + rlo + ".pdf";
    project.setExtra(first.id(), front.role, PointExtra{fixtures::testMotor("Hoist" + rlo, 50, 3), false});
    const auto file = files.write("Show" + rlo + ".qvrig", project.fileText());
    store->openProject(fromPath(file), false);
    MainWindow& w = makeWindow();
    emit w.actions().openRecent->aboutToShow();
    auto shownIsolated = [&](int atLeast) {
        const testing::ShownOverrides shown = testing::shownOverrides(w);
        EXPECT_GE(shown.isolated, atLeast);
        EXPECT_TRUE(shown.loose.isEmpty()) << shown.loose.join(" | ").toStdString();
    };
    shownIsolated(12);
    EXPECT_EQ(w.windowHandle()->title(), isolated("Show"));
    EXPECT_EQ(w.sidebar()->rows().at(0).name, isolated("Main L"));
    EXPECT_EQ(w.sidebar()->headings().at(0).label, isolated("Main"));
    QTest::mouseClick(w.sidebar()->sourceRow(0), Qt::LeftButton, {}, QPoint(20, 8));
    ASSERT_NE(w.sourcePage(), nullptr);
    shownIsolated(20);

    store->openProject(fromPath(files.path() / ("Gone" + rlo + ".qvrig")), false);
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::alert) == 1; }));
    const QString alert = prompts.last(FakePrompts::Kind::alert).text;
    EXPECT_TRUE(alert.contains(isolated("Gone.qvrig"))) << alert.toStdString();

    ASSERT_TRUE(store->writeProject(fromPath(file)));
    const std::string stored = testing::readText(fromPath(file)).toStdString();
    EXPECT_EQ(stored.find("\u2068"), std::string::npos);
    EXPECT_EQ(Project::fromText(stored), project);
}

// A name that looks like markup is shown as written in every tool tip, never drawn as markup:
// the recent menu's file, the welcome page's file, an elided source and a motor.
TEST_F(MainWindowTest, ToolTipsShowNamesThatLookLikeMarkupAsWritten) {
    const QString bold = QStringLiteral("<b>bold");
    Project project = threeSources();
    Source& first = project.report.sources.mut(0);
    first.name = "Main <b>bold</b> hanging over the left edge of the stage";
    project.setExtra(
        first.id(), first.pickups[0].role,
        PointExtra{fixtures::testMotor(
                       "Hoist <b>bold</b> with a name much longer than any motor button can show", 50, 3),
                   false});
    const auto file = files.write("Show <b>bold<.qvrig", project.fileText());
    store->recentFiles().remember(fromPath(file));
    MainWindow& w = makeWindow();
    ASSERT_NE(w.findChild<WelcomePage*>(), nullptr);
    store->openProject(fromPath(file), false);
    ASSERT_TRUE(testing::changesShown(*store));
    emit w.actions().openRecent->aboutToShow();
    QTest::mouseClick(w.sidebar()->sourceRow(0), Qt::LeftButton, {}, QPoint(20, 8));
    ASSERT_NE(w.sourcePage(), nullptr);

    QStringList tips;
    for (const QWidget* widget : w.findChildren<QWidget*>()) tips << widget->toolTip();
    for (const QAction* action : w.findChildren<QAction*>()) tips << action->toolTip();
    int named = 0;
    for (const QString& tip : tips) {
        const QString shown =
            Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
        if (!tip.contains("bold")) continue;
        ++named;
        EXPECT_TRUE(shown.contains(bold)) << tip.toStdString();
    }
    EXPECT_GE(named, 4); // the recent file in the menu and on the welcome page, the source, the motor
}

} // namespace
} // namespace rig::app
