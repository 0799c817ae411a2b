// The real program object from start to reopen: generated exports dropped on the window, a
// source selected, a motor set, the crew view in both sizes, saved and opened again.
// Runs in a process of its own: the program uses the shared objects.
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"
#include "support/ReportGenerator.h"
#include "support/ShowProjects.h"
#include "support/TempDir.h"

#include "export/CrewWebView.h"
#include "pages/MotorLibrary.h"
#include "pages/SourcePage.h"
#include "shell/MainWindow.h"
#include "shell/Program.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "shell/SidebarWidget.h"
#include "shell/WelcomePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::runJs;
using testing::waitFor;

const char* const inventoryText = "Category;Quantity;Family;Product;Description;Amp channels\n"
                                  "Enclosure;12;K2;K2;;\n"
                                  "Rigging;2;K2;K2-BUMP;;\n"
                                  "Amplifier;4;LA;LA12X;Amplified controller;4\n";

QString pageText(CrewWebView& view) {
    return runJs(*view.page(), "document.body.innerText").toString();
}

TEST(ProgramEndToEnd, DropSelectSetAMotorCrewViewSaveAndReopen) {
    // Settings and data in temporary places before the first shared object exists.
    testing::TempAppPaths paths;
    FakePrompts prompts;
    test::TempDir files;

    test::ReportGeneratorOptions options;
    options.sources = 6;
    options.seed = 11;
    const test::GeneratedReport report = test::generateReport(options);
    const auto pdf = files.write("Arena report.pdf", report.pdf);
    const auto csv = files.write("Arena inventory.csv", inventoryText);
    const auto dxf = files.write("Arena speakers.dxf", testing::loudspeakerDXF(report.expected));

    Program program;
    ASSERT_EQ(Program::instance(), &program);
    MainWindow& window = program.mainWindow();
    ASSERT_EQ(MainWindow::instance(), &window);
    ProjectStore& store = window.store();
    program.start({});
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.content(), WindowContent::welcome);
    EXPECT_EQ(window.windowTitle(), "Untitled");

    // 1. The three exports dropped on the welcome page, as a file manager drops them.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(fromPath(dxf)), QUrl::fromLocalFile(fromPath(csv)),
                  QUrl::fromLocalFile(fromPath(pdf))});
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.welcomePage()->importButton(), &enter);
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.welcomePage()->importButton(), &drop);
    ASSERT_TRUE(waitFor([&] { return !store.importing() && !store.project().isEmpty(); }, 60000));
    ASSERT_FALSE(store.errorMessage().has_value()) << store.errorMessage()->toStdString();

    const Project& imported = store.project();
    ASSERT_EQ(imported.report.sources.size(), report.expected.sources.size());
    EXPECT_EQ(imported.inventory.size(), 3u);
    EXPECT_FALSE(imported.dxf.empty());
    EXPECT_EQ(window.sidebar()->rows().size(), imported.report.sources.size());
    EXPECT_FALSE(window.changesSheet()) << "a first report has no changes sheet";

    // 2. The first source with pickup points, selected in the sidebar.
    int index = 0;
    while (std::size_t(index) < imported.report.sources.size() &&
           imported.report.sources[index].pickups.empty())
        ++index;
    ASSERT_LT(std::size_t(index), imported.report.sources.size());
    const Source source = imported.report.sources[std::size_t(index)];
    QTest::mouseClick(window.sidebar()->sourceRow(index), Qt::LeftButton, {}, QPoint(30, 10));
    ASSERT_NE(window.sourcePage(), nullptr);
    EXPECT_EQ(window.sourcePage()->sourceID(), source.id());

    // 3. A motor from the library on its first point, through the point's motor menu.
    const Motor motor = MotorLibrary::shared().upsert(QStringLiteral("D8+ 1000 kg"), 58);
    const std::string role = source.pickups.front().role;
    auto* motorButton = window.sourcePage()->findChild<QPushButton*>(QStringLiteral("motor:") + toQ(role));
    ASSERT_NE(motorButton, nullptr);
    QMenu* menu = motorButton->menu();
    emit menu->aboutToShow();
    QAction* item = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().startsWith(QStringLiteral("D8+ 1000 kg"))) item = action;
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(store.project().extra(source.id(), role).motor, motor);
    EXPECT_TRUE(window.sidebar()->rows()[std::size_t(index)].motorsMark);
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral(" — Edited")));

    // 4. The crew view, wide then phone-sized, showing the project as a publish would send it.
    window.toolbar().modes->button(int(Mode::crew))->click();
    ASSERT_EQ(window.content(), WindowContent::crew);
    auto* crew = qobject_cast<CrewWebView*>(window.crewView());
    ASSERT_NE(crew, nullptr);
    ASSERT_TRUE(waitFor([&] { return crew->isLoaded(); }, 60000));
    ASSERT_TRUE(waitFor([&] { return pageText(*crew).contains(toQ(source.name)); }, 30000));
    EXPECT_FALSE(crew->view()->acceptDrops()) << "a file dropped on the page must not open in it";

    window.toolbar().sizes->button(1)->click();
    EXPECT_EQ(crew->size(), QSize(390, 844));
    // An edit in crew mode reaches the page at once.
    Project renamed = store.project();
    renamed.name = "Arena – second night";
    store.setProject(renamed);
    ASSERT_TRUE(
        waitFor([&] { return pageText(*crew).contains(QStringLiteral("Arena – second night")); }, 30000));
    window.toolbar().modes->button(int(Mode::edit))->click();
    EXPECT_EQ(window.content(), WindowContent::edit);
    ASSERT_NE(window.sourcePage(), nullptr) << "the selection is kept across the modes";

    // 5. Saved with Ctrl+S (a save panel: the project has no file yet).
    const QString saved = fromPath(files.path() / "Arena.qvrig");
    prompts.answerSavePanel(saved);
    window.actions().save->trigger();
    ASSERT_EQ(store.filePath(), saved);
    EXPECT_FALSE(store.isDirty());
    const Project beforeReopen = store.project();

    // 6. A new project, then the saved file again from Open Recent.
    window.actions().newProject->trigger();
    EXPECT_EQ(window.content(), WindowContent::welcome);
    window.fillRecentMenu();
    ASSERT_FALSE(window.actions().openRecent->actions().isEmpty());
    window.actions().openRecent->actions().first()->trigger();
    EXPECT_EQ(store.filePath(), saved);
    EXPECT_EQ(store.project(), beforeReopen);
    EXPECT_EQ(window.content(), WindowContent::edit);

    // 7. Closing a saved, unchanged project asks nothing and ends the program.
    QSignalSpy closed(&window, &MainWindow::closed);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 0);
}

} // namespace
} // namespace rig::app
