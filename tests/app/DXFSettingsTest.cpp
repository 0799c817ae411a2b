#include "DXFSettings.h"
#include "DXFOptionsForm.h"
#include "support/AppTesting.h"
#include "support/ShownTexts.h"

#include "AppPaths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
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

// Each mode shows its own fields: the height only for "At height", in the form and in the
// export dialog alike; a first start shows the defaults.
TEST(DXFOptionsForm, EachFootprintModeShowsItsFields) {
    testing::TempAppPaths paths;
    DXFSettings dxf;
    DXFOptionsForm form(dxf);
    DXFAccessory accessory(dxf);
    for (QWidget* w : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&accessory)}) {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }
    const auto items = [](QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        return out;
    };
    EXPECT_EQ(items(form.footprintsBox()), (QStringList{"Off", "At hook height", "At rigging height",
                                                        "On floor (0 m)", "At height\u2026"}));
    EXPECT_EQ(items(accessory.footprintsBox()),
              (QStringList{"Off", "At hook height", "At rigging height", "On floor (0 m)", "At height:"}));
    // The check boxes as shown, top to bottom: text, state, and whether it can be changed.
    const auto checks = [](QWidget* editor) {
        QList<QCheckBox*> boxes = editor->findChildren<QCheckBox*>();
        std::sort(boxes.begin(), boxes.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        QStringList out;
        for (QCheckBox* box : boxes)
            out << box->text() + (box->isChecked() ? " on" : " off") + (box->isEnabled() ? "" : ", fixed");
        return out;
    };
    const QStringList defaults{"Rigging points on, fixed", "Labels (name, point, load) on",
                               "K1-DELTA points (two motors and the plate) on",
                               "Drops (chain from rigging height to hook, real length) off"};
    EXPECT_EQ(checks(&form), defaults);
    EXPECT_EQ(checks(&accessory), defaults);
    EXPECT_EQ(form.footprintsBox()->currentText(), "At hook height");
    EXPECT_EQ(accessory.footprintsBox()->currentText(), "At hook height");
    EXPECT_EQ(accessory.heightEdit()->text(), "0");

    const Footprints modes[] = {Footprints::off, Footprints::hook, Footprints::rigging, Footprints::floor,
                                Footprints::height};
    const QStringList shown{"Rigging points", "Labels (name, point, load)",
                            "K1-DELTA points (two motors and the plate)",
                            "Drops (chain from rigging height to hook, real length)", "Speaker footprints"};
    // Chosen with the keyboard, from the last item up and back down.
    for (int i : {4, 3, 2, 1, 0, 4, 0}) {
        const QStringList fields = modes[i] == Footprints::height ? shown + QStringList{"m"} : shown;
        for (QWidget* editor : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&accessory)}) {
            QComboBox* box = editor->findChild<QComboBox*>();
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Home);
            for (int step = 0; step < i; ++step) QTest::keyClick(box, Qt::Key_Down);
            EXPECT_EQ(stored().footprints, modes[i]) << i;
            EXPECT_EQ(testing::shownTexts(editor), fields) << i;
            EXPECT_EQ(editor->findChild<QLineEdit*>()->isVisibleTo(editor), modes[i] == Footprints::height)
                << i;
        }
    }
}

} // namespace
} // namespace rig::app
