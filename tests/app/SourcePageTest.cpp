#include "pages/SourcePage.h"

#include "pages/MotorLibrary.h"
#include "pages/PageStyle.h"
#include "pages/PanflexStack.h"
#include "pages/SideViewShape.h"
#include "pages/SourceTexts.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>

#include <gtest/gtest.h>

#include <memory>

namespace rig::app {
namespace {

using fixtures::notANumber;
using fixtures::testMotor;
namespace text = sourcetext;

// A store holding `project`, a library in a temporary data folder and the page of one source.
struct PageFixture {
    explicit PageFixture(Project project, std::size_t sourceIndex = 0) {
        store.setProject(std::move(project));
        page = std::make_unique<SourcePage>(store, library, store.project().report.sources[sourceIndex]);
        page->resize(1000, 900);
        page->show();
    }
    PointExtra extra(const std::string& role) const { return store.project().extra(page->sourceID(), role); }
    QCheckBox* deltaBox(const std::string& role) const {
        return page->findChild<QCheckBox*>("delta:" + toQ(role));
    }
    QPushButton* motorButton(const std::string& role) const {
        return page->findChild<QPushButton*>("motor:" + toQ(role));
    }
    bool hidden(const char* name) const { return page->findChild<QWidget*>(name)->isHidden(); }
    // The motor menu's items as it is about to be shown ("---" for separators).
    QList<QAction*> menu(const std::string& role) const {
        emit motorButton(role)->menu()->aboutToShow();
        return motorButton(role)->menu()->actions();
    }
    QStringList menuTitles(const std::string& role) const {
        QStringList titles;
        for (QAction* a : menu(role)) titles << (a->isSeparator() ? QStringLiteral("---") : a->text());
        return titles;
    }
    QAction* menuItem(const std::string& role, const QString& title) const {
        for (QAction* a : menu(role)) {
            if (a->text() == title) return a;
        }
        return nullptr;
    }

    testing::TempAppPaths paths;
    ProjectStore store;
    MotorLibrary library;
    std::unique_ptr<SourcePage> page;
};

Project threePointProject() {
    return fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main", "Left"}, 4, 3)});
}

TEST(SourcePage, MotorAndDeltaEditsAreOneAssignmentPerPoint) {
    PageFixture f(threePointProject());
    const Motor lodestar = testMotor("CM Lodestar 1t", 62, 3);
    const QString same = "Same motor on all points of Main L";

    // Delta on, as a user clicks it: one entry, its line, then the motor label doubles.
    auto* deltaLine = f.page->findChild<QLabel*>("deltaLine:Front");
    EXPECT_TRUE(deltaLine->isHidden());
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_EQ(f.extra("Front"), (PointExtra{std::nullopt, true}));
    EXPECT_TRUE(f.store.isDirty());
    EXPECT_FALSE(deltaLine->isHidden());
    f.page->setMotor("Front", lodestar);
    EXPECT_EQ(f.motorButton("Front")->text(), "2 \u00D7 CM Lodestar 1t (62 kg)");

    // "None" keeps Delta; Delta off on a point without a motor removes the source's entry.
    f.menuItem("Front", "None")->trigger();
    EXPECT_EQ(f.extra("Front"), (PointExtra{std::nullopt, true}));
    EXPECT_EQ(f.motorButton("Front")->text(), "\u2014");
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_EQ(f.store.project().extras.get(f.page->sourceID()), nullptr);
    const auto revision = f.store.revision();
    f.page->setMotor("Rear", std::nullopt);
    EXPECT_EQ(f.store.revision(), revision);

    // The menu lists the library sorted, "&" shown as typed; "Same motor…" needs a motor.
    EXPECT_EQ(f.menuTitles("Front"), (QStringList{"None", "---", "New Motor\u2026"}));
    f.library.upsert("Rock && Roll 2t", 90);
    f.library.upsert("CM Lodestar 1t", 62);
    EXPECT_EQ(f.menuTitles("Front"),
              (QStringList{"None", "---", "CM Lodestar 1t \u2013 62 kg", "Rock &&&& Roll 2t \u2013 90 kg",
                           "---", "New Motor\u2026"}));
    f.page->setDelta("Rear", true);
    f.menuItem("Front", "CM Lodestar 1t \u2013 62 kg")->trigger();
    const Motor chosen = f.library.motors()[0];
    EXPECT_EQ(f.extra("Front").motor, chosen);
    EXPECT_EQ(f.menuItem("Rear", same), nullptr);

    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.menuItem("Front", same)->trigger();
    EXPECT_EQ(changes.count(), 2); // Front had it already
    EXPECT_EQ(f.extra("Rear"), (PointExtra{chosen, true}));
    EXPECT_EQ(f.extra("Point 3"), (PointExtra{chosen, false}));
}

TEST(SourcePage, NewMotorSheetAddsToTheLibraryAndThePointAndGoesWithThePage) {
    PageFixture f(threePointProject());
    f.library.upsert("CM Lodestar 1t", 55);
    f.page->setDelta("Rear", true);
    f.page->setMotor("Front", f.library.motors()[0]);

    QSignalSpy items(f.page.get(), &SourcePage::newMotorItemChanged);
    f.menuItem("Rear", "New Motor\u2026")->trigger();
    NewMotorSheet* sheet = f.page->newMotorSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(f.page->newMotorItem(), RoleRef{"Rear"});
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    QTest::keyClicks(sheet->nameField(), "   ");
    QTest::keyClicks(sheet->weightField(), "60");
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    // A case and blank variant of a library motor updates that motor.
    sheet->nameField()->clear();
    QTest::keyClicks(sheet->nameField(), " cm LODESTAR 1t\t");
    QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
    ASSERT_EQ(f.library.motors().size(), 1u);
    const Motor updated = f.library.motors()[0];
    EXPECT_EQ(updated.name, "CM Lodestar 1t");
    EXPECT_EQ(updated.weight, 60);
    EXPECT_EQ(f.extra("Rear"), (PointExtra{updated, true}));
    EXPECT_EQ(f.extra("Front").motor->weight, 55); // keeps the copy it had
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.page->newMotorSheet() == nullptr; }, 10000));
    EXPECT_EQ(f.page->newMotorItem(), std::nullopt);
    EXPECT_EQ(items.count(), 2);

    // Cancel changes nothing; a new sheet starts empty and Return adds.
    const Project before = f.store.project();
    f.menuItem("Point 3", "New Motor\u2026")->trigger();
    QTest::keyClicks(f.page->newMotorSheet()->nameField(), "Liftket 500");
    QTest::keyClicks(f.page->newMotorSheet()->weightField(), "41");
    QTest::mouseClick(f.page->newMotorSheet()->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.page->newMotorSheet() == nullptr; }, 10000));
    EXPECT_TRUE(f.store.project() == before);
    f.menuItem("Point 3", "New Motor\u2026")->trigger();
    sheet = f.page->newMotorSheet();
    EXPECT_TRUE(sheet->nameField()->text().isEmpty());
    QTest::keyClicks(sheet->nameField(), "Liftket 500");
    QTest::keyClicks(sheet->weightField(), "-1,5");
    QTest::keyClick(sheet->weightField(), Qt::Key_Return);
    ASSERT_EQ(f.library.motors().size(), 2u);
    EXPECT_EQ(f.extra("Point 3").motor->weight, -1.5);

    // Another document without this source: the page keeps its source; its sheet goes with it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.page->newMotorSheet() == nullptr; }, 10000));
    f.menuItem("Rear", "New Motor\u2026")->trigger();
    QPointer<NewMotorSheet> open = f.page->newMotorSheet();
    f.store.setProject(Project{});
    EXPECT_EQ(f.page->source().name, "Main L");
    f.page.reset();
    EXPECT_TRUE(open.isNull());
}

TEST(NewMotorSheet, AddNeedsANameAndAFiniteWeight) {
    const struct {
        const char* name;
        const char* weight;
        bool enabled;
    } cases[] = {
        {" \t ", "60", false},     {"Liftket", "", false},      {"Liftket", "inf", false},
        {"Liftket", "nan", false}, {"Liftket", "1e999", false}, {"Liftket", "abc", false},
        {"Liftket", "-5", true},   {"Liftket", " 62,5 ", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(canAddMotor(c.name, parseMotorWeight(c.weight)), c.enabled) << c.name << "|" << c.weight;
    }
}

TEST(SourcePage, BlocksFollowTheSource) {
    Source flown = fixtures::flownArray("Main L", {"ALL", "Main"}, 3);
    for (std::size_t i = 0; i < flown.enclosures.size(); ++i) flown.enclosures.mut(i).panflex.reset();
    flown.enclosures.mut(1).panflex = "110|55/55";
    const Project project = fixtures::projectWith(
        {fixtures::groundStack("Subs", {"ALL", "Subs"}, 2), fixtures::groundStack("Sub", {"ALL"}, 1), flown});
    // Ground stacks: no pickups, no side view, the angle note only with two or more enclosures.
    PageFixture subs(project, 0);
    EXPECT_TRUE(subs.hidden("pickupPoints"));
    EXPECT_FALSE(subs.hidden("angleNote"));
    EXPECT_TRUE(subs.hidden("sideViewBox"));
    EXPECT_TRUE(subs.page->findChild<QWidget*>("enclosureGrid")->findChildren<PanflexStack*>().isEmpty());
    EXPECT_TRUE(PageFixture(project, 1).hidden("angleNote"));

    // One Panflex value shows the column: a stack in every row, empty where there is none.
    PageFixture main(project, 2);
    EXPECT_FALSE(main.hidden("pickupPoints"));
    EXPECT_TRUE(main.hidden("angleNote"));
    const auto stacks = main.page->findChild<QWidget*>("enclosureGrid")->findChildren<PanflexStack*>();
    ASSERT_EQ(stacks.size(), 3);
    EXPECT_TRUE(stacks[0]->layout().parts.empty());
    EXPECT_EQ(stacks[1]->layout().parts.size(), 2u);
}

TEST(SourcePage, RefreshKeepsRowsAndFocus) {
    PageFixture f(threePointProject());
    QApplication::setActiveWindow(f.page.get());
    QCheckBox* box = f.deltaBox("Rear");
    QPushButton* motor = f.motorButton("Front");
    box->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->hasFocus(); }, 10000));

    // Edits of settings, values and the plate name update the same widgets in place.
    f.page->setMotor("Front", testMotor());
    QTest::mouseClick(box, Qt::LeftButton);
    Project p = f.store.project();
    p.report.sources.edit()[0].pickups.edit()[1].load = -12.5;
    p.delta.name = "<b>Plate</b> & <i>co</i>";
    f.store.setProject(p);
    EXPECT_EQ(f.deltaBox("Rear"), box);
    EXPECT_EQ(f.motorButton("Front"), motor);
    EXPECT_TRUE(box->hasFocus());
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(motor->text(), "D8+ 1000 kg (58 kg)");
    auto* load = f.page->findChild<style::ToneLabel*>("load:Rear");
    EXPECT_EQ(load->text(), "-12.5 kg");
    EXPECT_EQ(load->tone(), style::Tone::red);
    EXPECT_EQ(f.page->findChild<style::ToneLabel*>("load:Front")->tone(), style::Tone::primary);
    // A plate name that looks like markup is shown as typed.
    EXPECT_EQ(QTextDocumentFragment::fromHtml(box->toolTip()).toPlainText(),
              "<b>Plate</b> & <i>co</i>: this point hangs from two motors");

    // A new point is a new structure: the rows are made again.
    p.report.sources.edit()[0].pickups.push_back(fixtures::testPickup("Point 4", XYZ(1, 2, 3)));
    f.store.setProject(p);
    EXPECT_NE(f.deltaBox("Point 4"), nullptr);
    EXPECT_NE(f.deltaBox("Rear"), box);
    EXPECT_TRUE(f.deltaBox("Rear")->isChecked());
}

TEST(SourcePage, EveryImportedSourceShowsItsPageAndSideView) {
    Project arena = testing::arenaShow();
    // A pickup without coordinates gets no side-view point and must not shift the others' captions.
    Source& first = arena.report.sources.edit()[0];
    first.pickups.edit().insert(first.pickups.edit().begin(),
                                fixtures::testPickup("Pullback", XYZ(notANumber, 0, 0)));
    EXPECT_EQ(PageFixture(arena).page->findChild<SideViewShape*>("sideView")->labels(),
              (QStringList{"Front", "Rear"}));
    for (const Project& project : {arena, testing::generatedShow(8, 3)}) {
        for (std::size_t i = 0; i < project.report.sources.size(); ++i) {
            PageFixture f(project, i);
            const Source& s = f.page->source();
            EXPECT_FALSE(f.page->grab().toImage().isNull());
            EXPECT_EQ(f.page->findChild<QLabel*>("sourceName")->text(), toQ(s.name));
            const DXFInfo* dxf = project.dxf.get(s.id());
            EXPECT_EQ(!f.hidden("sideViewBox"), dxf && dxf->side) << s.name;
            if (dxf && dxf->side) {
                EXPECT_EQ(f.page->findChild<SideViewShape*>("sideView")->labels().size(),
                          qsizetype(dxf->side->points.size()))
                    << s.name;
            }
            for (const Pickup& p : s.pickups) EXPECT_NE(f.deltaBox(p.role), nullptr) << s.name;
        }
    }
}

// ---- Texts --------------------------------------------------------------------------------------

TEST(SourceTexts, ValuesHeaderFactsAndEnclosures) {
    ReportInfo info;
    info.distanceUnit = "ft";
    Source s = fixtures::testSource("Main L", {"Main", "ALL", "all"});
    s.configuration = "flown";
    s.motorCount = 0;
    s.bottomElevation = 6.5;
    s.enclosureWeight = 1234;
    s.site = -3.5;
    s.hasAngles = true;
    Enclosure kara;
    kara.index = 1;
    kara.type = "KARA";
    kara.site = 2;
    kara.angle = 2.5;
    kara.topZ = 3.456;
    kara.panflex = "110";
    s.enclosures.push_back(kara);
    const std::pair<QString, QString> cases[] = {
        {text::angle(notANumber), "\u2013"},
        {text::signedAngle(0), "0\u00B0"},
        {text::plainNumber(-0.001), "0"},
        {text::groupPath(s), "Main \u203A all"},
        {text::configurationLine(s), "flown \u00B7 0 motors in Soundvision"},
        {text::coordinatesLine(fixtures::testPickup("R", XYZ(notANumber, 1, 2))), "\u2013"},
        {text::coordinatesLine(fixtures::testPickup("R", XYZ(1, notANumber, 2))), "1.00 / \u2013 / 2.00"},
        {text::enclosureColumnTitles(s).join(','), "#,Type,Angle,Site,Top Z,Bottom Z,Panflex"},
        {text::enclosureCells(s, s.enclosures[0]).join(','), "1,KARA,2.5\u00B0,2\u00B0,3.46,\u2013"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);

    using Row = text::FactRow;
    EXPECT_EQ(text::facts(s, info),
              (std::vector<Row>{{"Site", "-3.5\u00B0", "Azimuth", "\u2013", false},
                                {"Trim", "\u2013", "Bottom", "6.5 ft", false},
                                {"Bottom box", "+2\u00B0", "Inclinometer", "-3\u00B0  bottom face", false},
                                {"Weight", "\u2013  (speakers 1234 kg)", {}, {}, true}}));
    // "Flown" is not "flown": one height row, no bottom box; an unreadable last site has none either.
    Source stacked = s;
    stacked.configuration = "Flown";
    EXPECT_EQ(text::facts(stacked, info)[1], (Row{"Height", "6.5 ft", {}, {}, false}));
    EXPECT_EQ(text::facts(stacked, info).size(), 3u);
    s.enclosures.mut(0).site = notANumber;
    EXPECT_EQ(text::facts(s, info).size(), 3u);
}

TEST(PanflexStack, Layout) {
    using Style = PanflexPart::Style;
    constexpr Style P = Style::plain, H = Style::highlighted, D = Style::dimmed;
    const struct {
        std::optional<std::string> value;
        std::string type;
        std::vector<PanflexPart> parts;
        bool framed;
    } cases[] = {
        {std::nullopt, "K2", {}, false},
        {" 55/55\t", "K2", {{"55/55", P}}, false},
        {"55 / 55", "K2", {{"55 / 55", H}}, false},
        {"110|", "K2", {{"110", H}}, true},
        {"110| |70", "kara2", {{"110", H}, {"", H}, {"70", H}}, true},
        {"110|55/55|70|90", "L2D", {{"110", H}, {"55/55", P}, {"70", D}, {"90", D}}, true},
        {"110|70|90", "L2", {{"110", H}, {"70", H}, {"90", H}}, true},
        {"110|70", "A15 Focus", {{"110", H}, {"70", H}}, true},
        {"110|70", "KS28", {{"110", P}, {"70", P}}, true},
        {"110", "Super K2", {{"110", P}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(panflexLayout(c.value, c.type), (PanflexLayout{c.parts, c.framed}))
            << c.value.value_or("(none)") << " " << c.type;
    }
}

} // namespace
} // namespace rig::app
