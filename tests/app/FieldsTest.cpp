#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "model/Project.h"
#include "pages/DeltaFields.h"
#include "pages/Fields.h"
#include "pages/PageStyle.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

namespace rig::app {
namespace {

TEST(NumField, FormatRules) {
    const struct {
        std::optional<double> value;
        Decimals decimals;
        QString text;
    } cases[] = {
        {1.5, {0, 2}, "1.5"},           {2.0, {0, 2}, "2"},         {100.0, {0, 2}, "100"},
        {1.234, {0, 2}, "1.23"},        {0.805, {0, 2}, "0.81"},    {0.8, {2, 2}, "0.80"},
        {18.0, {2, 2}, "18.00"},        {3.0, {1, 3}, "3.0"},       {2.5, {0, 0}, "2"},
        {-0.001, {0, 2}, "-0"},         {std::nullopt, {0, 2}, ""}, {std::nullopt, {1, 3}, ""},
        {0.125, {0, 2}, "0.12"}, // exact binary value, ties to even
        {1000000.0, {0, 3}, "1000000"}, {0.0005, {0, 3}, "0.001"},  {12.5, {0, 3}, "12.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumField::format(c.value, c.decimals), c.text)
            << (c.value ? *c.value : -999) << " " << c.decimals.lower << "..." << c.decimals.upper;
    }
}

TEST(NumField, CommitRules) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        QString text;
        std::optional<double> current;
        bool write;
        std::optional<double> value;
    } cases[] = {
        {"1,5", std::nullopt, true, 1.5},
        {"1.5", 1.5, false, std::nullopt},   // equal: nothing written
        {" \t12 ", 3.0, true, 12.0},         // blanks around
        {"1e3", std::nullopt, true, 1000.0}, // exponent
        {"-0,25", 1.0, true, -0.25},
        {"+7", 1.0, true, 7.0},
        {"0x10", 1.0, true, 16.0}, // as strtod reads it
        {"5.", 1.0, true, 5.0},
        {"12a", 12.0, false, std::nullopt}, // not a number: kept
        {"1,5,0", 1.0, false, std::nullopt},
        {"1 5", 1.0, false, std::nullopt},
        {"\u22121", 1.0, false, std::nullopt}, // a typographic minus is not a sign
        {"", 4.0, true, std::nullopt},         // cleared: absent
        {"   ", 4.0, true, std::nullopt},
        {"", std::nullopt, false, std::nullopt},
        {"inf", 1.0, false, std::nullopt}, // not finite: unreadable
        {"-infinity", 1.0, false, std::nullopt},
        {"nan", 1.0, false, std::nullopt},
        {"1e400", 1.0, false, std::nullopt},
        {"-0", 0.0, false, std::nullopt}, // -0 equals 0
        {"2", inf, true, 2.0},
    };
    for (const auto& c : cases) {
        const NumField::Commit result = NumField::commitText(c.text, c.current);
        EXPECT_EQ(result.write, c.write) << c.text.toStdString();
        if (c.write) {
            EXPECT_EQ(result.value, c.value) << c.text.toStdString();
        }
    }
}

TEST(NumField, OptionalAdapterStoresZeroForAbsent) {
    double plain = 5;
    const OptionalNumberBinding binding =
        optionalBinding({[&] { return plain; }, [&](double v) { plain = v; }});
    EXPECT_EQ(binding.get(), 5.0);
    binding.set(std::nullopt);
    EXPECT_EQ(plain, 0.0);
    binding.set(2.5);
    EXPECT_EQ(plain, 2.5);
}

// A window holding the field under test and a second field to move the focus to.
struct FieldWindow {
    QWidget window;
    QLineEdit* other = nullptr;

    template <class Field>
    Field* add(Field* field) {
        auto* layout = new QVBoxLayout(&window);
        field->setParent(&window);
        layout->addWidget(field);
        other = new QLineEdit(&window);
        layout->addWidget(other);
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        return field;
    }
};

struct OptionalModel {
    std::optional<double> value;
    int writes = 0;
    OptionalNumberBinding binding() {
        return {[this] { return value; },
                [this](std::optional<double> v) {
                    value = v;
                    ++writes;
                }};
    }
};

TEST(NumField, TypingWritesOnEveryKeyAndFocusLossNormalises) {
    OptionalModel model{2.0};
    FieldWindow w;
    auto* field = w.add(new NumField(model.binding(), "0.00", "m", 80, {0, 2}));
    EXPECT_EQ(field->lineEdit()->text(), "2");
    EXPECT_EQ(field->lineEdit()->placeholderText(), "0.00");
    EXPECT_EQ(field->lineEdit()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(field->unitLabel()->text(), "m");

    field->lineEdit()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->hasFocus() && field->isFocused(); }));
    field->lineEdit()->selectAll();
    const struct {
        char key;
        std::optional<double> value;
        int writes;
    } steps[] = {{'1', 1.0, 1}, {',', 1.0, 1}, {'5', 1.5, 2}, {'a', 1.5, 2}};
    for (const auto& s : steps) {
        QTest::keyClick(field->lineEdit(), s.key);
        EXPECT_EQ(model.value, s.value) << s.key;
        EXPECT_EQ(model.writes, s.writes) << s.key;
    }
    EXPECT_EQ(field->lineEdit()->text(), "1,5a");
    QTest::keyClick(field->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(field->lineEdit()->text(), "1,5"); // typed text stays while focused

    w.other->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return !field->isFocused(); }));
    EXPECT_EQ(field->lineEdit()->text(), "1.5");
    EXPECT_EQ(model.writes, 2);
}

TEST(NumField, RejectedTextShowsTheKeptNumberAfterFocusLoss) {
    OptionalModel model{12.0};
    FieldWindow w;
    auto* field = w.add(new NumField(model.binding(), "", "kg", 60, {0, 2}));
    field->lineEdit()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->hasFocus() && field->isFocused(); }));
    QTest::keyClick(field->lineEdit(), Qt::Key_End);
    QTest::keyClicks(field->lineEdit(), "a");
    QTest::keyClick(field->lineEdit(), Qt::Key_Home);
    QTest::keyClicks(field->lineEdit(), "x");
    EXPECT_EQ(field->lineEdit()->text(), "x12a");
    EXPECT_EQ(model.value, 12.0);
    EXPECT_EQ(model.writes, 0);
    w.other->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->text() == QString("12"); }))
        << field->lineEdit()->text().toStdString();
}

TEST(NumField, OutsideChangesShowOnlyWhenNotTyping) {
    OptionalModel model{1.0};
    FieldWindow w;
    auto* field = w.add(new NumField(model.binding(), "", "m", 80, {0, 2}));

    model.value = 3.25;
    field->refresh();
    EXPECT_EQ(field->lineEdit()->text(), "3.25");

    field->lineEdit()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->hasFocus() && field->isFocused(); }));
    field->lineEdit()->selectAll();
    QTest::keyClicks(field->lineEdit(), "4,0");
    EXPECT_EQ(model.value, 4.0);
    model.value = 9.0;
    field->refresh();
    EXPECT_EQ(field->lineEdit()->text(), "4,0");

    w.other->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->text() == QString("9"); }))
        << field->lineEdit()->text().toStdString();
    model.value = std::nullopt;
    field->refresh();
    EXPECT_EQ(field->lineEdit()->text(), "");
    EXPECT_EQ(field->unitLabel()->text(), "m");
    EXPECT_TRUE(field->unitLabel()->isVisible());
    EXPECT_EQ(model.writes, 1); // refreshing never writes
}

TEST(NumField, ClearingWithTheAdapterStoresZero) {
    double weight = 55;
    FieldWindow w;
    auto* field = w.add(new NumField(optionalBinding({[&] { return weight; }, [&](double v) { weight = v; }}),
                                     "", "kg", 60, {0, 2}));
    field->lineEdit()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->hasFocus() && field->isFocused(); }));
    field->lineEdit()->selectAll();
    QTest::keyClick(field->lineEdit(), Qt::Key_Delete);
    EXPECT_EQ(weight, 0.0);
    EXPECT_EQ(field->lineEdit()->text(), "");
    w.other->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->text() == QString("0"); }))
        << field->lineEdit()->text().toStdString();
}

TEST(NumField, BoundToTheStoreOnlyTypingEditsTheProject) {
    ProjectStore store;
    const OptionalNumberBinding height{[&] { return store.project().riggingHeight; },
                                       [&](std::optional<double> v) {
                                           Project p = store.project();
                                           p.riggingHeight = v;
                                           store.setProject(std::move(p));
                                       }};
    FieldWindow w;
    auto* field = w.add(new NumField(height, "", "m", 80, {0, 2}));
    field->refreshOn(&store, &ProjectStore::projectChanged);
    field->refresh();
    w.window.hide();
    w.window.show();
    QApplication::setActiveWindow(&w.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    EXPECT_FALSE(store.isDirty());
    EXPECT_EQ(store.revision(), 0u);

    field->lineEdit()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->hasFocus() && field->isFocused(); }));
    QTest::keyClicks(field->lineEdit(), "12,5");
    EXPECT_TRUE(store.isDirty());
    EXPECT_EQ(store.project().riggingHeight, 12.5);

    w.other->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->lineEdit()->text() == QString("12.5"); }))
        << field->lineEdit()->text().toStdString();
    Project outside = store.project();
    outside.riggingHeight = 8;
    store.setProject(outside);
    EXPECT_EQ(field->lineEdit()->text(), "8");
}

TEST(BoxField, EveryKeyWritesAndOutsideChangesWaitForFocusLoss) {
    QString name = "Main";
    int writes = 0;
    FieldWindow w;
    auto* field = w.add(new BoxField({[&] { return name; },
                                      [&](const QString& v) {
                                          name = v;
                                          ++writes;
                                      }},
                                     "Name", 140));
    EXPECT_EQ(field->text(), "Main");
    EXPECT_EQ(field->width(), 140);
    field->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->hasFocus() && field->isFocused(); }));
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, " L");
    EXPECT_EQ(name, "Main L");
    EXPECT_EQ(writes, 2);

    name = "Outside";
    field->refresh();
    EXPECT_EQ(field->text(), "Main L");
    w.other->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return field->text() == QString("Outside"); }))
        << field->text().toStdString();
    EXPECT_EQ(writes, 2);
}

TEST(DeltaFields, EditsNameAndSpacingAndShowsTheFixedWeight) {
    DeltaSpec spec{"K1-DELTA", 0.8, 20.0}; // a stored weight that is not the plate's
    int writes = 0;
    FieldWindow w;
    auto* fields = w.add(new DeltaFields({[&] { return spec; },
                                          [&](DeltaSpec s) {
                                              spec = std::move(s);
                                              ++writes;
                                          }}));
    EXPECT_EQ(fields->weightLabel()->text(), "9.5 kg");
    EXPECT_EQ(
        fields->weightLabel()->toolTip(),
        "Fixed: L-Acoustics K1-DELTA product information (9.5 kg / 21 lbs). Used in the rigging totals.");
    EXPECT_EQ(fields->spacingField()->lineEdit()->text(), "0.8");
    EXPECT_EQ(fields->spacingField()->lineEdit()->placeholderText(), "0.80");
    EXPECT_EQ(fields->nameField()->placeholderText(), "K1-DELTA");

    QLineEdit* spacing = fields->spacingField()->lineEdit();
    spacing->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return spacing->hasFocus() && fields->spacingField()->isFocused(); }));
    spacing->selectAll();
    QTest::keyClick(spacing, Qt::Key_Backspace);
    EXPECT_EQ(spec.spacing, std::nullopt);
    EXPECT_EQ(spec.spacingValue(), 0.8);
    QTest::keyClicks(spacing, "1,125");
    EXPECT_EQ(spec.spacing, 1.125);

    fields->nameField()->setFocus();
    ASSERT_TRUE(testing::waitFor([&] { return spacing->text() == QString("1.125"); }))
        << spacing->text().toStdString();
    fields->nameField()->selectAll();
    QTest::keyClick(fields->nameField(), Qt::Key_Backspace);
    EXPECT_EQ(spec.name, "");
    EXPECT_EQ(spec.weight, 20.0); // the weight is never written
    EXPECT_EQ(fields->weightLabel()->text(), "9.5 kg");
    EXPECT_GT(writes, 0);
}

} // namespace
} // namespace rig::app
