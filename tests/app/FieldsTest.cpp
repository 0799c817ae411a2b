#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "DeltaFields.h"
#include "Fields.h"
#include "ProjectStore.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <optional>

namespace rig::app {
namespace {

TEST(NumField, FormatAndCommitRules) {
    EXPECT_EQ(NumField::format(1.234, {0, 2}), "1.23");
    EXPECT_EQ(NumField::format(0.8, {2, 2}), "0.80");
    const struct {
        QString text;
        std::optional<double> current;
        bool write;
        std::optional<double> value;
    } commits[] = {
        {"1,5", std::nullopt, true, 1.5},      {"1.5", 1.5, false, std::nullopt}, // equal: nothing written
        {"12a", 12.0, false, std::nullopt},                                       // not a number: kept
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

bool focus(QWidget* widget) {
    widget->setFocus();
    return testing::waitFor([&] { return widget->hasFocus(); });
}

TEST(NumField, TypingWritesEveryKeyAndOutsideChangesNeverOverwriteIt) {
    testing::HeldStore store;
    int writes = 0;
    const OptionalNumberBinding height{[&] { return store.project().riggingHeight; },
                                       [&](std::optional<double> v) {
                                           ++writes;
                                           Project p = store.project();
                                           p.riggingHeight = v;
                                           store.setProject(std::move(p));
                                       }};
    DeltaSpec plate{"K1-DELTA", 0.8, 20.0}; // a stored weight that is not the plate's
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new NumField(height, "0.00", "m", 80, {0, 2});
    auto* delta = new DeltaFields({[&] { return plate; }, [&](DeltaSpec s) { plate = std::move(s); }});
    auto* other = new QLineEdit;
    for (QWidget* w :
         {static_cast<QWidget*>(field), static_cast<QWidget*>(delta), static_cast<QWidget*>(other)})
        layout->addWidget(w);
    field->refreshOn(&store, &ProjectStore::projectChanged);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QLineEdit* edit = field->lineEdit();
    EXPECT_EQ(store.revision(), 0u); // showing never writes

    ASSERT_TRUE(focus(edit));
    const std::tuple<char, std::optional<double>, int> steps[] = {
        {'1', 1.0, 1}, {',', 1.0, 1}, {'5', 1.5, 2}, {'a', 1.5, 2}};
    for (const auto& [key, value, count] : steps) {
        QTest::keyClick(edit, key);
        EXPECT_EQ(store.project().riggingHeight, value) << key;
        EXPECT_EQ(writes, count) << key;
    }
    // An outside change shows at once, but not over typing.
    Project outside = store.project();
    outside.riggingHeight = 8;
    store.setProject(outside);
    EXPECT_EQ(edit->text(), "1,5a");
    ASSERT_TRUE(focus(other));
    EXPECT_TRUE(testing::waitFor([&] { return edit->text() == "8"; })) << edit->text().toStdString();
    EXPECT_EQ(writes, 2);

    // Clearing the Delta spacing makes it absent; the fixed weight is never written.
    QLineEdit* spacing = delta->spacingField()->lineEdit();
    ASSERT_TRUE(focus(spacing));
    spacing->selectAll();
    QTest::keyClick(spacing, Qt::Key_Backspace);
    EXPECT_EQ(plate.spacing, std::nullopt);
    EXPECT_EQ(plate.weight, 20.0);
}

} // namespace
} // namespace rig::app
