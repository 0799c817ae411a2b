#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "pages/DeltaFields.h"
#include "pages/Fields.h"
#include "shell/ProjectStore.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace rig::app {
namespace {

TEST(NumField, FormatAndCommitRules) {
    EXPECT_EQ(NumField::format(1.234, {0, 2}), "1.23");
    EXPECT_EQ(NumField::format(0.8, {2, 2}), "0.80");
    EXPECT_EQ(NumField::format(std::nullopt, {0, 2}), "");
    EXPECT_EQ(NumField::format(1000000.0, {0, 3}), "1000000");

    const struct {
        QString text;
        std::optional<double> current;
        bool write;
        std::optional<double> value;
    } commits[] = {
        {"1,5", std::nullopt, true, 1.5},
        {"1.5", 1.5, false, std::nullopt}, // equal: nothing written
        {"-0,25", 1.0, true, -0.25},
        {"12a", 12.0, false, std::nullopt},    // not a number: kept
        {"\u22121", 1.0, false, std::nullopt}, // a typographic minus is not a sign
        {"", 4.0, true, std::nullopt},         // cleared: absent
        {"nan", 1.0, false, std::nullopt},     // not finite: kept
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
    EXPECT_EQ(writes, 3);
}

TEST(DeltaFields, ClearedSpacingIsAbsentAndTheFixedWeightIsNeverWritten) {
    DeltaSpec plate{"K1-DELTA", 0.8, 20.0}; // a stored weight that is not the plate's
    FieldWindow w;
    auto* fields =
        w.add(new DeltaFields({[&] { return plate; }, [&](DeltaSpec s) { plate = std::move(s); }}));
    QLineEdit* spacing = fields->spacingField()->lineEdit();
    ASSERT_TRUE(w.focus(spacing));
    spacing->selectAll();
    QTest::keyClick(spacing, Qt::Key_Backspace);
    EXPECT_EQ(plate.spacing, std::nullopt);
    EXPECT_EQ(plate.weight, 20.0);
}

} // namespace
} // namespace rig::app
