#include "OverviewPage.h"

#include "Appearance.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "Fields.h"
#include "Icons.h"
#include "InventoryBlock.h"
#include "MotorLibrary.h"
#include "OverviewTexts.h"
#include "PageStyle.h"
#include "PdfPrinter.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "Reveal.h"
#include "RiggingHeightFields.h"
#include "SidebarWidget.h"
#include "SourcePage.h"
#include "Symbols.h"
#include "import/InventoryCSV.h"
#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/SampleShow.h"
#include "support/ShowProjects.h"
#include "support/Waiting.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

namespace rig::app {
namespace {

using fixtures::notANumber;
using fixtures::testPickup;
using fixtures::testSource;

struct NoReveal : Reveal {
    void reveal(const QString&) override {}
};

InventoryItem item(std::string category, std::int64_t quantity, std::string product) {
    return InventoryItem{std::move(category), quantity, "", std::move(product), "", std::nullopt};
}

struct PageFixture {
    explicit PageFixture(Project project) {
        store.setProject(std::move(project));
        page.show();
        page.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
    }
    void focus(QWidget* edit) {
        edit->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(testing::waitFor([&] { return focused() == edit; }));
    }
    QWidget* focused() const { return page.window()->focusWidget(); }
    void change(const std::function<void(Project&)>& edit) {
        Project p = store.project();
        edit(p);
        store.setProject(std::move(p));
    }

    testing::TempAppPaths paths;
    ProjectStore store;
    MotorLibrary library;
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer;
    ExportCommands exports{store, dxf, printer, reveal};
    OverviewPage page{store, library, exports};
};

TEST(OverviewPage, TypingEditsOncePerKeyInPlaceAndFollowsTheOpenDocument) {
    PageFixture f(testing::arenaShow());
    f.change([](Project& p) {
        p.name = "Saved show";
        p.riggingHeight = 14.0;
    });
    const QString saved = f.paths.file("saved.qvrig");
    ASSERT_TRUE(f.store.writeProject(saved));
    BoxField* name = f.page.nameField();
    f.focus(name);
    name->selectAll();
    const std::uint64_t before = f.store.revision();
    QTest::keyClicks(name, QStringLiteral("Main Stage"));
    EXPECT_EQ(f.store.project().name, "Main Stage");
    EXPECT_EQ(f.store.revision() - before, 10u);
    // The author as typed; cleared, the project has none.
    BoxField* author = f.page.authorField();
    f.focus(author);
    QTest::keyClicks(author, QStringLiteral(" Jo "));
    EXPECT_EQ(f.store.project().author, std::optional<std::string>(" Jo "));
    for (int i = 0; i < 4; ++i) QTest::keyClick(author, Qt::Key_Backspace);
    EXPECT_EQ(f.store.project().author, std::nullopt);

    // Rigging heights: a new group appearing while one is typed in keeps that field and its focus.
    RiggingHeightFields* rigging = f.page.riggingHeightFields();
    rigging->disclosure()->click();
    QLineEdit* all = rigging->allPointsField()->lineEdit();
    f.focus(all);
    all->selectAll();
    QTest::keyClicks(all, QStringLiteral("18,5"));
    EXPECT_EQ(f.store.project().riggingHeight, 18.5);
    NumField* left = rigging->groupField("Main \u203a Left");
    ASSERT_NE(left, nullptr);
    f.focus(left->lineEdit());
    QTest::keyClicks(left->lineEdit(), QStringLiteral("2"));
    EXPECT_EQ(groupHeight(f.store.project(), "Main \u203a Left"), 2.0);
    f.change([](Project& p) {
        p.report.sources.edit().insert(
            p.report.sources.edit().begin(),
            testSource("Delay", {"ALL", "Delay"}, {testPickup("Front", {1, 20, 9})}));
    });
    EXPECT_EQ(rigging->groupField("Main \u203a Left"), left);
    EXPECT_EQ(f.focused(), left->lineEdit());
    QTest::keyClick(left->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(f.store.project().groupRiggingHeights.has_value()); // absent, not an empty map

    // Opening a document replaces what was being typed; the next key edits the open document.
    f.focus(name);
    QTest::keyClicks(name, QStringLiteral("9"));
    f.store.openProject(saved, false);
    EXPECT_EQ(name->text(), "Saved show");
    f.focus(name);
    name->end(false);
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(f.store.project().name, "Saved sho");
    f.focus(all);
    QTest::keyClicks(all, QStringLiteral("9"));
    f.store.openProject(saved, false);
    EXPECT_EQ(all->text(), "14");

    // Exports name the file after the project as it is at the press.
    testing::FakePrompts prompts;
    f.change([](Project& p) { p.name = "Main Stage"; });
    prompts.answerExportSave(std::nullopt);
    f.page.exportButtons().at(3)->click();
    EXPECT_EQ(prompts.exportSaves().back().fileName, "Main Stage \u2013 crew sheets.pdf");
}

TEST(OverviewPage, BulkMotorSetsOnlyPointsWithout) {
    Source main = testSource("Main", {"ALL", "Main"},
                             {testPickup("Front", {0, 0, 12}), testPickup("Rear", {0, -1, 12})});
    Source out = testSource("Out", {"ALL", "Out"}, {testPickup("Front", {5, 0, 9})});
    Project p = fixtures::projectOf({main, out});
    const Motor a = fixtures::testMotor("CM Lodestar 1t", 62, 3);
    p.setExtra(main.id(), "Front", PointExtra{a, false});
    p.setExtra(main.id(), "Rear", PointExtra{std::nullopt, true});
    p.setHidden({out.id()}, true);
    PageFixture f(p);
    QComboBox* menu = f.page.motorMenu();
    const Motor d8 = f.library.upsert(QStringLiteral("D8+ 1000 kg"), 58);
    EXPECT_FALSE(f.page.setOnAllButton()->isEnabled());
    emit menu->activated(menu->findText(QStringLiteral("D8+ 1000 kg \u2013 58 kg")));

    // One assignment per point without a motor, hidden sources included; the flag stays.
    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.page.setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(f.store.project().extra(main.id(), "Front"), (PointExtra{a, false}));
    EXPECT_EQ(f.store.project().extra(main.id(), "Rear"), (PointExtra{d8, true}));
    EXPECT_EQ(f.store.project().extra(out.id(), "Front"), (PointExtra{d8, false}));

    // The chosen motor changes in the library: the stale copy can no longer be set.
    f.library.upsert(QStringLiteral("d8+ 1000 KG"), 60);
    EXPECT_EQ(f.page.bulkMotor(), std::nullopt);
    EXPECT_FALSE(f.page.setOnAllButton()->isEnabled());
}

// An sRGB channel (0 to 1) made linear.
double linear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Contrast ratio of two opaque colours (WCAG 2).
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// `colour` drawn over the opaque `ground`.
QColor over(const QColor& colour, const QColor& ground) {
    const double a = colour.alphaF();
    return QColor::fromRgbF(float(colour.redF() * a + ground.redF() * (1 - a)),
                            float(colour.greenF() * a + ground.greenF() * (1 - a)),
                            float(colour.blueF() * a + ground.blueF() * (1 - a)));
}

// Hue angle in CIELAB (D65), in degrees: the hue as a person sees it.
double labHue(const QColor& c) {
    const double r = linear(c.redF()), g = linear(c.greenF()), b = linear(c.blueF());
    const auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    const double fx = f((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047);
    const double fy = f(0.2126 * r + 0.7152 * g + 0.0722 * b);
    const double fz = f((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883);
    return std::atan2(200 * (fy - fz), 500 * (fx - fy)) * 180 / M_PI;
}

// The pixel `widget` shows at `at`, as its window draws it.
QColor drawnAt(QWidget* widget, QPoint at) {
    return widget->window()->grab().toImage().pixelColor(widget->mapTo(widget->window(), at));
}

// The commonest colour of `counts`.
QColor commonest(const std::map<QRgb, int>& counts) {
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    return most == counts.end() ? QColor() : QColor::fromRgb(most->first);
}

// A mark drawn from the bundled icon `icon`, `side` wide, in the middle of `mark`, as its window
// draws it: the commonest colour where the icon's shape is most opaque (thin strokes are never
// fully so) and the commonest around the shape.
std::pair<QColor, QColor> markColours(QWidget* mark, const QString& icon, int side) {
    const QImage shape = iconPixmap(icon, Qt::black, side).toImage();
    const QImage drawn = mark->window()->grab().toImage();
    const QPoint origin =
        mark->mapTo(mark->window(), QPoint((mark->width() - side) / 2, (mark->height() - side) / 2));
    int most = 0;
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x) most = std::max(most, qAlpha(shape.pixel(x, y)));
    std::map<QRgb, int> inside, around;
    for (int y = 0; y < shape.height(); ++y) {
        for (int x = 0; x < shape.width(); ++x) {
            const int alpha = qAlpha(shape.pixel(x, y));
            if (alpha == most) ++inside[drawn.pixel(origin + QPoint(x, y))];
            if (alpha == 0) ++around[drawn.pixel(origin + QPoint(x, y))];
        }
    }
    EXPECT_GE(most, 160) << icon.toStdString();
    return {commonest(inside), commonest(around)};
}

// Checks and warnings read apart at a glance and against the backgrounds they are drawn on, in
// both appearances: symbols at 3:1, warning texts at 4.5:1; errors stay apart from warnings on
// the source page's boxes and on the sidebar's selected row.
TEST(OverviewPage, ChecksAndWarningsDifferInHueAndContrastInBothAppearances) {
    Project project = fixtures::fullProject();
    Source& main = project.report.sources.edit()[0];
    main.warnings.push_back(
        ReportWarning{ReportWarning::Level::warning, "Front motor above its load limit."});
    main.warnings.push_back(ReportWarning{ReportWarning::Level::error, "Rear point overloaded."});
    main.warnings.push_back(ReportWarning{ReportWarning::Level::caution, "Check the bumper angle."});
    main.pickups.edit()[0].load = 999; // the loads no longer add up: a check
    project.report.sources.edit()[2].warnings.push_back(
        ReportWarning{ReportWarning::Level::warning, "Site angle outside the bumper's range."});
    project.setHidden({project.report.sources[2].id()}, true); // its eye shows the hidden state
    struct SystemAppearanceAfterwards {
        ~SystemAppearanceAfterwards() { applyAppearance(Appearance::system); }
    } restore;
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        applyAppearance(appearance);
        PageFixture f(project);
        f.page.resize(900, 3000);                                 // every section in sight
        std::map<style::Tone, std::pair<QColor, QColor>> symbols; // colour, background
        for (QWidget* row : f.page.findChildren<QWidget*>("check")) {
            auto* symbol = row->findChild<SymbolView*>();
            symbols[symbol->tone()] = {style::color(symbol->tone(), symbol->palette()),
                                       drawnAt(row, {row->width() + 4, row->height() / 2})};
        }
        ASSERT_EQ(symbols.count(style::Tone::yellow), 1u);
        ASSERT_EQ(symbols.count(style::Tone::orange), 1u);
        const auto [check, checkBackground] = symbols[style::Tone::yellow];
        const auto [warning, warningBackground] = symbols[style::Tone::orange];
        const bool dark = appearance == Appearance::dark;
        EXPECT_GE(contrast(check, checkBackground), 3.0) << dark;
        EXPECT_GE(contrast(warning, warningBackground), 4.5) << dark;
        EXPECT_GE(std::abs(labHue(check) - labHue(warning)), 25.0) << dark;

        // The source page's report warnings: errors in red and warnings in orange on a tint of
        // their own colour, cautions plain.
        SourcePage page(f.store, f.library, f.store.project().report.sources[0]);
        page.resize(900, 700);
        page.show();
        std::map<style::Tone, double> textContrast;
        std::map<style::Tone, QColor> textColour;
        for (QWidget* row :
             page.findChild<QWidget*>("warnings")->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            auto* text = row->findChild<style::ToneLabel*>();
            const QColor colour = text->palette().color(QPalette::WindowText);
            textColour[text->tone()] = colour;
            const QColor ground = drawnAt(row, {4, row->height() / 2});
            textContrast[text->tone()] = contrast(over(colour, ground), ground);
        }
        ASSERT_EQ(textContrast.size(), 3u);
        for (const auto& [tone, ratio] : textContrast) EXPECT_GE(ratio, 4.5) << int(tone) << " " << dark;
        EXPECT_GE(std::abs(labHue(textColour[style::Tone::red]) - labHue(textColour[style::Tone::orange])),
                  25.0)
            << dark;

        // The sidebar's marks on a selected row: errors and warnings apart, every mark readable.
        SidebarWidget sidebar(f.store);
        sidebar.resize(270, 400);
        sidebar.show();
        std::map<QString, QColor> issueColour;
        for (int row : {0, 2}) {
            sidebar.setSelection(Selection::source(f.store.project().report.sources[row].id()));
            QWidget* selected = sidebar.sourceRow(row);
            const auto named = [&](std::initializer_list<QString> names) -> QWidget* {
                for (QWidget* w : selected->findChildren<QWidget*>())
                    if (std::find(names.begin(), names.end(), w->accessibleName()) != names.end()) return w;
                return nullptr;
            };
            QWidget* issue = named({QStringLiteral("Errors"), QStringLiteral("Warnings")});
            ASSERT_NE(issue, nullptr);
            const auto [mark, around] =
                markColours(issue, QStringLiteral("exclamationmark.triangle.fill"), issue->height());
            issueColour[issue->accessibleName()] = mark;
            EXPECT_GE(contrast(mark, around), 3.0) << issue->accessibleName().toStdString() << " " << dark;
            if (row == 0) {
                QWidget* motors = named({QStringLiteral("Motors / Delta set")});
                const auto [gear, gearGround] =
                    markColours(motors, QStringLiteral("gearshape.fill"), motors->height());
                EXPECT_GE(contrast(gear, gearGround), 3.0) << dark;
                style::ToneLabel* subtitle = nullptr;
                for (auto* label : selected->findChildren<style::ToneLabel*>())
                    if (label->text() == sidebar.rows()[0].subtitle) subtitle = label;
                ASSERT_NE(subtitle, nullptr);
                const QColor ground = drawnAt(subtitle, {subtitle->width() - 1, 0});
                EXPECT_GE(contrast(over(subtitle->palette().color(QPalette::WindowText), ground), ground),
                          4.5)
                    << dark;
            } else {
                auto* eye = sidebar.sourceEye(row);
                const auto [slash, eyeGround] =
                    markColours(eye, QStringLiteral("eye.slash"), eye->iconSize().height());
                EXPECT_GE(contrast(slash, eyeGround), 3.0) << dark;
            }
        }
        ASSERT_EQ(issueColour.size(), 2u);
        EXPECT_GE(std::abs(labHue(issueColour["Errors"]) - labHue(issueColour["Warnings"])), 25.0) << dark;
    }
}

TEST(OverviewRules, InventoryHooksAndGroups) {
    // Code-point order, not the locale's; only the table's categories, as written.
    const auto blocks = overview::inventoryBlocks({item("Rigging", 1, "\u00c9crou"), item("Rigging", 1, "b"),
                                                   item("Rigging", 1, "Eye"), item("enclosure", 3, "K2")});
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].items,
              (std::vector<std::pair<QString, std::int64_t>>{{"Eye", 1}, {"b", 1}, {"\u00c9crou", 1}}));
    // The sample show (snapshot pass, trying the program) fills every block, amplifiers too.
    const auto sample = overview::inventoryBlocks(InventoryCSV::parseText(test::sampleShow().inventoryCsv));
    ASSERT_EQ(sample.size(), 3u);
    EXPECT_EQ(sample[2].title, "Amplifiers");
    const auto max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(InventoryBlock::total({{"a", max}, {"b", 1}}), max);
    EXPECT_EQ(InventoryBlock::total({{"a", -max}, {"b", -5}}), std::numeric_limits<std::int64_t>::min());

    // Only a finite hook above a set height is listed.
    const std::vector<std::tuple<std::optional<double>, double, bool>> hooks{
        {18.0, 18.0, false}, {18.0, 18.001, true}, {std::nullopt, 99.0, false}, {10.0, notANumber, false}};
    for (const auto& [height, hook, listed] : hooks) {
        Project p =
            fixtures::projectOf({testSource("Main L", {"ALL", "Main"}, {testPickup("P", {0, 0, hook})})});
        p.riggingHeight = height;
        EXPECT_EQ(hooksAboveRigging(p).size(), listed ? 1u : 0u) << hook;
    }
    Project p;
    setGroupHeight(p, "Main", 16.5);
    EXPECT_EQ(groupHeight(p, "Main \u203a Left"), std::nullopt); // not through the prefix
}

} // namespace
} // namespace rig::app
