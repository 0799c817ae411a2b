#include "pages/SourcePage.h"

#include "pages/MotorLibrary.h"
#include "pages/PageStyle.h"
#include "pages/PanflexStack.h"
#include "pages/SideViewShape.h"
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

using fixtures::testMotor;

// A store holding `project`, a library in a temporary data folder and the page of one source.
struct PageFixture {
    explicit PageFixture(Project project, std::size_t sourceIndex = 0) {
        store.setProject(std::move(project));
        page = std::make_unique<SourcePage>(store, library, store.project().report.sources[sourceIndex]);
        page->resize(1000, 900);
        page->show();
    }
    const Source& source() const { return page->source(); }
    PointExtra extra(const std::string& role) const { return store.project().extra(page->sourceID(), role); }
    QCheckBox* deltaBox(const std::string& role) const {
        return page->findChild<QCheckBox*>("delta:" + toQ(role));
    }
    QPushButton* motorButton(const std::string& role) const {
        return page->findChild<QPushButton*>("motor:" + toQ(role));
    }
    // The motor menu as it is about to be shown, and its item titled `title`.
    QAction* menuItem(const std::string& role, const QString& title) const {
        QMenu* menu = motorButton(role)->menu();
        emit menu->aboutToShow();
        for (QAction* a : menu->actions()) {
            if (a->text() == title) return a;
        }
        return nullptr;
    }
    QStringList menuTitles(const std::string& role) const {
        QMenu* menu = motorButton(role)->menu();
        emit menu->aboutToShow();
        QStringList titles;
        for (QAction* a : menu->actions()) titles << (a->isSeparator() ? QStringLiteral("---") : a->text());
        return titles;
    }

    testing::TempAppPaths paths;
    ProjectStore store;
    MotorLibrary library;
    std::unique_ptr<SourcePage> page;
};

Project twoPointProject() {
    return fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main", "Left"}, 4, 3)});
}

TEST(SourcePage, MotorAndDeltaEdits) {
    PageFixture f(twoPointProject());
    const std::string id = f.page->sourceID();
    const Motor lodestar = testMotor("CM Lodestar 1t", 62, 3);

    // Delta on through the check box, as a user clicks it: one entry, then the motor label.
    auto* deltaLine = f.page->findChild<QLabel*>("deltaLine:Front");
    EXPECT_TRUE(deltaLine->isHidden());
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_EQ(f.extra("Front"), (PointExtra{std::nullopt, true}));
    EXPECT_TRUE(f.store.isDirty());
    EXPECT_FALSE(deltaLine->isHidden());
    EXPECT_TRUE(deltaLine->text().startsWith("\u0394 L "));
    f.page->setMotor("Front", lodestar);
    EXPECT_EQ(f.extra("Front"), (PointExtra{lodestar, true}));
    EXPECT_EQ(f.motorButton("Front")->text(), "2 \u00D7 CM Lodestar 1t (62 kg)");

    // "None" keeps Delta.
    f.menuItem("Front", "None")->trigger();
    EXPECT_EQ(f.extra("Front"), (PointExtra{std::nullopt, true}));
    EXPECT_EQ(f.motorButton("Front")->text(), "\u2014");

    // Delta off on a point without a motor removes its entry, and the source's.
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_FALSE(f.deltaBox("Front")->isChecked());
    EXPECT_EQ(f.store.project().extras.get(id), nullptr);

    // An edit that changes nothing is no change.
    const auto revision = f.store.revision();
    f.page->setMotor("Rear", std::nullopt);
    EXPECT_EQ(f.store.revision(), revision);
}

TEST(SourcePage, SameMotorOnAllPoints) {
    PageFixture f(twoPointProject());
    const Motor d8 = testMotor("D8+ 1000 kg", 58, 1);
    f.page->setDelta("Rear", true);
    f.page->setMotor("Front", d8);
    EXPECT_EQ(f.menuItem("Rear", "Same motor on all points of Main L"), nullptr); // Rear has no motor

    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.menuItem("Front", "Same motor on all points of Main L")->trigger();
    // One assignment per point that changes (Front had it already).
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(f.extra("Front"), (PointExtra{d8, false}));
    EXPECT_EQ(f.extra("Rear"), (PointExtra{d8, true}));
    EXPECT_EQ(f.extra("Point 3"), (PointExtra{d8, false}));

    changes.clear();
    const Motor other = testMotor("CM Lodestar 1t", 62, 3);
    f.page->applyMotorToAllPoints(other);
    EXPECT_EQ(changes.count(), 3);
}

TEST(SourcePage, MotorMenuOffersTheLibrary) {
    PageFixture f(twoPointProject());
    EXPECT_EQ(f.menuTitles("Front"), (QStringList{"None", "---", "New Motor\u2026"}));
    f.library.upsert("Rock && Roll 2t", 90);
    f.library.upsert("CM Lodestar 1t", 62);
    EXPECT_EQ(f.menuTitles("Front"),
              (QStringList{"None", "---", "CM Lodestar 1t \u2013 62 kg", "Rock &&&& Roll 2t \u2013 90 kg",
                           "---", "New Motor\u2026"}));
    f.menuItem("Front", "CM Lodestar 1t \u2013 62 kg")->trigger();
    EXPECT_EQ(f.extra("Front").motor, f.library.motors()[0]);
    EXPECT_EQ(f.menuTitles("Front").back(), "Same motor on all points of Main L");
}

TEST(SourcePage, NewMotorSheet) {
    PageFixture f(twoPointProject());
    f.library.upsert("CM Lodestar 1t", 55);
    f.page->setDelta("Rear", true);
    f.page->setMotor("Front", f.library.motors()[0]);
    f.page->show();

    QSignalSpy items(f.page.get(), &SourcePage::newMotorItemChanged);
    f.menuItem("Rear", "New Motor\u2026")->trigger();
    NewMotorSheet* sheet = f.page->newMotorSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(f.page->newMotorItem(), RoleRef{"Rear"});
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);

    // Blank name or no weight: "Add" stays off.
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    QTest::keyClicks(sheet->nameField(), "   ");
    QTest::keyClicks(sheet->weightField(), "60");
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    sheet->nameField()->clear();
    // A case and blank variant of a library motor updates that motor.
    QTest::keyClicks(sheet->nameField(), " cm LODESTAR 1t\t");
    EXPECT_TRUE(sheet->addButton()->isEnabled());
    QTest::mouseClick(sheet->addButton(), Qt::LeftButton);

    ASSERT_EQ(f.library.motors().size(), 1u);
    const Motor updated = f.library.motors()[0];
    EXPECT_EQ(updated.name, "CM Lodestar 1t");
    EXPECT_EQ(updated.weight, 60);
    EXPECT_EQ(f.extra("Rear"), (PointExtra{updated, true}));
    // The other point keeps the copy it had.
    EXPECT_EQ(f.extra("Front").motor->weight, 55);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.page->newMotorSheet() == nullptr; }, 10000));
    EXPECT_EQ(f.page->newMotorItem(), std::nullopt);
    EXPECT_EQ(items.count(), 2);

    // Cancel changes nothing; a new sheet starts empty.
    const Project before = f.store.project();
    f.menuItem("Point 3", "New Motor\u2026")->trigger();
    sheet = f.page->newMotorSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->nameField()->text().isEmpty());
    QTest::keyClicks(sheet->nameField(), "Liftket 500");
    QTest::keyClicks(sheet->weightField(), "41");
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.page->newMotorSheet() == nullptr; }, 10000));
    EXPECT_TRUE(f.store.project() == before);
    EXPECT_EQ(f.library.motors().size(), 1u);

    // A new name enters the library; Return adds it.
    f.menuItem("Point 3", "New Motor\u2026")->trigger();
    sheet = f.page->newMotorSheet();
    QTest::keyClicks(sheet->nameField(), "Liftket 500");
    QTest::keyClicks(sheet->weightField(), "-1,5");
    QTest::keyClick(sheet->weightField(), Qt::Key_Return);
    ASSERT_EQ(f.library.motors().size(), 2u);
    EXPECT_EQ(f.extra("Point 3").motor->name, "Liftket 500");
    EXPECT_EQ(f.extra("Point 3").motor->weight, -1.5);
}

TEST(NewMotorSheet, AddNeedsANameAndAFiniteWeight) {
    struct Case {
        const char* name;
        const char* weight;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {"", "60", false},           {" \t ", "60", false},     {"Liftket", "", false},
        {"Liftket", "inf", false},   {"Liftket", "nan", false}, {"Liftket", "1e999", false},
        {"Liftket", "abc", false},   {"Liftket", "0", true},    {"Liftket", "-5", true},
        {"Liftket", " 62,5 ", true}, {"Liftket", "62.5", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(canAddMotor(c.name, parseMotorWeight(c.weight)), c.enabled) << c.name << "|" << c.weight;
    }
    EXPECT_EQ(parseMotorWeight(" 62,5 "), 62.5);
}

TEST(SourcePage, BlocksFollowTheSource) {
    // Ground stack: no pickups, no angle column, two enclosures, no DXF.
    Source subs = fixtures::groundStack("Subs", {"ALL", "Subs"}, 2);
    Source single = fixtures::groundStack("Sub", {"ALL"}, 1);
    Source flown = fixtures::flownArray("Main L", {"ALL", "Main"}, 3);
    for (std::size_t i = 0; i < flown.enclosures.size(); ++i) flown.enclosures.mut(i).panflex.reset();
    flown.enclosures.mut(1).panflex = "110|55/55";
    PageFixture f(fixtures::projectWith({subs, single, flown}));
    auto* pickups = f.page->findChild<QWidget*>("pickupPoints");
    EXPECT_TRUE(pickups->isHidden());
    EXPECT_FALSE(f.page->findChild<QWidget*>("angleNote")->isHidden());
    EXPECT_TRUE(f.page->findChild<QWidget*>("sideViewBox")->isHidden());
    EXPECT_TRUE(f.page->findChild<QWidget*>("enclosureGrid")->findChildren<PanflexStack*>().isEmpty());

    PageFixture one(f.store.project(), 1);
    EXPECT_TRUE(one.page->findChild<QWidget*>("angleNote")->isHidden());

    // One Panflex value shows the column: a stack in every row, empty where there is none.
    PageFixture main(f.store.project(), 2);
    EXPECT_FALSE(main.page->findChild<QWidget*>("pickupPoints")->isHidden());
    EXPECT_TRUE(main.page->findChild<QWidget*>("angleNote")->isHidden());
    const auto stacks = main.page->findChild<QWidget*>("enclosureGrid")->findChildren<PanflexStack*>();
    ASSERT_EQ(stacks.size(), 3);
    EXPECT_TRUE(stacks[0]->layout().parts.empty());
    EXPECT_EQ(stacks[1]->layout().parts.size(), 2u);
    bool panflexTitle = false;
    for (QLabel* l : main.page->findChild<QWidget*>("enclosureGrid")->findChildren<QLabel*>()) {
        panflexTitle = panflexTitle || l->text() == "Panflex";
    }
    EXPECT_TRUE(panflexTitle);
}

TEST(SourcePage, RefreshKeepsRowsAndFocus) {
    PageFixture f(twoPointProject());
    f.page->show();
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
    p.delta.name = "Plate";
    f.store.setProject(p);
    EXPECT_EQ(f.deltaBox("Rear"), box);
    EXPECT_EQ(f.motorButton("Front"), motor);
    EXPECT_TRUE(box->hasFocus());
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->toolTip(), "Plate: this point hangs from two motors");
    EXPECT_EQ(motor->text(), "D8+ 1000 kg (58 kg)");
    auto* load = f.page->findChild<style::ToneLabel*>("load:Rear");
    EXPECT_EQ(load->text(), "-12.5 kg");
    EXPECT_EQ(load->tone(), style::Tone::red);
    EXPECT_EQ(f.page->findChild<style::ToneLabel*>("load:Front")->tone(), style::Tone::primary);

    // A plate name that looks like markup is shown as typed.
    p.delta.name = "<b>Plate</b> & <i>co</i>";
    f.store.setProject(p);
    EXPECT_EQ(QTextDocumentFragment::fromHtml(box->toolTip()).toPlainText(),
              "<b>Plate</b> & <i>co</i>: this point hangs from two motors");

    // A new point is a new structure: the rows are made again.
    p.report.sources.edit()[0].pickups.push_back(fixtures::testPickup("Point 4", XYZ(1, 2, 3)));
    f.store.setProject(p);
    EXPECT_NE(f.deltaBox("Point 4"), nullptr);
    EXPECT_NE(f.deltaBox("Rear"), box);
    EXPECT_TRUE(f.deltaBox("Rear")->isChecked());
}

TEST(SourcePage, OutlivesItsSourceAndClosesItsSheet) {
    auto f = std::make_unique<PageFixture>(twoPointProject());
    f->menuItem("Rear", "New Motor\u2026")->trigger();
    QPointer<NewMotorSheet> sheet = f->page->newMotorSheet();
    ASSERT_TRUE(sheet);
    // Another document without this source: the page keeps showing the source it had.
    f->store.setProject(Project{});
    EXPECT_EQ(f->page->source().name, "Main L");
    EXPECT_TRUE(f->page->findChild<QWidget*>("sideViewBox")->isHidden());
    f->page.reset();
    EXPECT_TRUE(sheet.isNull());
}

TEST(SourcePage, EveryImportedSourceShowsItsPage) {
    for (const Project& project : {testing::arenaShow(), testing::generatedShow(8, 3)}) {
        for (std::size_t i = 0; i < project.report.sources.size(); ++i) {
            PageFixture f(project, i);
            const Source& s = f.source();
            f.page->show();
            const QImage image = f.page->grab().toImage();
            EXPECT_FALSE(image.isNull());
            EXPECT_EQ(f.page->findChild<QLabel*>("sourceName")->text(), toQ(s.name));
            EXPECT_EQ(f.page->findChild<QLabel*>("enclosuresTitle")->text(),
                      "Enclosures (" + QString::fromStdString(std::to_string(s.enclosures.size())) + ")");
            const DXFInfo* dxf = project.dxf.get(s.id());
            auto* side = f.page->findChild<SideViewShape*>("sideView");
            EXPECT_EQ(!f.page->findChild<QWidget*>("sideViewBox")->isHidden(), dxf && dxf->side) << s.name;
            if (dxf && dxf->side) {
                EXPECT_EQ(side->labels(), sideViewLabels(s));
                EXPECT_EQ(side->labels().size(), qsizetype(dxf->side->points.size())) << s.name;
            }
            for (const Pickup& p : s.pickups) EXPECT_NE(f.deltaBox(p.role), nullptr) << s.name;
        }
    }
}

TEST(SourcePage, SideViewCaptionsSkipPickupsWithoutCoordinates) {
    Project project = testing::arenaShow();
    Source& main = project.report.sources.edit()[0];
    Pickup pullback = fixtures::testPickup("Pullback", XYZ(fixtures::notANumber, 0, 0));
    main.pickups.edit().insert(main.pickups.edit().begin(), pullback);
    PageFixture f(project);
    EXPECT_EQ(f.page->findChild<SideViewShape*>("sideView")->labels(), (QStringList{"Front", "Rear"}));
}

} // namespace
} // namespace rig::app
