#include "DXFOptionsForm.h"
#include "DXFSettings.h"
#include "support/AppTesting.h"

#include "AppPaths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

using Footprints = RigDXF::Options::Footprints;

RigDXF::Options stored() {
    return DXFSettings::decode(settings().value(DXFSettings::key));
}

void retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

TEST(DXFSettings, OptionsSurviveARestartAndBadValuesGiveTheDefaults) {
    testing::TempAppPaths paths;
    const RigDXF::Options changed{.labels = false, .footprints = Footprints::height, .footprintHeight = 2.5};
    {
        DXFSettings first;
        first.setOptions(changed);
        RigDXF::Options bad = changed; // a height that is not finite keeps the previous one
        bad.footprintHeight = std::numeric_limits<double>::quiet_NaN();
        first.setOptions(bad);
    }
    settings().sync();
    EXPECT_EQ(DXFSettings().options(), changed);

    for (const QVariant& value :
         {QVariant(42), QVariant("not json"),
          QVariant(R"({"labels":true,"delta":true,"drops":true,"footprints":"roof","footprintHeight":1})"),
          QVariant(
              R"({"labels":true,"delta":true,"drops":true,"footprints":"off","footprintHeight":1e999})")}) {
        settings().setValue(DXFSettings::key, value);
        EXPECT_EQ(DXFSettings().options(), RigDXF::Options()) << value.toString().toStdString();
    }
}

TEST(DXFOptionsForm, TheFormStoresEachKeystrokeTheAccessoryOnlyOnReturn) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    DXFOptionsForm form(dxf);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(form.dropsBox(), Qt::LeftButton);
    EXPECT_TRUE(stored().drops);
    form.footprintsBox()->setFocus();
    QTest::keyClick(form.footprintsBox(), Qt::Key_End);
    EXPECT_EQ(stored().footprints, Footprints::height);
    // Each keystroke that leaves a finite number stores it; an empty field stores 0.
    for (const auto& [keys, value] : {std::pair{"", 0.0},
                                      {"2,5", 2.5},
                                      {"x", 2.5},
                                      {"", 0.0},
                                      {"inf", 0.0},
                                      {"", 0.0},
                                      {"-1,250", -1.25}}) {
        if (*keys == 0)
            retype(form.heightEdit(), "");
        else
            QTest::keyClicks(form.heightEdit(), QString::fromUtf8(keys));
        EXPECT_EQ(stored().footprintHeight, value)
            << keys << " shows " << form.heightEdit()->text().toStdString();
    }
    form.footprintsBox()->setFocus(); // tidied when the focus leaves
    EXPECT_EQ(form.heightEdit()->text(), "-1.25");

    // The export panel's copy: text that is not one whole finite number keeps the height.
    DXFAccessory accessory(dxf);
    accessory.show();
    accessory.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&accessory));
    for (const auto& [text, value] : {std::pair{"2,5", 2.5}, {"", 2.5}, {" 3", 2.5}, {"1e999", 2.5}}) {
        retype(accessory.heightEdit(), QString::fromUtf8(text));
        QTest::keyClick(accessory.heightEdit(), Qt::Key_Return);
        EXPECT_EQ(stored().footprintHeight, value) << text;
    }
    EXPECT_EQ(form.heightEdit()->text(), "2.5"); // the form follows other editors
    EXPECT_TRUE(form.dropsBox()->isChecked());
}

} // namespace
} // namespace rig::app
