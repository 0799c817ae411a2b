#include "export/DXFSettings.h"
#include "support/AppTesting.h"

#include "base/Json.h"
#include "shell/AppPaths.h"
#include "shell/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

using Footprints = RigDXF::Options::Footprints;

RigDXF::Options storedOptions() {
    return DXFSettings::decode(settings().value(DXFSettings::key));
}

// Picks a pop-up entry with the keyboard, as a user would.
void choose(QComboBox* box, int index) {
    box->setFocus();
    while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
}

void retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    if (!text.isEmpty()) QTest::keyClicks(edit, text);
}

TEST(DXFSettings, OptionsSurviveARestart) {
    testing::TempAppPaths paths;
    RigDXF::Options changed;
    changed.labels = false;
    changed.drops = true;
    changed.footprints = Footprints::height;
    changed.footprintHeight = 2.5;
    {
        DXFSettings first;
        EXPECT_EQ(first.options(), RigDXF::Options());
        QSignalSpy spy(&first, &DXFSettings::optionsChanged);
        first.setOptions(changed);
        EXPECT_EQ(spy.count(), 1);
    }
    settings().sync();
    EXPECT_EQ(DXFSettings().options(), changed);

    // The stored text is the five keys and nothing else.
    const Json j = parseJsonText(toStd(settings().value(DXFSettings::key).toString()));
    EXPECT_EQ(j, Json::parse(R"({"labels":false,"delta":true,"drops":true,"footprints":"height",
                                  "footprintHeight":2.5})"));
}

TEST(DXFSettings, AnythingUnreadableGivesTheDefaults) {
    testing::TempAppPaths paths;
    const QVariant stored[] = {
        QVariant(),
        QVariant(42),
        QVariant(QStringList{"a", "b"}),
        QVariant(QString()),
        QVariant(QString("not json")),
        QVariant(QString("[true]")),
        QVariant(QString(R"({"labels":false,"delta":true,"drops":true,"footprints":"height"})")),
        QVariant(
            QString(R"({"labels":false,"delta":true,"drops":true,"footprints":"roof","footprintHeight":1})")),
        QVariant(
            QString(R"({"labels":"no","delta":true,"drops":true,"footprints":"off","footprintHeight":1})")),
        QVariant(QString(
            R"({"labels":false,"delta":true,"drops":true,"footprints":"off","footprintHeight":"1"})")),
        QVariant(QString(
            R"({"labels":false,"delta":true,"drops":true,"footprints":"off","footprintHeight":"NaN"})")),
        QVariant(QString(
            R"({"labels":false,"delta":true,"drops":true,"footprints":"off","footprintHeight":1e999})")),
        QVariant(
            QString(R"({"labels":false,"delta":null,"drops":true,"footprints":"off","footprintHeight":1})")),
    };
    for (const QVariant& value : stored) {
        settings().setValue(DXFSettings::key, value);
        EXPECT_EQ(DXFSettings().options(), RigDXF::Options()) << toStd(value.toString());
    }
    // A bad value stays until the next change overwrites it.
    settings().setValue(DXFSettings::key, QString("not json"));
    DXFSettings dxf;
    EXPECT_EQ(settings().value(DXFSettings::key).toString(), "not json");
    dxf.setOptions(dxf.options());
    EXPECT_EQ(storedOptions(), RigDXF::Options());
    EXPECT_NE(settings().value(DXFSettings::key).toString(), "not json");

    // Stored as bytes by an older build: still read.
    settings().setValue(DXFSettings::key,
                        QByteArray(R"({"labels":true,"delta":false,"drops":false,"footprints":"floor",
                                       "footprintHeight":0})"));
    EXPECT_EQ(DXFSettings().options().footprints, Footprints::floor);
}

TEST(DXFSettings, AHeightThatIsNotFiniteKeepsThePreviousOne) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    RigDXF::Options o;
    o.footprintHeight = 3;
    dxf.setOptions(o);
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        o.footprintHeight = bad;
        o.drops = !o.drops;
        dxf.setOptions(o);
        EXPECT_EQ(dxf.options().footprintHeight, 3);
        EXPECT_EQ(dxf.options().drops, o.drops); // the rest still applies
        EXPECT_EQ(storedOptions(), dxf.options());
    }
}

TEST(DXFOptionsForm, EditsAreSavedAtOnceAndFollowOtherEditors) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    DXFOptionsForm form(dxf);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    // First start: the defaults, without a height field.
    EXPECT_TRUE(form.riggingPointsBox()->isChecked());
    EXPECT_FALSE(form.riggingPointsBox()->isEnabled());
    EXPECT_TRUE(form.labelsBox()->isChecked());
    EXPECT_TRUE(form.deltaBox()->isChecked());
    EXPECT_FALSE(form.dropsBox()->isChecked());
    EXPECT_EQ(form.footprintsBox()->currentText(), "At hook height");
    EXPECT_FALSE(form.heightField()->isVisible());
    QStringList items;
    for (int i = 0; i < form.footprintsBox()->count(); ++i) items << form.footprintsBox()->itemText(i);
    EXPECT_EQ(items,
              QStringList({"Off", "At hook height", "At rigging height", "On floor (0 m)", "At height…"}));

    QTest::mouseClick(form.dropsBox(), Qt::LeftButton);
    EXPECT_TRUE(storedOptions().drops);
    QTest::mouseClick(form.labelsBox(), Qt::LeftButton);
    EXPECT_FALSE(storedOptions().labels);

    choose(form.footprintsBox(), 4);
    EXPECT_EQ(storedOptions().footprints, Footprints::height);
    EXPECT_TRUE(form.heightField()->isVisible());
    EXPECT_EQ(form.heightEdit()->width(), 70);

    // The height follows the typing: each keystroke that leaves a finite number stores it.
    struct Step {
        const char* keys; // "" clears the field first
        double stored;
    };
    const Step steps[] = {{"", 0},    {"2,5", 2.5}, {"x", 2.5},   {"", 0},      {" 3 ", 3},
                          {"a", 3},   {"", 0},      {"1e9", 1e9}, {"99", 1e99}, {"", 0},
                          {"inf", 0}, {"", 0},      {"nan", 0},   {"", 0},      {"-1,250", -1.25}};
    for (const Step& step : steps) {
        if (*step.keys == 0) {
            retype(form.heightEdit(), "");
        } else {
            QTest::keyClicks(form.heightEdit(), QString::fromUtf8(step.keys));
        }
        EXPECT_EQ(storedOptions().footprintHeight, step.stored)
            << step.keys << " shows " << toStd(form.heightEdit()->text());
    }
    // What was typed stays while typing and is tidied when the focus leaves.
    EXPECT_EQ(form.heightEdit()->text(), "-1,250");
    form.footprintsBox()->setFocus();
    EXPECT_EQ(form.heightEdit()->text(), "-1.25");
    // Another item hides the field and keeps the height.
    choose(form.footprintsBox(), 3);
    EXPECT_FALSE(form.heightField()->isVisible());
    EXPECT_EQ(storedOptions().footprints, Footprints::floor);
    EXPECT_EQ(storedOptions().footprintHeight, -1.25);

    // A change made elsewhere shows up in the form.
    RigDXF::Options other;
    other.footprints = Footprints::height;
    other.footprintHeight = 4.5;
    form.heightEdit()->clearFocus();
    dxf.setOptions(other);
    EXPECT_TRUE(form.labelsBox()->isChecked());
    EXPECT_FALSE(form.dropsBox()->isChecked());
    EXPECT_EQ(form.footprintsBox()->currentText(), "At height…");
    EXPECT_TRUE(form.heightField()->isVisible());
    EXPECT_EQ(form.heightEdit()->text(), "4.5");
}

TEST(DXFAccessory, ShowsTheOptionsAndAppliesWhatWasChosen) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    {
        // First start: the defaults, with 0 in the hidden height field.
        DXFAccessory accessory(dxf);
        accessory.show();
        accessory.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&accessory));
        EXPECT_TRUE(accessory.labelsBox()->isChecked());
        EXPECT_TRUE(accessory.deltaBox()->isChecked());
        EXPECT_FALSE(accessory.dropsBox()->isChecked());
        EXPECT_EQ(accessory.footprintsBox()->currentText(), "At hook height");
        EXPECT_EQ(accessory.footprintsBox()->itemText(4), "At height:");
        EXPECT_EQ(accessory.heightEdit()->text(), "0");
        EXPECT_FALSE(accessory.heightEdit()->isVisible());
        EXPECT_FALSE(accessory.unitLabel()->isVisible());

        // Each control change is saved at once, also when the dialog is then cancelled.
        QTest::mouseClick(accessory.dropsBox(), Qt::LeftButton);
        EXPECT_TRUE(storedOptions().drops);
        choose(accessory.footprintsBox(), 4);
        EXPECT_EQ(storedOptions().footprints, Footprints::height);
        EXPECT_TRUE(accessory.heightEdit()->isVisible());
        EXPECT_TRUE(accessory.unitLabel()->isVisible());
        choose(accessory.footprintsBox(), 3);
        EXPECT_FALSE(accessory.heightEdit()->isVisible());
        EXPECT_FALSE(accessory.unitLabel()->isVisible());
    }
    RigDXF::Options o = dxf.options();
    o.footprintHeight = 1.5;
    o.footprints = Footprints::height;
    dxf.setOptions(o);

    DXFAccessory accessory(dxf);
    accessory.show();
    accessory.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&accessory));
    EXPECT_EQ(accessory.heightEdit()->text(), "1.5");
    EXPECT_TRUE(accessory.heightEdit()->isVisible());
    struct Typed {
        const char* text;
        double stored;
    };
    // An empty field keeps the height here, where the settings form stores 0.
    const Typed typed[] = {{"2,5", 2.5}, {"abc", 2.5}, {"", 2.5},      {" 3", 2.5}, {"3 ", 2.5},
                           {"nan", 2.5}, {"inf", 2.5}, {"1e999", 2.5}, {"1e1", 10}, {"-0.5", -0.5}};
    for (const Typed& t : typed) {
        // Typed and confirmed with Return.
        retype(accessory.heightEdit(), QString::fromUtf8(t.text));
        QTest::keyClick(accessory.heightEdit(), Qt::Key_Return);
        EXPECT_EQ(storedOptions().footprintHeight, t.stored) << t.text;
        EXPECT_EQ(storedOptions().drops, true) << t.text;
    }
    // Typed without Return: applying (as Save does) still takes it.
    retype(accessory.heightEdit(), "7.25");
    EXPECT_EQ(storedOptions().footprintHeight, -0.5);
    accessory.apply();
    EXPECT_EQ(dxf.options().footprintHeight, 7.25);
    EXPECT_EQ(storedOptions().footprintHeight, 7.25);
}

} // namespace
} // namespace rig::app
