// The whole program driven as a person drives it: the welcome page, an import, every page of
// the edit view, the crew view (given the focus and clicked), every settings tab and every
// sheet, with assistive tools asking about every object of every window on the way. CI runs
// it under AddressSanitizer.
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"
#include "support/ModalTesting.h"
#include "support/PublishTesting.h"
#include "support/SampleShow.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

#include "CrewLink.h"
#include "CrewWebView.h"
#include "ExistingLinksSheet.h"
#include "Fields.h"
#include "ImportChangesDialog.h"
#include "ImportController.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "MotorsSettings.h"
#include "NewMotorSheet.h"
#include "OverviewPage.h"
#include "PageScheme.h"
#include "PdfPrinter.h"
#include "Program.h"
#include "ProjectStore.h"
#include "PublishButton.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "SettingsWindow.h"
#include "ShareRow.h"
#include "SidebarWidget.h"
#include "SourcePage.h"
#include "WelcomePage.h"
#include "base/Json.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QQuickItem>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineView>
#include <QWindow>

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <system_error>

namespace rig::app {
namespace {

using namespace testing;
using Kind = FakePrompts::Kind;

// What assistive tools were told about: the objects asked for, and those of the web engine.
struct Sweep {
    int objects = 0;
    int webEngine = 0;
};

// Asks for the accessible interface of every object of every window shown, as a screen reader
// walking the windows does; each factory sees every object, the web engine's own included.
// Those come from a library without RTTI, which the sanitizer's check of dynamic types cannot
// read.
__attribute__((no_sanitize("vptr"))) Sweep askAboutEveryObject() {
    std::vector<QObject*> roots;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) roots.push_back(w);
    // The windows behind the widgets, and the items of the web views' scenes, which are no
    // children of any widget.
    for (QWindow* w : QGuiApplication::allWindows()) roots.push_back(w);
    for (QWidget* w : QApplication::allWidgets()) {
        if (auto* quick = qobject_cast<QQuickWidget*>(w); quick && quick->isVisible()) {
            std::vector<QQuickItem*> items{quick->quickWindow()->contentItem()};
            while (!items.empty()) {
                QQuickItem* item = items.back();
                items.pop_back();
                roots.push_back(item);
                for (QQuickItem* child : item->childItems()) items.push_back(child);
            }
        }
    }
    if (QObject* focus = QGuiApplication::focusObject()) roots.push_back(focus);
    std::set<QObject*> seen;
    Sweep sweep;
    for (QObject* root : roots) {
        QList<QObject*> objects = root->findChildren<QObject*>();
        objects.prepend(root);
        for (QObject* object : objects) {
            if (!seen.insert(object).second) continue;
            ++sweep.objects;
            if (QByteArray(object->metaObject()->className()).startsWith("QtWebEngine")) ++sweep.webEngine;
            if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object)) {
                (void)iface->role();
                (void)iface->text(QAccessible::Name);
            }
        }
    }
    return sweep;
}

QWidget* shownWindow(const char* className) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits(className)) return w;
    return nullptr;
}

// Runs `act` on the popup menu once it shows (a menu button's menu runs a loop of its own).
void whenMenuShows(std::function<void(QMenu*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(menu);
    });
    timer->start();
}

QAction* actionNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

void clickTab(QTabBar* tabs, int index) {
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
}

class Drive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        program = std::make_unique<Program>();
        program->printer().setTiming(patientPrinting);
        program->start({});
        window = &program->mainWindow();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w != window) w->close();
        // The program object's end: a PDF still printing is waited for.
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(servedPageCount(), 0) << "pages left behind by the ended program";
    }

    // The user brings the main window to the front (a sheet that closed leaves none active
    // on the offscreen platform).
    void activate() {
        // A quit that waits leaves the offscreen platform without an active window.
        window->windowHandle()->requestActivate();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    // A key pressed in the main window.
    void press(QKeyCombination key, QWidget* on = nullptr) {
        activate();
        QTest::keyClick(on ? on : window, key.key(), key.keyboardModifiers());
    }
    ProjectStore& store() const { return program->store(); }

    TempAppPaths paths;
    FakePrompts prompts;
    test::TempDir files;
    testserver::PublishStandIn server{standInKey};
    std::unique_ptr<Program> program;
    MainWindow* window = nullptr;
};

TEST_F(Drive, EveryPageWindowAndSheetAsAPersonUsesThem) {
    MainWindow& w = *window;
    ASSERT_EQ(w.content(), WindowContent::welcome);
    EXPECT_GT(askAboutEveryObject().objects, 20);

    // Ctrl+I: the sample show's report, inventory and loudspeaker files.
    QStringList sample;
    for (const auto& path : test::writeSampleShow(files.path() / "sample")) sample << fromPath(path);
    prompts.answerImport(sample);
    press(Qt::CTRL | Qt::Key_I);
    ASSERT_TRUE(
        waitFor([&] { return !store().importer().importing() && w.content() == WindowContent::edit; }));
    EXPECT_EQ(prompts.count(Kind::alert), 0) << prompts.last(Kind::alert).text.toStdString();
    const std::size_t sources = store().project().report.sources.size();
    ASSERT_GE(sources, 5u);
    auto* overview = qobject_cast<OverviewPage*>(w.overviewPage());
    ASSERT_NE(overview, nullptr);
    EXPECT_TRUE(overview->isVisible());
    askAboutEveryObject();

    // Every source page from its sidebar row, then the overview again from the keyboard.
    SidebarWidget* sidebar = w.sidebar();
    for (int i = 0; i < int(sources); ++i) {
        QTest::mouseClick(sidebar->sourceRow(i), Qt::LeftButton, {}, QPoint(20, 8));
        ASSERT_NE(w.sourcePage(), nullptr) << i;
        EXPECT_EQ(w.sourcePage()->sourceID(), store().project().report.sources[std::size_t(i)].id());
        askAboutEveryObject();
    }
    sidebar->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Home, sidebar);
    EXPECT_EQ(w.selection(), Selection::overview());
    press(Qt::Key_Down, sidebar);
    ASSERT_NE(w.sourcePage(), nullptr);
    const std::string firstSource = w.sourcePage()->sourceID();

    // A pickup point's motor menu, then the new motor sheet from it.
    auto* motorButton = w.sourcePage()->findChild<QPushButton*>(QStringLiteral("motor:Front"));
    ASSERT_NE(motorButton, nullptr);
    whenMenuShows([](QMenu* menu) {
        askAboutEveryObject();
        QAction* item = actionNamed(menu, QStringLiteral("New Motor\u2026"));
        ASSERT_NE(item, nullptr);
        menu->close();
        item->trigger();
    });
    QTest::mouseClick(motorButton, Qt::LeftButton);
    NewMotorSheet* sheet = nullptr;
    ASSERT_TRUE(waitFor([&] { return (sheet = w.sourcePage()->newMotorSheet()) && sheet->isVisible(); }));
    askAboutEveryObject();
    QTest::keyClicks(sheet->nameField(), "Hoist 1t");
    QTest::keyClicks(sheet->weightField(), "61.5");
    QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.sourcePage()->newMotorSheet() == nullptr; }));
    const std::optional<Motor> motor = store().project().extra(firstSource, "Front").motor;
    ASSERT_TRUE(motor.has_value());
    EXPECT_EQ(motor->name, "Hoist 1t");
    EXPECT_EQ(program->motors().motors().size(), 1u);

    // The crew view, wide and phone-sized, given the focus and clicked: the program goes on.
    QTest::mouseClick(w.toolbar().modes->button(int(Mode::crew)), Qt::LeftButton);
    ASSERT_EQ(w.content(), WindowContent::crew);
    auto* crew = w.findChild<CrewWebView*>();
    ASSERT_NE(crew, nullptr);
    ASSERT_TRUE(waitForDrawn(*crew));
    EXPECT_GT(askAboutEveryObject().webEngine, 0) << "the web engine's objects were asked about";
    QWidget* page = crew->view()->focusProxy();
    ASSERT_NE(page, nullptr);
    activate();
    page->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(page, Qt::LeftButton, {}, page->rect().center());
    QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_TRUE(waitFor([&] { return page->hasFocus(); }));
    EXPECT_TRUE(runJs(*crew->page(), "document.getElementById('app').textContent")
                    .toString()
                    .contains(QStringLiteral("Hoist 1t")));
    askAboutEveryObject();
    QTest::mouseClick(w.toolbar().sizes->button(1), Qt::LeftButton);
    EXPECT_TRUE(w.phoneSize());
    QTest::mouseClick(page, Qt::LeftButton, {}, page->rect().center());
    askAboutEveryObject();
    QTest::mouseClick(w.toolbar().sizes->button(0), Qt::LeftButton);
    QTest::mouseClick(w.toolbar().modes->button(int(Mode::edit)), Qt::LeftButton);
    ASSERT_EQ(w.content(), WindowContent::edit);
    ASSERT_NE(w.sourcePage(), nullptr) << "the edit view comes back on the selected source";
    EXPECT_EQ(w.sourcePage()->sourceID(), firstSource);

    // A newer report without the last source: the import changes sheet.
    test::ReportGeneratorOptions newer = test::sampleShowOptions();
    newer.sourceList.pop_back();
    prompts.answerImport({fromPath(files.write("report v2.pdf", test::generateReport(newer).pdf))});
    press(Qt::CTRL | Qt::Key_I);
    ASSERT_TRUE(waitFor([&] { return w.changesSheet() && w.changesSheet()->isVisible(); }));
    askAboutEveryObject();
    QTest::keyClick(w.changesSheet(), Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return w.changesSheet() == nullptr; }));
    EXPECT_EQ(store().project().report.sources.size(), sources - 1);

    // Publish to the stand-in from the toolbar, then the links on the server in their sheet.
    program->publishing().setServer(server.baseUrl());
    program->publishing().setKey(standInKey);
    QTest::mouseClick(sidebar->overviewRow(), Qt::LeftButton, {}, QPoint(20, 8));
    ASSERT_TRUE(overview->isVisible());
    QTest::mouseClick(w.toolbar().publish->button(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return store().project().share.has_value(); }));
    EXPECT_EQ(server.tokens().size(), 1);
    // The link comes first, the download files (both PDFs printed) after it.
    ASSERT_TRUE(waitFor([&] { return !store().crewLink().isPressing(); }, pageDeadlineMs));
    const auto* published = server.link(server.tokens().value(0));
    ASSERT_NE(published, nullptr);
    EXPECT_EQ(published->files.size(), 4u);
    auto* share = overview->findChild<ShareRow*>();
    ASSERT_NE(share, nullptr);
    QTest::mouseClick(share->existingLinksButton(), Qt::LeftButton);
    ExistingLinksSheet* links = nullptr;
    ASSERT_TRUE(waitFor([&] { return (links = share->linksSheet()) && !links->isLoading(); }));
    EXPECT_EQ(links->links().size(), 1u);
    EXPECT_FALSE(links->error().has_value());
    askAboutEveryObject();
    QTest::keyClick(links, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return share->linksSheet() == nullptr; }));

    // Exports from the File menu, the DXF options shown in its panel.
    const QString csv = fromPath(files.path() / "points.csv");
    const QString dxf = fromPath(files.path() / "points.dxf");
    const QString pdf = fromPath(files.path() / "points.pdf");
    prompts.answerExportSave(csv);
    w.actions().exportCSV->trigger();
    prompts.answerExportSave(dxf, [](QWidget* accessory) {
        ASSERT_NE(accessory, nullptr);
        accessory->show();
        askAboutEveryObject();
        accessory->hide();
    });
    w.actions().exportDXF->trigger();
    // The rigging points PDF, then the same file again while the first one prints: the later
    // one is written, and the program goes on.
    PdfPrinter& printer = program->printer();
    QSignalSpy printing(&printer, &PdfPrinter::printStarted);
    QSignalSpy printed(&printer, &PdfPrinter::jobFinished);
    prompts.answerExportSave(pdf);
    w.actions().exportRiggingPDF->trigger();
    ASSERT_TRUE(printing.wait(pageDeadlineMs));
    prompts.answerExportSave(pdf);
    w.actions().exportRiggingPDF->trigger();
    ASSERT_TRUE(waitFor([&] { return printed.size() == 2; }, pageDeadlineMs));
    EXPECT_EQ(printed.at(0), (QVariantList{pdf, false}));
    EXPECT_EQ(printed.at(1), (QVariantList{pdf, true}));
    EXPECT_GT(readPdf(pdf).pages, 0);
    EXPECT_FALSE(store().errorMessage().has_value()) << store().errorMessage()->toStdString();
    EXPECT_TRUE(QFileInfo(csv).size() > 0 && QFileInfo(dxf).size() > 0);

    // Ctrl+, : every settings tab.
    press(Qt::CTRL | Qt::Key_Comma);
    auto* settings = static_cast<SettingsWindow*>(shownWindow("rig::app::SettingsWindow"));
    ASSERT_NE(settings, nullptr);
    auto* tabs = settings->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    for (int i = 0; i < tabs->count(); ++i) {
        clickTab(tabs, i);
        EXPECT_EQ(tabs->currentIndex(), i);
        askAboutEveryObject();
    }
    clickTab(tabs, 1);
    MotorsSettings* motors = settings->motors();
    QTest::keyClicks(motors->newNameField(), "Hoist 2t");
    QTest::keyClicks(motors->newWeightField()->lineEdit(), "80");
    QTest::mouseClick(motors->addButton(), Qt::LeftButton);
    EXPECT_EQ(program->motors().motors().size(), 2u);
    askAboutEveryObject();
    settings->close();

    // Saved, published again and the crew sheets exported, then Ctrl+Q pressed while both run:
    // the question names them, and finishing first writes the PDF and uploads the four
    // download files before the program ends, with nothing asked about the saved project.
    const QString saved = fromPath(files.path() / "show.qvrig");
    prompts.answerSavePanel(saved);
    press(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    ASSERT_TRUE(waitFor([&] { return store().filePath() == saved && !store().isDirty(); }));
    QSignalSpy closed(&w, &MainWindow::closed);

    // A PDF that cannot be written while the quit waits for it: the quit stops, the alert names
    // the file and says why, and the window stays.
    const int alerts = prompts.count(Kind::alert);
    prompts.answerExportSave(fromPath(files.path() / "gone" / "crew.pdf"));
    activate();
    w.actions().exportCrewPDF->trigger();
    prompts.answerQuitWhileRunning(Prompts::QuitAnswer::finishFirst);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return prompts.count(Kind::alert) > alerts; }, 3 * pageDeadlineMs));
    EXPECT_EQ(prompts.last(Kind::alert).text,
              "Could not save crew.pdf: " + toQ(std::generic_category().message(ENOENT)));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible() && !w.quitsWhenDone() && closed.count() == 0);

    const QString sheets = fromPath(files.path() / "crew.pdf");
    const qsizetype uploads = server.requests(testserver::Route::Upload).size();
    QTest::mouseClick(w.toolbar().publish->button(), Qt::LeftButton);
    prompts.answerExportSave(sheets);
    activate();
    w.actions().exportCrewPDF->trigger();
    prompts.answerQuitWhileRunning(Prompts::QuitAnswer::finishFirst);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return prompts.count(Kind::quitWhileRunning) == 2; }));
    EXPECT_EQ(prompts.last(Kind::quitWhileRunning).text,
              "Quit while “crew.pdf” is still being written and the crew link is being published?");
    EXPECT_TRUE(waitFor([&] { return closed.count() == 1; }, 3 * pageDeadlineMs));
    const PdfFacts written = readPdf(sheets);
    EXPECT_GT(written.pages, 0);
    EXPECT_TRUE(written.text.contains(toQ(store().project().report.sources.front().name)));
    EXPECT_EQ(server.requests(testserver::Route::Upload).size(), uploads + 4);
    EXPECT_EQ(prompts.count(Kind::saveChanges), 0);
}

// A click into the crew page moves the focus into the web engine's own objects, and Qt asks
// every accessibility factory about them.
TEST_F(Drive, TheCrewViewTakesTheFocusAndClicksAndTheProgramGoesOn) {
    MainWindow& w = *window;
    const QString show = fromPath(files.write("show.qvrig", showProject().fileText()));
    prompts.answerOpen(show);
    press(Qt::CTRL | Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return store().filePath() == show; }));
    QTest::mouseClick(w.toolbar().modes->button(int(Mode::crew)), Qt::LeftButton);
    auto* crew = w.findChild<CrewWebView*>();
    ASSERT_NE(crew, nullptr);
    ASSERT_TRUE(waitForDrawn(*crew));
    QWidget* page = crew->view()->focusProxy();
    ASSERT_NE(page, nullptr);
    runJs(*crew->page(), "window.clicks = 0; document.addEventListener('mousedown', () => ++window.clicks)");

    activate();
    QTest::keyClick(w.toolbar().modes->button(int(Mode::crew)), Qt::Key_Tab);
    page->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return page->hasFocus(); }));
    for (const QPoint& at : {page->rect().center(), QPoint(30, 30), QPoint(page->width() - 30, 200)})
        QTest::mouseClick(page, Qt::LeftButton, {}, at);
    EXPECT_TRUE(waitFor([&] { return runJs(*crew->page(), "window.clicks").toInt() == 3; }));
    QTest::keyClick(page, Qt::Key_PageDown);
    QTest::mouseClick(w.toolbar().sizes->button(1), Qt::LeftButton);
    QTest::mouseClick(page, Qt::LeftButton, {}, page->rect().center());
    EXPECT_TRUE(waitFor([&] { return runJs(*crew->page(), "window.clicks").toInt() == 4; }));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.content(), WindowContent::crew);
    EXPECT_TRUE(runJs(*crew->page(), "document.getElementById('app').textContent")
                    .toString()
                    .contains(QStringLiteral("Main L")));
}

// Whether the JSON reader refuses text nested deeper than any real file, before building it.
bool deepJsonIsRefused() {
    try {
        parseJsonText(std::string(10000, '[') + std::string(10000, ']'));
        return false;
    } catch (const std::exception&) {
        return true;
    }
}

// A hostile project, a million levels of brackets under a member the program does not know:
// the open is refused with a message naming the file, and the open project stays.
TEST_F(Drive, AProjectNestedAMillionLevelsDeepIsRefusedAndTheProgramGoesOn) {
    if (!deepJsonIsRefused())
        GTEST_SKIP() << "the JSON reader does not refuse deep nesting yet: opening the file would "
                        "end the test program";
    MainWindow& w = *window;
    const QString show = fromPath(files.write("show.qvrig", showProject().fileText()));
    prompts.answerOpen(show);
    press(Qt::CTRL | Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return store().filePath() == show; }));

    std::string deep = showProject().fileText();
    const std::size_t levels = 1000000;
    ASSERT_EQ(deep.front(), '{');
    deep.insert(1, "\"keptFromANewerVersion\": " + std::string(levels, '[') + std::string(levels, ']') + ",");
    const QString hostile = fromPath(files.write("deep.qvrig", deep));
    prompts.answerOpen(hostile);
    press(Qt::CTRL | Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return prompts.count(Kind::alert) == 1; }));
    EXPECT_TRUE(prompts.last(Kind::alert).text.contains(QStringLiteral("deep.qvrig")))
        << prompts.last(Kind::alert).text.toStdString();
    EXPECT_EQ(store().filePath(), show);
    EXPECT_EQ(store().project(), showProject());
    EXPECT_EQ(w.content(), WindowContent::edit);
    EXPECT_TRUE(w.isVisible());
}

} // namespace
} // namespace rig::app
