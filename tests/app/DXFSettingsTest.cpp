#include "export/DXFSettings.h"
#include "support/AppTesting.h"

#include "base/Json.h"
#include "shell/AppPaths.h"
#include "shell/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

using Footprints = RigDXF::Options::Footprints;

RigDXF::Options stored() {
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
    QTest::keyClicks(edit, text);
}

TEST(DXFSettings, OptionsSurviveARestartAndBadValuesGiveTheDefaults) {
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
        // A height that is not finite keeps the previous one; the rest still applies.
        RigDXF::Options bad = changed;
        bad.footprintHeight = std::numeric_limits<double>::quiet_NaN();
        bad.labels = true;
        first.setOptions(bad);
        EXPECT_EQ(first.options().footprintHeight, 2.5);
        EXPECT_TRUE(first.options().labels);
        first.setOptions(changed);
    }
    settings().sync();
    EXPECT_EQ(DXFSettings().options(), changed);
    const Json j = parseJsonText(toStd(settings().value(DXFSettings::key).toString()));
    EXPECT_EQ(j, Json::parse(R"({"labels":false,"delta":true,"drops":true,"footprints":"height",
                                  "footprintHeight":2.5})"));

    auto json = [](const char* labels, const char* footprints, const char* height) {
        return QVariant(
            QString(R"({"labels":%1,"delta":true,"drops":true,"footprints":%2%3})")
                .arg(labels, footprints, height ? QString(",\"footprintHeight\":") + height : ""));
    };
    const QVariant unreadable[] = {QVariant(42),
                                   QVariant(QStringList{"a", "b"}),
                                   QVariant(QString("not json")),
                                   json("false", "\"height\"", nullptr),
                                   json("0", "\"off\"", "1"),
                                   json("true", "\"roof\"", "1"),
                                   json("true", "\"off\"", "\"1\""),
                                   json("true", "\"off\"", "1e999")};
    for (const QVariant& value : unreadable) {
        settings().setValue(DXFSettings::key, value);
        EXPECT_EQ(DXFSettings().options(), RigDXF::Options()) << toStd(value.toString());
    }
    // Stored as bytes by an older build: still read.
    settings().setValue(DXFSettings::key, QByteArray(R"({"labels":true,"delta":false,"drops":false,
                                                        "footprints":"floor","footprintHeight":0})"));
    EXPECT_EQ(DXFSettings().options().footprints, Footprints::floor);
}

TEST(DXFOptionsForm, EditsAreSavedAtOnceAndFollowOtherEditors) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    DXFOptionsForm form(dxf);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_FALSE(form.riggingPointsBox()->isEnabled());
    EXPECT_FALSE(form.heightField()->isVisible());

    QTest::mouseClick(form.dropsBox(), Qt::LeftButton);
    EXPECT_TRUE(stored().drops);
    QTest::mouseClick(form.labelsBox(), Qt::LeftButton);
    EXPECT_FALSE(stored().labels);
    choose(form.footprintsBox(), 4);
    EXPECT_EQ(stored().footprints, Footprints::height);
    EXPECT_TRUE(form.heightField()->isVisible());

    // Each keystroke that leaves a finite number stores it; an empty field stores 0.
    const std::pair<const char*, double> steps[] = {
        {"", 0},      {"2,5", 2.5}, {"x", 2.5}, {"", 0},    {" 3 ", 3}, {"", 0},
        {"1e9", 1e9}, {"99", 1e99}, {"", 0},    {"inf", 0}, {"", 0},    {"-1,250", -1.25}};
    for (const auto& [keys, value] : steps) {
        if (*keys == 0)
            retype(form.heightEdit(), "");
        else
            QTest::keyClicks(form.heightEdit(), QString::fromUtf8(keys));
        EXPECT_EQ(stored().footprintHeight, value) << keys << " shows " << toStd(form.heightEdit()->text());
    }
    // What was typed stays while typing and is tidied when the focus leaves.
    EXPECT_EQ(form.heightEdit()->text(), "-1,250");
    form.footprintsBox()->setFocus();
    EXPECT_EQ(form.heightEdit()->text(), "-1.25");
    choose(form.footprintsBox(), 3);
    EXPECT_FALSE(form.heightField()->isVisible());
    EXPECT_EQ(stored().footprintHeight, -1.25);

    RigDXF::Options other;
    other.footprints = Footprints::height;
    other.footprintHeight = 4.5;
    dxf.setOptions(other);
    EXPECT_TRUE(form.labelsBox()->isChecked());
    EXPECT_FALSE(form.dropsBox()->isChecked());
    EXPECT_TRUE(form.heightField()->isVisible());
    EXPECT_EQ(form.heightEdit()->text(), "4.5");
}

TEST(DXFAccessory, ControlsSaveAtOnceAndTheHeightOnReturnOrApply) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    DXFAccessory accessory(dxf);
    accessory.show();
    accessory.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&accessory));
    EXPECT_EQ(accessory.heightEdit()->text(), "0");
    EXPECT_FALSE(accessory.heightEdit()->isVisible());

    QTest::mouseClick(accessory.dropsBox(), Qt::LeftButton);
    EXPECT_TRUE(stored().drops);
    choose(accessory.footprintsBox(), 4);
    EXPECT_EQ(stored().footprints, Footprints::height);
    EXPECT_TRUE(accessory.heightEdit()->isVisible());

    // Unlike the settings form, text that is not one whole finite number keeps the height.
    const std::pair<const char*, double> typed[] = {{"2,5", 2.5}, {"abc", 2.5},  {"", 2.5},
                                                    {" 3", 2.5},  {"nan", 2.5},  {"1e999", 2.5},
                                                    {"1e1", 10},  {"-0.5", -0.5}};
    for (const auto& [text, value] : typed) {
        retype(accessory.heightEdit(), QString::fromUtf8(text));
        QTest::keyClick(accessory.heightEdit(), Qt::Key_Return);
        EXPECT_EQ(stored().footprintHeight, value) << text;
    }
    retype(accessory.heightEdit(), "7.25");
    EXPECT_EQ(stored().footprintHeight, -0.5);
    accessory.apply();
    EXPECT_EQ(stored().footprintHeight, 7.25);
    EXPECT_TRUE(stored().drops);
    choose(accessory.footprintsBox(), 3);
    EXPECT_FALSE(accessory.heightEdit()->isVisible());
    EXPECT_EQ(DXFAccessory(dxf).heightEdit()->text(), "7.25");
}

} // namespace
} // namespace rig::app
