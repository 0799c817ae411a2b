#include "support/AppTesting.h"

#include "pages/Preferences.h"
#include "shell/AppPaths.h"

#include <QApplication>
#include <QStyle>

#include <gtest/gtest.h>

#include <optional>

namespace rig::app {
namespace {

TEST(Preferences, AuthorNameFallsBackToTheAccountOnlyWhenBlank) {
    testing::TempAppPaths paths;
    const QString account = accountFullName();
    const std::pair<std::optional<QString>, QString> cases[] = {
        {std::nullopt, account},
        {QStringLiteral("  \t\u00A0\u2003"), account}, // every horizontal blank
        {QStringLiteral(" Sam Reyes\t"), QStringLiteral(" Sam Reyes\t")},
    };
    for (const auto& [stored, expected] : cases) {
        if (stored) settings().setValue(authorNameKey, *stored);
        EXPECT_EQ(defaultAuthorName(), expected) << stored.value_or("(none)").toStdString();
    }
    EXPECT_EQ(fullNameFromGecos("Zoë Ångström,Room 4,555-0100,,"), QStringLiteral("Zoë Ångström"));
    EXPECT_EQ(fullNameFromGecos(nullptr), QString());
}

TEST(Preferences, OnlyTheExactAppearanceValuesLeaveTheStartUpLook) {
    testing::TempAppPaths paths;
    const QString startStyle = QApplication::style()->name();
    const QPalette startPalette = QApplication::palette();
    settings().setValue(appearanceKey, "dark");
    applyAppearance();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), darkPalette().color(QPalette::Window));
    for (const char* other : {"Dark", "system"}) {
        applyAppearance(Appearance::dark);
        settings().setValue(appearanceKey, other);
        applyAppearance();
        EXPECT_EQ(QApplication::style()->name(), startStyle) << other;
        EXPECT_EQ(QApplication::palette(), startPalette) << other;
    }
}

} // namespace
} // namespace rig::app
