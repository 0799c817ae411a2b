#include "SourcePage.h"
#include "analysis/Issues.h"

#include "MotorLibrary.h"
#include "PanflexStack.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "SideViewShape.h"
#include "ToneLabel.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"
#include "support/ShownTexts.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
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
    // The motor button's text as shown, once the page is refreshed and laid out again.
    QString motorShown(const std::string& role) const {
        EXPECT_TRUE(testing::changesShown(store));
        testing::settleLayouts();
        return motorButton(role)->text();
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
    testing::HeldStore store;
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
    ASSERT_TRUE(testing::changesShown(f.store));
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

// --- What the page says ---------------------------------------------------------------------

using testing::shownLines;
using Lines = std::vector<QStringList>;

Source handMadeArray() {
    using fixtures::testPickup;
    Source s = fixtures::testSource("Main L", {"ALL", "Main", "Left"},
                                    {testPickup("Front", XYZ(4.75, -2, 11.3), 365.5, "A3"),
                                     testPickup("Rear", XYZ(notANumber, 1, 2), -12.5)});
    s.configuration = "flown";
    s.motorCount = 1;
    s.bumper = "K2-BUMP";
    s.site = -3.5;
    s.position = XYZ(4.5, -2, 11.25);
    s.bottomElevation = 6.5;
    s.totalWeight = 730;
    s.enclosureWeight = 672;
    Enclosure top;
    top.index = 1;
    top.type = "K2";
    top.angle = 0;
    top.site = -3.5;
    top.topZ = 11.25;
    top.bottomZ = 10.9;
    top.panflex = "110|55/55";
    Enclosure bottom = top;
    bottom.index = 2;
    bottom.angle = 2.5;
    bottom.site = 2;
    bottom.topZ = 10.9;
    bottom.bottomZ = 10.55;
    bottom.panflex.reset();
    s.enclosures = List<Enclosure>({top, bottom});
    s.hasAngles = true;
    s.warnings.push_back(ReportWarning{ReportWarning::Level::caution, "Check the pullback strap."});
    s.warnings.push_back(ReportWarning{ReportWarning::Level::error, "Bumper overloaded."});
    return s;
}

TEST(SourcePage, HeaderFactsPointsAndEnclosuresAsShown) {
    PageFixture f(fixtures::projectOf({handMadeArray()}));
    f.page->resize(1000, 900);
    auto lines = [&](const char* name) { return shownLines(f.page->findChild<QWidget*>(name)); };
    EXPECT_EQ(shownLines(f.page.get()).front(), (QStringList{"Main L", "Main \u203a Left"}));
    EXPECT_EQ(f.page->findChild<QLabel*>("configuration")->text(), "flown \u00b7 1 motor in Soundvision");
    EXPECT_EQ(lines("warnings"), (Lines{{"Check the pullback strap."}, {"Bumper overloaded."}}));
    // Read across a page of the report that was lost: said after the report's own warnings.
    Source incomplete = handMadeArray();
    incomplete.possiblyIncomplete = true;
    PageFixture marked(fixtures::projectOf({incomplete}));
    EXPECT_EQ(shownLines(marked.page->findChild<QWidget*>("warnings")).back(),
              QStringList{toQ(std::string(possiblyIncompleteText))});
    EXPECT_EQ(lines("facts"), (Lines{{"Bumper", "K2-BUMP"},
                                     {"Site", "-3.5\u00b0", "Azimuth", "\u2013"},
                                     {"Trim", "11.25 m", "Bottom", "6.5 m"},
                                     {"Bottom box", "+2\u00b0", "Inclinometer", "-3\u00b0  bottom face"},
                                     {"Weight", "730 kg  (speakers 672 kg)"},
                                     {"Position", "X 4.5  Y -2  Z 11.25"}}));

    // Points: a negative load in red, no coordinates as a dash, the plate's name as the
    // last column.
    EXPECT_EQ(lines("pickupGrid").front(),
              (QStringList{"Point", "Speaker load", "X / Y / Z", "Motor", "K1-DELTA"}));
    EXPECT_EQ(f.page->findChild<QLabel*>("load:Front")->text(), "365.5 kg");
    EXPECT_EQ(f.page->findChild<style::ToneLabel*>("load:Front")->tone(), style::Tone::primary);
    EXPECT_EQ(f.page->findChild<QLabel*>("load:Rear")->text(), "-12.5 kg");
    EXPECT_EQ(f.page->findChild<style::ToneLabel*>("load:Rear")->tone(), style::Tone::red);
    EXPECT_EQ(lines("pickupGrid").back(), (QStringList{"Rear", "-12.5 kg", "\u2013", "\u2014"}));
    // The plate's own name titles its column and the check box says what it does.
    Project renamed = f.store.project();
    renamed.delta.name = "Plate";
    f.store.setProject(renamed);
    ASSERT_TRUE(testing::changesShown(f.store));
    EXPECT_EQ(lines("pickupGrid").front().back(), "Plate");
    EXPECT_EQ(f.deltaBox("Rear")->toolTip(), "Plate: this point hangs from two motors");

    // A Delta point hangs from two motors: "2 × " before its motor, its two points beneath its
    // coordinates; "None" keeps the Delta and shows the em dash.
    QLabel* deltaLine = f.page->findChild<QLabel*>("deltaLine:Front");
    EXPECT_FALSE(deltaLine->isVisibleTo(f.page.get()));
    f.page->setMotor("Front", testMotor("CM Lodestar 1t", 62, 3));
    EXPECT_EQ(f.motorShown("Front"), "CM Lodestar 1t (62 kg)");
    QTest::mouseClick(f.deltaBox("Front"), Qt::LeftButton);
    EXPECT_EQ(f.motorShown("Front"), "2 \u00d7 CM Lodestar 1t (62 kg)");
    EXPECT_TRUE(deltaLine->isVisibleTo(f.page.get()));
    EXPECT_TRUE(QRegularExpression(
                    "^\u0394 L -?\\d+\\.\\d\\d / -?\\d+\\.\\d\\d   R -?\\d+\\.\\d\\d / -?\\d+\\.\\d\\d$")
                    .match(deltaLine->text())
                    .hasMatch())
        << deltaLine->text().toStdString();
    f.menuItem("Front", "None")->trigger();
    EXPECT_EQ(f.motorShown("Front"), "\u2014");
    EXPECT_TRUE(deltaLine->isVisibleTo(f.page.get()));

    // Every column has its title: the angles only where the report has them, Panflex as soon
    // as one enclosure has a value.
    EXPECT_EQ(f.page->findChild<QLabel*>("enclosuresTitle")->text(), "Enclosures (2)");
    EXPECT_EQ(lines("enclosureGrid"), (Lines{{"#", "Type", "Angle", "Site", "Top Z", "Bottom Z", "Panflex"},
                                             {"1", "K2", "0\u00b0", "-3.5\u00b0", "11.25", "10.9"},
                                             {"2", "K2", "2.5\u00b0", "2\u00b0", "10.9", "10.55"}}));
    EXPECT_FALSE(f.page->findChild<QWidget*>("angleNote")->isVisibleTo(f.page.get()));
    // The Panflex cells draw the parts of their value, or nothing.
    QList<PanflexStack*> stacks = f.page->findChild<QWidget*>("enclosureGrid")->findChildren<PanflexStack*>();
    std::sort(stacks.begin(), stacks.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    std::vector<QStringList> panflex;
    for (PanflexStack* stack : stacks) {
        panflex.emplace_back();
        for (const testing::PaintedText& t : testing::paintedTexts(stack)) panflex.back() << t.text;
    }
    EXPECT_EQ(panflex, (Lines{{"110", "55/55"}, {}}));
}

TEST(SourcePage, WhatChangesWithTheSource) {
    struct Case {
        const char* name;
        std::function<void(Source&)> change;
        QString configuration;
        QStringList heightRow;
        Lines enclosures;
        bool angleNote;
    };
    const QStringList allColumns{"#", "Type", "Angle", "Site", "Top Z", "Bottom Z", "Panflex"};
    const std::vector<Case> cases{
        {"no motor count",
         [](Source& s) { s.motorCount.reset(); },
         "flown",
         QStringList{"Trim", "11.25 m", "Bottom", "6.5 m"},
         {},
         false},
        {"no motors, no position",
         [](Source& s) {
             s.motorCount = 0;
             s.position.reset();
         },
         "flown \u00b7 0 motors in Soundvision",
         QStringList{"Trim", "\u2013", "Bottom", "6.5 m"},
         {},
         false},
        {"stacked, no angles, no Panflex",
         [](Source& s) {
             s.configuration = "Stacked";
             s.hasAngles = false;
             for (std::size_t i = 0; i < s.enclosures.size(); ++i) s.enclosures.mut(i).panflex.reset();
         },
         "Stacked \u00b7 1 motor in Soundvision", QStringList{"Height", "6.5 m"},
         Lines{{"#", "Type", "Site", "Top Z", "Bottom Z"},
               {"1", "K2", "-3.5\u00b0", "11.25", "10.9"},
               {"2", "K2", "2\u00b0", "10.9", "10.55"}},
         true},
        {"one enclosure without angles",
         [](Source& s) {
             s.hasAngles = false;
             s.enclosures.edit().pop_back();
         },
         "flown \u00b7 1 motor in Soundvision", QStringList{"Trim", "11.25 m", "Bottom", "6.5 m"},
         Lines{{"#", "Type", "Site", "Top Z", "Bottom Z", "Panflex"},
               {"1", "K2", "-3.5\u00b0", "11.25", "10.9"}},
         false},
        {"no enclosures", [](Source& s) { s.enclosures = {}; }, "flown \u00b7 1 motor in Soundvision",
         QStringList{"Trim", "11.25 m", "Bottom", "6.5 m"},
         Lines{{"#", "Type", "Angle", "Site", "Top Z", "Bottom Z"}}, false},
    };
    for (const Case& c : cases) {
        Source source = handMadeArray();
        c.change(source);
        PageFixture f(fixtures::projectOf({source}));
        f.page->resize(1000, 900);
        EXPECT_EQ(f.page->findChild<QLabel*>("configuration")->text(), c.configuration) << c.name;
        EXPECT_EQ(shownLines(f.page->findChild<QWidget*>("facts")).at(2), c.heightRow) << c.name;
        const Lines enclosures = shownLines(f.page->findChild<QWidget*>("enclosureGrid"));
        EXPECT_EQ(c.enclosures.empty() ? Lines(enclosures.begin(), enclosures.begin() + 1) : enclosures,
                  c.enclosures.empty() ? Lines{allColumns} : c.enclosures)
            << c.name;
        EXPECT_EQ(f.page->findChild<QWidget*>("angleNote")->isVisibleTo(f.page.get()), c.angleNote) << c.name;
    }
}

} // namespace
} // namespace rig::app
