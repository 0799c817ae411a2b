#include "SourcePage.h"

#include "MotorLibrary.h"
#include "PanflexStack.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "SideViewShape.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"
#include "support/Waiting.h"

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

struct PageFixture {
    explicit PageFixture(Project project, std::size_t sourceIndex = 0) {
        store.setProject(std::move(project));
        page = std::make_unique<SourcePage>(store, library, store.project().report.sources[sourceIndex]);
        page->show();
    }
    PointExtra extra(const std::string& role) const { return store.project().extra(page->sourceID(), role); }
    QCheckBox* deltaBox(const std::string& role) const {
        return page->findChild<QCheckBox*>("delta:" + toQ(role));
    }
    QPushButton* motorButton(const std::string& role) const {
        return page->findChild<QPushButton*>("motor:" + toQ(role));
    }
    // The motor menu as it is about to be shown.
    QAction* menuItem(const std::string& role, const QString& title) const {
        emit motorButton(role)->menu()->aboutToShow();
        for (QAction* a : motorButton(role)->menu()->actions()) {
            if (a->text() == title) return a;
        }
        return nullptr;
    }
    NewMotorSheet* openSheet(const std::string& role) {
        menuItem(role, "New Motor\u2026")->trigger();
        return page->newMotorSheet();
    }
    bool sheetGone() const {
        return testing::waitFor([&] { return !page->newMotorSheet(); });
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
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_EQ(f.extra("Front"), (PointExtra{std::nullopt, true}));
    EXPECT_TRUE(f.store.isDirty());
    // "None" keeps Delta; Delta off on a point without a motor removes the source's entry.
    f.page->setMotor("Front", testMotor("CM Lodestar 1t", 62, 3));
    f.menuItem("Front", "None")->trigger();
    EXPECT_EQ(f.extra("Front"), (PointExtra{std::nullopt, true}));
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_EQ(f.store.project().extras.get(f.page->sourceID()), nullptr);

    // A "&" in a motor name is no mnemonic; "Same motor…" sets only the points that differ.
    f.library.upsert("Rock && Roll 2t", 90);
    f.library.upsert("CM Lodestar 1t", 62);
    EXPECT_NE(f.menuItem("Front", "Rock &&&& Roll 2t \u2013 90 kg"), nullptr);
    f.page->setDelta("Rear", true);
    f.menuItem("Front", "CM Lodestar 1t \u2013 62 kg")->trigger();
    const Motor chosen = f.library.motors()[0];
    EXPECT_EQ(f.extra("Front").motor, chosen);
    QSignalSpy changes(&f.store, &ProjectStore::projectChanged);
    f.menuItem("Front", "Same motor on all points of Main L")->trigger();
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(f.extra("Rear"), (PointExtra{chosen, true}));
    EXPECT_EQ(f.extra("Point 3"), (PointExtra{chosen, false}));
}

TEST(SourcePage, NewMotorSheetAddsToTheLibraryAndThePointAndGoesWithThePage) {
    PageFixture f(threePointProject());
    f.library.upsert("CM Lodestar 1t", 55);
    f.page->setDelta("Rear", true);
    f.page->setMotor("Front", f.library.motors()[0]);

    NewMotorSheet* sheet = f.openSheet("Rear");
    ASSERT_NE(sheet, nullptr);
    QTest::keyClicks(sheet->nameField(), "   ");
    QTest::keyClicks(sheet->weightField(), "60");
    EXPECT_FALSE(sheet->addButton()->isEnabled());
    // A variant of a library motor's name updates that motor; other points keep their copy.
    sheet->nameField()->clear();
    QTest::keyClicks(sheet->nameField(), " cm LODESTAR 1t\t");
    QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
    ASSERT_EQ(f.library.motors().size(), 1u);
    const Motor updated = f.library.motors()[0];
    EXPECT_EQ(updated.weight, 60);
    EXPECT_EQ(f.extra("Rear"), (PointExtra{updated, true}));
    EXPECT_EQ(f.extra("Front").motor->weight, 55);
    ASSERT_TRUE(f.sheetGone());

    // Cancel changes nothing; Return adds.
    const Project before = f.store.project();
    sheet = f.openSheet("Point 3");
    QTest::keyClicks(sheet->nameField(), "Liftket 500");
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(f.sheetGone());
    EXPECT_TRUE(f.store.project() == before);
    sheet = f.openSheet("Point 3");
    EXPECT_TRUE(sheet->nameField()->text().isEmpty());
    QTest::keyClicks(sheet->nameField(), "Liftket 500");
    QTest::keyClicks(sheet->weightField(), "-1,5");
    QTest::keyClick(sheet->weightField(), Qt::Key_Return);
    EXPECT_EQ(f.extra("Point 3").motor->weight, -1.5);

    // Another document without this source: the page keeps its source; its sheet goes with it.
    ASSERT_TRUE(f.sheetGone());
    QPointer<NewMotorSheet> open = f.openSheet("Rear");
    f.store.setProject(Project{});
    EXPECT_EQ(f.page->source().name, "Main L");
    f.page.reset();
    EXPECT_TRUE(open.isNull());

    for (const char* weight : {"", "inf", "nan", "1e999", "abc"})
        EXPECT_FALSE(canAddMotor("Liftket", parseMotorWeight(weight))) << weight;
    EXPECT_TRUE(canAddMotor("Liftket", parseMotorWeight(" 62,5 ")));
}

TEST(SourcePage, RefreshKeepsRowsAndFocus) {
    PageFixture f(threePointProject());
    QApplication::setActiveWindow(f.page.get());
    QCheckBox* box = f.deltaBox("Rear");
    box->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return box->hasFocus(); }));

    QTest::mouseClick(box, Qt::LeftButton);
    Project p = f.store.project();
    p.delta.name = "<b>Plate</b> & <i>co</i>";
    f.store.setProject(p);
    EXPECT_TRUE(box->hasFocus());
    // A plate name that looks like markup is shown as typed.
    EXPECT_EQ(QTextDocumentFragment::fromHtml(box->toolTip()).toPlainText(),
              "<b>Plate</b> & <i>co</i>: this point hangs from two motors");
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
            EXPECT_FALSE(f.page->grab().toImage().isNull());
            const DXFInfo* dxf = project.dxf.get(f.page->source().id());
            EXPECT_EQ(!f.page->findChild<QWidget*>("sideViewBox")->isHidden(), dxf && dxf->side);
            for (const Pickup& p : f.page->source().pickups) EXPECT_NE(f.deltaBox(p.role), nullptr);
        }
    }
}

TEST(PanflexStack, Layout) {
    using Style = PanflexPart::Style;
    constexpr Style P = Style::plain, H = Style::highlighted, D = Style::dimmed;
    const std::tuple<std::optional<std::string>, std::string, PanflexLayout> cases[] = {
        {"110| |70", "kara2", {{{"110", H}, {"", H}, {"70", H}}, true}},
        {"110|55/55|70|90", "L2D", {{{"110", H}, {"55/55", P}, {"70", D}, {"90", D}}, true}},
        {"110|70", "KS28", {{{"110", P}, {"70", P}}, true}},
    };
    for (const auto& [value, type, layout] : cases) EXPECT_EQ(panflexLayout(value, type), layout) << type;
}

} // namespace
} // namespace rig::app
