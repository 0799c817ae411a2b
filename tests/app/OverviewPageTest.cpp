#include "OverviewPage.h"

#include "Appearance.h"
#include "DXFSettings.h"
#include "DateText.h"
#include "ExportCommands.h"
#include "Fields.h"
#include "FormLayout.h"
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
#include "support/Contrast.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/SampleShow.h"
#include "support/ShowProjects.h"
#include "support/ShownTexts.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
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

using testing::NoReveal;

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
        EXPECT_TRUE(testing::changesShown(store));
    }

    testing::TempAppPaths paths;
    testing::HeldStore store;
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
    // The page redrawn meanwhile leaves the field as typed, and its focus.
    f.change([](Project& p) { p.author = "Jo"; });
    EXPECT_EQ(all->text(), "18,5");
    EXPECT_EQ(f.focused(), all);
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

    // One assignment per point without a motor, hidden sources included; the flag stays. The
    // views redraw once for all of them, when the event loop runs. A saved project is edited
    // by it: asked about at a close, and autosaved.
    const QString saved = f.paths.file("bulk.qvrig");
    ASSERT_TRUE(f.store.writeProject(saved));
    f.store.setDelays(testing::shortDelays);
    QSignalSpy autosaved(&f.store.recovery(), &Recovery::autosaveFinished);
    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    QSignalSpy shown(&f.store, &ProjectStore::changesToShow);
    f.page.setOnAllButton()->click();
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(shown.count(), 0);
    EXPECT_TRUE(f.store.isDirty());
    ASSERT_TRUE(testing::changesShown(f.store));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_TRUE(autosaved.count() > 0 || autosaved.wait(30000));
    EXPECT_TRUE(testing::readText(saved).contains("D8+ 1000 kg"));
    EXPECT_EQ(f.store.project().extra(main.id(), "Front"), (PointExtra{a, false}));
    EXPECT_EQ(f.store.project().extra(main.id(), "Rear"), (PointExtra{d8, true}));
    EXPECT_EQ(f.store.project().extra(out.id(), "Front"), (PointExtra{d8, false}));

    // The chosen motor changes in the library: the stale copy can no longer be set.
    f.library.upsert(QStringLiteral("d8+ 1000 KG"), 60);
    EXPECT_EQ(f.page.bulkMotor(), std::nullopt);
    EXPECT_FALSE(f.page.setOnAllButton()->isEnabled());
}

using testing::contrast;
using testing::linear;

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

// --- What the page says ---------------------------------------------------------------------

using testing::shownTexts;

// Nothing for a section that is not shown.
QStringList sectionTexts(const PageFixture& f, const char* name) {
    form::FormSection* section = f.page.section(QString::fromLatin1(name));
    return section->isVisibleTo(&f.page) ? shownTexts(section) : QStringList();
}

Project showWithInventory() {
    Project p = testing::arenaShow();
    p.inventoryFile = "Arena show inventory.csv";
    // In another order than the page's.
    for (const InventoryItem& i :
         {item("Amplified controller", 12, "LA12X"), item("Rigging", 4, "b"), item("Cable", 40, "DO.7"),
          item("Enclosure", 6, "KS28"), item("Rigging", 4, "K2-BUMP"), item("Enclosure", 24, "K2"),
          item("Enclosure", 6, "KARA II")})
        p.inventory.push_back(i);
    return p;
}

TEST(OverviewPage, ANewProjectShowsItsSectionsInOrderWithDashesAndNoInventory) {
    PageFixture f{Project()};
    f.page.resize(900, 3000);
    std::vector<form::FormSection*> sections;
    for (auto* s : f.page.findChildren<form::FormSection*>()) {
        if (s->isVisibleTo(&f.page)) sections.push_back(s);
    }
    std::sort(sections.begin(), sections.end(), [&](QWidget* a, QWidget* b) {
        return a->mapTo(&f.page, QPoint()).y() < b->mapTo(&f.page, QPoint()).y();
    });
    QStringList headers;
    for (auto* s : sections) headers << s->header()->text();
    EXPECT_EQ(headers, (QStringList{"Project", "Crew link", "Rigging height", "Checks", "Motors & K1-DELTA",
                                    "Export"}));

    EXPECT_EQ(
        sectionTexts(f, "project"),
        (QStringList{"Project", "Project name", "Author", "Report (PDF)", "\u2013", "Inventory (CSV)",
                     "\u2013", "Loudspeakers (DXF)", "\u2013", "Import / Update Files\u2026",
                     "Or drop files on the window. A new report keeps your motors and Delta settings."}));
    for (const char* row : {"reportFile", "inventoryFile", "dxfFile"}) {
        auto* file = f.page.findChild<QWidget*>(row)->findChild<style::ToneLabel*>("file");
        EXPECT_EQ(file->tone(), style::Tone::secondary) << row;
    }
    EXPECT_EQ(sectionTexts(f, "checks"),
              (QStringList{"Checks", "No warnings \u2013 report, inventory and DXF agree."}));
    EXPECT_EQ(sectionTexts(f, "motors"),
              (QStringList{"Motors & K1-DELTA", "Motor", "Set on all points without a motor",
                           "Add motors in Settings (Ctrl+,) or on a source page.", "Delta plate",
                           "Motor spacing", "m", "Plate weight", "9.5 kg"}));
    EXPECT_EQ(f.page.motorMenu()->count(), 1);
    EXPECT_EQ(f.page.motorMenu()->currentText(), "Choose\u2026");
    EXPECT_FALSE(f.page.setOnAllButton()->isEnabled());
    EXPECT_EQ(sectionTexts(f, "export"),
              (QStringList{"Export", "Rigging points PDF\u2026", "Rigging points CSV\u2026",
                           "Rigging points DXF (3D)\u2026", "Crew sheets PDF\u2026"}));
    for (QPushButton* b : f.page.exportButtons()) EXPECT_TRUE(b->isEnabled());

    // The plate weight shown is the product's, whatever is stored; an empty plate name leaves
    // the header ending after "Motors & ".
    f.change([](Project& p) {
        p.delta.weight = 30;
        p.delta.name.clear();
    });
    EXPECT_EQ(sectionTexts(f, "motors").first(), "Motors & ");
    EXPECT_TRUE(sectionTexts(f, "motors").contains("9.5 kg"));
}

TEST(OverviewPage, FileRowsOfAnImportedShow) {
    Project p = showWithInventory();
    p.reportImportedAt.reset();
    PageFixture f(p);
    f.page.resize(900, 3000);
    const QStringList files{
        "Report (PDF)",       "Arena show report.pdf",    "Soundvision 3.7.1 \u00b7 4 sources",
        "Inventory (CSV)",    "Arena show inventory.csv", "7 lines",
        "Loudspeakers (DXF)", "Arena show.dxf",           "4 arrays drawn, exact point coordinates"};
    EXPECT_EQ(sectionTexts(f, "project").mid(3, files.size()), files);

    // With an import date the report line ends with it; a DXF name without drawings has no
    // second line; one source is "1 sources".
    f.change([](Project& p) {
        p.reportImportedAt = fixtures::testDate();
        p.dxf = {};
        auto& sources = p.report.sources.edit();
        sources.erase(sources.begin() + 1, sources.end());
    });
    const QStringList shown = sectionTexts(f, "project");
    EXPECT_EQ(shown.mid(3, 3), (QStringList{"Report (PDF)", "Arena show report.pdf",
                                            "Soundvision 3.7.1 \u00b7 1 sources \u00b7 " +
                                                formatShortDateTime(fixtures::testDate())}));
    EXPECT_EQ(shown.mid(9, 3),
              (QStringList{"Loudspeakers (DXF)", "Arena show.dxf", "Import / Update Files\u2026"}));
}

TEST(OverviewPage, ChecksListWarningsByLevelAndFoldTheNotesUnderTheirCount) {
    using Level = ReportWarning::Level;
    Source left = testSource("Main L", {"ALL", "Main"}, {testPickup("Front", {0, 0, 12}, 100.0)});
    left.totalWeight = 300.0; // the point loads do not add up: a check
    left.warnings.push_back(ReportWarning{Level::caution, "Check the pullback strap."});
    left.warnings.push_back(ReportWarning{Level::warning, "Rear motor above 80 % of its limit."});
    left.warnings.push_back(ReportWarning{Level::error, "Bumper overloaded."});
    Source right = testSource("Main R", {"ALL", "Main"});
    right.warnings.push_back(ReportWarning{Level::caution, "Check the pullback strap."});
    Project p = fixtures::projectOf({left, right});
    p.inventory.push_back(InventoryItem{"Rigging", 2, "", "Clamp", "No product information", std::nullopt});
    PageFixture f(p);
    f.page.resize(900, 3000);

    // Errors, warnings and checks, each under its source; the notes folded under their count:
    // a group naming two sources counts two, one naming none counts one.
    const QStringList warnings{"Checks",
                               "Main L",
                               "Bumper overloaded.",
                               "Main L",
                               "Rear motor above 80 % of its limit.",
                               "Main L",
                               "Point loads add up to 100 kg but total weight is 300 kg."};
    EXPECT_EQ(sectionTexts(f, "checks"), warnings + QStringList("Notes (3)"));
    // A check's text is selected with the mouse and copied with the keyboard.
    auto* text = f.page.findChild<style::WrappingLabel*>("text");
    const int middle = text->height() / 2;
    QTest::mousePress(text, Qt::LeftButton, {}, QPoint(0, middle));
    QTest::mouseMove(text, QPoint(text->width() - 1, middle));
    QTest::mouseRelease(text, Qt::LeftButton, {}, QPoint(text->width() - 1, middle));
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text->text());
    const auto symbols = [&] {
        std::vector<std::pair<QString, style::Tone>> out;
        std::vector<QWidget*> rows;
        for (QWidget* row : f.page.findChildren<QWidget*>("check")) {
            if (row->isVisibleTo(&f.page)) rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end(), [&](QWidget* a, QWidget* b) {
            return a->mapTo(&f.page, QPoint()).y() < b->mapTo(&f.page, QPoint()).y();
        });
        for (QWidget* row : rows) {
            auto* symbol = row->findChild<SymbolView*>();
            out.emplace_back(symbol->name(), symbol->tone());
        }
        return out;
    };
    using style::Tone;
    const std::vector<std::pair<QString, Tone>> warningSymbols{
        {"exclamationmark.octagon.fill", Tone::red},
        {"exclamationmark.triangle.fill", Tone::orange},
        {"exclamationmark.circle", Tone::yellow}};
    EXPECT_EQ(symbols(), warningSymbols);

    f.page.findChild<QToolButton*>("notesDisclosure")->click();
    const QStringList notes{"Notes (3)", "Main L, Main R", "Check the pullback strap.",
                            "Clamp: Soundvision has no product information (custom or unknown model)."};
    EXPECT_EQ(sectionTexts(f, "checks"), warnings + notes);
    std::vector<std::pair<QString, Tone>> all = warningSymbols;
    all.insert(all.end(), {{"info.circle", Tone::secondary}, {"info.circle", Tone::secondary}});
    EXPECT_EQ(symbols(), all);
    // The notes are dimmed, the warnings are not.
    for (QWidget* row : f.page.findChildren<QWidget*>("check")) {
        const bool note = row->findChild<SymbolView*>()->name() == "info.circle";
        EXPECT_EQ(row->findChild<style::ToneLabel*>("text")->tone(), note ? Tone::secondary : Tone::primary);
    }

    // Notes alone: the green label stays above them.
    f.change([](Project& p) {
        Source& left = p.report.sources.edit()[0];
        left.totalWeight.reset();
        left.warnings.edit().erase(left.warnings.edit().begin() + 1, left.warnings.edit().end());
    });
    EXPECT_EQ(sectionTexts(f, "checks"),
              QStringList({"Checks", "No warnings \u2013 report, inventory and DXF agree."}) + notes);
    // A DXF that gave no array for the report's sources (a damaged one) never agrees.
    f.change([](Project& p) { p.dxfFile = "damaged.dxf"; });
    EXPECT_FALSE(sectionTexts(f, "checks").contains("No warnings \u2013 report, inventory and DXF agree."));
}

TEST(OverviewPage, InventoryBlocksInTheirFixedOrderLargestCountsFirst) {
    PageFixture f(showWithInventory());
    f.page.resize(1100, 3000);
    std::vector<InventoryBlock*> blocks = f.page.inventoryBlocks();
    std::sort(blocks.begin(), blocks.end(), [&](QWidget* a, QWidget* b) {
        return a->mapTo(&f.page, QPoint()).x() < b->mapTo(&f.page, QPoint()).x();
    });
    std::vector<QStringList> shown;
    for (InventoryBlock* b : blocks) shown.push_back(shownTexts(b));
    const std::vector<QStringList> expected{
        {"ENCLOSURES", "K2", "24", "KARA II", "6", "KS28", "6", "Total", "36"},
        {"RIGGING", "K2-BUMP", "4", "b", "4", "Total", "8"},
        {"AMPLIFIERS", "LA12X", "12", "Total", "12"}};
    EXPECT_EQ(shown, expected);

    // Blocks stay while other things change; an inventory of other categories keeps the
    // section, without blocks.
    f.change([](Project& p) { p.name = "Other"; });
    EXPECT_EQ(f.page.inventoryBlocks(), blocks);
    f.change([](Project& p) { p.inventory = List<InventoryItem>{item("Cable", 40, "DO.7")}; });
    EXPECT_EQ(sectionTexts(f, "inventory"), QStringList{"Inventory"});
}

TEST(OverviewPage, RiggingHeightRowsForTheGroupsOfPlacedSources) {
    const Pickup placed = testPickup("Front", {1, 0, 12});
    const Pickup unplaced = testPickup("Front", {notANumber, 0, 12});
    struct Case {
        const char* name;
        std::vector<Source> sources;
        QStringList rows;
    };
    const std::vector<Case> cases{
        {"no report", {}, {}},
        {"two sources, one label",
         {testSource("L", {"ALL", "Main"}, {placed}), testSource("R", {"ALL", "Main"}, {placed})},
         {"Main"}},
        {"order of first appearance, nested labels",
         {testSource("O", {"ALL", "Out", "Left"}, {placed}), testSource("L", {"ALL", "Main"}, {placed}),
          testSource("O2", {"Out", "ALL", "Left"}, {placed})},
         {"Out \u203a Left", "Main"}},
        {"no pickup with a finite x",
         {testSource("L", {"ALL", "Main"}, {unplaced}), testSource("S", {"Subs"})},
         {}},
        {"in no group but ALL", {testSource("L", {"ALL"}, {placed}), testSource("M", {}, {placed})}, {}},
        {"a prefix only when it is a source's own label",
         {testSource("A", {"Main", "Left"}, {placed}), testSource("B", {"Main"}, {unplaced, placed})},
         {"Main \u203a Left", "Main"}},
    };
    qputenv("RIG_TEST_PERGROUP", ""); // expanded from the start, even when empty
    for (const Case& c : cases) {
        PageFixture f(fixtures::projectOf(c.sources));
        f.page.resize(900, 3000);
        QStringList expected{"Rigging height", "All points", "m", "Per group"};
        for (const QString& row : c.rows) expected << row << "m";
        EXPECT_EQ(sectionTexts(f, "riggingHeightSection").mid(0, expected.size()), expected) << c.name;
    }
    qunsetenv("RIG_TEST_PERGROUP");

    // Without the variable the groups start folded; each field's prompt names the height it
    // falls back to.
    PageFixture f(testing::arenaShow());
    f.page.resize(900, 3000);
    const QString footer = overview::riggingFooter;
    EXPECT_EQ(sectionTexts(f, "riggingHeightSection"),
              (QStringList{"Rigging height", "All points", "m", "Per group", footer}));
    f.page.riggingHeightFields()->disclosure()->click();
    EXPECT_EQ(sectionTexts(f, "riggingHeightSection"),
              (QStringList{"Rigging height", "All points", "m", "Per group", "Main \u203a Left", "m",
                           "Main \u203a Right", "m", "Outfill", "m", footer}));
    NumField* left = f.page.riggingHeightFields()->groupField("Main \u203a Left");
    EXPECT_EQ(left->lineEdit()->placeholderText(), "same");
    for (const auto& [height, prompt] : {std::pair{18.0, "same (18)"}, {18.5, "same (18.5)"}}) {
        f.change([height](Project& p) { p.riggingHeight = height; });
        EXPECT_EQ(left->lineEdit()->placeholderText(), prompt);
    }
    // Hooks above their rigging height are named under the fields, each source once.
    f.change([](Project& p) {
        p.riggingHeight = 11.3;
        setGroupHeight(p, "Outfill", 8.4);
    });
    EXPECT_EQ(sectionTexts(f, "riggingHeightSection").mid(10, 2),
              (QStringList{"Hook above rigging height: Out L", footer}));
    f.change([](Project& p) { p.riggingHeight = 11.29; });
    EXPECT_EQ(sectionTexts(f, "riggingHeightSection").mid(10, 2),
              (QStringList{"Hook above rigging height: Main L, Main R, Out L", footer}));
}

} // namespace
} // namespace rig::app
