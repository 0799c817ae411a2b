// The main window offscreen, driven as a user would, with a store on temporary files.
#include "support/ProjectFixtures.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"
#include "support/WindowTesting.h"

#include "export/DXFSettings.h"
#include "export/ExportCommands.h"
#include "export/PdfPrinter.h"
#include "export/PublishChanges.h"
#include "export/Reveal.h"
#include "pages/SourcePage.h"
#include "shell/AppPaths.h"
#include "shell/BusyIndicator.h"
#include "shell/ImportChangesDialog.h"
#include "shell/PublishButton.h"
#include "shell/QtText.h"
#include "shell/SidebarWidget.h"
#include "shell/WelcomePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::waitFor;

Project threeSources() {
    return fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 6),
                                  fixtures::flownArray("Main R", {"ALL", "Main"}, 6),
                                  fixtures::groundStack("Subs", {"ALL", "Subs"})});
}

// Sends a drag over `target` and drops it there, as the windowing system would.
struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
};
DropResult dragAndDrop(QWidget* target, const QMimeData* mime) {
    DropResult result;
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    result.enterAccepted = enter.isAccepted();
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    result.dropAccepted = drop.isAccepted();
    return result;
}

struct NoReveal : Reveal {
    void reveal(const QString&) override {}
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = std::make_unique<MotorLibrary>();
        store = testing::makeStore();
        // No autosave writes while a test runs.
        store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
        store->setMotorLibrary(library.get());
        store->setImportReaders(readers.readers());
        printer = std::make_unique<PdfPrinter>(*store, reveal);
        exports = std::make_unique<ExportCommands>(*store, dxf, *printer);
    }

    void TearDown() override {
        window.reset();
        exports.reset();
        printer.reset();
        store.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    MainWindow& makeWindow(MainWindow::Parts parts = {}) {
        if (!parts.crewPreview.create) parts.crewPreview = crew.preview();
        if (!parts.exports) parts.exports = exports.get();
        window = std::make_unique<MainWindow>(*store, *library, std::move(parts));
        window->show();
        return *window;
    }

    void importAndWait(const std::vector<std::filesystem::path>& files, QWidget* target) {
        auto mime = testing::fileDrag(files);
        const DropResult result = dragAndDrop(target, mime.get());
        EXPECT_TRUE(result.enterAccepted);
        EXPECT_TRUE(result.dropAccepted);
        ASSERT_TRUE(waitFor([&] { return !store->importing(); }, 30000));
    }

    testing::TempAppPaths paths;
    test::TempDir files;
    FakePrompts prompts;
    testing::RecordingReaders readers;
    testing::CrewPreviewRecorder crew;
    std::unique_ptr<MotorLibrary> library;
    std::unique_ptr<ProjectStore> store;
    DXFSettings dxf;
    NoReveal reveal;
    std::unique_ptr<PdfPrinter> printer;
    std::unique_ptr<ExportCommands> exports;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, ExportItemsFollowWhetherTheProjectHasSources) {
    MainWindow& w = makeWindow();
    const auto& a = w.actions();
    const QList<QAction*> exports = {a.exportRiggingPDF, a.exportCSV, a.exportDXF, a.exportCrewPDF};
    for (QAction* item : exports) EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    for (QAction* item : {a.newProject, a.open, a.import, a.save, a.saveAs, a.settings, a.quit})
        EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
    EXPECT_EQ(a.settings->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(a.quit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(a.saveAs->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    EXPECT_EQ(a.import->shortcut(), QKeySequence(QStringLiteral("Ctrl+I")));

    // An inventory alone leaves the project empty.
    Project inventoryOnly;
    inventoryOnly.inventory =
        List<InventoryItem>({InventoryItem{"Enclosure", 2, "K2", "K2", "", std::nullopt}});
    store->setProject(inventoryOnly);
    for (QAction* item : exports) EXPECT_FALSE(item->isEnabled());

    store->setProject(threeSources());
    for (QAction* item : exports) EXPECT_TRUE(item->isEnabled());
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    store->newProject(); // untitled with changes: the prompt comes
    for (QAction* item : exports) EXPECT_TRUE(item->isEnabled()) << "cancelled: the project stays";
}

TEST_F(MainWindowTest, ExportItemsExportTheProjectAsItIsNow) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();

    const QString csv = fromPath(files.path() / "points.csv");
    prompts.answerExportSave(csv);
    w.actions().exportCSV->trigger();
    ASSERT_EQ(prompts.exportSaves().size(), 1u);
    EXPECT_EQ(prompts.exportSaves()[0].fileName, "Arena show – rigging points.csv");
    const QStringList lines = testing::readText(csv).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 1 + 4) << "a header and the pickup points";
    for (const QString& line : lines) EXPECT_EQ(line.split(';').size(), 14) << line.toStdString();
    EXPECT_TRUE(testing::readText(csv).contains("Main R"));

    prompts.answerExportSave(std::nullopt);
    w.actions().exportDXF->trigger();
    EXPECT_EQ(prompts.exportSaves().size(), 2u);
    EXPECT_EQ(prompts.exportSaves()[1].fileName, "Arena show – rigging points.dxf");
}

TEST_F(MainWindowTest, OpenRecentShowsFileNamesAndClearMenuRemovesTheList) {
    MainWindow& w = makeWindow();
    w.fillRecentMenu();
    EXPECT_TRUE(w.actions().openRecent->actions().isEmpty()) << "no recent projects: no items at all";

    const auto older = files.write("Arena.2025.qvrig", store->project().fileText());
    const auto newer = files.write("R&D show.qvrig", store->project().fileText());
    store->rememberRecent(fromPath(older));
    store->rememberRecent(fromPath(newer));
    w.fillRecentMenu();
    const QList<QAction*> items = w.actions().openRecent->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), "R&&D show") << "shown as it is, no mnemonic";
    EXPECT_EQ(items[1]->text(), "Arena.2025") << "only the last extension goes";
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), "Clear Menu");

    items[1]->trigger();
    EXPECT_EQ(store->filePath(), fromPath(older));

    w.fillRecentMenu();
    w.actions().openRecent->actions().last()->trigger();
    EXPECT_TRUE(store->recent().isEmpty());
    EXPECT_FALSE(settings().contains(ProjectStore::recentKey));
    w.fillRecentMenu();
    EXPECT_TRUE(w.actions().openRecent->actions().isEmpty());
}

TEST_F(MainWindowTest, CancelInTheSavePromptKeepsTheWindowOpenAndTheProject) {
    MainWindow& w = makeWindow();
    QSignalSpy closed(&w, &MainWindow::closed);
    store->setProject(threeSources());
    const Project before = store->project();

    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(store->project(), before);
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(closed.count(), 0);

    // Ctrl+Q takes the same road, also pressed in another window of the program (settings).
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    w.actions().quit->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 2);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    QTest::keyClick(&other, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 3);
    EXPECT_TRUE(w.isVisible());
    other.close();

    // "Don’t Save": the window closes; the quit that follows asks nothing more.
    prompts.answerSave(Prompts::SaveAnswer::dontSave);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(w.confirmQuit());
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 4);
    EXPECT_TRUE(QFileInfo::exists(ProjectStore::recoveryPath()));
}

TEST_F(MainWindowTest, AnEditAfterAnAnsweredPromptAsksAgain) {
    MainWindow& w = makeWindow();
    store->setProject(threeSources());
    prompts.answerSave(Prompts::SaveAnswer::dontSave);
    EXPECT_TRUE(w.confirmQuit());
    // The quit did not happen after all (a logout cancelled elsewhere); the user goes on.
    Project edited = store->project();
    edited.name = "Edited later";
    store->setProject(edited);
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_FALSE(w.confirmQuit());
}

TEST_F(MainWindowTest, ASessionEndWithoutQuestionsKeepsTheWorkAndTheCloseAsksNothing) {
    MainWindow& w = makeWindow();
    // Untitled: the recovery copy, offered at the next start.
    store->setProject(threeSources());
    w.keepWorkWithoutAsking();
    EXPECT_EQ(testing::readText(ProjectStore::recoveryPath()), toQ(store->project().recoveryText()));
    // An edit made after that is not in the copy: the close asks again.
    Project edited = store->project();
    edited.name = "Edited later";
    store->setProject(edited);
    prompts.answerSave(Prompts::SaveAnswer::cancel);
    EXPECT_FALSE(w.close());
    w.keepWorkWithoutAsking();
    EXPECT_TRUE(w.close());
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 1);

    // With a file: written into it.
    const auto file = files.write("show.qvrig", threeSources().fileText());
    store->openProject(fromPath(file), false);
    store->setProject(edited);
    w.keepWorkWithoutAsking();
    EXPECT_EQ(Project::fromText(testing::readText(fromPath(file)).toStdString()).name, "Edited later");
    EXPECT_FALSE(store->isDirty());
}

TEST_F(MainWindowTest, ThreeDroppedFilesAreOneImportInDropOrder) {
    MainWindow& w = makeWindow();
    const auto z = files.write("z.csv", "x");
    const auto a = files.write("a.csv", "x");
    const auto m = files.write("m.csv", "x");
    // Anywhere in the window: here the welcome page's button.
    importAndWait({z, a, m}, w.welcomePage()->importButton());
    // A second call while the first imports would be ignored: all three in one import.
    EXPECT_EQ(readers.files(), (std::vector<std::string>{"z.csv", "a.csv", "m.csv"}));
    EXPECT_EQ(settings().value(ProjectStore::lastImportDirKey).toString(), fromPath(files.path()));
    EXPECT_FALSE(w.isDropTarget());
}

TEST_F(MainWindowTest, AFileDroppedOnALineEditImportsInsteadOfInsertingText) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    ASSERT_EQ(w.content(), WindowContent::edit);
    ASSERT_NE(w.overviewPage(), nullptr);
    // The overview's first text field (the project name).
    QLineEdit* field = w.overviewPage()->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    const QString before = field->text();

    const auto csv = files.write("inventory.csv", "x");
    auto mime = testing::fileDrag({csv});
    mime->setText(fromPath(csv)); // file managers send the path as text too
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(w.isDropTarget()) << "the outline shows while files hover";
    QDragLeaveEvent leave;
    QApplication::sendEvent(field, &leave);
    EXPECT_FALSE(w.isDropTarget()) << "and goes when they leave without a drop";

    importAndWait({csv}, field);
    EXPECT_EQ(field->text(), before);
    EXPECT_EQ(readers.files(), (std::vector<std::string>{"inventory.csv"}));

    // Dragged text is the field's own business: no outline, no import.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent textEnter(QPoint(4, 4), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &textEnter);
    EXPECT_FALSE(w.isDropTarget());
    EXPECT_FALSE(store->importing());
    QDragLeaveEvent textLeave; // the drag ends elsewhere
    QApplication::sendEvent(field, &textLeave);
}

TEST_F(MainWindowTest, ALinkDraggedOverTheWindowIsRefused) {
    MainWindow& w = makeWindow();
    QMimeData mime;
    mime.setUrls({QUrl(QStringLiteral("https://example.com/report.pdf"))});
    const DropResult result = dragAndDrop(w.welcomePage()->importButton(), &mime);
    EXPECT_FALSE(result.enterAccepted);
    EXPECT_FALSE(result.dropAccepted);
    EXPECT_FALSE(w.isDropTarget());
    EXPECT_FALSE(store->importing());
    EXPECT_TRUE(readers.files().empty());
}

TEST_F(MainWindowTest, TheChangesSheetThenTheAlertAfterOneImport) {
    store->setProject(threeSources());
    // The newer report lost an array; one file is of no known type.
    *readers.report = fixtures::testReport({fixtures::flownArray("Main L", {"ALL", "Main"}, 6)});
    MainWindow& w = makeWindow();
    const auto pdf = files.write("report v2.pdf", "x");
    const auto odd = files.write("notes.txt", "x");
    importAndWait({pdf, odd}, w.sidebar());

    ASSERT_TRUE(store->importChanges().has_value());
    ASSERT_TRUE(store->errorMessage().has_value());
    ASSERT_TRUE(waitFor([&] { return w.changesSheet() && w.changesSheet()->isVisible(); }));
    ImportChangesDialog* sheet = w.changesSheet();
    EXPECT_EQ(sheet->changes(), *store->importChanges());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    // The alert waits for the sheet.
    QTest::qWait(50);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::alert), 0);

    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_FALSE(store->importChanges().has_value()) << "closing the sheet clears the list";
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::alert) == 1; }));
    EXPECT_TRUE(prompts.last(FakePrompts::Kind::alert).text.startsWith(QStringLiteral("notes.txt")));
    EXPECT_FALSE(store->errorMessage().has_value()) << "closing the alert clears the message";
    QTest::qWait(50);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::alert), 1) << "shown once";
}

TEST_F(MainWindowTest, TheAlertWaitsWhileAnotherDialogIsOpen) {
    MainWindow& w = makeWindow();
    // A file dialog stands open (as an export panel would be).
    QDialog panel(&w);
    panel.setWindowModality(Qt::ApplicationModal);
    panel.show();
    ASSERT_TRUE(waitFor([] { return QApplication::activeModalWidget() != nullptr; }));
    store->setErrorMessage(QStringLiteral("Could not save: disk full"));
    QTest::qWait(400);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::alert), 0);
    panel.close();
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::alert) == 1; }));
    EXPECT_EQ(prompts.last(FakePrompts::Kind::alert).detail, QString());
    EXPECT_EQ(prompts.last(FakePrompts::Kind::alert).text, "Could not save: disk full");
    EXPECT_FALSE(store->errorMessage().has_value());
}

TEST_F(MainWindowTest, AnEmptyChangeListStillShowsTheSheet) {
    MainWindow& w = makeWindow();
    store->setImportChanges(QStringList());
    ASSERT_TRUE(waitFor([&] { return w.changesSheet() && w.changesSheet()->isVisible(); }));
    EXPECT_TRUE(w.changesSheet()->lineLabels().isEmpty());
    w.changesSheet()->okButton()->click();
    EXPECT_FALSE(store->importChanges().has_value());
}

TEST_F(MainWindowTest, TheHooksRunOnceOnAChangeAndNotAtStart) {
    Project project = threeSources();
    const std::string id = project.report.sources[0].id();
    project.setExtra(id, "Front", PointExtra{fixtures::testMotor("D8+ 1000 kg", 58, 1), false});
    project.setHidden({project.report.sources[2].id()}, true);
    store->setProject(project);

    MainWindow& w = makeWindow();
    QSignalSpy hidden(&w, &MainWindow::hiddenSourcesChanged);
    QCoreApplication::processEvents();
    EXPECT_TRUE(library->motors().empty()) << "opening the window imports nothing";
    EXPECT_EQ(hidden.count(), 0);

    Project withMotor = store->project();
    withMotor.setExtra(id, "Rear", PointExtra{fixtures::testMotor("SR 500 kg", 40, 2), false});
    store->setProject(withMotor);
    EXPECT_EQ(library->motors().size(), 2u) << "every motor of the project enters the library";
    EXPECT_EQ(hidden.count(), 0);

    // Edits of other parts run neither hook: a motor removed from the library stays removed.
    library->setMotors({});
    Project renamed = store->project();
    renamed.name = "Renamed";
    store->setProject(renamed);
    Project shown = store->project();
    shown.setHidden({shown.report.sources[2].id()}, false);
    store->setProject(shown);
    EXPECT_TRUE(library->motors().empty());
    EXPECT_EQ(hidden.count(), 1) << "from a set to none is a change";

    // Replacing the document counts as a change too.
    Project other = threeSources();
    other.setExtra(id, "Front", PointExtra{fixtures::testMotor("Other 250 kg", 20, 3), false});
    const auto file = files.write("other.qvrig", other.fileText());
    store->openProject(fromPath(file), false);
    ASSERT_EQ(library->motors().size(), 1u);
    EXPECT_EQ(library->motors()[0].name, "Other 250 kg");
    EXPECT_EQ(hidden.count(), 1);
}

TEST_F(MainWindowTest, HidingASourceOfAPublishedProjectSchedulesTheResend) {
    Project project = threeSources();
    project.share = ShareInfo{
        "tok",       "https://crew.example/c/tok", fixtures::testDate(), publishFingerprints(project), {},
        std::nullopt};
    store->setProject(project);
    makeWindow();
    EXPECT_FALSE(store->isVisibilityUpdateScheduled());
    Project hidden = store->project();
    hidden.setHidden({hidden.report.sources[1].id()}, true);
    store->setProject(hidden);
    EXPECT_TRUE(store->isVisibilityUpdateScheduled());
}

TEST_F(MainWindowTest, TheSelectionSurvivesHidingASource) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    SidebarWidget* sidebar = w.sidebar();
    const std::string second = store->project().report.sources[1].id();

    QTest::mouseClick(sidebar->sourceRow(1), Qt::LeftButton, {}, QPoint(20, 8));
    ASSERT_EQ(w.selection(), Selection::source(second));
    ASSERT_NE(w.sourcePage(), nullptr);
    SourcePage* page = w.sourcePage();
    EXPECT_EQ(page->sourceID(), second);

    sidebar->sourceEye(1)->click();
    EXPECT_TRUE(store->project().isHidden(second));
    EXPECT_EQ(w.selection(), Selection::source(second));
    EXPECT_TRUE(sidebar->rows()[1].selected);
    EXPECT_EQ(w.sourcePage(), page) << "the page is not built anew";

    // An eye of another row hides that source without selecting it.
    sidebar->sourceEye(2)->click();
    EXPECT_TRUE(store->project().isHidden(store->project().report.sources[2].id()));
    EXPECT_EQ(w.selection(), Selection::source(second));

    // A report without that source shows the overview, and the page again when it is back.
    const Project before = store->project();
    Project without = before;
    without.report.sources = List<Source>({before.report.sources[0], before.report.sources[2]});
    store->setProject(without);
    EXPECT_EQ(w.sourcePage(), nullptr);
    EXPECT_NE(w.overviewPage(), nullptr);
    EXPECT_EQ(w.selection(), Selection::source(second)) << "the selection stays as it was";
    store->setProject(before);
    ASSERT_NE(w.sourcePage(), nullptr);
    EXPECT_EQ(w.sourcePage()->sourceID(), second);
}

TEST_F(MainWindowTest, CrewModeShowsWhatAPublishWouldSend) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    const auto& t = w.toolbar();
    EXPECT_TRUE(t.modeSwitch->isVisible());
    EXPECT_TRUE(t.publish->isVisible());
    EXPECT_FALSE(t.sizeSwitch->isVisible());

    t.modes->button(int(Mode::crew))->click();
    EXPECT_EQ(w.content(), WindowContent::crew);
    EXPECT_TRUE(t.sizeSwitch->isVisible());
    ASSERT_EQ(crew.shown->size(), 1u);
    EXPECT_TRUE(crew.shown->back().split);
    EXPECT_EQ(crew.shown->back().doc.sources.size(), 3u);

    // Every project change is shown at once; hidden sources are left out.
    Project hidden = store->project();
    hidden.setHidden({hidden.report.sources[0].id()}, true);
    store->setProject(hidden);
    ASSERT_EQ(crew.shown->size(), 2u);
    EXPECT_EQ(crew.shown->back().doc.sources.size(), 2u);

    t.sizes->button(1)->click();
    EXPECT_TRUE(w.phoneSize());
    EXPECT_FALSE(crew.shown->back().split);
    EXPECT_GE(w.crewArea()->minimumWidth(), 390 + 40);
    EXPECT_GE(w.crewArea()->minimumHeight(), 844 + 40);
    EXPECT_EQ(w.crewView()->size(), QSize(390, 844));

    // Back in edit mode the split view returns with its selection.
    t.modes->button(int(Mode::edit))->click();
    EXPECT_EQ(w.content(), WindowContent::edit);
    EXPECT_FALSE(t.sizeSwitch->isVisible());
}

TEST_F(MainWindowTest, TheWelcomePageShowsInBothModesWithOnlyTheProgressInTheToolbar) {
    MainWindow& w = makeWindow();
    w.devSelect(QStringLiteral("crew"));
    EXPECT_EQ(w.mode(), Mode::crew);
    EXPECT_EQ(w.content(), WindowContent::welcome);
    const auto& t = w.toolbar();
    EXPECT_FALSE(t.modeSwitch->isVisible());
    EXPECT_FALSE(t.sizeSwitch->isVisible());
    EXPECT_FALSE(t.copyLink->isVisible());
    EXPECT_FALSE(t.publish->isVisible());
    EXPECT_FALSE(t.progress->isVisible());
    EXPECT_FALSE(t.bar->isVisible()) << "no empty strip above the welcome page";
    store->setImporting(true);
    EXPECT_TRUE(t.progress->isVisible());
    EXPECT_TRUE(t.bar->isVisible());
    store->setImporting(false);
    EXPECT_FALSE(t.bar->isVisible());

    // A project arriving in crew mode shows the crew preview at once.
    store->setProject(threeSources());
    EXPECT_EQ(w.content(), WindowContent::crew);
    EXPECT_TRUE(t.bar->isVisible());
}

TEST_F(MainWindowTest, DevSelectDrivesModeSizeAndSelection) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    const std::string first = store->project().report.sources[0].id();

    w.devSelect(QStringLiteral("phone"));
    EXPECT_EQ(w.content(), WindowContent::crew);
    EXPECT_TRUE(w.phoneSize());
    w.devSelect(toQ(first));
    EXPECT_EQ(w.content(), WindowContent::edit);
    ASSERT_NE(w.sourcePage(), nullptr);
    EXPECT_EQ(w.sourcePage()->sourceID(), first);
    EXPECT_TRUE(w.sidebar()->rows()[0].selected);
    w.devSelect(QStringLiteral("crew"));
    EXPECT_EQ(w.content(), WindowContent::crew);
    EXPECT_FALSE(w.phoneSize()) << "\"crew\" is the wide preview";
    w.devSelect(QStringLiteral("overview"));
    EXPECT_EQ(w.content(), WindowContent::edit);
    EXPECT_EQ(w.sourcePage(), nullptr);
    w.devSelect(std::nullopt);
    EXPECT_EQ(w.selection(), Selection::overview());
}

TEST_F(MainWindowTest, CopyLinkNeedsAPublishedLink) {
    store->setProject(threeSources());
    MainWindow& w = makeWindow();
    QToolButton* copy = w.toolbar().copyLink;
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_EQ(copy->toolTip(), "Publish first");
    EXPECT_EQ(copy->text(), "Copy Link");

    Project published = store->project();
    published.share =
        ShareInfo{"tok", "https://crew.example/r/tok", fixtures::testDate(), {}, {}, std::nullopt};
    store->setProject(published);
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_EQ(copy->toolTip(), "Copy the crew link");
    QApplication::clipboard()->setText(QStringLiteral("something else"));
    copy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "https://crew.example/r/tok");
}

TEST_F(MainWindowTest, TheTitleIsTheStoresAsPlainText) {
    Project project = threeSources();
    project.name = "Tour [*] 2025";
    store->setProject(project);
    MainWindow& w = makeWindow();
    ASSERT_NE(w.windowHandle(), nullptr);
    EXPECT_EQ(w.windowHandle()->title(), "Tour [*] 2025 — Edited");
}

} // namespace
} // namespace rig::app
