// Every page of the main window and every settings tab, walked as a user meets them: the wheel
// over their controls, and the narrowest window.
#include "support/AppTesting.h"
#include "support/BidiTesting.h"
#include "support/Contrast.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "Appearance.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportChangesDialog.h"
#include "ImportController.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "PageStyle.h"
#include "PdfPrinter.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "RiggingHeightFields.h"
#include "SettingsPane.h"
#include "SettingsWindow.h"
#include "SidebarWidget.h"
#include "SourcePage.h"
#include "WelcomePage.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QSpontaneKeyEvent>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace rig::app {
namespace {

using testing::waitFor;

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        library.upsert("D8+ 500 kg", 38);
        library.upsert("D8+ 1000 kg", 58);
        store->setMotorLibrary(&library);
    }

    MainWindow& makeWindow(Project project) {
        store->setProject(std::move(project));
        MainWindow::Parts parts;
        parts.crewPreview = {[](const CrewDoc&, bool, QWidget* parent) -> QWidget* {
                                 return new QLabel(QStringLiteral("crew"), parent);
                             },
                             [](QWidget*, const CrewDoc&, bool) {}};
        parts.exports = &exports;
        window = std::make_unique<MainWindow>(*store, library, std::move(parts));
        window->show();
        return *window;
    }

    // The scrolling pages of the edit view: the overview, then each source's page.
    void forEachPage(MainWindow& w, const std::function<void(const QString& name, QScrollArea* page)>& run) {
        w.setSelection(Selection::overview());
        run(QStringLiteral("overview"), qobject_cast<QScrollArea*>(w.overviewPage()));
        for (const Source& source : store->project().report.sources) {
            w.setSelection(Selection::source(source.id()));
            QApplication::processEvents();
            run(toQ(source.name), w.sourcePage());
        }
    }

    // Each tab of the settings window, shown.
    void forEachSettingsTab(SettingsWindow& settings,
                            const std::function<void(const QString& name, QScrollArea* page)>& run) {
        auto* tabs = settings.findChild<QTabBar*>();
        for (int i = 0; i < tabs->count(); ++i) {
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
            QScrollArea* pane = nullptr;
            for (auto* candidate : settings.findChildren<SettingsPane*>())
                if (candidate->isVisible()) pane = candidate;
            ASSERT_NE(pane, nullptr) << tabs->tabText(i).toStdString();
            run(tabs->tabText(i), pane);
        }
    }

    testing::TempAppPaths paths;
    testing::FakePrompts prompts;
    MotorLibrary library;
    std::unique_ptr<ProjectStore> store = testing::makeStore();
    DXFSettings dxf;
    PublishSettings publish{std::make_unique<MemorySecretStore>()};
    testing::NoReveal reveal;
    PdfPrinter printer;
    ExportCommands exports{*store, dxf, printer, reveal};
    std::unique_ptr<MainWindow> window;
};

// --- The wheel ------------------------------------------------------------------------------

bool takesWheel(const QWidget* w) {
    return qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           (qobject_cast<const QAbstractSlider*>(w) && !qobject_cast<const QScrollBar*>(w));
}

QString valueOf(const QWidget* w) {
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    if (auto* spin = qobject_cast<const QAbstractSpinBox*>(w)) return spin->text();
    return QString::number(static_cast<const QAbstractSlider*>(w)->value());
}

// One notch of the wheel with the pointer over `widget`, as the window system delivers it: to
// the window, which hands it to the widget under the pointer and on to its parents.
void wheelOver(QWidget* widget, int delta) {
    const QPoint centre = widget->rect().center();
    QWheelEvent wheel(widget->mapTo(widget->window(), centre), widget->mapToGlobal(centre), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel); // sendEvent would make it one the program sent
    QCoreApplication::instance()->notify(widget->window()->windowHandle(), &wheel);
}

// Every menu, spin box and slider of `page`: the wheel over it without focus leaves its value
// and scrolls the page (`thenCheck` runs then); once focused, the wheel is the control's.
// Gives how many there were.
int checkWheel(const QString& name, QScrollArea* page, const std::function<void()>& thenCheck = {}) {
    int controls = 0;
    for (QWidget* control : page->widget()->findChildren<QWidget*>()) {
        if (!takesWheel(control) || !control->isVisibleTo(page)) continue;
        ++controls;
        const std::string where = name.toStdString() + " / " + control->objectName().toStdString();
        QScrollBar* bar = page->verticalScrollBar();
        EXPECT_GT(bar->maximum(), 0) << where << ": the page must scroll for this check";
        // The page scrolled so that the control sits under the pointer, room left to go on.
        page->ensureWidgetVisible(control);
        const int down = bar->value() < bar->maximum() ? -120 : 120;
        control->clearFocus();
        QApplication::processEvents();
        const QString before = valueOf(control);
        const int scrolled = bar->value();
        wheelOver(control, down);
        EXPECT_EQ(valueOf(control), before) << where;
        EXPECT_NE(bar->value(), scrolled) << where << ": the page did not scroll";
        EXPECT_FALSE(control->hasFocus()) << where;
        if (thenCheck) thenCheck();

        auto* combo = qobject_cast<QComboBox*>(control);
        if (!combo || combo->count() < 2) continue;
        page->ensureWidgetVisible(control);
        control->setFocus(Qt::MouseFocusReason);
        const int at = bar->value();
        wheelOver(control, combo->currentIndex() + 1 < combo->count() ? -120 : 120);
        EXPECT_NE(valueOf(control), before) << where << ": focused, the wheel is the control's";
        EXPECT_EQ(bar->value(), at) << where;
    }
    return controls;
}

TEST_F(PagesTest, TheWheelScrollsPastMenusSpinBoxesAndSlidersUntilTheyHaveTheFocus) {
    MainWindow& w = makeWindow(fixtures::fullProject());
    QApplication::setActiveWindow(&w);
    w.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
    QApplication::processEvents();
    auto* overview = qobject_cast<OverviewPage*>(w.overviewPage());
    ASSERT_NE(overview, nullptr);
    int controls = 0;
    forEachPage(w, [&](const QString& name, QScrollArea* page) {
        // The bulk menu, wheeled past without focus, chose nothing to set on all points.
        const auto nothingChosen = [&] {
            EXPECT_EQ(overview->bulkMotor(), std::nullopt);
            EXPECT_FALSE(overview->setOnAllButton()->isEnabled());
        };
        controls += checkWheel(name, page, page == overview ? nothingChosen : std::function<void()>());
    });
    EXPECT_GE(controls, 1); // the bulk "Motor" menu

    SettingsWindow settings(library, dxf, publish);
    settings.setFixedSize(SettingsWindow::width, 240); // a short screen: every tab scrolls
    settings.show();
    QApplication::setActiveWindow(&settings);
    int settingsControls = 0;
    forEachSettingsTab(settings, [&](const QString& name, QScrollArea* pane) {
        settingsControls += checkWheel(name, pane);
    });
    EXPECT_GE(settingsControls, 1); // the DXF footprints menu of General
}

// --- Outlines of controls --------------------------------------------------------------------

// The commonest colour 2 to 3 pixels around `frame` in `image`: what a control stands on.
QColor groundAround(const QImage& image, const QRect& frame) {
    std::map<QRgb, int> counts;
    const QRect inner = frame.adjusted(-1, -1, 1, 1), outer = frame.adjusted(-3, -3, 3, 3);
    for (int y = outer.top(); y <= outer.bottom(); ++y)
        for (int x = outer.left(); x <= outer.right(); ++x)
            if (!inner.contains(x, y) && image.rect().contains(x, y)) ++counts[image.pixel(x, y)];
    return QColor::fromRgb(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                               return a.second < b.second;
                           })->first);
}

// How `frame`'s outline stands out from `ground`: in the middle of each side the strongest
// pixel from one outside to two inside; the weakest side.
double outlineContrast(const QImage& image, const QRect& frame, const QColor& ground) {
    const QPoint middle = frame.center();
    double weakest = 100;
    for (const auto& [edge, inward] : {std::pair{QPoint(middle.x(), frame.top()), QPoint(0, 1)},
                                       {QPoint(middle.x(), frame.bottom()), QPoint(0, -1)},
                                       {QPoint(frame.left(), middle.y()), QPoint(1, 0)},
                                       {QPoint(frame.right(), middle.y()), QPoint(-1, 0)}}) {
        double best = 1;
        for (int d = -1; d <= 2; ++d)
            best = std::max(best, testing::contrast(image.pixelColor(edge + inward * d), ground));
        weakest = std::min(weakest, best);
    }
    return weakest;
}

// The box a control's outline is drawn around, in its own coordinates; an empty one for a
// button without a frame (its symbol or text is what shows it).
std::optional<QRect> outlinedBox(QWidget* control) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        return box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    }
    if (auto* button = qobject_cast<QToolButton*>(control); button && button->autoRaise()) return QRect();
    if (auto* button = qobject_cast<QPushButton*>(control); button && button->isFlat()) return QRect();
    const bool part = qobject_cast<QComboBox*>(control->parentWidget()) ||
                      qobject_cast<QAbstractSpinBox*>(control->parentWidget());
    if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
        qobject_cast<QAbstractSpinBox*>(control) || qobject_cast<SegmentedControl*>(control) ||
        (qobject_cast<QLineEdit*>(control) && !part))
        return control->rect();
    return std::nullopt;
}

// Every enabled control of every page, the sidebar and every settings tab, in both appearances
// switched to with the windows open, as drawn: the outline of boxes, fields (focused too), menus
// and buttons at 3:1 against what they stand on, the symbol or text of a button without a frame
// too.
TEST_F(PagesTest, EveryControlsOutlineStandsOutInBothAppearances) {
    struct SystemAppearanceAfterwards {
        ~SystemAppearanceAfterwards() { applyAppearance(Appearance::system); }
    } restore;
    std::set<QString> kinds;
    const auto measure = [&](const QString& name, QWidget* control, const QRect& box) {
        const QRect frame = box.isEmpty() ? control->rect() : box;
        const QPoint at = control->mapTo(control->window(), frame.topLeft()) - QPoint(4, 4);
        const QImage image = control->window()->grab(QRect(at, frame.size() + QSize(8, 8))).toImage();
        const QRect drawn = frame.translated(-frame.topLeft() + QPoint(4, 4));
        const QColor ground = groundAround(image, drawn);
        double shown = 1;
        if (box.isEmpty()) {
            for (int y = drawn.top(); y <= drawn.bottom(); ++y)
                for (int x = drawn.left(); x <= drawn.right(); ++x)
                    shown = std::max(shown, testing::contrast(image.pixelColor(x, y), ground));
        } else {
            shown = outlineContrast(image, drawn, ground);
        }
        kinds.insert(QString::fromLatin1(control->metaObject()->className()));
        EXPECT_GE(shown, 3.0) << name.toStdString() << " / " << control->metaObject()->className() << " "
                              << control->objectName().toStdString()
                              << (control->hasFocus() ? " focused" : "") << " on "
                              << ground.name().toStdString() << ", "
                              << (style::isDark(QApplication::palette()) ? "dark" : "light");
    };
    const auto check = [&](const QString& name, QWidget* root) {
        auto* page = qobject_cast<QScrollArea*>(root);
        QApplication::setActiveWindow(root->window());
        for (QWidget* control : (page ? page->widget() : root)->findChildren<QWidget*>()) {
            const std::optional<QRect> box = outlinedBox(control);
            if (!box || !control->isVisibleTo(root) || !control->isEnabled()) continue;
            if (page) page->ensureWidgetVisible(control, 8, 8);
            measure(name, control, *box);
            if (!qobject_cast<QLineEdit*>(control)) continue;
            control->setFocus(Qt::TabFocusReason);
            if (waitFor([&] { return control->hasFocus(); })) measure(name, control, *box);
            control->clearFocus();
        }
    };
    // Each appearance switched to with the windows open: every control follows at once.
    applyAppearance(Appearance::dark);
    MainWindow& w = makeWindow(fixtures::fullProject());
    w.resize(1200, 800);
    SettingsWindow settings(library, dxf, publish);
    settings.show();
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        applyAppearance(appearance);
        forEachPage(w, check);
        check(QStringLiteral("toolbar"), w.toolbar().bar);
        check(QStringLiteral("sidebar"), w.sidebar());
        forEachSettingsTab(settings, check);
    }
    for (const char* kind :
         {"QCheckBox", "QComboBox", "QPushButton", "QToolButton", "rig::app::SegmentedControl"})
        EXPECT_TRUE(kinds.count(kind)) << kind;
}

// --- The narrowest window --------------------------------------------------------------------

// The width a layout grants `w` at least (what it must not be squeezed below).
QSize leastSize(const QWidget* w) {
    const QSizePolicy policy = w->sizePolicy();
    const auto least = [](QSizePolicy::Policy p, int hint, int minHint, int set) {
        if (set > 0) return set;
        if (p == QSizePolicy::Ignored) return 0;
        return (p & QSizePolicy::ShrinkFlag) ? minHint : std::max(hint, minHint);
    };
    const QSize hint = w->sizeHint(), minHint = w->minimumSizeHint(), set = w->minimumSize();
    return QSize(least(policy.horizontalPolicy(), hint.width(), minHint.width(), set.width()),
                 least(policy.verticalPolicy(), hint.height(), minHint.height(), set.height()))
        .boundedTo(w->maximumSize());
}

QString widgetName(const QWidget* w) {
    return QString::fromLatin1(w->metaObject()->className()) + " '" + w->objectName() + "'";
}

// Widgets of `content` a user cannot see whole: outside the content, outside their parent, or
// squeezed below the size their layout owes them.
QStringList cutOff(QWidget* content) {
    QStringList faults;
    for (QWidget* w : content->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(content) || w->isWindow()) continue;
        QWidget* parent = w->parentWidget();
        // The parts of a compound control are its own business.
        if (qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractSpinBox*>(parent)) continue;
        const QRect inContent(w->mapTo(content, QPoint(0, 0)), w->size());
        if (!content->rect().contains(inContent))
            faults << widgetName(w) + " outside the page";
        else if (!parent->rect().contains(w->geometry()))
            faults << widgetName(w) + " outside " + widgetName(parent);
        if (!parent->layout()) continue;
        const QSize least = leastSize(w);
        const int height = w->hasHeightForWidth() ? w->heightForWidth(w->width()) : least.height();
        if (w->width() < least.width() || w->height() < height)
            faults << QStringLiteral("%1 squeezed to %2×%3 (needs %4×%5)")
                          .arg(widgetName(w))
                          .arg(w->width())
                          .arg(w->height())
                          .arg(least.width())
                          .arg(height);
    }
    return faults;
}

// What of a scrolling `page` a user cannot reach or see whole: content wider than the view (texts
// wrap, anywhere if they must), content beyond the view with no scroll bar to reach it, and what
// cutOff finds.
QStringList unreachable(QScrollArea* page) {
    QStringList faults;
    const QWidget* content = page->widget();
    const QSize view = page->viewport()->size();
    if (content->width() > view.width())
        faults << QStringLiteral("content %1 wide in a view of %2").arg(content->width()).arg(view.width());
    if (content->height() > view.height() && !page->verticalScrollBar()->isVisible())
        faults << QStringLiteral("content %1 high in a view of %2, no scroll bar")
                      .arg(content->height())
                      .arg(view.height());
    return faults + cutOff(page->widget());
}

// A project with long names everywhere a page shows one.
Project longNamedProject() {
    Project project = fixtures::fullProject();
    const std::string name = "STAGE_LEFT_MAIN_HANG_K2_TWELVE_BOXES_BEHIND_THE_LED_WALL_V2026";
    Source& source = project.report.sources.edit()[0];
    const DXFInfo drawn = *project.dxf.get(source.id());
    const PointExtra front = project.extra(source.id(), "Front");
    source.name = name;
    source.groups.mut(1) = "Main hang of the arena over the stage left wing";
    project.dxf.set(source.id(), drawn);
    project.setExtra(
        source.id(), "Front",
        PointExtra{fixtures::testMotor("Chainmaster BGV-D8 Plus 1000 kg Rigging Hoist 18.5m", 62, 4),
                   front.delta});
    project.reportFile = "Arena show " + name + " report.pdf";
    project.inventoryFile = "Arena show inventory of the whole tour 2026.csv";
    project.inventory.mut(0).product = "K2 line source with its bumper and the flight cases";
    project.delta.name = "K1-DELTA plate of the left wing";
    return project;
}

// Every text of the project set to `text` (see withEveryText), every hook above its rigging
// height (the warning names each source) and a Delta point far from the origin.
Project projectWithTexts(const std::string& text) {
    Project project = fixtures::fullProject();
    Source& source = project.report.sources.edit()[0];
    source.warnings.push_back(ReportWarning{ReportWarning::Level::warning, "Front motor above its limit."});
    source.pickups.edit()[1].position = XYZ(-1234.56, -789.01, 12.5);
    project.riggingHeight = 1;
    project.groupRiggingHeights.reset();
    return fixtures::withEveryText(project, text);
}

TEST_F(PagesTest, EveryPageStaysWithinTheNarrowestWindow) {
    library.upsert("Chainmaster BGV-D8 Plus 1000 kg Rigging Hoist 18.5m", 62);
    int sidebar = 0;
    std::string texts;
    const auto check = [&](const QString& name, QScrollArea* page) {
        ASSERT_NE(page, nullptr) << name.toStdString();
        // Scroll bars and wrapped lines settle over a few layout passes.
        QStringList faults;
        waitFor([&] { return (faults = unreachable(page)).isEmpty(); });
        EXPECT_TRUE(faults.isEmpty()) << name.toStdString() << ", sidebar " << sidebar << ", " << texts
                                      << ": " << faults.join(" | ").toStdString();
        // Each name shown whole or in part stays isolated from the text around it.
        const QStringList loose = testing::shownOverrides(*page).loose;
        EXPECT_TRUE(loose.isEmpty()) << name.toStdString() << ", " << texts << ": "
                                     << loose.join(" | ").toStdString();
    };
    std::string unbroken = "STAGE_LEFT_MAIN_HANG_";
    while (unbroken.size() < 200) unbroken += "K2_BEHIND_THE_LED_WALL_";
    unbroken.resize(200);
    // "Warning: the load on the front point exceeds the limit" without its blanks, six times,
    // and a right-to-left override left open.
    std::string arabic;
    for (int i = 0; i < 6; ++i)
        arabic += "\u062A\u062D\u0630\u064A\u0631\u0627\u0644\u062D\u0645\u0644\u0639\u0644\u0649"
                  "\u0627\u0644\u0646\u0642\u0637\u0629\u0627\u0644\u0623\u0645\u0627\u0645\u064A"
                  "\u0629\u064A\u062A\u062C\u0627\u0648\u0632\u0627\u0644\u062D\u062F";
    arabic += "\u202E";
    const std::pair<const char*, Project> rows[] = {
        {"", fixtures::fullProject()},
        {"long names", longNamedProject()},
        {"200 characters unbroken", projectWithTexts(unbroken)},
        {"right to left", projectWithTexts(arabic)},
        {"every number 1.7e308", fixtures::withEveryNumber(fixtures::fullProject(), 1.7e308)}};
    for (const std::string& text : {unbroken, arabic}) library.upsert(toQ(text), 1.7e308);
    for (const auto& [name, project] : rows) {
        texts = name;
        MainWindow& w = makeWindow(project);
        auto* heights = w.findChild<RiggingHeightFields*>(); // the group rows, each with its label
        QTest::mouseClick(heights->disclosure(), Qt::LeftButton);
        ASSERT_FALSE(heights->shownGroupLabels().isEmpty());
        auto* splitter = w.findChild<QSplitter*>();
        for (const int width : {SidebarWidget::minimumColumnWidth, SidebarWidget::maximumColumnWidth}) {
            sidebar = width;
            w.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
            splitter->setSizes({width, MainWindow::minimumWidth - width});
            ASSERT_TRUE(waitFor([&] { return w.width() == MainWindow::minimumWidth; }));
            QApplication::processEvents();
            ASSERT_EQ(w.sidebar()->width(), width);
            check(QStringLiteral("sidebar"), w.sidebar());
            forEachPage(w, check);
        }
        // The crew preview, wide and in the phone frame.
        w.setMode(Mode::crew);
        for (const bool phone : {false, true}) {
            w.setPhoneSize(phone);
            QApplication::processEvents();
            check(phone ? QStringLiteral("phone") : QStringLiteral("crew"),
                  qobject_cast<QScrollArea*>(w.findChild<QStackedWidget*>()->currentWidget()));
        }
        w.setMode(Mode::edit);

        // The window's own texts: title, menus, toolbar.
        EXPECT_TRUE(testing::shownOverrides(w).loose.isEmpty()) << name;

        // The sheet of a newer report's changes, listing those of the last import.
        QStringList changes;
        for (const std::string& change : project.history.back().changes) changes << toQ(change);
        store->importer().setImportChanges(changes);
        ASSERT_TRUE(waitFor([&] { return w.changesSheet() && w.changesSheet()->isVisible(); }));
        QStringList faults;
        EXPECT_TRUE(waitFor([&] { return (faults = cutOff(w.changesSheet())).isEmpty(); }))
            << name << ": " << faults.join(" | ").toStdString();
        QTest::keyClick(w.changesSheet(), Qt::Key_Return);
        ASSERT_TRUE(waitFor([&] { return !w.changesSheet(); }));
    }

    // The welcome page, without a scroll bar.
    store->setProject(Project());
    auto* welcome = window->findChild<WelcomePage*>();
    ASSERT_TRUE(waitFor([&] { return welcome->isVisible(); }));
    QStringList faults;
    EXPECT_TRUE(waitFor([&] { return (faults = cutOff(welcome)).isEmpty(); }))
        << faults.join(" | ").toStdString();

    // The settings tabs, in their window of fixed size.
    SettingsWindow settings(library, dxf, publish);
    settings.show();
    forEachSettingsTab(settings, check);
}

} // namespace
} // namespace rig::app
