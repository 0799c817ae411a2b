#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "pages/DeltaFields.h"
#include "pages/Fields.h"
#include "pages/PageStyle.h"
#include "shell/ProjectStore.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace rig::app {
namespace {

TEST(NumField, FormatAndCommitRules) {
    const struct {
        std::optional<double> value;
        Decimals decimals;
        QString text;
    } formats[] = {
        {1.5, {0, 2}, "1.5"},    {2.0, {0, 2}, "2"},
        {1.234, {0, 2}, "1.23"}, {0.8, {2, 2}, "0.80"},
        {3.0, {1, 3}, "3.0"},    {std::nullopt, {0, 2}, ""},
        {0.125, {0, 2}, "0.12"}, // exact binary value, ties to even
        {-0.001, {0, 2}, "-0"},  {1000000.0, {0, 3}, "1000000"},
    };
    for (const auto& c : formats) {
        EXPECT_EQ(NumField::format(c.value, c.decimals), c.text) << (c.value ? *c.value : -999);
    }

    const struct {
        QString text;
        std::optional<double> current;
        bool write;
        std::optional<double> value;
    } commits[] = {
        {"1,5", std::nullopt, true, 1.5},
        {"1.5", 1.5, false, std::nullopt}, // equal: nothing written
        {" \t12 ", 3.0, true, 12.0},
        {"-0,25", 1.0, true, -0.25},
        {"12a", 12.0, false, std::nullopt}, // not a number: kept
        {"1,5,0", 1.0, false, std::nullopt},
        {"\u22121", 1.0, false, std::nullopt}, // a typographic minus is not a sign
        {"", 4.0, true, std::nullopt},         // cleared: absent
        {"", std::nullopt, false, std::nullopt},
        {"inf", 1.0, false, std::nullopt}, // not finite: kept
        {"nan", 1.0, false, std::nullopt},
        {"-0", 0.0, false, std::nullopt}, // -0 equals 0
    };
    for (const auto& c : commits) {
        const NumField::Commit result = NumField::commitText(c.text, c.current);
        EXPECT_EQ(result.write, c.write) << c.text.toStdString();
        if (c.write) {
            EXPECT_EQ(result.value, c.value) << c.text.toStdString();
        }
    }
}

// A shown, active window holding the field under test and a second field to move the focus to.
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
    bool focus(QWidget* widget) {
        widget->setFocus();
        return testing::waitFor([&] { return widget->hasFocus(); });
    }
    bool blurShows(QLineEdit* edit, const QString& text) {
        other->setFocus();
        return testing::waitFor([&] { return edit->text() == text; });
    }
};

TEST(NumField, BoundToTheStoreTypingWritesEveryKeyAndOutsideChangesWaitForFocusLoss) {
    ProjectStore store;
    int writes = 0;
    const OptionalNumberBinding height{[&] { return store.project().riggingHeight; },
                                       [&](std::optional<double> v) {
                                           ++writes;
                                           Project p = store.project();
                                           p.riggingHeight = v;
                                           store.setProject(std::move(p));
                                       }};
    FieldWindow w;
    auto* field = w.add(new NumField(height, "0.00", "m", 80, {0, 2}));
    field->refreshOn(&store, &ProjectStore::projectChanged);
    QLineEdit* edit = field->lineEdit();
    EXPECT_EQ(store.revision(), 0u); // showing never writes

    ASSERT_TRUE(w.focus(edit));
    const struct {
        char key;
        std::optional<double> value;
        int writes;
    } steps[] = {{'1', 1.0, 1}, {',', 1.0, 1}, {'5', 1.5, 2}, {'a', 1.5, 2}};
    for (const auto& s : steps) {
        QTest::keyClick(edit, s.key);
        EXPECT_EQ(store.project().riggingHeight, s.value) << s.key;
        EXPECT_EQ(writes, s.writes) << s.key;
    }
    EXPECT_EQ(edit->text(), "1,5a"); // rejected text stays while typing
    ASSERT_TRUE(w.blurShows(edit, "1.5")) << edit->text().toStdString();

    // An outside change shows at once, but not over typing.
    Project outside = store.project();
    outside.riggingHeight = 8;
    store.setProject(outside);
    EXPECT_EQ(edit->text(), "8");
    ASSERT_TRUE(w.focus(edit));
    edit->selectAll();
    QTest::keyClicks(edit, "4,0");
    outside.riggingHeight = 9;
    store.setProject(outside);
    EXPECT_EQ(edit->text(), "4,0");
    ASSERT_TRUE(w.blurShows(edit, "9")) << edit->text().toStdString();
    outside.riggingHeight = std::nullopt;
    store.setProject(outside);
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(writes, 3);
}

TEST(BoxField, EveryKeyWritesAndOutsideChangesWaitForFocusLoss) {
    QString name = "Main";
    FieldWindow w;
    auto* field = w.add(new BoxField({[&] { return name; }, [&](const QString& v) { name = v; }}, "Name"));
    ASSERT_TRUE(w.focus(field));
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, 'L');
    EXPECT_EQ(name, "MainL");
    name = "Outside";
    field->refresh();
    EXPECT_EQ(field->text(), "MainL");
    ASSERT_TRUE(w.blurShows(field, "Outside")) << field->text().toStdString();
}

TEST(DeltaFields, ClearedSpacingIsAbsentAndTheFixedWeightIsNeverWritten) {
    DeltaSpec plate{"K1-DELTA", 0.8, 20.0}; // a stored weight that is not the plate's
    FieldWindow w;
    auto* fields =
        w.add(new DeltaFields({[&] { return plate; }, [&](DeltaSpec s) { plate = std::move(s); }}));
    EXPECT_EQ(fields->weightLabel()->text(), "9.5 kg");
    QLineEdit* spacing = fields->spacingField()->lineEdit();
    ASSERT_TRUE(w.focus(spacing));
    spacing->selectAll();
    QTest::keyClick(spacing, Qt::Key_Backspace);
    EXPECT_EQ(plate.spacing, std::nullopt);
    EXPECT_EQ(plate.weight, 20.0);
}

} // namespace
} // namespace rig::app
